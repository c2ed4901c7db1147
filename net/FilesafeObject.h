#pragma once

#include "net/JsonRecord.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

class FsObject;

// One folder ("d") or file ("f") inside a file safe.
class FilesafeObject : public JsonRecord<FilesafeObject>
{
public:
    QString objectId;
    QString path;
    qint64 size = 0;
    QString mtime;
    QString access;
    QString type;
    QString checksum;

    // Refuses a path that could leave the synchronised folder once joined to it (see isSafePath).
    bool fromJson(const QJsonObject &json);
    using JsonRecord<FilesafeObject>::fromJson;
    // The same; with refuseUnsafePath false the path is taken as sent, for a caller that checks
    // every path itself and reports the one it refuses.
    bool read(const QJsonObject &json, bool refuseUnsafePath);
    const QString &errorString() const { return m_error; }

    bool isDirectChildOf(const QString &parentPath) const;
    bool isDirectChildOf(const FilesafeObject &parent) const { return isDirectChildOf(parent.path); }
    bool isBelow(const FilesafeObject &other) const;
    QString fileName() const;
    // The synchroniser's record of this object; the local modification time stays null.
    FsObject toFsObject() const;
    QString toString() const;

    // False for an element "." or "..", an empty element between two separators, or a NUL.
    // A single leading and a single trailing "/" are allowed.
    static bool isSafePath(const QString &path);
    static QStringList pathParts(const QString &path);
};
