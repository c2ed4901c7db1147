#include "sync/SyncState.h"

#include "core/StringUtil.h"
#include "db/FileObjectCursor.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
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

// The length of a name of ASCII bytes only; -1 for any other.
int asciiLengthOf(const char *name)
{
    int n = 0;
    for (; name[n]; ++n) {
        if (static_cast<unsigned char>(name[n]) >= 0x80)
            return -1;
    }
    return n;
}

// *target = prefix + "/" + the ASCII name, in target's own buffer when it has room.
void setJoined(QString *target, const QString &prefix, const char *name, int length)
{
    const int at = prefix.isEmpty() ? 0 : prefix.size() + 1;
    target->resize(at + length);
    QChar *out = target->data();
    if (at > 0) {
        std::copy(prefix.constData(), prefix.constData() + prefix.size(), out);
        out[at - 1] = QLatin1Char('/');
    }
    for (int i = 0; i < length; ++i)
        out[at + i] = QLatin1Char(name[i]);
}

// A text of its own, of exactly the probe's length.
QString copyOf(const QString &probe)
{
    return QString(probe.constData(), probe.size());
}

const QString &fileType()
{
    static const QString file = FsObject::sharedType(QStringLiteral("f"));
    return file;
}

const QString &dirType()
{
    static const QString dir = FsObject::sharedType(QStringLiteral("d"));
    return dir;
}

// A folder still to be walked: its name on disk and its key.
struct Entry
{
    QString name;
    QString key;
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
    FsObject &slot = m_objects[object.path()];
    if (!slot.isNull()) {
        count(slot, -1);
        // Anew, so that the key is the object's own path text.
        m_objects.remove(object.path());
        m_objects.insert(object.path(), object);
    } else {
        slot = object;
    }
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

SyncState::LoadAnswer SyncState::loadFromDb(const Pump &pump, int chunk, const SyncState *known, QString *failure)
{
    m_objects.clear();
    m_fileCount = 0;
    m_dirCount = 0;
    m_caseFoldingChecked = false;
    FileObjectCursor rows(m_settingId);
    const QHash<QString, FsObject> *shared = known && !known->m_objects.isEmpty() ? &known->m_objects : nullptr;
    const auto take = [this, shared](FsObject &object) {
        // An unchanged object is described alike on both sides: one copy of its texts is enough.
        if (shared) {
            const auto it = shared->constFind(object.path());
            if (it != shared->constEnd())
                object.shareTexts(it.value());
        }
        add(object);
    };
    while (rows.read(chunk, take) == FileObjectCursor::Reading) {
        if (pump && !pump())
            return LoadStopped;
    }
    if (rows.state() == FileObjectCursor::Failed) {
        if (failure)
            *failure = rows.failure();
        return LoadFailed;
    }
    return Loaded;
}

int SyncState::scanLocal(const Pump &pump)
{
    struct stat st;
    const QByteArray base = QFile::encodeName(m_basePath);
    if (base.isEmpty() || ::stat(base.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ScanBaseMissing;

    m_taken = QDateTime::currentDateTime();
    if (!scanLocalFolder(m_basePath, pump))
        return ScanStopped;
    return m_objects.size();
}

bool SyncState::scanLocalFolder(const QString &base, const Pump &pump)
{
    m_objects.clear();
    m_fileCount = 0;
    m_dirCount = 0;
    m_diskNames.clear();
    m_unreadable.clear();
    m_links.clear();
    m_collisions.clear();
    m_caseFoldingChecked = false;

    Walk walk;
    walk.pump = pump ? &pump : nullptr;
    scanLocalFolderRecursive(QString(), QString(), base, &walk, 0, 1);
    if (walk.stopped) {
        // Whatever was not reached is unknown, never absent.
        m_unreadable.insert(QString());
        return false;
    }
    // Names equal under case folding were looked for folder by folder: below a folder that has
    // such a twin, everything is a collision already.
    m_caseFoldingChecked = true;
    return true;
}

void SyncState::scanLocalFolderRecursive(const QString &prefix, const QString &diskPrefix, const QString &folder,
                                         Walk *walk, int maxDepth, int depth)
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
    walk->folded.clear();
    walk->keys.clear();
    const int fd = ::dirfd(dir);
    QString &probe = walk->probe;
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

        // An ASCII name is its own composed form and its own spelling on disk: its key is written
        // straight into the probe, without a text of its own.
        const int asciiLength = asciiLengthOf(raw);
        QString name;
        bool composedDiffers = false;
        if (asciiLength >= 0) {
            setJoined(&probe, prefix, raw, asciiLength);
        } else {
            name = QFile::decodeName(raw);
            const QString composed = name.normalized(QString::NormalizationForm_C);
            composedDiffers = composed != name;
            if (QFile::encodeName(name) != QByteArray(raw)) {
                // Not valid in the file-name encoding: no text of ours would reach this file again.
                m_unreadable.insert(joined(prefix, composed));
                continue;
            }
            probe = joined(prefix, composed);
        }
        struct stat st;
        if (::fstatat(fd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                m_unreadable.insert(copyOf(probe));
            continue;
        }

        const bool isFile = S_ISREG(st.st_mode);
        const bool isDir = S_ISDIR(st.st_mode);
        if (!isFile && !isDir) {
            // Links, pipes, sockets and devices: never synchronised, followed or replaced.
            m_links.insert(copyOf(probe));
            continue;
        }
        const QString key = copyOf(probe);
        FsObject &slot = m_objects[key];
        if (!slot.isNull()) {
            // Two spellings on disk of one composed name.
            m_collisions.insert(key);
            continue;
        }
        if (composedDiffers)
            m_diskNames.insert(key, joined(diskPrefix, name));

        slot = FsObject(QString(), key, st.st_size, mtimeOf(st), QDateTime(), QString(),
                        isFile ? fileType() : dirType(), QString());
        walk->keys.push_back(key);
        if (const QString *twin = walk->folded.add(walk->keys.back())) {
            m_collisions.insert(*twin);
            m_collisions.insert(key);
        }
        if (isFile) {
            ++m_fileCount;
        } else {
            ++m_dirCount;
            folders.push_back({asciiLength >= 0 ? QString::fromLatin1(raw, asciiLength) : name, key});
        }

        if (walk->pump && ++walk->sincePump >= kEntriesPerPump) {
            walk->sincePump = 0;
            if (!(*walk->pump)()) {
                walk->stopped = true;
                break;
            }
        }
    }
    ::closedir(dir);

    const bool deeper = maxDepth == 0 || depth < maxDepth;
    for (const Entry &entry : folders) {
        if (walk->stopped)
            return;
        if (!deeper) {
            m_unreadable.insert(entry.key);
            continue;
        }
        scanLocalFolderRecursive(entry.key, joined(diskPrefix, entry.name), folder + QLatin1Char('/') + entry.name,
                                 walk, maxDepth, depth + 1);
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
    CaseFoldedSet seen(m_objects.size());
    for (auto it = m_objects.constBegin(); it != m_objects.constEnd(); ++it) {
        if (const QString *earlier = seen.add(it.key())) {
            m_collisions.insert(*earlier);
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
