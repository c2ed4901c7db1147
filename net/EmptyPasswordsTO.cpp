#include "net/EmptyPasswordsTO.h"

#include "net/JsonUtil.h"

#include <QJsonArray>

#include <algorithm>

bool EmptyPasswordsTO::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const int max = JsonUtil::getInt(json, QStringLiteral("passwordsMax"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QJsonArray array = JsonUtil::getArray(json, QStringLiteral("passwords"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    QList<EmptyPasswordTO> list;
    list.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject object = JsonUtil::toObject(value, &ok, &m_error);
        if (!ok) {
            return false;
        }
        EmptyPasswordTO entry;
        if (!entry.fromJson(object)) {
            m_error = entry.error();
            return false;
        }
        list.append(entry);
    }
    std::sort(list.begin(), list.end());
    m_passwords = list;
    m_passwordsMax = max;
    return true;
}

bool EmptyPasswordsTO::fromJson(const QJsonObject &json, QString &errorText)
{
    const bool ok = fromJson(json);
    errorText = m_error;
    return ok;
}
