#include "net/ServerInfo.h"

ServerInfo::ServerInfo(const QString &prefix, const QString &group, const QString &name, const QString &url, bool ssl)
    : m_prefix(prefix)
    , m_group(group)
    , m_name(name)
    , m_url(url)
    , m_ssl(ssl)
{}
