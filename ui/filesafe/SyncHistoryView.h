#pragma once

#include "core/R7Application.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFrame>
#include <QHash>
#include <QList>
#include <QStandardItem>

class QAction;
class QMenu;
class QStandardItemModel;
class QTimer;

namespace Ui {
class SyncHistoryView;
}

// The "Activity" sub-tab: what synchronisation runs did in a chosen time window, live rows of the
// run under way with a progress bar for the file being transferred, and the run buttons.
class SyncHistoryView : public QFrame
{
    Q_OBJECT

public:
    enum Column { ColId, ColAction, ColPath, ColStatus, ColTime };
    enum Role { IdRole = Qt::UserRole + 1, LocalPathRole, ActionRole, StatusRole, MessageRole };

    explicit SyncHistoryView(QWidget* parent = nullptr);
    ~SyncHistoryView() override;

    QStandardItemModel* model() const { return m_model; }
    QMenu* contextMenu() const { return m_contextMenu; }
    // Prepares the context menu for a point of the table; false when no menu would open.
    bool prepareContextMenu(const QPoint& pos);

    // Beside the time and 20 characters of "Safe: Item" in a main window of 800 px, in English and
    // German; a longer action or status is shortened, its tool tip holds it whole.
    static constexpr int StatusColumnWidth = 124;
    static constexpr int ActionColumnMaxWidth = 104;
    // Bar updates of one transfer are drawn at most this often.
    static constexpr int ProgressRepaintMs = 250;

    static QList<QStandardItem*> makeHistoryRow(qint64 id, int actionType, const QString& displayPath,
                                                const QString& localPath, int status, const QString& message,
                                                const QDateTime& timestamp);
    // Rows of the transfer of this local file that are still in progress.
    static QList<int> findProgressRows(const QStandardItemModel* model, const QString& localPath);

signals:
    void syncAllRequested();
    void cancelRequested();

public slots:
    void on_syncStarted();
    void on_syncProgress(bool ok, const ProgressInfo& pi);
    void on_syncCanceled();
    void on_syncFinished(QString text);
    void on_syncExecutedOne(bool ok, QString msg, SyncAction sa);
    // Live rows still known by a temporary id take their history id.
    void on_historyRecorded(const QHash<qint64, qint64>& idsByTempId);
    void on_appStateChanged(R7Application::AppState state);
    void updateModel();
    void on_refreshButton_clicked();
    void on_selectFilterComboBox_currentIndexChanged(int index);
    void on_historyTableView_clicked(const QModelIndex& mi);
    void on_historyTableView_doubleClicked(const QModelIndex& mi);
    void on_historyTableView_customContextMenuRequested(const QPoint& p);
    void on_copyFsPathToClipboard();
    void on_openFsItemInFileManager();

private:
    void initFilterComboBox();
    void initHistoryTable();
    void loadTableContent(QStandardItemModel* model);
    bool setRowStatusView(int row);
    // Makes widget the index widget of item's cell and gives it the cell's rectangle at once.
    void placeInCell(QStandardItem* item, QWidget* widget);
    int setStatusViews();
    void sortNewestFirst();
    void flushProgress();

    Ui::SyncHistoryView* ui;
    QStandardItemModel* m_model = nullptr;
    int m_processedCount = 0;
    bool m_progressRowShown = false;
    QMenu* m_contextMenu;
    QAction* m_copyPathAction;
    QAction* m_showInFileManagerAction;
    QString m_showInFileManagerText;
    QString m_contextMenuPath;
    // The transfer under way: its local file and the newest byte counts not yet drawn.
    QString m_progressPath;
    qint64 m_pendingDone = 0;
    qint64 m_pendingTotal = 0;
    QElapsedTimer m_lastPaint;
    QTimer* m_paintTimer;
    // Executed rows waiting for their history id: the "Status" item by the action's temporary id.
    QHash<qint64, QStandardItem*> m_unrecordedRows;
};
