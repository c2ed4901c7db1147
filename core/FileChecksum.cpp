#include "core/FileChecksum.h"

#include "net/crypto/DigestCalculator.h"

#include <QByteArray>

#include <climits>

namespace {
const EVP_MD *digestOf(const QString &algorithm)
{
    if (algorithm == QLatin1String("md5"))
        return EVP_md5();
    if (algorithm == QLatin1String("sha1"))
        return EVP_sha1();
    if (algorithm == QLatin1String("sha256"))
        return EVP_sha256();
    if (algorithm == QLatin1String("sha512"))
        return EVP_sha512();
    return nullptr;
}
} // namespace

FileChecksum::FileChecksum(const QString &algorithm)
{
    if (const EVP_MD *md = digestOf(algorithm)) {
        m_algorithm = algorithm;
        m_digest = std::make_unique<DigestCalculator>(md);
    }
}

FileChecksum::~FileChecksum() = default;

bool FileChecksum::knows(const QString &algorithm)
{
    return digestOf(algorithm) != nullptr;
}

void FileChecksum::addData(const char *data, qint64 length)
{
    if (!m_digest)
        return;
    while (length > 0) {
        const int step = int(qMin<qint64>(length, INT_MAX / 2));
        m_digest->update(data, step);
        data += step;
        length -= step;
    }
}

QString FileChecksum::result()
{
    if (!m_digest)
        return QString();
    QByteArray out(m_digest->size(), Qt::Uninitialized);
    if (out.isEmpty() || !m_digest->final(reinterpret_cast<unsigned char *>(out.data())))
        return QString();
    return m_algorithm + QLatin1Char(':') + QString::fromLatin1(out.toHex());
}
