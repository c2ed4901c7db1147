#pragma once

#include "net/ErrorCode.h"
#include "net/ISession.h"
#include "net/ResponseTO.h"
#include "net/Result.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QIODevice;
class ReplyDecoder;
class QNetworkReply;
class QTimer;

// One HTTP exchange with the service. It ends with exactly one of `success` or `error`, and then
// deletes itself (deferred, so handlers of the signals run first).
class Request : public QObject
{
    Q_OBJECT
public:
    enum Method {
        METHOD_GET = 2,
        METHOD_PUT = 3,
        METHOD_POST = 4,
        METHOD_DELETE = 5,
    };

    using ProgressCallback = std::function<void(qint64, qint64)>;
    using ReadyReadCallback = std::function<void()>;

    static constexpr int DefaultTimeoutMs = 1800000;
    // Largest body of a reply that is read whole, counted after decompression: a listing of
    // 100,000 objects is 30 to 40 MB of JSON, so this leaves room for safes several times larger.
    static constexpr qint64 MaxReplyBodySize = 128 * 1024 * 1024;

    static Request *createGet(const QString &path);
    static Request *createDelete(const QString &path);
    static Request *createPostJson(const QString &path, const QJsonDocument &document);
    static Request *createPutJson(const QString &path, const QJsonDocument &document);
    static Request *createPostForm(const QString &path, const QUrlQuery &form, const QString &contentType);
    static Request *createPostRaw(const QString &path, const QByteArray &bytes, const QString &contentType);
    // Takes over the device.
    static Request *createPostDevice(const QString &path, QIODevice *device, const QString &contentType);

    // An id as one path segment, percent-encoded so that "?" or "#" cannot change the resource
    // addressed. Ids of unreserved characters come out unchanged. Qt decodes and removes "." and ".."
    // segments whatever their encoding, so callers refuse those (and empty ids) before building a
    // request (`GenericRI::idProblem`).
    static QString pathSegment(const QString &id);
    // True when the value holds a byte that would end or split a header line.
    static bool hasControlCharacters(const QByteArray &value);

    ~Request() override;

    void addQueryItem(const QString &key, const QString &value);
    void addHeader(const QByteArray &name, const QByteArray &value);
    void setTimeout(int msecs);
    // Test hook: no request waits longer than this (0 = no cap).
    static void setTimeoutCap(int msecs);

    // While a scope is alive, requests sent on this thread also abort when its owner object is
    // destroyed: a caller can end its own requests without touching anyone else's.
    class AbortScope
    {
    public:
        explicit AbortScope(QObject *owner);
        ~AbortScope();
        AbortScope(const AbortScope &) = delete;
        AbortScope &operator=(const AbortScope &) = delete;

    private:
        QObject *m_previous;
    };
    void setDownloadProgressCallback(ProgressCallback callback);
    void setUploadProgressCallback(ProgressCallback callback);
    // Called only while the reply carries a 2xx status: an error page is never handed out as data.
    void setReadyReadCallback(ReadyReadCallback callback);

    void send(ISession *session);

    // Readers for the handlers of `success`; they report a failure through onError and return false.
    bool parseJsonResponse(ResponseTO &envelope);
    // The envelope of a whole reply body, its service status checked; false with the code and
    // message that parseJsonResponse reports.
    static bool readEnvelope(const QByteArray &bytes, ResponseTO &envelope, ErrorCode *code, QString *message);
    bool parseFormResponse(QUrlQuery &form);
    bool readAvailable(QByteArray &bytes, bool allowEmpty);
    QByteArray rawHeader(const QByteArray &name) const;
    // The HTTP status of the reply, 0 when there is none yet.
    int httpStatus() const;
    void abortWithError(ErrorCode code, const QString &reason);

    int method() const { return m_method; }
    const QString &path() const { return m_path; }
    int timeout() const { return m_timeout; }
    const QString &lastFailureMessage() const { return m_lastFailureMessage; }
    QNetworkReply *reply() const { return m_reply; }

