#include "platform/MoveToTrashUtil.h"

#include "core/StringUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QByteArray logText(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}

// Closes the descriptor it holds when it goes.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder `name` in `parent`, made 0700 when missing; never through a link, and only when it
// belongs to us (and, when `privateMode`, nobody else may enter it).
Fd ownFolder(int parent, const char *name, bool privateMode)
{
    bool made = false;
    if (::mkdirat(parent, name, 0700) == 0)
        made = true;
    else if (errno != EEXIST)
        return Fd();
    Fd dir(::openat(parent, name, kDirFlags));
    struct stat st;
    if (!dir.ok() || ::fstat(dir.get(), &st) != 0 || st.st_uid != ::geteuid())
        return Fd();
    // The mode of a folder made here must not depend on the umask.
    if (made && ::fchmod(dir.get(), 0700) != 0)
        return Fd();
    if (privateMode && !made && (st.st_mode & 07777) != 0700)
        return Fd();
    return dir;
}

struct Trash
{
    Fd files;
    Fd info;
    QString infoBase; // the folder the "Path" of an entry is relative to; empty: absolute
    QString where;    // for the log
};

bool openInside(Trash *trash, int trashDir)
{
    trash->files = ownFolder(trashDir, "files", false);
    trash->info = ownFolder(trashDir, "info", false);
    return trash->files.ok() && trash->info.ok();
}

// The data folder, when it lies on the given device: its trash takes what lies there.
Fd homeData(dev_t device, QString *home)
{
    *home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (home->isEmpty() || !QDir().mkpath(*home))
        return Fd();
    Fd data(::open(QFile::encodeName(*home).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (!data.ok() || ::fstat(data.get(), &st) != 0 || st.st_dev != device)
        return Fd();
    return data;
}

bool homeTrash(int data, const QString &home, Trash *trash)
{
    trash->where = home + QStringLiteral("/Trash");
    const Fd dir = ownFolder(data, "Trash", false);
    return dir.ok() && openInside(trash, dir.get());
}

// The trash of the file system's top folder: $top/.Trash/$uid when $top/.Trash is a sticky folder
// and not a link, else $top/.Trash-$uid; either one ours and 0700.
bool topTrash(const QString &top, dev_t device, Trash *trash)
{
    Fd topDir(::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (!topDir.ok() || ::fstat(topDir.get(), &st) != 0 || st.st_dev != device)
        return false;
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    trash->infoBase = top;
    Fd shared(::openat(topDir.get(), ".Trash", kDirFlags));
    if (shared.ok() && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX) != 0) {
        const Fd dir = ownFolder(shared.get(), uid.constData(), true);
        trash->where = top + QStringLiteral("/.Trash/") + QString::fromLatin1(uid);
        if (dir.ok() && openInside(trash, dir.get()))
            return true;
        qWarning("MoveToTrashUtil::moveToTrash: '%s' is not a safe trash", logText(trash->where).constData());
    }
    const QByteArray own = ".Trash-" + uid;
    trash->where = top + QLatin1Char('/') + QString::fromLatin1(own);
    const Fd dir = ownFolder(topDir.get(), own.constData(), true);
    return dir.ok() && openInside(trash, dir.get());
}

QByteArray infoText(const QString &original, const QString &infoBase)
{
    QString path = original;
    const QString prefix = infoBase.endsWith(QLatin1Char('/')) ? infoBase : infoBase + QLatin1Char('/');
    if (!infoBase.isEmpty() && original.startsWith(prefix))
        path = original.mid(prefix.size());
    return "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
}

const QByteArray kInfoSuffix = QByteArrayLiteral(".trashinfo");
constexpr int kTries = 999;
// Room for the longest ".N" a name may get when taken.
const int kNumberRoom = int(qstrlen(".999"));

// The name of the n-th try in the trash: the item's own name, numbered from the second try on, cut
// (on a character's boundary) where it would leave no room for the description's ending.
QByteArray entryName(const QByteArray &name, int n, int maxEntry)
{
    const QByteArray number = n == 1 ? QByteArray() : '.' + QByteArray::number(n);
    if (name.size() + number.size() <= maxEntry)
        return name + number;
    int cut = maxEntry - kNumberRoom;
    while (cut > 0 && (uchar(name.at(cut)) & 0xC0) == 0x80)
        --cut;
    return cut > 0 ? name.left(cut) + number : QByteArray();
}

// Renames without replacing anything already in the trash.
int renameNew(int fromDir, const char *from, int toDir, const char *to)
{
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: the trash folder is ours alone, a test first is enough.
    struct stat st;
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

} // namespace

bool MoveToTrashUtil::moveToTrash(const QString &path)
{
    const QFileInfo info(QFileInfo(path).absoluteFilePath());
    const QString folder = QFileInfo(info.path()).canonicalFilePath();
    const QString name = info.fileName();
    const QByteArray encodedName = QFile::encodeName(name);
    Fd parent(folder.isEmpty() ? -1 : ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (name.isEmpty() || !parent.ok() || ::fstatat(parent.get(), encodedName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        qWarning("MoveToTrashUtil::moveToTrash: Cannot move to the trash: '%s'", logText(path).constData());
        return false;
    }
    const QString source = folder + QLatin1Char('/') + name;

    Trash trash;
    QString home;
    const Fd data = homeData(st.st_dev, &home);
    const QString top = data.ok() ? QString() : QStorageInfo(folder).rootPath();
    if (data.ok() ? !homeTrash(data.get(), home, &trash) : top.isEmpty() || !topTrash(top, st.st_dev, &trash)) {
        qWarning("MoveToTrashUtil::moveToTrash: no safe trash for '%s' (tried '%s')", logText(source).constData(),
                 logText(trash.where).constData());
        return false;
    }

    const QByteArray text = infoText(source, trash.infoBase);
    // A name that fits where it lies may not fit with the description's ending.
    const long nameMax = ::fpathconf(trash.info.get(), _PC_NAME_MAX);
    const int maxEntry = int(qBound(0L, nameMax < 0 ? long(NAME_MAX) : nameMax, long(NAME_MAX))) - kInfoSuffix.size();
    for (int n = 1; n <= kTries; ++n) {
        const QByteArray entry = entryName(encodedName, n, maxEntry);
        if (entry.isEmpty())
            break;
        const QByteArray infoName = entry + kInfoSuffix;
        // The entry's description comes first and reserves its name.
        Fd out(::openat(trash.info.get(), infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600));
        if (!out.ok()) {
            if (errno == EEXIST)
                continue;
            break;
        }
        const bool written = ::write(out.get(), text.constData(), size_t(text.size())) == ssize_t(text.size()) &&
                             ::fsync(out.get()) == 0;
        const int err = written ? renameNew(parent.get(), encodedName.constData(), trash.files.get(), entry.constData())
                                : EIO;
        if (err == 0)
            return true;
        ::unlinkat(trash.info.get(), infoName.constData(), 0);
        if (err != EEXIST)
            break;
    }
    qWarning("MoveToTrashUtil::moveToTrash: Cannot move '%s' to '%s'", logText(source).constData(),
             logText(trash.where).constData());
    return false;
}
