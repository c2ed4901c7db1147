#include "sync/FolderWalk.h"

#include "sync/SyncAction.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int FolderWalk::openParent(const QString &base, const QString &path, int *error)
{
    const QString root = QDir::cleanPath(base);
    const QString target = QDir::cleanPath(path);
    const QString rootSlash = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (root.isEmpty() || !target.startsWith(rootSlash) || target.size() == rootSlash.size()) {
        *error = EINVAL;
        return -1;
    }
    const QStringList elements = target.mid(rootSlash.size()).split(QLatin1Char('/'));
    // The base itself is the user's choice and may be reached through a link.
    int dir = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; dir >= 0 && i + 1 < elements.size(); ++i) {
        const int next = ::openat(dir, QFile::encodeName(elements.at(i)).constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int err = errno;
        ::close(dir);
        dir = next;
        errno = err;
    }
    *error = dir < 0 ? errno : 0;
    return dir;
}

int FolderWalk::openParent(const QString &base, const QString &path, QString *reason)
{
    int err = 0;
    const int dir = openParent(base, path, &err);
    if (dir < 0) {
        // An element that became a link says so; the system's words would only tell of loops.
        *reason = err == ELOOP || err == ENOTDIR || SyncAction::crossesLink(base, path)
                          ? QStringLiteral("Target crosses a link: '%1'").arg(QDir::cleanPath(path))
                          : QStringLiteral("Cannot open the folder of '%1': %2")
                                    .arg(QDir::cleanPath(path), QString::fromLocal8Bit(std::strerror(err)));
    }
    return dir;
}
