#include "net/ResponseTO.h"

#include "net/JsonUtil.h"

bool ResponseTO::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const int status = JsonUtil::getInt(json, QStringLiteral("status"), true, &ok, &m_errorText);
    if (!ok) {
        return false;
    }
    const QString message = JsonUtil::getString(json, QStringLiteral("message"), false, &ok, &m_errorText);
    if (!ok) {
        return false;
    }
    QJsonObject data;
    if (status == 0) {
        data = JsonUtil::getObject(json, QStringLiteral("data"), false, &ok, &m_errorText);
        if (!ok) {
            return false;
        }
    }
    m_status = status;
    m_message = message;
    m_data = data;
    return true;
}
