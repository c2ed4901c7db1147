// The stores of sync settings, file states and the sync history, on one database with two users of one server and one of another.
#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

class TestSyncDaos : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<SyncSetting::RemoteState>(); }
    void init()
    {
        m_env.reset(new TestEnv);
        m_db.reset(new TestDatabase);
        m_db->open();
        QVERIFY(m_db->rawExec({
                "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0), (2, 'eu', "
                "'bob', 0), (3, 'us', 'alice', 0)",
                "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, role_type, expiry_date) "
                "VALUES (1, 1, 'S1', 'team', 'team', 'rcud', 2, '2999-01-01 00:00:00'), (2, 1, 'S2', 'Private', "
                "'private', 'rcud', 1, NULL), (3, 2, 'S3', 'Bob', 'private', 'r', NULL, NULL), (4, 3, 'S1', 'Abroad', "
                "'team', 'r', NULL, NULL)",
        }));
        R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
        signIn(1, "alice", "eu");
    }

    void cleanup()
    {
        R7Session::instance()->setUser(User());
        m_db.reset();
        m_env.reset();
    }
    void addReadsBack()
    {
        const SyncSetting r = SyncSettingsDao::instance()->get(addSetting("S1", "/home/alice/Team", 1));
        QCOMPARE(m_db->rawValue("SELECT file_safe_id FROM sync_setting").toInt(), 1); // alice's S1, not the US one
        QCOMPARE(QStringList({r.safeName(), r.localDir(), r.rootFolderId(), r.expiryDate()}),
                 QStringList({"team", "/home/alice/Team/", "root-S1", "2999-01-01 00:00:00"}));
        QCOMPARE(r.mode(), 1);
        QVERIFY(r.lastSync().isValid() && r.lastSync().toMSecsSinceEpoch() == 0); // never run: the epoch, a valid time
    }

    void addRefusedWithoutSafe_data()
    {
        QTest::addColumn<QString>("safeId");
        QTest::newRow("unknown safe") << "S9";
        QTest::newRow("another user's safe") << "S3";
        QTest::newRow("quote in id") << "S1' OR '1'='1";
    }

    void addRefusedWithoutSafe()
    {
        QFETCH(QString, safeId);
        QCOMPARE(addSetting(safeId, "/home/alice/X"), 0);
        QCOMPARE(count("sync_setting"), 0);
    }

    void overlap_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("inside") << "D:/Data/Safe/Sub" << QStringList{"D:/Data/Safe/"};
        QTest::newRow("contains it") << "D:/Data" << QStringList{"D:/Data/Safe/"};
        QTest::newRow("equal, no slash") << "D:/Data/Safe" << QStringList{"D:/Data/Safe/"};
        QTest::newRow("longer sibling") << "D:/Data/Safe2" << QStringList{};
        QTest::newRow("case differs") << "d:/data/safe/sub" << QStringList{};
        QTest::newRow("inside /a/b after cleaning") << "/a/b/c/../d/" << QStringList{"/a/b/"};
        QTest::newRow("dot dot out of it") << "/a/b/../c" << QStringList{};
        QTest::newRow("other accounts' folders") << "/shared" << QStringList{"/shared/bob/", "/shared/orphan/"};
        QTest::newRow("stored without slash") << "/old/x" << QStringList{"/old"};
        QTest::newRow("sibling of one stored without slash") << "/older" << QStringList{};
        QTest::newRow("root contains all") << "/" << QStringList{"/a/b/", "/old", "/shared/bob/", "/shared/orphan/"};
    }

    void overlap()
    {
        QFETCH(QString, proposed);
        QFETCH(QStringList, found);
        QVERIFY(addSetting("S1", "D:/Data/Safe") == 1 && addSetting("S2", "/a/b") == 2);
        // Bob's, one whose safe row is gone, and one an older client stored without the trailing slash.
        QVERIFY(m_db->rawExec({"INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir) VALUES (11, 3, '/', "
                               "'/shared/bob/'), (12, 99, '/', '/shared/orphan/'), (13, 2, '/', '/old')"}));
        QStringList dirs;
        for (const DuplicatedSyncPath &d : SyncSettingsDao::instance()->getDuplicatedSynchedPaths(proposed))
            dirs << d.localDir();
        dirs.sort();
        QCOMPARE(dirs, found);
    }

    void listFiltersAndOrder_data()
    {
        QTest::addColumn<bool>("currentUser");
        QTest::addColumn<bool>("autoOnly");
        QTest::addColumn<QStringList>("dirs");
        // Safe names order by bytes: "Abroad" < "Bob" < "Private" < "team".
        QTest::newRow("all") << false << false << QStringList{"/us/", "/bob/", "/private/", "/team-auto/", "/team-manual/"};
        QTest::newRow("all automatic") << false << true << QStringList{"/us/", "/bob/", "/private/", "/team-auto/"};
        QTest::newRow("current user") << true << false << QStringList{"/private/", "/team-auto/", "/team-manual/"};
        QTest::newRow("current user automatic") << true << true << QStringList{"/private/", "/team-auto/"};
    }

    void listFiltersAndOrder()
    {
        QFETCH(bool, currentUser);
        QFETCH(bool, autoOnly);
        QFETCH(QStringList, dirs);
        QVERIFY(addSetting("S1", "/team-auto", 0) > 0);
        QVERIFY(addSetting("S1", "/team-manual", 1) > 0);
        QVERIFY(addSetting("S2", "/private", 0) > 0);
        signIn(2, "bob", "eu");
        QVERIFY(addSetting("S3", "/bob", 0) > 0);
        signIn(3, "alice", "us");
        QVERIFY(addSetting("S1", "/us", 0) > 0);
        signIn(1, "alice", "eu");

        QStringList got;
        for (const SyncSetting &s : SyncSettingsDao::instance()->getList(currentUser, autoOnly))
            got << s.localDir();
        // Two settings of one safe have no order between them.
        if (got.contains("/team-manual/") && got.indexOf("/team-manual/") < got.indexOf("/team-auto/"))
            got.swapItemsAt(got.indexOf("/team-manual/"), got.indexOf("/team-auto/"));
        QCOMPARE(got, dirs);
    }

    void removeTakesFileStateAlong()
    {
        const qint64 doomed = addSetting("S1", "/doomed");
        const qint64 kept = addSetting("S2", "/kept");
        for (const QString path : {"f0", "f1", "f2"}) {
            storeFile(path, doomed);
            storeFile(path, kept);
        }
        QVERIFY(SyncSettingsDao::instance()->remove(doomed));
        QVERIFY(FileObjectDao::instance()->loadAll(doomed).isEmpty());
        QCOMPARE(FileObjectDao::instance()->loadAll(kept).size(), 3);

        // All of them: with file state, without, and on an empty table.
        QVERIFY(SyncSettingsDao::instance()->removeAll());
        QCOMPARE(count("fs_object") + count("sync_setting"), 0);
        addSetting("S1", "/a");
        QVERIFY(SyncSettingsDao::instance()->removeAll());
        QCOMPARE(count("sync_setting"), 0);
        QVERIFY(SyncSettingsDao::instance()->removeAll());
    }

    void failedRemovalChangesNothing_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("unknownId");
        QTest::addColumn<bool>("inBatch");
        QTest::newRow("remove, delete refused") << false << false << false;
        QTest::newRow("removeAll, delete refused") << true << false << false;
        // No such setting, but file state under its id: the whole removal is undone.
        QTest::newRow("remove of an unknown id") << false << true << false;
        // Its own level only: the writes of the batch around it stay.
        QTest::newRow("inside a batch") << false << true << true;
    }

    void failedRemovalChangesNothing()
    {
        QFETCH(bool, all);
        QFETCH(bool, unknownId);
        QFETCH(bool, inBatch);
        const qint64 id = addSetting("S1", "/a");
        const qint64 target = unknownId ? 77 : id;
        storeFile("x", target);
        if (!unknownId) {
            QVERIFY(m_db->rawExec({"CREATE TRIGGER keep_settings BEFORE DELETE ON sync_setting BEGIN SELECT "
                                   "RAISE(ABORT, 'kept'); END"}));
            m_db->closeRaw();
        }
        R7Database *database = R7Database::instance();
        if (inBatch) {
            QVERIFY(database->transaction());
            storeFile("batch", 5);
        }
        QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
        QVERIFY(!(all ? SyncSettingsDao::instance()->removeAll() : SyncSettingsDao::instance()->remove(target)));
        QCOMPARE(database->transactionDepth(), inBatch ? 1 : 0);
        if (inBatch)
            QVERIFY(database->commit());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(FileObjectDao::instance()->loadAll(target).size(), 1); // the file state came back
        QVERIFY(!SyncSettingsDao::instance()->get(id).isNull());
        QCOMPARE(FileObjectDao::instance()->loadByPath(5, "batch").isNull(), !inBatch);
    }

    // The remote state is announced when it changes, once.
    void remoteStateAnnouncedOnChange()
    {
        const qint64 id = addSetting("S1", "/a");
        QSignalSpy remote(SyncSettingsDao::instance(), &SyncSettingsDao::remoteStateChanged);
        for (auto state : {SyncSetting::RemoteStatePresent, SyncSetting::RemoteStateGone, SyncSetting::RemoteStateGone})
            SyncSettingsDao::instance()->setRemoteState(id, state);
        QCOMPARE(remote.count(), 1);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QDateTime>("local");
        QTest::addColumn<QDateTime>("remote");
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(1480000000123LL);
        const QDateTime after2038 = QDateTime::fromMSecsSinceEpoch(4102444800001LL);
        QTest::newRow("plain file") << "a/b/c.txt" << qint64(12) << "f" << time << after2038;
        QTest::newRow("folder, unknown times") << "a/b" << qint64(0) << "d" << QDateTime() << QDateTime();
        QTest::newRow("epoch is a real time")
                << "e" << qint64(0) << "f" << QDateTime::fromMSecsSinceEpoch(0) << QDateTime::fromMSecsSinceEpoch(0);
        QTest::newRow("beyond 4 GiB") << "big.iso" << (qint64(5) << 30) << "f" << time << time;
        QTest::newRow("umlaut") << QString::fromUtf8("\xc3\x84rger/\xc3\xb6.txt") << qint64(2) << "f" << time << time;
    }

    void roundTrip()
    {
        QFETCH(QString, path);
        QFETCH(qint64, size);
        QFETCH(QString, type);
        QFETCH(QDateTime, local);
        QFETCH(QDateTime, remote);
        QVERIFY(FileObjectDao::instance()->loadAll(4).isEmpty());
        FileObjectDao::instance()->store(FsObject("obj-1", path, size, local, remote, "rcud", type, "sha256:00ff"), 4);
        const FsObject loaded = FileObjectDao::instance()->loadByPath(4, path);
        QCOMPARE(QStringList({loaded.objectId(), loaded.path(), loaded.type(), loaded.checksum(), loaded.access()}),
                 QStringList({"obj-1", path, type, "sha256:00ff", ""})); // access is not stored
        QCOMPARE(loaded.size(), size);
        // The same instants (or none), whatever the zone they are read in.
        QCOMPARE(loaded.localMtime(), local);
        QCOMPARE(loaded.remoteMtime(), remote);
        QCOMPARE(FileObjectDao::instance()->loadAll(4).value(path).remoteMtime(), remote);
    }

    void lookUpsAndRemovalStayInTheirSetting()
    {
        const qint64 wide = (qint64(1) << 32) + 5; // must not collapse onto setting 5
        store("a", 5);
        store("b", wide);
        store("c", 6);
        QCOMPARE(pathsOf(5), QStringList{"a"});
        QCOMPARE(pathsOf(wide), QStringList{"b"});
        QVERIFY(FileObjectDao::instance()->loadByPath(5, "b").isNull());
        FileObjectDao::instance()->remove("a", 6); // another setting's path: nothing goes
        QCOMPARE(pathsOf(5), QStringList{"a"});

        // Duplicate rows of a path: one is read, all are removed.
        store("dup", 3, 1);
        store("dup", 3, 2);
        store("other", 3, 7);
        QCOMPARE(pathsOf(3), QStringList({"dup", "other"}));
        FileObjectDao::instance()->store(FsObject("oid-d", "dup", 0, QDateTime(), QDateTime(), "", "d", ""), 3);
        int files = -1, dirs = -1;
        FileObjectDao::instance()->loadAll(3, &files, &dirs);
        QCOMPARE(QList<int>({files, dirs}), QList<int>({1, 1})); // the later row of "dup" counts
        FileObjectDao::instance()->remove("dup", 3);
        QCOMPARE(m_db->rawValue("SELECT count(*) FROM fs_object WHERE path = 'dup'").toInt(), 0);
        QCOMPARE(FileObjectDao::instance()->loadByPath(3, "other").size(), 7);
    }

    void lookUpsUseTheIndex()
    {
        for (const QString statement : {"SELECT object_id FROM fs_object WHERE setting_id = 1 AND path = 'x'",
                                        "DELETE FROM fs_object WHERE setting_id = 1 AND path = 'x'",
                                        "SELECT object_id FROM fs_object WHERE setting_id = 1"}) {
            QSqlQuery query;
            QVERIFY(query.exec("EXPLAIN QUERY PLAN " + statement));
            QStringList plan;
            while (query.next())
                plan << query.value(3).toString();
            QVERIFY2(QRegularExpression("USING (COVERING )?INDEX fs_object_setting_path").match(plan.join(' ')).hasMatch(),
                     qPrintable(statement + ": " + plan.join(" | ")));
        }
    }

    void runLifecycle()
    {
        const SyncHistory run = SyncHistoryDao::instance()->startSync();
        SyncHistoryDao::instance()->finishSync(run.id());
        SyncHistoryDao::instance()->cancelSync(SyncHistoryDao::instance()->startSync().id());
        QCOMPARE(SyncHistoryDao::instance()->lastSync().id(), run.id()); // a cancelled run does not count
    }

    void lastSyncPicksLatestFinishedRun()
    {
        QVERIFY(SyncHistoryDao::instance()->lastSync().isNull());
        const qint64 big = qint64(1) << 41;    // times and ids beyond 32 bits
        addRun(1, big + 10, -1, 1);            // still running
        addRun(2, big + 20, big + 9000, 2);    // cancelled
        addRun(3, big + 20, big + 9000, 3, 2); // another user's
        QVERIFY(SyncHistoryDao::instance()->lastSync().isNull());
        addRun(big + 1, big + 500, big + 900, 3);
        addRun(big + 2, big + 100, big + 1000, 3); // started earlier, ended later
        const SyncHistory last = SyncHistoryDao::instance()->lastSync();
        QCOMPARE(last.id(), big + 2);
        QCOMPARE(last.endTime().toMSecsSinceEpoch(), big + 1000);
    }

    void historyByStartOfRun()
    {
        const qint64 from = 1480000000000LL;
        const qint64 to = 1480086400000LL;
        // Each row's own time is inside the range: the start of its run decides, both ends included.
        addRun(1, from - 1, from + 10, 3);
        addRun(2, from, from + 10, 3);
        addRun(3, to, to + 10, 2);
        addRun(4, to + 1, to + 10, 3);
        addRun(5, from, from + 10, 3, 2); // another user's run
        for (int run = 1; run <= 5; ++run)
            addRow(run, SyncAction::DownloadFile, from + 100 * run, QString("run%1").arg(run));
        // Rows of these kinds are never listed.
        addRow(2, SyncAction::NoAction, from + 210, "none");
        addRow(2, SyncAction::UpdateSyncState, from + 220, "state");
        addRow(2, SyncAction::RemoveSyncState, from + 230, "removed");
        addRow(2, SyncAction::ActionUndefined, from + 240, "undefined");
        addRow(3, SyncAction::DeleteRemoteDir, from + 310, "newest");
        const QList<SyncHistoryObject> rows = SyncHistoryDao::instance()->loadHistory(QDateTime::fromMSecsSinceEpoch(from),
                                                                                      QDateTime::fromMSecsSinceEpoch(to));
        QStringList local;
        for (const SyncHistoryObject &row : rows)
            local << row.localDir();
        QCOMPARE(local, QStringList({"newest", "run3", "run2"}));
    }

    void storeAndUpdateExactlyOneRow()
    {
        SyncAction a = action("docs/a.txt", SyncAction::UploadFile, SyncAction::STATUS_OK);
        const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(&a, 7);
        a.setSyncHistoryObjectId(id);
        a.setExecuted(SyncAction::ERR_QUOTA_EXCEEDED, "full");
        QVERIFY(SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 7));
        QCOMPARE(stateOf(id), 400);
        // Another run, or a changed path, matches no row.
        QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 8));
        a.setName("renamed.txt");
        a.setStatus(SyncAction::ERR_FILE_DOWNLOAD);
        QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 7));
        QCOMPARE(stateOf(id), 400);
        QCOMPARE(R7Database::instance()->transactionDepth(), 0);

        // Inside a batch a refused update rolls back its own level only.
        R7Database *database = R7Database::instance();
        QVERIFY(database->transaction());
        SyncAction b = action("b.txt", SyncAction::DownloadFile, SyncAction::STATUS_TODO);
        b.setSyncHistoryObjectId(SyncHistoryDao::instance()->storeSyncHistoryObject(&b, 1));
        b.setStatus(SyncAction::STATUS_OK);
        QVERIFY(SyncHistoryDao::instance()->updateSyncHistoryObject(&b, 1));
        QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 1));
        QCOMPARE(database->transactionDepth(), 1);
        QVERIFY(database->commit());
        QCOMPARE(stateOf(b.syncHistoryObjectId()), 1);
    }

