#pragma once

#include <QByteArray>
#include <QString>

#include <openssl/evp.h>

class BigNum;

// A message digest fed in pieces. The first update of a message starts it; final ends it, and the
// next update starts a fresh one. If OpenSSL fails anywhere in a message, final writes zeros rather
// than leaving the caller's buffer undefined and answers false: a file's checksum must never be
// the digest of part of it.
class DigestCalculator
{
public:
    explicit DigestCalculator(const EVP_MD *digest);
    virtual ~DigestCalculator();
    DigestCalculator(const DigestCalculator &) = delete;
    DigestCalculator &operator=(const DigestCalculator &) = delete;

    void update(const void *data, int length);
    // The bytes up to the terminating zero.
    void update(const char *text);
    // The UTF-8 bytes up to the first zero byte.
    void update(const QString &text);
    // The number's shortest unsigned big-endian bytes; zero adds nothing.
    void update(const BigNum &number);
    // Byte arrays may hold zeros; pass them as data and length.
    void update(const QByteArray &) = delete;

    // Writes the digest's full output (32 bytes for SHA-256); false when any step of the message
    // failed.
    bool final(unsigned char *out);
    bool finalToBigNum(BigNum &number);
    // The full output's size in bytes (0 for no digest).
    int size() const;

    // Test hook: every initialisation fails while set.
    static void setFailInitialisation(bool fail);

private:
    bool begin();
    int finish(unsigned char *out);

    EVP_MD_CTX *m_context = nullptr;
    const EVP_MD *m_digest = nullptr;
    bool m_initialised = false;
    bool m_failed = false;
};
