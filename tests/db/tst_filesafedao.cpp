#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "net/FilesafeRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QSignalSpy>
#include <QtTest>

// The merge of the service's safe list into table file_safe, and the reads of that table.
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

class TestFileSafeDao : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env = new TestEnv;
        m_db = new TestDatabase;
        m_db->open();
        m_dao = new FileSafeDao(&m_db->appInfo(), nullptr);
    }

    void cleanup()
    {
        delete m_dao;
        delete m_db;
        delete m_env;
    }

    // Known safes are updated, new ones announced once (also when the listing repeats an id),
    // and other users' rows are left alone.
    void mergeUpdatesAndAnnounces()
    {
        const qint64 other = R7Session::instance()->userId() + 5000000000LL; // beyond 32 bits
        QVERIFY(m_db->rawExec({QString("INSERT INTO file_safe (user_id, safe_id, safe_name, safe_type) VALUES (%1, "
                                       "'x', 'Theirs', 'PRIVATE')")
                                       .arg(other)}));
        m_dao->add(safe("a", "Alpha"));
        QStringList events;
        connect(m_dao, &FileSafeDao::newFileSafesFound, this, [&events](const QList<FilesafeTO_v2> &safes) {
            for (const FilesafeTO_v2 &s : safes)
                events << "new " + s.safeId;
        });
        FilesafeTO_v2 changed = safe("a", "Alpha");
        changed.lastEvent = "ev-a2";
        changed.access = "r";
        events << QString("done %1").arg(merge({changed, safe("n", "New"), safe("n", "Twice")}));
        QCOMPARE(events, (QStringList{"new n", "done 0"}));
        const FilesafeTO_v2 stored = m_dao->get("a");
        QCOMPARE(QStringList({stored.lastEvent, stored.access, QString::number(stored.storageQuota)}),
                 QStringList({"ev-a2", "r", "6000000000"}));
        QCOMPARE(m_db->rawColumn("SELECT safe_id || '|' || user_id || '|' || ifnull(expiry_date, '') || '|' || "
                                 "ifnull(root_folder_id, '') FROM file_safe ORDER BY safe_id"),
                 QStringList({QString("a|%1|2031-02-03|root-a").arg(R7Session::instance()->userId()),
                              QString("n|%1|2031-02-03|root-n").arg(R7Session::instance()->userId()),
                              QString("x|%1||").arg(other)}));
        QVERIFY(m_dao->get("x").safeId.isEmpty());
    }

    void vanishedSafes()
    {
        m_dao->add(safe("keep", "Keep"));
        m_dao->add(safe("gone", "Gone"));
        m_dao->add(safe("unused", "Unused"));
        // A setting without a safe row must not keep "unused" from going.
        QVERIFY(addSettings({{"10", rowId("gone"), "/"}, {"11", rowId("gone"), "/sub"}, {"12", rowId("keep"), "/"},
                             {"13", "NULL", "/"}}));
        QVERIFY(m_db->rawExec({"INSERT INTO fs_object (setting_id, path) VALUES (10, '/x'), (10, '/y'), (11, '/z'), "
                               "(12, '/k')"}));
        QCOMPARE(merge({safe("keep", "Keep")}), int(EC_OK));
        // A safe without settings goes; one with settings stays for them, and every one of its settings
        // is marked and loses its synchronised state.
        QCOMPARE(m_db->rawColumn("SELECT safe_id FROM file_safe ORDER BY safe_id"), (QStringList{"gone", "keep"}));
        QCOMPARE(m_db->rawColumn("SELECT remote_state FROM sync_setting ORDER BY id"), (QStringList{"1", "1", "0", "0"}));
        QCOMPARE(m_db->rawColumn("SELECT path FROM fs_object ORDER BY path"), QStringList{"/k"});
    }

    void refreshThroughService()
    {
        DevService svc;
        QVERIFY2(svc.start(), qPrintable(svc.errorString()));
        AppInfo &info = m_db->appInfo();
        info.apiGeneration = 1;
        R7Session *session = R7Session::instance();
        session->setServer(ServerInfo("LOCALDEV", "dev", "dev", svc.httpUrl(), false));
        QVERIFY(signInDemoFresh(&info).isOk());
        QList<EmptyResult> outcomes;
        const auto collect = [&outcomes](const EmptyResult &r) { outcomes << r; };
        FilesafeRI ri(&info, session);
        FileSafeDao dao(&info, &ri);
        m_dao->add(safe("vanished", "Old"));
        QSignalSpy found(&dao, &FileSafeDao::newFileSafesFound);
        dao.updateFileSafes(collect);
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1, 10000);
        QVERIFY2(outcomes.last().isOk(), qPrintable(outcomes.last().message()));
        QCOMPARE(found.count(), 1);
        QCOMPARE(found.first().first().value<QList<FilesafeTO_v2>>().size(), 4);
        QStringList names;
        for (const FilesafeTO_v2 &s : dao.list())
            names << s.name;
        QCOMPARE(names, (QStringList{"Inbox", "Mail-in", "Private", "Team Alpha"}));

        // A refused listing reaches the caller, and the table stays as it was.
        svc.fault({{"path", "/filesafe/info$"}, {"http_status", 503}});
        dao.updateFileSafes(collect);
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 2, 10000);
        QCOMPARE(outcomes.last().code(), EC_SERVICE_UNAVAILABLE);
        QCOMPARE(dao.list().size(), 4);
        session->setLoggedIn(false);
    }
private:
    // Merges a listing; the outcome's code, or -1 without a callback.
    int merge(const QList<FilesafeTO_v2> &safes)
    {
        FilesafesTO_v2 listing;
        listing.filesafes = safes;
        int code = -1;
        m_dao->syncFileSafes(Result<FilesafesTO_v2>(listing), [&code](const EmptyResult &result) { code = result.code(); });
        return code;
    }

    QString rowId(const QString &safeId)
    {
        return m_db->rawValue("SELECT id FROM file_safe WHERE safe_id = '" + safeId + "'").toString();
    }
    // Sync settings (id, file_safe row, remote folder, root folder id).
    bool addSettings(const QList<QStringList> &rows)
    {
        QStringList statements;
        for (const QStringList &r : rows) {
            statements << QString("INSERT INTO sync_setting (id, file_safe_id, remote_dir, local_dir, remote_state, "
                                  "root_folder_id) VALUES (%1, %2, '%3', '/local%1', 0, '%4')")
                                  .arg(r.at(0), r.at(1), r.at(2), r.value(3, "0"));
        }
        return m_db->rawExec(statements);
    }

    TestEnv *m_env = nullptr;
    TestDatabase *m_db = nullptr;
    FileSafeDao *m_dao = nullptr;
};

QTEST_GUILESS_MAIN(TestFileSafeDao)
#include "tst_filesafedao.moc"
