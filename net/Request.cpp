#include "net/Request.h"

#include "core/MessageHandler.h"
#include "core/StringUtil.h"
#include "net/JsonUtil.h"
#include "net/ReplyDecoder.h"
#include "net/SslUtil.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

Request::Request(int method, const QString &path)
    : m_method(method)
    , m_path(path)
{
    if (QCoreApplication *app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &Request::abort);
    }
}

Request::~Request() = default;

namespace {
int s_timeoutCap = 0;
QPointer<QObject> s_abortOwner;
} // namespace

void Request::setTimeoutCap(int msecs)
{
    s_timeoutCap = msecs;
}

Request::AbortScope::AbortScope(QObject *owner)
    : m_previous(s_abortOwner)
{
    s_abortOwner = owner;
}

Request::AbortScope::~AbortScope()
{
    s_abortOwner = m_previous;
}

Request *Request::createGet(const QString &path)
{
    return new Request(METHOD_GET, path);
}

Request *Request::createDelete(const QString &path)
{
    return new Request(METHOD_DELETE, path);
}

Request *Request::createPostJson(const QString &path, const QJsonDocument &document)
{
    auto *r = new Request(METHOD_POST, path);
    r->setBody(document.toJson(QJsonDocument::Indented), QStringLiteral("application/json"));
    return r;
}

Request *Request::createPutJson(const QString &path, const QJsonDocument &document)
{
    auto *r = new Request(METHOD_PUT, path);
    r->setBody(document.toJson(QJsonDocument::Indented), QStringLiteral("application/json"));
    return r;
}

Request *Request::createPostForm(const QString &path, const QUrlQuery &form, const QString &contentType)
{
    auto *r = new Request(METHOD_POST, path);
    r->setBody(form.query(QUrl::FullyEncoded).toUtf8(), contentType);
    return r;
}

Request *Request::createPostRaw(const QString &path, const QByteArray &bytes, const QString &contentType)
{
    auto *r = new Request(METHOD_POST, path);
    r->setBody(bytes, contentType);
    return r;
}

Request *Request::createPostDevice(const QString &path, QIODevice *device, const QString &contentType)
{
    auto *r = new Request(METHOD_POST, path);
    if (device) {
        device->setParent(r);
    }
    r->m_body = device;
    r->m_contentType = contentType;
    return r;
}

QString Request::pathSegment(const QString &id)
{
    // "." and ".." are unreserved but would address another resource as a whole segment.
    if (id == QLatin1String(".") || id == QLatin1String("..")) {
        return QString(id).replace(QLatin1Char('.'), QLatin1String("%2E"));
    }
    return QString::fromLatin1(QUrl::toPercentEncoding(id));
}

bool Request::hasControlCharacters(const QByteArray &value)
{
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

void Request::setBody(const QByteArray &bytes, const QString &contentType)
{
    auto *buffer = new QBuffer(this);
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    m_body = buffer;
    m_contentType = contentType;
}

void Request::addQueryItem(const QString &key, const QString &value)
{
    m_queryItems.insert(key, value);
}

void Request::addHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.insert(name, value);
}

void Request::setTimeout(int msecs)
{
    m_timeout = msecs;
}

void Request::setDownloadProgressCallback(ProgressCallback callback)
{
    m_downloadProgress = std::move(callback);
}

void Request::setUploadProgressCallback(ProgressCallback callback)
{
    m_uploadProgress = std::move(callback);
}

void Request::setReadyReadCallback(ReadyReadCallback callback)
{
    m_readyRead = std::move(callback);
}

