#pragma once

#include "net/ClientVersionTO_v1.h"
#include "net/ErrorCode.h"
#include "net/FilesafeTO_v2.h"
#include "net/LogoutTO_v1.h"
#include "net/R7Session.h"
#include "net/Result.h"
#include "platform/SingleApplication.h"
#include "sync/SyncAction.h"

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QNetworkProxy>
#include <QPointer>
#include <QSslError>
#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

class AppInfo;
class FileSafeDao;
class FilesafeRI;
class LoginRI;
class MainWindow;
class MultiSyncher;
class PasswordController;
class PasswordRI;
class QAction;
class QAuthenticator;
class QMenu;
class QNetworkConfigurationManager;
class QNetworkReply;
class QSettings;
class QTimer;
class ServerList;
class SettingsStorage;
class Storage;
class UserCredUtil;

// The one application object of the client: owns the service interfaces, the password controller,
// the main window, the tray and every application-level timer, and orchestrates sign-in, sign-out,
// synchronisation runs, the version check and shutdown. Views reach it through instance().
class R7Application : public SingleApplication
{
    Q_OBJECT

public:
    enum AppMode {
        APP_MODE_NORMAL = 0,
        APP_MODE_DEBUG = 1,
        APP_MODE_DEV = 2,
    };
    Q_ENUM(AppMode)

    // 0 before initApp.
    enum AppState {
        APP_STATE_LOGGED_OUT = 1,
        APP_STATE_LOGGED_IN = 2,
    };
    Q_ENUM(AppState)

    // The notices' texts, translated; the gallery draws the notices with these too.
    static QString upgradeNoticeText(const QString &latestVersion, bool mandatory);
    static QString sessionTerminatedTitle();
    static QString sessionTerminatedText();
    static QString quotaExceededText(const QString &safeName);
    static QString proxyAuthenticationText(const QNetworkProxy &proxy);
    static QString quitActionText();

    // 0 before the tray is set up.
    enum TrayStatus {
        TRAY_LOGGED_OUT = 1,
        TRAY_IDLE = 2,
        TRAY_SYNCING = 3,
        TRAY_SYNC_DONE = 4,
        TRAY_SYNC_CANCELED = 5,
    };
    Q_ENUM(TrayStatus)

    // The period of the synchronisation timer is clamped to this range; an unreadable value gives
    // the default.
    static constexpr int DefaultSyncIntervalMinutes = 5;
    static constexpr int MinSyncIntervalMinutes = 1;
    static constexpr int MaxSyncIntervalMinutes = 1440;

    R7Application(int &argc, char **argv, const AppInfo *appInfo);
    ~R7Application() override;

    static R7Application *instance();

    // Start-up, in the order main calls them.
    static void initTranslations(const AppInfo *appInfo);
    void setLogLevelPtr(int *logLevel);
    void logPlatformInfo();
    void migrate();
    void openDatabase();
    void initApp();

    const AppInfo *appInfo() const { return m_appInfo; }
    AppMode appMode() const { return m_appMode; }
    void setAppMode(AppMode mode);
    AppState appState() const { return m_appState; }
    void setAppState(AppState state);
    TrayStatus trayStatus() const { return m_trayStatus; }
    void updateTrayState(TrayStatus status);

    void setLogLevel(int level);
    ServerList *serverList() const { return m_serverList; }
    bool ignoreSslErrors() const { return m_ignoreSslErrors; }
    void setIgnoreSslErrors(bool ignore);
    void setStatusText(const QString &text);
    void setSyncSettingsAttention(int count);
    int syncSettingsAttentionCount() const { return m_syncSettingsAttentionCount; }
    bool autoLogin() const { return m_autoLogin; }
    // Automatic sign-in needs the setting, a saved user name and that user's saved password on the
    // current server.
    bool decideAutoLogin();

    MainWindow *mainWindow() const { return m_mainWindow; }
    MultiSyncher *multiSyncher() const { return m_multiSyncher; }
    FileSafeDao *fileSafeDao() const { return m_fileSafeDao; }
    FilesafeRI *filesafeRI() const { return m_filesafeRI; }
    LoginRI *loginRI() const { return m_loginRI; }
    PasswordController *passwordController() const { return m_passwordController; }
    Storage *storage() const;
    UserCredUtil *userCredUtil() const { return m_userCredUtil.get(); }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    QMenu *trayMenu() const { return m_trayMenu; }

