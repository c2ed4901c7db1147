#include "net/R7Session.h"

#include "net/TrackingCookieJar.h"

#include <QDateTime>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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
    m_sslConfiguration.setProtocol(QSsl::TlsV1_2);
    qDebug("R7Session: init %p instance: %d", static_cast<void *>(this), m_instance);
    m_nam = new QNetworkAccessManager(this);
    m_nam->setObjectName(QStringLiteral("NAM-s%1").arg(s_instanceCount));
    connectNetworkAccessManager();
    qDebug("R7Session: ca certs: %d", m_sslConfiguration.caCertificates().size());
}

R7Session::~R7Session()
{
    delete m_nam;
    qDebug("R7Session::destructor instance %d", m_instance);
}

void R7Session::connectNetworkAccessManager()
{
    auto *jar = new TrackingCookieJar(m_nam);
    m_nam->setCookieJar(jar);
    connect(jar, &TrackingCookieJar::setCookieJsessionidReceived, this, &R7Session::on_setCookieJsessionidReceived,
            Qt::UniqueConnection);
    connect(m_nam, &QNetworkAccessManager::sslErrors, this, &R7Session::on_networkAccessManagerSslErrors,
            Qt::UniqueConnection);
    connect(m_nam, &QNetworkAccessManager::authenticationRequired, this, &R7Session::on_serverAuthenticationRequired,
            Qt::UniqueConnection);
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

qint64 R7Session::userId() const
{
    return m_userId;
}

QString R7Session::userName() const
{
    return m_userName;
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
    qDebug("R7Session::resetSession; instance: %d", m_instance);
    if (m_nam) {
        QNetworkAccessManager *old = m_nam;
        QTimer::singleShot(50000, old, &QObject::deleteLater);
        m_nam = nullptr;
    }
    m_nam = new QNetworkAccessManager(this);
    m_nam->setObjectName(QStringLiteral("NAM-r%1").arg(s_instanceCount));
    connectNetworkAccessManager();
    m_proxyAuthState = PROXYAUTH_NONE;
}

void R7Session::requestSuccessful()
{
    m_statusCheckStarted = false;
}

void R7Session::requestFailed(ErrorCode code)
{
    Q_UNUSED(code)
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
        items << QStringLiteral(" (%1:%2)").arg(QString::number(int(e.error())), int(e.error()));
    }
    text += items.join(QLatin1Char(','));
    qWarning("R7Session::on_networkAccessManagerSslErrors: SSL errors: %s", qUtf8Printable(text));
    emit sslErrors(m_instance, this, reply, errors);
}

void R7Session::on_setCookieJsessionidReceived(QNetworkCookie cookie, QUrl url)
{
    const QByteArray hint = cookieHint(cookie.value());
    qDebug("R7Session::on_setJsessionCookieReceived: url:'%s' name:'%s' value:'%s' path:'%s'",
           qUtf8Printable(url.toString()), cookie.name().constData(), hint.constData(), qUtf8Printable(cookie.path()));
    qInfo("## R7Session: sid: s%s", hint.constData());
}
