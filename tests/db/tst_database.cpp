#include "db/R7Database.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

// Files as older versions of the client wrote them.
namespace fixture {

const QString dbInfo = QStringLiteral("create table db_info (id INTEGER PRIMARY KEY, db_version TEXT, device_id TEXT, "
                                      "device_name TEXT, creation_time TEXT)");
const QString fileSafe100 = QStringLiteral(
        "create table file_safe (id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER, safe_id TEXT, safe_name TEXT, "
        "safe_type TEXT, access TEXT, storage_quota INTEGER, storage_used INTEGER, has_trash INTEGER)");
const QString user100 = QStringLiteral("create table user (id INTEGER PRIMARY KEY AUTOINCREMENT, server_id TEXT, "
                                       "account_name TEXT, last_login INTEGER)");
const QString user029 = QStringLiteral(
        "create table user (id INTEGER PRIMARY KEY, server_id TEXT, account_name TEXT, last_login INTEGER)");
const QString fsObject100 = QStringLiteral(
        "create table fs_object (id INTEGER PRIMARY KEY AUTOINCREMENT, setting_id INTEGER, path TEXT, checksum TEXT, "
        "local_mtime INTEGER, remote_mtime INTEGER, type TEXT, size INTEGER)");
const QString syncHistory = QStringLiteral("create table sync_history (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                           "start_time INTEGER, end_time INTEGER, state INTEGER, user_id INTEGER)");
const QString syncSetting100 = QStringLiteral(
        "CREATE TABLE sync_setting (id INTEGER PRIMARY KEY AUTOINCREMENT, file_safe_id INTEGER, remote_dir TEXT, "
        "local_dir TEXT, last_sync INTEGER, mode INTEGER, remote_state INTEGER)");
const QString syncSetting029 =
        QStringLiteral("CREATE TABLE sync_setting (id INTEGER PRIMARY KEY AUTOINCREMENT, file_safe_id INTEGER, "
                       "remote_dir TEXT, local_dir TEXT, last_sync INTEGER, mode INTEGER)");
const QString historyObject = QStringLiteral(
        "CREATE TABLE sync_history_object (id INTEGER PRIMARY KEY AUTOINCREMENT, sync_history_id INTEGER, local_dir "
        "TEXT, remote_dir TEXT, type TEXT, state INTEGER, action INTEGER, timestamp INTEGER)");
const QString syncQueue =
        QStringLiteral("create table sync_queue (id INTEGER PRIMARY KEY, setting_id INTEGER, path TEXT)");

QStringList schema(const QString &version, bool withSyncQueue)
{
    const bool old = version == QLatin1String("0.2.8") || version == QLatin1String("0.2.9");
    QStringList statements{
            dbInfo,
            fileSafe100,
            old ? user029 : user100,
            fsObject100,
            syncHistory,
            old ? syncSetting029 : syncSetting100,
            historyObject,
            QStringLiteral("CREATE INDEX sync_history_object_timestamp ON sync_history_object(timestamp)")};
    if (withSyncQueue)
        statements << syncQueue;
    return statements;
}

QStringList rows(const QString &version)
{
    QStringList statements{
            QStringLiteral("insert into db_info (db_version, device_id, device_name, creation_time) values ('%1', "
                           "'0f8b2c8e-5c1e-4a9e-9b51-3c1f2d7e8a10', 'Tessarvale-42', 'Tue Mar 3 10:00:00 2015')")
                    .arg(version),
            QStringLiteral(
                    "insert into user (id, server_id, account_name, last_login) values (5, 'eu', 'alice', 1000)"),
            QStringLiteral("insert into user (id, server_id, account_name, last_login) values (9, 'eu', 'bob', 2000)"),
            QStringLiteral("insert into file_safe (user_id, safe_id, safe_name, safe_type, access) values (5, 'S1', "
                           "'Private', 'private', 'rcud')"),
            QStringLiteral("insert into sync_setting (file_safe_id, remote_dir, local_dir, mode) values (1, '/', "
                           "'/home/alice/Private/', 0)"),
            QStringLiteral("insert into fs_object (setting_id, path, type, size) values (1, 'a.txt', 'f', 3)"),
            QStringLiteral("insert into sync_history (start_time, end_time, state, user_id) values (1, 2, 3, 5)"),
            QStringLiteral("insert into sync_history_object (sync_history_id, local_dir, remote_dir, type, state, "
                           "action, timestamp) values (1, 'a', 'b', 'f', 1, 6, 2)"),
    };
    return statements;
}

} // namespace fixture

