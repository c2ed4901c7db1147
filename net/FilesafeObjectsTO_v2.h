#pragma once

#include "net/FilesafeObject.h"
#include "net/JsonRecord.h"

#include <QList>

// The objects of a listing, a folder creation or an upload, in the service's order.
class FilesafeObjectsTO_v2 : public JsonRecord<FilesafeObjectsTO_v2>
{
public:
    QList<FilesafeObject> filesafeObjects;

    bool fromJson(const QJsonObject &json);
    using JsonRecord<FilesafeObjectsTO_v2>::fromJson;
    // For the synchroniser: objects with unsafe paths are kept, and it refuses them itself.
    bool fromJsonKeepingUnsafePaths(const QJsonObject &json, QString &errorText);
    const QString &errorString() const { return m_error; }

    int countByType(const QString &type) const;
    QString toString() const;
};
