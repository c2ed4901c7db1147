#pragma once

#include "net/ServerInfo.h"

#include <QList>
#include <QObject>

class AppInfo;
class QStringListModel;

// The brand's built-in servers, the one in use and the primary one. The choice is kept in "net/server".
class ServerList : public QObject
{
    Q_OBJECT
public:
    ServerList(const AppInfo &appInfo, QObject *parent = nullptr);
    ~ServerList() override;

    void initSelectedServer();

    ServerInfo &currentServer() const { return *m_current; }
    ServerInfo &primaryServer() const { return *m_primary; }
    // The same entry, not merely an equal one.
    bool isPrimarySelected() const { return m_current == m_primary; }

    void setSelectedServer(ServerInfo &server);
    void setCustomServerUrl(const QString &url);

    ServerInfo *findByName(const QString &name) const;
    ServerInfo *findByPrefix(const QString &prefix) const;
    ServerInfo *findByUrl(const QString &url) const;

    // Owned by the caller.
    QStringListModel *createServerNameModel() const;

    const QList<ServerInfo *> &servers() const { return m_servers; }

private:
    QList<ServerInfo *> m_servers;
    ServerInfo *m_current = nullptr;
    ServerInfo *m_primary = nullptr;
};
