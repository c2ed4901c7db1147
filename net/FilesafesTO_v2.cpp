#include "net/FilesafesTO_v2.h"

#include "net/JsonUtil.h"

#include <algorithm>

bool FilesafesTO_v2::fromJson(const QJsonObject &json)
{
    QList<FilesafeTO_v2> list;
    if (!JsonUtil::getList(json, QStringLiteral("filesafes"), true, &FilesafeTO_v2::errorString, &list, &m_error)) {
        return false;
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
