#pragma once

#include <QJsonObject>
#include <QString>

// The payload of calls that return no data.
class Nothing
{
public:
    bool fromJson(const QJsonObject &, QString &errorText)
    {
        errorText.clear();
        return true;
    }
};
