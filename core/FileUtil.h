#pragma once

#include <QString>
#include <QStringList>

// Static functions over local files: checksums with an algorithm prefix ("sha256:<hex>"), numbered
// rotations (P.1 is the newest), careful moves, drive-prefix tests and diagnostics. All synchronous.
class FileUtil
{
public:
    FileUtil() = delete;

    enum CheckSumAlgorithm { NoAlgorithm = 0, Md5 = 1, Sha1 = 2, Sha256 = 3, Sha512 = 4 };

    // "md5", "sha1", "sha256", "sha512" (exact case) to their ids, anything else to 0.
    static int checkSumAlgorithmFromName(const QString &name);
    // The prefix and the lower-case hex digest; the empty text for an unknown algorithm or an
    // unreadable file.
    static QString calculateCheckSum(int algorithm, const QString &path);
    static QString calculateCheckSum(const QString &algorithmName, const QString &path);

    static bool deleteFile(const QString &path);

    // Deletes P.count and shifts P.(k-1) to P.k down to P -> P.1.
    static void rotateFile(const QString &path, int count);
    // Deletes P.1, P.2, ... up to the first missing number; P itself stays.
    static bool deleteRotatedFiles(const QString &path);
    static bool moveRotatedFiles(const QString &path, const QString &directory);

    // Never overwrite an existing target; across file systems the file is copied and the source
    // removed.
    static bool moveFileToDirectory(const QString &file, const QString &directory);
    static bool moveFile(const QString &source, const QString &target);

    // Drive prefixes "^\w+:" ("D:" on Windows, "sha256:" in checksum texts).
    static QString driveName(const QString &path);
    static bool isSameDrive(const QString &a, const QString &b);
    static bool isDriveOnly(const QString &path);

    static QStringList describeFile(const QString &path);
    static int countLines(const QString &path);

    // Keeps the event loop running for the given time.
    static void waitProcessingEvents(int milliseconds);

private:
    static bool renameOrCopy(const QString &source, const QString &target);
};