void Request::send(ISession *session)
{
    m_session = session;
    connect(session, &ISession::abort, this, &Request::abort);
    if (s_abortOwner) {
        connect(s_abortOwner.data(), &QObject::destroyed, this, &Request::abort);
    }
    if (s_timeoutCap > 0 && m_timeout > s_timeoutCap) {
        m_timeout = s_timeoutCap;
    }

    QUrl url(session->serverUrl() + m_path);
    if (!m_queryItems.isEmpty()) {
        QUrlQuery query;
        for (auto it = m_queryItems.constBegin(); it != m_queryItems.constEnd(); ++it) {
            query.addQueryItem(it.key(), it.value());
        }
        url.setQuery(query);
    }
    if (!url.isValid()) {
        onError(EC_BAD_URL, QStringLiteral("URL: %1").arg(url.errorString()));
        return;
    }
    // Qt sends header values as they stand: a line break would end the header and start another.
    const QByteArray token = session->xsrfToken();
    for (auto it = m_headers.constBegin(); it != m_headers.constEnd(); ++it) {
        if (hasControlCharacters(it.value())) {
            onError(EC_BAD_URL, QStringLiteral("Header: control character in %1").arg(QString::fromLatin1(it.key())));
            return;
        }
    }
    if (hasControlCharacters(token)) {
        onError(EC_BAD_URL, QStringLiteral("Header: control character in X-XSRF-TOKEN"));
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("Accept", "application/json");
    // Named by us, the encoding is left to us: Qt would inflate a compressed reply without any
    // limit. A streamed body is encrypted, so compression would gain nothing there.
    request.setRawHeader("Accept-Encoding", streamed() ? QByteArray("identity") : QByteArray("gzip, deflate"));
    for (auto it = m_headers.constBegin(); it != m_headers.constEnd(); ++it) {
        request.setRawHeader(it.key(), it.value());
    }
    if (m_body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, m_contentType);
        request.setHeader(QNetworkRequest::ContentLengthHeader, m_body->size());
    }
    if (!token.isEmpty()) {
        request.setRawHeader("X-XSRF-TOKEN", token);
    }
    if (session->serverUrl().startsWith(QLatin1String("https:"))) {
        request.setSslConfiguration(session->sslConfiguration());
    }

    QNetworkAccessManager *nam = session->networkAccessManager();
    switch (m_method) {
    case METHOD_GET:
        m_reply = nam->get(request);
        break;
    case METHOD_PUT:
        m_reply = nam->put(request, m_body);
        break;
    case METHOD_POST:
        m_reply = nam->post(request, m_body);
        break;
    case METHOD_DELETE:
        m_reply = nam->deleteResource(request);
        break;
    default:
        qFatal("Invalid request type");
    }
    m_reply->setParent(this);
    setParent(nam);

    connect(m_reply, &QNetworkReply::finished, this, &Request::onFinished);
    connect(m_reply, &QNetworkReply::sslErrors, this, &Request::onSslErrors);
    if (m_downloadProgress) {
        connect(m_reply, &QNetworkReply::downloadProgress, this,
                [this](qint64 done, qint64 all) { m_downloadProgress(done, all); });
        connect(m_reply, &QNetworkReply::downloadProgress, this, &Request::restartTimer);
    }
    if (m_uploadProgress) {
        connect(m_reply, &QNetworkReply::uploadProgress, this,
                [this](qint64 done, qint64 all) { m_uploadProgress(done, all); });
        connect(m_reply, &QNetworkReply::uploadProgress, this, &Request::restartTimer);
    }
    if (!streamed()) {
        connect(m_reply, &QNetworkReply::readyRead, this, &Request::takeReplyData);
    } else {
        connect(m_reply, &QNetworkReply::readyRead, this, [this]() {
            // The body of an error status is the service's explanation, not content.
            const int status = httpStatus();
            if (status >= 200 && status <= 299 && !m_failureReported) {
                m_readyRead();
            }
        });
    }

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(m_timeout);
    connect(m_timer, &QTimer::timeout, this, &Request::onTimeout);
    connect(this, &Request::error, m_timer, &QTimer::stop);
    connect(this, &Request::success, m_timer, &QTimer::stop);
    connect(session, &ISession::pause, m_timer, &QTimer::stop);
    connect(session, &ISession::resume, m_timer, [this]() {
        if (!m_failureReported && replyRunning()) {
            m_timer->start(m_timeout);
        }
    });
    m_timer->start();

    session->setLastActivity(QDateTime::currentMSecsSinceEpoch());
}

bool Request::replyRunning() const
{
    return m_reply && !m_reply->isFinished() && m_reply->isRunning();
}

