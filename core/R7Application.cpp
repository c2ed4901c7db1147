#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "core/BrandingTranslator.h"
#include "core/FileUtil.h"
#include "core/PrivateFiles.h"
#include "core/R7ApplicationDetail.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SettingsStorage.h"
#include "net/FilesafeRI.h"
#include "net/LoginRI.h"
#include "net/PasswordRI.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "passwords/PasswordController.h"
#include "passwords/PasswordStrength.h"
#include "platform/StartOnStartup.h"
#include "sync/FolderIcon.h"
#include "sync/FsObject.h"
#include "sync/SyncState.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSslSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfigurationManager>
QT_WARNING_POP

// The application object's life: construction, start-up, modes and states, the crash check and
// shutdown. The rest lives beside this file: R7ApplicationSession (the local password verifier,
// sign-in, sign-out and the session's time-outs), R7ApplicationSync (synchronisation runs and their
// timer), R7ApplicationVersion (the client version check), R7ApplicationTray (actions, tray and
// menus) and R7ApplicationWindows (database notices and the windows the application opens).

using namespace R7ApplicationDetail;

namespace {

const int ActivityCheckMs = 11000;
const int StrengthScriptDelayMs = 300;

} // namespace

R7Application::R7Application(int &argc, char **argv, const AppInfo *appInfo)
    : SingleApplication(argc, argv)
    , m_appInfo(appInfo)
    , m_userCredUtil(std::make_unique<UserCredUtil>(appInfo))
{
    // Windows connect to the state and mode signals by their signature texts.
    qRegisterMetaType<R7Application::AppState>("R7Application::AppState");
    qRegisterMetaType<R7Application::AppMode>("R7Application::AppMode");
    // Before anything writes a setting: the store keeps the mode of the file it finds.
    PrivateFiles::prepareSettingsFile();
    m_settings = new QSettings(this);
    m_settingsStorage = new SettingsStorage(m_settings, this);

    qDebug("## R7Application startup: '%s' pid:%lld argc:%d isRunning:%s appId:'%s' ",
           qUtf8Printable(applicationName()), applicationPid(), argc, isRunning() ? "yes" : "no",
           qUtf8Printable(escaped(id())));
    setObjectName(QStringLiteral("R7Application"));

    // Relative local paths resolve under the home folder.
    if (!QDir::setCurrent(QDir::homePath())) {
        qWarning("R7Application: failed to cd $HOME");
    }

    R7Database *db = R7Database::instance();
    connect(db, SIGNAL(unableToOpenDatabase(QString)), this, SLOT(on_unableToOpenDatabase(QString)),
            Qt::UniqueConnection);
    connect(db, SIGNAL(incompatibleDatabase(QString, QString)), this, SLOT(on_incompatibleDatabase(QString, QString)),
            Qt::UniqueConnection);
    connect(db, SIGNAL(sqlQueryFailure(QString)), this, SLOT(on_sqlQueryFailure(QString)), Qt::UniqueConnection);
    connect(this, &QGuiApplication::lastWindowClosed, this, &R7Application::on_lastWindowClosed);
    connect(this, &QGuiApplication::applicationStateChanged, this, &R7Application::on_applicationStateChanged);

    m_serverList = new ServerList(*appInfo, this);
    m_serverList->initSelectedServer();
}

R7Application::~R7Application()
{
    qDebug("R7Application::~R7Application: syncstate instances: %d", SyncState::instanceCount());
    qDebug("R7Application::~R7Application: syncaction instances: %d (maxid:%d)", SyncAction::instanceCount(),
           SyncAction::maxId());
    qDebug("R7Application::~R7Application: fsobject instances: %d", FsObject::instanceCount());
    qDebug("## R7Application shutdown\n");
    delete m_trayIcon;
    m_trayIcon = nullptr;
    delete m_trayMenu;
    delete m_mainWindow;
    m_mainWindow = nullptr;
    m_trayFrames.clear();
}

