#include "net/DownloadFile.h"

#include "net/crypto/CipherCalculator.h"
#include "net/crypto/Codec.h"

#include <QFile>
#include <QHash>
#include <QTemporaryFile>

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kIvBytes = 16;

mode_t currentUmask()
{
    // Read without changing it: umask() only reports by setting, which races with other threads.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return mode_t(mask & 0777);
                }
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A replaced file keeps its permissions, a new one gets those of any newly created file; the
// temporary file's private 0600 must not reach the destination. Set-id bits are not carried over
// to new content, as a write by its owner would clear them too.
mode_t destinationMode(const QByteArray &destination)
{
    struct stat existing;
    if (::stat(destination.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        return existing.st_mode & 0777;
    }
    return 0666 & ~currentUmask();
}
} // namespace

DownloadFile::DownloadFile(const QString &pathTemplate, const QByteArray &key, QObject *parent)
    : QObject(parent)
    , m_path(pathTemplate)
    , m_key(key)
    , m_cipher(std::make_unique<CipherCalculator>())
{}

DownloadFile::~DownloadFile()
{
    // A download cut short by its owner's end leaves no half file behind.
    removeFile();
}

bool DownloadFile::initDecryption(const QString &ivText)
{
    m_ivText = ivText;
    QByteArray iv;
    if (m_decrypting || !Codec::hexToBytesExact(ivText, kIvBytes, &iv)) {
        return false;
    }
    if (!m_cipher->decryptInit(EVP_aes_256_cbc(), m_key, iv)) {
        return false;
    }
    // QTemporaryFile creates with O_EXCL and mode 0600: a name that exists already, a planted
    // link included, is never opened.
    auto file = std::make_unique<QTemporaryFile>(m_path);
    file->setAutoRemove(false);
    if (!file->open()) {
        return false;
    }
    m_path = file->fileName();
    m_file = std::move(file);
    m_decrypting = true;
    return true;
}

bool DownloadFile::setChecksumAlgorithm(const QString &algorithm)
{
    static const QHash<QString, QCryptographicHash::Algorithm> known = {
            {QStringLiteral("md5"), QCryptographicHash::Md5},
            {QStringLiteral("sha1"), QCryptographicHash::Sha1},
            {QStringLiteral("sha256"), QCryptographicHash::Sha256},
            {QStringLiteral("sha512"), QCryptographicHash::Sha512},
    };
    const auto it = known.constFind(algorithm);
    if (it == known.constEnd() || m_decrypting) {
        return false;
    }
    m_algorithm = algorithm;
    m_hash = std::make_unique<QCryptographicHash>(it.value());
    return true;
}

bool DownloadFile::writeOut()
{
    const QByteArray plain = m_cipher->takeResult();
    if (!m_file || !m_file->isOpen()) {
        return false;
    }
    // What was received so far is on the disk after every chunk. A short write leaves the file's
    // error unset ("Unknown error"): the system's own code tells the cause.
    errno = 0;
    if ((!plain.isEmpty() && m_file->write(plain) != plain.size()) || !m_file->flush()) {
        const int code = errno;
        m_writeError = code != 0 ? QString::fromLocal8Bit(std::strerror(code)) : m_file->errorString();
        return false;
    }
    m_written += plain.size();
    if (m_hash) {
        m_hash->addData(plain);
    }
    return true;
}

bool DownloadFile::appendChunk(const QByteArray &bytes)
{
    if (!m_decrypting || m_finished || m_failed) {
        return false;
    }
    if (!m_cipher->decryptUpdate(bytes) || !writeOut()) {
        m_failed = true;
        return false;
    }
    return true;
}

bool DownloadFile::finish()
{
    if (!m_decrypting || m_finished || m_failed) {
        return false;
    }
    if (!m_cipher->decryptFinal()) {
        return false;
    }
    if (!writeOut()) {
        return false;
    }
    // The rename below must never publish a file whose blocks are not yet on the disk.
    if (::fsync(m_file->handle()) != 0) {
        m_writeError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_finished = true;
    if (m_hash) {
        m_checksum = m_algorithm + QLatin1Char(':') + QString::fromLatin1(m_hash->result().toHex());
    }
    return true;
}

bool DownloadFile::replace(const QString &destination)
{
    if (!m_finished || m_replaced) {
        return false;
    }
    const QByteArray target = QFile::encodeName(destination);
    if (::fchmod(m_file->handle(), destinationMode(target)) != 0) {
        return false;
    }
    m_file->close();
    if (::rename(QFile::encodeName(m_path).constData(), target.constData()) != 0) {
        return false;
    }
    m_replaced = true;
    return true;
}

bool DownloadFile::removeFile()
{
    if (m_file) {
        m_file->close();
    }
    // After the rename the temporary name is free again and may belong to another download.
    if (m_replaced || !m_decrypting) {
        return false;
    }
    if (!QFile::exists(m_path)) {
        return false;
    }
    return QFile::remove(m_path);
}
