#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "net/FilesafeRI.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QSignalSpy>
#include <QtTest>

// The merge of the service's safe list into table file_safe, and the reads of that table.
class TestFileSafeDao : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listingEqualToTable();
    void newSafeAnnounced();
    void vanishedUnusedSafeDeleted();
    void vanishedUsedSafeMarksEverySetting();
    void nullSettingDoesNotBlockDeletion();
    void failedListingCallsBack();
    void readsOmitExpiryAndKeepType();
    void getUnknownSafe();
    void listOrderIsByteOrder();
    void rootFolderFilledForWholeSafeSettings();
    void duplicateIdInListingStoredOnce();
    void otherUsersRowsUntouched();
    void refreshThroughService();

private:
    struct Outcome
    {
        int calls = 0;
        ErrorCode code = EC_OK;
        QString message;
    };
    void merge(const QList<FilesafeTO_v2> &safes, Outcome *outcome);
    int count(const QString &statement) { return m_db->rawValue(statement).toInt(); }
    qint64 userId() const { return R7Session::instance()->userId(); }

    TestEnv *m_env = nullptr;
    TestDatabase *m_db = nullptr;
    FileSafeDao *m_dao = nullptr;
};

static FilesafeTO_v2 safe(const QString &id, const QString &name, const QString &type = QStringLiteral("TEAMSAFE"))
{
    FilesafeTO_v2 s;
    s.safeId = id;
    s.name = name;
    s.type = type;
    s.access = QStringLiteral("rcud");
    s.storageQuota = 6000000000LL;
    s.storageUsed = 42;
    s.expiryDate = QStringLiteral("2031-02-03");
    s.hasTrash = true;
    s.rootFolderId = QStringLiteral("root-") + id;
    s.roleType = 3;
    s.lastEvent = QStringLiteral("ev-") + id;
    return s;
}

void TestFileSafeDao::init()
{
    m_env = new TestEnv;
    m_db = new TestDatabase;
    m_db->open();
    m_dao = new FileSafeDao(&m_db->appInfo(), nullptr);
}

void TestFileSafeDao::cleanup()
{
    delete m_dao;
    delete m_db;
    delete m_env;
}

void TestFileSafeDao::merge(const QList<FilesafeTO_v2> &safes, Outcome *outcome)
{
    FilesafesTO_v2 listing;
    listing.filesafes = safes;
    m_dao->syncFileSafes(Result<FilesafesTO_v2>(listing), [outcome](const EmptyResult &result) {
        ++outcome->calls;
        outcome->code = result.code();
        outcome->message = result.message();
    });
}

void TestFileSafeDao::listingEqualToTable()
{
    m_dao->add(safe("a", "Alpha"));
    m_dao->add(safe("b", "Beta"));
    QSignalSpy found(m_dao, &FileSafeDao::newFileSafesFound);
    FilesafeTO_v2 changed = safe("a", "Alpha");
    changed.storageUsed = 99;
    changed.lastEvent = "ev-a2";
    changed.access = "r";
    changed.hasTrash = false;
    Outcome outcome;
    merge({changed, safe("b", "Beta")}, &outcome);
    QCOMPARE(outcome.calls, 1);
    QCOMPARE(outcome.code, EC_OK);
    QVERIFY(outcome.message.isEmpty());
    QCOMPARE(found.count(), 0);
    QCOMPARE(count("SELECT count(*) FROM file_safe"), 2);
    const FilesafeTO_v2 stored = m_dao->get("a");
    QCOMPARE(stored.storageUsed, 99LL);
    QCOMPARE(stored.lastEvent, QString("ev-a2"));
    QCOMPARE(stored.access, QString("r"));
    QCOMPARE(stored.hasTrash, false);
    QCOMPARE(stored.storageQuota, 6000000000LL);
}

