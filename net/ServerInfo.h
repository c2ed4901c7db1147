#pragma once

#include <QMetaType>
#include <QString>

// One entry of the server list: a deployment of the service the client can talk to.
class ServerInfo
{
public:
    ServerInfo() = default;
    ServerInfo(const QString &prefix, const QString &group, const QString &name, const QString &url, bool ssl);

    const QString &prefix() const { return m_prefix; }
    const QString &group() const { return m_group; }
    const QString &name() const { return m_name; }
    const QString &url() const { return m_url; }
    bool ssl() const { return m_ssl; }

    // Only the custom entry's address changes after construction.
    void setUrl(const QString &url) { m_url = url; }

private:
    QString m_prefix;
    QString m_group;
    QString m_name;
    QString m_url;
    bool m_ssl = false;
};

Q_DECLARE_METATYPE(ServerInfo)
