// The synchronised-folder row (phases, warnings, the shared expiry rule, start and reset) and the
// folders list (details, buttons, menu states, removal with and without failure) on a real database.
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/MultiSyncher.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/filesafe/ActivityProgressBarView.h"
#include "ui/filesafe/ActivityStatusView.h"
#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui/filesafe/SettingsSyncSettingView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
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
    void listDetails();
    void listButtonsAndMenu();
    void listAutoSyncWritesMode();
    void deleteSetting_data();
    void deleteSetting();
    void statusCell_data();
    void statusCell();
    void progressBarScalesLargeFiles_data();
    void progressBarScalesLargeFiles();

private:
    qint64 addSetting(const QString& safeId, const QString& dir, const QString& remoteDir = QStringLiteral("/"));
    static QString lastSync(QWidget* row) { return row->findChild<QLabel*>(QStringLiteral("lastSyncDate"))->text(); }
    // Clicks a button of the next modal box as soon as it opens.
    static void answerNextBox(QMessageBox::StandardButton button)
    {
        QTimer::singleShot(0, [button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->button(button)->click();
        });
    }

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
    row.setSpaceType(QStringLiteral("TEAMSAFE"), true);
    row.setLastSync(QDateTime());
    SyncSetting own;
    own.setId(5);
    SyncSetting other;
    other.setId(6);
    emit m_syncher->startSyncSafe(own);
    QVERIFY(row.isSyncing());
    auto* status = row.findChild<QLabel*>(QStringLiteral("lastSyncDate"));
    QVERIFY(status->font().bold());
    ProgressInfo pi;
    pi.activity = ProgressInfo::Activity_BuildSyncActions_Started;
    emit m_syncher->syncProgress(true, pi);
    QCOMPARE(status->text(), QStringLiteral("Build sync actions ..."));
    // The next setting of the run returns this row to idle with the end time.
    emit m_syncher->startSyncSafe(other);
    QVERIFY(!row.isSyncing());
    QVERIFY(!status->font().bold());
    QVERIFY(status->text() != QLatin1String("-") && !status->text().contains(QLatin1String("...")));
    // Reset dropped the run's connections: progress of another setting does not reach the row.
    const QString ended = status->text();
    emit m_syncher->syncProgress(true, pi);
    QCOMPARE(status->text(), ended);
    // A cancelled run returns a running row to idle too.
    emit m_syncher->startSyncSafe(own);
    QVERIFY(row.isSyncing());
    emit m_syncher->syncCanceled();
    QVERIFY(!row.isSyncing());
}

void TestSyncFolders::listDetails()
{
    const QString base = m_env->home();
    const qint64 team = addSetting("S1", base + "/team", "/docs");
    const qint64 mine = addSetting("S2", base + "/mine");
    QVERIFY(team && mine);
    FileSyncSettingsView view(&m_db->appInfo(), m_syncher.get());
    connect(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged, &view,
            &FileSyncSettingsView::on_syncSettingsDataChanged);
    auto* table = view.findChild<QTableView*>(QStringLiteral("tableView"));
    QCOMPARE(table->model()->rowCount(), 2);
    // Sorted by safe name: "Mine" first, and selected.
    QCOMPARE(view.selectedRow(), 0);
    // Never synchronised: stored as 0, shown as "-".
    QCOMPARE(lastSync(table->indexWidget(table->model()->index(0, 0))), QStringLiteral("-"));
    auto* local = view.findChild<QLabel*>(QStringLiteral("localFolderLabel"));
    QCOMPARE(local->text(), QDir::toNativeSeparators(base + "/mine/"));
    QVERIFY(view.findChild<QLabel*>(QStringLiteral("remoteFolderLabel"))->isHidden());
    QVERIFY(view.findChild<QLabel*>(QStringLiteral("roleValue"))->isHidden());
    view.selectSetting(int(team));
    QCOMPARE(view.selectedRow(), 1);
    QVERIFY(!view.findChild<QLabel*>(QStringLiteral("remoteFolderLabel"))->isHidden());
    QCOMPARE(view.findChild<QLabel*>(QStringLiteral("roleValue"))->text(), QStringLiteral("Editor"));
    // A reload keeps the selection.
    addSetting("S2", base + "/other");
    QCOMPARE(table->model()->rowCount(), 3);
    QCOMPARE(table->model()->index(view.selectedRow(), 0).data(FileSyncSettingsView::IdRole).toLongLong(), team);
    // A vanished folder is still listed, in red.
    QVERIFY(QDir(base + "/team").removeRecursively());
    view.on_syncSettingsDataChanged();
    view.selectSetting(int(team));
    QVERIFY(local->styleSheet().contains(QLatin1String("red")));
}