    void showAddSettingView();
    void showMain();
    void showLog();
    void raiseApplication();

    // Sign-in and sign-out.
    void doLogin(const QString &userName, const QString &password);
    void doLogout();
    void createMultiSyncher();
    bool storeLocalPasswordHash(const QString &password);
    bool checkLocalPassword(const QString &password) const;

    // Synchronisation.
    void updateSyncTimer();
    // The interval setting in minutes, clamped.
    static int syncIntervalMinutes();
    // evenWhenSwitchedOff: asked although the user switched the question off (the plan would
    // empty a side that held files).
    bool confirmLargeDelete(const QString &safeName, int numberOfFiles, bool evenWhenSwitchedOff = false);
    void showSyncResultMessage(int nDone, int nFailed);
    bool isDatabaseUsable() const { return m_databaseUsable; }

    void newClientAvailable(const ClientVersionTO_v1 &version, bool mandatory);
    int versionRetryCount() const { return m_versionRetryCount; }

    // The last status text the application showed; the interval of the synchronisation timer, 0
    // while none runs.
    QString statusText() const { return m_statusText; }
    int syncTimerInterval() const;

    // The waits of sign-in and version check, shortened by tests.
    struct Delays
    {
        int initialRefreshMs = 10000;
        int firstSyncMs = 1000;
        int versionRetryMs = 5000;
    };
    void setDelaysForTesting(const Delays &delays) { m_delays = delays; }
    // The animation frames found in the resources, replaced by tests.
    void setTrayFramesForTesting(const QList<QIcon> &frames) { m_trayFrames = frames; }

    // The folder the crash handler writes its dumps to.
    static QString crashDumpDirectory();

signals:
    void appModeChanged(R7Application::AppMode newMode);
    void appStateChanged(R7Application::AppState newStatus);
    void serverConnectionConfirmed();
    void loginFailed(ErrorCode errcode, QString message);
    void sslErrors(QNetworkReply *reply, QList<QSslError> errors);
    void syncDone(QString text);
    void animateTabIcon(bool animate);
    void syncSettingsAttention(int attentionCount);
    void autoSyncUpdated(bool autoSync);

public slots:
    void autoSync();
    void syncAll();
    void syncOne(int syncSettingId);
    void requestToStopSync();
    void on_loginAction();
    void on_logoutAction();
    void on_settingsAction();
    void on_showLogAction();
    void on_helpAction();
    void on_aboutAction();
    void on_quitAction();
    void on_showAction();
    void on_activityAction();
    void on_showPasswordsAction();
    void on_lastWindowClosed();
    void on_applicationStateChanged(Qt::ApplicationState state);
    void on_switchAppModeToNormal();
    void on_switchAppModeToDebug();
    void on_systrayActivated(QSystemTrayIcon::ActivationReason reason);
    void on_loginFinished(const Result<Nothing> &result);
    void on_logoutFinished(const Result<LogoutTO_v1> &result);
    void on_getClientVersion(const Result<ClientVersionTO_v1> &result);
    void on_getInitialFilesafes(const Result<Nothing> &result);
    void on_newFileSafesFound(QList<FilesafeTO_v2> safes);
    void on_syncStarted();
    void on_syncCanceled();
    void on_syncFinished(int nDone, int nFailed, QList<SyncAction> executedSyncActions);
    void on_incompatibleDatabase(QString currentVersion, QString expectedVersion);
    void on_unableToOpenDatabase(QString msg);
    void on_sslErrors(int sessionId, R7Session *s, QNetworkReply *reply, QList<QSslError> errors);
    void on_sqlQueryFailure(QString msg);
    void on_syncStateWriteFailed(QString cause);
    void on_quotaExceeded(SyncAction sa);
    void on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);
    void on_checkActivity();
    void on_onlineStateChanged(bool isOnline);
    void on_serverAuthenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator);
    void on_proxyAuthenticationRequired(QNetworkProxy proxy, QAuthenticator *authenticator, bool *canceled);
    void animateTrayIconSyncing();
    void doGetClientVersion();
    void doGetClientVersionRetry();
    void checkCrash();
    void doInitNativityControl();
    void on_aboutToQuit();

