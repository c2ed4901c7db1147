#pragma once

#include <QJsonObject>
#include <QString>

// The sign-out reply.
class LogoutTO_v1
{
public:
    bool fromJson(const QJsonObject &json);
    bool fromJson(const QJsonObject &json, QString &errorText);

    bool success() const { return m_success; }
    const QString &message() const { return m_message; }
    const QString &error() const { return m_error; }

private:
    bool m_success = true;
    QString m_message;
    QString m_error;
};
