#include "net/SinglePasswordTO.h"

#include "net/JsonUtil.h"

bool SinglePasswordTO::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const QString id = JsonUtil::getString(json, QStringLiteral("id"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString password = JsonUtil::getString(json, QStringLiteral("password"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString iv = JsonUtil::getString(json, QStringLiteral("transportIv"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    m_id = id;
    m_password = password;
    m_transportIv = iv;
    return true;
}
