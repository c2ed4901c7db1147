#include "tests/sync/SyncHarness.h"

#include <QtTest>

// The states of completed transfers are written in batches; whatever ends the run, none of them
// may be lost, and the next run must not transfer those files again.
class TestSyncBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_h = std::make_unique<SyncHarness>();
        QVERIFY2(m_h->start(), qPrintable(m_h->error()));
    }

    void stoppedRunRecordsEveryTransfer()
    {
        QVERIFY(m_h->newSetting());
        for (int i = 0; i < 12; ++i)
            QVERIFY(m_h->putLocal(QString("f%1.txt").arg(i), QByteArray::number(i).repeated(10)));
        // No pump during the run: only the end of the run can write what is pending.
        Syncher::setPumpTiming(3600 * 1000, 0);
        int uploaded = 0;
        const SyncHarness::Outcome stopped = m_h->run(true, [&uploaded](MultiSyncher &ms, const ProgressInfo &pi) {
            if (uploaded == 0 && pi.nUploaded >= 4) {
                uploaded = pi.nUploaded;
                ms.requestToStop();
            }
        });
        Syncher::setPumpTiming(50, 0);
        QCOMPARE(stopped.end, QString("canceled"));
        QVERIFY(uploaded >= 4 && uploaded < 12);
        const qint64 setting = m_h->settings().value(0).id();
        QCOMPARE(m_h->db().rawValue(QString("SELECT COUNT(*) FROM fs_object WHERE setting_id = %1").arg(setting)).toInt(),
                 uploaded);

        const SyncHarness::Outcome rest = m_h->run();
        QCOMPARE(rest.end, QString("finished"));
        QCOMPARE(rest.work(), 12 - uploaded);
        QCOMPARE(m_h->remoteTree(), m_h->localTree());
    }

private:
    std::unique_ptr<SyncHarness> m_h;
};

QTEST_MAIN(TestSyncBatch)
#include "tst_syncbatch.moc"
