// On a real database: the synchronised-folder row (progress, warnings, the shared expiry rule),
// removal from the folders list with and without failure, the activity history (filter windows by
// run start, live progress rows with scaled bars replaced by executed rows, cell widgets in their
// rows on the screen at every turn, the throttled bar, the copied path); the storage location view
// and the folder validation with the first-run wizard and new-file-safe dialog built on them
// (proposals apart, overlaps refused, every nesting conflict asked in turn, the wizard's Finish).
#include "core/Style.h"
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/MultiSyncher.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "tests/ui/BoxAnswers.h"
#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/WizardView.h"
#include "ui/filesafe/ActivityProgressBarView.h"
#include "ui/filesafe/ActivityStatusView.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui/filesafe/DialogHelper.h"
#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui/filesafe/LocalFolderView.h"
#include "ui/filesafe/SettingsSyncSettingView.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>
#include <QWindow>
#include <QtTest>

#include <memory>

// Whether a window of another client lies over this top-level window on the X display, so that what
// the screen shows there is not ours; false off a display.
static bool coveredOnDisplay(const QWidget* window);

class TestSyncFolders : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        QDir::setCurrent(m_env->home());
        m_db.reset(new TestDatabase);
        m_db->open();
        QVERIFY(m_db->rawExec({
                "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0), (2, 'eu', 'bo<b>', 0)",
                "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, root_folder_id) VALUES (1, 1, "
                "'S1', 'Team', 'TEAMSAFE', 'rcud', 'r1'), (2, 1, 'S2', 'Team', 'TEAMSAFE', 'rcud', 'r2'), (3, 1, 'S3', "
                "'Mine', 'PRIVATE', 'rcud', 'r3'), (4, 2, 'S4', 'Bob', 'PRIVATE', 'rcud', 'r4')",
        }));
        m_db->closeRaw();
        R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
        R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
        m_syncher.reset(new MultiSyncher(nullptr, nullptr));
    }

    void cleanup()
    {
        qApp->setStyleSheet(QString());
        m_syncher.reset();
        R7Session::instance()->setUser(User());
        m_db.reset();
        m_env.reset();
    }

    void rowProgressIsThrottled()
    {
        SettingsSyncSettingView row(m_syncher.get(), true, 0, QString(), QStringLiteral("rcud"));
        ProgressInfo pi;
        pi.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
        pi.nTotal = 1000;
        pi.nDone = 1;
        row.on_syncProgress(true, pi);
        QCOMPARE(lastSync(&row), QStringLiteral("Process sync actions ... (0%)"));
        // A burst of reports repaints nothing at once; the newest text follows within the throttle.
        // Short enough to end within the throttle on a slow or instrumented build.
        for (int i = 2; i <= 600; ++i) {
            pi.nDone = i;
            row.on_syncProgress(true, pi);
        }
        QCOMPARE(lastSync(&row), QStringLiteral("Process sync actions ... (0%)"));
        QTRY_COMPARE(lastSync(&row), QStringLiteral("Process sync actions ... (60%)"));
    }

    void rowConditions_data()
    {
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("remoteState");
        QTest::addColumn<QString>("expiry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("attention");
        // No date means no expiry, for the row as for the engine.
        QTest::newRow("never synchronised") << true << 0 << "" << "-" << false;
        QTest::newRow("missing folder first") << false << 1 << "2000-01-01 00:00:00" << "Local folder does not exist anymore" << true;
        QTest::newRow("expired") << true << 0 << "2000-01-01 00:00:00" << "${APP_NAME} space is expired." << true;
        QTest::newRow("unreadable date") << true << 0 << "soon" << "${APP_NAME} space is expired." << true;
        QTest::newRow("future expiry") << true << 0 << "2999-01-01 00:00:00" << "-" << false;
        QTest::newRow("gone") << true << 1 << "" << "${APP_NAME} space does not exist anymore." << true;
    }

    void rowConditions()
    {
        QFETCH(bool, readable);
        QFETCH(int, remoteState);
        QFETCH(QString, expiry);
        QFETCH(QString, text);
        QFETCH(bool, attention);
        SettingsSyncSettingView row(m_syncher.get(), readable, remoteState, expiry, QStringLiteral("rcud"));
        row.setSafeName(QStringLiteral("<b>Team</b>"), QStringLiteral("/docs"));
        row.setLastSync(QDateTime());
        QCOMPARE(lastSync(&row), text);
        QCOMPARE(row.needsAttention(), attention);
        QCOMPARE(row.findChild<QLabel*>(QStringLiteral("fileSpaceName"))->textFormat(), Qt::PlainText);
        // The engine pauses exactly the settings the row shows as expired.
        SyncSetting setting;
        setting.setExpiryDate(expiry);
        QCOMPARE(SyncSetting::isExpired(setting.expiryDate()), !expiry.isEmpty() && !expiry.startsWith("2999"));
    }

    void deleteSetting_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("folder");
        QTest::newRow("no") << false << false << "mine";
        QTest::newRow("yes") << true << false << "mine";
        QTest::newRow("yes, removal fails") << true << true << "mine";
        QTest::newRow("no, a name with markup") << false << false << "<b>mine</b>";
    }

    void deleteSetting()
    {
        QFETCH(bool, confirm);
        QFETCH(bool, refused);
        QFETCH(QString, folder);
        addSetting("S2", m_env->home() + "/" + folder);
        FileSyncSettingsView view(&m_db->appInfo(), m_syncher.get());
        if (refused) {
            QVERIFY(m_db->rawExec({"CREATE TRIGGER keep BEFORE DELETE ON sync_setting BEGIN SELECT RAISE(ABORT, 'kept'); END"}));
            m_db->closeRaw();
        }
        QList<int> answers{confirm ? QMessageBox::Yes : QMessageBox::No};
        if (refused)
            answers << QMessageBox::Ok;
        BoxAnswers boxes(answers);
        view.findChild<QToolButton*>(QStringLiteral("deleteSettingButton"))->click();
        // The failure box follows the question; the folder's name is never read as markup in either,
        // whatever line a translation puts it on.
        QVERIFY(boxes.seen.value(0).contains("/" + folder + "/\n"));
        QVERIFY(boxes.plainText.value(0));
        if (refused)
            QVERIFY(boxes.plainText.value(1));
        QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), confirm && !refused ? 0 : 1);
    }

    // The buttons and the context menu in the two states, each reached through the view's slots.
    void folderListStates_data()
    {
        QTest::addColumn<QString>("history");
        QTest::addColumn<bool>("idle");
        QTest::newRow("idle after a run") << "started,finished" << true;
        QTest::newRow("idle after signing out") << "started,signedOut" << true;
        QTest::newRow("synchronising") << "started" << false;
        QTest::newRow("synchronising again") << "started,finished,started" << false;
    }

    void folderListStates()
    {
        QFETCH(QString, history);
        QFETCH(bool, idle);
        QVERIFY(addSetting("S2", m_env->home() + "/Projects"));
        FileSyncSettingsView view(&m_db->appInfo(), m_syncher.get());
        view.resize(650, 400);
        view.show();
        for (const QString& step : history.split(',')) {
            if (step == "started")
                view.on_syncStarted();
            else if (step == "finished")
                view.on_syncFinished(QString());
            else
                view.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        }
        for (const char* name : {"addSettingButton", "deleteSettingButton", "removeAllButton"})
            QCOMPARE(view.findChild<QToolButton*>(name)->isEnabled(), idle);
        QCOMPARE(button(&view, "syncSettingNowButton")->isEnabled(), idle);
        QCOMPARE(button(&view, "syncAllButton")->isEnabled(), idle);
        QCOMPARE(button(&view, "syncAllButton")->isVisible(), idle);
        QCOMPARE(button(&view, "cancelSyncButton")->isVisible(), !idle);

        const auto action = [&view](const char* name) { return view.findChild<QAction*>(name); };
        // On a row.
        auto* table = view.findChild<QTableView*>("tableView");
        view.prepareContextMenu(table->visualRect(table->model()->index(0, 0)).center());
        QCOMPARE(action("showAction")->text(), QString("Show 'Projects' in File Manager"));
        QVERIFY(action("showAction")->isVisible());
        QVERIFY(action("deleteAction")->isVisible());
        QCOMPARE(action("deleteAction")->isEnabled(), idle);
        QCOMPARE(action("syncAction")->isVisible(), idle);
        QCOMPARE(action("syncAction")->isEnabled(), idle);
        QCOMPARE(action("cancelAction")->isVisible(), !idle);
        QCOMPARE(action("cancelAction")->isEnabled(), !idle);
        QCOMPARE(action("addAction")->isEnabled(), idle);
        // Below the last row: only adding while idle, only cancelling while synchronising.
        view.prepareContextMenu(QPoint(5, table->viewport()->height() - 2));
        QVERIFY(!action("showAction")->isVisible());
        QVERIFY(!action("deleteAction")->isVisible());
        QVERIFY(!action("syncAction")->isVisible());
        QVERIFY(!action("syncAction")->isEnabled());
        QCOMPARE(action("cancelAction")->isVisible(), !idle);
        QCOMPARE(action("cancelAction")->isEnabled(), !idle);
        QVERIFY(action("addAction")->isVisible());
        QCOMPARE(action("addAction")->isEnabled(), idle);
    }

    void historyFilterWindows_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("fromDays");
        QTest::addColumn<int>("toDays");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("today") << 0 << 0 << 0 << QStringList{"/h/early"};
        QTest::newRow("yesterday") << 1 << 0 << 0 << QStringList{"/h/yesterday", "/h/yesterday-late"};
        QTest::newRow("range") << 3 << -6 << -4 << QStringList{"/h/old"};
    }

    void historyFilterWindows()
    {
        QFETCH(int, filter);
        QFETCH(int, fromDays);
        QFETCH(int, toDays);
        QFETCH(QStringList, expected);
        const QDateTime today(QDate::currentDate(), QTime(0, 0));
        // A run that began yesterday 23:50 counts as yesterday's, even if its objects are from today.
        addRun(1, today.addSecs(-600), "/h/yesterday-late");
        addRun(2, today.addDays(-1).addSecs(3600), "/h/yesterday");
        addRun(3, today.addSecs(1), "/h/early");
        addRun(4, today.addDays(-5), "/h/old");
        SyncHistoryView view;
        auto* combo = view.findChild<QComboBox*>("selectFilterComboBox");
        view.findChild<QDateTimeEdit*>("fromDateTimeEdit")->setDateTime(today.addDays(fromDays));
        view.findChild<QDateTimeEdit*>("toDateTimeEdit")->setDateTime(today.addDays(toDays));
        if (combo->currentIndex() == filter)
            view.findChild<QPushButton*>("refreshButton")->click();
        combo->setCurrentIndex(filter);
        QStringList shown;
        for (int r = 0; r < view.model()->rowCount(); ++r)
            shown << view.model()->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString();
        shown.sort();
        QCOMPARE(shown, expected);
    }

    void liveRows()
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
        // The executed action replaces the progress row.
        SyncAction sa;
        sa.setAction(SyncAction::DownloadFile);
        sa.setLocalBase("/local");
        sa.setName("big.iso");
        sa.setRemoteSafeName("Safe");
        sa.setExecuted(SyncAction::ERR_QUOTA_EXCEEDED, QStringLiteral("<b>full</b>"));
        view.on_syncExecutedOne(false, QString(), sa);
        QCOMPARE(view.model()->rowCount(), before + 1);
        auto* cell = qobject_cast<ActivityStatusView*>(statusWidget(view, 0));
        QVERIFY(cell);
        QVERIFY(cell->toolTip().contains("&lt;b&gt;full"));
        // A reload while the row waits for its history id (another filter during the run): the id
        // recorded afterwards finds no row of the old table.
        view.findChild<QComboBox*>("selectFilterComboBox")->setCurrentIndex(1);
        view.on_historyRecorded({{sa.tempId(), 77}});
        QCOMPARE(view.model()->findItems("77", Qt::MatchExactly, SyncHistoryView::ColId).size(), 0);
        // A cancellation reloads from the database: live rows go.
        view.on_syncCanceled();
        QCOMPARE(view.model()->rowCount(), before);
    }

    // A cell widget placed while the table still owes a layout pass (a new model at sign-in, a sort) is
    // in its cell at once, not drawn at its own size over the row's first cells until that pass; and
    // the window as one turn of the synchroniser's pump leaves it on the screen is the laid-out one,
    // no moved row's status drawn under the bar.
    void cellWidgetsTakeTheirCell_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("executed");
        QTest::newRow("bar, model set at sign-in") << "sign-in" << false;
        QTest::newRow("status view in place of the only bar") << "sign-in" << true;
        QTest::newRow("bar, after the sort of the row before") << "progress" << false;
        QTest::newRow("bar, the sort moves its row down") << "later row" << false;
        QTest::newRow("status view of a reload") << "reload" << true;
        QTest::newRow("bar over finished rows") << "finished" << false;
    }

    void cellWidgetsTakeTheirCell()
    {
        QFETCH(QString, before);
        QFETCH(bool, executed);
        // Its object is dated ahead of the live rows. Its run began ten minutes ago, yesterday if now
        // is just after midnight: the last hour shows it at any time of day.
        addRun(1, QDateTime::currentDateTime().addSecs(-600), "/h/ahead");
        SyncHistoryView view;
        view.findChild<QComboBox*>("selectFilterComboBox")->setCurrentIndex(2);
        // In the screen's far corner: the windows of other tests on the display open near the origin
        // or in the middle.
        const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
        view.setGeometry(QRect(desk.bottomRight() - QPoint(762, 379), QSize(763, 380)));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        ProgressInfo pi;
        if (before == "sign-in") {
            view.on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        } else if (before == "reload") {
            QVERIFY(m_db->rawExec({"INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, type, "
                                   "state, action, timestamp) VALUES (1, '/local/second.bin', 's', 'f', 21, 6, 0)"}));
            view.updateModel();
        } else if (before == "finished") {
            // Rows of this run, one with a status view, laid out and drawn before the transfer.
            for (const char* name : {"done.txt", "skipped.txt"}) {
                SyncAction sa;
                sa.setAction(SyncAction::DownloadFile);
                sa.setLocalBase("/local");
                sa.setName(name);
                sa.setRemoteSafeName("Safe");
                sa.setExecuted(name[0] == 'd' ? SyncAction::STATUS_OK : SyncAction::WARN_SKIPPED, QString());
                view.on_syncExecutedOne(true, QString(), sa);
            }
            settle(view);
        } else {
            transfer(pi, "first.bin", 1, 10, 100);
            view.on_syncProgress(true, pi);
            if (before == "later row")
                view.model()->setData(view.model()->index(1, SyncHistoryView::ColTime),
                                      QDateTime::currentDateTime().addDays(1));
        }
        transfer(pi, "second.bin", 2, 50, 100);
        if (before != "reload")
            view.on_syncProgress(true, pi);
        if (executed && before != "reload") {
            SyncAction sa;
            sa.setAction(SyncAction::DownloadFile);
            sa.setLocalBase("/local");
            sa.setName("second.bin");
            sa.setExecuted(SyncAction::WARN_SKIPPED, QString());
            view.on_syncExecutedOne(false, QString(), sa);
        }
        const QModelIndexList found = view.model()->match(view.model()->index(0, SyncHistoryView::ColPath),
                                                          SyncHistoryView::LocalPathRole, "/local/second.bin", -1);
        QCOMPARE(found.size(), 1);
        const int row = found.first().row();
        auto* table = view.findChild<QTableView*>("historyTableView");
        QWidget* widget = table->indexWidget(view.model()->index(row, SyncHistoryView::ColStatus));
        QVERIFY(executed ? bool(qobject_cast<ActivityStatusView*>(widget))
                         : bool(qobject_cast<ActivityProgressBarView*>(widget)));
        const QRect placed = widget->geometry();
        // One turn of the synchroniser's pump: what the window shows then, read back from the screen.
        bool covered = coveredOnDisplay(&view);
        QCoreApplication::processEvents();
        const QImage shown = onScreen(table);
        QVERIFY(!shown.isNull());
        covered = covered || coveredOnDisplay(&view);
        // Where the table's own pass leaves it, inside the "Status" cell.
        settle(view);
        QCOMPARE(placed, widget->geometry());
        const QImage laidOut = onScreen(table);
        const QRect cell(table->columnViewportPosition(SyncHistoryView::ColStatus), table->rowViewportPosition(row),
                         table->columnWidth(SyncHistoryView::ColStatus), table->rowHeight(row));
        QCOMPARE(cell.united(placed), cell);
        // Where another test's window lay over the history on the shared display, the screen tells nothing.
        if (covered || coveredOnDisplay(&view))
            QSKIP("Another window covers the history");
        if (shown != laidOut) {
            const QDir beside(QCoreApplication::applicationDirPath());
            shown.save(beside.filePath("cellWidgetsTakeTheirCell-shown.png"));
            laidOut.save(beside.filePath("cellWidgetsTakeTheirCell-laidout.png"));
        }
        QVERIFY2(shown == laidOut, "the turn's screen differs from the laid-out one");
    }

    void historyTimeHasSeconds_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("German") << "de_DE" << R"(^\d\d\.\d\d\.\d\d 00:11:41$)";
        QTest::newRow("English") << "en_US" << R"(^\d{1,2}/\d{1,2}/\d\d 12:11:41 AM$)";
    }

    void historyTimeHasSeconds()
    {
        QFETCH(QString, locale);
        QFETCH(QString, pattern);
        addRun(1, QDateTime(QDate::currentDate(), QTime(0, 0, 1)), "/h/seconds");
        SyncHistoryView view;
        view.setLocale(QLocale(locale));
        view.updateModel();
        auto* table = view.findChild<QTableView*>("historyTableView");
        QCOMPARE(view.model()->rowCount(), 1);
        const QModelIndex time = view.model()->index(0, SyncHistoryView::ColTime);
        QCOMPARE(time.data().userType(), int(QMetaType::QDateTime));
        auto* delegate = qobject_cast<QStyledItemDelegate*>(table->itemDelegate(time));
        QVERIFY(delegate);
        const QString shown = delegate->displayText(time.data(), table->locale());
        QVERIFY2(QRegularExpression(pattern).match(shown).hasMatch(), qPrintable(shown));
        // The columns keep their size modes.
        const QHeaderView* header = table->horizontalHeader();
        const QList<QHeaderView::ResizeMode> modes{QHeaderView::ResizeToContents, QHeaderView::ResizeToContents,
                                                    QHeaderView::Stretch, QHeaderView::Fixed,
                                                    QHeaderView::ResizeToContents};
        for (int c = 0; c < modes.size(); ++c)
            QCOMPARE(header->sectionResizeMode(c), modes.at(c));
    }

    void narrowCellsElide_data()
    {
        QTest::addColumn<int>("status"); // 0: a folder row
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("safeName");
        QTest::newRow("status skipped") << int(SyncAction::WARN_SKIPPED) << QStringList{"statusLabel"} << "";
        QTest::newRow("status quota exceeded") << int(SyncAction::ERR_QUOTA_EXCEEDED) << QStringList{"statusLabel"}
                                               << "";
        QTest::newRow("folder row") << 0 << QStringList{"fileSpaceName", "lastSyncDate"} << "Team Alpha";
        // The service names the safe: its tool tip shows the name, not a heading drawn from it.
        QTest::newRow("folder row, markup in the safe's name")
                << 0 << QStringList{"fileSpaceName"} << "<h1 style='color:red'>Session expired</h1>";
    }

    // Cells narrower than their texts, as at the main window's first size: the texts end in an
    // ellipsis and show whole, as they stand, as tool tip; a status keeps its help button at 20 x 20.
    void narrowCellsElide()
    {
        QFETCH(int, status);
        QFETCH(QStringList, labels);
        QFETCH(QString, safeName);
        // The brand's style: its rule for the help button once let the button shrink to its letter.
        AppInfo& info = m_db->appInfo();
        info.brandKey = QStringLiteral("varnel");
        applyBrandStyle(qApp, &info);
        std::unique_ptr<QWidget> cell;
        if (status) {
            auto* view = new ActivityStatusView;
            view->setStatus(status, QString());
            cell.reset(view);
        } else {
            // Without "r" the status line reads "Insufficient permissions".
            auto* row = new SettingsSyncSettingView(m_syncher.get(), true, 0, QString(), QStringLiteral("cud"));
            row->setSafeName(safeName, QStringLiteral("/Projects"));
            row->setLastSync(QDateTime());
            cell.reset(row);
        }
        cell->resize(status ? 70 : 110, status ? 30 : 51);
        cell->show();
        QVERIFY(QTest::qWaitForWindowExposed(cell.get()));
        if (status)
            QCOMPARE(cell->findChild<QPushButton*>(QStringLiteral("infoButton"))->size(), QSize(20, 20));
        // What the tool tip draws, as its automatic format reads the text.
        const auto tipReads = [] {
            if (!Qt::mightBeRichText(QToolTip::text()))
                return QToolTip::text();
            QTextDocument tip;
            tip.setHtml(QToolTip::text());
            return tip.toPlainText();
        };
        for (const QString& name : labels) {
            auto* label = cell->findChild<QLabel*>(name);
            const QString shown = label->property("elidedText").toString();
            QVERIFY2(shown.endsWith(QChar(0x2026)) && label->text().startsWith(shown.chopped(1)),
                     qPrintable(name + ": " + shown));
            QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
            QCoreApplication::sendEvent(label, &hover);
            QTRY_VERIFY(!QToolTip::text().isEmpty());
            QCOMPARE(tipReads(), label->text());
            QToolTip::hideText();
        }
    }

    void barIsThrottled()
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

    // What one transfer's bar shows (percent), from the report that announces the action on, report by
    // report.
    void barFollowsItsTransfer_data()
    {
        QTest::addColumn<QList<qint64>>("held");    // sent, total of the report that announces the action
        QTest::addColumn<QList<qint64>>("reports"); // sent, total of each report of the transfer
        QTest::addColumn<QList<int>>("shown");
        const qint64 mb = 1024 * 1024;
        // The network layer sends the body again after the connection broke: the bar shows it.
        QTest::newRow("body sent again after a broken connection")
                << QList<qint64>{0, 200 * mb} << QList<qint64>{100 * mb, 200 * mb, 2 * mb, 200 * mb, 200 * mb, 200 * mb}
                << QList<int>{0, 50, 1, 100};
    }

    void barFollowsItsTransfer()
    {
        QFETCH(QList<qint64>, held);
        QFETCH(QList<qint64>, reports);
        QFETCH(QList<int>, shown);
        SyncHistoryView view;
        ProgressInfo pi;
        transfer(pi, "b.bin", 1, held.at(0), held.at(1));
        pi.actionType = SyncAction::UploadFile;
        pi.action.setAction(SyncAction::UploadFile);
        pi.action.setLocalBase("/local");
        pi.action.setName("b.bin");
        pi.action.setRemoteSafeName("Safe");
        pi.action.setLocalSize(200 * 1024 * 1024);
        for (int i = 0; i < shown.size(); ++i) {
            if (i > 0) {
                // The request is under way.
                pi.action.setExecuting(true);
                pi.bytesDone = reports.at(2 * i - 2);
                pi.bytesTotal = reports.at(2 * i - 1);
            }
            view.on_syncProgress(true, pi);
            QCOMPARE(view.model()->rowCount(), 1);
            auto* bar = qobject_cast<ActivityProgressBarView*>(statusWidget(view, 0));
            QVERIFY(bar);
            const QProgressBar* drawn = bar->progressBar();
            QTRY_COMPARE(drawn->maximum() > 0 ? int(qint64(drawn->value()) * 100 / drawn->maximum()) : -1, shown.at(i));
        }
    }

    void copyPath()
    {
        SyncHistoryView view;
        view.resize(763, 380);
        view.show();
        SyncAction sa;
        sa.setAction(SyncAction::UploadFile);
        sa.setLocalBase(m_env->home());
        sa.setPath("docs");
        sa.setName("report.txt");
        sa.setExecuted(SyncAction::STATUS_OK, QString());
        view.on_syncExecutedOne(true, QString(), sa);
        auto* table = view.findChild<QTableView*>("historyTableView");
        QVERIFY(view.prepareContextMenu(table->visualRect(view.model()->index(0, SyncHistoryView::ColPath)).center()));
        view.contextMenu()->findChild<QAction*>("copyPathAction")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QDir::toNativeSeparators(m_env->home() + "/docs/report.txt"));
    }

    void proposalsAndRebuild()
    {
        AdvancedStorageLocationView view(&m_db->appInfo(), 74);
        view.updateDefaultFolderText(base());
        view.setFileSafes(safes());
        QCOMPARE(view.rowCount(), 3);
        QStringList folders;
        for (int r = 0; r < 3; ++r)
            folders << view.rowFolder(r)->path();
        // Two safes named "Team" never share a folder.
        QCOMPARE(QSet<QString>(folders.begin(), folders.end()).size(), 3);
        view.updateDefaultFolderText(m_env->home() + "/other/");
        QVERIFY(view.rowFolder(1)->path().startsWith(m_env->home() + "/other/"));
        // Created for the checked rows only.
        view.rowCheckBox(1)->click();
        QCOMPARE(view.createSyncSettings(true), 2);
        QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), 2);
    }

    void folderCannotBeCreated()
    {
        QFile blocker(m_env->home() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        AdvancedStorageLocationView view(&m_db->appInfo(), 74);
        view.updateDefaultFolderText(m_env->home() + "/file");
        view.setFileSafes(safes());
        BoxAnswers boxes({QMessageBox::Ok});
        QCOMPARE(view.createSyncSettings(false), 0);
        QCOMPARE(boxes.titles(), QStringList{"Info"});
        QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), 0);
    }

    void overlapsRefused()
    {
        // Another account already synchronises the folder proposed for the second row's safe.
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_setting (file_safe_id, remote_dir, root_folder_id, local_dir, "
                                       "mode, remote_state, last_sync) VALUES (4, '/', 'r', '%1/Mine/', 1, 0, 0)")
                                       .arg(base())}));
        m_db->closeRaw();
        AdvancedStorageLocationView view(&m_db->appInfo(), 74);
        view.updateDefaultFolderText(base());
        view.setFileSafes(safes());
        // The second row nests inside the first: refused once the first is stored.
        view.rowFolder(1)->setFolderPath(base() + "/Team/inner");
        BoxAnswers boxes({QMessageBox::Ok, QMessageBox::Ok});
        QCOMPARE(view.createSyncSettings(true), 1);
        QCOMPARE(boxes.titles(), (QStringList{"Info", "Info"}));
        const QList<SyncSetting> stored = SyncSettingsDao::instance()->getList(true, false);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(QDir::cleanPath(stored.first().localDir()), base() + "/Team");
        QVERIFY(!QDir(base() + "/Team/inner").exists());
    }

    void chosenFolderRowTests()
    {
        AdvancedStorageLocationView view(&m_db->appInfo(), 74);
        view.updateDefaultFolderText(base());
        view.setFileSafes(safes());
        LocalFolderView* cell = view.rowFolder(2);
        const QString before = cell->path();
        BoxAnswers boxes({QMessageBox::Ok, QMessageBox::Ok});
        QVERIFY(!cell->acceptChosenFolder(view.rowFolder(0)->path()));
        QVERIFY(!cell->acceptChosenFolder(view.rowFolder(0)->path() + "/sub"));
        QCOMPARE(boxes.titles(), (QStringList{"Duplicate local folder", "Already synchronized folder"}));
        QCOMPARE(cell->path(), before);
        // Its own folder's subfolder is no clash with another safe.
        QVERIFY(cell->acceptChosenFolder(before + "/sub"));
        QCOMPARE(cell->path(), before + "/sub");
    }

    void validateFolder_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("left");
        const int yes = QMessageBox::Yes;
        const int no = QMessageBox::No;
        QTest::newRow("both replaced, folder made") << QList<int>{yes, yes, yes}
                                                    << QStringList{"Folder already used!", "Folder already used!", "Info"}
                                                    << true << 0;
        QTest::newRow("second kept") << QList<int>{yes, no} << QStringList{"Folder already used!", "Folder already used!"}
                                     << false << 1;
        QTest::newRow("folder not made") << QList<int>{yes, yes, no}
                                         << QStringList{"Folder already used!", "Folder already used!", "Info"} << false << 0;
    }

    void validateFolder()
    {
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, titles);
        QFETCH(bool, accepted);
        QFETCH(int, left);
        const QString chosen = base() + "/new";
        QVERIFY(addSetting("S1", chosen + "/a"));
        QVERIFY(addSetting("S3", chosen + "/b"));
        QVERIFY(QDir(chosen).removeRecursively());
        BoxAnswers boxes(answers);
        const QString answer = DialogHelper(&m_db->appInfo()).validateFolder(nullptr, chosen);
        QCOMPARE(boxes.titles(), titles);
        QCOMPARE(answer, accepted ? chosen : QString());
        QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), left);
        QCOMPARE(QDir(chosen).exists(), accepted);
    }

    void defaultFolderRefused()
    {
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_setting (file_safe_id, remote_dir, root_folder_id, local_dir, "
                                       "mode, remote_state, last_sync) VALUES (4, '/', 'r', '%1/bob/', 1, 0, 0)")
                                       .arg(base())}));
        m_db->closeRaw();
        BoxAnswers boxes({QMessageBox::Ok});
        QCOMPARE(DialogHelper(&m_db->appInfo()).validateDefaultFolder(nullptr, base()), QString());
        QCOMPARE(boxes.titles(), QStringList{"Folder already synchronized"});
        QVERIFY(boxes.seen.first().contains("bo&lt;b&gt;"));
    }

    void wizardFinish_data()
    {
        QTest::addColumn<bool>("autoSync");
        QTest::addColumn<bool>("autoStart");
        QTest::addColumn<bool>("withSafes");
        QTest::newRow("automatic, start at login") << true << true << true;
        QTest::newRow("manual, no start") << false << false << true;
        QTest::newRow("no safes at all") << true << true << false;
    }

    void wizardFinish()
    {
        QFETCH(bool, autoSync);
        QFETCH(bool, autoStart);
        QFETCH(bool, withSafes);
        if (!withSafes) {
            QVERIFY(m_db->rawExec({"DELETE FROM file_safe"}));
            m_db->closeRaw();
        }
        FileSafeDao dao(&m_db->appInfo(), nullptr);
        auto* wizard = new WizardView(&dao, &m_db->appInfo());
        wizard->reloadFileSafes();
        QSignalSpy finished(wizard, &WizardView::wizardFinished);
        // Its owner may delete it on this signal, inside the Finish click: nothing may touch it after.
        connect(wizard, &WizardView::wizardFinished, wizard, [wizard] { delete wizard; });
        for (int i = 0; i < 4; ++i)
            button(wizard, "nextButton")->click();
        wizard->findChild<QCheckBox*>("autoSyncCheckBox")->setChecked(autoSync);
        wizard->findChild<QCheckBox*>("autoStartCheckBox")->setChecked(autoStart);
        button(wizard, "finishButton")->click();
        QCOMPARE(finished.count(), 1);
        const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
        QCOMPARE(settings.size(), withSafes ? 3 : 0);
        for (const SyncSetting& s : settings)
            QCOMPARE(s.mode(), autoSync ? 0 : 1);
        // The XDG autostart entry under the test's own configuration folder.
        const QDir autostart(m_env->configHome() + "/autostart");
        QCOMPARE(!autostart.entryList(QStringList{"*.desktop"}, QDir::Files).isEmpty(), autoStart);
    }

    // The wizard's pictures: each after the paragraph that speaks of it, in both languages, loaded
    // from the resources, and the page still shows all of its text at the wizard's size.
    void wizardPictures_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<int>("after");
        QTest::addColumn<bool>("centred");
        const struct
        {
            int page;
            const char* picture;
            int after; // paragraphs before it, the heading counted
            bool centred;
        } rows[] = {{1, "wiz_page1_marked_folders.png", 3, true}, {3, "wiz_page3_menubar_icon.png", 2, false},
                    {3, "wiz_page3_tab_settings.png", 4, false},  {3, "wiz_page3_tab_activity.png", 6, false},
                    {4, "wiz_page4_pwdsafe_view.png", 2, false},  {5, "wiz_page5_client_apps.png", 2, true}};
        for (const bool german : {false, true})
            for (const auto& row : rows)
                QTest::addRow("%s %s", german ? "German" : "English", row.picture)
                        << german << row.page << QString::fromLatin1(row.picture) << row.after << row.centred;
    }

    void wizardPictures()
    {
        QFETCH(bool, german);
        QFETCH(int, page);
        QFETCH(QString, picture);
        QFETCH(int, after);
        QFETCH(bool, centred);
        QTranslator translator;
        if (german) {
            QVERIFY(translator.load(QStringLiteral(":/trl/r7trl_de.qm")));
            QCoreApplication::installTranslator(&translator);
        }
        FileSafeDao dao(&m_db->appInfo(), nullptr);
        WizardView wizard(&dao, &m_db->appInfo());
        QCoreApplication::removeTranslator(&translator);
        const QString path = QStringLiteral(":/res/wizard/") + picture;
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        auto* label = wizard.findChild<QLabel*>(QStringLiteral("wizPage%1ContentLabel").arg(page));
        QVERIFY(label);
        const QString text = label->text();
        const QString image = QStringLiteral("<img src=\"%1\"/>").arg(path);
        const int at = text.indexOf(image);
        QVERIFY2(at > 0, qPrintable(text));
        QCOMPARE(text.left(at).count(QStringLiteral("</p>")), after);
        QCOMPARE(text.left(at).endsWith(QStringLiteral("<p align=\"center\">")), centred);

        // The page of the main window at its first size of 800 x 600, which the wizard does not widen.
        wizard.findChild<QStackedWidget*>(QStringLiteral("wizViewStack"))->setCurrentIndex(page - 1);
        wizard.resize(800, 574);
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        QCOMPARE(wizard.size(), QSize(800, 574));
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                 qPrintable(QStringLiteral("%1 of %2 pixels shown")
                                    .arg(label->height())
                                    .arg(label->heightForWidth(label->width()))));
    }

    // The maker's wizard shows its shield once, at the top centre, behind the pages.
    void wizardBackground()
    {
        AppInfo& info = m_db->appInfo();
        info.brandKey = QStringLiteral("varnel");
        applyBrandStyle(qApp, &info);
        const QImage shield(QStringLiteral(":/res/varnel/tessarvale_shield_background_465x339.png"));
        QCOMPARE(shield.size(), QSize(465, 339));
        FileSafeDao dao(&info, nullptr);
        WizardView wizard(&dao, &info);
        wizard.findChild<QStackedWidget*>(QStringLiteral("wizViewStack"))->hide();
        wizard.resize(800, 574);
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        const QImage with = wizard.grab().toImage();
        wizard.setStyleSheet(QStringLiteral("WizardView { background-image: url(); }"));
        const QImage without = wizard.grab().toImage();
        QRect drawn;
        for (int y = 0; y < with.height(); ++y)
            for (int x = 0; x < with.width(); ++x)
                if (with.pixel(x, y) != without.pixel(x, y))
                    drawn |= QRect(x, y, 1, 1);
        const QRect placed(QPoint((wizard.width() - shield.width()) / 2, 0), shield.size());
        QString where;
        QDebug(&where) << drawn << "in" << placed;
        QVERIFY2(placed.contains(drawn) && drawn.top() < 10 && qAbs(drawn.center().x() - placed.center().x()) <= 1,
                 qPrintable(where));
    }

    void newFileSafeDialog()
    {
        FileSafeDao dao(&m_db->appInfo(), nullptr);
        NewFileSafeAvailableDialog dialog(&m_db->appInfo());
        dialog.setFileSafes(dao.list());
        dialog.show();
        // The base folder is the product name, relative to the home folder the client works in.
        const QString product = QString::fromUtf8(m_db->appInfo().productName);
        button(&dialog, "saveButton")->click();
        const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
        QCOMPARE(settings.size(), 3);
        for (const SyncSetting& s : settings)
            QVERIFY(s.localDir().startsWith(m_env->home() + "/" + product + "/"));
    }

