#pragma once

#include <QJsonObject>
#include <QString>

// The payload of calls that return no data. Decoding it from any object succeeds.
class Nothing
{
public:
    bool fromJson(const QJsonObject &) { return true; }
    bool fromJson(const QJsonObject &, QString &errorText)
    {
        errorText.clear();
        return true;
    }
    QString errorString() const { return QString(); }
};
