#include "net/crypto/DigestCalculator.h"

#include "net/crypto/BigNum.h"

#include <openssl/bn.h>

#include <cstring>
#include <vector>

DigestCalculator::DigestCalculator(const EVP_MD *digest)
    : m_context(EVP_MD_CTX_new())
    , m_digest(digest)
{}

DigestCalculator::~DigestCalculator()
{
    EVP_MD_CTX_free(m_context);
}

bool DigestCalculator::begin()
{
    if (!m_initialised && m_context && m_digest) {
        m_initialised = EVP_DigestInit_ex(m_context, m_digest, nullptr) == 1;
    }
    return m_initialised;
}

void DigestCalculator::update(const void *data, int length)
{
    if (begin() && data && length > 0) {
        EVP_DigestUpdate(m_context, data, static_cast<size_t>(length));
    }
}

void DigestCalculator::update(const char *text)
{
    update(text, text ? static_cast<int>(std::strlen(text)) : 0);
}

void DigestCalculator::update(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    update(utf8.constData());
}

void DigestCalculator::update(const BigNum &number)
{
    const int length = BN_num_bytes(number.bn());
    std::vector<unsigned char> bytes(static_cast<size_t>(length));
    BN_bn2bin(number.bn(), bytes.data());
    update(bytes.data(), length);
}

int DigestCalculator::finish(unsigned char *out)
{
    const int size = m_digest ? EVP_MD_get_size(m_digest) : 0;
    if (size <= 0) {
        return 0;
    }
    unsigned int written = 0;
    // A message without any update is the empty message.
    if (!begin() || EVP_DigestFinal_ex(m_context, out, &written) != 1) {
        std::memset(out, 0, static_cast<size_t>(size));
    }
    m_initialised = false;
    return size;
}

void DigestCalculator::final(unsigned char *out)
{
    if (out) {
        finish(out);
    }
}

void DigestCalculator::finalToBigNum(BigNum &number)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    const int size = finish(out);
    BN_bin2bn(out, size, number.bn());
}
