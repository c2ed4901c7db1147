#pragma once

#include "core/R7Application.h"

#include <QFrame>

class AppInfo;
class MainFileSafeView;
class MainSettingsView;
class MultiSyncher;
class PasswordController;
class PasswordsView;
class SettingsStorage;
class Storage;

namespace Ui {
class MainView;
}

// The main page of one signed-in period: the column of tab headers and the page of each tab
// (password safe, file safe, settings). The selected tab survives sign-outs and restarts.
class MainView : public QFrame
{
    Q_OBJECT

public:
    enum TabId { MAIN_TAB_PASSWORDS = 0, MAIN_TAB_FILESAFE = 1, MAIN_TAB_SETTINGS = 2 };
    Q_ENUM(TabId)

    MainView(AppInfo* appInfo, PasswordController* passwordController, MultiSyncher* multiSyncher,
             SettingsStorage* settingsStorage, QWidget* parent = nullptr);
    ~MainView() override;

    void selectTab(int tabId);
    int currentTab() const { return m_currentTab; }
    void setFileSafeSubTab(int index);

    MainFileSafeView* fileSafeView() const { return m_fileSafeView; }

public slots:
    void on_switchToTab(int newTabId);
    void applicationStateChanged(R7Application::AppState state);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void createTabViews(bool showPasswordSafe);
    void initTabs(int tabToShow);

    Ui::MainView* ui;
    int m_currentTab = -1;
    MainFileSafeView* m_fileSafeView = nullptr;
    MainSettingsView* m_settingsView = nullptr;
    PasswordsView* m_passwordsView = nullptr;
    Storage* m_storage;
    PasswordController* m_passwordController;
    MultiSyncher* m_multiSyncher;
    AppInfo* m_appInfo;
};
