#pragma once

#include "net/ClientVersionTO_v1.h"
#include "net/FilesafeObjectsTO_v2.h"
#include "net/ISession.h"
#include "net/Result.h"
#include "net/ServerInfo.h"

#include "db/User.h"

#include <QAuthenticator>
#include <QNetworkCookie>
#include <QNetworkProxy>
#include <QPointer>
#include <QSslError>
#include <QUrl>

#include <functional>
#include <optional>

class NetProxy;
class QNetworkAccessManager;
class QNetworkReply;
class SslUtil;

// The process-wide session with the service.
class R7Session : public ISession
{
    Q_OBJECT
public:
    enum SessionState {
        SESSION_OK = 0,
        SESSION_RESET = 1,
        SERVER_SESSION_TIMEOUT = 2,
        CLIENT_SESSION_TIMEOUT = 3,
    };
    Q_ENUM(SessionState)

    enum ProxyAuthState {
        PROXYAUTH_NONE = 0,
        PROXYAUTH_REQUESTED = 1,
        PROXYAUTH_PENDING_SAVED = 2,
        PROXYAUTH_PENDING_NEW = 3,
        PROXYAUTH_SUCCESS = 4,
        PROXYAUTH_FAILED = 5,
    };
    Q_ENUM(ProxyAuthState)

    static R7Session *instance();
    ~R7Session() override;

    // ISession
    QString serverUrl() const override;
    QNetworkAccessManager *networkAccessManager() override;
    QSslConfiguration sslConfiguration() const override;
    int nextRequestId() override;
    void setLastActivity(qint64 msecsSinceEpoch) override;
    void setXsrfToken(const QByteArray &token) override;
    QByteArray xsrfToken() const override;
    QString transportKey() const override;
    void setTransportKey(const QString &key) override;
    QString serverKey() const override;
    void setUser(const User &user) override;
    void setLoggedIn(bool loggedIn) override;
    bool isLoggedIn() const override;
    void requestSuccessful() override;
    void requestFailed(ErrorCode code) override;

    // The entry is copied, so the session never points into a list that may go away first.
    void setServer(const ServerInfo &server);
    const ServerInfo *server() const;

    qint64 userId() const;
    QString userName() const;
    const User &user() const { return m_user; }

    void resetSession();
    void checkServer();
    void getClientVersion(ResultCallback<ClientVersionTO_v1> callback);
    void checkSessionStatus();
    // The upload of a local file as a new file (empty object id) or a new version, for the
    // synchroniser; FilesafeRI::sendRemoteFileAction does the work with the published record.
    void sendRemoteFileAction(QString objectId, QString localFilePath, QString destinationId,
                              ResultCallback<FilesafeObjectsTO_v2> callback,
                              std::function<void(qint64, qint64)> progress);

    bool isClientSessionExpired() const;
    qint64 msecsSinceLastActivity() const;

    ProxyAuthState proxyAuthState() const { return m_proxyAuthState; }

    static QString sessionStateName(SessionState state);
    static QString proxyAuthStateName(int state);

    // Paths of the version query and the session validation for the record's interface generation.
    static QString versionPath();
    static QString clientValidationPath();

signals:
    void sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);
    void serverAuthenticationRequired(QNetworkReply *reply, QAuthenticator *auth);
    void proxyAuthenticationRequired(QNetworkProxy proxy, QAuthenticator *auth, bool *canceled);
    void sslErrors(int sessionId, R7Session *s, QNetworkReply *reply, QList<QSslError> errors);

public slots:
    void on_finishedCheckSessionStatus(const EmptyResult &result);
    void on_serverAuthenticationRequired(QNetworkReply *reply, QAuthenticator *auth);
    void on_networkAccessManagerSslErrors(QNetworkReply *reply, QList<QSslError> errors);
    void on_proxyAuthenticationRequired(QNetworkProxy proxy, QAuthenticator *auth);
    void on_setCookieJsessionidReceived(QNetworkCookie cookie, QUrl url);

private:
    R7Session();
    void connectNetworkAccessManager();
    bool askForProxyCredentials(const QNetworkProxy &proxy, QAuthenticator *auth);
    void resetSession(ErrorCode pendingCode, const QString &reason);

    static int s_instanceCount;

    int m_instance = 0;
    std::optional<ServerInfo> m_server;
    QNetworkAccessManager *m_nam = nullptr;
    QSslConfiguration m_sslConfiguration;
    SslUtil *m_sslUtil = nullptr;
    ProxyAuthState m_proxyAuthState = PROXYAUTH_NONE;
    int m_proxyAuthCalls = 0;
    NetProxy *m_pendingProxy = nullptr;
    User m_user;
    QString m_transportKey;
    QByteArray m_xsrfToken;
    qint64 m_lastActivity = 0;
    bool m_loggedIn = false;
    bool m_statusCheckStarted = false;
    bool m_validationPending = false;
    bool m_resetting = false;
};

Q_DECLARE_METATYPE(R7Session::SessionState)