class TestDatabase_ : public QObject
{
    Q_OBJECT

private slots:
    void instanceIsSingle();
    void freshFile();
    void reopenChangesNothing();
    void quoteInDisplayNameIsStored();
    void missingDbInfoIsCreated();
    void migrations_data();
    void migrations();
    void halfMigratedFileCompletes();
    void incompatibleVersions_data();
    void incompatibleVersions();
    void emptyDbInfo();
    void failedStepLeavesFileAsItWasAndRunsAgain();
    void unableToOpen();
    void execFailureIsLoggedAndSignalled();
    void reusedStatementReportsItsOwnFailure();
    void errorTypeName_data();
    void errorTypeName();
    void changesCountsLastWrite();
    void nestedTransactions();
    void dbInfoOrdering_data();
    void dbInfoOrdering();

private:
    static QStringList migratedLines(const LogCapture &log)
    {
        QStringList lines;
        for (const QString &message : log.messages()) {
            if (message.startsWith(QLatin1String("R7Database::init: migrated DB to ")))
                lines << message.mid(33);
        }
        return lines;
    }
};

void TestDatabase_::instanceIsSingle()
{
    LogCapture log;
    R7Database *first = R7Database::instance();
    for (int i = 0; i < 5; ++i)
        QCOMPARE(R7Database::instance(), first);
    QCOMPARE(log.count(QStringLiteral("R7Database::instance: ")), 1);
}

void TestDatabase_::freshFile()
{
    TestEnv env;
    TestDatabase db;
    db.appInfo().displayName = "Tessarvale";
    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();

    QStringList tables = R7Database::instance()->tables();
    tables.removeAll(QStringLiteral("sqlite_sequence"));
    tables.sort();
    QCOMPARE(tables, QStringList({"db_info", "file_safe", "fs_object", "sync_history", "sync_history_object",
                                  "sync_setting", "user"}));
    QStringList indexes = db.rawColumn("SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL");
    indexes.sort();
    QCOMPARE(indexes,
             QStringList({"fs_object_setting_path", "sync_history_object_history", "sync_history_object_timestamp",
                          "sync_history_user_end", "sync_history_user_start"}));

    QCOMPARE(db.rawValue("SELECT count(*) FROM db_info").toInt(), 1);
    const QList<DbInfo> list = R7Database::instance()->getDbInfoList();
    QCOMPARE(list.size(), 1);
    const DbInfo info = list.first();
    QCOMPARE(info.id(), qint64(1));
    QCOMPARE(info.dbVersion(), QStringLiteral("1.0.1"));
    QVERIFY2(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
                     .match(info.deviceId())
                     .hasMatch(),
             qPrintable(info.deviceId()));
    QVERIFY2(QRegularExpression("^Tessarvale-[0-9]+$").match(info.deviceName()).hasMatch(),
             qPrintable(info.deviceName()));
    const QDateTime created = QDateTime::fromString(info.creationTime(), Qt::TextDate);
    QVERIFY2(created.isValid(), qPrintable(info.creationTime()));
    QVERIFY(qAbs(created.secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(R7Database::instance()->getDbInfo(), info);
    QCOMPARE(R7Database::instance()->getDbInfo().deviceId(), info.deviceId());

    QVERIFY(log.contains("R7Database::init: DB version is up to date: 1.0.1"));
    QCOMPARE(incompatible.count(), 0);
}

void TestDatabase_::reopenChangesNothing()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    const DbInfo before = R7Database::instance()->getDbInfo();
    const QStringList schemaBefore = db.rawColumn("SELECT sql FROM sqlite_master ORDER BY name");
    db.closeRaw();

    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    db.open();
    const DbInfo after = R7Database::instance()->getDbInfo();
    QCOMPARE(after.deviceId(), before.deviceId());
    QCOMPARE(after.deviceName(), before.deviceName());
    QCOMPARE(after.creationTime(), before.creationTime());
    QCOMPARE(db.rawColumn("SELECT sql FROM sqlite_master ORDER BY name"), schemaBefore);
    QCOMPARE(db.rawValue("SELECT count(*) FROM db_info").toInt(), 1);
    QCOMPARE(incompatible.count(), 0);
}

void TestDatabase_::quoteInDisplayNameIsStored()
{
    TestEnv env;
    TestDatabase db;
    db.appInfo().displayName = "O'Neil \"Safe\" %1 %2";
    db.open();
    QVERIFY2(QRegularExpression("^O'Neil \"Safe\" %1 %2-[0-9]+$")
                     .match(R7Database::instance()->getDbInfo().deviceName())
                     .hasMatch(),
             qPrintable(R7Database::instance()->getDbInfo().deviceName()));
    QCOMPARE(R7Database::instance()->getDbInfo().dbVersion(), QStringLiteral("1.0.1"));
}

void TestDatabase_::missingDbInfoIsCreated()
{
    TestEnv env;
    TestDatabase db;
    // Other tables in an older form, no db_info: the new row makes the file current.
    QVERIFY(db.rawExec(
            {fixture::fileSafe100, fixture::fsObject100, "insert into fs_object (setting_id, path) values (3, 'x')"}));
    db.closeRaw();
    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();
    QCOMPARE(incompatible.count(), 0);
    QVERIFY(migratedLines(log).isEmpty());
    QCOMPARE(R7Database::instance()->getDbInfo().dbVersion(), QStringLiteral("1.0.1"));
    // Existing tables are left in their form, missing ones created.
    QVERIFY(!db.rawColumn("SELECT name FROM pragma_table_info('fs_object')").contains("object_id"));
    QCOMPARE(db.rawValue("SELECT path FROM fs_object").toString(), QStringLiteral("x"));
    QVERIFY(R7Database::instance()->tables().contains("sync_history_object"));
}

void TestDatabase_::migrations_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("withSyncQueue");
    QTest::addColumn<QStringList>("migrated");
    QTest::newRow("0.2.8") << "0.2.8" << true << QStringList{"0.2.9", "1.0.0", "1.0.1"};
    QTest::newRow("0.2.9 with sync_queue") << "0.2.9" << true << QStringList{"1.0.0", "1.0.1"};
    QTest::newRow("0.2.9 without sync_queue") << "0.2.9" << false << QStringList{"1.0.0", "1.0.1"};
    QTest::newRow("1.0.0") << "1.0.0" << false << QStringList{"1.0.1"};
}

