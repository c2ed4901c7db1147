#pragma once

#include "net/EmptyPasswordTO.h"

#include <QJsonDocument>
#include <QString>

// The write record of creating and updating an entry: the entry plus its encrypted secret.
class PasswordTO : public EmptyPasswordTO
{
public:
    void setId(const QString &id) { m_id = id; }
    // Hexadecimal ciphertext and its 32-digit IV.
    void setPassword(const QString &password) { m_password = password; }
    void setTransportIv(const QString &iv) { m_transportIv = iv; }
    const QString &password() const { return m_password; }
    const QString &transportIv() const { return m_transportIv; }

    // The request body: six members, the id travels in the path.
    QJsonDocument toJson() const;

private:
    QString m_password;
    QString m_transportIv;
};
