#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "db/SettingsStorage.h"
#include "db/UserDao.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

// Files as older versions of the client wrote them.
namespace fixture {

QStringList schema(const QString &version, bool withSyncQueue = false)
{
    const bool old = version.startsWith(QLatin1String("0.2."));
    QStringList statements{
            "create table db_info (id INTEGER PRIMARY KEY, db_version TEXT, device_id TEXT, device_name TEXT, "
            "creation_time TEXT)",
            "create table file_safe (id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER, safe_id TEXT, safe_name "
            "TEXT, safe_type TEXT, access TEXT, storage_quota INTEGER, storage_used INTEGER, has_trash INTEGER)",
            QString("create table user (id INTEGER PRIMARY KEY%1, server_id TEXT, account_name TEXT, last_login "
                    "INTEGER)")
                    .arg(old ? "" : " AUTOINCREMENT"),
            "create table fs_object (id INTEGER PRIMARY KEY AUTOINCREMENT, setting_id INTEGER, path TEXT, checksum "
            "TEXT, local_mtime INTEGER, remote_mtime INTEGER, type TEXT, size INTEGER)",
            "create table sync_history (id INTEGER PRIMARY KEY AUTOINCREMENT, start_time INTEGER, end_time INTEGER, "
            "state INTEGER, user_id INTEGER)",
            QString("CREATE TABLE sync_setting (id INTEGER PRIMARY KEY AUTOINCREMENT, file_safe_id INTEGER, remote_dir "
                    "TEXT, local_dir TEXT, last_sync INTEGER, mode INTEGER%1)")
                    .arg(old ? "" : ", remote_state INTEGER"),
            "CREATE TABLE sync_history_object (id INTEGER PRIMARY KEY AUTOINCREMENT, sync_history_id INTEGER, "
            "local_dir TEXT, remote_dir TEXT, type TEXT, state INTEGER, action INTEGER, timestamp INTEGER)",
            "CREATE INDEX sync_history_object_timestamp ON sync_history_object(timestamp)"};
    if (withSyncQueue)
        statements << "create table sync_queue (id INTEGER PRIMARY KEY, setting_id INTEGER, path TEXT)";
    return statements;
}

// Rows of every table; no db_info row for an empty version.
QStringList rows(const QString &version)
{
    QStringList statements{
            "insert into user (id, server_id, account_name, last_login) values (5, 'eu', 'alice', 1000), (9, 'eu', "
            "'bob', 2000)",
            "insert into file_safe (user_id, safe_id, safe_name, safe_type, access) values (5, 'S1', 'Private', "
            "'private', 'rcud')",
            "insert into sync_setting (file_safe_id, remote_dir, local_dir, mode) values (1, '/', '/home/a/P/', 0)",
            "insert into fs_object (setting_id, path, type, size) values (1, 'a.txt', 'f', 3)",
            "insert into sync_history (start_time, end_time, state, user_id) values (1, 2, 3, 5)",
            "insert into sync_history_object (sync_history_id, local_dir, remote_dir, type, state, action, timestamp) "
            "values (1, 'a', 'b', 'f', 1, 6, 2)"};
    if (!version.isEmpty())
        statements << QString("insert into db_info (db_version, device_id, device_name, creation_time) values ('%1', "
                              "'0f8b2c8e-5c1e-4a9e-9b51-3c1f2d7e8a10', 'Tessarvale-42', 'Tue Mar 3 10:00:00 2015')")
                              .arg(version);
    return statements;
}

} // namespace fixture

const int kBatchRows = 500;