private:
    bool addSetting(const QString& safeId, const QString& dir)
    {
        QDir().mkpath(dir);
        SyncSetting setting;
        setting.setSafeId(safeId);
        setting.setLocalDir(dir);
        setting.setRemoteDir("/");
        setting.setRootFolderId("root-" + safeId);
        return SyncSettingsDao::instance()->add(setting);
    }

    QList<FilesafeTO_v2> safes() const
    {
        QList<FilesafeTO_v2> out;
        for (const auto& [id, name, type] : {std::make_tuple("S1", "Team", "TEAMSAFE"), std::make_tuple("S2", "Team", "TEAMSAFE"),
                                             std::make_tuple("S3", "Mine", "PRIVATE")}) {
            FilesafeTO_v2 s;
            s.safeId = id;
            s.name = name;
            s.type = type;
            s.rootFolderId = QStringLiteral("root-") + id;
            out << s;
        }
        return out;
    }

    QString base() const { return m_env->home() + "/base"; }
    static QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(QLatin1String(name)); }
    static QString lastSync(QWidget* row) { return row->findChild<QLabel*>(QStringLiteral("lastSyncDate"))->text(); }

    void addRun(qint64 id, const QDateTime& start, const QString& path)
    {
        QVERIFY(m_db->rawExec({
                QString("INSERT INTO sync_history (id, start_time, end_time, state, user_id) VALUES (%1, %2, %2, 1, 1)")
                        .arg(id)
                        .arg(start.toMSecsSinceEpoch()),
                QString("INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, type, state, action, "
                        "timestamp) VALUES (%1, '%2', 'Safe: %2', 'f', 1, 6, %3)")
                        .arg(id)
                        .arg(path)
                        .arg(start.addSecs(700).toMSecsSinceEpoch()),
        }));
    }

    // Until the layout pass the table owes (a timer of no delay started before this one) has run and
    // what it changed is drawn.
    static void settle(QWidget& view)
    {
        QTimer marker;
        marker.setSingleShot(true);
        bool passed = false;
        QObject::connect(&marker, &QTimer::timeout, &view, [&passed] { passed = true; });
        marker.start(0);
        QTRY_VERIFY(passed);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    // The widget's pixels as the screen holds them: on a display, the X server's.
    static QImage onScreen(QWidget* widget)
    {
        QWidget* window = widget->window();
        const QPoint at = widget->mapTo(window, QPoint(0, 0));
        return window->windowHandle()->screen()->grabWindow(window->winId(), at.x(), at.y(), widget->width(),
                                                            widget->height()).toImage();
    }

    QWidget* statusWidget(SyncHistoryView& view, int row) const
    {
        auto* table = view.findChild<QTableView*>("historyTableView");
        return table->indexWidget(view.model()->index(row, SyncHistoryView::ColStatus));
    }

    static void transfer(ProgressInfo& pi, const QString& name, int executed, qint64 done, qint64 total)
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

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<MultiSyncher> m_syncher;
};