R7Application *R7Application::instance()
{
    return qobject_cast<R7Application *>(QCoreApplication::instance());
}

Storage *R7Application::storage() const
{
    return m_settingsStorage;
}

// ---------------------------------------------------------------------------------------------
// Start-up

void R7Application::initTranslations(const AppInfo *appInfo)
{
    const QLocale system = QLocale::system();
    qDebug("BrandingTranslator::install: system format: date: '%s' time: '%s'",
           qUtf8Printable(system.dateFormat(QLocale::LongFormat)),
           qUtf8Printable(system.timeFormat(QLocale::LongFormat)));

    QStringList languages;
    const QString setting = QSettings().value(QStringLiteral("ui/language")).toString();
    if (!setting.isEmpty()) {
        qDebug("BrandingTranslator::install: Set language by settings: %s", qUtf8Printable(escaped(setting)));
        languages << setting;
    } else {
        languages = system.uiLanguages();
    }
    QString shown = QStringList(languages.mid(0, 5)).join(QLatin1Char(','));
    if (languages.size() > 5) {
        shown += QStringLiteral(",... (%1 languages)").arg(languages.size());
    }
    qDebug("R7Application::initTranslations: ui languages: %s", qUtf8Printable(escaped(shown)));

    BrandingTranslator::installBoth(appInfo, languages);

    if (QCoreApplication *app = QCoreApplication::instance()) {
        if (!app->property("ui_lang").isValid()) {
            app->setProperty("ui_lang", QStringLiteral("C"));
        }
    }
    qDebug("Translation test: %s", qUtf8Printable(QCoreApplication::translate("", "This sentence is in English.")));
}

void R7Application::setLogLevelPtr(int *logLevel)
{
    if (logLevel) {
        m_logLevel = logLevel;
    }
}

void R7Application::setLogLevel(int level)
{
    if (m_logLevel && *m_logLevel != level) {
        qDebug("R7Application::setLogLevel: new log level: %d (prev: %d)", level, *m_logLevel);
        *m_logLevel = level;
    }
}

void R7Application::logPlatformInfo()
{
    qDebug("Platform Name: %s", qUtf8Printable(platformName()));
    qDebug("Build Type: %s", "Release");
    qDebug("Qt Runtime Version: %s", qVersion());
    qDebug("Qt Library Build Date: %s", qUtf8Printable(QLibraryInfo::build()));
    qDebug("Qt Library is debug build: %s", QLibraryInfo::isDebugBuild() ? "true" : "false");
    const QByteArray path = qgetenv("PATH");
    if (!path.isNull()) {
        qDebug("PATH=%s", qUtf8Printable(escaped(QString::fromLocal8Bit(path))));
    }
    const QByteArray dyld = qgetenv("DYLD_LIBRARY_PATH");
    if (!dyld.isNull()) {
        qDebug("DYLD_LIBRARY_PATH=%s", qUtf8Printable(escaped(QString::fromLocal8Bit(dyld))));
    }
    qDebug("cwd: %s", qUtf8Printable(escaped(QDir::currentPath())));
    qDebug("Computer Name: %s (domain: %s)", qUtf8Printable(escaped(QSysInfo::machineHostName())),
           qUtf8Printable(escaped(QHostInfo::localDomainName())));
    qDebug("SSL support: %s", QSslSocket::supportsSsl() ? "true" : "false");
    QString sslLibrary = QSslSocket::sslLibraryVersionString();
    sslLibrary.remove(QRegularExpression(QStringLiteral(" \\[.*$")));
    qDebug("SSL library: %s", qUtf8Printable(sslLibrary));
    qDebug("Display: Device Pixel Ratio: %.2f", devicePixelRatio());
    const QList<QScreen *> all = screens();
    for (int i = 0; i < all.size(); ++i) {
        const QScreen *s = all.at(i);
        qDebug("Display: Screen[%d]: name:'%s' size:%dx%d depth:%d physical_dpi:%.0f logical_dpi:%.0f "
               "pixel_ratio:%.2f",
               i, qUtf8Printable(escaped(s->name())), s->size().width(), s->size().height(), s->depth(),
               s->physicalDotsPerInch(), s->logicalDotsPerInch(), s->devicePixelRatio());
    }
}

