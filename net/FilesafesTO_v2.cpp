#include "net/FilesafesTO_v2.h"

#include "net/JsonUtil.h"

#include <QJsonArray>

#include <algorithm>

bool FilesafesTO_v2::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const QJsonArray array = JsonUtil::getArray(json, QStringLiteral("filesafes"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    QList<FilesafeTO_v2> list;
    list.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject element = JsonUtil::toObject(value, &ok, &m_error);
        if (!ok) {
            return false;
        }
        FilesafeTO_v2 safe;
        if (!safe.fromJson(element)) {
            m_error = safe.errorString();
            return false;
        }
        list.append(safe);
    }
    std::sort(list.begin(), list.end());
    filesafes = list;
    m_error.clear();
    return true;
}

QString FilesafesTO_v2::accessOf(const QString &safeId) const
{
    QString access;
    for (const FilesafeTO_v2 &safe : filesafes) {
        if (safe.safeId == safeId) {
            access = safe.access;
        }
    }
    return access;
}

QString FilesafesTO_v2::toString() const
{
    QStringList parts;
    parts.reserve(filesafes.size());
    for (const FilesafeTO_v2 &safe : filesafes) {
        parts.append(safe.toString());
    }
    return QStringLiteral("filesafes:[") + parts.join(QLatin1Char('\'')) + QLatin1Char(']');
}
