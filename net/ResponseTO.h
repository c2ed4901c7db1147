#pragma once

#include <QJsonObject>
#include <QString>

// The service's reply envelope {"status", "message", "data"}.
class ResponseTO
{
public:
    // Reads "status" (required), "message" (optional) and, on status 0, "data" (optional); the
    // fields change only when every read succeeded.
    bool fromJson(const QJsonObject &json);

    int status() const { return m_status; }
    const QString &message() const { return m_message; }
    const QJsonObject &data() const { return m_data; }
    const QString &errorText() const { return m_errorText; }
    void setErrorText(const QString &text) { m_errorText = text; }

private:
    int m_status = 0;
    QString m_message;
    QJsonObject m_data;
    QString m_errorText;
};