void R7Application::migrate()
{
    const QString legacyLog = m_appInfo->legacyLogPath();
    if (QFileInfo::exists(legacyLog) && QDir(m_appInfo->logDirectory) != QDir(QDir::homePath())) {
        const QString log = escaped(QFileInfo(legacyLog).absoluteFilePath());
        qDebug("R7Application::migrate: Old log file found: %s", qUtf8Printable(log));
        if (FileUtil::deleteFile(legacyLog)) {
            qDebug("R7Application::migrate: Log file '%s' deleted", qUtf8Printable(log));
        } else {
            qWarning("R7Application::migrate: Failed to delete log file '%s'", qUtf8Printable(log));
        }
        if (FileUtil::deleteRotatedFiles(legacyLog)) {
            qDebug("R7Application::migrate: Log files '%s'.n deleted", qUtf8Printable(log));
        } else {
            qWarning("R7Application::migrate: Failed to delete log files '%s'.n", qUtf8Printable(log));
        }
    }
    const QString legacyDb = m_appInfo->legacyDatabaseName();
    if (QFileInfo::exists(legacyDb)) {
        qDebug("R7Application::migrate: Old sync state db found: %s",
               qUtf8Printable(escaped(QFileInfo(legacyDb).absoluteFilePath())));
        const QString target = escaped(m_appInfo->databasePath);
        if (FileUtil::moveFile(legacyDb, m_appInfo->databasePath)) {
            qDebug("R7Application::migrate: Sync state db moved to %s", qUtf8Printable(target));
        } else {
            qWarning("R7Application::migrate: Failed to move sync state db to %s", qUtf8Printable(target));
        }
    }
    UserCredUtil::migrateFromRegistry(m_appInfo);
}

void R7Application::openDatabase()
{
    R7Database::instance()->init(m_appInfo);
}

