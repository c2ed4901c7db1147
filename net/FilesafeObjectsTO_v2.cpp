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

bool FilesafeObjectsTO_v2::fromJsonKeepingUnsafePaths(const QJsonObject &json, QString &errorText)
{
    bool ok = false;
    const QJsonArray array = JsonUtil::getArray(json, QStringLiteral("filesafe_objects"), true, &ok, &errorText);
    if (!ok) {
        return false;
    }
    QList<FilesafeObject> list;
    list.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject element = JsonUtil::toObject(value, &ok, &errorText);
        if (!ok) {
            return false;
        }
        FilesafeObject object;
        if (!object.read(element, false)) {
            errorText = object.errorString();
            return false;
        }
        list.append(object);
    }
    filesafeObjects = list;
    errorText.clear();
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
