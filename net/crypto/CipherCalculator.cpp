#include "net/crypto/CipherCalculator.h"

#include <climits>

namespace {

const int kUpdateEncryptMargin = 32;
const int kUpdateDecryptMargin = 128;
const int kFinalMargin = 32;

unsigned char *bytes(QByteArray &array, int offset)
{
    return reinterpret_cast<unsigned char *>(array.data()) + offset;
}

const unsigned char *bytes(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

} // namespace

CipherCalculator::CipherCalculator()
    : m_context(EVP_CIPHER_CTX_new())
{}

CipherCalculator::~CipherCalculator()
{
    EVP_CIPHER_CTX_free(m_context);
}

bool CipherCalculator::init(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv, bool encrypt)
{
    if (!m_context || !cipher || key.size() != EVP_CIPHER_get_key_length(cipher) ||
        iv.size() != EVP_CIPHER_get_iv_length(cipher)) {
        return false;
    }
    return EVP_CipherInit_ex(m_context, cipher, nullptr, bytes(key), bytes(iv), encrypt ? 1 : 0) == 1;
}

bool CipherCalculator::encryptInit(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv)
{
    return init(cipher, key, iv, true);
}

bool CipherCalculator::decryptInit(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv)
{
    return init(cipher, key, iv, false);
}

bool CipherCalculator::reserve(qint64 margin)
{
    const qint64 needed = qint64(m_outputLength) + margin;
    if (needed > INT_MAX) {
        return false;
    }
    if (m_output.size() < needed) {
        m_output.resize(static_cast<int>(needed));
    }
    return true;
}

bool CipherCalculator::update(UpdateFunction function, const QByteArray &input, int margin)
{
    if (!m_context || !reserve(qint64(input.size()) + margin)) {
        return false;
    }
    int written = 0;
    if (function(m_context, bytes(m_output, m_outputLength), &written, bytes(input), input.size()) != 1) {
        return false;
    }
    m_outputLength += written;
    return true;
}

bool CipherCalculator::finish(FinalFunction function)
{
    if (!m_context || !reserve(kFinalMargin)) {
        return false;
    }
    int written = 0;
    if (function(m_context, bytes(m_output, m_outputLength), &written) != 1) {
        return false;
    }
    m_outputLength += written;
    return true;
}

bool CipherCalculator::encryptUpdate(const QByteArray &input)
{
    return update(&EVP_EncryptUpdate, input, kUpdateEncryptMargin);
}

bool CipherCalculator::decryptUpdate(const QByteArray &input)
{
    return update(&EVP_DecryptUpdate, input, kUpdateDecryptMargin);
}

bool CipherCalculator::encryptFinal()
{
    return finish(&EVP_EncryptFinal_ex);
}

bool CipherCalculator::decryptFinal()
{
    return finish(&EVP_DecryptFinal_ex);
}

QByteArray CipherCalculator::takeResult()
{
    QByteArray result = std::move(m_output);
    result.resize(m_outputLength);
    m_output = QByteArray();
    m_outputLength = 0;
    return result;
}