void R7Application::initApp()
{
    qDebug("R7Application::initApp: start");
    qDebug("R7Application::initApp: Location: Settings:   '%s'", qUtf8Printable(escaped(m_settings->fileName())));
    qDebug("R7Application::initApp: Location: Sync state: '%s'",
           qUtf8Printable(escaped(QDir::toNativeSeparators(m_appInfo->databasePath))));
    qDebug("R7Application::initApp: Location: Log:        '%s'",
           qUtf8Printable(escaped(QDir::toNativeSeparators(m_appInfo->logPath))));

    QSettings settings;
    settings.setValue(QStringLiteral("app/last_start"), QDateTime::currentDateTime());
    qDebug("R7Application::initApp: Autostart: %s", isAutostartEnabled() ? "enabled" : "disabled");

    const QList<DbInfo> infos = m_databaseUsable ? R7Database::instance()->getDbInfoList() : QList<DbInfo>();
    if (infos.isEmpty()) {
        qWarning("R7Application::initApp: db_info: is empty");
    } else {
        if (infos.size() >= 2) {
            const DbInfo &first = infos.first();
            qDebug("R7Application::initApp: initial db_info: id:%lld db_version:%s ts:'%s' (%d entries)", first.id(),
                   qUtf8Printable(first.dbVersion()), qUtf8Printable(first.creationTime()), int(infos.size()));
        }
        const DbInfo &last = infos.last();
        qDebug("R7Application::initApp: current db_info: id:%lld db_version:%s ts:'%s' (%d entries)", last.id(),
               qUtf8Printable(last.dbVersion()), qUtf8Printable(last.creationTime()), int(infos.size()));
    }

    decideAutoLogin();

    if (!settings.value(QStringLiteral("app/use_devicekey"), false).toBool()) {
        settings.setValue(QStringLiteral("app/use_devicekey"), true);
    }

    initNetworkConfig();
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    R7Session *session = R7Session::instance();
    AppInfo::publish(m_appInfo);
    connect(session, &R7Session::serverAuthenticationRequired, this, &R7Application::on_serverAuthenticationRequired,
            Qt::UniqueConnection);
    connect(session, &R7Session::proxyAuthenticationRequired, this, &R7Application::on_proxyAuthenticationRequired,
            Qt::UniqueConnection);
    // The login view hears of certificate errors through the application; nothing here ignores them.
    connect(session, &R7Session::sslErrors, this, &R7Application::on_sslErrors, Qt::UniqueConnection);

    m_filesafeRI = new FilesafeRI(m_appInfo, session, this);
    m_loginRI = new LoginRI(m_userCredUtil.get(), m_appInfo, session, this);
    m_fileSafeDao = new FileSafeDao(m_appInfo, m_filesafeRI, this);
    connect(m_fileSafeDao, &FileSafeDao::newFileSafesFound, this, &R7Application::on_newFileSafesFound);

    initActions();

    m_passwordRI = new PasswordRI(m_appInfo, session, this);
    m_passwordController = new PasswordController(session, m_passwordRI, this);

    m_mainWindow = new MainWindow(m_fileSafeDao, const_cast<AppInfo *>(m_appInfo), m_userCredUtil.get(),
                                  m_passwordController, nullptr, m_settingsStorage, session, m_loginRI, m_serverList);
    // The main window subscribes itself; a second subscription here built two main views per sign-in.
    connect(this, &R7Application::appStateChanged, m_mainWindow, &MainWindow::on_appStateChanged,
            Qt::UniqueConnection);

    qDebug("R7Application::initApp: setActivationWindow: '%s'", qUtf8Printable(m_mainWindow->objectName()));
    initSingleInstanceActivation();

    setQuitOnLastWindowClosed(qstrcmp(AppType, "desktop_app") == 0);
    if (useSystemTray) {
        initSystray();
    }
    if (qstrcmp(AppType, "systemtray_app") != 0) {
        initAppMenu();
    }

    setAppMode(m_serverList->isPrimarySelected() ? APP_MODE_NORMAL : APP_MODE_DEBUG);
    setAppState(APP_STATE_LOGGED_OUT);
    updateTrayState(TRAY_LOGGED_OUT);

    if (!settings.value(QStringLiteral("app/start_minimized"), false).toBool()) {
        m_mainWindow->show();
        m_mainWindow->setCurrentPage(MainWindow::PAGE_LOGIN);
        raiseApplication();
    } else {
        m_mainWindow->setCurrentPage(MainWindow::PAGE_LOGIN);
        m_startedMinimized = true;
        // Without a tray a hidden window could not be found again.
        if (!m_trayIcon) {
            m_mainWindow->showMinimized();
        }
    }

    doGetClientVersion();

    QTimer::singleShot(1000, this, &R7Application::checkCrash);
    QTimer::singleShot(2000, this, &R7Application::doInitNativityControl);

    m_activityTimer = new QTimer(this);
    m_activityTimer->setInterval(ActivityCheckMs);
    connect(m_activityTimer, &QTimer::timeout, this, &R7Application::on_checkActivity);
    m_activityTimer->start();

    connect(this, &QCoreApplication::aboutToQuit, this, &R7Application::on_aboutToQuit, Qt::UniqueConnection);

    // Evaluating the strength script takes about as long as the rest of the start: do it once the
    // window is on screen, still long before a password can be typed for rating (only after sign-in).
    QTimer::singleShot(StrengthScriptDelayMs, this, [] { PasswordStrength::instance(); });
    qDebug("R7Application::initApp: finished");
}

// Only the decision is kept; the login view signs in with the saved credentials itself.
bool R7Application::decideAutoLogin()
{
    QSettings settings;
    m_autoLogin = settings.value(QStringLiteral("app/auto_login"), false).toBool();
    if (m_autoLogin) {
        const QString user = settings.value(QStringLiteral("account/saved_username")).toString();
        m_autoLogin = !user.isEmpty() &&
                      !m_userCredUtil->retrievePassword(m_serverList->currentServer().prefix(), user).isEmpty();
    }
    qDebug("R7Application::initApp: autoLogin is %d", int(m_autoLogin));
    return m_autoLogin;
}

