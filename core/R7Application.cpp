#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "core/BrandingTranslator.h"
#include "core/FileUtil.h"
#include "core/PrivateFiles.h"
#include "core/StringUtil.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SettingsStorage.h"
#include "db/SyncSettingsDao.h"
#include "net/crypto/CryptoPrimitives.h"
#include "net/FilesafeRI.h"
#include "net/LoginRI.h"
#include "net/NetProxy.h"
#include "net/PasswordRI.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "passwords/PasswordController.h"
#include "passwords/PasswordStrength.h"
#include "platform/StartOnStartup.h"
#include "sync/FolderIcon.h"
#include "sync/FsObject.h"
#include "sync/MultiSyncher.h"
#include "sync/SyncState.h"
#include "ui/AboutDialog.h"
#include "ui/CrashReportDialog.h"
#include "ui/LogDialog.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/ProxyAuthDialog.h"
#include "ui/QuotaExceededDialog.h"
#include "ui/SessionTerminatedDialog.h"
#include "ui/StatusAction.h"
#include "ui/UpgradeClientDialog.h"

#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/filesafe/AddSettingView.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSslSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfigurationManager>
QT_WARNING_POP

namespace {

// A notice replaced by a newer one may still be running a nested message box: hide it now and
// delete it once its own event loop has returned.
void retireWindow(QWidget *window)
{
    if (window) {
        window->hide();
        window->deleteLater();
    }
}

// The build's application type: "systemtray_app", "hybrid" or "desktop_app".
const char *const AppType = "hybrid";
const bool useSystemTray = qstrcmp(AppType, "desktop_app") != 0;

const int AnimationFrameMs = 175;
const int ActivityCheckMs = 11000;
const int StrengthScriptDelayMs = 300;
const int LocalPasswordIterations = 100000;
const int LocalPasswordHashLength = 32;

QString escaped(const QString &text)
{
    return StringUtil::escapeNonPrintable(text);
}

const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

// Equal length assumed; every byte is looked at whatever the first difference.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    }
    return diff == 0;
}

void turn(QAction *action, bool on)
{
    action->setEnabled(on);
    action->setVisible(on);
}

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
        m_mainWindow->showNormal();
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
// Database notices

void R7Application::markDatabaseUnusable()
{
    m_databaseUsable = false;
    if (m_multiSyncher && m_multiSyncher->isSyncing()) {
        m_multiSyncher->requestToStop();
    }
}

void R7Application::showDatabaseNotice(const QString &text)
{
    m_databaseNoticeOpen = true;
    QMessageBox box(QMessageBox::Information, tr("Error"), text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("databaseNotice"));
    box.exec();
    m_databaseNoticeOpen = false;
}

void R7Application::on_unableToOpenDatabase(QString msg)
{
    markDatabaseUnusable();
    showDatabaseNotice(tr("Unable to open database (%1)").arg(msg));
}

void R7Application::on_incompatibleDatabase(QString currentVersion, QString expectedVersion)
{
    markDatabaseUnusable();
    showDatabaseNotice(
            tr("Incompatible database version\n\n(current:'%1', expected:'%2')").arg(currentVersion, expectedVersion));
}

void R7Application::on_sqlQueryFailure(QString msg)
{
    // One box at a time: a failing statement in a loop would otherwise stack them. A running
    // synchronisation tells the user once, with the cause, when it ends.
    if (m_databaseNoticeOpen || (m_multiSyncher && m_multiSyncher->isSyncing())) {
        qWarning("R7Application::on_sqlQueryFailure: %s", qUtf8Printable(escaped(msg)));
        return;
    }
    showDatabaseNotice(tr("SQL query failure. (%1)").arg(msg));
}

void R7Application::on_syncStateWriteFailed(QString cause)
{
    if (m_databaseNoticeOpen) {
        qWarning("R7Application::on_syncStateWriteFailed: %s", qUtf8Printable(escaped(cause)));
        return;
    }
    showDatabaseNotice(tr("SQL query failure. (%1)").arg(cause));
}

void R7Application::on_sslErrors(int sessionId, R7Session *s, QNetworkReply *reply, QList<QSslError> errors)
{
    Q_UNUSED(sessionId)
    Q_UNUSED(s)
    emit sslErrors(reply, errors);
}

// ---------------------------------------------------------------------------------------------
// Local password verifier

bool R7Application::storeLocalPasswordHash(const QString &password)
{
    QByteArray salt(m_localPasswordSaltLength, '\0');
    if (!randomBytes(salt.data(), salt.size())) {
        return false;
    }
    m_localPasswordSalt = salt;
    const QByteArray bytes = password.toUtf8();
    QByteArray hash(LocalPasswordHashLength, '\0');
    if (!pbkdf2HmacSha256(bytes.constData(), bytes.size(), m_localPasswordSalt.constData(), m_localPasswordSalt.size(),
                          LocalPasswordIterations, hash.data())) {
        return false;
    }
    m_localPasswordHash = hash;
    return true;
}

