#include "net/R7Session.h"

#include "core/StringUtil.h"
#include "net/LowDelaySockets.h"
#include "net/NetProxy.h"
#include "net/Request.h"
#include "net/SslUtil.h"
#include "net/TrackingCookieJar.h"

#include "core/AppInfo.h"
#include "net/FilesafeRI.h"

#include <QDateTime>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <limits>

int R7Session::s_instanceCount = 0;

namespace {
int s_requestCounter = 0;

// Enough of the cookie value to tell sessions apart in the log without handing the session out.
QByteArray cookieHint(const QByteArray &value)
{
    return value.left(8);
}
} // namespace

R7Session *R7Session::instance()
{
    static R7Session *session = nullptr;
    if (!session) {
        session = new R7Session();
        qDebug("R7Session::instance: new R7Session %p", static_cast<void *>(session));
    }
    return session;
}

R7Session::R7Session()
    : m_instance(s_instanceCount++)
{
    qRegisterMetaType<ErrorCode>("ErrorCode");
    qRegisterMetaType<R7Session::SessionState>("R7Session::SessionState");
    m_sslConfiguration = QSslConfiguration::defaultConfiguration();
    m_sslConfiguration.setProtocol(QSsl::TlsV1_2OrLater);
    qDebug("R7Session: init %p instance: %d", static_cast<void *>(this), m_instance);
    m_nam = new QNetworkAccessManager(this);
    m_nam->setObjectName(QStringLiteral("NAM-s%1").arg(s_instanceCount));
    connectNetworkAccessManager();
    qDebug("R7Session: ca certs: %d", int(m_sslConfiguration.caCertificates().size()));
    m_sslUtil = new SslUtil();
}

R7Session::~R7Session()
{
    delete m_nam;
    delete m_sslUtil;
    delete m_pendingProxy;
    qDebug("R7Session::destructor instance %d", m_instance);
}

void R7Session::connectNetworkAccessManager()
{
    // Every manager, the ones a reset makes included, connects its sockets without Nagle's delay.
    if (!LowDelaySockets::enable()) {
        qWarning("R7Session: the system's connect cannot be found");
    }
    auto *jar = new TrackingCookieJar(m_nam);
    m_nam->setCookieJar(jar);
    connect(jar, &TrackingCookieJar::setCookieJsessionidReceived, this, &R7Session::on_setCookieJsessionidReceived,
            Qt::UniqueConnection);
    connect(m_nam, &QNetworkAccessManager::sslErrors, this, &R7Session::on_networkAccessManagerSslErrors,
            Qt::UniqueConnection);
    connect(m_nam, &QNetworkAccessManager::authenticationRequired, this, &R7Session::on_serverAuthenticationRequired,
            Qt::UniqueConnection);
    connect(m_nam, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            &R7Session::on_proxyAuthenticationRequired, Qt::UniqueConnection);
}

QString R7Session::serverUrl() const
{
    return m_server ? m_server->url() : QString();
}

QNetworkAccessManager *R7Session::networkAccessManager()
{
    return m_nam;
}

QSslConfiguration R7Session::sslConfiguration() const
{
    return m_sslConfiguration;
}

int R7Session::nextRequestId()
{
    return ++s_requestCounter;
}

void R7Session::setLastActivity(qint64 msecsSinceEpoch)
{
    m_lastActivity = msecsSinceEpoch;
}

void R7Session::setXsrfToken(const QByteArray &token)
{
    m_xsrfToken = token;
}

QByteArray R7Session::xsrfToken() const
{
    return m_xsrfToken;
}

QString R7Session::transportKey() const
{
    return m_transportKey;
}

void R7Session::setTransportKey(const QString &key)
{
    m_transportKey = key;
}

QString R7Session::serverKey() const
{
    return m_server ? m_server->prefix() : QString();
}

void R7Session::setLoggedIn(bool loggedIn)
{
    m_loggedIn = loggedIn;
}

bool R7Session::isLoggedIn() const
{
    return m_loggedIn;
}

void R7Session::setUser(const User &user)
{
    m_user = user;
}

qint64 R7Session::userId() const
{
    return m_user.id();
}

QString R7Session::userName() const
{
    return m_user.accountName();
}

