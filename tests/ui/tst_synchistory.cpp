// The activity history on a real database: the filter windows by run start, colours and status
// cells, live progress rows with scaled bars and their replacement by executed rows, the
// throttled bar, the context menu and the clipboard.
#include "db/User.h"
#include "net/R7Session.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/filesafe/ActivityProgressBarView.h"
#include "ui/filesafe/ActivityStatusView.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

class TestSyncHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void filterWindows_data();
    void filterWindows();
    void coloursAndStatusCells();
    void liveRows();
    void barIsThrottled();
    void buttonsAndMenu();

private:
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
};

void TestSyncHistory::initTestCase()
{
    m_env.reset(new TestEnv);
    m_db.reset(new TestDatabase);
    m_db->open();
    QVERIFY(m_db->rawExec({"INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0)"}));
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
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

void TestSyncHistory::addRun(qint64 id, const QDateTime& start, const QString& path, int state, int action)
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

QStringList TestSyncHistory::paths(SyncHistoryView& view) const
{
    QStringList out;
    for (int r = 0; r < view.model()->rowCount(); ++r)
        out << view.model()->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString();
    out.sort();
    return out;
}

void TestSyncHistory::filterWindows_data()
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

void TestSyncHistory::filterWindows()
{
    QFETCH(int, filter);
    QFETCH(int, fromDays);
    QFETCH(int, toDays);
    QFETCH(QStringList, expected);
    if (filter == 2 && QTime::currentTime() < QTime(1, 1))
        QSKIP("the run at 00:00:01 is still within the last hour");
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

void TestSyncHistory::coloursAndStatusCells()
{
    SyncHistoryView view;
    view.findChild<QComboBox*>("selectFilterComboBox")->setCurrentIndex(2);
    view.findChild<QComboBox*>("selectFilterComboBox")->setCurrentIndex(0);
    QStandardItemModel* model = view.model();
    for (int r = 0; r < model->rowCount(); ++r) {
        const QString path = model->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString();
        const QColor fg = model->item(r, SyncHistoryView::ColStatus)->foreground().color();
        auto* cell = qobject_cast<ActivityStatusView*>(statusWidget(view, r));
        if (path == "/h/half-hour") {
            QCOMPARE(fg, QColor(Qt::red));
            QVERIFY(cell);
        } else {
            // 100 is bold but keeps the default colour.
            QVERIFY(fg != QColor(Qt::red) && fg != QColor("#F37F32"));
            QVERIFY(cell);
        }
    }
    QList<QStandardItem*> warn = SyncHistoryView::makeHistoryRow(1, 6, "S: a", "/a", 10, QString(), QDateTime());
    QCOMPARE(warn.at(3)->foreground().color(), QColor("#F37F32"));
    qDeleteAll(warn);
    QList<QStandardItem*> ok = SyncHistoryView::makeHistoryRow(1, 6, "S: a", "/a", 1, QString(), QDateTime());
    QCOMPARE(ok.at(3)->text(), QStringLiteral("Ok"));
    qDeleteAll(ok);
}

void TestSyncHistory::transfer(ProgressInfo& pi, const QString& name, int executed, qint64 done, qint64 total)
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

void TestSyncHistory::liveRows()
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

void TestSyncHistory::barIsThrottled()
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

void TestSyncHistory::buttonsAndMenu()
{
    SyncHistoryView view;
    view.resize(763, 380);
    view.show();
    auto* syncAll = view.findChild<QPushButton*>("syncAllButton");
    auto* cancel = view.findChild<QPushButton*>("cancelButton");
    QVERIFY(!syncAll->isHidden() && cancel->isHidden());
    view.on_syncStarted();
    QVERIFY(syncAll->isHidden() && !cancel->isHidden());
    QSignalSpy cancelled(&view, &SyncHistoryView::cancelRequested);
    cancel->click();
    QCOMPARE(cancelled.count(), 1);
    view.on_syncFinished(QString());
    QVERIFY(!syncAll->isHidden() && cancel->isHidden());

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

QTEST_MAIN(TestSyncHistory)
#include "tst_synchistory.moc"
