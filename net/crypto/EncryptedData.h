#pragma once

#include <QString>

// The input of a transport decryption: hexadecimal ciphertext and hexadecimal IV.
class EncryptedData
{
public:
    EncryptedData(const QString &ciphertext, const QString &iv)
        : m_ciphertext(ciphertext)
        , m_iv(iv)
    {}

    const QString &ciphertext() const { return m_ciphertext; }
    const QString &iv() const { return m_iv; }

private:
    QString m_ciphertext;
    QString m_iv;
};
