#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QSignalSpy>
#include <QtTest>

class TestSyncSettingsDao : public QObject
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
        QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
        SyncSetting setting;
        setting.setSafeId("S1");
        setting.setLocalDir("/home/alice/Team");
        setting.setRemoteDir("/projects");
        setting.setRootFolderId("F-17");
        setting.setMode(1);
        setting.setRemoteState(SyncSetting::RemoteStateGone);
        setting.setLastSync(QDateTime::currentDateTime()); // not written
        QVERIFY(SyncSettingsDao::instance()->add(setting));
        QCOMPARE(changed.count(), 1);

        const qint64 id = m_db->rawValue("SELECT id FROM sync_setting").toLongLong();
        QCOMPARE(m_db->rawValue("SELECT file_safe_id FROM sync_setting").toInt(), 1); // alice's S1, not the US one
        const SyncSetting r = SyncSettingsDao::instance()->get(id);
        QCOMPARE(r.id(), id);
        // The setting's own columns and those joined from its safe.
        QCOMPARE(QStringList({r.safeId(), r.safeName(), r.safeType(), r.remoteDir(), r.localDir(), r.rootFolderId(),
                              r.expiryDate(), r.access(), r.syncedLastEvent(), r.serverId() + r.accountName()}),
                 QStringList({"S1", "team", "team", "/projects", "/home/alice/Team/", "F-17", "2999-01-01 00:00:00", "rcud",
                              "", ""}));
        QCOMPARE(QList<int>({r.mode(), r.remoteState(), r.roleType()}), QList<int>({1, 1, 2}));
        // Never run: the epoch, a valid time.
        QVERIFY(r.lastSync().isValid());
        QCOMPARE(r.lastSync().toMSecsSinceEpoch(), 0);
        QVERIFY(SyncSettingsDao::instance()->get(42).isNull());
        QVERIFY(SyncSettingsDao::instance()->get(0).isNull());
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
        QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
        LogCapture log;
        QCOMPARE(addSetting(safeId, "/home/alice/X"), 0);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(count("sync_setting"), 0);
        QVERIFY(log.contains("SyncSettingsDao::add: no file safe"));
    }

    void overlap_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QStringList>("found");
#ifdef Q_OS_WIN
        QTest::newRow("inside, native separators") << "D:\\Data\\Safe\\Sub" << QStringList{"D:/Data/Safe/"};
#endif
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
        QMap<QString, QString> owners;
        owners.insert("D:/Data/Safe/", QString::number(addSetting("S1", "D:/Data/Safe")) + "|alice|team");
        owners.insert("/a/b/", QString::number(addSetting("S2", "/a/b")) + "|alice|Private");
        // Bob's, one whose safe row is gone, and one an older client stored without the trailing slash.
        QVERIFY(m_db->rawExec({"INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir) VALUES (11, 3, '/', "
                               "'/shared/bob/'), (12, 99, '/', '/shared/orphan/'), (13, 2, '/', '/old')"}));
        owners.insert("/shared/bob/", "11|bob|Bob");
        owners.insert("/shared/orphan/", "12||");
        owners.insert("/old", "13|alice|Private");
        QStringList dirs;
        for (const DuplicatedSyncPath &d : SyncSettingsDao::instance()->getDuplicatedSynchedPaths(proposed)) {
            dirs << d.localDir();
            QCOMPARE(QStringList({QString::number(d.syncSettingId()), d.accountName(), d.safeName()}).join('|'),
                     owners.value(d.localDir()));
        }
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

        QStringList all = SyncSettingsDao::instance()->getAllLocalDirs();
        all.sort();
        QCOMPARE(all, QStringList({"/bob/", "/private/", "/team-auto/", "/team-manual/", "/us/"}));
        QStringList own = SyncSettingsDao::instance()->getLocalDirs();
        own.sort();
        QCOMPARE(own, QStringList({"/private/", "/team-auto/", "/team-manual/"}));

        // The same account name on another server is another user.
        R7Session::instance()->setServer(ServerInfo("us", "US", "US", "https://127.0.0.1:2", true));
        if (currentUser)
            QVERIFY(SyncSettingsDao::instance()->getList(true, autoOnly).isEmpty());
    }

    void removeTakesFileStateAlong()
    {
        const qint64 doomed = addSetting("S1", "/doomed");
        const qint64 kept = addSetting("S2", "/kept");
        for (const QString path : {"f0", "f1", "f2"}) {
            storeFile(path, doomed);
            storeFile(path, kept);
        }
        QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
        QVERIFY(SyncSettingsDao::instance()->remove(doomed));
        QCOMPARE(changed.count(), 1);
        QVERIFY(SyncSettingsDao::instance()->get(doomed).isNull());
        QVERIFY(FileObjectDao::instance()->loadAll(doomed).isEmpty());
        QCOMPARE(FileObjectDao::instance()->loadAll(kept).size(), 3);
        QVERIFY(!SyncSettingsDao::instance()->get(kept).isNull());

        // All of them: with file state, without, and on an empty table.
        QVERIFY(SyncSettingsDao::instance()->removeAll());
        QCOMPARE(count("fs_object") + count("sync_setting"), 0);
        addSetting("S1", "/a");
        QVERIFY(SyncSettingsDao::instance()->removeAll());
        QCOMPARE(count("sync_setting"), 0);
        QVERIFY(SyncSettingsDao::instance()->removeAll());
        QCOMPARE(changed.count(), 5); // the add between counts too
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

    void remoteStateSignal()
    {
        const qint64 id = addSetting("S1", "/a");
        QSignalSpy spy(SyncSettingsDao::instance(), &SyncSettingsDao::remoteStateChanged);
        SyncSettingsDao::instance()->setRemoteState(id, SyncSetting::RemoteStatePresent);
        QCOMPARE(spy.count(), 0); // already stored
        SyncSettingsDao::instance()->setRemoteState(id, SyncSetting::RemoteStateGone);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().at(0).toLongLong(), id);
        QCOMPARE(spy.first().at(1).value<SyncSetting::RemoteState>(), SyncSetting::RemoteStateGone);
        QCOMPARE(SyncSettingsDao::instance()->get(id).remoteState(), 1);
        SyncSettingsDao::instance()->setRemoteState(id, SyncSetting::RemoteStateGone);
        QCOMPARE(spy.count(), 1);
    }

    void singleColumns()
    {
        const qint64 id = addSetting("S1", "/a");
        addSetting("S2", "/b"); // must stay as it is
        QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
        SyncSettingsDao::instance()->setMode(id, 1);
        SyncSettingsDao::instance()->setRootFolderId(id, "R-2");
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(SyncSettingsDao::instance()->updateLastSync(id, "event-9"));
        QVERIFY(SyncSettingsDao::instance()->updateLastSync(999, QString())); // always true
        QCOMPARE(m_db->rawColumn(QString("SELECT mode || '|' || root_folder_id || '|' || ifnull(synced_last_event, '') || "
                                         "'|' || ifnull(last_sync >= %1, 0) FROM sync_setting ORDER BY id")
                                         .arg(before)),
                 QStringList({"1|R-2|event-9|1", "0|root-S2||0"}));
        QVERIFY(SyncSettingsDao::instance()->get(id).lastSync().toMSecsSinceEpoch() >= before);
        QCOMPARE(changed.count(), 0);
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
    QScopedPointer<TestEnv> m_env;
    QScopedPointer<TestDatabase> m_db;
};

QTEST_GUILESS_MAIN(TestSyncSettingsDao)
#include "tst_syncsettingsdao.moc"
