#pragma once

#include <QByteArray>
#include <QString>

#include <openssl/evp.h>

// AES-256-CBC with PKCS#7 padding under one key. Every operation takes its IV as exactly 32
// hexadecimal digits and fails, output untouched, on anything else, on a key that is not exactly
// 64 hexadecimal digits, or when OpenSSL fails. Failures carry no message; callers word them.
class AesCipher
{
public:
    explicit AesCipher(const QString &keyHex);

    bool encrypt(const QByteArray &input, QByteArray &output, const QString &ivHex) const;
    bool decrypt(const QByteArray &input, QByteArray &output, const QString &ivHex) const;
    // UTF-8 bytes of the text in, lower-case hexadecimal ciphertext out.
    bool encryptString(const QString &text, QString &output, const QString &ivHex) const;
    bool decryptHexToString(const QString &cipherHex, QString &output, const QString &ivHex) const;

    // Empty when the key text was refused.
    QByteArray key;
    const EVP_CIPHER *cipher;

private:
    bool run(bool encrypting, const QByteArray &input, QByteArray &output, const QString &ivHex) const;
};
