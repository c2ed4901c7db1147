#pragma once

#include "net/FilesafeTO_v2.h"
#include "net/JsonRecord.h"

#include <QList>

// The safe list of the signed-in account, kept in the order of FilesafeTO_v2::operator<.
class FilesafesTO_v2 : public JsonRecord<FilesafesTO_v2>
{
public:
    QList<FilesafeTO_v2> filesafes;

    bool fromJson(const QJsonObject &json);
    using JsonRecord<FilesafesTO_v2>::fromJson;
    const QString &errorString() const { return m_error; }

    // The access letters of the safe with this id (the last one wins); empty when none has it.
    QString accessOf(const QString &safeId) const;
    QString toString() const;
};
