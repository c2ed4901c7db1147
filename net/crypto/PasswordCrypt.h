#pragma once

#include "net/crypto/AesCipher.h"
#include "net/crypto/EncryptedBytes.h"
#include "net/crypto/EncryptedData.h"

#include <QByteArray>
#include <QString>

// A password secret on the wire: AES-256-CBC under the session's transport key with a fresh IV.
// Failures are reported only through the error text; success leaves it untouched.
class PasswordCrypt
{
public:
    explicit PasswordCrypt(const QString &key);

    EncryptedBytes encryptPassword(const QByteArray &plaintext, QString *error) const;
    QString decryptPassword(const EncryptedData &data, QString *error) const;

private:
    AesCipher cipher;
};
