#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const mode_t kGroupAndOthers = S_IRWXG | S_IRWXO;

} // namespace

bool PrivateFiles::makeFolders(const QString &path)
{
    if (path.isEmpty()) {
        return false;
    }
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The missing tail of the path, made from the outermost folder inwards.
    QStringList missing;
    QString folder = absolute;
    while (!QFileInfo::exists(folder)) {
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    for (const QString &each : missing) {
        const QByteArray name = QFile::encodeName(each);
        if (::mkdir(name.constData(), S_IRWXU) != 0) {
            if (errno != EEXIST) {
                qWarning("PrivateFiles::makeFolders: cannot create '%s': %s", name.constData(), strerror(errno));
                return false;
            }
            continue; // made meanwhile by someone else: not ours to change
        }
        // A umask that takes the owner's rights would leave a folder we cannot use.
        ::chmod(name.constData(), S_IRWXU);
    }
    return QFileInfo(absolute).isDir();
}

bool PrivateFiles::prepareFile(const QString &path, bool *created)
{
    if (created) {
        *created = false;
    }
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        if (created) {
            *created = true;
        }
        ::fchmod(fd, S_IRUSR | S_IWUSR);
        ::close(fd);
        return true;
    }
    if (errno != EEXIST) {
        qWarning("PrivateFiles::prepareFile: cannot create '%s': %s", name.constData(), strerror(errno));
        return false;
    }
    // Through a descriptor of the file itself: a link put in its place is never followed.
    fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        qWarning("PrivateFiles::prepareFile: '%s' not checked: %s", name.constData(), strerror(errno));
        return false;
    }
    struct stat st = {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && (st.st_mode & kGroupAndOthers) != 0) {
        ok = ::fchmod(fd, st.st_mode & 07777 & ~kGroupAndOthers) == 0;
        if (!ok) {
            qWarning("PrivateFiles::prepareFile: cannot narrow '%s': %s", name.constData(), strerror(errno));
        }
    }
    ::close(fd);
    return ok;
}

bool PrivateFiles::narrowFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    if ((st.st_mode & kGroupAndOthers) == 0) {
        return true;
    }
    if (::chmod(name.constData(), st.st_mode & 07777 & ~kGroupAndOthers) != 0) {
        qWarning("PrivateFiles::narrowFolder: cannot narrow '%s': %s", name.constData(), strerror(errno));
        return false;
    }
    return true;
}

bool PrivateFiles::prepareSettingsFile()
{
    const QString file = QSettings().fileName();
    return makeFolders(QFileInfo(file).path()) && prepareFile(file);
}