void TestFileSafeDao::newSafeAnnounced()
{
    m_dao->add(safe("a", "Alpha"));
    QStringList events;
    connect(m_dao, &FileSafeDao::newFileSafesFound, this, [&events](const QList<FilesafeTO_v2> &safes) {
        for (const FilesafeTO_v2 &s : safes) {
            events << "new " + s.safeId;
        }
    });
    FilesafesTO_v2 listing;
    listing.filesafes = {safe("a", "Alpha"), safe("n", "New")};
    m_dao->syncFileSafes(Result<FilesafesTO_v2>(listing),
                         [&events](const EmptyResult &r) { events << QString("done %1").arg(r.code()); });
    QCOMPARE(events, (QStringList{"new n", "done 0"}));
    const FilesafeTO_v2 stored = m_dao->get("n");
    QCOMPARE(stored.name, QString("New"));
    QCOMPARE(stored.rootFolderId, QString("root-n"));
    QCOMPARE(m_db->rawValue("SELECT expiry_date FROM file_safe WHERE safe_id = 'n'").toString(), QString("2031-02-03"));
    QCOMPARE(m_db->rawValue("SELECT user_id FROM file_safe WHERE safe_id = 'n'").toLongLong(), userId());
}

void TestFileSafeDao::vanishedUnusedSafeDeleted()
{
    m_dao->add(safe("a", "Alpha"));
    m_dao->add(safe("gone", "Gone"));
    Outcome outcome;
    merge({safe("a", "Alpha")}, &outcome);
    QCOMPARE(outcome.calls, 1);
    QCOMPARE(m_db->rawColumn("SELECT safe_id FROM file_safe"), QStringList{"a"});
}

void TestFileSafeDao::vanishedUsedSafeMarksEverySetting()
{
    m_dao->add(safe("keep", "Keep"));
    m_dao->add(safe("gone", "Gone"));
    const QString goneId = m_db->rawValue("SELECT id FROM file_safe WHERE safe_id = 'gone'").toString();
    const QString keepId = m_db->rawValue("SELECT id FROM file_safe WHERE safe_id = 'keep'").toString();
    QVERIFY(m_db->rawExec({
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, remote_state) VALUES (10, " + goneId +
                    ", '/', '/l1', 0)",
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, remote_state) VALUES (11, " + goneId +
                    ", '/sub', '/l2', 0)",
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, remote_state) VALUES (12, " + keepId +
                    ", '/', '/l3', 0)",
            "INSERT INTO fs_object (setting_id, path) VALUES (10, '/x'), (10, '/y'), (11, '/z'), (12, '/k')",
    }));
    Outcome outcome;
    merge({safe("keep", "Keep")}, &outcome);
    QCOMPARE(outcome.calls, 1);
    // The row stays for its settings; both settings are marked, and both lose their synchronised state.
    QCOMPARE(count("SELECT count(*) FROM file_safe WHERE safe_id = 'gone'"), 1);
    QCOMPARE(m_db->rawColumn("SELECT remote_state FROM sync_setting ORDER BY id"), (QStringList{"1", "1", "0"}));
    QCOMPARE(m_db->rawColumn("SELECT path FROM fs_object ORDER BY path"), QStringList{"/k"});
}

void TestFileSafeDao::nullSettingDoesNotBlockDeletion()
{
    m_dao->add(safe("gone", "Gone"));
    QVERIFY(m_db->rawExec({"INSERT INTO sync_setting (file_safe_id, remote_dir, local_dir) VALUES (NULL, '/', '/l')"}));
    Outcome outcome;
    merge({}, &outcome);
    QCOMPARE(outcome.calls, 1);
    QCOMPARE(count("SELECT count(*) FROM file_safe"), 0);
    QCOMPARE(count("SELECT count(*) FROM sync_setting"), 1);
}

