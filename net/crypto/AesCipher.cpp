#include "net/crypto/AesCipher.h"

#include "net/crypto/CipherCalculator.h"
#include "net/crypto/Codec.h"

namespace {

const int kKeyLength = 32;
const int kIvLength = 16;

} // namespace

AesCipher::AesCipher(const QString &keyHex)
    : cipher(EVP_aes_256_cbc())
{
    // A key text that is not exactly 32 bytes of digits would otherwise shrink silently (the
    // lenient reader skips characters) and let OpenSSL read past the key.
    Codec::hexToBytesExact(keyHex, kKeyLength, &key);
}

bool AesCipher::run(bool encrypting, const QByteArray &input, QByteArray &output, const QString &ivHex) const
{
    QByteArray iv;
    if (key.size() != kKeyLength || !Codec::hexToBytesExact(ivHex, kIvLength, &iv)) {
        return false;
    }
    CipherCalculator calculator;
    const bool ok = encrypting ? calculator.encryptInit(cipher, key, iv) && calculator.encryptUpdate(input) &&
                                         calculator.encryptFinal()
                               : calculator.decryptInit(cipher, key, iv) && calculator.decryptUpdate(input) &&
                                         calculator.decryptFinal();
    if (!ok) {
        return false;
    }
    output = calculator.takeResult();
    return true;
}

bool AesCipher::encrypt(const QByteArray &input, QByteArray &output, const QString &ivHex) const
{
    return run(true, input, output, ivHex);
}

bool AesCipher::decrypt(const QByteArray &input, QByteArray &output, const QString &ivHex) const
{
    return run(false, input, output, ivHex);
}

bool AesCipher::encryptString(const QString &text, QString &output, const QString &ivHex) const
{
    QByteArray encrypted;
    if (!encrypt(text.toUtf8(), encrypted, ivHex)) {
        return false;
    }
    output = Codec::toHex(encrypted, QString());
    return true;
}

bool AesCipher::decryptHexToString(const QString &cipherHex, QString &output, const QString &ivHex) const
{
    QByteArray plain;
    if (!decrypt(Codec::hexToBytes(cipherHex), plain, ivHex)) {
        return false;
    }
    output = QString::fromUtf8(plain);
    return true;
}