bool R7Application::checkLocalPassword(const QString &password) const
{
    if (m_localPasswordHash.isEmpty()) {
        return false;
    }
    const QByteArray bytes = password.toUtf8();
    QByteArray hash(LocalPasswordHashLength, '\0');
    if (!pbkdf2HmacSha256(bytes.constData(), bytes.size(), m_localPasswordSalt.constData(), m_localPasswordSalt.size(),
                          LocalPasswordIterations, hash.data())) {
        return false;
    }
    return sameBytes(hash, m_localPasswordHash);
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

// ---------------------------------------------------------------------------------------------
// Sign-in, sign-out and session time-outs

void R7Application::doLogin(const QString &userName, const QString &password)
{
    const ServerInfo &server = m_serverList->currentServer();
    qDebug("R7Application::doLogin (server: '%s' (%s) username: '%s')", qUtf8Printable(server.prefix()),
           qUtf8Printable(server.url()), qUtf8Printable(escaped(userName)));
    if (m_appState == APP_STATE_LOGGED_IN) {
        // The login interface would refuse it too; the view must hear of it either way.
        emit loginFailed(EC_LOGIN_FAILED, QStringLiteral("Already logged in"));
        return;
    }
    NetProxy::checkNetworkProxy(server.url());
    R7Session *session = R7Session::instance();
    session->setServer(server);
    m_signInPending = true;
    m_loginRI->doLogin(userName.toLower(), password, true, bindResult(this, &R7Application::on_loginFinished));
}

void R7Application::on_loginFinished(const Result<Nothing> &result)
{
    qDebug("R7Application::on_loginFinished: ok: %s", yesNo(result.isOk()));
    m_signInPending = false;
    if (!result.isOk()) {
        qDebug("R7Application: emit: loginFailed(%d,'%s')", int(result.code()),
               qUtf8Printable(escaped(result.message())));
        raiseApplication();
        emit loginFailed(result.code(), result.message());
        return;
    }
    ++m_loginPeriod;
    createMultiSyncher();
    qDebug("R7Application: connecting session and filesafes signals");
    connect(R7Session::instance(), &R7Session::sessionTimeout, this, &R7Application::on_sessionTimeout,
            Qt::UniqueConnection);

    if (currentUserSettings(false).isEmpty()) {
        if (m_mainWindow) {
            m_mainWindow->showLoginProgress(tr("Loading initial filesafe list"), false);
        }
        refreshInitialFilesafes();
        return;
    }
    if (!m_initialRefreshTimer) {
        m_initialRefreshTimer = new QTimer(this);
        m_initialRefreshTimer->setSingleShot(true);
        m_initialRefreshTimer->setTimerType(Qt::CoarseTimer);
        connect(m_initialRefreshTimer, &QTimer::timeout, this, &R7Application::refreshInitialFilesafes);
    }
    m_initialRefreshTimer->start(m_delays.initialRefreshMs);
    setAppState(APP_STATE_LOGGED_IN);
    updateTrayState(TRAY_IDLE);
    showMain();
}

void R7Application::refreshInitialFilesafes()
{
    const int period = m_loginPeriod;
    QPointer<R7Application> self(this);
    m_fileSafeDao->updateFileSafes([self, period](const Result<Nothing> &result) {
        // A refresh of an earlier signed-in period has nothing to start any more.
        if (self && self->m_loginPeriod == period && R7Session::instance()->isLoggedIn()) {
            self->on_getInitialFilesafes(result);
        }
    });
}

void R7Application::createMultiSyncher()
{
    if (m_multiSyncher) {
        m_multiSyncher->deleteLater();
    }
    m_multiSyncher = new MultiSyncher(m_fileSafeDao, m_filesafeRI, this);
    m_multiSyncherPeriod = m_loginPeriod;
    connectStatusAction(m_multiSyncher);
    connect(m_multiSyncher, &MultiSyncher::syncFinished, this, &R7Application::on_syncFinished);
    connect(m_multiSyncher, &MultiSyncher::syncCanceled, this, &R7Application::on_syncCanceled);
    connect(m_multiSyncher, &MultiSyncher::quotaExceeded, this, &R7Application::on_quotaExceeded);
    connect(m_multiSyncher, &MultiSyncher::syncStarted, this, &R7Application::on_syncStarted);
    // Queued: the box must not open inside the run's own database calls.
    connect(m_multiSyncher, &MultiSyncher::stateWriteFailed, this, &R7Application::on_syncStateWriteFailed,
            Qt::QueuedConnection);
    if (m_mainWindow) {
        m_mainWindow->setMultiSyncher(m_multiSyncher);
    }
}

void R7Application::stopPeriodTimers()
{
    for (QTimer *timer : {m_initialRefreshTimer, m_firstSyncTimer}) {
        if (timer) {
            timer->stop();
        }
    }
    if (m_syncTimer) {
        m_syncTimer->stop();
        m_syncTimer->deleteLater();
        m_syncTimer = nullptr;
    }
}

void R7Application::doLogout()
{
    if (m_multiSyncher && m_multiSyncher->isSyncing()) {
        m_multiSyncher->requestToStop();
    }
    if (m_appState != APP_STATE_LOGGED_IN || m_logoutPending) {
        return;
    }
    m_logoutPending = true;
    stopPeriodTimers();
    ++m_loginPeriod;
    if (!m_autoLogin) {
        raiseApplication();
    }
    if (R7Session::instance()->isLoggedIn()) {
        m_loginRI->logout(bindResult(this, &R7Application::on_logoutFinished));
    } else {
        // The session already ended (a time-out): there is nothing to tell the service.
        on_logoutFinished(Result<LogoutTO_v1>(EC_ABORTED, QStringLiteral("not logged in")));
    }
}

void R7Application::on_logoutFinished(const Result<LogoutTO_v1> &result)
{
    qDebug("R7Application::on_logoutFinished: ok: %s", yesNo(result.isOk()));
    m_logoutPending = false;
    R7Session *session = R7Session::instance();
    disconnect(session, &R7Session::sessionTimeout, this, &R7Application::on_sessionTimeout);
    updateTrayState(TRAY_LOGGED_OUT);
    setAppState(APP_STATE_LOGGED_OUT);
    if (m_mainWindow) {
        m_mainWindow->setCurrentPage(MainWindow::PAGE_LOGIN);
    }
    session->resetSession();
    if (m_quitPending) {
        quit();
        return;
    }
    if (m_reloginPending && m_autoLogin) {
        m_reloginPending = false;
        doGetClientVersion();
    }
}

// A failed first refresh before the signed-in state leaves nothing reachable from the windows: the
// login page waits and sign-out is not offered. End the service session and say why.
void R7Application::abandonSignIn(const Result<Nothing> &result)
{
    qWarning("R7Application::abandonSignIn: initial filesafe list failed (%d): %s", int(result.code()),
             qUtf8Printable(escaped(result.message())));
    stopPeriodTimers();
    ++m_loginPeriod;
    R7Session *session = R7Session::instance();
    disconnect(session, &R7Session::sessionTimeout, this, &R7Application::on_sessionTimeout);
    if (m_multiSyncher) {
        m_multiSyncher->deleteLater();
        m_multiSyncher = nullptr;
        if (m_mainWindow) {
            m_mainWindow->setMultiSyncher(nullptr);
        }
    }
    if (session->isLoggedIn()) {
        // The reset waits for the sign-out's answer, unless a new sign-in has begun by then: the
        // reset would abort its requests.
        const int period = m_loginPeriod;
        QPointer<R7Application> self(this);
        m_loginRI->logout([self, period](const Result<LogoutTO_v1> &) {
            if (self && self->m_loginPeriod == period && !self->m_signInPending) {
                R7Session::instance()->resetSession();
            }
        });
    } else {
        session->resetSession();
    }
    raiseApplication();
    emit loginFailed(result.code(), result.message());
}

void R7Application::on_checkActivity()
{
    R7Session *session = R7Session::instance();
    const qint64 idle = session->msecsSinceLastActivity();
    if (session->isLoggedIn() && session->isClientSessionExpired()) {
        qDebug("R7Application::on_checkActivity: local session timeout (idle:%lldms)", idle);
        on_sessionTimeout(R7Session::CLIENT_SESSION_TIMEOUT, EC_CLIENT);
    }
}

void R7Application::on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode)
{
    qDebug("R7Application::on_sessionTimeout: errCode=%d netErrCode=%d", int(errCode), int(netErrCode));
    if (m_appState != APP_STATE_LOGGED_IN) {
        return;
    }
    qDebug("R7Application::on_sessionTimeout: isLoggedIn (autoLogin:%d)", int(m_autoLogin));
    m_reloginPending = true;
    doLogout();
    // A closed notice stays alive hidden: only a visible one stops the next.
    if (m_autoLogin || (m_sessionTerminatedDialog && m_sessionTerminatedDialog->isVisible())) {
        return;
    }
    showSessionTerminated();
}

