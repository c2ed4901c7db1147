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
    void initTestCase();
    void init();
    void cleanup();
    void addNormalisesLocalFolder_data();
    void addNormalisesLocalFolder();
    void addReadsBack();
    void addRefusedWithoutSafe_data();
    void addRefusedWithoutSafe();
    void getUnknownIsNull();
    void overlap_data();
    void overlap();
    void overlapReportsEveryAccount();
    void listFiltersAndOrder_data();
    void listFiltersAndOrder();
    void localDirs();
    void removeTakesFileStateAlong();
    void removeUnknownChangesNothing();
    void removeFailureRollsBack();
    void removeInsideBatchKeepsBatch();
    void removeAllWithoutFileState();
    void removeAllFailureRollsBack();
    void remoteStateSignal();
    void singleColumns();

private:
    qint64 addSetting(const QString &safeId, const QString &localDir, int mode = 0);
    QStringList localDirsOf(const QList<SyncSetting> &settings);
    TestEnv *m_env = nullptr;
    TestDatabase *m_db = nullptr;
};

void TestSyncSettingsDao::initTestCase()
{
    qRegisterMetaType<SyncSetting::RemoteState>();
}

void TestSyncSettingsDao::init()
{
    m_env = new TestEnv;
    m_db = new TestDatabase;
    m_db->open();
    QVERIFY(m_db->rawExec({
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0)",
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (2, 'eu', 'bob', 0)",
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (3, 'us', 'alice', 0)",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, role_type, expiry_date) "
            "VALUES (1, 1, 'S1', 'team', 'team', 'rcud', 2, '2999-01-01 00:00:00')",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, role_type) "
            "VALUES (2, 1, 'S2', 'Private', 'private', 'rcud', 1)",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access) VALUES (3, 2, 'S3', 'Bob', "
            "'private', 'r')",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access) VALUES (4, 3, 'S1', 'Abroad', "
            "'team', 'r')",
    }));
    R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime::currentDateTime()));
}

void TestSyncSettingsDao::cleanup()
{
    R7Session::instance()->setUser(User());
    delete m_db;
    delete m_env;
}

qint64 TestSyncSettingsDao::addSetting(const QString &safeId, const QString &localDir, int mode)
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

QStringList TestSyncSettingsDao::localDirsOf(const QList<SyncSetting> &settings)
{
    QStringList dirs;
    for (const SyncSetting &s : settings)
        dirs << s.localDir();
    return dirs;
}

void TestSyncSettingsDao::addNormalisesLocalFolder_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
#ifdef Q_OS_WIN
    QTest::newRow("native separators") << "D:\\Data\\Safe"
                                       << "D:/Data/Safe/";
#else
    // Here a backslash is part of a name, not a separator.
    QTest::newRow("backslash in a name") << "/home/a\\b"
                                         << "/home/a\\b/";
#endif
    QTest::newRow("already normal") << "D:/Data/Safe/"
                                    << "D:/Data/Safe/";
    QTest::newRow("no trailing slash") << "/home/alice/Safe"
                                       << "/home/alice/Safe/";
}

void TestSyncSettingsDao::addNormalisesLocalFolder()
{
    QFETCH(QString, given);
    QFETCH(QString, stored);
    const qint64 id = addSetting("S1", given);
    QVERIFY(id > 0);
    QCOMPARE(m_db->rawValue(QString("SELECT local_dir FROM sync_setting WHERE id = %1").arg(id)).toString(), stored);
    QCOMPARE(SyncSettingsDao::normalizedLocalDir(given), stored);
}

void TestSyncSettingsDao::addReadsBack()
{
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    SyncSetting setting;
    setting.setSafeId("S1");
    setting.setSafeName("team");
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
    const SyncSetting read = SyncSettingsDao::instance()->get(id);
    QCOMPARE(read.id(), id);
    QCOMPARE(read.safeId(), QStringLiteral("S1"));
    QCOMPARE(read.safeName(), QStringLiteral("team"));
    QCOMPARE(read.safeType(), QStringLiteral("team"));
    QCOMPARE(read.remoteDir(), QStringLiteral("/projects"));
    QCOMPARE(read.localDir(), QStringLiteral("/home/alice/Team/"));
    QCOMPARE(read.mode(), 1);
    QCOMPARE(read.remoteState(), 1);
    QCOMPARE(read.rootFolderId(), QStringLiteral("F-17"));
    QCOMPARE(read.roleType(), 2);
    QCOMPARE(read.expiryDate(), QStringLiteral("2999-01-01 00:00:00"));
    QCOMPARE(read.access(), QStringLiteral("rcud"));
    QVERIFY(read.syncedLastEvent().isEmpty());
    QVERIFY(read.serverId().isEmpty() && read.accountName().isEmpty());
    // Never run: the epoch, a valid time.
    QVERIFY(read.lastSync().isValid());
    QCOMPARE(read.lastSync().toMSecsSinceEpoch(), 0);
}