    static QString networkErrorName(int error);
    static ErrorCode mapNetworkError(int error);
    static ErrorCode mapServiceStatus(int status);

signals:
    void error(ErrorCode errorCode, QString message);
    void success();

public slots:
    void abort();
    void onFinished();
    void onSslErrors(QList<QSslError> errors);
    void onTimeout();
    void onError(ErrorCode errorCode, QString message);
    void restartTimer(qlonglong done, qlonglong all);

private:
    Request(int method, const QString &path);
    void setBody(const QByteArray &bytes, const QString &contentType);
    bool replyRunning() const;
    bool streamed() const { return bool(m_readyRead); }
    void takeReplyData();
    void refuseReply(const QString &reason);

    int m_method;
    QString m_path;
    QMap<QString, QString> m_queryItems;
    QMap<QByteArray, QByteArray> m_headers;
    ProgressCallback m_downloadProgress;
    ProgressCallback m_uploadProgress;
    ReadyReadCallback m_readyRead;
    int m_timeout = DefaultTimeoutMs;
    QIODevice *m_body = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer *m_timer = nullptr;
    QString m_contentType;
    bool m_failureReported = false;
    QString m_lastFailureMessage;
    QPointer<ISession> m_session;
    // The decoded body of a reply that is read whole.
    QByteArray m_received;
    std::unique_ptr<ReplyDecoder> m_decoder;
};

// Sends the request and calls the callback once with what `decodeBody` makes of the whole reply
// body, or with the first failure. `decodeBody` is
// `bool (QByteArray &body, T &out, ErrorCode &code, QString &message)`; it may release the body.
template<typename T, typename DecodeBody>
void sendBodyRequest(Request *request, ISession *session, DecodeBody decodeBody, ResultCallback<T> callback)
{
    // The callback is shared by both handlers; whichever runs first delivers.
    auto delivered = std::make_shared<bool>(false);
    auto deliver = [callback, delivered](const Result<T> &result) {
        if (*delivered) {
            return;
        }
        *delivered = true;
        if (callback) {
            callback(result);
        }
    };
    QObject::connect(request, &Request::success, request, [request, deliver, decodeBody]() {
        QByteArray body;
        if (!request->readAvailable(body, false)) {
            return; // the failure travels through `error`
        }
        T payload;
        ErrorCode code = EC_OK;
        QString message;
        if (!decodeBody(body, payload, code, message)) {
            request->onError(code, message);
            return;
        }
        deliver(Result<T>(payload));
    });
    QObject::connect(request, &Request::error, request,
                     [deliver](ErrorCode code, const QString &message) { deliver(Result<T>(code, message)); });
    request->send(session);
}

// A reply body through the JSON envelope and then `decode`
// (`bool (const QJsonObject &data, T &out, QString &errorText)`); false with the code and message of
// the first failure. The body is released once the document is read.
template<typename T, typename Decode>
bool decodeJsonBody(QByteArray &body, const Decode &decode, T &payload, ErrorCode &code, QString &message)
{
    ResponseTO envelope;
    const bool read = Request::readEnvelope(body, envelope, &code, &message);
    body = QByteArray();
    if (!read) {
        return false;
    }
    QString errorText;
    if (!decode(envelope.data(), payload, errorText)) {
        code = EC_BAD_RESPONSE;
        message = QStringLiteral("Response data: %1").arg(errorText);
        return false;
    }
    return true;
}

// Sends the request and calls the callback once with what `decode` makes of the reply's data, or
// with the first failure. `decode` is `bool (const QJsonObject &data, T &out, QString &errorText)`.
template<typename T, typename Decode>
void sendJsonRequest(Request *request, ISession *session, Decode decode, ResultCallback<T> callback)
{
    sendBodyRequest<T>(
            request, session,
            [decode](QByteArray &body, T &payload, ErrorCode &code, QString &message) {
                return decodeJsonBody(body, decode, payload, code, message);
            },
            std::move(callback));
}

// The same for a payload T that decodes itself with `bool fromJson(const QJsonObject &, QString &errorText)`.
template<typename T>
void sendJsonRequest(Request *request, ISession *session, ResultCallback<T> callback)
{
    sendJsonRequest<T>(
            request, session,
            [](const QJsonObject &data, T &payload, QString &errorText) { return payload.fromJson(data, errorText); },
            std::move(callback));
}