void TestSyncFolders::listButtonsAndMenu()
{
    addSetting("S2", m_env->home() + "/mine");
    FileSyncSettingsView view(&m_db->appInfo(), m_syncher.get());
    view.resize(650, 400);
    auto* syncAll = view.findChild<QPushButton*>(QStringLiteral("syncAllButton"));
    auto* cancel = view.findChild<QPushButton*>(QStringLiteral("cancelSyncButton"));
    auto* add = view.findChild<QToolButton*>(QStringLiteral("addSettingButton"));
    QSignalSpy one(&view, &FileSyncSettingsView::syncOneRequested);
    QSignalSpy all(&view, &FileSyncSettingsView::syncAllRequested);
    QSignalSpy stop(&view, &FileSyncSettingsView::cancelRequested);
    view.findChild<QPushButton*>(QStringLiteral("syncSettingNowButton"))->click();
    QCOMPARE(one.count(), 1);
    syncAll->click();
    QCOMPARE(all.count(), 1);

    view.on_syncStarted();
    QVERIFY(syncAll->isHidden() && !syncAll->isEnabled() && !cancel->isHidden() && !add->isEnabled());
    cancel->click();
    QCOMPARE(stop.count(), 1);
    auto* menu = view.contextMenu();
    auto action = [menu](const char* name) { return menu->findChild<QAction*>(QLatin1String(name)); };
    // Below the last row while synchronising: cancel, and a disabled add.
    view.prepareContextMenu(QPoint(5, 390));
    QVERIFY(action("cancelAction")->isVisible() && action("cancelAction")->isEnabled());
    QVERIFY(!action("addAction")->isEnabled() && !action("syncAction")->isVisible());
    QVERIFY(!action("deleteAction")->isVisible() && !action("showAction")->isVisible());
    view.on_syncFinished(QString());
    QVERIFY(!syncAll->isHidden() && cancel->isHidden() && add->isEnabled());
    // On the row while idle: sync, show named after the folder, delete.
    view.prepareContextMenu(QPoint(5, 30));
    QVERIFY(action("syncAction")->isVisible() && action("deleteAction")->isVisible());
    QVERIFY(!action("cancelAction")->isVisible());
    QCOMPARE(action("showAction")->text(), QStringLiteral("Show 'mine' in File Manager"));
}

void TestSyncFolders::listAutoSyncWritesMode()
{
    const qint64 id = addSetting("S2", m_env->home() + "/mine");
    FileSyncSettingsView view(&m_db->appInfo(), m_syncher.get());
    auto* box = view.findChild<QCheckBox*>(QStringLiteral("autoSyncCheckBox"));
    QVERIFY(!box->isChecked());
    QCOMPARE(SyncSettingsDao::instance()->get(id).mode(), 1);
    box->setChecked(true);
    QCOMPARE(SyncSettingsDao::instance()->get(id).mode(), 0);
    QVERIFY(box->isChecked());
    box->setChecked(false);
    QCOMPARE(SyncSettingsDao::instance()->get(id).mode(), 1);
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
    bool warned = false;
    answerNextBox(confirm ? QMessageBox::Yes : QMessageBox::No);
    if (refused) {
        // The failure box follows the question.
        QTimer::singleShot(50, [&warned] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            // The folder's name is shown as it is, never read as markup.
            warned = box->windowTitle() == QLatin1String("Unable to remove sync folder")
                    && box->textFormat() == Qt::PlainText;
            box->button(QMessageBox::Ok)->click();
        });
    }
    view.findChild<QToolButton*>(QStringLiteral("deleteSettingButton"))->click();
    QCOMPARE(warned, refused);
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

QTEST_MAIN(TestSyncFolders)
#include "tst_syncfolders.moc"