// The writer that gets killed: the same store and transactions as the synchroniser's batches. With
// "hold" it stops inside its third batch, with that batch partly written into the file.
static int runCrashChild(const QString &mode, const QString &path)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    AppInfo info = AppInfo::forThisBuild();
    info.databasePath = path;
    R7Database *database = R7Database::instance();
    database->init(&info);
    // A small page cache makes a batch reach the file itself before it commits, so the crash
    // leaves a half-written file that only the journal can repair.
    QSqlQuery().exec(QStringLiteral("PRAGMA cache_size = 8"));
    for (int batch = 1;; ++batch) {
        const bool hold = batch == 3 && mode == QLatin1String("hold");
        database->transaction();
        for (int i = 0; i < (hold ? 4 : 1) * kBatchRows; ++i)
            FileObjectDao::instance()->store(FsObject("oid", QStringLiteral("batch/%1").arg(i), 42,
                                                      QDateTime::fromMSecsSinceEpoch(1480000000000LL),
                                                      QDateTime::fromMSecsSinceEpoch(1480000000001LL), "", "f",
                                                      "sha256:abcdef"),
                                             batch);
        if (hold) {
            std::printf("mid-batch\n");
            std::fflush(stdout);
            std::getchar(); // waits for the kill
            return 1;
        }
        database->commit();
        std::printf("committed %d\n", batch);
        std::fflush(stdout);
    }
}

// Runs in a mount namespace of its own with a small file system at mountPoint: fills it, opens a
// new and an existing (empty) database there, frees the room and opens the new one again. Prints
// what the client reported as JSON.
static int runFullDiskChild(const QString &mountPoint)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    AppInfo info = AppInfo::forThisBuild();
    R7Database *database = R7Database::instance();
    const auto openAt = [&](const QString &path) {
        QJsonObject outcome;
        QJsonArray unable;
        int incompatible = 0;
        const auto c1 = QObject::connect(database, &R7Database::unableToOpenDatabase,
                                         [&unable](const QString &msg) { unable.append(msg); });
        const auto c2 = QObject::connect(database, &R7Database::incompatibleDatabase,
                                         [&incompatible](const QString &, const QString &) { ++incompatible; });
        info.databasePath = path;
        database->init(&info);
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        outcome["unable"] = unable;
        outcome["incompatible"] = incompatible;
        outcome["left"] = QFileInfo::exists(path);
        outcome["size"] = int(QFileInfo(path).size());
        if (unable.isEmpty())
            outcome["version"] = database->getDbInfo().dbVersion();
        return outcome;
    };
    const QString existing = mountPoint + "/existing.db3";
    QFile(existing).open(QIODevice::WriteOnly);
    QFile filler(mountPoint + "/filler");
    if (!filler.open(QIODevice::WriteOnly))
        return 2;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    QJsonObject result;
    result["new"] = openAt(mountPoint + "/client.db3");
    result["existing"] = openAt(existing);
    QFile::remove(filler.fileName());
    result["afterFreeing"] = openAt(mountPoint + "/client.db3");
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}

// A view as the meta-object system names it: its state is stored under its class and object name.
class ListView : public QObject
{
    Q_OBJECT
};

