#include "net/AesCryptDevice.h"

#include "net/crypto/CipherCalculator.h"
#include "net/crypto/Codec.h"

#include <openssl/evp.h>

#include <algorithm>

namespace {
// Bounds what one read takes from the source whatever size the caller asks for.
constexpr qint64 kMaxSourceRead = 1024 * 1024;
constexpr int kIvBytes = 16;
} // namespace

AesCryptDevice::AesCryptDevice(const QByteArray &key, const QString &ivText, QIODevice *source, QObject *parent)
    : QIODevice(parent)
    , m_source(source)
    , m_ivText(ivText)
    , m_key(key)
{
    m_cipherReady = startCipher();
}

AesCryptDevice::~AesCryptDevice()
{
    close();
}

bool AesCryptDevice::startCipher()
{
    m_cipher = std::make_unique<CipherCalculator>();
    m_finished = false;
    QByteArray iv;
    if (!Codec::hexToBytesExact(m_ivText, kIvBytes, &iv)) {
        return false;
    }
    return m_cipher->encryptInit(EVP_aes_256_cbc(), m_key, iv);
}

bool AesCryptDevice::isSequential() const
{
    return false;
}

bool AesCryptDevice::open(OpenMode mode)
{
    if (isOpen() || (mode & ReadWrite) == ReadWrite || !m_source || !m_cipherReady) {
        return false;
    }
    if (m_source->isOpen()) {
        // Unbuffered is how a device reads, not what it may do (QBuffer always adds it).
        if ((m_source->openMode() & ~Unbuffered) != (mode & ~Unbuffered)) {
            return false;
        }
    } else if (!m_source->open(mode)) {
        return false;
    }
    // A pipe or another stream has no size to announce.
    if (m_source->isSequential()) {
        m_source->close();
        return false;
    }
    m_plainSize = m_source->size();
    m_plainRead = m_source->pos();
    // Our own buffering would only copy the ciphertext once more.
    return QIODevice::open(mode | Unbuffered);
}

void AesCryptDevice::close()
{
    if (!isOpen()) {
        return;
    }
    if (m_source) {
        m_source->close();
    }
    QIODevice::close();
}

qint64 AesCryptDevice::cipherSize(qint64 plainSize)
{
    return (plainSize / 16 + 1) * 16;
}

qint64 AesCryptDevice::size() const
{
    if (m_plainSize >= 0) {
        return cipherSize(m_plainSize);
    }
    return cipherSize(m_source ? m_source->size() : 0);
}

bool AesCryptDevice::seek(qint64 pos)
{
    if (!isOpen()) {
        return false;
    }
    if (pos == this->pos()) {
        return QIODevice::seek(pos);
    }
    if (pos != 0) {
        return false;
    }
    // A rewind restarts the whole encryption from the first plain byte.
    if (!m_source->seek(0)) {
        return false;
    }
    m_plainRead = 0;
    m_surplus.clear();
    m_surplusPos = 0;
    m_cipherReady = startCipher();
    if (!m_cipherReady) {
        return false;
    }
    return QIODevice::seek(0);
}

qint64 AesCryptDevice::drainSurplus(char *data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(m_surplus.size() - m_surplusPos, maxSize);
    if (n <= 0) {
        return 0;
    }
    memcpy(data, m_surplus.constData() + m_surplusPos, size_t(n));
    m_surplusPos += n;
    if (m_surplusPos == m_surplus.size()) {
        m_surplus.clear();
        m_surplusPos = 0;
    }
    return n;
}

qint64 AesCryptDevice::fail(const QString &why)
{
    setErrorString(why);
    return -1;
}

qint64 AesCryptDevice::readData(char *data, qint64 maxSize)
{
    if (!m_cipherReady) {
        return fail(QStringLiteral("encryption not initialised"));
    }
    qint64 written = drainSurplus(data, maxSize);
    while (written < maxSize && m_surplus.isEmpty() && m_plainRead < m_plainSize) {
        const qint64 want = std::min({maxSize - written, m_plainSize - m_plainRead, kMaxSourceRead});
        if (m_readBuffer.size() < want) {
            m_readBuffer.resize(int(want));
        }
        const qint64 got = m_source->read(m_readBuffer.data(), want);
        if (got < 0) {
            return fail(QStringLiteral("cannot read the source: %1").arg(m_source->errorString()));
        }
        if (got == 0) {
            // The file shrank after it was opened: the announced length can no longer be kept.
            return fail(QStringLiteral("the source ended after %1 of %2 bytes").arg(m_plainRead).arg(m_plainSize));
        }
        m_plainRead += got;
        if (!m_cipher->encryptUpdate(QByteArray::fromRawData(m_readBuffer.constData(), int(got)))) {
            return fail(QStringLiteral("encryption failed"));
        }
        const QByteArray out = m_cipher->takeResult();
        const qint64 direct = std::min<qint64>(out.size(), maxSize - written);
        memcpy(data + written, out.constData(), size_t(direct));
        written += direct;
        if (direct < out.size()) {
            m_surplus = out;
            m_surplusPos = direct;
        }
    }
    if (m_plainRead >= m_plainSize && !m_finished) {
        if (!m_cipher->encryptFinal()) {
            return fail(QStringLiteral("encryption failed"));
        }
        m_finished = true;
        const QByteArray last = m_cipher->takeResult();
        if (m_surplus.isEmpty()) {
            m_surplus = last;
            m_surplusPos = 0;
        } else {
            m_surplus.append(last);
        }
        written += drainSurplus(data + written, maxSize - written);
    }
    return written;
}

qint64 AesCryptDevice::writeData(const char *, qint64)
{
    return -1;
}