void TestSyncSettingsDao::addRefusedWithoutSafe_data()
{
    QTest::addColumn<QString>("safeId");
    QTest::newRow("unknown safe") << "S9";
    QTest::newRow("another user's safe") << "S3";
    QTest::newRow("quote in id") << "S1' OR '1'='1";
}

void TestSyncSettingsDao::addRefusedWithoutSafe()
{
    QFETCH(QString, safeId);
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    LogCapture log;
    QCOMPARE(addSetting(safeId, "/home/alice/X"), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_db->rawValue("SELECT count(*) FROM sync_setting").toInt(), 0);
    QVERIFY(log.contains("SyncSettingsDao::add: no file safe"));
}

void TestSyncSettingsDao::getUnknownIsNull()
{
    QVERIFY(SyncSettingsDao::instance()->get(42).isNull());
    QVERIFY(SyncSettingsDao::instance()->get(0).isNull());
}

void TestSyncSettingsDao::overlap_data()
{
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QStringList>("found");
#ifdef Q_OS_WIN
    QTest::newRow("inside, native separators") << "D:\\Data\\Safe\\Sub" << QStringList{"D:/Data/Safe/"};
#endif
    QTest::newRow("inside") << "D:/Data/Safe/Sub" << QStringList{"D:/Data/Safe/"};
    QTest::newRow("contains it") << "D:/Data" << QStringList{"D:/Data/Safe/"};
    QTest::newRow("equal, no slash") << "D:/Data/Safe" << QStringList{"D:/Data/Safe/"};
    QTest::newRow("equal") << "D:/Data/Safe/" << QStringList{"D:/Data/Safe/"};
    QTest::newRow("shorter sibling") << "D:/Data/Saf" << QStringList{};
    QTest::newRow("longer sibling") << "D:/Data/Safe2" << QStringList{};
    QTest::newRow("case differs") << "d:/data/safe/sub" << QStringList{};
    QTest::newRow("common prefix /a/bc") << "/a/bc" << QStringList{};
    QTest::newRow("parent of /a/b") << "/a" << QStringList{"/a/b/"};
    QTest::newRow("inside /a/b after cleaning") << "/a/b/c/../d/" << QStringList{"/a/b/"};
    QTest::newRow("dot dot out of it") << "/a/b/../c" << QStringList{};
    QTest::newRow("root contains both") << "/" << QStringList{"/a/b/"};
}

void TestSyncSettingsDao::overlap()
{
    QFETCH(QString, proposed);
    QFETCH(QStringList, found);
    const qint64 safe = addSetting("S1", "D:/Data/Safe");
    const qint64 ab = addSetting("S2", "/a/b");
    QVERIFY(safe > 0 && ab > 0);
    const QList<DuplicatedSyncPath> duplicates = SyncSettingsDao::instance()->getDuplicatedSynchedPaths(proposed);
    QStringList dirs;
    for (const DuplicatedSyncPath &d : duplicates) {
        dirs << d.localDir();
        QCOMPARE(d.syncSettingId(), d.localDir() == "/a/b/" ? ab : safe);
        QCOMPARE(d.accountName(), QStringLiteral("alice"));
        QCOMPARE(d.safeName(), d.localDir() == "/a/b/" ? QStringLiteral("Private") : QStringLiteral("team"));
    }
    QCOMPARE(dirs, found);
}

