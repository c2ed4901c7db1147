#pragma once

#include <QJsonObject>
#include <QString>

// The reader with an error text that sendJsonRequest calls, for a record whose own
// fromJson(const QJsonObject &) leaves the text of its last failure in m_error. A record names
// it beside its own reader with `using JsonRecord<Record>::fromJson;`.
template<typename Record>
class JsonRecord
{
public:
    bool fromJson(const QJsonObject &json, QString &errorText)
    {
        const bool ok = static_cast<Record *>(this)->fromJson(json);
        errorText = m_error;
        return ok;
    }

protected:
    QString m_error;
};
