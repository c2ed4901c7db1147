#pragma once

#include "net/JsonRecord.h"

#include <QJsonObject>
#include <QMetaType>
#include <QString>

// One file safe of the signed-in account as the service lists it.
class FilesafeTO_v2 : public JsonRecord<FilesafeTO_v2>
{
public:
    QString safeId;
    QString type;
    QString name;
    QString access;
    qint64 storageQuota = 0;
    qint64 storageUsed = 0;
    QString expiryDate;
    bool hasTrash = false;
    QString rootFolderId;
    int roleType = 0;
    QString lastEvent;
    QString lastMod;

    // Takes over every field only when all keys were read; otherwise only the error text changes.
    bool fromJson(const QJsonObject &json);
    using JsonRecord<FilesafeTO_v2>::fromJson;
    const QString &errorString() const { return m_error; }

    bool operator==(const FilesafeTO_v2 &other) const { return safeId == other.safeId; }
    bool operator!=(const FilesafeTO_v2 &other) const { return !(*this == other); }
    // The order of the safe list: by type rank (highest first), then by type text or name.
    bool operator<(const FilesafeTO_v2 &other) const;

    static int typeRank(const QString &type);
    bool hasFullAccess() const;
    QString toString() const;
};

Q_DECLARE_METATYPE(FilesafeTO_v2)
