#pragma once

#include <QString>

#include <memory>

class DigestCalculator;

// "<algorithm>:<lower-case hex>" of bytes fed in chunks, through OpenSSL (which uses the CPU's
// digest instructions). The empty text for an unknown algorithm or when any OpenSSL step failed:
// never the digest of part of the bytes.
class FileChecksum
{
public:
    // "md5", "sha1", "sha256" or "sha512" (exact case).
    explicit FileChecksum(const QString &algorithm);
    ~FileChecksum();
    FileChecksum(const FileChecksum &) = delete;
    FileChecksum &operator=(const FileChecksum &) = delete;

    static bool knows(const QString &algorithm);
    bool isValid() const { return m_digest != nullptr; }
    const QString &algorithm() const { return m_algorithm; }

    void addData(const char *data, qint64 length);
    // Ends the message; the next addData starts a new one.
    QString result();

private:
    QString m_algorithm;
    std::unique_ptr<DigestCalculator> m_digest;
};
