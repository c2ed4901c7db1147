#include "core/R7Application.h"

#include "core/R7ApplicationDetail.h"
#include "db/FileSafeDao.h"
#include "net/LoginRI.h"
#include "net/NetProxy.h"
#include "net/ServerList.h"
#include "net/crypto/CryptoPrimitives.h"
#include "sync/MultiSyncher.h"
#include "ui/MainWindow.h"

#include <QMessageBox>
#include <QTimer>

using namespace R7ApplicationDetail;

namespace {

const int LocalPasswordIterations = 100000;
const int LocalPasswordHashLength = 32;

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

} // namespace

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
    // The application's state, not the session's: while a new user's first safe list loads the
    // session is signed in, but there is no sign-out to start and the sign-in goes on.
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

void R7Application::on_sslErrors(int sessionId, R7Session *s, QNetworkReply *reply, QList<QSslError> errors)
{
    Q_UNUSED(sessionId)
    Q_UNUSED(s)
    emit sslErrors(reply, errors);
}