const ServerInfo *R7Session::server() const
{
    return m_server ? &*m_server : nullptr;
}

void R7Session::setServer(const ServerInfo &server)
{
    m_server = server;
    const QUrl url(server.url());
    const QString host = url.host();
    const QString scheme = url.scheme();
    const int port = url.port();
    // Only an explicit port warms up a connection in advance.
    if (port < 0 || port >= 65535) {
        return;
    }
    if (scheme == QLatin1String("http")) {
        qDebug("R7Session::setServer: pre-TCP handshake to: %s", qUtf8Printable(server.url()));
        m_nam->connectToHost(host, quint16(port));
    } else if (scheme == QLatin1String("https")) {
        qDebug("R7Session::setServer: pre-TCP-and-SSL handshake to: %s", qUtf8Printable(server.url()));
        m_nam->connectToHostEncrypted(host, quint16(port), m_sslConfiguration);
    }
}

void R7Session::resetSession()
{
    resetSession(EC_ABORTED, QString());
}

void R7Session::resetSession(ErrorCode pendingCode, const QString &reason)
{
    qDebug("R7Session::resetSession; instance: %d", m_instance);
    QNetworkAccessManager *old = m_nam;
    m_nam = new QNetworkAccessManager(this);
    m_nam->setObjectName(QStringLiteral("NAM-r%1").arg(s_instanceCount));
    connectNetworkAccessManager();
    m_proxyAuthState = PROXYAUTH_NONE;
    delete m_pendingProxy;
    m_pendingProxy = nullptr;
    if (old) {
        // Requests still running on the old manager would vanish with it without a word, and their
        // callers would wait forever: end each of them with a report. A reset is no sign of a lost
        // service session, so these reports start no validation.
        m_resetting = true;
        const QList<Request *> pending = old->findChildren<Request *>(QString(), Qt::FindDirectChildrenOnly);
        for (const QPointer<Request> &r : QList<QPointer<Request>>(pending.begin(), pending.end())) {
            if (!r) {
                continue;
            }
            if (pendingCode == EC_ABORTED) {
                r->abort();
            } else {
                r->abortWithError(pendingCode, reason);
            }
        }
        m_resetting = false;
        m_proxyAuthState = PROXYAUTH_NONE;
        QTimer::singleShot(50000, old, &QObject::deleteLater);
    }
}

void R7Session::requestSuccessful()
{
    m_statusCheckStarted = false;
    if (m_proxyAuthState == PROXYAUTH_PENDING_SAVED) {
        qDebug("R7Session::requestSuccessful: Proxy authentication ok");
        m_proxyAuthState = PROXYAUTH_SUCCESS;
    } else if (m_proxyAuthState == PROXYAUTH_PENDING_NEW) {
        qDebug("R7Session::requestSuccessful: New proxy authentication ok");
        if (m_pendingProxy) {
            m_pendingProxy->saveToSettings();
            qDebug("R7Session::requestSuccessful: New proxy authentication saved");
        }
        m_proxyAuthState = PROXYAUTH_SUCCESS;
    }
}

void R7Session::requestFailed(ErrorCode code)
{
    if (code == EC_PROXY_AUTH) {
        if (m_proxyAuthState == PROXYAUTH_PENDING_SAVED || m_proxyAuthState == PROXYAUTH_PENDING_NEW) {
            delete m_pendingProxy;
            m_pendingProxy = nullptr;
            m_proxyAuthState = PROXYAUTH_FAILED;
        }
        m_statusCheckStarted = true;
        return;
    }
    if (code == EC_QUOTA_EXCEEDED) {
        return;
    }
    // The validation's own failure (also one reported after its HTTP-level success) starts no other.
    if (!m_statusCheckStarted && !m_validationPending && !m_resetting) {
        m_statusCheckStarted = true;
        checkSessionStatus();
    }
}

QString R7Session::versionPath()
{
    const AppInfo *info = AppInfo::current();
    if (!info || info->apiGeneration == 1) {
        return QStringLiteral("/rest/public/1/version/sync");
    }
    return QStringLiteral("/api/sync/1/public/version");
}

