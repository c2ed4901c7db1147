#pragma once

#include "net/JsonRecord.h"

#include <QJsonObject>
#include <QString>

// One entry's secret as hexadecimal ciphertext with its IV; also the argument of the breached check.
class SinglePasswordTO : public JsonRecord<SinglePasswordTO>
{
public:
    bool fromJson(const QJsonObject &json);
    using JsonRecord<SinglePasswordTO>::fromJson;

    const QString &id() const { return m_id; }
    const QString &password() const { return m_password; }
    const QString &transportIv() const { return m_transportIv; }
    const QString &error() const { return m_error; }

    void setPassword(const QString &password) { m_password = password; }
    void setTransportIv(const QString &iv) { m_transportIv = iv; }

private:
    QString m_id;
    QString m_password;
    QString m_transportIv;
};
