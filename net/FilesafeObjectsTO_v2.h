#pragma once

#include "net/FilesafeObject.h"

#include <QList>

// The objects of a listing, a folder creation or an upload, in the service's order.
class FilesafeObjectsTO_v2
{
public:
    QList<FilesafeObject> filesafeObjects;

    bool fromJson(const QJsonObject &json);
    bool fromJson(const QJsonObject &json, QString &errorText)
    {
        const bool ok = fromJson(json);
        errorText = m_error;
        return ok;
    }
    const QString &errorString() const { return m_error; }

    int countByType(const QString &type) const;
    QString toString() const;

private:
    QString m_error;
};
