#include "sync/SyncState.h"

#include "core/StringUtil.h"
#include "db/FileObjectDao.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

int s_instanceCount = 0;

// The pump is asked after this many entries, so a tree of any shape keeps the interface alive.
constexpr int kEntriesPerPump = 512;

QString joined(const QString &prefix, const QString &name)
{
    return prefix.isEmpty() ? name : prefix + QLatin1Char('/') + name;
}

QDateTime mtimeOf(const struct stat &st)
{
    // UTC: the same instant as local time without a time-zone look-up per file.
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000, Qt::UTC);
}

bool isAscii(const char *name)
{
    for (; *name; ++name) {
        if (static_cast<unsigned char>(*name) >= 0x80)
            return false;
    }
    return true;
}

struct Entry
{
    QString name;
    QString key;
    struct stat st;
};

} // namespace

SyncState::SyncState()
{
    ++s_instanceCount;
}

SyncState::SyncState(const QString &basePath, qint64 settingId)
    : m_basePath(basePath)
    , m_settingId(settingId)
{
    ++s_instanceCount;
}

SyncState::SyncState(const SyncState &other)
    : m_basePath(other.m_basePath)
    , m_settingId(other.m_settingId)
    , m_taken(other.m_taken)
    , m_objects(other.m_objects)
    , m_diskNames(other.m_diskNames)
    , m_unreadable(other.m_unreadable)
    , m_links(other.m_links)
    , m_collisions(other.m_collisions)
    , m_fileCount(other.m_fileCount)
    , m_dirCount(other.m_dirCount)
    , m_caseFoldingChecked(other.m_caseFoldingChecked)
{
    ++s_instanceCount;
}

SyncState &SyncState::operator=(const SyncState &other) = default;

SyncState::~SyncState()
{
    --s_instanceCount;
}

int SyncState::instanceCount()
{
    return s_instanceCount;
}

FsObject SyncState::get(const QString &path) const
{
    return m_objects.value(path);
}

void SyncState::add(const FsObject &object)
{
    m_caseFoldingChecked = false;
    const auto it = m_objects.find(object.path());
    if (it != m_objects.end()) {
        count(it.value(), -1);
        // Anew, so that the key is the object's own path text.
        m_objects.erase(it);
    }
    m_objects.insert(object.path(), object);
    count(object, 1);
}

void SyncState::count(const FsObject &object, int delta)
{
    if (object.isFile())
        m_fileCount += delta;
    else if (object.isDir())
        m_dirCount += delta;
}

void SyncState::setChecksum(const QString &path, const QString &checksum)
{
    auto it = m_objects.find(path);
    if (it != m_objects.end())
        it->setChecksum(checksum);
}

void SyncState::loadFromDb()
{
    m_objects = FileObjectDao::instance()->loadAll(m_settingId, &m_fileCount, &m_dirCount);
    m_caseFoldingChecked = false;
}

