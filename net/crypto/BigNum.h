#pragma once

#include <QString>

#include <openssl/bn.h>

// Owns one OpenSSL number and the scratch context its arithmetic needs. A new number is zero.
// Construction throws R7Exception when OpenSSL cannot allocate.
class BigNum
{
public:
    BigNum();
    explicit BigNum(int value);
    // Reads the leading hexadecimal digits of the text (either case); a text without any gives zero.
    explicit BigNum(const char *hex);
    explicit BigNum(const QString &hex);
    ~BigNum();

    BigNum(const BigNum &) = delete;
    BigNum &operator=(const BigNum &) = delete;

    // Lower-case, two digits per byte, no leading zero bytes; zero is the empty text.
    QString toHex() const;

    bool operator==(const BigNum &other) const;
    bool operator!=(const BigNum &other) const { return !(*this == other); }

    BIGNUM *bn() const { return m_bn; }
    BN_CTX *ctx() const { return m_ctx; }

private:
    void init();
    void setHex(const QByteArray &hex);

    BIGNUM *m_bn = nullptr;
    BN_CTX *m_ctx = nullptr;
};
