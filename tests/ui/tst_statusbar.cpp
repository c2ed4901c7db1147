// The status bar's texts by activity, sizes in the system locale and the throttled progress line;
// the tray's status entry; the shared percentage, the Alt-click gesture and the floating placeholder.
#include "db/SyncHistoryDao.h"
#include "net/R7Session.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/FeaturesUtil.h"
#include "ui/PermanentPlaceholderOverlay.h"
#include "ui/StatusAction.h"
#include "ui/StatusBarView.h"
#include "ui/SyncPercent.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class TestStatusBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_env.reset(new TestEnv);
        m_db.reset(new TestDatabase);
        m_db->open();
        R7Session::instance()->setUser(User(7, QStringLiteral("bar.user"), QStringLiteral("tessarvale"), QDateTime()));
        m_view.reset(new StatusBarView);
    }

    void phaseAndDetail_data()
    {
        QTest::addColumn<int>("activity");
        QTest::addColumn<int>("executed");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("actionType");
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("localSize"); // what the action plans to send or to replace
        QTest::addColumn<qint64>("remoteSize");
        QTest::addColumn<QString>("text");

        const QLocale locale = QLocale::system();
        QTest::newRow("listing") << 10 << 0 << 0 << -1 << qint64(0) << qint64(0) << qint64(0) << qint64(0)
                                 << "Syncing  (2/5)";
        QTest::newRow("no work") << 40 << 0 << 0 << -1 << qint64(0) << qint64(0) << qint64(0) << qint64(0)
                                 << "Syncing  (5/5)";
        QTest::newRow("2 of 3, upload of 10 MiB in KB")
                << 41 << 2 << 3 << int(SyncAction::UploadFile) << qint64(5242880) << qint64(10485760) << qint64(0)
                << qint64(0)
                << QStringLiteral("Syncing  (5/5; 66%) - upload: report.pdf (%1 of %2 KB)")
                           .arg(locale.toString(5120), locale.toString(10240));
        QTest::newRow("one byte more in MB")
                << 41 << 0 << 3 << int(SyncAction::DownloadFile) << qint64(5242880) << qint64(10485761) << qint64(0)
                << qint64(0) << "Syncing  (5/5; 0%) - upload: report.pdf (5 of 10 MB)";
        QTest::newRow("no rounding") << 41 << 3 << 3 << int(SyncAction::UpdateRemoteFile) << qint64(1536)
                                     << qint64(2047) << qint64(0) << qint64(0)
                                     << "Syncing  (5/5; 100%) - upload: report.pdf (1 of 1 KB)";
        QTest::newRow("no size for a folder")
                << 41 << 1 << 6 << int(SyncAction::CreateLocalDir) << qint64(0) << qint64(0) << qint64(0) << qint64(0)
                << "Syncing  (5/5; 16%) - upload: report.pdf";
        QTest::newRow("failed") << 91 << 0 << 0 << -1 << qint64(0) << qint64(0) << qint64(0) << qint64(0)
                                << "Sync failed";
        // Until the transfer reports its total, the size the action plans to move stands in.
        QTest::newRow("upload before its first report")
                << 41 << 0 << 1 << int(SyncAction::UploadFile) << qint64(0) << qint64(0) << qint64(149946368)
                << qint64(0) << "Syncing  (5/5; 0%) - upload: report.pdf (0 of 143 MB)";
        QTest::newRow("download before its first report")
                << 41 << 0 << 1 << int(SyncAction::DownloadFile) << qint64(0) << qint64(-1) << qint64(999999)
                << qint64(2048) << "Syncing  (5/5; 0%) - upload: report.pdf (0 of 2 KB)";
    }

    void phaseAndDetail()
    {
        QFETCH(int, activity);
        ProgressInfo pi;
        pi.activity = activity;
        QFETCH(int, executed);
        QFETCH(int, total);
        QFETCH(int, actionType);
        QFETCH(qint64, done);
        QFETCH(qint64, size);
        QFETCH(qint64, localSize);
        QFETCH(qint64, remoteSize);
        pi.action.setLocalSize(localSize);
        pi.action.setRemoteSize(remoteSize);
        pi.nDone = executed;
        pi.nTotal = total;
        pi.actionType = actionType;
        pi.bytesDone = done;
        pi.bytesTotal = size;
        pi.actionName = QStringLiteral("upload");
        pi.name = QStringLiteral("report.pdf");
        pi.safeName = QStringLiteral("Team <b>A</b>");
        pi.safeType = QStringLiteral("TEAMSAFE");
        m_view->setStatusText(QString());
        m_view->on_syncProgress(true, pi);
        if (activity == ProgressInfo::Activity_ProcessSyncActions_Progress)
            QTest::qWait(StatusBarView::ProgressRepaintMs + 20);
        QTEST(status(), "text");
    }

    void progressLineIsThrottled()
    {
        ProgressInfo pi;
        pi.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
        pi.actionType = SyncAction::DownloadFile;
        pi.actionName = QStringLiteral("download");
        pi.nTotal = 100000;
        QTest::qWait(StatusBarView::ProgressRepaintMs + 20);
        int changes = 0;
        QString last = status();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 100000; ++i) {
            pi.nDone = i;
            pi.name = QStringLiteral("file %1").arg(i);
            m_view->on_syncProgress(true, pi);
            if (status() != last) {
                ++changes;
                last = status();
            }
        }
        // The first report shows at once; the rest wait for the next slot.
        QVERIFY2(changes <= 1 + int(timer.elapsed() / StatusBarView::ProgressRepaintMs) + 1, qPrintable(QString::number(changes)));
        QTRY_VERIFY(status().contains(QStringLiteral("file 99999")));
        // A change of phase is shown at once, and no waiting progress line overwrites it.
        pi.activity = ProgressInfo::Activity_User_Canceled;
        m_view->on_syncProgress(true, pi);
        QTest::qWait(StatusBarView::ProgressRepaintMs + 20);
        QCOMPARE(status(), QStringLiteral("Sync canceled"));
    }

    void runEnd_data()
    {
        QTest::addColumn<int>("lastReport"); // the run's last progress before its end; -1: none
        QTest::addColumn<QString>("shown");  // empty: the run just finished
        QTest::newRow("actions done") << int(ProgressInfo::Activity_ProcessSyncActions_Finished) << "";
        QTest::newRow("large deletion declined") << int(ProgressInfo::Activity_BuildSyncActions_Finished) << "";
        QTest::newRow("nothing to run") << -1 << "";
        QTest::newRow("listing failed") << int(ProgressInfo::Activity_Error_Canceled) << "Sync failed";
    }

    // The run's history row is closed after its last report and before the coordinator ends the
    // run; the end shows that run unless a failure is on display.
    void runEnd()
    {
        QFETCH(int, lastReport);
        QFETCH(QString, shown);
        // Earlier runs a day back, so that the time shown tells them from this one.
        QVERIFY(m_db->rawExec({"UPDATE sync_history SET end_time = end_time - 86400000"}));
        SyncHistoryDao* history = SyncHistoryDao::instance();
        const SyncHistory run = history->startSync(0);
        ProgressInfo pi;
        pi.safeName = QStringLiteral("Mine");
        pi.safeType = QStringLiteral("PRIVATE");
        pi.activity = ProgressInfo::Activity_GetRemoteObjects_Started;
        m_view->on_syncProgress(true, pi);
        if (lastReport >= 0) {
            pi.activity = lastReport;
            m_view->on_syncProgress(true, pi);
        }
        QVERIFY(history->finishSync(run.id()));
        const SyncHistory last = history->lastSync();
        QCOMPARE(last.id(), run.id());
        m_view->on_syncFinished();
        if (shown.isEmpty())
            shown = "Last sync: " + QLocale::system().toString(last.endTime(), QLocale::ShortFormat);
        QCOMPARE(status(), shown);
        QCOMPARE(m_view->findChild<QLabel*>(QStringLiteral("lblFileSafeName"))->text(), QString());
    }

    void trayEntry_data()
    {
        QTest::addColumn<int>("activity");
        QTest::addColumn<int>("executed");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("text");
        QTest::newRow("listing") << 10 << 0 << 0 << "PRIVATE" << true << "Private syncing ...";
        QTest::newRow("2 of 3") << 41 << 2 << 3 << "PRIVATE" << true << "Private 66%";
        QTest::newRow("no work") << 41 << 0 << 0 << "PRIVATE" << true << "Private ";
        QTest::newRow("no safe type") << 41 << 1 << 3 << "" << false << "Syncing";
        QTest::newRow("finished") << 42 << 3 << 3 << "PRIVATE" << false << "Syncing";
    }

    void trayEntry()
    {
        StatusAction action(nullptr);
        ProgressInfo pi;
        QFETCH(int, activity);
        pi.activity = activity;
        QFETCH(int, executed);
        QFETCH(int, total);
        pi.nDone = executed;
        pi.nTotal = total;
        QFETCH(QString, type);
        pi.safeType = type;
        pi.safeName = QStringLiteral("Private");
        action.on_syncProgress(true, pi);
        action.flush();
        QTEST(action.isVisible(), "visible");
        QTEST(action.text(), "text");
    }

    void percent_data()
    {
        QTest::addColumn<int>("executed");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("2 of 3") << 2 << 3 << 66;
        QTest::newRow("1 of 200") << 1 << 200 << 0;
        QTest::newRow("no work") << 0 << 0 << -1;
        QTest::newRow("large run") << 99999 << 100000 << 99;
    }

    void percent()
    {
        QFETCH(int, executed);
        QFETCH(int, total);
        QTEST(syncPercent(executed, total), "percent");
    }

    void altClickGesture()
    {
        QWidget target;
        FeaturesUtil util(5, 300, Qt::AltModifier, &target);
        QSignalSpy triggered(&util, &FeaturesUtil::triggered);
        auto press = [&](Qt::KeyboardModifiers modifiers) {
            QMouseEvent event(QEvent::MouseButtonPress, QPointF(1, 1), Qt::LeftButton, Qt::LeftButton, modifiers);
            util.onMousePress(&event);
        };
        for (int i = 0; i < 4; ++i)
            press(Qt::AltModifier);
        press(Qt::AltModifier | Qt::ControlModifier); // starts over
        for (int i = 0; i < 4; ++i)
            press(Qt::AltModifier);
        QCOMPARE(triggered.count(), 0);
        press(Qt::AltModifier);
        QCOMPARE(triggered.count(), 1);
    }

    void placeholderFloatsAndReturns()
    {
        QWidget window;
        auto* field = new QLineEdit(&window);
        auto* other = new QLineEdit(&window);
        // Away from the pointer, which would hover the field.
        window.resize(300, 200);
        field->move(100, 60);
        other->move(100, 120);
        QCursor::setPos(window.mapToGlobal(QPoint(5, 5)));
        auto* overlay = PermanentPlaceholderOverlay::create(QStringLiteral("Username"), field);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();

        // Text set by code floats the label up, focus or not.
        field->setText(QStringLiteral("someone"));
        QTRY_COMPARE(overlay->pos(), QPoint(0, 0));
        // Cleared without focus: it stays a caption until the field loses the focus while empty.
        field->clear();
        QVERIFY(!overlay->isRestingEmpty());
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        other->setFocus();
        QTRY_COMPARE(overlay->pos(), QPoint(0, 9));
        // The field still gets its clicks.
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, overlay->geometry().center());
        QTRY_VERIFY(field->hasFocus());
    }

private:
    QString status() const { return m_view->findChild<QLabel*>(QStringLiteral("statusLabel"))->text(); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<StatusBarView> m_view;
};

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
