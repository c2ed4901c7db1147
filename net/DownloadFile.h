#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CipherCalculator;
class QTemporaryFile;

// The sink of a download: decrypts each received chunk and appends the plain text to a temporary
// file beside the destination, which replaces the destination in one step once it is complete.
class DownloadFile : public QObject
{
    Q_OBJECT

public:
    // Runs after the complete file has been checked and right before it replaces the destination:
    // may change the destination (a conflict copy) or refuse with a reason (nothing is replaced).
    using BeforeReplace = std::function<bool(const DownloadFile &file, QString *destination, QString *reason)>;

    DownloadFile(const QString &pathTemplate, const QByteArray &key, QObject *parent = nullptr);
    ~DownloadFile() override;

    // Hash the plain bytes while they are written: "md5", "sha1", "sha256" or "sha512"; false for
    // any other name (nothing is hashed then).
    bool setChecksumAlgorithm(const QString &algorithm);
    // "<algorithm>:<hex>" of everything written once finished; empty without an algorithm.
    QString plainChecksum() const { return m_checksum; }
    void setBeforeReplace(BeforeReplace hook) { m_beforeReplace = std::move(hook); }
    bool runBeforeReplace(QString *destination, QString *reason) const
    {
        return !m_beforeReplace || m_beforeReplace(*this, destination, reason);
    }

    // Needs exactly 32 hexadecimal digits; creates the temporary file exclusively.
    bool initDecryption(const QString &ivText);
    bool appendChunk(const QByteArray &bytes);
    // Produces the last block (checking the padding) and flushes the file to the disk.
    bool finish();
    bool removeFile();
    // Renames the finished file over the destination in one step (POSIX rename): the destination
    // is either the old file or the complete new one, never missing. False leaves it untouched.
    // The new file keeps the mode of the file it replaces, or gets the mode of a newly created file.
    bool replace(const QString &destination);

    QString filePath() const { return m_path; }
    bool isDecrypting() const { return m_decrypting; }
    // Why the file could not be written (e.g. no space left on the device); empty when every
    // write succeeded, so a failed chunk or end without it was one that could not be decrypted.
    QString writeError() const { return m_writeError; }
    // Plain bytes written to the temporary file so far.
    qint64 plainSize() const { return m_written; }

private:
    bool writeOut();

    QString m_path;
    QString m_ivText;
    QByteArray m_key;
    std::unique_ptr<CipherCalculator> m_cipher;
    bool m_decrypting = false;
    bool m_finished = false;
    // A chunk that could not be written leaves a hole: nothing after it may complete the file.
    bool m_failed = false;
    bool m_replaced = false;
    qint64 m_written = 0;
    QString m_algorithm;
    std::unique_ptr<QCryptographicHash> m_hash;
    QString m_checksum;
    QString m_writeError;
    BeforeReplace m_beforeReplace;
    std::unique_ptr<QTemporaryFile> m_file;
};