void TestDatabase_::migrations()
{
    QFETCH(QString, version);
    QFETCH(bool, withSyncQueue);
    QFETCH(QStringList, migrated);
    TestEnv env;
    TestDatabase db;
    QVERIFY(db.rawExec(fixture::schema(version, withSyncQueue) + fixture::rows(version)));
    db.closeRaw();

    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();
    QCOMPARE(incompatible.count(), 0);
    QCOMPARE(migratedLines(log), migrated);
    QStringList steps;
    for (const QString &message : log.messages()) {
        if (message.startsWith(QLatin1String("R7Database::init: migrate DB from ")))
            steps << message.mid(34);
    }
    QStringList expectedSteps;
    QString from = version;
    for (const QString &to : migrated) {
        expectedSteps << from + " to " + to;
        from = to;
    }
    QCOMPARE(steps, expectedSteps);
    QVERIFY(!log.contains("DB migration errors"));
    QCOMPARE(R7Database::instance()->getDbInfo().dbVersion(), QStringLiteral("1.0.1"));
    QCOMPARE(db.rawColumn("SELECT db_version FROM db_info"), QStringList{"1.0.1"});

    // The current columns exist, the history is emptied, the rest is kept.
    const auto columns = [&](const char *table) {
        return db.rawColumn(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table));
    };
    for (const char *column : {"root_folder_id", "role_type", "last_event", "expiry_date"})
        QVERIFY2(columns("file_safe").contains(column), column);
    for (const char *column : {"remote_state", "root_folder_id", "synced_last_event"})
        QVERIFY2(columns("sync_setting").contains(column), column);
    QVERIFY(columns("fs_object").contains("object_id"));
    QVERIFY(!R7Database::instance()->tables().contains("sync_queue"));
    QCOMPARE(db.rawValue("SELECT count(*) FROM sync_history").toInt(), 0);
    QCOMPARE(db.rawValue("SELECT count(*) FROM sync_history_object").toInt(), 0);
    QCOMPARE(db.rawColumn("SELECT root_folder_id FROM sync_setting"), QStringList{"0"});
    QCOMPARE(db.rawColumn("SELECT path FROM fs_object"), QStringList{"a.txt"});
    QCOMPARE(db.rawColumn("SELECT account_name FROM user ORDER BY id"), QStringList({"alice", "bob"}));
    QCOMPARE(db.rawColumn("SELECT id FROM user ORDER BY id"), QStringList({"5", "9"}));
    QVERIFY(db.rawColumn("SELECT name FROM sqlite_master WHERE type='index'").contains("fs_object_setting_path"));

    // A user added later gets an id above every kept one from the table's own sequence.
    QSqlQuery insert;
    QVERIFY(insert.exec("INSERT INTO user (server_id, account_name, last_login) VALUES ('eu', 'carol', 3)"));
    QVERIFY(insert.lastInsertId().toLongLong() > 9);
    QVERIFY(db.rawValue("SELECT sql FROM sqlite_master WHERE name='user'").toString().contains("AUTOINCREMENT"));
}