void R7Application::on_serverAuthenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator)
{
    Q_UNUSED(reply)
    Q_UNUSED(authenticator)
    qDebug("R7Application::on_serverAuthenticationRequired: Authentication required for http call");
    QMessageBox::critical(nullptr, tr("Network Problem"),
                          tr("Failed to connect to server. \n(HTTP Authentication required)"));
}

void R7Application::on_proxyAuthenticationRequired(QNetworkProxy proxy, QAuthenticator *authenticator, bool *canceled)
{
    qDebug("R7Application::on_proxyAuthenticationRequired: Proxy authentication required, proxy: %s",
           qUtf8Printable(NetProxy::toString(proxy)));
    qDebug("R7Application::on_proxyAuthenticationRequired: Proxy authentication required, auth: %s",
           qUtf8Printable(NetProxy::authenticatorToString(*authenticator)));
    const QString text = proxyAuthenticationText(proxy);
    QString user;
    QString password;
    const bool accepted = askProxyCredentials(text, &user, &password);
    if (accepted) {
        authenticator->setUser(user);
        authenticator->setPassword(password);
    }
    if (canceled) {
        *canceled = !accepted;
    }
}

// ---------------------------------------------------------------------------------------------
// Synchronisation

QList<SyncSetting> R7Application::currentUserSettings(bool autoSyncOnly) const
{
    if (!m_databaseUsable) {
        return {};
    }
    return SyncSettingsDao::instance()->getList(true, autoSyncOnly);
}

bool R7Application::canStartSync(const char *caller) const
{
    if (!m_multiSyncher) {
        qWarning("%s: no synchronisation before the first sign-in", caller);
        return false;
    }
    if (!m_databaseUsable) {
        qWarning("%s: the database is unusable; no synchronisation", caller);
        return false;
    }
    return true;
}

int R7Application::syncIntervalMinutes()
{
    bool ok = false;
    const int minutes =
            QSettings().value(QStringLiteral("app/sync_interval_minutes"), DefaultSyncIntervalMinutes).toInt(&ok);
    if (!ok) {
        qWarning("R7Application::syncIntervalMinutes: invalid interval; %d minutes", DefaultSyncIntervalMinutes);
        return DefaultSyncIntervalMinutes;
    }
    return qBound(MinSyncIntervalMinutes, minutes, MaxSyncIntervalMinutes);
}