QString R7Session::clientValidationPath()
{
    const AppInfo *info = AppInfo::current();
    if (!info || info->apiGeneration == 1) {
        return QStringLiteral("/rest/loggedin/1/clientvalidation/loggedin");
    }
    return QStringLiteral("/api/sync/1/account/clientvalidation");
}

void R7Session::sendRemoteFileAction(QString objectId, QString localFilePath, QString destinationId,
                                     ResultCallback<FilesafeObjectsTO_v2> callback,
                                     std::function<void(qint64, qint64)> progress)
{
    // The request holds everything it needs once sent, so the interface object may end here.
    FilesafeRI(AppInfo::current(), this)
            .sendRemoteFileAction(objectId, localFilePath, destinationId, std::move(callback), std::move(progress));
}

void R7Session::getClientVersion(ResultCallback<ClientVersionTO_v1> callback)
{
    Request *r = Request::createGet(versionPath());
    r->setTimeout(5000);
    sendJsonRequest<ClientVersionTO_v1>(r, this, std::move(callback));
}

void R7Session::checkSessionStatus()
{
    m_validationPending = true;
    Request *r = Request::createGet(clientValidationPath());
    r->setTimeout(5000);
    sendJsonRequest<Nothing>(r, this, bindResult(this, &R7Session::on_finishedCheckSessionStatus));
}

void R7Session::on_finishedCheckSessionStatus(const EmptyResult &result)
{
    m_validationPending = false;
    if (result.code() == EC_ABORTED) {
        // Stopped by a quit, a cancel or a reset: it learned nothing about the service session.
        return;
    }
    if (result.code() != EC_OK) {
        // Its HTTP-level success must not count as the success that ends the run of failures.
        m_statusCheckStarted = true;
        emit sessionTimeout(SERVER_SESSION_TIMEOUT, result.code());
    }
}

void R7Session::checkServer()
{
    const QString url = serverUrl();
    if (url.isEmpty()) {
        qDebug("R7Session::checkServer: no server url set.");
        return;
    }
    m_sslUtil->checkConnection(QStringLiteral("Connection Check: "), QUrl(url), m_sslConfiguration);
}

void R7Session::on_proxyAuthenticationRequired(QNetworkProxy proxy, QAuthenticator *auth)
{
    ++m_proxyAuthCalls;
    qDebug("R7Session::on_proxyAuthenticationRequired: Proxy auth state: %s (%d calls)",
           qUtf8Printable(proxyAuthStateName(m_proxyAuthState)), m_proxyAuthCalls);
    switch (m_proxyAuthState) {
    case PROXYAUTH_NONE: {
        qDebug("R7Session::on_proxyAuthenticationRequired: Proxy auth required");
        m_proxyAuthState = PROXYAUTH_REQUESTED;
        auto *saved = new NetProxy();
        const bool found = saved->loadFromSettings(proxy.hostName(), proxy.port());
        qDebug("R7Session::on_proxyAuthenticationRequired: Search proxy creds for: %s:%d (found:%s)",
               qUtf8Printable(proxy.hostName()), int(proxy.port()), found ? "true" : "false");
        if (found) {
            delete m_pendingProxy;
            m_pendingProxy = saved;
            auth->setUser(saved->user());
            auth->setPassword(saved->password());
            m_proxyAuthState = PROXYAUTH_PENDING_SAVED;
        } else {
            delete saved;
            askForProxyCredentials(proxy, auth);
        }
        break;
    }
    case PROXYAUTH_PENDING_SAVED:
        qDebug("R7Session::on_proxyAuthenticationRequired: Previous proxy auth from settings did not work");
        m_proxyAuthState = PROXYAUTH_REQUESTED;
        if (m_pendingProxy) {
            NetProxy::removeFromSettings(m_pendingProxy->url());
        } else {
            NetProxy::removeFromSettings(proxy.hostName(), proxy.port());
        }
        askForProxyCredentials(proxy, auth);
        break;
    case PROXYAUTH_PENDING_NEW:
        qDebug("R7Session::on_proxyAuthenticationRequired: Previous proxy auth by user did not work, ask again");
        m_proxyAuthState = PROXYAUTH_REQUESTED;
        askForProxyCredentials(proxy, auth);
        break;
    case PROXYAUTH_REQUESTED:
    case PROXYAUTH_SUCCESS:
    case PROXYAUTH_FAILED:
        qDebug("R7Session::on_proxyAuthenticationRequired: %s: Invalid proxy auth state here",
               qUtf8Printable(proxyAuthStateName(m_proxyAuthState)));
        break;
    default:
        qDebug("R7Session::on_proxyAuthenticationRequired: Invalid proxy auth state (reset to NONE)");
        m_proxyAuthState = PROXYAUTH_NONE;
        break;
    }
    qDebug("R7Session::on_proxyAuthenticationRequired: Proxy auth new state: %s",
           qUtf8Printable(proxyAuthStateName(m_proxyAuthState)));
}

