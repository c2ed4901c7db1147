// On a real database: the synchronised-folder row (phases, warnings, the shared expiry rule, start
// and reset), removal from the folders list with and without failure, the status and progress
// cells, and the activity history (filter windows by run start, colours, live progress rows with
// scaled bars replaced by executed rows, the throttled bar, the context menu and the clipboard).
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/MultiSyncher.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "tests/ui/BoxAnswers.h"
#include "ui/filesafe/ActivityProgressBarView.h"
#include "ui/filesafe/ActivityStatusView.h"
#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui/filesafe/SettingsSyncSettingView.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <memory>

class TestSyncFolders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowPhases_data();
    void rowPhases();
    void rowProgressIsThrottled();
    void rowConditions_data();
    void rowConditions();
    void rowStartAndReset();
    void deleteSetting_data();
    void deleteSetting();
    void statusCell_data();
    void statusCell();
    void progressBarScalesLargeFiles_data();
    void progressBarScalesLargeFiles();
    void historyFilterWindows_data();
    void historyFilterWindows();
    void coloursAndStatusCells();
    void liveRows();
    void barIsThrottled();
    void buttonsAndMenu();

private:
    qint64 addSetting(const QString& safeId, const QString& dir, const QString& remoteDir = QStringLiteral("/"));
    static QString lastSync(QWidget* row) { return row->findChild<QLabel*>(QStringLiteral("lastSyncDate"))->text(); }
    void addRuns();
    void addRun(qint64 id, const QDateTime& start, const QString& path, int state = 1, int action = 6);
    QStringList paths(SyncHistoryView& view) const;
    QWidget* statusWidget(SyncHistoryView& view, int row) const
    {
        auto* table = view.findChild<QTableView*>("historyTableView");
        return table->indexWidget(view.model()->index(row, SyncHistoryView::ColStatus));
    }
    static void transfer(ProgressInfo& pi, const QString& name, int executed, qint64 done, qint64 total);

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<MultiSyncher> m_syncher;
};

void TestSyncFolders::init()
{
    m_env.reset(new TestEnv);
    m_db.reset(new TestDatabase);
    m_db->open();
    QVERIFY(m_db->rawExec({
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0)",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, role_type, expiry_date) "
            "VALUES (1, 1, 'S1', 'Team', 'TEAMSAFE', 'rcud', 2, NULL), (2, 1, 'S2', 'Mine', 'PRIVATE', 'rcud', 1, "
            "'2999-01-01 00:00:00')",
    }));
    R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    m_syncher.reset(new MultiSyncher(nullptr, nullptr));
}

void TestSyncFolders::cleanup()
{
    m_syncher.reset();
    R7Session::instance()->setUser(User());
    m_db.reset();
    m_env.reset();
}

qint64 TestSyncFolders::addSetting(const QString& safeId, const QString& dir, const QString& remoteDir)
{
    QDir().mkpath(dir);
    SyncSetting setting;
    setting.setSafeId(safeId);
    setting.setLocalDir(dir);
    setting.setRemoteDir(remoteDir);
    setting.setRootFolderId("root-" + safeId);
    setting.setMode(1);
    if (!SyncSettingsDao::instance()->add(setting))
        return 0;
    return m_db->rawValue("SELECT max(id) FROM sync_setting").toLongLong();
}

void TestSyncFolders::rowPhases_data()
{
    QTest::addColumn<QList<int>>("activities");
    QTest::addColumn<int>("executed");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("remote") << QList<int>{10} << 0 << 0 << "Get remote status ...";
    QTest::newRow("collect") << QList<int>{21} << 0 << 0 << "Collect status info ...";
    QTest::newRow("build") << QList<int>{32} << 0 << 0 << "Build sync actions ...";
    QTest::newRow("7 of 9") << QList<int>{41} << 7 << 9 << "Process sync actions ... (77%)";
    QTest::newRow("no work") << QList<int>{40} << 0 << 0 << "Process sync actions ...";
    QTest::newRow("finished keeps the phase") << QList<int>{30, 42} << 0 << 0 << "Build sync actions ...";
    QTest::newRow("cancel keeps the phase") << QList<int>{20, 90, 91} << 0 << 0 << "Collect status info ...";
}

void TestSyncFolders::rowPhases()
{
    QFETCH(QList<int>, activities);
    QFETCH(int, executed);
    QFETCH(int, total);
    QFETCH(QString, text);
    SettingsSyncSettingView row(m_syncher.get(), true, 0, QString(), QStringLiteral("rcud"));
    ProgressInfo pi;
    pi.nDone = executed;
    pi.nTotal = total;
    for (int activity : activities) {
        pi.activity = activity;
        row.on_syncProgress(true, pi);
    }
    QCOMPARE(lastSync(&row), text);
}

