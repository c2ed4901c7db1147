// The status bar's texts by activity, sizes in the system locale and the throttled progress line;
// the tray's status entry.
#include "net/R7Session.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/StatusAction.h"
#include "ui/StatusBarView.h"

#include <QLabel>
#include <QLocale>
#include <QtTest>

#include <memory>

class TestStatusBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void phaseAndDetail_data();
    void phaseAndDetail();
    void progressLineIsThrottled();
    void trayEntry_data();
    void trayEntry();

private:
    QString status() const { return m_view->findChild<QLabel*>(QStringLiteral("statusLabel"))->text(); }
    QString safeName() const { return m_view->findChild<QLabel*>(QStringLiteral("lblFileSafeName"))->text(); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<StatusBarView> m_view;
};

void TestStatusBar::initTestCase()
{
    m_env.reset(new TestEnv);
    m_db.reset(new TestDatabase);
    m_db->open();
    R7Session::instance()->setUser(User(7, QStringLiteral("bar.user"), QStringLiteral("tessarvale"), QDateTime()));
    m_view.reset(new StatusBarView);
}

void TestStatusBar::phaseAndDetail_data()
{
    QTest::addColumn<int>("activity");
    QTest::addColumn<int>("executed");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("actionType");
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");

    const QLocale locale = QLocale::system();
    QTest::newRow("listing") << 10 << 0 << 0 << -1 << qint64(0) << qint64(0) << "Syncing  (2/5)";
    QTest::newRow("collecting") << 21 << 0 << 0 << -1 << qint64(0) << qint64(0) << "Syncing  (3/5)";
    QTest::newRow("planning") << 31 << 0 << 0 << -1 << qint64(0) << qint64(0) << "Syncing  (4/5)";
    QTest::newRow("1 of 3") << 40 << 1 << 3 << -1 << qint64(0) << qint64(0) << "Syncing  (5/5; 33%)";
    QTest::newRow("no work") << 40 << 0 << 0 << -1 << qint64(0) << qint64(0) << "Syncing  (5/5)";
    QTest::newRow("2 of 3, upload of 10 MiB in KB")
        << 41 << 2 << 3 << int(SyncAction::UploadFile) << qint64(5242880) << qint64(10485760)
        << QStringLiteral("Syncing  (5/5; 66%) - upload: report.pdf (%1 of %2 KB)")
               .arg(locale.toString(5120), locale.toString(10240));
    QTest::newRow("one byte more in MB") << 41 << 0 << 3 << int(SyncAction::DownloadFile) << qint64(5242880)
                                         << qint64(10485761) << "Syncing  (5/5; 0%) - upload: report.pdf (5 of 10 MB)";
    QTest::newRow("no rounding") << 41 << 3 << 3 << int(SyncAction::UpdateRemoteFile) << qint64(1536) << qint64(2047)
                                 << "Syncing  (5/5; 100%) - upload: report.pdf (1 of 1 KB)";
    QTest::newRow("no size for a folder") << 41 << 1 << 6 << int(SyncAction::CreateLocalDir) << qint64(0)
                                          << qint64(0) << "Syncing  (5/5; 16%) - upload: report.pdf";
    QTest::newRow("canceled") << 90 << 0 << 0 << -1 << qint64(0) << qint64(0) << "Sync canceled";
    QTest::newRow("failed") << 91 << 0 << 0 << -1 << qint64(0) << qint64(0) << "Sync failed";
}

void TestStatusBar::phaseAndDetail()
{
    QFETCH(int, activity);
    ProgressInfo pi;
    pi.activity = activity;
    QFETCH(int, executed);
    QFETCH(int, total);
    QFETCH(int, actionType);
    QFETCH(qint64, done);
    QFETCH(qint64, size);
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
    if (activity == ProgressInfo::Activity_GetRemoteObjects_Started)
        QCOMPARE(safeName(), pi.safeName);
    if (activity >= ProgressInfo::Activity_User_Canceled)
        QVERIFY(safeName().isEmpty());
}

void TestStatusBar::progressLineIsThrottled()
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
    // A change of phase is shown at once.
    pi.activity = ProgressInfo::Activity_User_Canceled;
    m_view->on_syncProgress(true, pi);
    QCOMPARE(status(), QStringLiteral("Sync canceled"));
    QTest::qWait(StatusBarView::ProgressRepaintMs + 20);
    QCOMPARE(status(), QStringLiteral("Sync canceled"));
}

void TestStatusBar::trayEntry_data()
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
    QTest::newRow("unknown activity") << 11 << 1 << 3 << "PRIVATE" << false << "Syncing";
    QTest::newRow("finished") << 42 << 3 << 3 << "PRIVATE" << false << "Syncing";
}

void TestStatusBar::trayEntry()
{
    StatusAction action(nullptr);
    QVERIFY(!action.isVisible());
    QVERIFY(!action.isEnabled());
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
    action.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
    QVERIFY(!action.isVisible());
}

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
