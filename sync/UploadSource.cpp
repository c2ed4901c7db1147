#include "sync/UploadSource.h"

#include "sync/FolderWalk.h"
#include "sync/SyncAction.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor it holds when it goes.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(-1); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

} // namespace

QFile *UploadSource::open(const QString &base, const QString &path, qint64 size, const QDateTime &mtime,
                          QString *reason, struct stat *opened)
{
    const QString target = QDir::cleanPath(path);
    // The descriptors refuse every link themselves; the path is looked at again only to name why.
    auto refused = [&](const QString &text, int err) {
        *reason = (err == ELOOP || err == ENOTDIR) && SyncAction::crossesLink(base, target)
                          ? QStringLiteral("Source crosses a link: '%1'").arg(target)
                          : text.arg(target, QString::fromLocal8Bit(strerror(err)));
        return nullptr;
    };
    int err = 0;
    Fd dir(FolderWalk::openParent(base, target, &err));
    if (dir.get() < 0)
        return refused(QStringLiteral("Cannot open the folder of '%1': %2"), err);
    // Non-blocking: a FIFO put in its place must not hang the open.
    Fd file(::openat(dir.get(), QFile::encodeName(target.section(QLatin1Char('/'), -1)).constData(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return refused(QStringLiteral("Cannot open '%1': %2"), errno);
    struct stat st;
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *reason = QStringLiteral("Not a regular file: '%1'").arg(target);
        return nullptr;
    }
    if (qint64(st.st_size) != size || !mtime.isValid() || mtimeOf(st) != mtime.toMSecsSinceEpoch()) {
        *reason = QStringLiteral("Changed since the scan: '%1'").arg(target);
        return nullptr;
    }
    auto *source = new QFile(target);
    if (!source->open(file.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *reason = QStringLiteral("Cannot read '%1': %2").arg(target, source->errorString());
        delete source;
        return nullptr;
    }
    file.release();
    if (opened)
        *opened = st;
    return source;
}

qint64 UploadSource::mtimeOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}