// The local database: its schema and migrations, failures, transactions, and the stores on top of
// it that need no sync records (users, window states).
class TestDatabase_ : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        m_db.reset(new TestDatabase);
        m_incompatible.reset(new QSignalSpy(R7Database::instance(), &R7Database::incompatibleDatabase));
        m_log.reset(new LogCapture);
    }
    void cleanup()
    {
        m_log.reset();
        m_incompatible.reset();
        m_db.reset();
        m_env.reset();
    }
    void freshFileAndReopen()
    {
        m_db->appInfo().displayName = "O'Neil \"Safe\" %1 %2"; // neither breaks the insert nor takes the number's place
        m_db->open();
        QCOMPARE(m_db->rawColumn("SELECT type || ' ' || name FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE "
                                 "'sqlite_%' ORDER BY type, name"),
                 QStringList({"index fs_object_setting_path", "index sync_history_object_history",
                              "index sync_history_object_timestamp", "index sync_history_user_end",
                              "index sync_history_user_start", "table db_info", "table file_safe", "table fs_object",
                              "table sync_history", "table sync_history_object", "table sync_setting", "table user"}));
        const DbInfo info = R7Database::instance()->getDbInfo();
        QCOMPARE(info.dbVersion(), QStringLiteral("1.0.1"));
        QVERIFY2(QRegularExpression("^O'Neil \"Safe\" %1 %2-[0-9]+$").match(info.deviceName()).hasMatch(),
                 qPrintable(info.deviceName()));

        // A second start changes nothing.
        const QStringList schemaBefore = schema();
        openOn({});
        QCOMPARE(R7Database::instance()->getDbInfo().deviceId(), info.deviceId());
        QCOMPARE(schema(), schemaBefore);
        QCOMPARE(m_db->rawValue("SELECT count(*) FROM db_info").toInt(), 1);
    }

    void missingDbInfoIsCreated()
    {
        // Every table but db_info, in its 1.0.0 form and with rows, which they keep.
        openOn(fixture::schema("1.0.0").mid(1) + fixture::rows(QString()));
        QCOMPARE(m_incompatible->count(), 0);
        QVERIFY(migrated().isEmpty());
        QCOMPARE(R7Database::instance()->getDbInfo().dbVersion(), QStringLiteral("1.0.1"));
        QCOMPARE(m_db->rawValue("SELECT count(*) FROM sync_history").toInt(), 1);
    }

    void migrations_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("withSyncQueue");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("0.2.8") << "0.2.8" << true << QStringList() << QStringList{"0.2.9", "1.0.0", "1.0.1"};
        QTest::newRow("0.2.9 with sync_queue") << "0.2.9" << true << QStringList() << QStringList{"1.0.0", "1.0.1"};
        QTest::newRow("0.2.9 without sync_queue") << "0.2.9" << false << QStringList() << QStringList{"1.0.0", "1.0.1"};
        QTest::newRow("1.0.0") << "1.0.0" << false << QStringList() << QStringList{"1.0.1"};
        // An earlier client committed part of the 1.0.0 step before it failed.
        QTest::newRow("1.0.0 half migrated") << "1.0.0" << false
                                             << QStringList{"ALTER TABLE file_safe ADD COLUMN root_folder_id TEXT",
                                                            "ALTER TABLE file_safe ADD COLUMN role_type INTEGER"}
                                             << QStringList{"1.0.1"};
    }
    void migrations()
    {
        QFETCH(QString, version);
        QFETCH(bool, withSyncQueue);
        QFETCH(QStringList, extra);
        QFETCH(QStringList, steps);
        openOn(fixture::schema(version, withSyncQueue) + fixture::rows(version) + extra);
        QCOMPARE(m_incompatible->count(), 0);
        QCOMPARE(migrated(), steps);
        QCOMPARE(m_db->rawColumn("SELECT db_version FROM db_info"), QStringList{"1.0.1"});

        // The current columns and the index exist, the history is emptied, the rest is kept.
        const QStringList columns = m_db->rawColumn("SELECT m.name || '.' || p.name FROM sqlite_master m JOIN "
                                                    "pragma_table_info(m.name) p WHERE m.type = 'table'");
        for (const char *column : {"file_safe.root_folder_id", "file_safe.role_type", "file_safe.last_event",
                                   "file_safe.expiry_date", "sync_setting.remote_state", "sync_setting.root_folder_id",
                                   "sync_setting.synced_last_event", "fs_object.object_id"})
            QVERIFY2(columns.contains(column), column);
        QVERIFY(!R7Database::instance()->tables().contains("sync_queue"));
        QVERIFY(m_db->rawColumn("SELECT name FROM sqlite_master WHERE type='index'").contains("fs_object_setting_path"));
        QCOMPARE(m_db->rawValue("SELECT (SELECT count(*) FROM sync_history) + (SELECT count(*) FROM sync_history_object)")
                         .toInt(),
                 0);
        QCOMPARE(m_db->rawColumn("SELECT root_folder_id || ' ' || path FROM sync_setting, fs_object"),
                 QStringList{"0 a.txt"});
        QCOMPARE(m_db->rawColumn("SELECT id || account_name FROM user ORDER BY id"), QStringList({"5alice", "9bob"}));
        // A user added later gets an id above every kept one.
        QSqlQuery insert;
        QVERIFY(insert.exec("INSERT INTO user (server_id, account_name, last_login) VALUES ('eu', 'carol', 3)"));
        QVERIFY(insert.lastInsertId().toLongLong() > 9);
    }

    void incompatibleVersions_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("newer") << "2.0.0";
        QTest::newRow("older") << "0.2.7";
        QTest::newRow("suffix") << "1.0.1-RC";
        QTest::newRow("empty db_info") << "";
    }
    void incompatibleVersions()
    {
        QFETCH(QString, version);
        QVERIFY(m_db->rawExec(fixture::schema("1.0.0") + fixture::rows(version)));
        const QStringList schemaBefore = schema();
        openOn({});
        QCOMPARE(incompatibleFrom(), version);
        QCOMPARE(schema(), schemaBefore);
        QCOMPARE(m_db->rawValue("SELECT count(*) FROM sync_history").toInt(), 1);
    }

    void failedStepLeavesFileAsItWasAndRunsAgain()
    {
        // The history delete near the end of the 1.0.0 step fails, after every column was added.
        QVERIFY(m_db->rawExec(fixture::schema("1.0.0") + fixture::rows("1.0.0") +
                              QStringList{"CREATE TRIGGER keep_history BEFORE DELETE ON sync_history BEGIN "
                                          "SELECT RAISE(ABORT, 'history is locked'); END"}));
        const QStringList schemaBefore = schema();
        openOn({});
        QCOMPARE(incompatibleFrom(), QStringLiteral("1.0.0"));
        QCOMPARE(schema(), schemaBefore);
        QCOMPARE(m_db->rawValue("SELECT count(*) FROM sync_history_object").toInt(), 1);
        QCOMPARE(R7Database::instance()->transactionDepth(), 0);

        openOn({"DROP TRIGGER keep_history"});
        QCOMPARE(m_incompatible->count(), 0);
        QCOMPARE(migrated(), QStringList{"1.0.1"});
    }

    void unableToOpen()
    {
        // A file where a folder of the path should be.
        QFile blocker(m_env->home() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_db->appInfo().databasePath = m_env->home() + "/blocker/folder/client.db3";
        QSignalSpy unable(R7Database::instance(), &R7Database::unableToOpenDatabase);
        m_db->open();
        QCOMPARE(unable.count(), 1);
        QCOMPARE(m_incompatible->count(), 0);
        QSignalSpy failure(R7Database::instance(), &R7Database::sqlQueryFailure);
        QVERIFY(R7Database::instance()->getDbInfoList().isEmpty());
        QCOMPARE(failure.count(), 1); // later statements fail in exec, each one reported
    }

    void newAccountHasNoFolders()
    {
        // A home without configuration folder; its own mode is not the client's to change.
        const QString home = m_env->home() + "/newhome";
        QVERIFY(QDir().mkpath(home));
        QVERIFY(::chmod(QFile::encodeName(home).constData(), 0755) == 0);
        m_db->appInfo().databasePath = home + "/.config/nested/example.varnel.tessarvale.db3";
        QSignalSpy unable(R7Database::instance(), &R7Database::unableToOpenDatabase);
        const mode_t umaskBefore = ::umask(022);
        m_db->open();
        ::umask(umaskBefore);
        QCOMPARE(unable.count(), 0);
        QCOMPARE(m_incompatible->count(), 0);
        QCOMPARE(R7Database::instance()->getDbInfo().dbVersion(), QStringLiteral("1.0.1"));
        QCOMPARE(modeOf(home + "/.config"), 0700);
        QCOMPARE(modeOf(home + "/.config/nested"), 0700);
        QCOMPARE(modeOf(m_db->appInfo().databasePath), 0600);
        QCOMPARE(modeOf(home), 0755);
    }

    void olderFileIsNarrowed()
    {
        QVERIFY(m_db->rawExec(fixture::schema("1.0.0") + fixture::rows("1.0.0")));
        m_db->closeRaw();
        QVERIFY(::chmod(QFile::encodeName(m_db->path()).constData(), 0664) == 0);
        // The folder holding it may be a shared one (~/.config): left as it is.
        const int folderMode = modeOf(QFileInfo(m_db->path()).path());
        m_db->open();
        QCOMPARE(modeOf(m_db->path()), 0600);
        QCOMPARE(modeOf(QFileInfo(m_db->path()).path()), folderMode);
        QCOMPARE(migrated(), QStringList{"1.0.1"});
        QCOMPARE(m_db->rawColumn("SELECT account_name FROM user ORDER BY id"), QStringList({"alice", "bob"}));
    }

    // The child runs on a small file system of its own that it fills (see runFullDiskChild).
    void fullDisk()
    {
        const QString mountPoint = m_env->home() + "/small";
        QVERIFY(QDir().mkpath(mountPoint));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Root (as in CI) needs a mount namespace only; anyone else gets one with a user namespace.
        child.start("unshare", {::geteuid() == 0 ? "-m" : "-Urm", "--propagation", "private", "sh", "-c",
                                "mount -t tmpfs -o size=512k tmpfs \"$1\" && exec \"$2\" --full-disk-child \"$1\"",
                                "sh", mountPoint, QCoreApplication::applicationFilePath()});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAllStandardOutput();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());
        const QJsonObject result = QJsonDocument::fromJson(out).object();
        QVERIFY2(!result.isEmpty(), out.constData());

        // A new file: the cause told as it is, no version question, and no empty file left.
        const QJsonObject created = result.value("new").toObject();
        QCOMPARE(created.value("incompatible").toInt(), 0);
        QCOMPARE(created.value("unable").toArray().size(), 1);
        const QString cause = created.value("unable").toArray().first().toString();
        QVERIFY2(cause.contains("full"), qPrintable(cause));
        QVERIFY2(!created.value("left").toBool(), qPrintable(QJsonDocument(created).toJson()));

        // A file that was there, even empty, stays.
        const QJsonObject existing = result.value("existing").toObject();
        QCOMPARE(existing.value("incompatible").toInt(), 0);
        QCOMPARE(existing.value("unable").toArray().size(), 1);
        QVERIFY(existing.value("left").toBool());
        QCOMPARE(existing.value("size").toInt(), 0);

        // Once there is room the same file is made and opened as usual.
        const QJsonObject after = result.value("afterFreeing").toObject();
        QCOMPARE(after.value("unable").toArray().size(), 0);
        QCOMPARE(after.value("incompatible").toInt(), 0);
        QCOMPARE(after.value("version").toString(), QString("1.0.1"));
    }

    // Each failure of a prepared statement run again is reported with the driver's own reason.
    void execFailuresAreReported()
    {
        m_db->open();
        QVERIFY(m_db->rawExec({"CREATE UNIQUE INDEX one_path ON fs_object(path)",
                               "CREATE TRIGGER no_seven BEFORE INSERT ON fs_object WHEN NEW.setting_id = 7 BEGIN "
                               "SELECT RAISE(ABORT, 'seven refused'); END"}));
        m_db->closeRaw();
        QSignalSpy failure(R7Database::instance(), &R7Database::sqlQueryFailure);
        QSqlQuery &insert = R7Database::instance()->preparedQuery("INSERT INTO fs_object (setting_id, path) VALUES (?, ?)");
        const QList<int> settings{1, 1, 7}; // the second repeats the path
        for (int i = 0; i < settings.size(); ++i) {
            insert.bindValue(0, settings.at(i));
            insert.bindValue(1, settings.at(i) == 7 ? "b" : "a");
            QCOMPARE(R7Database::execQuery(insert), i == 0);
        }
        insert.finish();
        const QStringList reasons{"UNIQUE", "seven refused"};
        QCOMPARE(failure.count(), reasons.size());
        for (int i = 0; i < reasons.size(); ++i)
            QVERIFY2(failure.at(i).at(0).toString().contains(reasons.at(i)), qPrintable(failure.at(i).at(0).toString()));
    }

    void nestedTransactions()
    {
        m_db->open();
        R7Database *database = R7Database::instance();
        const auto insert = [](const QString &path) {
            QSqlQuery query;
            query.prepare("INSERT INTO fs_object (setting_id, path) VALUES (1, :path)");
            query.bindValue(":path", path);
            return R7Database::execQuery(query);
        };
        const auto paths = [&]() { return m_db->rawColumn("SELECT path FROM fs_object ORDER BY path"); };
        QVERIFY(!database->commit() && !database->rollback());
        // An inner rollback undoes only its own level.
        QVERIFY(database->transaction() && insert("a"));
        QVERIFY(database->transaction() && insert("b"));
        QCOMPARE(database->transactionDepth(), 2);
        QVERIFY(database->rollback());
        QVERIFY(insert("c"));
        QVERIFY(paths().isEmpty()); // nothing visible outside before the outer commit
        QVERIFY(database->commit());
        QCOMPARE(paths(), QStringList({"a", "c"}));
        // An outer rollback undoes what inner levels committed.
        QVERIFY(database->transaction() && database->transaction() && insert("d"));
        QVERIFY(database->transaction() && insert("e"));
        QVERIFY(database->commit() && database->commit());
        QVERIFY(database->rollback());
        QCOMPARE(database->transactionDepth(), 0);
        QCOMPARE(paths(), QStringList({"a", "c"}));
    }

    void killedInTheMiddle_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("marker");
        QTest::newRow("batch open") << "hold" << QByteArray("mid-batch");
        QTest::newRow("while writing") << "loop" << QByteArray("committed 3");
    }
    void killedInTheMiddle()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, marker);
        m_db->open();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash-child"), mode, m_db->path()});
        QVERIFY(child.waitForStarted(10000));
        QByteArray seen;
        while (!seen.contains(marker)) {
            QVERIFY2(child.waitForReadyRead(15000), seen.constData());
            seen += child.readAllStandardOutput();
        }
        if (mode == QLatin1String("hold")) // the batch is on its way into the file
            QVERIFY(QFile::exists(m_db->path() + "-journal"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QCOMPARE(m_db->rawColumn("PRAGMA integrity_check"), QStringList{"ok"});
        // Every batch whole, or not there at all.
        const QStringList batches = m_db->rawColumn("SELECT setting_id || ':' || count(*) FROM fs_object GROUP BY "
                                                    "setting_id ORDER BY setting_id");
        QVERIFY2(mode == QLatin1String("hold") ? batches.size() == 2 : batches.size() >= 3, qPrintable(batches.join(' ')));
        for (int i = 0; i < batches.size(); ++i)
            QCOMPARE(batches.at(i), QString("%1:%2").arg(i + 1).arg(kBatchRows));
        openOn({});
        QCOMPARE(m_incompatible->count(), 0);
        QCOMPARE(FileObjectDao::instance()->loadAll(2).size(), kBatchRows);
    }

    void storeLogin_data()
    {
        QTest::addColumn<QString>("existing"); // values of a row already there, or none
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("server");
        QTest::addColumn<qint64>("keptId"); // 0: a new row
        const auto row = [](const char *tag, const char *existing, const char *name, const char *server, qint64 kept) {
            QTest::newRow(tag) << QString(existing) << QString(name) << QString(server) << kept;
        };
        row("first sign-in", "(7, 'eu', 'other', 1)", "alice", "eu", 0);
        row("second sign-in keeps a 64-bit id", "(4000000000, 'eu', 'alice', 1000)", "alice", "eu", 4000000000);
        row("same name on another server", "(7, 'eu', 'alice', 1)", "alice", "us", 0);
        row("quotes are data", "", "o'neil\"; DROP TABLE user; --", "eu", 0);
    }
    void storeLogin()
    {
        QFETCH(QString, existing);
        QFETCH(QString, name);
        QFETCH(QString, server);
        QFETCH(qint64, keptId);
        m_db->open();
        if (!existing.isEmpty())
            QVERIFY(m_db->rawExec({"INSERT INTO user (id, server_id, account_name, last_login) VALUES " + existing}));
        const int rowsAfter = m_db->rawValue("SELECT count(*) FROM user").toInt() + (keptId ? 0 : 1);
        for (int signIn = 0; signIn < 2; ++signIn) { // the second sign-in finds the row of the first
            const User user = UserDao::instance()->storeLogin(name, server);
            if (keptId)
                QCOMPARE(user.id(), keptId);
            QCOMPARE(m_db->rawValue("SELECT count(*) FROM user").toInt(), rowsAfter);
            // The returned id is the row that was written.
            QCOMPARE(m_db->rawColumn(QString("SELECT account_name || '@' || server_id || '@' || last_login FROM user "
                                             "WHERE id = %1")
                                             .arg(user.id())),
                     QStringList{name + "@" + server + "@" + QString::number(user.lastLogin().toMSecsSinceEpoch())});
            keptId = user.id();
        }
    }

    void stateFlags_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("readTwice");
        QTest::addColumn<bool>("afterRestart");
        QTest::newRow("memory") << 0 << true << false;
        QTest::newRow("memory, read once") << int(Storage::RemoveOnRestore) << false << false;
        QTest::newRow("persistent") << int(Storage::Persistent) << true << true;
        QTest::newRow("persistent, read once") << int(Storage::Persistent | Storage::RemoveOnRestore) << false << false;
    }
    void stateFlags()
    {
        QFETCH(int, flags);
        QFETCH(bool, readTwice);
        QFETCH(bool, afterRestart);
        QSettings settings(settingsPath(), QSettings::IniFormat);
        ListView view;
        view.setObjectName("passwords");
        const QVariantMap values{{"sortColumn", 2}, {"header", QByteArray("\x01\x02")}};
        {
            SettingsStorage storage(&settings, nullptr);
            storage.storeState(&view, values, flags);
            // Written and flushed at once, or not written at all.
            QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value("state/ListView:passwords/sortColumn").toInt(),
                     flags & Storage::Persistent ? 2 : 0);
            QCOMPARE(storage.restoreState(&view), values);
            QCOMPARE(storage.restoreState(&view), readTwice ? values : QVariantMap());
        }
        SettingsStorage restarted(&settings, nullptr);
        QCOMPARE(restarted.restoreState(&view), afterRestart ? values : QVariantMap());
    }

    // A state bound to an account is not shown to another one; other states stay.
    void stateBoundToContext()
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        SettingsStorage storage(&settings, nullptr);
        Storage &base = storage;
        ListView free, bound;
        free.setObjectName("free");
        bound.setObjectName("bound");
        base.setContext(1, "alice");
        storage.storeState(&bound, QVariantMap{{"model", 1}}, Storage::ContextBound);
        storage.storeState(&free, QVariantMap{{"width", 2}}, 0);
        base.setContext(2, "alice"); // another server
        QCOMPARE(storage.restoreState(&bound), QVariantMap());
        QCOMPARE(storage.restoreState(&free), (QVariantMap{{"width", 2}}));
        // Another account; a bound state in the store goes from there too.
        storage.storeState(&bound, QVariantMap{{"a", 1}}, Storage::Persistent | Storage::ContextBound);
        base.setContext(2, "bob");
        QVERIFY(!settings.contains("state/ListView:bound/a"));
        QCOMPARE(storage.restoreState(&bound), QVariantMap());
    }

