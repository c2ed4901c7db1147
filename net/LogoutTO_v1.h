#pragma once

#include "net/JsonRecord.h"

#include <QJsonObject>
#include <QString>

// The sign-out reply.
class LogoutTO_v1 : public JsonRecord<LogoutTO_v1>
{
public:
    bool fromJson(const QJsonObject &json);
    using JsonRecord<LogoutTO_v1>::fromJson;

    bool success() const { return m_success; }
    const QString &message() const { return m_message; }
    const QString &error() const { return m_error; }

private:
    bool m_success = true;
    QString m_message;
};
