#include "net/DownloadFile.h"

#include "core/StringUtil.h"
#include "net/crypto/CipherCalculator.h"
#include "net/crypto/Codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kIvBytes = 16;

DownloadFile::RenameHook s_renameHook;
DownloadFile::RenameHook s_renamedHook;

mode_t currentUmask()
{
    // Read without changing it: umask() only reports by setting, which races with other threads.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return mode_t(mask & 0777);
                }
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A replaced file keeps its permissions, a new one gets those of any newly created file; the
// temporary file's private 0600 must not reach the destination. Set-id bits are not carried over
// to new content, as a write by its owner would clear them too.
mode_t destinationMode(int dir, const QByteArray &name)
{
    struct stat existing;
    if (::fstatat(dir, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(existing.st_mode)) {
        return existing.st_mode & 0777;
    }
    return 0666 & ~currentUmask();
}

// Where nothing better is offered: the name is looked at, then renamed plainly. A file created
// between the two is replaced.
int lookThenRename(int dir, const QByteArray &from, const QByteArray &to)
{
    struct stat st;
    if (::fstatat(dir, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return ::renameat(dir, from.constData(), dir, to.constData()) == 0 ? 0 : errno;
}

bool refusesFlags(int err)
{
    return err == EINVAL || err == ENOSYS;
}

// A rename that never replaces an entry: 0 or the system's error code. NFS and many FUSE file
// systems cannot promise that (EINVAL); with lookFirst the name is then looked at and renamed
// plainly, otherwise nothing is done.
int renameNoReplace(int dir, const QByteArray &from, const QByteArray &to, bool lookFirst)
{
    if (::renameat2(dir, from.constData(), dir, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int err = errno;
    return refusesFlags(err) && lookFirst ? lookThenRename(dir, from, to) : err;
}

QString nameTakenText()
{
    return QStringLiteral("A file appeared at the name during the download and stays");
}

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray logText(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}
} // namespace

DownloadFile::DownloadFile(const QString &pathTemplate, const QByteArray &key, QObject *parent)
    : QObject(parent)
    , m_path(pathTemplate)
    , m_folderPath(QDir::cleanPath(QFileInfo(pathTemplate).absolutePath()))
    , m_key(key)
    , m_cipher(std::make_unique<CipherCalculator>())
{}

DownloadFile::~DownloadFile()
{
    // A download cut short by its owner's end leaves no half file behind.
    removeFile();
    if (m_dirFd >= 0) {
        ::close(m_dirFd);
    }
}

int DownloadFile::openFolder(QString *reason) const
{
    if (m_openFolder) {
        return m_openFolder(reason);
    }
    const int dir = ::open(QFile::encodeName(m_folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *reason = systemText(errno);
    }
    return dir;
}

// Our own mkstemp in the held folder: exclusive, never through a link, private to the user, with
// the name pattern of the template.
bool DownloadFile::createTemporary()
{
    QString reason;
    m_dirFd = openFolder(&reason);
    if (m_dirFd < 0) {
        m_writeError = reason;
        return false;
    }
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString pattern = QFileInfo(m_path).fileName();
    int at = pattern.lastIndexOf(QLatin1String("XXXXXX"));
    if (at < 0) {
        at = pattern.size() + 1;
        pattern += QLatin1String(".XXXXXX");
    }
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        QString name = pattern;
        for (int i = 0; i < 6; ++i) {
            name[at + i] = QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
        }
        const QByteArray encoded = QFile::encodeName(name);
        const int fd =
                ::openat(m_dirFd, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_name = encoded;
            m_path = m_folderPath + QLatin1Char('/') + name;
            return true;
        }
        err = errno;
    }
    m_writeError = systemText(err);
    return false;
}

bool DownloadFile::initDecryption(const QString &ivText)
{
    m_ivText = ivText;
    QByteArray iv;
    if (m_decrypting || m_fd >= 0 || !Codec::hexToBytesExact(ivText, kIvBytes, &iv)) {
        return false;
    }
    if (!m_cipher->decryptInit(EVP_aes_256_cbc(), m_key, iv) || !createTemporary()) {
        return false;
    }
    m_decrypting = true;
    return true;
}

bool DownloadFile::canHash(const QString &algorithm)
{
    return FileChecksum::knows(algorithm);
}

bool DownloadFile::setChecksumAlgorithm(const QString &algorithm)
{
    if (!FileChecksum::knows(algorithm) || m_decrypting) {
        return false;
    }
    m_algorithm = algorithm;
    m_hash = std::make_unique<FileChecksum>(algorithm);
    return true;
}

bool DownloadFile::writeOut()
{
    const QByteArray plain = m_cipher->takeResult();
    if (m_fd < 0) {
        return false;
    }
    // What was received so far is on the disk after every chunk.
    const char *data = plain.constData();
    qint64 left = plain.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_writeError = systemText(n < 0 ? errno : ENOSPC);
            return false;
        }
        data += n;
        left -= n;
    }
    m_written += plain.size();
    if (m_hash) {
        m_hash->addData(plain.constData(), plain.size());
    }
    return true;
}

bool DownloadFile::appendChunk(const QByteArray &bytes)
{
    if (!m_decrypting || m_finished || m_failed) {
        return false;
    }
    if (!m_cipher->decryptUpdate(bytes) || !writeOut()) {
        m_failed = true;
        return false;
    }
    return true;
}

bool DownloadFile::finish()
{
    if (!m_decrypting || m_finished || m_failed) {
        return false;
    }
    if (!m_cipher->decryptFinal()) {
        return false;
    }
    if (!writeOut()) {
        return false;
    }
    // The rename below must never publish a file whose blocks are not yet on the disk.
    if (::fsync(m_fd) != 0) {
        m_writeError = systemText(errno);
        return false;
    }
    m_finished = true;
    if (m_hash) {
        // Empty when the digest failed: it then matches nothing and records nothing.
        m_checksum = m_hash->result();
    }
    return true;
}

bool DownloadFile::runBeforeReplace(QString *destination, QString *reason)
{
    if (!m_beforeReplace || m_beforeReplace(*this, destination, reason)) {
        return true;
    }
    restoreBackup(reason);
    return false;
}

bool DownloadFile::sameFolder(QString *reason) const
{
    if (m_dirFd < 0) {
        *reason = QStringLiteral("No folder is open");
        return false;
    }
    const int now = openFolder(reason);
    if (now < 0) {
        return false;
    }
    struct stat held;
    struct stat found;
    const bool same = ::fstat(m_dirFd, &held) == 0 && ::fstat(now, &found) == 0 && held.st_dev == found.st_dev &&
                      held.st_ino == found.st_ino;
    ::close(now);
    if (!same) {
        *reason = QStringLiteral("The folder was replaced meanwhile: '%1'").arg(m_folderPath);
    }
    return same;
}

bool DownloadFile::backUp(const QString &name, const QString &copyName, QString *error)
{
    if (m_dirFd < 0 || !m_backupCopy.isEmpty()) {
        *error = QStringLiteral("No folder is open");
        return false;
    }
    const QByteArray from = QFile::encodeName(name);
    const QByteArray to = QFile::encodeName(copyName);
    struct stat st;
    if (::fstatat(m_dirFd, from.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = systemText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("Not a regular file");
        return false;
    }
    const int err = renameNoReplace(m_dirFd, from, to, true);
    if (err != 0) {
        *error = systemText(err);
        return false;
    }
    m_backupName = from;
    m_backupCopy = to;
    return true;
}

// The entry backUp moved aside goes back the way a download takes a free name, unless something
// has taken its name meanwhile (newer work, which stays); the message says where it is then.
void DownloadFile::restoreBackup(QString *error)
{
    if (m_backupCopy.isEmpty()) {
        return;
    }
    const QByteArray name = std::exchange(m_backupName, QByteArray());
    const QByteArray copy = std::exchange(m_backupCopy, QByteArray());
    struct stat aside;
    const int err = ::fstatat(m_dirFd, copy.constData(), &aside, AT_SYMLINK_NOFOLLOW) != 0
            ? errno
            : placeAtFreeName(copy, name, aside);
    if (err == 0) {
        return;
    }
    // Nothing stands at the name: a row of the file would read as a deletion there.
    m_backupStranded = err != EEXIST;
    const QString kept = QFile::decodeName(copy);
    qWarning("DownloadFile::replace: the previous file stays as '%s': %s", logText(kept).constData(),
             std::strerror(err));
    if (error) {
        if (err == EEXIST && !error->startsWith(nameTakenText())) {
            *error += QStringLiteral("; a newer file stands at the name");
        }
        *error += QStringLiteral("; the previous file stays as '%1'").arg(kept);
    }
}

void DownloadFile::setMayReplace(const struct stat &found, CopyName copyName)
{
    m_mayReplace = true;
    m_hasFound = true;
    m_found = found;
    m_copyName = std::move(copyName);
}

// Not ctime: the exchange itself changes it.
bool DownloadFile::isFound(const struct stat &st) const
{
    return (st.st_mode & S_IFMT) == (m_found.st_mode & S_IFMT) && st.st_dev == m_found.st_dev &&
           st.st_ino == m_found.st_ino && st.st_size == m_found.st_size &&
           st.st_mtim.tv_sec == m_found.st_mtim.tv_sec && st.st_mtim.tv_nsec == m_found.st_mtim.tv_nsec;
}

// A file of the folder (`source`, as fstat describes it) to a name that must be free. Where the
// file system cannot rename without replacing (NFS, FUSE file systems such as sshfs), a hard link
// decides as atomically: it fails when the name is taken.
int DownloadFile::placeAtFreeName(const QByteArray &source, const QByteArray &target, const struct stat &sourceStat)
{
    int err = renameNoReplace(m_dirFd, source, target, false);
    if (!refusesFlags(err)) {
        return err;
    }
    const char *from = source.constData();
    const char *to = target.constData();
    bool linked = ::linkat(m_dirFd, from, m_dirFd, to, 0) == 0;
    err = linked ? 0 : errno;
    if (err == EEXIST) {
        // On NFS a link that worked but whose reply was lost answers so too.
        struct stat there;
        linked = ::fstatat(m_dirFd, to, &there, AT_SYMLINK_NOFOLLOW) == 0 && there.st_dev == sourceStat.st_dev &&
                 there.st_ino == sourceStat.st_ino;
    }
    if (linked) {
        if (::unlinkat(m_dirFd, from, 0) != 0) {
            qWarning("DownloadFile::replace: the name '%s' stays too: %s",
                     logText(QFile::decodeName(source)).constData(), std::strerror(errno));
        }
        return 0;
    }
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS && err != EINVAL) {
        return err;
    }
    qWarning("DownloadFile::replace: '%s': no rename without replacing and no hard links here; the name was looked "
             "at right before a plain rename",
             logText(QFile::decodeName(target)).constData());
    return lookThenRename(m_dirFd, source, target);
}

int DownloadFile::placeAtFreeName(const QByteArray &target)
{
    return placeAtFreeName(m_name, target, m_placed);
}

// A conflict copy's name from the caller that lies in the folder and fits its name limit.
bool DownloadFile::copyNameFor(const QString &destination, QByteArray *copy) const
{
    const QString path = m_copyName ? m_copyName(destination) : QString();
    const QFileInfo info(path);
    if (path.isEmpty() || QDir::cleanPath(info.absolutePath()) != m_folderPath) {
        return false;
    }
    const long limit = ::fpathconf(m_dirFd, _PC_NAME_MAX);
    *copy = QFile::encodeName(info.fileName());
    return !copy->isEmpty() && copy->size() <= (limit > 0 ? limit : 255);
}

// Moves the entry `from` to a free conflict copy's name, never over another entry: first to the
// name in `copy`, formed before anything was moved, then to others while the name is taken.
int DownloadFile::moveToCopy(const QByteArray &from, const QString &destination, QByteArray *copy)
{
    int err = renameNoReplace(m_dirFd, from, *copy, true);
    for (int attempt = 1; attempt < 100 && err == EEXIST; ++attempt) {
        if (!copyNameFor(destination, copy)) {
            return ENAMETOOLONG;
        }
        err = renameNoReplace(m_dirFd, from, *copy, true);
    }
    return err;
}

// The download takes the name in one step, and what stood there comes out at the temporary
// name: removed when it is the file of the verdict, else kept as a conflict copy.
int DownloadFile::exchangeWith(const QByteArray &target, const QString &destination, QByteArray copy)
{
    if (::renameat2(m_dirFd, m_name.constData(), m_dirFd, target.constData(), RENAME_EXCHANGE) != 0) {
        const int err = errno;
        if (err == ENOENT) { // gone since the check: a free name now
            return placeAtFreeName(target);
        }
        if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) {
            return moveAsideAndPlace(target, destination, copy);
        }
        return err;
    }
    // The temporary name may hold the user's work from here on: nothing removes it by that name.
    m_replaced = true;
    struct stat out;
    if (::fstatat(m_dirFd, m_name.constData(), &out, AT_SYMLINK_NOFOLLOW) == 0 && isFound(out)) {
        if (::unlinkat(m_dirFd, m_name.constData(), 0) != 0) {
            qWarning("DownloadFile::replace: the replaced file stays as '%s': %s",
                     logText(QFile::decodeName(m_name)).constData(), std::strerror(errno));
        }
        return 0;
    }
    const int err = moveToCopy(m_name, destination, &copy);
    if (err != 0 &&
        ::renameat2(m_dirFd, m_name.constData(), m_dirFd, target.constData(), RENAME_EXCHANGE) == 0) {
        // No copy's name is free: the newer work goes back to its name, the download goes.
        m_replaced = false;
        return EEXIST;
    }
    m_keptAs = QFile::decodeName(err == 0 ? copy : m_name);
    qWarning("DownloadFile::replace: '%s' changed during the download; it was kept as '%s'",
             logText(destination).constData(), logText(m_keptAs).constData());
    return 0;
}

// Where the file system cannot exchange two names: the old file goes to a conflict copy's name,
// the download takes the name that is free now, and the copy goes only when it is the file of
// the verdict. The name is empty for that moment, as after backUp.
int DownloadFile::moveAsideAndPlace(const QByteArray &target, const QString &destination, QByteArray copy)
{
    int err = moveToCopy(target, destination, &copy);
    if (err == ENOENT) {
        return placeAtFreeName(target);
    }
    if (err != 0) {
        return err;
    }
    // A failure from here on brings the old file back (restoreBackup).
    m_backupName = target;
    m_backupCopy = copy;
    struct stat aside;
    const bool found = ::fstatat(m_dirFd, copy.constData(), &aside, AT_SYMLINK_NOFOLLOW) == 0 && isFound(aside);
    err = placeAtFreeName(target);
    if (err != 0) {
        return err;
    }
    if (!found) {
        m_keptAs = QFile::decodeName(copy);
        qWarning("DownloadFile::replace: '%s' changed during the download; it was kept as '%s'",
                 logText(destination).constData(), logText(m_keptAs).constData());
    } else if (::unlinkat(m_dirFd, copy.constData(), 0) != 0) {
        qWarning("DownloadFile::replace: the replaced file stays as '%s': %s",
                 logText(QFile::decodeName(copy)).constData(), std::strerror(errno));
    }
    return 0;
}

bool DownloadFile::replace(const QString &destination, QString *error)
{
    QString why;
    auto fail = [&](const QString &text) {
        why = text;
        restoreBackup(&why);
        if (error) {
            *error = why;
        }
        return false;
    };
    if (!m_finished || m_replaced || m_fd < 0) {
        return fail(QStringLiteral("The download is not complete"));
    }
    const QFileInfo info(destination);
    if (QDir::cleanPath(info.absolutePath()) != m_folderPath) {
        return fail(QStringLiteral("Not in the folder of the download: '%1'").arg(destination));
    }
    QString reason;
    if (!sameFolder(&reason)) {
        return fail(reason);
    }
    const QByteArray target = QFile::encodeName(info.fileName());
    if (::fchmod(m_fd, destinationMode(m_dirFd, m_backupCopy.isEmpty() ? target : m_backupCopy)) != 0) {
        return fail(systemText(errno));
    }
    // This very file, to know it again at the name and for the caller to record: not whatever is
    // saved at the name later.
    if (::fstat(m_fd, &m_placed) != 0) {
        return fail(systemText(errno));
    }
    // Where the verdict names the file found, only that file is replaced; anything else there is
    // kept under a copy's name, which must exist before anything moves.
    const bool mayReplace = m_mayReplace && m_backupCopy.isEmpty();
    const bool onlyFound = mayReplace && m_hasFound;
    QByteArray copy;
    if (onlyFound && !copyNameFor(destination, &copy)) {
        qWarning("DownloadFile::replace: no conflict copy's name fits beside '%s'; nothing is replaced",
                 logText(destination).constData());
        return fail(QStringLiteral("No name for a conflict copy fits in the folder"));
    }
    if (s_renameHook) {
        s_renameHook(m_dirFd, target);
    }
    // A name found free stays free for us only: whatever is saved there meanwhile is the user's
    // newest work. Of a name found taken, only the file found there is replaced. Without a verdict
    // the destination is replaced, never missing in between.
    int err = 0;
    if (onlyFound) {
        err = exchangeWith(target, destination, copy);
    } else if (mayReplace) {
        err = ::renameat(m_dirFd, m_name.constData(), m_dirFd, target.constData()) == 0 ? 0 : errno;
    } else {
        err = placeAtFreeName(target);
    }
    if (err == EEXIST) {
        qWarning("DownloadFile::replace: '%s' appeared during the download; it stays",
                 logText(destination).constData());
        return fail(nameTakenText());
    }
    if (err != 0) {
        return fail(systemText(err));
    }
    closeFile();
    m_replaced = true;
    m_backupName.clear();
    m_backupCopy.clear();
    if (s_renamedHook) {
        s_renamedHook(m_dirFd, target);
    }
    return true;
}

void DownloadFile::setRenameHook(RenameHook hook)
{
    s_renameHook = std::move(hook);
}

void DownloadFile::setRenamedHook(RenameHook hook)
{
    s_renamedHook = std::move(hook);
}

void DownloadFile::closeFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool DownloadFile::removeFile()
{
    closeFile();
    restoreBackup(nullptr);
    // After the rename the temporary name is free again and may belong to another download.
    if (m_replaced || m_name.isEmpty() || m_dirFd < 0) {
        return false;
    }
    const bool removed = ::unlinkat(m_dirFd, m_name.constData(), 0) == 0;
    m_name.clear();
    return removed;
}
