#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "db/SettingsStorage.h"
#include "net/UserCredUtil.h"

#include <QSettings>

R7Application::R7Application(int &argc, char **argv, const AppInfo *appInfo)
    : QApplication(argc, argv)
    , m_appInfo(appInfo)
    , m_userCredUtil(std::make_unique<UserCredUtil>(appInfo))
{
    m_settings = new QSettings(this);
    m_settingsStorage = std::make_unique<SettingsStorage>(m_settings, nullptr);
    setObjectName(QStringLiteral("R7Application"));
}

R7Application::~R7Application() = default;

R7Application *R7Application::instance()
{
    return qobject_cast<R7Application *>(QCoreApplication::instance());
}

Storage *R7Application::storage() const
{
    return m_settingsStorage.get();
}
void R7Application::autoSync()
{
}

void R7Application::syncAll()
{
}

void R7Application::syncOne(int /*syncSettingId*/)
{
}

void R7Application::requestToStopSync()
{
}

void R7Application::on_loginAction()
{
}

void R7Application::on_logoutAction()
{
}

void R7Application::on_settingsAction()
{
}

void R7Application::on_showLogAction()
{
}

void R7Application::on_helpAction()
{
}

void R7Application::on_aboutAction()
{
}

void R7Application::on_quitAction()
{
}

void R7Application::on_showAction()
{
}

void R7Application::on_activityAction()
{
}

void R7Application::on_showPasswordsAction()
{
}

void R7Application::on_lastWindowClosed()
{
}

void R7Application::on_applicationStateChanged(Qt::ApplicationState /*state*/)
{
}

void R7Application::on_switchAppModeToNormal()
{
}

void R7Application::on_switchAppModeToDebug()
{
}

void R7Application::on_systrayActivated(QSystemTrayIcon::ActivationReason /*reason*/)
{
}

void R7Application::on_loginFinished(const Result<Nothing> &/*result*/)
{
}

void R7Application::on_logoutFinished(const Result<LogoutTO_v1> &/*result*/)
{
}

void R7Application::on_getClientVersion(const Result<ClientVersionTO_v1> &/*result*/)
{
}

void R7Application::on_getInitialFilesafes(const Result<Nothing> &/*result*/)
{
}

void R7Application::on_newFileSafesFound(QList<FilesafeTO_v2> /*safes*/)
{
}

void R7Application::on_syncStarted()
{
}

void R7Application::on_syncCanceled()
{
}

void R7Application::on_syncFinished(int /*nDone*/, int /*nFailed*/, QList<SyncAction> /*executedSyncActions*/)
{
}

void R7Application::on_incompatibleDatabase(QString /*currentVersion*/, QString /*expectedVersion*/)
{
}

void R7Application::on_unableToOpenDatabase(QString /*msg*/)
{
}

void R7Application::on_sslErrors(int /*sessionId*/, R7Session */*s*/, QNetworkReply */*reply*/, QList<QSslError> /*errors*/)
{
}

void R7Application::on_sqlQueryFailure(QString /*msg*/)
{
}

void R7Application::on_quotaExceeded(SyncAction /*sa*/)
{
}

void R7Application::on_sessionTimeout(R7Session::SessionState /*errCode*/, ErrorCode /*netErrCode*/)
{
}

void R7Application::on_checkActivity()
{
}

void R7Application::on_onlineStateChanged(bool /*isOnline*/)
{
}

void R7Application::on_serverAuthenticationRequired(QNetworkReply */*reply*/, QAuthenticator */*authenticator*/)
{
}

void R7Application::on_proxyAuthenticationRequired(QNetworkProxy /*proxy*/, QAuthenticator */*authenticator*/, bool */*canceled*/)
{
}

void R7Application::animateTrayIconSyncing()
{
}

void R7Application::doGetClientVersion()
{
}

void R7Application::doGetClientVersionRetry()
{
}

void R7Application::checkCrash()
{
}

void R7Application::doInitNativityControl()
{
}

void R7Application::on_aboutToQuit()
{
}
