#pragma once

#include <QByteArray>

#include <openssl/evp.h>

// One streamed symmetric operation over an OpenSSL cipher context: init, updates, final.
// The output accumulates until takeResult drains it, so a stream can empty it after every chunk.
class CipherCalculator
{
public:
    CipherCalculator();
    virtual ~CipherCalculator();
    CipherCalculator(const CipherCalculator &) = delete;
    CipherCalculator &operator=(const CipherCalculator &) = delete;

    // The key and IV must have exactly the cipher's lengths; anything else is refused before
    // OpenSSL would read past them.
    bool encryptInit(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv);
    bool decryptInit(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv);
    bool encryptUpdate(const QByteArray &input);
    bool decryptUpdate(const QByteArray &input);
    bool encryptFinal();
    bool decryptFinal();

    QByteArray takeResult();

private:
    bool init(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv, bool encrypt);
    // Makes room for margin more bytes after what is held; false when that cannot be addressed.
    bool reserve(qint64 margin);
    // Encryption and decryption differ only in the OpenSSL call that writes the output.
    using UpdateFunction = decltype(&EVP_EncryptUpdate);
    using FinalFunction = decltype(&EVP_EncryptFinal_ex);
    bool update(UpdateFunction function, const QByteArray &input, int margin);
    bool finish(FinalFunction function);

    EVP_CIPHER_CTX *m_context = nullptr;
    QByteArray m_output;
    int m_outputLength = 0;
};
