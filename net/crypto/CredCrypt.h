#pragma once

#include <QString>

// The cipher of secrets kept on this machine (saved passwords, device values, the proxy
// password): AES-256-CBC under a built-in key and IV, lower-case hexadecimal text out.
class CredCrypt
{
public:
    CredCrypt() = delete;

    // On false the output is left as it was.
    static bool encryptStored(const QString &plain, QString *out);
    static bool decryptStored(const QString &cipherHex, QString *out);
};
