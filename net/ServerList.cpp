#include "net/ServerList.h"

#include "core/AppInfo.h"

#include <QSettings>
#include <QStringListModel>

namespace {
const char kServerKey[] = "net/server";

struct Row
{
    const char *brand;
    const char *prefix;
    const char *group;
    const char *name;
    const char *url;
    bool ssl;
};

// Deployment addresses of each brand; every address names its port.
const Row kRows[] = {
        {"varnel", "PROD", "PROD", "Tessarvale", "https://sync.varnel.example:443", true},
        {"varnel", "PRD2", "PROD", "Prod www", "https://www.varnel.example:443", true},
        {"varnel", "PRD3", "PROD", "Prod IP", "https://192.0.2.10:443", true},
        {"varnel", "IT1", "IT1", "Test IT1", "https://it1.varnel.example:443", true},
        {"varnel", "IT2", "IT2", "Test IT2", "https://it2.varnel.example:443", true},
        {"varnel", "KT1", "KT1", "Test KT1", "https://kt1.varnel.example:443", true},
        {"tamsel", "TAPROD", "LUMOPROD", "Brightdex", "https://sync.tamsel.example:443", true},
        {"tamsel", "TATEST", "LUMOTEST", "Lumo Acceptance", "https://acceptance.tamsel.example:443", true},
        {"sorel", "SOPROD", "KESTPROD", "KestClient", "https://sync.sorel.example:443", true},
        {"sorel", "SOTEST", "KESTTEST", "KestClient Acceptance", "https://acceptance.sorel.example:443", true},
        {"sorel", "SODEV", "KESTDEV", "KestClient Development", "https://dev.sorel.example:443", true},
        {"sorel", "SONIGHTLY", "KESTNIGHTLY", "KestClient Nightly", "https://nightly.internal.sorel.example:443", true},
};
} // namespace

ServerList::ServerList(const AppInfo &appInfo, QObject *parent)
    : QObject(parent)
{
    for (const Row &row : kRows) {
        if (appInfo.brandKey == QLatin1String(row.brand)) {
            m_servers << new ServerInfo(QString::fromLatin1(row.prefix), QString::fromLatin1(row.group),
                                        QString::fromLatin1(row.name), QString::fromLatin1(row.url), row.ssl);
        }
    }
    m_servers << new ServerInfo(QStringLiteral("LOCALDEV"), QStringLiteral("LDEV"), QStringLiteral("LocalDev"),
                                QStringLiteral("http://localhost:8080"), false);
    m_servers << new ServerInfo(QStringLiteral("CUSTOM"), QStringLiteral("CUSTOM"), QStringLiteral("Custom"),
                                QStringLiteral("http://127.0.0.1:8080"), false);
    m_primary = m_servers.first();
    m_current = m_primary;
    initSelectedServer();
}

ServerList::~ServerList()
{
    qDeleteAll(m_servers);
}

void ServerList::initSelectedServer()
{
    const QString saved = QSettings().value(QLatin1String(kServerKey)).toString();
    qDebug("R7Application::initSelectedServer: saved server (prefix): '%s'", qUtf8Printable(saved));
    if (ServerInfo *s = findByPrefix(saved)) {
        m_current = s;
    }
}

void ServerList::setSelectedServer(ServerInfo &server)
{
    QSettings().setValue(QLatin1String(kServerKey), server.prefix());
    m_current = &server;
}

void ServerList::setCustomServerUrl(const QString &url)
{
    ServerInfo *custom = m_servers.last();
    custom->setUrl(url);
    setSelectedServer(*custom);
}

ServerInfo *ServerList::findByName(const QString &name) const
{
    for (ServerInfo *s : m_servers) {
        if (s->name() == name) {
            return s;
        }
    }
    return nullptr;
}

ServerInfo *ServerList::findByPrefix(const QString &prefix) const
{
    for (ServerInfo *s : m_servers) {
        if (s->prefix() == prefix) {
            return s;
        }
    }
    return nullptr;
}

ServerInfo *ServerList::findByUrl(const QString &url) const
{
    for (ServerInfo *s : m_servers) {
        if (s->url() == url) {
            return s;
        }
    }
    return nullptr;
}

QStringListModel *ServerList::createServerNameModel() const
{
    QStringList names;
    for (const ServerInfo *s : m_servers) {
        names << s->name();
    }
    return new QStringListModel(names);
}
