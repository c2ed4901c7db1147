#include "net/crypto/CredCrypt.h"

#include "net/crypto/AesCipher.h"

namespace {

// Stored values depend on these: changing either makes every saved secret unreadable.
const char kStoredKey[] = "1f49f49976be7ce4f7bf11df3b7f9fa8100ea70a87da3f7302c525b95deaa9a5";
const char kStoredIv[] = "5b0fec94449910b74ebd84a113a46733";

} // namespace

bool CredCrypt::encryptStored(const QString &plain, QString *out)
{
    QString encrypted;
    if (!out || !AesCipher(QLatin1String(kStoredKey)).encryptString(plain, encrypted, QLatin1String(kStoredIv))) {
        return false;
    }
    *out = encrypted;
    return true;
}

bool CredCrypt::decryptStored(const QString &cipherHex, QString *out)
{
    QString plain;
    if (!out || !AesCipher(QLatin1String(kStoredKey)).decryptHexToString(cipherHex, plain, QLatin1String(kStoredIv))) {
        return false;
    }
    *out = plain;
    return true;
}