void TestSyncFolders::rowProgressIsThrottled()
{
    SettingsSyncSettingView row(m_syncher.get(), true, 0, QString(), QStringLiteral("rcud"));
    ProgressInfo pi;
    pi.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
    pi.nTotal = 100000;
    pi.nDone = 1;
    row.on_syncProgress(true, pi);
    QCOMPARE(lastSync(&row), QStringLiteral("Process sync actions ... (0%)"));
    // A burst of reports repaints nothing at once; the newest text follows within the throttle.
    for (int i = 2; i <= 60000; ++i) {
        pi.nDone = i;
        row.on_syncProgress(true, pi);
    }
    QCOMPARE(lastSync(&row), QStringLiteral("Process sync actions ... (0%)"));
    QTRY_COMPARE(lastSync(&row), QStringLiteral("Process sync actions ... (60%)"));
}

void TestSyncFolders::rowConditions_data()
{
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("remoteState");
    QTest::addColumn<QString>("expiry");
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("attention");
    QTest::newRow("never synchronised") << true << 0 << "" << "rcud" << "-" << false;
    QTest::newRow("missing folder first") << false << 1 << "2000-01-01 00:00:00" << "" << "Local folder does not exist anymore" << true;
    QTest::newRow("no read") << true << 0 << "" << "cud" << "Insufficient permissions" << false;
    QTest::newRow("read without delete") << true << 0 << "" << "r" << "-" << true;
    QTest::newRow("expired") << true << 0 << "2000-01-01 00:00:00" << "rcud" << "${APP_NAME} space is expired." << true;
    QTest::newRow("unreadable date") << true << 0 << "soon" << "rcud" << "${APP_NAME} space is expired." << true;
    QTest::newRow("future expiry") << true << 0 << "2999-01-01 00:00:00" << "rcud" << "-" << false;
    QTest::newRow("gone") << true << 1 << "" << "rcud" << "${APP_NAME} space does not exist anymore." << true;
}

void TestSyncFolders::rowConditions()
{
    QFETCH(bool, readable);
    QFETCH(int, remoteState);
    QFETCH(QString, expiry);
    QFETCH(QString, access);
    QFETCH(QString, text);
    QFETCH(bool, attention);
    SettingsSyncSettingView row(m_syncher.get(), readable, remoteState, expiry, access);
    row.setSpaceType(QStringLiteral("PRIVATE"), false);
    row.setSafeName(QStringLiteral("<b>Team</b>"), QStringLiteral("/docs"));
    row.setLastSync(QDateTime());
    QCOMPARE(lastSync(&row), text);
    QCOMPARE(row.needsAttention(), attention);
    auto* name = row.findChild<QLabel*>(QStringLiteral("fileSpaceName"));
    QCOMPARE(name->text(), QStringLiteral("<b>Team</b>/docs"));
    QCOMPARE(name->textFormat(), Qt::PlainText);
    QCOMPARE(name->styleSheet().contains(QLatin1String("red")), attention);
    // The engine pauses exactly the settings the row shows as expired.
    SyncSetting setting;
    setting.setExpiryDate(expiry);
    const bool expired = !expiry.isEmpty() && !expiry.startsWith(QLatin1String("2999"));
    QCOMPARE(SyncSetting::isExpired(setting.expiryDate()), expired);
    if (readable && !access.isEmpty() && access.contains(QLatin1Char('r')))
        QCOMPARE(text.contains(QLatin1String("expired")), expired);
}

void TestSyncFolders::rowStartAndReset()
{
    SettingsSyncSettingView row(m_syncher.get(), true, 0, QString(), QStringLiteral("rcud"));
    connect(m_syncher.get(), &MultiSyncher::startSyncSafe, &row, &SettingsSyncSettingView::on_startSyncSafe);
    row.setSettingId(5);
    row.setLastSync(QDateTime());
    SyncSetting own;
    own.setId(5);
    SyncSetting other;
    other.setId(6);
    emit m_syncher->startSyncSafe(own);
    QVERIFY(row.isSyncing());
    // The next setting of the run returns this row to idle with the end time.
    emit m_syncher->startSyncSafe(other);
    QVERIFY(!row.isSyncing());
    const QString ended = lastSync(&row);
    QVERIFY(ended != QLatin1String("-") && !ended.contains(QLatin1String("...")));
    // Reset dropped the run's connections: progress of another setting does not reach the row.
    ProgressInfo pi;
    pi.activity = ProgressInfo::Activity_BuildSyncActions_Started;
    emit m_syncher->syncProgress(true, pi);
    QCOMPARE(lastSync(&row), ended);
    // A cancelled run returns a running row to idle too.
    emit m_syncher->startSyncSafe(own);
    emit m_syncher->syncCanceled();
    QVERIFY(!row.isSyncing());
}