private:
    qint64 addSetting(const QString &safeId, const QString &localDir, int mode = 0)
    {
        SyncSetting setting;
        setting.setSafeId(safeId);
        setting.setLocalDir(localDir);
        setting.setRemoteDir("/");
        setting.setRootFolderId("root-" + safeId);
        setting.setMode(mode);
        if (!SyncSettingsDao::instance()->add(setting))
            return 0;
        return m_db->rawValue("SELECT max(id) FROM sync_setting").toLongLong();
    }

    static void storeFile(const QString &path, qint64 settingId)
    {
        FileObjectDao::instance()->store(FsObject("", path, 1, {}, {}, "", "f", ""), settingId);
    }
    static void signIn(qint64 id, const QString &name, const QString &server)
    {
        R7Session::instance()->setUser(User(id, name, server, QDateTime()));
    }
    int count(const QString &table) { return m_db->rawValue("SELECT count(*) FROM " + table).toInt(); }
    static void store(const QString &path, qint64 setting, qint64 size = 3)
    {
        FileObjectDao::instance()->store(FsObject("oid-" + path, path, size, QDateTime::fromMSecsSinceEpoch(1),
                                                  QDateTime::fromMSecsSinceEpoch(2), "rcud", "f", "sha256:0a1b"),
                                         setting);
    }
    static QStringList pathsOf(qint64 setting)
    {
        QStringList paths = FileObjectDao::instance()->loadAll(setting).keys();
        paths.sort();
        return paths;
    }

    void addRun(qint64 id, qint64 start, qint64 end, int state, qint64 user = 1)
    {
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_history VALUES (%1, %2, %3, %4, %5)")
                                       .arg(QString::number(id), QString::number(start),
                                            end < 0 ? QString("NULL") : QString::number(end), QString::number(state),
                                            QString::number(user))}));
    }
    void addRow(qint64 run, int action, qint64 timestamp, const QString &local)
    {
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, type, "
                                       "state, action, timestamp) VALUES (%1, '%2', 'Safe: r', 'f', 1, %3, %4)")
                                       .arg(QString::number(run), local, QString::number(action),
                                            QString::number(timestamp))}));
    }
    static SyncAction action(const QString &path, int type, int status)
    {
        SyncAction a;
        a.setLocalBase("/home/alice/Safe");
        a.setRemoteBase("/");
        a.setRemoteSafeName("Safe");
        a.setPath(path.section('/', 0, -2));
        a.setName(path.section('/', -1));
        a.setType("f");
        a.setAction(type);
        a.setStatus(status);
        return a;
    }
    qint64 stateOf(qint64 id)
    {
        return m_db->rawValue(QString("SELECT state FROM sync_history_object WHERE id = %1").arg(id)).toLongLong();
    }
    QScopedPointer<TestEnv> m_env;
    QScopedPointer<TestDatabase> m_db;
};

QTEST_GUILESS_MAIN(TestSyncDaos)
#include "tst_syncdaos.moc"