QTEST_MAIN(TestSyncFolders)
#include "tst_syncfolders.moc"

// Xlib last: its macros (None, Bool, Status, KeyPress) would replace names in Qt's headers.
#include <X11/Xlib.h>

static bool coveredOnDisplay(const QWidget* window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    // A window that goes while it is asked about answers with an error, which must not end the test.
    const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const Window root = DefaultRootWindow(display);
    Window rootFound = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    // Ours among the root's children: the window itself, or a window manager's frame round it.
    Window top = Window(window->winId());
    while (XQueryTree(display, top, &rootFound, &parent, &children, &count)) {
        if (children)
            XFree(children);
        children = nullptr;
        if (parent == root || !parent)
            break;
        top = parent;
    }
    bool covered = false;
    XWindowAttributes ours;
    if (XGetWindowAttributes(display, top, &ours)
        && XQueryTree(display, root, &rootFound, &parent, &children, &count)) {
        const QRect mine(ours.x, ours.y, ours.width, ours.height);
        bool above = false; // the children come bottom first
        for (unsigned i = 0; i < count && !covered; ++i) {
            XWindowAttributes other;
            if (children[i] == top)
                above = true;
            else if (above && XGetWindowAttributes(display, children[i], &other) && other.map_state == IsViewable)
                covered = QRect(other.x, other.y, other.width, other.height).intersects(mine);
        }
        if (children)
            XFree(children);
    }
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return covered;
}