void TestFileSafeDao::failedListingCallsBack()
{
    m_dao->add(safe("a", "Alpha"));
    QSignalSpy found(m_dao, &FileSafeDao::newFileSafesFound);
    Outcome outcome;
    m_dao->syncFileSafes(Result<FilesafesTO_v2>(EC_SERVICE_UNAVAILABLE, "HTTP status: 503"),
                         [&outcome](const EmptyResult &result) {
                             ++outcome.calls;
                             outcome.code = result.code();
                             outcome.message = result.message();
                         });
    QCOMPARE(outcome.calls, 1);
    QCOMPARE(outcome.code, EC_SERVICE_UNAVAILABLE);
    QCOMPARE(outcome.message, QString("HTTP status: 503"));
    QCOMPARE(found.count(), 0);
    QCOMPARE(m_db->rawColumn("SELECT safe_id FROM file_safe"), QStringList{"a"});
    // Without a callback nothing else happens either.
    m_dao->syncFileSafes(Result<FilesafesTO_v2>(EC_NETWORK, "x"), ResultCallback<Nothing>());
    QCOMPARE(count("SELECT count(*) FROM file_safe"), 1);
}

void TestFileSafeDao::readsOmitExpiryAndKeepType()
{
    m_dao->add(safe("a", "Alpha", "PRIVATE"));
    FilesafeTO_v2 renamed = safe("a", "Omega", "INBOX");
    m_dao->update(renamed);
    const FilesafeTO_v2 stored = m_dao->get("a");
    QCOMPARE(stored.name, QString("Omega"));
    QCOMPARE(stored.type, QString("PRIVATE"));
    QVERIFY(stored.expiryDate.isEmpty());
    QCOMPARE(m_db->rawValue("SELECT expiry_date FROM file_safe").toString(), QString("2031-02-03"));
    const QList<FilesafeTO_v2> all = m_dao->list();
    QCOMPARE(all.size(), 1);
    QVERIFY(all.first().expiryDate.isEmpty());
    QCOMPARE(all.first().roleType, 3);
    QCOMPARE(all.first().hasTrash, true);
}

void TestFileSafeDao::getUnknownSafe()
{
    m_dao->add(safe("a", "Alpha"));
    const FilesafeTO_v2 none = m_dao->get("b");
    QVERIFY(none.safeId.isEmpty());
    QVERIFY(none.name.isEmpty());
    QCOMPARE(none.storageQuota, 0LL);
    QCOMPARE(none.hasTrash, false);
}

void TestFileSafeDao::listOrderIsByteOrder()
{
    m_dao->add(safe("1", "beta"));
    m_dao->add(safe("2", "Zeta"));
    m_dao->add(safe("3", "alpha"));
    QStringList names;
    for (const FilesafeTO_v2 &s : m_dao->list()) {
        names << s.name;
    }
    QCOMPARE(names, (QStringList{"Zeta", "alpha", "beta"}));
}

void TestFileSafeDao::rootFolderFilledForWholeSafeSettings()
{
    FilesafeTO_v2 s = safe("a", "Alpha");
    s.rootFolderId = "R0";
    m_dao->add(s);
    const QString fsId = m_db->rawValue("SELECT id FROM file_safe").toString();
    QVERIFY(m_db->rawExec({
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, root_folder_id) VALUES (1, " + fsId +
                    ", '/', '/a', '0')",
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, root_folder_id) VALUES (2, " + fsId +
                    ", '/', '/b', '0')",
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, root_folder_id) VALUES (3, " + fsId +
                    ", '/sub', '/c', '0')",
            "INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, root_folder_id) VALUES (4, " + fsId +
                    ", '/', '/d', 'other')",
    }));
    s.rootFolderId = "R1";
    m_dao->update(s);
    QCOMPARE(m_db->rawColumn("SELECT root_folder_id FROM sync_setting ORDER BY id"),
             (QStringList{"R1", "R1", "0", "other"}));
}