private:
    enum MainTab { MainTabPasswords = 0, MainTabFileSafe = 1, MainTabSettings = 2 };

    void initActions();
    void initSystray();
    void initAppMenu();
    void initNetworkConfig();
    void initSingleInstanceActivation();
    bool isAutostartEnabled() const;
    void refreshInitialFilesafes();
    void stopPeriodTimers();
    void abandonSignIn(const Result<Nothing> &result);
    QList<SyncSetting> currentUserSettings(bool autoSyncOnly) const;
    bool canStartSync(const char *caller) const;
    void markDatabaseUnusable();
    QAction *createStatusAction();
    void connectStatusAction(MultiSyncher *multiSyncher);
    // A run stops at its next check, which may come after the sign-out has finished, or even after
    // the next sign-in: a coordinator of an ended signed-in period changes no tray or window.
    bool isFromEndedPeriod(const QObject *multiSyncher) const;
    void selectMainTab(int tab);
    void showActivityList();
    void raiseLogDialog();
    void showCrashReport(const QString &dumpDirectory);
    void showUpgradeNotice(const QString &text);
    void showSessionTerminated();
    bool askProxyCredentials(const QString &text, QString *user, QString *password);
    void showDatabaseNotice(const QString &text);
    QAction *newAction(const QString &text, void (R7Application::*slot)());

    const AppInfo *m_appInfo;
    std::unique_ptr<UserCredUtil> m_userCredUtil;

    AppMode m_appMode = AppMode(0);
    AppState m_appState = AppState(0);
    TrayStatus m_trayStatus = TrayStatus(0);

    QSettings *m_settings = nullptr;
    SettingsStorage *m_settingsStorage = nullptr;

    FilesafeRI *m_filesafeRI = nullptr;
    LoginRI *m_loginRI = nullptr;
    PasswordRI *m_passwordRI = nullptr;
    PasswordController *m_passwordController = nullptr;
    MultiSyncher *m_multiSyncher = nullptr;
    FileSafeDao *m_fileSafeDao = nullptr;
    QNetworkConfigurationManager *m_networkConfig = nullptr;

    int *m_logLevel = nullptr;
    int m_syncSettingsAttentionCount = 0;
    bool m_ignoreSslErrors = false;
    bool m_autoLogin = false;

    MainWindow *m_mainWindow = nullptr;
    QPointer<QWidget> m_upgradeDialog;
    QPointer<QWidget> m_newFileSafesDialog;
    QPointer<QWidget> m_quotaDialog;
    QPointer<QWidget> m_sessionTerminatedDialog;
    QPointer<QWidget> m_addSettingView;

    // The actions of the tray and the menu bar.
    QAction *m_loginAction = nullptr;
    QAction *m_logoutAction = nullptr;
    QAction *m_syncAllAction = nullptr;
    QAction *m_showAction = nullptr;
    QAction *m_cancelSyncAction = nullptr;
    QAction *m_settingsAction = nullptr;
    QAction *m_activityAction = nullptr;
    QAction *m_showLogAction = nullptr;
    QAction *m_helpAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_modeNormalAction = nullptr;
    QAction *m_modeDebugAction = nullptr;
    QAction *m_passwordsAction = nullptr;
    QAction *m_statusAction = nullptr;

    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_helpMenu = nullptr;

    ServerList *m_serverList = nullptr;
    int m_versionRetryCount = -1;

    // One of each, owned here, stopped at sign-out. The period number tells callbacks of an
    // earlier signed-in period apart from those of the current one.
    QTimer *m_syncTimer = nullptr;
    QTimer *m_initialRefreshTimer = nullptr;
    QTimer *m_firstSyncTimer = nullptr;
    QTimer *m_versionRetryTimer = nullptr;
    QTimer *m_animationTimer = nullptr;
    QTimer *m_activityTimer = nullptr;
    int m_loginPeriod = 0;
    int m_multiSyncherPeriod = 0;

    QList<QIcon> m_trayFrames;
    QIcon m_idleIcon;
    QIcon m_loggedOutIcon;
    unsigned int m_frameCounter = 0;

    int m_localPasswordSaltLength = 64;
    QByteArray m_localPasswordSalt;
    QByteArray m_localPasswordHash;

    Delays m_delays;
    QString m_statusText;
    bool m_logoutPending = false;
    bool m_quitPending = false;
    bool m_signInPending = false;
    bool m_startedMinimized = false;
    bool m_reloginPending = false;
    bool m_databaseUsable = true;
    bool m_databaseNoticeOpen = false;
};