void R7Application::initNetworkConfig()
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    m_networkConfig = new QNetworkConfigurationManager(this);
    connect(m_networkConfig, &QNetworkConfigurationManager::onlineStateChanged, this,
            &R7Application::on_onlineStateChanged, Qt::UniqueConnection);
    const QNetworkConfigurationManager::Capabilities caps = m_networkConfig->capabilities();
    const QList<QPair<QNetworkConfigurationManager::Capability, const char *>> names = {
            {QNetworkConfigurationManager::CanStartAndStopInterfaces, "CanStartAndStopInterfaces"},
            {QNetworkConfigurationManager::DirectConnectionRouting, "DirectConnectionRouting"},
            {QNetworkConfigurationManager::SystemSessionSupport, "SystemSessionSupport"},
            {QNetworkConfigurationManager::ApplicationLevelRoaming, "ApplicationLevelRoaming"},
            {QNetworkConfigurationManager::ForcedRoaming, "ForcedRoaming"},
            {QNetworkConfigurationManager::DataStatistics, "DataStatistics"},
            {QNetworkConfigurationManager::NetworkSessionRequired, "NetworkSessionRequired"},
    };
    QStringList present;
    for (const auto &name : names) {
        if (caps.testFlag(name.first)) {
            present << QString::fromLatin1(name.second);
        }
    }
    qDebug("R7Application::initNetworkConfig: network capabilities: %s", qUtf8Printable(present.join(',')));
    const QNetworkConfiguration def = m_networkConfig->defaultConfiguration();
    qDebug("R7Application::initNetworkConfig: online: %s  default net: %s[%s] (configs:%d)",
           m_networkConfig->isOnline() ? "true" : "false", qUtf8Printable(escaped(def.name())),
           qUtf8Printable(escaped(def.identifier())), int(m_networkConfig->allConfigurations().size()));
    QT_WARNING_POP
}

bool R7Application::isAutostartEnabled() const
{
    return StartOnStartup::isEnabled();
}

void R7Application::initSingleInstanceActivation()
{
    setActivationWindow(m_mainWindow, true);
    connect(this, &SingleApplication::messageReceived, this, &R7Application::on_showAction, Qt::UniqueConnection);
}

// ---------------------------------------------------------------------------------------------
// Modes and states

void R7Application::setAppMode(AppMode mode)
{
    if (mode == m_appMode) {
        return;
    }
    qDebug("R7Application::setAppMode: new app mode: %d (prev: %d)", int(mode), int(m_appMode));
    m_appMode = mode;
    emit appModeChanged(mode);
}

void R7Application::setAppState(AppState state)
{
    if (state == m_appState) {
        return;
    }
    if (state == APP_STATE_LOGGED_IN) {
        R7Session *session = R7Session::instance();
        int contextId = 0;
        if (const ServerInfo *server = session->server()) {
            if (ServerInfo *entry = m_serverList->findByPrefix(server->prefix())) {
                contextId = int(m_serverList->servers().indexOf(entry)) + 1;
            }
        }
        m_settingsStorage->setContext(contextId, session->userName());
    }
    m_appState = state;
    emit appStateChanged(state);
}

void R7Application::setIgnoreSslErrors(bool ignore)
{
    m_ignoreSslErrors = ignore;
}

void R7Application::setStatusText(const QString &text)
{
    m_statusText = text;
    if (m_mainWindow) {
        m_mainWindow->setStatusText(text);
    }
}

void R7Application::setSyncSettingsAttention(int count)
{
    if (count == m_syncSettingsAttentionCount) {
        return;
    }
    m_syncSettingsAttentionCount = count;
    emit syncSettingsAttention(count);
}