bool R7Session::askForProxyCredentials(const QNetworkProxy &proxy, QAuthenticator *auth)
{
    bool canceled = false;
    emit pause();
    emit proxyAuthenticationRequired(proxy, auth, &canceled);
    emit resume();
    qDebug("R7Session::askForProxyCredentials: Proxy auth creds received (user: %s, canceled:%s)",
           qUtf8Printable(auth->user()), canceled ? "true" : "false");
    if (canceled) {
        // Every request of the old manager goes through this proxy and now fails on it.
        *auth = QAuthenticator();
        resetSession(EC_PROXY_AUTH, QStringLiteral("proxy authentication canceled"));
        return false;
    }
    delete m_pendingProxy;
    m_pendingProxy = new NetProxy();
    m_pendingProxy->setUrl(proxy.hostName(), proxy.port());
    m_pendingProxy->setUser(auth->user());
    m_pendingProxy->setPassword(auth->password());
    m_proxyAuthState = PROXYAUTH_PENDING_NEW;
    return true;
}

bool R7Session::isClientSessionExpired() const
{
    if (!m_loggedIn) {
        return false;
    }
    const qint64 idle = msecsSinceLastActivity();
    return idle > std::numeric_limits<qint32>::max();
}

qint64 R7Session::msecsSinceLastActivity() const
{
    return QDateTime::currentMSecsSinceEpoch() - m_lastActivity;
}

QString R7Session::sessionStateName(SessionState state)
{
    const char *name = QMetaEnum::fromType<SessionState>().valueToKey(state);
    return name ? QString::fromLatin1(name) : QStringLiteral("undefined[%1]").arg(int(state));
}

QString R7Session::proxyAuthStateName(int state)
{
    const char *name = QMetaEnum::fromType<ProxyAuthState>().valueToKey(state);
    return name ? QString::fromLatin1(name) : QStringLiteral("PROXYAUTH_UNKNOWN");
}

void R7Session::on_serverAuthenticationRequired(QNetworkReply *reply, QAuthenticator *auth)
{
    qDebug("R7Session::on_serverAuthenticationRequired: Authentication required for http call");
    emit serverAuthenticationRequired(reply, auth);
}

void R7Session::on_networkAccessManagerSslErrors(QNetworkReply *reply, QList<QSslError> errors)
{
    QString text = QStringLiteral("[%1]:").arg(errors.size());
    QStringList items;
    for (const QSslError &e : errors) {
        items << QStringLiteral(" (%1:%2)").arg(SslUtil::sslErrorName(e.error())).arg(int(e.error()));
    }
    text += items.join(QLatin1Char(','));
    qWarning("R7Session::on_networkAccessManagerSslErrors: SSL errors: %s", qUtf8Printable(text));
    emit sslErrors(m_instance, this, reply, errors);
}

void R7Session::on_setCookieJsessionidReceived(QNetworkCookie cookie, QUrl url)
{
    // Everything here comes from the service.
    const QByteArray hint = StringUtil::escapeNonPrintable(QString::fromLatin1(cookieHint(cookie.value()))).toUtf8();
    qDebug("R7Session::on_setJsessionCookieReceived: url:'%s' name:'%s' value:'%s' path:'%s'",
           qUtf8Printable(StringUtil::escapeNonPrintable(url.toString())), cookie.name().constData(), hint.constData(),
           qUtf8Printable(StringUtil::escapeNonPrintable(cookie.path())));
    qInfo("## R7Session: sid: s%s", hint.constData());
}
