#pragma once

#include <QDateTime>
#include <QString>

class QFile;
struct stat;

// The local file an upload reads, opened only when it is still the file the plan saw: no
// symbolic link at any element below the local base folder (the file included), a regular file,
// the planned size and modification time. What is checked is what is then read: the checks run on
// the open descriptor.
class UploadSource
{
public:
    UploadSource() = delete;

    // The open file (the caller owns it) and, when asked, what its descriptor's fstat said; or null
    // with the reason.
    static QFile *open(const QString &base, const QString &path, qint64 size, const QDateTime &mtime,
                       QString *reason, struct stat *opened = nullptr);
    // The modification time in milliseconds since the epoch, as the local scan takes it.
    static qint64 mtimeOf(const struct stat &st);
};
