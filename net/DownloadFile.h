#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class CipherCalculator;
class QTemporaryFile;

// The sink of a download: decrypts each received chunk and appends the plain text to a temporary
// file beside the destination, which replaces the destination in one step once it is complete.
class DownloadFile : public QObject
{
    Q_OBJECT

public:
    DownloadFile(const QString &pathTemplate, const QByteArray &key, QObject *parent = nullptr);
    ~DownloadFile() override;

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
    std::unique_ptr<QTemporaryFile> m_file;
};