void TestSyncFolders::deleteSetting_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("refused");
    QTest::newRow("no") << false << false;
    QTest::newRow("yes") << true << false;
    QTest::newRow("yes, removal fails") << true << true;
}

void TestSyncFolders::deleteSetting()
{
    QFETCH(bool, confirm);
    QFETCH(bool, refused);
    addSetting("S2", m_env->home() + "/mine");
    FileSyncSettingsView view(&m_db->appInfo(), m_syncher.get());
    connect(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged, &view,
            &FileSyncSettingsView::on_syncSettingsDataChanged);
    auto* table = view.findChild<QTableView*>(QStringLiteral("tableView"));
    if (refused) {
        QVERIFY(m_db->rawExec({"CREATE TRIGGER keep BEFORE DELETE ON sync_setting BEGIN SELECT RAISE(ABORT, 'kept'); END"}));
        m_db->closeRaw();
    }
    QList<int> answers{confirm ? QMessageBox::Yes : QMessageBox::No};
    if (refused)
        answers << QMessageBox::Ok;
    BoxAnswers boxes(answers);
    view.findChild<QToolButton*>(QStringLiteral("deleteSettingButton"))->click();
    if (refused) {
        // The failure box follows the question; the folder's name is never read as markup.
        QCOMPARE(boxes.titles().value(1), QStringLiteral("Unable to remove sync folder"));
        QVERIFY(boxes.plainText.value(1));
    }
    QCOMPARE(table->model()->rowCount(), confirm && !refused ? 0 : 1);
    QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), confirm && !refused ? 0 : 1);
}

void TestSyncFolders::statusCell_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<bool>("info");
    QTest::addColumn<bool>("helpTip");
    QTest::newRow("skipped") << 21 << "Skipped" << "#F37F32" << true << false;
    QTest::newRow("to do") << 10 << "To do" << "#F37F32" << true << false;
    QTest::newRow("quota") << 400 << "Quota exceeded" << "red" << true << true;
    QTest::newRow("error 100 plain") << 100 << "Error" << "" << true << false;
    QTest::newRow("ok") << 1 << "Ok" << "" << false << false;
}

void TestSyncFolders::statusCell()
{
    QFETCH(int, status);
    QFETCH(QString, name);
    QFETCH(QString, colour);
    QFETCH(bool, info);
    QFETCH(bool, helpTip);
    ActivityStatusView view;
    view.setStatus(status, QStringLiteral("<img src=x>"));
    auto* label = view.findChild<QLabel*>(QStringLiteral("statusLabel"));
    auto* button = view.findChild<QPushButton*>(QStringLiteral("infoButton"));
    QCOMPARE(label->text(), name);
    QCOMPARE(label->styleSheet().isEmpty(), colour.isEmpty());
    QVERIFY(label->styleSheet().contains(colour));
    QCOMPARE(!button->isHidden(), info);
    QCOMPARE(button->toolTip().contains(QLatin1String("upgrade")), helpTip);
    // The engine's message reaches the rich tool tip as text, never as markup.
    QVERIFY(!view.toolTip().contains(QLatin1String("<img")));
    QVERIFY(view.toolTip().contains(QLatin1String("&lt;img src=x&gt;")));
}

void TestSyncFolders::progressBarScalesLargeFiles_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("percent");
    QTest::newRow("small") << qint64(50) << qint64(200) << 25;
    QTest::newRow("2 GiB") << qint64(1) << (qint64(1) << 31) << 0;
    QTest::newRow("2 GiB, three quarters") << (qint64(3) << 29) << (qint64(1) << 31) << 75;
    QTest::newRow("9 GiB, half") << (qint64(9) << 29) << (qint64(9) << 30) << 50;
}

void TestSyncFolders::progressBarScalesLargeFiles()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(int, percent);
    ActivityProgressBarView view;
    view.setBytes(done, total);
    QProgressBar* bar = view.progressBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(int(qint64(bar->value()) * 100 / bar->maximum()), percent);
}