void R7Application::on_getInitialFilesafes(const Result<Nothing> &result)
{
    qDebug("R7Application::on_getInitialFilesafes");
    if (!result.isOk()) {
        if (m_appState != APP_STATE_LOGGED_IN) {
            abandonSignIn(result);
            return;
        }
        // Every timed run refreshes the safe list itself, so the period can still synchronise.
        qWarning("R7Application::on_getInitialFilesafes: initial filesafe list failed (%d): %s; "
                 "starting the sync timer anyway",
                 int(result.code()), qUtf8Printable(escaped(result.message())));
    } else {
        if (!m_firstSyncTimer) {
            m_firstSyncTimer = new QTimer(this);
            m_firstSyncTimer->setSingleShot(true);
            connect(m_firstSyncTimer, &QTimer::timeout, this, &R7Application::autoSync);
        }
        m_firstSyncTimer->start(m_delays.firstSyncMs);
        if (currentUserSettings(false).isEmpty()) {
            if (m_appState != APP_STATE_LOGGED_IN) {
                setAppState(APP_STATE_LOGGED_IN);
            }
            updateTrayState(TRAY_IDLE);
            if (m_mainWindow) {
                m_mainWindow->setCurrentPage(MainWindow::PAGE_WIZARD);
            }
            selectMainTab(MainTabSettings);
        }
    }
    const int minutes = syncIntervalMinutes();
    if (!m_syncTimer) {
        m_syncTimer = new QTimer(this);
        connect(m_syncTimer, &QTimer::timeout, this, &R7Application::autoSync);
    }
    qDebug("R7Application::on_getInitialFilesafes: initial start sync timer %dm", minutes);
    m_syncTimer->start(minutes * 60000);
}

void R7Application::autoSync()
{
    if (!R7Session::instance()->isLoggedIn() || !canStartSync("R7Application::autoSync")) {
        return;
    }
    m_multiSyncher->requestSync(currentUserSettings(true));
}

void R7Application::syncAll()
{
    qDebug("R7Application::syncAll");
    if (!canStartSync("R7Application::syncAll")) {
        return;
    }
    m_multiSyncher->requestSync(currentUserSettings(false));
}

void R7Application::syncOne(int syncSettingId)
{
    qDebug("R7Application::syncOne: sync setting id: %d", syncSettingId);
    if (!canStartSync("R7Application::syncOne")) {
        return;
    }
    const SyncSetting setting = SyncSettingsDao::instance()->get(syncSettingId);
    // A null setting has an empty local folder, which would resolve to the home folder.
    if (setting.isNull()) {
        qWarning("R7Application::syncOne: unknown sync setting id %d ignored", syncSettingId);
        return;
    }
    m_multiSyncher->requestSync({setting});
}

void R7Application::requestToStopSync()
{
    qDebug("R7Application::requestToStopSync");
    updateTrayState(TRAY_SYNC_CANCELED);
    if (m_multiSyncher) {
        m_multiSyncher->requestToStop();
    }
}

int R7Application::syncTimerInterval() const
{
    return m_syncTimer && m_syncTimer->isActive() ? m_syncTimer->interval() : 0;
}

void R7Application::updateSyncTimer()
{
    const int minutes = syncIntervalMinutes();
    if (m_syncTimer && m_syncTimer->interval() != minutes * 60000) {
        qDebug("R7Application::updateSyncTimer: restart sync timer %dm", minutes);
        m_syncTimer->start(minutes * 60000);
    }
}

bool R7Application::isFromEndedPeriod(const QObject *multiSyncher) const
{
    // Called directly, not as a coordinator's slot: the application's own step.
    if (!multiSyncher) {
        return false;
    }
    return multiSyncher != m_multiSyncher || m_multiSyncherPeriod != m_loginPeriod;
}

void R7Application::on_syncStarted()
{
    if (isFromEndedPeriod(sender())) {
        qDebug("R7Application::on_syncStarted: run of an ended signed-in period");
        return;
    }
    updateTrayState(TRAY_SYNCING);
}

void R7Application::on_syncFinished(int nDone, int nFailed, QList<SyncAction> executedSyncActions)
{
    const int nTotal = executedSyncActions.size();
    const int nExecOk = SyncAction::countSuccessful(executedSyncActions);
    const int nWarn = SyncAction::countWarnings(executedSyncActions);
    const int nErr = SyncAction::countErrors(executedSyncActions);
    qDebug("R7Application::on_syncFinished: nDone:%d nFailed:%d", nDone, nFailed);
    qDebug("R7Application::on_syncFinished: nTotal:%d nExecOk:%d nWarn:%d nErr:%d", nTotal, nExecOk, nWarn, nErr);
    if (isFromEndedPeriod(sender())) {
        qDebug("R7Application::on_syncFinished: run of an ended signed-in period");
        return;
    }
    showSyncResultMessage(nDone, nFailed);
    updateTrayState(TRAY_SYNC_DONE);
    emit syncDone(tr("Up to date (%1 errors)").arg(nErr));
}

void R7Application::on_syncCanceled()
{
    if (isFromEndedPeriod(sender())) {
        qDebug("R7Application::on_syncCanceled: run of an ended signed-in period");
        return;
    }
    // Not every cancellation is the user's (a full quota ends a run too): leave the syncing look.
    if (m_trayStatus == TRAY_SYNCING) {
        updateTrayState(TRAY_SYNC_CANCELED);
    }
    emit syncDone(QStringLiteral("Sync Canceled"));
}