private:
    // Writes a file behind the client's back, then starts the client on it.
    void openOn(const QStringList &statements)
    {
        QVERIFY(m_db->rawExec(statements));
        m_db->closeRaw();
        m_incompatible->clear();
        m_log->clear();
        m_db->open();
    }
    // The steps the client logged as done.
    QStringList migrated() const
    {
        const QString prefix = QStringLiteral("R7Database::init: migrated DB to ");
        QStringList steps;
        for (const QString &message : m_log->messages())
            if (message.startsWith(prefix))
                steps << message.mid(prefix.size());
        return steps;
    }
    QStringList schema() { return m_db->rawColumn("SELECT sql FROM sqlite_master ORDER BY name"); }
    QString incompatibleFrom() const
    {
        return m_incompatible->count() == 1 && m_incompatible->first().at(1).toString() == QLatin1String("1.0.1")
                       ? m_incompatible->first().at(0).toString()
                       : QStringLiteral("<%1 signals>").arg(m_incompatible->count());
    }
    QString settingsPath() const { return m_env->home() + "/settings.ini"; }
    static int modeOf(const QString &path)
    {
        struct stat st = {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }
    QScopedPointer<TestEnv> m_env;
    QScopedPointer<TestDatabase> m_db;
    QScopedPointer<QSignalSpy> m_incompatible;
    QScopedPointer<LogCapture> m_log;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--crash-child") == 0)
        return runCrashChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 3 && qstrcmp(argv[1], "--full-disk-child") == 0)
        return runFullDiskChild(QString::fromLocal8Bit(argv[2]));
    TestDatabase_ test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_database.moc"
