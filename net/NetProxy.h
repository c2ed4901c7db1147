#pragma once

#include <QNetworkProxy>
#include <QString>

class QAuthenticator;

// One saved proxy credential (host:port, user, password), and the proxy situation for the log.
// Only one credential is kept: saving another proxy's replaces it.
class NetProxy
{
public:
    NetProxy() = default;

    const QString &url() const { return m_url; }
    const QString &user() const { return m_user; }
    const QString &password() const { return m_password; }
    void setUrl(const QString &host, int port);
    void setUser(const QString &user) { m_user = user; }
    void setPassword(const QString &password) { m_password = password; }

    bool loadFromSettings(const QString &proxyUrl);
    bool loadFromSettings(const QString &host, int port);
    void saveToSettings() const;
    static bool removeFromSettings(const QString &proxyUrl);
    static bool removeFromSettings(const QString &host, int port);

    static void checkNetworkProxy(const QString &serverUrl);
    static QString toString(const QNetworkProxy &proxy);
    static QString authenticatorToString(const QAuthenticator &auth);
    static QString proxyTypeName(int type);

    static QString key(const QString &host, int port);

private:
    QString m_url;
    QString m_user;
    QString m_password;
};
