#pragma once

#include "core/FileChecksum.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include <sys/stat.h>

class CipherCalculator;

// The sink of a download: decrypts each received chunk and appends the plain text to a temporary
// file beside the destination, which replaces the destination in one step once it is complete.
// Everything after the folder is opened goes through its descriptor, so a folder moved or swapped
// for a link meanwhile cannot redirect the file.
class DownloadFile : public QObject
{
    Q_OBJECT

public:
    // Runs after the complete file has been checked and right before it replaces the destination:
    // may change the destination (a conflict copy, in the same folder), move the old file aside
    // (backUp), give its verdict on what it found there (setMayReplace), or refuse with a reason
    // (nothing is replaced).
    using BeforeReplace = std::function<bool(DownloadFile &file, QString *destination, QString *reason)>;
    // Opens the destination's folder as the caller trusts it (e.g. reached from a base folder
    // without following links): a descriptor the download then owns, or -1 with the reason. Asked
    // when the temporary file is made and again right before the final step, which goes ahead
    // only while both are the same folder. Without it the folder is opened by its path.
    using OpenFolder = std::function<int(QString *reason)>;

    DownloadFile(const QString &pathTemplate, const QByteArray &key, QObject *parent = nullptr);
    ~DownloadFile() override;

    // Hash the plain bytes while they are written: "md5", "sha1", "sha256" or "sha512"; false for
    // any other name (nothing is hashed then).
    bool setChecksumAlgorithm(const QString &algorithm);
    // Whether setChecksumAlgorithm takes that name.
    static bool canHash(const QString &algorithm);
    // "<algorithm>:<hex>" of everything written once finished; empty without an algorithm.
    QString plainChecksum() const { return m_checksum; }
    void setBeforeReplace(BeforeReplace hook) { m_beforeReplace = std::move(hook); }
    // False when the hook refused; an entry it moved aside is back then.
    bool runBeforeReplace(QString *destination, QString *reason);
    void setOpenFolder(OpenFolder hook) { m_openFolder = std::move(hook); }

    // Needs exactly 32 hexadecimal digits; creates the temporary file exclusively, never through
    // a link (writeError() tells why it could not).
    bool initDecryption(const QString &ivText);
    bool appendChunk(const QByteArray &bytes);
    // Produces the last block (checking the padding) and flushes the file to the disk.
    bool finish();
    bool removeFile();
    // The descriptor of the folder the temporary file lies in; -1 before initDecryption.
    int folder() const { return m_dirFd; }
    // Whether the caller's way to the folder still leads to the one held; false with the reason.
    bool sameFolder(QString *reason) const;
    // Moves the folder's entry `name` (a regular file) to `copyName`, never over an existing one.
    // A replace that fails afterwards moves it back, never over newer work at the name.
    bool backUp(const QString &name, const QString &copyName, QString *error);
    // The caller's verdict on the destination, given before replace. Three cases:
    // - no verdict: whatever file stands at the name is replaced in one step;
    // - false: the caller found the name free, and a file that appears there meanwhile stays;
    // - the file found (below): only that very file is replaced.
    // After backUp the name must be free whatever the verdict.
    void setMayReplace(bool mayReplace) { m_mayReplace = mayReplace; }
    // A conflict copy's path for the destination, in its folder and within its name limit (empty
    // when none fits); asked before anything is moved, and again while the name it gave is taken.
    using CopyName = std::function<QString(const QString &destination)>;
    // The verdict with the file found at the destination, as lstat described it: only that very
    // file (device, inode, size, modification time to the nanosecond) is replaced. Whatever stands
    // at the name instead when the download takes it is newer work: it is kept under a name from
    // copyName, and keptAs() tells which.
    void setMayReplace(const struct stat &found, CopyName copyName);
    // Renames the finished file to the destination in one step: the destination is either the old
    // file or the complete new one, never missing (where the file system cannot exchange two
    // names, the old file is moved aside for that moment). False leaves it untouched (an entry
    // moved aside returns where the system allows it) and says why.
    // The new file keeps the mode of the file it replaces, or gets the mode of a newly created file.
    bool replace(const QString &destination, QString *error = nullptr);
    bool isReplaced() const { return m_replaced; }
    // The file name under which replace kept what it found at the destination in place of the
    // file of the verdict; empty when it found that file, or nothing.
    QString keptAs() const { return m_keptAs; }
    // The entry backUp moved aside could not go back after a failure, and nothing stands at its
    // name: it stays under the copy's name.
    bool isBackupStranded() const { return m_backupStranded; }
    // The file replace put in place, from its own descriptor right before the last step: a file
    // saved at the name afterwards is not this one. Valid once isReplaced().
    const struct stat &placed() const { return m_placed; }

    // Test hooks, called right before the last step of replace and right after it succeeded,
    // with the folder's descriptor and the destination's name.
    using RenameHook = std::function<void(int folder, const QByteArray &name)>;
    static void setRenameHook(RenameHook hook);
    static void setRenamedHook(RenameHook hook);

    QString filePath() const { return m_path; }
    bool isDecrypting() const { return m_decrypting; }
    // Why the file could not be made or written (e.g. no space left on the device); empty when
    // every write succeeded, so a failed chunk or end without it was one that could not be
    // decrypted.
    QString writeError() const { return m_writeError; }
    // Plain bytes written to the temporary file so far.
    qint64 plainSize() const { return m_written; }

private:
    int openFolder(QString *reason) const;
    bool createTemporary();
    bool writeOut();
    void restoreBackup(QString *error);
    void closeFile();
    bool isFound(const struct stat &st) const;
    int placeAtFreeName(const QByteArray &source, const QByteArray &target, const struct stat &sourceStat);
    int placeAtFreeName(const QByteArray &target);
    bool copyNameFor(const QString &destination, QByteArray *copy) const;
    int exchangeWith(const QByteArray &target, const QString &destination, QByteArray copy);
    int moveAsideAndPlace(const QByteArray &target, const QString &destination, QByteArray copy);
    int moveToCopy(const QByteArray &from, const QString &destination, QByteArray *copy);

    QString m_path;
    QString m_folderPath;
    QByteArray m_name;
    QString m_ivText;
    QByteArray m_key;
    std::unique_ptr<CipherCalculator> m_cipher;
    bool m_decrypting = false;
    bool m_finished = false;
    // A chunk that could not be written leaves a hole: nothing after it may complete the file.
    bool m_failed = false;
    bool m_replaced = false;
    bool m_mayReplace = true;
    // The file of the verdict, when the caller gave it.
    bool m_hasFound = false;
    struct stat m_found = {};
    CopyName m_copyName;
    QString m_keptAs;
    struct stat m_placed = {};
    qint64 m_written = 0;
    QString m_algorithm;
    std::unique_ptr<FileChecksum> m_hash;
    QString m_checksum;
    QString m_writeError;
    BeforeReplace m_beforeReplace;
    OpenFolder m_openFolder;
    int m_dirFd = -1;
    int m_fd = -1;
    // The entry backUp moved aside: its name and where it went.
    QByteArray m_backupName;
    QByteArray m_backupCopy;
    bool m_backupStranded = false;
};
