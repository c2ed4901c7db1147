#pragma once

#include "core/R7Application.h"

#include <QFrame>

class AppInfo;
class FileSyncSettingsView;
class SyncHistoryView;
class MultiSyncher;
class Storage;

namespace Ui {
class MainFileSafeView;
}

// The file-safe tab: the activity history and the list of synchronised folders as two sub-tabs.
// It remembers which sub-tab was shown.
class MainFileSafeView : public QFrame
{
    Q_OBJECT

public:
    MainFileSafeView(AppInfo* appInfo, MultiSyncher* multiSyncher, Storage* storage, QWidget* parent = nullptr);
    ~MainFileSafeView() override;

    void setCurrentTab(int index);
    int currentTab() const;
    FileSyncSettingsView* settingsView() const { return m_settingsView; }
    SyncHistoryView* historyView() const { return m_historyView; }

public slots:
    void applicationStateChanged(R7Application::AppState state);

private:
    Ui::MainFileSafeView* ui;
    Storage* m_storage;
    FileSyncSettingsView* m_settingsView;
    SyncHistoryView* m_historyView;
};