bool R7Application::confirmLargeDelete(const QString &safeName, int numberOfFiles, bool evenWhenSwitchedOff)
{
    QSettings settings;
    if (!evenWhenSwitchedOff && !settings.value(QStringLiteral("ui/show_delete_files_warning"), true).toBool()) {
        return true;
    }
    raiseApplication();
    const QString helpLink = QStringLiteral("\"%1/en/faq/questions-about-sync-client/rename-synced-sub-folder\"")
                                     .arg(QString::fromLatin1(m_appInfo->baseUrl));
    const QString text =
            tr("<p><b>If you proceed with this synchronisation, you will delete %1 of the files in your online "
               "safe '%2'. This may happen because you unintentionally <ul><li>deleted these files from your "
               "computer</li><li>renamed a synced folder containing a large amount of files</li><li>moved a "
               "synced folder containing a large amount of files</li></ul></b></p><p>If you rename or move a "
               "synced folder, the sync client will proceed to delete all files in it and then upload these to "
               "the new location. You will find more information about how to move or rename synced folders on "
               "our <a href=%3>website</a>.</p><p>Are you sure that you want to proceed with the "
               "synchronisation and delete %1 of your '%2' files?</p>")
                    .arg(QString::number(numberOfFiles), safeName.toHtmlEscaped(), helpLink);
    QMessageBox box(QMessageBox::Warning, tr("About to delete a large amount of files"), text,
                    QMessageBox::Yes | QMessageBox::No, m_mainWindow);
    box.setObjectName(QStringLiteral("largeDeleteQuestion"));
    box.setTextFormat(Qt::RichText);
    auto *dontShow = new QCheckBox(tr("Do not show this dialog in the future"), &box);
    box.setCheckBox(dontShow);
    if (box.exec() != QMessageBox::Yes) {
        return false;
    }
    settings.setValue(QStringLiteral("ui/show_delete_files_warning"), !dontShow->isChecked());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Client version check

void R7Application::doGetClientVersion()
{
    R7Session *session = R7Session::instance();
    session->setServer(m_serverList->currentServer());
    setStatusText(tr("Check version"));
    session->getClientVersion(bindResult(this, &R7Application::on_getClientVersion));
}

void R7Application::doGetClientVersionRetry()
{
    R7Session::instance()->getClientVersion(bindResult(this, &R7Application::on_getClientVersion));
}

void R7Application::on_getClientVersion(const Result<ClientVersionTO_v1> &result)
{
    if (!result.isOk()) {
        m_versionRetryCount = m_versionRetryCount == -1 ? 1 : m_versionRetryCount + 1;
        setStatusText(tr("Failed to connect%1").arg(QStringLiteral("...").left(m_versionRetryCount % 3 + 1)));
        qDebug("R7Application::on_getClientVersion: failed to get remote version info (%d): %s", m_versionRetryCount,
               qUtf8Printable(escaped(result.message())));
        // One retry chain, however many checks failed meanwhile.
        if (!m_versionRetryTimer) {
            m_versionRetryTimer = new QTimer(this);
            m_versionRetryTimer->setSingleShot(true);
            connect(m_versionRetryTimer, &QTimer::timeout, this, &R7Application::doGetClientVersionRetry);
        }
        m_versionRetryTimer->start(m_delays.versionRetryMs);
        return;
    }
    if (m_versionRetryTimer) {
        m_versionRetryTimer->stop();
    }
    m_versionRetryCount = 0;
    setStatusText(QString());
    const ClientVersionTO_v1 &version = result.payload();
    const QString running = QString::fromLatin1(m_appInfo->version);
    qDebug("R7Application::on_getClientVersion: current: '%s' latest: '%s' compatible: '%s'", qUtf8Printable(running),
           qUtf8Printable(escaped(version.versionLatest())), qUtf8Printable(escaped(version.versionCompatible())));
    if (StringUtil::isVersionGreater(version.versionCompatible(), running)) {
        qDebug("R7Application::on_getClientVersion: Version not supported");
        newClientAvailable(version, true);
    } else if (StringUtil::isVersionGreater(version.versionLatest(), running)) {
        qDebug("R7Application::on_getClientVersion: New Version available");
        newClientAvailable(version, false);
    } else {
        setStatusText(tr("Client version is up to date"));
    }
    emit serverConnectionConfirmed();
}

void R7Application::newClientAvailable(const ClientVersionTO_v1 &version, bool mandatory)
{
    qDebug("R7Application::newClientAvailable: My version: %s new version: %s", m_appInfo->version,
           qUtf8Printable(escaped(version.versionLatest())));
    const QString text = upgradeNoticeText(version.versionLatest(), mandatory);
    showUpgradeNotice(text);
}

QString R7Application::upgradeNoticeText(const QString &latestVersion, bool mandatory)
{
    return mandatory ? tr("<b>A new version of the ${APP_NAME} desktop client is available!</b><br/><br/>${APP_NAME} "
                          "%1 is now available - your ${APP_NAME} version ${APP_VERSION} is not supported "
                          "anymore.<br/><br/>Please download the new version.")
                               .arg(latestVersion.toHtmlEscaped())
                     : tr("<b>A new version of the ${APP_NAME} desktop client is available!</b><br/><br/>${APP_NAME} "
                          "%1 is now available - you have ${APP_VERSION}.<br/><br/>Would you like to download it "
                          "now?")
                               .arg(latestVersion.toHtmlEscaped());
}

QString R7Application::sessionTerminatedTitle()
{
    return tr("Not Online");
}

QString R7Application::sessionTerminatedText()
{
    return tr("Your session has been terminated due to inactivity or because your internet "
              "connection is down.\nPlease log in again.");
}

QString R7Application::quotaExceededText(const QString &safeName)
{
    return tr("Synchronization failed: There is not enough free space in your ${APP_NAME} '%1'. "
              "Please delete some documents or upgrade your ${APP_NAME}.")
            .arg(safeName);
}

QString R7Application::proxyAuthenticationText(const QNetworkProxy &proxy)
{
    return tr("The web proxy server '%1' (port: %2 type: %3) requires authentication.")
            .arg(proxy.hostName())
            .arg(proxy.port())
            .arg(NetProxy::proxyTypeName(proxy.type()));
}

QString R7Application::quitActionText()
{
    return tr("Quit ${APP_NAME}");
}

// ---------------------------------------------------------------------------------------------
// Tray, actions and menus

QAction *R7Application::newAction(const QString &text, void (R7Application::*slot)())
{
    auto *action = new QAction(text, this);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void R7Application::initActions()
{
    m_showAction = newAction(tr("Show ${APP_NAME}"), &R7Application::on_showAction);
    m_statusAction = createStatusAction();
    m_aboutAction = newAction(tr("About ${APP_NAME}"), &R7Application::on_aboutAction);
    m_aboutAction->setToolTip(tr("${APP_NAME} ${APP_VERSION} ${APP_DEVSTAGE}"));
    m_loginAction = newAction(tr("Login"), &R7Application::on_loginAction);
    m_logoutAction = newAction(tr("Logout"), &R7Application::on_logoutAction);
    m_syncAllAction = newAction(tr("Sync All"), &R7Application::syncAll);
    m_cancelSyncAction = newAction(tr("Cancel Sync"), &R7Application::requestToStopSync);
    m_settingsAction = newAction(tr("Settings"), &R7Application::on_settingsAction);
    m_activityAction = newAction(tr("File Sync Activities"), &R7Application::on_activityAction);
    m_showLogAction = newAction(tr("Show Log"), &R7Application::on_showLogAction);
    m_showLogAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_L));
    m_helpAction = newAction(tr("Help"), &R7Application::on_helpAction);
    m_quitAction = newAction(quitActionText(), &R7Application::on_quitAction);
    // Where the standard Quit key is Ctrl+Q (Linux), the main window's own shortcut already owns it;
    // a second owner makes Qt drop the key as ambiguous.
    if (QKeySequence::keyBindings(QKeySequence::Quit).value(0) != QKeySequence(Qt::CTRL + Qt::Key_Q)) {
        m_quitAction->setShortcut(QKeySequence::Quit);
    }
    m_modeNormalAction = newAction(tr("Switch to Mode: Normal"), &R7Application::on_switchAppModeToNormal);
    m_modeDebugAction = newAction(tr("Switch to Mode: Debug"), &R7Application::on_switchAppModeToDebug);
    m_passwordsAction = newAction(tr("Password Safe"), &R7Application::on_showPasswordsAction);

    const QList<QPair<QAction *, const char *>> names = {
            {m_showAction, "showAction"},           {m_aboutAction, "aboutAction"},
            {m_loginAction, "loginAction"},         {m_logoutAction, "logoutAction"},
            {m_syncAllAction, "syncAllAction"},     {m_cancelSyncAction, "cancelSyncAction"},
            {m_settingsAction, "settingsAction"},   {m_activityAction, "activityAction"},
            {m_showLogAction, "showLogAction"},     {m_helpAction, "helpAction"},
            {m_quitAction, "quitAction"},           {m_modeNormalAction, "modeNormalAction"},
            {m_modeDebugAction, "modeDebugAction"}, {m_passwordsAction, "passwordsAction"},
    };
    for (const auto &name : names) {
        name.first->setObjectName(QString::fromLatin1(name.second));
    }
}

