#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "sync/SyncAction.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

class TestSyncHistoryDao : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void instanceLogsOnce();
    void noFinishedRun();
    void runLifecycle();
    void lastSyncPicksLatestEnd();
    void historyByStartOfRun_data();
    void historyByStartOfRun();
    void historyOrderAndFields();
    void storeWritesActionRow();
    void updateChangesExactlyOneRow();
    void updateOfChangedPathChangesNothing();
    void updateInsideBatch();

private:
    void addRun(qint64 id, qint64 start, qint64 end, int state, qint64 user = 1);
    void addRow(qint64 run, int action, qint64 timestamp, const QString &local = QStringLiteral("l"));
    static SyncAction action(const QString &path, int type, int status);
    TestEnv *m_env = nullptr;
    TestDatabase *m_db = nullptr;
};

void TestSyncHistoryDao::init()
{
    m_env = new TestEnv;
    m_db = new TestDatabase;
    m_db->open();
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
}

void TestSyncHistoryDao::cleanup()
{
    R7Session::instance()->setUser(User());
    delete m_db;
    delete m_env;
}

void TestSyncHistoryDao::addRun(qint64 id, qint64 start, qint64 end, int state, qint64 user)
{
    QVERIFY(m_db->rawExec({QString("INSERT INTO sync_history (id, start_time, end_time, state, user_id) VALUES (%1, "
                                   "%2, %3, %4, %5)")
                                   .arg(id)
                                   .arg(start)
                                   .arg(end < 0 ? QString("NULL") : QString::number(end))
                                   .arg(state)
                                   .arg(user)}));
}

void TestSyncHistoryDao::addRow(qint64 run, int action, qint64 timestamp, const QString &local)
{
    QVERIFY(m_db->rawExec({QString("INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, type, "
                                   "state, action, timestamp) VALUES (%1, '%2', 'Safe: r', 'f', 1, %3, %4)")
                                   .arg(run)
                                   .arg(local)
                                   .arg(action)
                                   .arg(timestamp)}));
}

SyncAction TestSyncHistoryDao::action(const QString &path, int type, int status)
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

void TestSyncHistoryDao::instanceLogsOnce()
{
    LogCapture log;
    SyncHistoryDao *first = SyncHistoryDao::instance();
    QCOMPARE(SyncHistoryDao::instance(), first);
    QVERIFY(log.count("SyncHistoryDao::instance: new SyncHistoryDao") <= 1);
}

void TestSyncHistoryDao::noFinishedRun()
{
    QVERIFY(SyncHistoryDao::instance()->lastSync().isNull());
    addRun(1, 10, -1, 1);    // still running
    addRun(2, 20, 30, 2);    // cancelled
    addRun(3, 20, 40, 3, 2); // another user's
    QVERIFY(SyncHistoryDao::instance()->lastSync().isNull());
}

void TestSyncHistoryDao::runLifecycle()
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    LogCapture log;
    const SyncHistory run = SyncHistoryDao::instance()->startSync();
    QVERIFY(run.id() > 0);
    QCOMPARE(run.state(), 1);
    QVERIFY(!run.startTime().isValid());
    QVERIFY(log.contains(QString("SyncHistoryDao::startSync: created sync_history histid:%1").arg(run.id())));
    QCOMPARE(m_db->rawValue("SELECT user_id FROM sync_history").toLongLong(), 1);
    QVERIFY(m_db->rawValue("SELECT end_time FROM sync_history").isNull());

    SyncHistoryDao::instance()->finishSync(run.id());
    const SyncHistory last = SyncHistoryDao::instance()->lastSync();
    QCOMPARE(last.id(), run.id());
    QCOMPARE(last.state(), 3);
    QVERIFY(last.startTime().toMSecsSinceEpoch() >= before);
    QVERIFY(last.endTime() >= last.startTime());

    const SyncHistory second = SyncHistoryDao::instance()->startSync();
    SyncHistoryDao::instance()->cancelSync(second.id());
    QCOMPARE(m_db->rawValue(QString("SELECT state FROM sync_history WHERE id = %1").arg(second.id())).toInt(), 2);
    QCOMPARE(SyncHistoryDao::instance()->lastSync().id(), run.id()); // a cancelled run does not count
}

void TestSyncHistoryDao::lastSyncPicksLatestEnd()
{
    const qint64 big = qint64(1) << 41; // times and ids beyond 32 bits
    addRun(big + 1, 500, 900, 3);
    addRun(big + 2, 100, 1000, 3); // started earlier, ended later
    addRun(big + 3, 600, 1100, 2);
    addRun(big + 4, 600, 5000, 3, 2);
    const SyncHistory last = SyncHistoryDao::instance()->lastSync();
    QCOMPARE(last.id(), big + 2);
    QCOMPARE(last.startTime().toMSecsSinceEpoch(), 100);
    QCOMPARE(last.endTime().toMSecsSinceEpoch(), 1000);
}

void TestSyncHistoryDao::historyByStartOfRun_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<bool>("listed");
    const qint64 from = 1480000000000LL;
    const qint64 to = 1480086400000LL;
    QTest::newRow("one ms before from") << from - 1 << false;
    QTest::newRow("at from") << from << true;
    QTest::newRow("inside") << from + 5000 << true;
    QTest::newRow("at to") << to << true;
    QTest::newRow("one ms after to") << to + 1 << false;
}