void TestSyncSettingsDao::overlapReportsEveryAccount()
{
    QVERIFY(addSetting("S1", "/shared/alice") > 0);
    R7Session::instance()->setUser(User(2, "bob", "eu", QDateTime()));
    QVERIFY(addSetting("S3", "/shared/bob") > 0);
    // A setting whose safe row is gone, and one stored without the trailing slash by an older client.
    QVERIFY(m_db->rawExec({"INSERT INTO sync_setting (file_safe_id, remote_dir, local_dir, mode) VALUES (99, '/', "
                           "'/shared/orphan/', 0)",
                           "INSERT INTO sync_setting (file_safe_id, remote_dir, local_dir, mode) VALUES (2, '/', "
                           "'/shared/old', 0)"}));
    QMap<QString, QString> accounts;
    for (const DuplicatedSyncPath &d : SyncSettingsDao::instance()->getDuplicatedSynchedPaths("/shared"))
        accounts.insert(d.localDir(), d.accountName() + "|" + d.safeName());
    QCOMPARE(accounts.value("/shared/alice/"), QStringLiteral("alice|team"));
    QCOMPARE(accounts.value("/shared/bob/"), QStringLiteral("bob|Bob"));
    QCOMPARE(accounts.value("/shared/orphan/"), QStringLiteral("|"));
    QCOMPARE(accounts.size(), 4);
    QVERIFY(SyncSettingsDao::instance()->getDuplicatedSynchedPaths("/shared/older").isEmpty());
    QCOMPARE(SyncSettingsDao::instance()->getDuplicatedSynchedPaths("/shared/old/x").size(), 1);
}

void TestSyncSettingsDao::listFiltersAndOrder_data()
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

void TestSyncSettingsDao::listFiltersAndOrder()
{
    QFETCH(bool, currentUser);
    QFETCH(bool, autoOnly);
    QFETCH(QStringList, dirs);
    QVERIFY(addSetting("S1", "/team-auto", 0) > 0);
    QVERIFY(addSetting("S1", "/team-manual", 1) > 0);
    QVERIFY(addSetting("S2", "/private", 0) > 0);
    R7Session::instance()->setUser(User(2, "bob", "eu", QDateTime()));
    QVERIFY(addSetting("S3", "/bob", 0) > 0);
    R7Session::instance()->setUser(User(3, "alice", "us", QDateTime()));
    QVERIFY(addSetting("S1", "/us", 0) > 0);
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));

    QStringList got = localDirsOf(SyncSettingsDao::instance()->getList(currentUser, autoOnly));
    // Two settings of one safe have no order between them.
    if (got.contains("/team-manual/") && got.indexOf("/team-manual/") < got.indexOf("/team-auto/"))
        got.swapItemsAt(got.indexOf("/team-manual/"), got.indexOf("/team-auto/"));
    QCOMPARE(got, dirs);

    // The same account name on another server is another user.
    R7Session::instance()->setServer(ServerInfo("us", "US", "US", "https://127.0.0.1:2", true));
    if (currentUser)
        QVERIFY(SyncSettingsDao::instance()->getList(true, autoOnly).isEmpty());
}

void TestSyncSettingsDao::localDirs()
{
    QVERIFY(addSetting("S1", "/one") > 0);
    QVERIFY(m_db->rawExec({"INSERT INTO sync_setting (file_safe_id, remote_dir, local_dir, mode) VALUES (3, '/', "
                           "'/bobs/', 0)"}));
    QStringList all = SyncSettingsDao::instance()->getAllLocalDirs();
    all.sort();
    QCOMPARE(all, QStringList({"/bobs/", "/one/"}));
    QCOMPARE(SyncSettingsDao::instance()->getLocalDirs(), QStringList{"/one/"});
}

void TestSyncSettingsDao::removeTakesFileStateAlong()
{
    const qint64 doomed = addSetting("S1", "/doomed");
    const qint64 kept = addSetting("S2", "/kept");
    for (int i = 0; i < 3; ++i) {
        FileObjectDao::instance()->store(FsObject("", QString("f%1").arg(i), 1, {}, {}, "", "f", ""), doomed);
        FileObjectDao::instance()->store(FsObject("", QString("f%1").arg(i), 1, {}, {}, "", "f", ""), kept);
    }
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    QVERIFY(SyncSettingsDao::instance()->remove(doomed));
    QCOMPARE(changed.count(), 1);
    QVERIFY(SyncSettingsDao::instance()->get(doomed).isNull());
    QVERIFY(FileObjectDao::instance()->loadAll(doomed).isEmpty());
    QCOMPARE(FileObjectDao::instance()->loadAll(kept).size(), 3);
    QVERIFY(!SyncSettingsDao::instance()->get(kept).isNull());
}

void TestSyncSettingsDao::removeUnknownChangesNothing()
{
    const qint64 id = addSetting("S1", "/a");
    FileObjectDao::instance()->store(FsObject("", "x", 1, {}, {}, "", "f", ""), 77);
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    // No setting 77, but file state under that id: the whole removal is undone.
    QVERIFY(!SyncSettingsDao::instance()->remove(77));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(FileObjectDao::instance()->loadAll(77).size(), 1);
    QVERIFY(!SyncSettingsDao::instance()->get(id).isNull());
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);
}

