#include "net/EmptyPasswordTO.h"

#include "net/JsonUtil.h"

bool EmptyPasswordTO::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const QString id = JsonUtil::getString(json, QStringLiteral("id"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString title = JsonUtil::getString(json, QStringLiteral("title"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString username = JsonUtil::getString(json, QStringLiteral("username"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString url = JsonUtil::getString(json, QStringLiteral("url"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString comment = JsonUtil::getString(json, QStringLiteral("comment"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    m_id = id;
    m_title = title;
    m_username = username;
    m_url = url;
    m_comment = comment;
    return true;
}