void TestSyncHistoryDao::historyByStartOfRun()
{
    QFETCH(qint64, start);
    QFETCH(bool, listed);
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(1480000000000LL);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(1480086400000LL);
    addRun(1, start, start + 10, 3);
    // The row's own time is inside the range either way: the start of the run decides.
    addRow(1, SyncAction::DownloadFile, 1480000050000LL);
    QCOMPARE(SyncHistoryDao::instance()->loadHistory(from, to).size(), listed ? 1 : 0);
}

void TestSyncHistoryDao::historyOrderAndFields()
{
    addRun(1, 100, 200, 3);
    addRun(2, 150, 250, 2);
    addRun(3, 150, 250, 3, 2); // another user's run
    addRow(1, SyncAction::DownloadFile, 110, "first");
    addRow(1, SyncAction::NoAction, 120, "none");
    addRow(1, SyncAction::UpdateSyncState, 130, "state");
    addRow(1, SyncAction::RemoveSyncState, 140, "removed");
    addRow(1, SyncAction::ActionUndefined, 145, "undefined");
    addRow(2, SyncAction::Resolve, 160, "resolve");
    addRow(2, SyncAction::DeleteRemoteDir, 170, "last");
    addRow(3, SyncAction::DownloadFile, 180, "bobs");
    const QList<SyncHistoryObject> rows = SyncHistoryDao::instance()->loadHistory(QDateTime::fromMSecsSinceEpoch(0),
                                                                                  QDateTime::fromMSecsSinceEpoch(1000));
    QStringList local;
    for (const SyncHistoryObject &row : rows)
        local << row.localDir();
    QCOMPARE(local, QStringList({"last", "resolve", "first"}));
    const SyncHistoryObject &newest = rows.first();
    QCOMPARE(newest.syncHistoryId(), 2);
    QCOMPARE(newest.remoteDir(), QStringLiteral("Safe: r"));
    QCOMPARE(newest.type(), QStringLiteral("f"));
    QCOMPARE(newest.state(), 1);
    QCOMPARE(newest.action(), int(SyncAction::DeleteRemoteDir));
    QCOMPARE(newest.timestamp().toMSecsSinceEpoch(), 170);
}

void TestSyncHistoryDao::storeWritesActionRow()
{
    const SyncAction a = action("docs/a.txt", SyncAction::DownloadFile, SyncAction::STATUS_OK);
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    LogCapture log;
    const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(&a, 42);
    QVERIFY(id > 0);
    QVERIFY(log.contains(QString("SyncHistoryDao::storeSyncHistoryObject: oid:%1 histid:42 action:download status:Ok "
                                 "path: 'docs/a.txt'")
                                 .arg(id)));
    QCOMPARE(m_db->rawColumn(QString("SELECT sync_history_id || '|' || local_dir || '|' || remote_dir || '|' || type "
                                     "|| '|' || state || '|' || action FROM sync_history_object WHERE id = %1")
                                     .arg(id)),
             QStringList{"42|/home/alice/Safe/docs/a.txt|Safe: docs/a.txt|f|1|6"});
    QVERIFY(m_db->rawValue("SELECT timestamp FROM sync_history_object").toLongLong() >= before);
}

void TestSyncHistoryDao::updateChangesExactlyOneRow()
{
    SyncAction a = action("a.txt", SyncAction::UploadFile, SyncAction::STATUS_IN_PROGRESS);
    const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(&a, 7);
    a.setSyncHistoryObjectId(id);
    a.setExecuted(SyncAction::ERR_QUOTA_EXCEEDED, "full");
    QVERIFY(SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 7));
    QCOMPARE(m_db->rawValue(QString("SELECT state FROM sync_history_object WHERE id = %1").arg(id)).toInt(), 400);
    // A different run does not match.
    LogCapture log;
    QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 8));
    QVERIFY(log.contains("SyncHistoryDao::updateSyncHistoryObject: too many rows #0 affected"));
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);
}

void TestSyncHistoryDao::updateOfChangedPathChangesNothing()
{
    SyncAction a = action("a.txt", SyncAction::DownloadFile, SyncAction::STATUS_TODO);
    const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(&a, 3);
    a.setSyncHistoryObjectId(id);
    a.setName("renamed.txt");
    a.setStatus(SyncAction::ERR_FILE_DOWNLOAD);
    LogCapture log;
    QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 3));
    QVERIFY(log.contains(QString("SyncHistoryDao::updateSyncHistoryObject: too many rows #0 affected: oid:%1 "
                                 "histid:3 action:download status:Failed path: 'renamed.txt'")
                                 .arg(id)));
    QCOMPARE(m_db->rawValue("SELECT state FROM sync_history_object").toInt(), 10);
}

void TestSyncHistoryDao::updateInsideBatch()
{
    R7Database *database = R7Database::instance();
    SyncAction a = action("b.txt", SyncAction::DownloadFile, SyncAction::STATUS_TODO);
    QVERIFY(database->transaction());
    const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(&a, 1);
    a.setSyncHistoryObjectId(id);
    a.setStatus(SyncAction::STATUS_OK);
    QVERIFY(SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 1));
    a.setSyncHistoryObjectId(id + 100);
    QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 1)); // its own rollback only
    QCOMPARE(database->transactionDepth(), 1);
    QVERIFY(database->commit());
    QCOMPARE(m_db->rawValue(QString("SELECT state FROM sync_history_object WHERE id = %1").arg(id)).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestSyncHistoryDao)
#include "tst_synchistorydao.moc"
