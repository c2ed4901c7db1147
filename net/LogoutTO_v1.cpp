#include "net/LogoutTO_v1.h"

#include "net/JsonUtil.h"

bool LogoutTO_v1::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const bool success = JsonUtil::getBool(json, QStringLiteral("success"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString message = JsonUtil::getString(json, QStringLiteral("message"), false, &ok, &m_error);
    if (!ok) {
        return false;
    }
    m_success = success;
    m_message = message;
    return true;
}