void R7Application::initSystray()
{
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    qDebug("R7Application::initSystray: System Tray available: %s", yesNo(available));
    if (!available) {
        return;
    }
    const QStringList frames =
            QDir(QStringLiteral(":/res/tray")).entryList({QStringLiteral("syncing_*.png")}, QDir::Files, QDir::Name);
    for (const QString &frame : frames) {
        m_trayFrames << QIcon(QStringLiteral(":/res/tray/%1").arg(frame));
    }
    m_idleIcon = QIcon(QStringLiteral(":/res/tray/idle.png"));
    m_loggedOutIcon = QIcon(QStringLiteral(":/res/tray/logged_out.png"));

    m_trayIcon = new QSystemTrayIcon();
    m_trayMenu = new QMenu();
    m_trayMenu->setTitle(QString::fromLatin1(m_appInfo->displayName));
    if (m_statusAction) {
        m_trayMenu->addAction(m_statusAction);
    }
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_passwordsAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_cancelSyncAction);
    m_trayMenu->addAction(m_syncAllAction);
    m_trayMenu->addAction(m_activityAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_loginAction);
    m_trayMenu->addAction(m_logoutAction);
    m_trayMenu->addAction(m_settingsAction);
    m_trayMenu->addAction(m_helpAction);
    m_trayMenu->addAction(m_showLogAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon->setContextMenu(m_trayMenu);
    updateTrayState(TRAY_LOGGED_OUT);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &R7Application::on_systrayActivated, Qt::UniqueConnection);
    m_trayIcon->show();
}

