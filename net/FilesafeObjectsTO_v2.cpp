#include "net/FilesafeObjectsTO_v2.h"

#include "net/JsonUtil.h"

bool FilesafeObjectsTO_v2::fromJson(const QJsonObject &json)
{
    QList<FilesafeObject> list;
    if (!JsonUtil::getList(json, QStringLiteral("filesafe_objects"), true, &FilesafeObject::errorString, &list,
                           &m_error)) {
        return false;
    }
    filesafeObjects = list;
    m_error.clear();
    return true;
}

int FilesafeObjectsTO_v2::countByType(const QString &type) const
{
    int count = 0;
    for (const FilesafeObject &object : filesafeObjects) {
        if (object.type == type) {
            ++count;
        }
    }
    return count;
}

QString FilesafeObjectsTO_v2::toString() const
{
    QStringList parts;
    parts.reserve(filesafeObjects.size());
    for (const FilesafeObject &object : filesafeObjects) {
        parts.append(object.toString());
    }
    return QStringLiteral("filesafe_objects:[") + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}