int Request::httpStatus() const
{
    return m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
}

QString Request::networkErrorName(int error)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? QString::fromLatin1(name) : QStringLiteral("undefined[%1]").arg(error);
}

ErrorCode Request::mapNetworkError(int error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return EC_CONNECTION_REFUSED;
    case QNetworkReply::HostNotFoundError:
        return EC_HOST_NOT_FOUND;
    case QNetworkReply::SslHandshakeFailedError:
        return EC_SSL_HANDSHAKE;
    case QNetworkReply::UnknownNetworkError:
        return EC_UNKNOWN_NETWORK;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return EC_PROXY_AUTH;
    case QNetworkReply::ServiceUnavailableError:
        return EC_SERVICE_UNAVAILABLE;
    default:
        return EC_NETWORK;
    }
}

ErrorCode Request::mapServiceStatus(int status)
{
    switch (status) {
    case 0:
        return EC_OK;
    case 10904:
        return EC_SERVICE_STATUS_10904;
    case 10907:
        return EC_QUOTA_EXCEEDED;
    case 10910:
        return EC_SERVICE_STATUS_10910;
    case 10911:
        return EC_SERVICE_STATUS_10911;
    default:
        return EC_SERVICE_STATUS;
    }
}

void Request::onFinished()
{
    if (m_timer) {
        m_timer->stop();
    }
    if (m_failureReported || !m_reply) {
        return; // an abort or time-out has already been reported
    }
    const int status = httpStatus();
    if (m_reply->error() != QNetworkReply::NoError) {
        const int err = m_reply->error();
        const QString message = QStringLiteral("Network error: %1 [%2:%3]; HTTP: %4")
                                        .arg(m_reply->errorString(), networkErrorName(err))
                                        .arg(err)
                                        .arg(status);
        qWarning("%s", qUtf8Printable(StringUtil::escapeNonPrintable(message)));
        onError(mapNetworkError(err), message);
        return;
    }
    if (status >= 300 && status <= 399) {
        onError(EC_HTTP_REDIRECT, QStringLiteral("HTTP status: %1").arg(status));
    } else if (status >= 200 && status <= 299) {
        if (!streamed()) {
            takeReplyData();
            if (m_failureReported) {
                return;
            }
            if (m_decoder && !m_decoder->complete()) {
                onError(EC_BAD_RESPONSE, QStringLiteral("Bad response: compressed body cut short"));
                return;
            }
        }
        if (isDebugLogged())
            qDebug("Request '%s' was successful", qUtf8Printable(m_path));
        if (m_session) {
            m_session->requestSuccessful();
        }
        emit success();
        deleteLater();
    } else {
        onError(EC_HTTP_STATUS, QStringLiteral("HTTP status: %1").arg(status));
    }
}

void Request::onError(ErrorCode errorCode, QString message)
{
    if (m_failureReported) {
        return;
    }
    m_failureReported = true;
    // The message may quote the service: one forged line break would forge a log line.
    qWarning("Request '%s' failed: %s", qUtf8Printable(StringUtil::escapeNonPrintable(m_path)),
             qUtf8Printable(StringUtil::escapeNonPrintable(message)));
    m_lastFailureMessage = message;
    if (m_session) {
        m_session->requestFailed(errorCode);
    }
    emit error(errorCode, message);
    deleteLater();
}

void Request::abort()
{
    if (m_timer) {
        m_timer->stop();
    }
    if (replyRunning()) {
        // Report before aborting: the abort finishes the reply at once with a generic error.
        onError(EC_ABORTED, QStringLiteral("Aborted"));
        m_reply->abort();
    }
}

void Request::abortWithError(ErrorCode code, const QString &reason)
{
    if (m_timer) {
        m_timer->stop();
    }
    if (replyRunning()) {
        onError(code, QStringLiteral("Aborted: ") + reason);
        m_reply->abort();
    }
}

void Request::onTimeout()
{
    if (replyRunning()) {
        onError(EC_TIMEOUT, QStringLiteral("Timeout"));
        m_reply->abort();
    }
}

