#include "net/EmptyPasswordsTO.h"

#include "net/JsonUtil.h"

#include <algorithm>

bool EmptyPasswordsTO::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const int max = JsonUtil::getInt(json, QStringLiteral("passwordsMax"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    QList<EmptyPasswordTO> list;
    if (!JsonUtil::getList(json, QStringLiteral("passwords"), true, &EmptyPasswordTO::error, &list, &m_error)) {
        return false;
    }
    std::sort(list.begin(), list.end());
    m_passwords = list;
    m_passwordsMax = max;
    return true;
}