void TestFileSafeDao::duplicateIdInListingStoredOnce()
{
    QSignalSpy found(m_dao, &FileSafeDao::newFileSafesFound);
    Outcome outcome;
    merge({safe("d", "First"), safe("d", "Second")}, &outcome);
    QCOMPARE(outcome.calls, 1);
    QCOMPARE(count("SELECT count(*) FROM file_safe WHERE safe_id = 'd'"), 1);
    QCOMPARE(found.count(), 1);
    QCOMPARE(found.first().first().value<QList<FilesafeTO_v2>>().size(), 1);
}

void TestFileSafeDao::otherUsersRowsUntouched()
{
    const qint64 other = userId() + 5000000000LL; // beyond 32 bits
    QVERIFY(m_db->rawExec({QString("INSERT INTO file_safe (user_id, safe_id, safe_name, safe_type) VALUES (%1, "
                                   "'x', 'Theirs', 'PRIVATE')")
                                   .arg(other)}));
    Outcome outcome;
    merge({safe("a", "Alpha")}, &outcome);
    QCOMPARE(m_dao->list().size(), 1);
    QCOMPARE(count(QString("SELECT count(*) FROM file_safe WHERE user_id = %1").arg(other)), 1);
    QVERIFY(m_dao->get("x").safeId.isEmpty());
}

void TestFileSafeDao::refreshThroughService()
{
    DevService svc;
    QVERIFY2(svc.start(), qPrintable(svc.errorString()));
    AppInfo &info = m_db->appInfo();
    info.apiGeneration = 1;
    R7Session *session = R7Session::instance();
    session->setServer(ServerInfo("LOCALDEV", "dev", "dev", svc.httpUrl(), false));
    session->setLoggedIn(false);
    session->resetSession();
    UserCredUtil creds(&info);
    LoginRI login(&creds, &info, session);
    int signedIn = 0;
    login.doLogin(DevService::demoUser(), DevService::demoPassword(), false,
                  [&](const EmptyResult &r) { signedIn = r.isOk() ? 1 : -1; });
    QTRY_VERIFY_WITH_TIMEOUT(signedIn != 0, 15000);
    QCOMPARE(signedIn, 1);

    FilesafeRI ri(&info, session);
    FileSafeDao dao(&info, &ri);
    m_dao->add(safe("vanished", "Old"));
    QSignalSpy found(&dao, &FileSafeDao::newFileSafesFound);
    int calls = 0;
    EmptyResult outcome;
    dao.updateFileSafes([&](const EmptyResult &r) {
        ++calls;
        outcome = r;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);
    QVERIFY2(outcome.isOk(), qPrintable(outcome.message()));
    QCOMPARE(found.count(), 1);
    QCOMPARE(found.first().first().value<QList<FilesafeTO_v2>>().size(), 4);
    QStringList names;
    for (const FilesafeTO_v2 &s : dao.list()) {
        names << s.name;
    }
    QCOMPARE(names, (QStringList{"Inbox", "Mail-in", "Private", "Team Alpha"}));
    QVERIFY(dao.get("vanished").safeId.isEmpty());

    // A refused listing reaches the caller, and the table stays as it was.
    svc.fault({{"path", "/filesafe/info$"}, {"http_status", 503}});
    dao.updateFileSafes([&](const EmptyResult &r) {
        ++calls;
        outcome = r;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 2, 10000);
    QCOMPARE(outcome.code(), EC_SERVICE_UNAVAILABLE);
    QCOMPARE(dao.list().size(), 4);

    // A reply for a store that is gone is dropped.
    auto *doomed = new FileSafeDao(&info, &ri);
    doomed->updateFileSafes([&](const EmptyResult &) { ++calls; });
    delete doomed;
    FileSafeDao later(&info, &ri);
    Outcome after;
    later.updateFileSafes([&after](const EmptyResult &) { ++after.calls; });
    QTRY_COMPARE_WITH_TIMEOUT(after.calls, 1, 10000);
    QCOMPARE(calls, 2);
    session->setLoggedIn(false);
}

QTEST_GUILESS_MAIN(TestFileSafeDao)
#include "tst_filesafedao.moc"