void R7Application::initAppMenu()
{
    qDebug("R7Application::initAppMenu");
    if (!m_mainWindow) {
        return;
    }
    QMenuBar *bar = m_mainWindow->menuBar();
#if defined(Q_OS_WIN)
    m_fileMenu = bar->addMenu(tr("&File", "the 'File' menu name for Windows (DE: Datei)"));
#elif defined(Q_OS_MACOS)
    m_fileMenu = bar->addMenu(tr("&File", "the 'File' menu name for OSX (DE: Ablage)"));
#else
    m_fileMenu = bar->addMenu(tr("&File", "the 'File' menu name for other OSes"));
#endif
    m_fileMenu->addAction(m_loginAction);
    m_fileMenu->addAction(m_logoutAction);
    m_fileMenu->addAction(m_settingsAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_showLogAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_quitAction);
    bar->addSeparator();
    m_helpMenu = bar->addMenu(tr("&Help"));
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addAction(m_aboutAction);
}

void R7Application::updateTrayState(TrayStatus status)
{
    if (status == m_trayStatus) {
        return;
    }
    m_trayStatus = status;
    const bool trayShown = useSystemTray && m_trayIcon;
    switch (status) {
    case TRAY_LOGGED_OUT:
        if (trayShown) {
            m_trayIcon->setIcon(m_loggedOutIcon);
            m_trayIcon->setToolTip(QString());
        }
        turn(m_loginAction, true);
        turn(m_logoutAction, false);
        turn(m_syncAllAction, false);
        turn(m_cancelSyncAction, false);
        turn(m_settingsAction, false);
        turn(m_activityAction, false);
        turn(m_passwordsAction, false);
        break;
    case TRAY_IDLE:
    case TRAY_SYNC_DONE:
    case TRAY_SYNC_CANCELED:
        if (trayShown) {
            m_trayIcon->setIcon(m_idleIcon);
            m_trayIcon->setToolTip(QString());
        }
        turn(m_loginAction, false);
        turn(m_logoutAction, true);
        turn(m_syncAllAction, true);
        turn(m_cancelSyncAction, false);
        turn(m_settingsAction, true);
        turn(m_activityAction, true);
        turn(m_passwordsAction, true);
        break;
    case TRAY_SYNCING:
        if (trayShown) {
            m_trayIcon->setToolTip(tr("Syncing ..."));
        }
        turn(m_loginAction, false);
        turn(m_logoutAction, true);
        turn(m_syncAllAction, false);
        turn(m_cancelSyncAction, true);
        turn(m_settingsAction, true);
        animateTrayIconSyncing();
        break;
    }
    turn(m_showLogAction, m_appMode == APP_MODE_DEBUG);
    if (!QSettings().value(QStringLiteral("app/show_pwd_safe"), true).toBool()) {
        turn(m_passwordsAction, false);
    }
}

void R7Application::animateTrayIconSyncing()
{
    if (m_trayStatus != TRAY_SYNCING || !m_trayIcon) {
        return;
    }
    // Without frames the idle icon stays.
    if (m_trayFrames.isEmpty()) {
        m_trayIcon->setIcon(m_idleIcon);
        return;
    }
    m_trayIcon->setIcon(m_trayFrames.at(int(m_frameCounter % unsigned(m_trayFrames.size()))));
    ++m_frameCounter;
    // One timer, restarted: a status that leaves and re-enters syncing adds no second chain.
    if (!m_animationTimer) {
        m_animationTimer = new QTimer(this);
        m_animationTimer->setSingleShot(true);
        connect(m_animationTimer, &QTimer::timeout, this, &R7Application::animateTrayIconSyncing);
    }
    m_animationTimer->start(AnimationFrameMs);
}

void R7Application::showSyncResultMessage(int nDone, int nFailed)
{
    if (!useSystemTray || !m_trayIcon || !QSystemTrayIcon::supportsMessages() || nDone <= 0) {
        return;
    }
    const QString title = nFailed != 0 ? tr("Synchronisation with errors") : tr("Synchronisation successful");
    m_trayIcon->showMessage(title, tr("%n change(s) in your ${APP_NAME}", nullptr, nDone), QSystemTrayIcon::Information,
                            10000);
}

void R7Application::on_systrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger || !m_trayMenu || m_trayMenu->isVisible()) {
        return;
    }
    raiseApplication();
    m_trayMenu->popup(QCursor::pos());
}

void R7Application::on_showAction()
{
    qDebug("R7Application::on_showAction");
    raiseApplication();
}

void R7Application::on_loginAction()
{
    if (m_appState == APP_STATE_LOGGED_IN) {
        QMessageBox::information(m_mainWindow, tr("Info"), tr("Already logged in"));
        return;
    }
    raiseApplication();
}

void R7Application::on_logoutAction()
{
    doLogout();
}

void R7Application::on_settingsAction()
{
    raiseApplication();
    if (m_appState == APP_STATE_LOGGED_IN) {
        selectMainTab(MainTabSettings);
    }
}

void R7Application::on_showPasswordsAction()
{
    raiseApplication();
    if (m_appState == APP_STATE_LOGGED_IN) {
        selectMainTab(MainTabPasswords);
    }
}