void TestSyncSettingsDao::removeFailureRollsBack()
{
    const qint64 id = addSetting("S1", "/a");
    FileObjectDao::instance()->store(FsObject("", "x", 1, {}, {}, "", "f", ""), id);
    QVERIFY(m_db->rawExec({"CREATE TRIGGER keep_settings BEFORE DELETE ON sync_setting BEGIN SELECT RAISE(ABORT, "
                           "'kept'); END"}));
    m_db->closeRaw();
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    QVERIFY(!SyncSettingsDao::instance()->remove(id));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(FileObjectDao::instance()->loadAll(id).size(), 1); // the file state came back
    QVERIFY(!SyncSettingsDao::instance()->get(id).isNull());
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);
}

void TestSyncSettingsDao::removeInsideBatchKeepsBatch()
{
    R7Database *database = R7Database::instance();
    QVERIFY(database->transaction());
    FileObjectDao::instance()->store(FsObject("", "batch", 1, {}, {}, "", "f", ""), 5);
    QVERIFY(!SyncSettingsDao::instance()->remove(12345)); // fails and rolls back its own level only
    QCOMPARE(database->transactionDepth(), 1);
    QVERIFY(database->commit());
    QVERIFY(!FileObjectDao::instance()->loadByPath(5, "batch").isNull());
}

void TestSyncSettingsDao::removeAllWithoutFileState()
{
    addSetting("S1", "/a");
    addSetting("S2", "/b");
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    QVERIFY(SyncSettingsDao::instance()->removeAll());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_db->rawValue("SELECT count(*) FROM sync_setting").toInt(), 0);
    // With file state too, and on an empty table.
    const qint64 id = addSetting("S1", "/c");
    FileObjectDao::instance()->store(FsObject("", "x", 1, {}, {}, "", "f", ""), id);
    QVERIFY(SyncSettingsDao::instance()->removeAll());
    QCOMPARE(m_db->rawValue("SELECT count(*) FROM fs_object").toInt(), 0);
    QVERIFY(SyncSettingsDao::instance()->removeAll());
}

void TestSyncSettingsDao::removeAllFailureRollsBack()
{
    const qint64 id = addSetting("S1", "/a");
    FileObjectDao::instance()->store(FsObject("", "x", 1, {}, {}, "", "f", ""), id);
    QVERIFY(m_db->rawExec({"CREATE TRIGGER keep_settings BEFORE DELETE ON sync_setting BEGIN SELECT RAISE(ABORT, "
                           "'kept'); END"}));
    m_db->closeRaw();
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    QVERIFY(!SyncSettingsDao::instance()->removeAll());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(FileObjectDao::instance()->loadAll(id).size(), 1);
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);
}

void TestSyncSettingsDao::remoteStateSignal()
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
    // An unknown id reads as a null setting (state 0): the update changes nothing, the signal still comes.
    SyncSettingsDao::instance()->setRemoteState(999, SyncSetting::RemoteStateGone);
    QCOMPARE(spy.count(), 2);
}

void TestSyncSettingsDao::singleColumns()
{
    const qint64 id = addSetting("S1", "/a");
    QSignalSpy changed(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged);
    SyncSettingsDao::instance()->setMode(id, 1);
    QCOMPARE(SyncSettingsDao::instance()->get(id).mode(), 1);
    SyncSettingsDao::instance()->setRootFolderId(id, "R-2");
    QCOMPARE(SyncSettingsDao::instance()->get(id).rootFolderId(), QStringLiteral("R-2"));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(SyncSettingsDao::instance()->updateLastSync(id, "event-9"));
    const SyncSetting read = SyncSettingsDao::instance()->get(id);
    QVERIFY(read.lastSync().toMSecsSinceEpoch() >= before);
    QVERIFY(read.lastSync().toMSecsSinceEpoch() <= QDateTime::currentMSecsSinceEpoch());
    QCOMPARE(read.syncedLastEvent(), QStringLiteral("event-9"));
    QVERIFY(SyncSettingsDao::instance()->updateLastSync(999, QString())); // always true
    QCOMPARE(changed.count(), 0);
}

QTEST_GUILESS_MAIN(TestSyncSettingsDao)
#include "tst_syncsettingsdao.moc"