void TestSyncFolders::addRuns()
{
    const QDateTime today(QDate::currentDate(), QTime(0, 0));
    // A run that began yesterday 23:50 counts as yesterday's, even if its objects are from today.
    addRun(1, today.addSecs(-600), "/h/yesterday-late");
    addRun(2, today.addDays(-1).addSecs(3600), "/h/yesterday", 10);
    const int sinceMidnight = QTime(0, 0).secsTo(QTime::currentTime());
    addRun(3, QDateTime::currentDateTime().addSecs(-qMin(1800, sinceMidnight / 2)), "/h/half-hour", 101);
    addRun(4, today.addSecs(1), "/h/early", 100);
    addRun(5, today.addDays(-5), "/h/old", 1);
    addRun(6, QDateTime::currentDateTime().addSecs(-60), "/h/bookkeeping", 1, 1);
}

void TestSyncFolders::addRun(qint64 id, const QDateTime& start, const QString& path, int state, int action)
{
    QVERIFY(m_db->rawExec({
            QString("INSERT INTO sync_history (id, start_time, end_time, state, user_id) VALUES (%1, %2, %2, 1, 1)")
                    .arg(id)
                    .arg(start.toMSecsSinceEpoch()),
            QString("INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, type, state, action, "
                    "timestamp) VALUES (%1, '%2', 'Safe: %2', 'f', %3, %4, %5)")
                    .arg(id)
                    .arg(path)
                    .arg(state)
                    .arg(action)
                    .arg(start.addSecs(700).toMSecsSinceEpoch()),
    }));
}

QStringList TestSyncFolders::paths(SyncHistoryView& view) const
{
    QStringList out;
    for (int r = 0; r < view.model()->rowCount(); ++r)
        out << view.model()->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString();
    out.sort();
    return out;
}

void TestSyncFolders::historyFilterWindows_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<int>("fromDays");
    QTest::addColumn<int>("toDays");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("today") << 0 << 0 << 0 << QStringList{"/h/early", "/h/half-hour"};
    QTest::newRow("yesterday") << 1 << 0 << 0 << QStringList{"/h/yesterday", "/h/yesterday-late"};
    QTest::newRow("last hour") << 2 << 0 << 0 << QStringList{"/h/half-hour"};
    QTest::newRow("range") << 3 << -6 << -4 << QStringList{"/h/old"};
    QTest::newRow("range reversed") << 3 << 0 << -6 << QStringList{};
}

void TestSyncFolders::historyFilterWindows()
{
    QFETCH(int, filter);
    QFETCH(int, fromDays);
    QFETCH(int, toDays);
    QFETCH(QStringList, expected);
    if (filter == 2 && QTime::currentTime() < QTime(1, 1))
        QSKIP("the run at 00:00:01 is still within the last hour");
    addRuns();
    SyncHistoryView view;
    auto* combo = view.findChild<QComboBox*>("selectFilterComboBox");
    const QDateTime today(QDate::currentDate(), QTime(0, 0));
    view.findChild<QDateTimeEdit*>("fromDateTimeEdit")->setDateTime(today.addDays(fromDays));
    view.findChild<QDateTimeEdit*>("toDateTimeEdit")->setDateTime(today.addDays(toDays));
    if (combo->currentIndex() == filter)
        view.findChild<QPushButton*>("refreshButton")->click();
    combo->setCurrentIndex(filter);
    QCOMPARE(paths(view), expected);
    QCOMPARE(view.model()->columnCount(), 5);
    QCOMPARE(view.findChild<QWidget*>("fromToEditFrame")->isHidden(), filter != 3);
}

void TestSyncFolders::coloursAndStatusCells()
{
    addRuns();
    SyncHistoryView view;
    // The object with an error (101) is red, with a status cell.
    const QStringList shown = paths(view);
    const int row = view.model()->match(view.model()->index(0, SyncHistoryView::ColPath), SyncHistoryView::LocalPathRole,
                                        QStringLiteral("/h/half-hour")).value(0).row();
    QVERIFY(shown.contains("/h/half-hour"));
    QCOMPARE(view.model()->item(row, SyncHistoryView::ColStatus)->foreground().color(), QColor(Qt::red));
    QVERIFY(qobject_cast<ActivityStatusView*>(statusWidget(view, row)));
    QList<QStandardItem*> warn = SyncHistoryView::makeHistoryRow(1, 6, "S: a", "/a", 10, QString(), QDateTime());
    QCOMPARE(warn.at(3)->foreground().color(), QColor("#F37F32"));
    qDeleteAll(warn);
}