void R7Application::on_activityAction()
{
    raiseApplication();
    if (m_appState == APP_STATE_LOGGED_IN) {
        selectMainTab(MainTabFileSafe);
        showActivityList();
    }
}

void R7Application::on_helpAction()
{
    QDesktopServices::openUrl(QUrl(tr("${URL_HELP}")));
}

void R7Application::on_showLogAction()
{
    showLog();
}

// ---------------------------------------------------------------------------------------------
// Windows the application opens

// A non-modal notice over the main window, for windows whose own class is not part of this build.
QMessageBox *R7Application::showNotice(const QString &objectName, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, m_mainWindow);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowFlag(Qt::Sheet);
    box->adjustSize();
    box->show();
    return box;
}

QAction *R7Application::createStatusAction()
{
    auto *action = new StatusAction(this);
    connect(this, &R7Application::appStateChanged, action, &StatusAction::on_appStateChanged);
    return action;
}

void R7Application::connectStatusAction(MultiSyncher *multiSyncher)
{
    if (auto *status = qobject_cast<StatusAction *>(m_statusAction)) {
        connect(multiSyncher, &MultiSyncher::syncProgress, status,
                [this, multiSyncher, status](bool ok, const ProgressInfo &pi) {
                    if (!isFromEndedPeriod(multiSyncher)) {
                        status->on_syncProgress(ok, pi);
                    }
                });
        connect(multiSyncher, &MultiSyncher::syncCanceled, status, &StatusAction::hide);
    }
}

void R7Application::selectMainTab(int tab)
{
    if (m_appState == APP_STATE_LOGGED_IN && m_mainWindow && m_mainWindow->mainView()) {
        m_mainWindow->mainView()->selectTab(tab);
    }
}

void R7Application::showActivityList()
{
    if (m_mainWindow && m_mainWindow->mainView()) {
        m_mainWindow->mainView()->setFileSafeSubTab(0);
    }
}

void R7Application::raiseLogDialog()
{
    LogDialog *log = LogDialog::instance();
    if (log && log->isVisible()) {
        log->activateWindow();
        log->raise();
        log->show();
    }
}

void R7Application::showLog()
{
    LogDialog *log = LogDialog::instance();
    if (!log || !log->isHidden()) {
        return;
    }
    log->show();
    QElapsedTimer timer;
    timer.start();
    const int lines = log->loadFile(m_appInfo->logPath);
    qDebug("R7Application::showLog: loaded %d lines in %d ms", lines, int(timer.elapsed()));
}

void R7Application::on_aboutAction()
{
    AboutDialog *about = AboutDialog::instance();
    qDebug("R7Application::showAbout: aboutView hidden: %s", yesNo(about->isHidden()));
    if (about->isHidden()) {
        about->show();
    }
}

void R7Application::showCrashReport(const QString &dumpDirectory)
{
    auto *dialog = new CrashReportDialog(m_mainWindow, Qt::Sheet);
    dialog->setCrashDumpPath(dumpDirectory);
    dialog->show();
}

void R7Application::showUpgradeNotice(const QString &text)
{
    retireWindow(m_upgradeDialog.data());
    auto *dialog = new UpgradeClientDialog(m_mainWindow, Qt::Sheet);
    dialog->setText(text);
    dialog->adjustSize();
    dialog->show();
    m_upgradeDialog = dialog;
}

void R7Application::showSessionTerminated()
{
    const QString title = sessionTerminatedTitle();
    const QString text = sessionTerminatedText();
    retireWindow(m_sessionTerminatedDialog.data());
    auto *dialog = new SessionTerminatedDialog(m_mainWindow, Qt::Sheet);
    dialog->setWindowTitle(title);
    dialog->setText(text);
    dialog->adjustSize();
    dialog->show();
    m_sessionTerminatedDialog = dialog;
}

void R7Application::on_quotaExceeded(SyncAction sa)
{
    qDebug("R7Application::on_quotaExceeded");
    retireWindow(m_quotaDialog.data());
    const QString text = quotaExceededText(sa.remoteSafeName());
    auto *dialog = new QuotaExceededDialog(m_mainWindow, Qt::Sheet);
    dialog->setText(text);
    dialog->adjustSize();
    dialog->show();
    m_quotaDialog = dialog;
}

void R7Application::on_newFileSafesFound(QList<FilesafeTO_v2> safes)
{
    // Without settings the first-run wizard offers the safes.
    if (currentUserSettings(false).isEmpty()) {
        return;
    }
    qDebug("R7Application::on_newFileSafesFound");
    retireWindow(m_newFileSafesDialog.data());
    auto *dialog = new NewFileSafeAvailableDialog(m_appInfo, m_mainWindow);
    dialog->setWindowFlag(Qt::Sheet);
    dialog->adjustSize();
    dialog->show();
    dialog->setFileSafes(safes);
    m_newFileSafesDialog = dialog;
}

bool R7Application::askProxyCredentials(const QString &text, QString *user, QString *password)
{
    ProxyAuthDialog dialog;
    dialog.setText(text);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    *user = dialog.username();
    *password = dialog.password();
    return true;
}

void R7Application::showAddSettingView()
{
    retireWindow(m_addSettingView.data());
    auto *view = new AddSettingView(m_fileSafeDao, m_appInfo, m_filesafeRI, m_mainWindow);
    view->setWindowFlag(Qt::Sheet);
    m_addSettingView = view;
    view->show();
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