void R7Application::showMain()
{
    qDebug("R7Application::showMain");
    if (m_mainWindow) {
        m_mainWindow->setCurrentPage(MainWindow::PAGE_MAIN);
    }
}

void R7Application::raiseApplication()
{
    raiseLogDialog();
    if (m_mainWindow) {
        // Brings back a minimised window only: this runs at every activation, and a maximised
        // window must keep its size.
        m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
        m_mainWindow->activateWindow();
        m_mainWindow->raise();
        m_mainWindow->show();
        qDebug("R7Application::raiseApplication: Activate main window.");
    }
}

void R7Application::on_onlineStateChanged(bool isOnline)
{
    qDebug("R7Application::on_onlineStateChanged: is online: %s", isOnline ? "true" : "false");
}

void R7Application::on_applicationStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive && !m_startedMinimized) {
        raiseApplication();
    }
}

void R7Application::on_lastWindowClosed()
{
    if (qstrcmp(AppType, "desktop_app") == 0) {
        quit();
        return;
    }
    if (!m_mainWindow) {
        return;
    }
    // With no tray to bring it back from, a hidden window would leave nothing to click.
    if (m_trayIcon) {
        m_mainWindow->hide();
    } else {
        m_mainWindow->showMinimized();
    }
}

void R7Application::on_switchAppModeToNormal()
{
    setAppMode(APP_MODE_NORMAL);
}

void R7Application::on_switchAppModeToDebug()
{
    setAppMode(APP_MODE_DEBUG);
}

// ---------------------------------------------------------------------------------------------
// Crash check and shutdown

QString R7Application::crashDumpDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

void R7Application::checkCrash()
{
    const QString dir = crashDumpDirectory();
    const QString appName = QString::fromLatin1(m_appInfo->appName);
    const QRegularExpression seen(
            QRegularExpression::wildcardToRegularExpression(QStringLiteral("%1_*crash_dump_*.dmp").arg(appName)));
    QStringList fresh;
    const QStringList dumps = QDir(dir).entryList({QStringLiteral("*.dmp")}, QDir::Files);
    for (const QString &name : dumps) {
        if (!seen.match(name).hasMatch()) {
            fresh << name;
        }
    }
    if (fresh.isEmpty()) {
        return;
    }
    qDebug("R7Application::checkCrash: %d new crash dump(s) in '%s'", int(fresh.size()), qUtf8Printable(escaped(dir)));
    QDir folder(dir);
    for (const QString &name : fresh) {
        const QString renamed =
                QStringLiteral("%1_%2_crash_dump_%3").arg(appName, QString::fromLatin1(m_appInfo->version), name);
        folder.rename(name, renamed);
    }
    showCrashReport(dir);
}

void R7Application::on_quitAction()
{
    qDebug("R7Application::on_quitAction: Quit");
    R7Session *session = R7Session::instance();
    emit session->abort();
    processEvents();
    if (session->isLoggedIn() && m_loginRI) {
        // Quitting at once would abort the logout and leave the session open at the service: quit
        // when it is answered, or after two seconds at the latest.
        m_quitPending = true;
        if (m_mainWindow)
            m_mainWindow->hide();
        m_loginRI->logout(bindResult(this, &R7Application::on_logoutFinished));
        QTimer::singleShot(2000, Qt::CoarseTimer, this, &QCoreApplication::quit);
        return;
    }
    quit();
}

void R7Application::on_aboutToQuit()
{
    if (m_mainWindow) {
        QSettings().setValue(QStringLiteral("ui/main_window_geometry"), m_mainWindow->saveGeometry());
    }
    if (m_appState != APP_STATE_LOGGED_OUT) {
        m_appState = APP_STATE_LOGGED_OUT;
        emit appStateChanged(m_appState);
    }
}

void R7Application::doInitNativityControl()
{
    if (!m_databaseUsable) {
        return;
    }
    FolderIcon(m_appInfo).setForAllSyncFolders();
}