int SyncState::scanLocal(const Pump &pump)
{
    struct stat st;
    const QByteArray base = QFile::encodeName(m_basePath);
    if (base.isEmpty() || ::stat(base.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ScanBaseMissing;

    m_taken = QDateTime::currentDateTime();
    m_objects.clear();
    m_fileCount = 0;
    m_dirCount = 0;
    m_diskNames.clear();
    m_unreadable.clear();
    m_links.clear();
    m_collisions.clear();
    m_caseFoldingChecked = false;

    int sincePump = 0;
    bool stopped = false;
    scanFolder(QString(), QString(), m_basePath, pump, &sincePump, &stopped);
    if (stopped) {
        // Whatever was not reached is unknown, never absent.
        m_unreadable.insert(QString());
        return ScanStopped;
    }
    findCaseCollisions();
    return m_objects.size();
}

void SyncState::scanFolder(const QString &prefix, const QString &diskPrefix, const QString &folder, const Pump &pump,
                           int *sincePump, bool *stopped)
{
    const QByteArray folderPath = QFile::encodeName(folder);
    DIR *dir = ::opendir(folderPath.constData());
    if (!dir) {
        qWarning("SyncState::scanLocal: cannot list folder '%s': %s",
                 StringUtil::escapeNonPrintable(folder).toLocal8Bit().constData(), std::strerror(errno));
        m_unreadable.insert(prefix);
        return;
    }

    std::vector<Entry> folders;
    const int fd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const struct dirent *d = ::readdir(dir);
        if (!d) {
            if (errno != 0) {
                qWarning("SyncState::scanLocal: listing of '%s' broke off: %s",
                         StringUtil::escapeNonPrintable(folder).toLocal8Bit().constData(), std::strerror(errno));
                m_unreadable.insert(prefix);
            }
            break;
        }
        const char *raw = d->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;

        Entry entry;
        entry.name = QFile::decodeName(raw);
        const QString composed = entry.name.normalized(QString::NormalizationForm_C);
        entry.key = joined(prefix, composed);
        if (!isAscii(raw) && QFile::encodeName(entry.name) != QByteArray(raw)) {
            // Not valid in the file-name encoding: no text of ours would reach this file again.
            m_unreadable.insert(entry.key);
            continue;
        }
        if (::fstatat(fd, raw, &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                m_unreadable.insert(entry.key);
            continue;
        }

        const bool isFile = S_ISREG(entry.st.st_mode);
        const bool isDir = S_ISDIR(entry.st.st_mode);
        if (!isFile && !isDir) {
            // Links, pipes, sockets and devices: never synchronised, followed or replaced.
            m_links.insert(entry.key);
            continue;
        }
        if (m_objects.contains(entry.key)) {
            // Two spellings on disk of one composed name.
            m_collisions.insert(entry.key);
            continue;
        }
        if (composed != entry.name)
            m_diskNames.insert(entry.key, joined(diskPrefix, entry.name));

        if (isFile) {
            m_objects.insert(entry.key, FsObject(QString(), entry.key, entry.st.st_size, mtimeOf(entry.st), QDateTime(),
                                                 QString(), QStringLiteral("f"), QString()));
            ++m_fileCount;
        } else {
            m_objects.insert(entry.key, FsObject(QString(), entry.key, entry.st.st_size, mtimeOf(entry.st), QDateTime(),
                                                 QString(), QStringLiteral("d"), QString()));
            ++m_dirCount;
            folders.push_back(std::move(entry));
        }

        if (pump && ++*sincePump >= kEntriesPerPump) {
            *sincePump = 0;
            if (!pump()) {
                *stopped = true;
                break;
            }
        }
    }
    ::closedir(dir);

    for (const Entry &entry : folders) {
        if (*stopped)
            return;
        scanFolder(entry.key, joined(diskPrefix, entry.name), folder + QLatin1Char('/') + entry.name, pump, sincePump,
                   stopped);
    }
}

QString SyncState::diskPath(const QString &path) const
{
    if (m_diskNames.isEmpty())
        return path;
    const auto exact = m_diskNames.constFind(path);
    if (exact != m_diskNames.constEnd())
        return exact.value();
    int cut = path.size();
    while ((cut = path.lastIndexOf(QLatin1Char('/'), cut - 1)) > 0) {
        const auto it = m_diskNames.constFind(path.left(cut));
        if (it != m_diskNames.constEnd())
            return it.value() + path.mid(cut);
    }
    return path;
}

QString SyncState::localFilePath(const QString &path) const
{
    const QString disk = diskPath(path);
    if (disk.isEmpty())
        return m_basePath;
    return m_basePath.endsWith(QLatin1Char('/')) ? m_basePath + disk : m_basePath + QLatin1Char('/') + disk;
}

void SyncState::setDiskName(const QString &path, const QString &diskPath)
{
    if (diskPath == path)
        m_diskNames.remove(path);
    else
        m_diskNames.insert(path, diskPath);
}

void SyncState::findCaseCollisions()
{
    if (m_caseFoldingChecked)
        return;
    m_caseFoldingChecked = true;
    QHash<QString, QString> folded;
    folded.reserve(m_objects.size());
    for (auto it = m_objects.constBegin(); it != m_objects.constEnd(); ++it) {
        const QString key = it.key().toCaseFolded();
        auto seen = folded.constFind(key);
        if (seen == folded.constEnd()) {
            folded.insert(key, it.key());
        } else {
            m_collisions.insert(seen.value());
            m_collisions.insert(it.key());
        }
    }
}

bool SyncState::isAtOrBelow(const QString &path, const QSet<QString> &set)
{
    if (set.isEmpty())
        return false;
    if (set.contains(QString()) || set.contains(path))
        return true;
    int cut = path.size();
    while ((cut = path.lastIndexOf(QLatin1Char('/'), cut - 1)) > 0) {
        if (set.contains(path.left(cut)))
            return true;
    }
    return false;
}

void SyncState::shareTexts(const SyncState &other)
{
    if (m_objects.isSharedWith(other.m_objects))
        return;
    for (auto it = m_objects.begin(); it != m_objects.end(); ++it) {
        const auto theirs = other.m_objects.constFind(it.key());
        if (theirs != other.m_objects.constEnd())
            it.value().shareTexts(theirs.value());
    }
}
