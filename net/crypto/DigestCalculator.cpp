#include "net/crypto/DigestCalculator.h"

#include "net/crypto/BigNum.h"

#include <openssl/bn.h>

#include <cstring>
#include <vector>

namespace {
bool s_failInitialisation = false;
} // namespace

void DigestCalculator::setFailInitialisation(bool fail)
{
    s_failInitialisation = fail;
}

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
    if (!m_initialised && !m_failed) {
        m_initialised =
                !s_failInitialisation && m_context && m_digest && EVP_DigestInit_ex(m_context, m_digest, nullptr) == 1;
        m_failed = !m_initialised;
    }
    return m_initialised;
}

void DigestCalculator::update(const void *data, int length)
{
    if (begin() && data && length > 0 && EVP_DigestUpdate(m_context, data, static_cast<size_t>(length)) != 1) {
        m_failed = true;
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

int DigestCalculator::size() const
{
    const int size = m_digest ? EVP_MD_get_size(m_digest) : 0;
    return size > 0 ? size : 0;
}

int DigestCalculator::finish(unsigned char *out)
{
    const int length = size();
    if (length <= 0) {
        m_failed = false;
        m_initialised = false;
        return 0;
    }
    unsigned int written = 0;
    // A message without any update is the empty message.
    if (!begin() || m_failed || EVP_DigestFinal_ex(m_context, out, &written) != 1 || int(written) != length) {
        std::memset(out, 0, static_cast<size_t>(length));
        m_failed = true;
    }
    m_initialised = false;
    return length;
}

bool DigestCalculator::final(unsigned char *out)
{
    if (!out) {
        return false;
    }
    const bool ok = finish(out) > 0 && !m_failed;
    m_failed = false;
    return ok;
}

bool DigestCalculator::finalToBigNum(BigNum &number)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    const int length = finish(out);
    const bool ok = length > 0 && !m_failed;
    m_failed = false;
    BN_bin2bn(out, length, number.bn());
    return ok;
}