void TestDatabase_::halfMigratedFileCompletes()
{
    // An earlier client committed part of the 1.0.0 step before it failed.
    TestEnv env;
    TestDatabase db;
    QVERIFY(db.rawExec(fixture::schema("1.0.0", false) + fixture::rows("1.0.0") +
                       QStringList{"ALTER TABLE file_safe ADD COLUMN root_folder_id TEXT",
                                   "ALTER TABLE file_safe ADD COLUMN role_type INTEGER"}));
    db.closeRaw();
    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();
    QCOMPARE(incompatible.count(), 0);
    QCOMPARE(migratedLines(log), QStringList{"1.0.1"});
    QVERIFY(db.rawColumn("SELECT name FROM pragma_table_info('file_safe')").contains("expiry_date"));
}

void TestDatabase_::incompatibleVersions_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("newer") << "2.0.0";
    QTest::newRow("older") << "0.2.7";
    QTest::newRow("suffix") << "1.0.1-RC";
}

void TestDatabase_::incompatibleVersions()
{
    QFETCH(QString, version);
    TestEnv env;
    TestDatabase db;
    QVERIFY(db.rawExec(fixture::schema("1.0.0", false) + fixture::rows(version)));
    const QStringList schemaBefore = db.rawColumn("SELECT sql FROM sqlite_master ORDER BY name");
    db.closeRaw();

    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();
    QCOMPARE(incompatible.count(), 1);
    QCOMPARE(incompatible.first().at(0).toString(), version);
    QCOMPARE(incompatible.first().at(1).toString(), QStringLiteral("1.0.1"));
    QVERIFY(migratedLines(log).isEmpty());
    QVERIFY(!log.contains("migrate DB from"));
    QCOMPARE(db.rawColumn("SELECT sql FROM sqlite_master ORDER BY name"), schemaBefore);
    QCOMPARE(db.rawValue("SELECT count(*) FROM sync_history").toInt(), 1);
}

void TestDatabase_::emptyDbInfo()
{
    TestEnv env;
    TestDatabase db;
    QVERIFY(db.rawExec(fixture::schema("1.0.0", false)));
    db.closeRaw();
    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    db.open();
    QCOMPARE(incompatible.count(), 1);
    QCOMPARE(incompatible.first().at(0).toString(), QString());
    QCOMPARE(incompatible.first().at(1).toString(), QStringLiteral("1.0.1"));
    const DbInfo info = R7Database::instance()->getDbInfo();
    QCOMPARE(info.id(), qint64(0));
    QVERIFY(info.dbVersion().isEmpty() && info.deviceId().isEmpty() && info.deviceName().isEmpty());
    QVERIFY(R7Database::instance()->getDbInfoList().isEmpty());
}

void TestDatabase_::failedStepLeavesFileAsItWasAndRunsAgain()
{
    TestEnv env;
    TestDatabase db;
    // The history delete near the end of the 1.0.0 step fails, after every column was added.
    QVERIFY(db.rawExec(fixture::schema("1.0.0", false) + fixture::rows("1.0.0") +
                       QStringList{"CREATE TRIGGER keep_history BEFORE DELETE ON sync_history BEGIN "
                                   "SELECT RAISE(ABORT, 'history is locked'); END"}));
    const QStringList schemaBefore = db.rawColumn("SELECT sql FROM sqlite_master ORDER BY name");
    db.closeRaw();

    {
        QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
        LogCapture log;
        db.open();
        QCOMPARE(incompatible.count(), 1);
        QCOMPARE(incompatible.first().at(0).toString(), QStringLiteral("1.0.0"));
        QVERIFY(log.contains("R7Database::init: DB migration errors: 1"));
        QVERIFY(log.contains("R7Database::init: Query: DELETE FROM sync_history;"));
        QVERIFY(log.contains("history is locked"));
    }
    QCOMPARE(db.rawColumn("SELECT sql FROM sqlite_master ORDER BY name"), schemaBefore);
    QCOMPARE(db.rawColumn("SELECT db_version FROM db_info"), QStringList{"1.0.0"});
    QCOMPARE(db.rawValue("SELECT count(*) FROM sync_history_object").toInt(), 1);
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);

    QVERIFY(db.rawExec({"DROP TRIGGER keep_history"}));
    db.closeRaw();
    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();
    QCOMPARE(incompatible.count(), 0);
    QCOMPARE(migratedLines(log), QStringList{"1.0.1"});
    QCOMPARE(db.rawColumn("SELECT db_version FROM db_info"), QStringList{"1.0.1"});
}

