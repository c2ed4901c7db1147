#pragma once

#include "core/R7Application.h"

#include <QMainWindow>
#include <QPointer>

class AppInfo;
class DebugDialog;
class FileSafeDao;
class LoginRI;
class LoginView;
class MainView;
class MultiSyncher;
class PasswordController;
class QShortcut;
class R7Session;
class ServerList;
class SettingsStorage;
class StatusBarView;
class UserCredUtil;
class WizardView;

namespace Ui {
class MainWindow;
}

// The one top-level window: a stack of the sign-in page (0), the main page (1) and the first-run
// wizard (2), with the status bar below. The application object decides the page; the window
// itself only follows the signed-in state.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum Page { PAGE_LOGIN = 0, PAGE_MAIN = 1, PAGE_WIZARD = 2 };

    MainWindow(FileSafeDao* fileSafeDao, AppInfo* appInfo, UserCredUtil* userCredUtil,
               PasswordController* passwordController, MultiSyncher* multiSyncher,
               SettingsStorage* settingsStorage, R7Session* session, LoginRI* loginRI,
               ServerList* serverList, QWidget* parent = nullptr);
    ~MainWindow() override;

    void setCurrentPage(int page);
    int currentPage() const;

    // Null before the first sign-in and from the moment a sign-out schedules it for deletion.
    MainView* mainView() const;

    void setStatusText(const QString& text);
    void showLoginProgress(const QString& text, bool isError);
    void setMultiSyncher(MultiSyncher* multiSyncher);

    LoginView* loginView() const { return m_loginView; }
    StatusBarView* statusBarView() const { return m_statusBarView; }
    DebugDialog* debugDialog() const;
    WizardView* wizardView() const;

public slots:
    void on_appStateChanged(R7Application::AppState state);
    void on_setupWizardFinished();
    void on_quitShortcut();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void createWizardView();
    void removeWizardView();
    void storeGeometry();

    Ui::MainWindow* ui;
    QShortcut* m_quitShortcut = nullptr;
    AppInfo* m_appInfo;
    UserCredUtil* m_userCredUtil;
    FileSafeDao* m_fileSafeDao;
    PasswordController* m_passwordController;
    QPointer<MultiSyncher> m_multiSyncher;
    SettingsStorage* m_settingsStorage;
    R7Session* m_session;
    LoginRI* m_loginRI;
    ServerList* m_serverList;
    LoginView* m_loginView = nullptr;
    MainView* m_mainView = nullptr;
    QPointer<WizardView> m_wizardView;
    StatusBarView* m_statusBarView = nullptr;
    QPointer<DebugDialog> m_debugDialog;
};