void Request::onSslErrors(QList<QSslError> errors)
{
    QStringList items;
    for (const QSslError &e : errors) {
        items << QStringLiteral(" (%1:%2)").arg(SslUtil::sslErrorName(e.error())).arg(int(e.error()));
    }
    const QString text = QStringLiteral("network reply ssl errors: [#%1]{%2}")
                                 .arg(errors.size())
                                 .arg(items.join(QStringLiteral(", ")));
    qWarning("R7Session::networkReplySslErrors: SSL errors: %s", qUtf8Printable(text));
    onError(EC_SSL_HANDSHAKE, text);
}

void Request::restartTimer(qlonglong done, qlonglong all)
{
    if (!m_timer) {
        return;
    }
    if (done > 0 && all > 0 && done == all) {
        // The whole body is through: give the service that long again to answer.
        m_timer->start(2 * m_timeout);
    } else if (m_timer->isActive()) {
        m_timer->start(m_timeout);
    }
}

void Request::takeReplyData()
{
    if (!m_reply || m_failureReported) {
        return;
    }
    const QByteArray raw = m_reply->readAll();
    const int status = httpStatus();
    if (status < 200 || status > 299) {
        return; // an error page is never read, so it is not kept either
    }
    if (!m_decoder) {
        m_decoder = std::make_unique<ReplyDecoder>();
        if (!m_decoder->begin(m_reply->rawHeader("Content-Encoding"))) {
            refuseReply(m_decoder->errorText());
            return;
        }
    }
    if (m_decoder->feed(raw, m_received, MaxReplyBodySize) != ReplyDecoder::Decoded) {
        m_received.clear();
        refuseReply(m_decoder->errorText());
    }
}

void Request::refuseReply(const QString &reason)
{
    if (replyRunning()) {
        abortWithError(EC_BAD_RESPONSE, reason);
    } else {
        onError(EC_BAD_RESPONSE, QStringLiteral("Bad response: ") + reason);
    }
}

bool Request::readAvailable(QByteArray &bytes, bool allowEmpty)
{
    if (streamed()) {
        bytes = m_reply ? m_reply->readAll() : QByteArray();
    } else {
        bytes = std::move(m_received);
        m_received = QByteArray();
    }
    if (bytes.isEmpty() && !allowEmpty) {
        onError(EC_EMPTY_RESPONSE, QStringLiteral("Received empty response"));
        return false;
    }
    return true;
}

QByteArray Request::rawHeader(const QByteArray &name) const
{
    return m_reply ? m_reply->rawHeader(name) : QByteArray();
}

bool Request::parseJsonResponse(ResponseTO &envelope)
{
    QByteArray bytes;
    if (!readAvailable(bytes, false)) {
        return false;
    }
    ErrorCode code = EC_OK;
    QString message;
    if (!readEnvelope(bytes, envelope, &code, &message)) {
        onError(code, message);
        return false;
    }
    return true;
}

bool Request::readEnvelope(const QByteArray &bytes, ResponseTO &envelope, ErrorCode *code, QString *message)
{
    bool ok = false;
    QString errorText;
    const QJsonObject json = JsonUtil::parseDocument(bytes, &ok, &errorText);
    if (!ok) {
        envelope.setErrorText(errorText);
        *code = EC_BAD_RESPONSE;
        *message = QStringLiteral("Bad response: %1").arg(errorText);
        return false;
    }
    if (!envelope.fromJson(json)) {
        *code = EC_BAD_RESPONSE;
        *message = QStringLiteral("Bad response: %1").arg(envelope.errorText());
        return false;
    }
    if (envelope.status() != 0) {
        *code = mapServiceStatus(envelope.status());
        *message =
                QStringLiteral("Response status: code:%1 message: %2").arg(envelope.status()).arg(envelope.message());
        return false;
    }
    return true;
}

bool Request::parseFormResponse(QUrlQuery &form)
{
    QByteArray bytes;
    if (!readAvailable(bytes, false)) {
        return false;
    }
    form.setQueryDelimiters(QLatin1Char('='), QLatin1Char(';'));
    form.setQuery(QString::fromUtf8(bytes));
    return true;
}
