#include "net/crypto/PasswordCrypt.h"

#include "net/crypto/Codec.h"
#include "net/crypto/CryptoPrimitives.h"

namespace {

QString failureText(int number)
{
    return QStringLiteral("Error encrypting data! [AES encryption/decryption: %1]").arg(number);
}

} // namespace

PasswordCrypt::PasswordCrypt(const QString &key)
    : cipher(key)
{}

EncryptedBytes PasswordCrypt::encryptPassword(const QByteArray &plaintext, QString *error) const
{
    unsigned char ivBytes[16];
    // A generator that reports failure may leave a predictable IV: nothing is encrypted then.
    if (!randomBytes(ivBytes, sizeof(ivBytes))) {
        if (error) {
            *error = failureText(30);
        }
        return EncryptedBytes();
    }
    EncryptedBytes result;
    result.iv = Codec::bytesToHex(ivBytes, sizeof(ivBytes), QString());
    if (!cipher.encrypt(plaintext, result.ciphertext, result.iv)) {
        if (error) {
            *error = failureText(30);
        }
        return EncryptedBytes();
    }
    return result;
}

QString PasswordCrypt::decryptPassword(const EncryptedData &data, QString *error) const
{
    QString text;
    if (!cipher.decryptHexToString(data.ciphertext(), text, data.iv())) {
        if (error) {
            *error = failureText(31);
        }
        return QString();
    }
    return text;
}
