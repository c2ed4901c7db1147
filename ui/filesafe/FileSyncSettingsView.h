#pragma once

#include "core/R7Application.h"
#include "sync/SyncSetting.h"

#include <QFrame>
#include <QItemSelection>
#include <QList>

class AppInfo;
class MultiSyncher;
class QAction;
class QMenu;
class QStandardItemModel;

namespace Ui {
class FileSyncSettingsView;
}

// The "Synchronized Folders" sub-tab: one row per synchronisation setting of the signed-in user,
// the details of the selected one, and the requests to synchronise, cancel, add and remove.
class FileSyncSettingsView : public QFrame
{
    Q_OBJECT

public:
    enum Role {
        SafeIdRole = Qt::UserRole + 1,
        SafeTypeRole,
        SafeNameRole,
        IdRole,
        LastSyncRole,
        LocalDirRole,
        RemoteDirRole,
        ModeRole,
        ReadableRole,
        RemoteStateRole,
        ExpiryRole,
        AccessRole,
        SortRole,
    };

    FileSyncSettingsView(AppInfo* appInfo, MultiSyncher* multiSyncher, QWidget* parent = nullptr);
    ~FileSyncSettingsView() override;

    void selectSetting(int settingId);
    int selectedRow() const;
    bool isSyncing() const { return m_syncing; }
    QMenu* contextMenu() const { return m_menu; }
    // Prepares the context menu for a point of the table as a right click there would.
    void prepareContextMenu(const QPoint& pos);

signals:
    void syncOneRequested(int syncSettingId);
    void syncAllRequested();
    void cancelRequested();

public slots:
    void on_syncStarted();
    void on_syncFinished(QString text);
    void on_appStateChanged(R7Application::AppState state);
    void on_syncSettingsDataChanged();
    void on_remoteStateChanged(qint64 settingId, SyncSetting::RemoteState remoteState);
    void on_syncSettingsSortOrderChanged(int col, Qt::SortOrder order);
    void on_tableViewSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void on_doubleClickSetting(const QModelIndex& index);
    void on_autoSyncCheckBoxStateChanged(int arg1);
    void on_openFolderInFileManager();

    void on_addSettingButton_clicked();
    void on_deleteSettingButton_clicked();
    void on_removeAllButton_clicked();
    void on_showLocalFolderButton_clicked();
    void on_syncSettingNowButton_clicked();
    void on_tableView_clicked(const QModelIndex& index);
    void on_tableView_customContextMenuRequested(const QPoint& pos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void loadModel(const QList<SyncSetting>& settings);
    void reloadSettingRows();
    void resizeTable();
    void showSelectedSetting(int row);
    void updateDetails(const SyncSetting& setting, bool readable);
    void clearDetails();
    void updateButtons();
    void connectAutoSync();
    void disconnectAutoSync();
    QVariant currentValue(int role) const;

    Ui::FileSyncSettingsView* ui;
    MultiSyncher* m_multiSyncher;
    AppInfo* m_appInfo;
    bool m_syncing = false;
    QStandardItemModel* m_model = nullptr;
    QMenu* m_menu;
    QAction* m_syncAction;
    QAction* m_cancelAction;
    QAction* m_showAction;
    QAction* m_addAction;
    QAction* m_deleteAction;
    QString m_showInTemplate;
};