void TestDatabase_::unableToOpen()
{
    TestEnv env;
    TestDatabase db;
    db.appInfo().databasePath = env.home() + "/missing/folder/client.db3";
    QSignalSpy unable(R7Database::instance(), &R7Database::unableToOpenDatabase);
    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    LogCapture log;
    db.open();
    QCOMPARE(unable.count(), 1);
    QVERIFY(!unable.first().at(0).toString().isEmpty());
    QCOMPARE(incompatible.count(), 0);
    QVERIFY(log.contains("R7Database::init: Unable to open database: " + env.home() + "/missing/folder/client.db3"));

    // Later statements fail in exec, each one reported.
    QSignalSpy failure(R7Database::instance(), &R7Database::sqlQueryFailure);
    QVERIFY(R7Database::instance()->getDbInfoList().isEmpty());
    QCOMPARE(failure.count(), 1);
}

void TestDatabase_::execFailureIsLoggedAndSignalled()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    QSignalSpy failure(R7Database::instance(), &R7Database::sqlQueryFailure);
    LogCapture log;
    QSqlQuery query;
    query.prepare("SELECT id FROM no_such_table WHERE id = :id");
    const QString driverText = query.lastError().text();
    query.bindValue(":id", 1);
    QVERIFY(!R7Database::execQuery(query));
    QCOMPARE(failure.count(), 1);
    const QString message = failure.first().at(0).toString();
    const QString expected = QStringLiteral("DB error: %1 (type: %2)\n query: (%3)")
                                     .arg(driverText, "StatementError", "SELECT id FROM no_such_table WHERE id = :id");
    QCOMPARE(message, expected);
    QVERIFY2(message.contains("no such table"), qPrintable(message));
    QCOMPARE(log.count("R7Database::exec: "), 1);
    QVERIFY(log.messages().contains("R7Database::exec: " + expected));
}

void TestDatabase_::reusedStatementReportsItsOwnFailure()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    QVERIFY(db.rawExec({"CREATE UNIQUE INDEX one_path ON fs_object(path)",
                        "CREATE TRIGGER no_seven BEFORE INSERT ON fs_object WHEN NEW.setting_id = 7 BEGIN "
                        "SELECT RAISE(ABORT, 'seven refused'); END"}));
    db.closeRaw();
    QSignalSpy failure(R7Database::instance(), &R7Database::sqlQueryFailure);
    QSqlQuery &query = R7Database::instance()->preparedQuery(
            "INSERT INTO fs_object (setting_id, path) VALUES (:setting_id, :path)");
    query.bindValue(":setting_id", 1);
    query.bindValue(":path", "a");
    QVERIFY(R7Database::execQuery(query));
    QVERIFY(!R7Database::execQuery(query)); // the same path again
    QVERIFY(failure.last().at(0).toString().contains("UNIQUE"));
    query.bindValue(":setting_id", 7);
    query.bindValue(":path", "b");
    QVERIFY(!R7Database::execQuery(query));
    QVERIFY2(failure.last().at(0).toString().contains("seven refused"), qPrintable(failure.last().at(0).toString()));
    query.finish();
}

void TestDatabase_::errorTypeName_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << "NoError";
    QTest::newRow("1") << 1 << "ConnectionError";
    QTest::newRow("2") << 2 << "StatementError";
    QTest::newRow("3") << 3 << "TransactionError";
    QTest::newRow("4") << 4 << "UnknownError";
    QTest::newRow("5") << 5 << "unknown";
    QTest::newRow("-1") << -1 << "unknown";
}

void TestDatabase_::errorTypeName()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QCOMPARE(R7Database::errorTypeName(static_cast<QSqlError::ErrorType>(type)), name);
}