void TestSyncFolders::transfer(ProgressInfo& pi, const QString& name, int executed, qint64 done, qint64 total)
{
    pi.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
    pi.actionType = SyncAction::DownloadFile;
    pi.nDone = executed;
    pi.nTotal = 10;
    pi.bytesDone = done;
    pi.bytesTotal = total;
    pi.safeName = "Safe";
    pi.localBase = "/local";
    pi.name = name;
}

void TestSyncFolders::liveRows()
{
    SyncHistoryView view;
    const int before = view.model()->rowCount();
    // A 3 GiB download: the bar's range stays positive.
    ProgressInfo pi;
    transfer(pi, "big.iso", 1, qint64(3) << 29, qint64(3) << 30);
    view.on_syncProgress(true, pi);
    QCOMPARE(view.model()->rowCount(), before + 1);
    auto* bar = qobject_cast<ActivityProgressBarView*>(statusWidget(view, 0));
    QVERIFY(bar);
    QVERIFY(bar->progressBar()->maximum() > 0);
    QCOMPARE(bar->progressBar()->value() * 2, bar->progressBar()->maximum());
    // A non-transfer makes no progress row.
    ProgressInfo del;
    transfer(del, "gone.txt", 1, 0, 0);
    del.actionType = SyncAction::DeleteLocalFile;
    view.on_syncProgress(true, del);
    QCOMPARE(view.model()->rowCount(), before + 1);
    // The executed action replaces the progress row.
    SyncAction sa;
    sa.setAction(SyncAction::DownloadFile);
    sa.setLocalBase("/local");
    sa.setName("big.iso");
    sa.setRemoteSafeName("Safe");
    sa.setExecuted(SyncAction::ERR_QUOTA_EXCEEDED, QStringLiteral("<b>full</b>"));
    view.on_syncExecutedOne(false, QString(), sa);
    QCOMPARE(view.model()->rowCount(), before + 1);
    QCOMPARE(SyncHistoryView::findProgressRows(view.model(), "/local/big.iso").size(), 0);
    auto* cell = qobject_cast<ActivityStatusView*>(statusWidget(view, 0));
    QVERIFY(cell);
    QVERIFY(cell->toolTip().contains("&lt;b&gt;full"));
    // A cancellation reloads from the database: live rows go.
    view.on_syncCanceled();
    QCOMPARE(view.model()->rowCount(), before);
}

void TestSyncFolders::barIsThrottled()
{
    SyncHistoryView view;
    ProgressInfo pi;
    transfer(pi, "f.bin", 1, 0, 1000);
    view.on_syncProgress(true, pi);
    auto* bar = qobject_cast<ActivityProgressBarView*>(statusWidget(view, 0));
    QVERIFY(bar);
    for (int i = 1; i <= 500; ++i) {
        pi.bytesDone = i;
        view.on_syncProgress(true, pi);
    }
    QCOMPARE(bar->progressBar()->value(), 0);
    QTRY_COMPARE(bar->progressBar()->value(), 500);
}

void TestSyncFolders::buttonsAndMenu()
{
    SyncHistoryView view;
    view.resize(763, 380);
    view.show();
    SyncAction sa;
    sa.setAction(SyncAction::UploadFile);
    sa.setLocalBase(m_env->home());
    sa.setPath("docs");
    sa.setName("report.txt");
    sa.setRemoteSafeName("Safe");
    sa.setExecuted(SyncAction::STATUS_OK, QString());
    view.on_syncExecutedOne(true, QString(), sa);
    auto* table = view.findChild<QTableView*>("historyTableView");
    const QRect pathCell = table->visualRect(view.model()->index(0, SyncHistoryView::ColPath));
    const QRect actionCell = table->visualRect(view.model()->index(0, SyncHistoryView::ColAction));
    QVERIFY(!view.prepareContextMenu(actionCell.center()));
    QVERIFY(view.prepareContextMenu(pathCell.center()));
    QCOMPARE(view.contextMenu()->findChild<QAction*>("showInFileManagerAction")->text(),
             QStringLiteral("Show 'report.txt' in File Manager"));
    view.contextMenu()->findChild<QAction*>("copyPathAction")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QDir::toNativeSeparators(m_env->home() + "/docs/report.txt"));
    // Signing out empties the table.
    view.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
    QCOMPARE(view.model()->rowCount(), 0);
}

QTEST_MAIN(TestSyncFolders)
#include "tst_syncfolders.moc"
