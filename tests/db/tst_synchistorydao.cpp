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
    void init()
    {
        m_env.reset(new TestEnv);
        m_db.reset(new TestDatabase);
        m_db->open();
        R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    }
    void cleanup()
    {
        R7Session::instance()->setUser(User());
        m_db.reset();
        m_env.reset();
    }
    void runLifecycle()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        LogCapture log;
        const SyncHistory run = SyncHistoryDao::instance()->startSync();
        QVERIFY(run.id() > 0);
        QCOMPARE(run.state(), 1);
        QVERIFY(log.contains(QString("SyncHistoryDao::startSync: created sync_history histid:%1").arg(run.id())));
        QCOMPARE(m_db->rawColumn("SELECT user_id || '|' || ifnull(end_time, 'running') FROM sync_history"),
                 QStringList{"1|running"});

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
        QCOMPARE(last.startTime().toMSecsSinceEpoch(), big + 100);
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
        const SyncHistoryObject &newest = rows.first();
        QCOMPARE(QStringList({newest.remoteDir(), newest.type()}), QStringList({"Safe: r", "f"}));
        QCOMPARE(QList<qint64>(
                         {newest.syncHistoryId(), newest.state(), newest.action(), newest.timestamp().toMSecsSinceEpoch()}),
                 QList<qint64>({3, 1, SyncAction::DeleteRemoteDir, from + 310}));
    }

    void storeAndUpdateExactlyOneRow()
    {
        SyncAction a = action("docs/a.txt", SyncAction::UploadFile, SyncAction::STATUS_OK);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(&a, 7);
        QVERIFY(id > 0);
        QCOMPARE(m_db->rawColumn(QString("SELECT sync_history_id || '|' || local_dir || '|' || remote_dir || '|' || type "
                                         "|| '|' || state || '|' || action || '|' || (timestamp >= %1) FROM "
                                         "sync_history_object WHERE id = %2")
                                         .arg(before)
                                         .arg(id)),
                 QStringList{
                         QString("7|/home/alice/Safe/docs/a.txt|Safe: docs/a.txt|f|1|%1|1").arg(SyncAction::UploadFile)});

        a.setSyncHistoryObjectId(id);
        a.setExecuted(SyncAction::ERR_QUOTA_EXCEEDED, "full");
        QVERIFY(SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 7));
        QCOMPARE(stateOf(id), 400);
        // Another run, or a changed path, matches no row.
        LogCapture log;
        QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 8));
        a.setName("renamed.txt");
        a.setStatus(SyncAction::ERR_FILE_DOWNLOAD);
        QVERIFY(!SyncHistoryDao::instance()->updateSyncHistoryObject(&a, 7));
        QCOMPARE(log.count("SyncHistoryDao::updateSyncHistoryObject: too many rows #0 affected"), 2);
        QCOMPARE(stateOf(id), 400);
        QCOMPARE(R7Database::instance()->transactionDepth(), 0);
    }

    void updateInsideBatch()
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
        QCOMPARE(stateOf(id), 1);
    }
private:
    void addRun(qint64 id, qint64 start, qint64 end, int state, qint64 user = 1)
    {
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_history VALUES (%1, %2, %3, %4, %5)")
                                       .arg(id)
                                       .arg(start)
                                       .arg(end < 0 ? QString("NULL") : QString::number(end))
                                       .arg(state)
                                       .arg(user)}));
    }
    void addRow(qint64 run, int action, qint64 timestamp, const QString &local = QStringLiteral("l"))
    {
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, "
                                       "type, state, action, timestamp) VALUES (%1, '%2', 'Safe: r', 'f', 1, %3, %4)")
                                       .arg(run)
                                       .arg(local)
                                       .arg(action)
                                       .arg(timestamp)}));
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

QTEST_GUILESS_MAIN(TestSyncHistoryDao)
#include "tst_synchistorydao.moc"