void TestDatabase_::changesCountsLastWrite()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    QSqlQuery query;
    for (int i = 0; i < 4; ++i)
        QVERIFY(query.exec(QStringLiteral("INSERT INTO fs_object (setting_id, path) VALUES (%1, 'p%2')")
                                   .arg(i < 3 ? 7 : 8)
                                   .arg(i)));
    QVERIFY(query.exec("UPDATE fs_object SET size = 1 WHERE setting_id = 7"));
    int count = -5;
    QVERIFY(R7Database::changes(&count));
    QCOMPARE(count, 3);
    QVERIFY(query.exec("SELECT * FROM fs_object"));
    count = -5;
    QVERIFY(R7Database::changes(&count));
    QCOMPARE(count, 3);
    QVERIFY(query.exec("DELETE FROM fs_object WHERE setting_id = 99"));
    QVERIFY(R7Database::changes(&count));
    QCOMPARE(count, 0);
}

void TestDatabase_::nestedTransactions()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    R7Database *database = R7Database::instance();
    const auto insert = [](const QString &path) {
        QSqlQuery query;
        query.prepare("INSERT INTO fs_object (setting_id, path) VALUES (1, :path)");
        query.bindValue(":path", path);
        return R7Database::execQuery(query);
    };
    const auto paths = [&]() { return db.rawColumn("SELECT path FROM fs_object ORDER BY path"); };

    QVERIFY(!database->commit());
    QVERIFY(!database->rollback());

    // An inner rollback undoes only its own level.
    QVERIFY(database->transaction());
    QVERIFY(insert("a"));
    QVERIFY(database->transaction());
    QCOMPARE(database->transactionDepth(), 2);
    QVERIFY(insert("b"));
    QVERIFY(database->rollback());
    QVERIFY(insert("c"));
    QVERIFY(paths().isEmpty()); // nothing visible outside before the outer commit
    QVERIFY(database->commit());
    QCOMPARE(database->transactionDepth(), 0);
    QCOMPARE(paths(), QStringList({"a", "c"}));

    // An outer rollback undoes what inner levels committed.
    QVERIFY(database->transaction());
    QVERIFY(database->transaction());
    QVERIFY(insert("d"));
    QVERIFY(database->transaction());
    QVERIFY(insert("e"));
    QVERIFY(database->commit());
    QVERIFY(database->commit());
    QVERIFY(database->rollback());
    QCOMPARE(database->transactionDepth(), 0);
    QCOMPARE(paths(), QStringList({"a", "c"}));
}

void TestDatabase_::dbInfoOrdering_data()
{
    QTest::addColumn<qint64>("idA");
    QTest::addColumn<QString>("versionA");
    QTest::addColumn<qint64>("idB");
    QTest::addColumn<QString>("versionB");
    QTest::addColumn<bool>("less");
    QTest::addColumn<bool>("equal");
    QTest::newRow("ids decide") << qint64(1) << "1.0.1" << qint64(2) << "0.2.8" << true << false;
    QTest::newRow("ids decide, reversed") << qint64(3) << "0.2.8" << qint64(2) << "1.0.1" << false << false;
    QTest::newRow("64-bit ids") << qint64(1) << "1" << (qint64(1) << 40) << "1" << true << false;
    QTest::newRow("one id missing") << qint64(0) << "1.0.1" << qint64(2) << "1.0.0" << false << false;
    QTest::newRow("no ids, version") << qint64(0) << "0.2.9" << qint64(0) << "1.0.0" << true << false;
    QTest::newRow("same id and version") << qint64(4) << "1.0.1" << qint64(4) << "1.0.1" << false << true;
}

void TestDatabase_::dbInfoOrdering()
{
    QFETCH(qint64, idA);
    QFETCH(QString, versionA);
    QFETCH(qint64, idB);
    QFETCH(QString, versionB);
    QFETCH(bool, less);
    QFETCH(bool, equal);
    DbInfo a(versionA, "device-a", "name-a", "Mon Jan 1 00:00:00 2024");
    a.setId(idA);
    DbInfo b(versionB, "device-b", "name-b", "Tue Jan 2 00:00:00 2024");
    b.setId(idB);
    QCOMPARE(a < b, less);
    QCOMPARE(a == b, equal);
    QCOMPARE(DbInfo().id(), qint64(0));
}

QTEST_GUILESS_MAIN(TestDatabase_)
#include "tst_database.moc"
