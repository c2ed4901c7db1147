#include "sync/LocalFileReader.h"

#include "core/FileChecksum.h"
#include "core/StringUtil.h"
#include "sync/FolderWalk.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

LocalFileReader::ChunkHook &chunkHook()
{
    static LocalFileReader::ChunkHook hook;
    return hook;
}

void unreadable(const QString &name, int err)
{
    qWarning("LocalFileReader: cannot read '%s': %s", qUtf8Printable(StringUtil::escapeNonPrintable(name)),
             err ? std::strerror(err) : "no checksum");
}

} // namespace

void LocalFileReader::setChunkHook(ChunkHook hook)
{
    chunkHook() = std::move(hook);
}

LocalFileReader::Answer LocalFileReader::checksum(const QString &base, const QString &path, const QString &algorithm,
                                                  const Pump &pump, QString *sum)
{
    sum->clear();
    const QString target = QDir::cleanPath(path);
    int err = 0;
    const int folder = FolderWalk::openParent(base, target, &err);
    if (folder < 0) {
        unreadable(target, err);
        return Unreadable;
    }
    const Answer answer = checksumAt(folder, target.section(QLatin1Char('/'), -1), algorithm, pump, sum);
    ::close(folder);
    return answer;
}

LocalFileReader::Answer LocalFileReader::checksumAt(int folder, const QString &name, const QString &algorithm,
                                                    const Pump &pump, QString *sum)
{
    sum->clear();
    // Never blocks: a FIFO put at the name would hold the window's thread in open(2) for ever.
    const int fd = ::openat(folder, QFile::encodeName(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        unreadable(name, errno);
        return Unreadable;
    }
    struct stat st;
    Answer answer = Unreadable;
    if (::fstat(fd, &st) != 0)
        unreadable(name, errno);
    else if (!S_ISREG(st.st_mode))
        qWarning("LocalFileReader: not a regular file: '%s'", qUtf8Printable(StringUtil::escapeNonPrintable(name)));
    else
        answer = checksumOf(fd, algorithm, pump, sum);
    ::close(fd);
    return answer;
}

LocalFileReader::Answer LocalFileReader::checksumOf(int fd, const QString &algorithm, const Pump &pump, QString *sum)
{
    sum->clear();
    FileChecksum digest(algorithm);
    if (!digest.isValid())
        return Unreadable;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    const std::unique_ptr<char[]> buffer(new char[size_t(ChunkSize)]);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.get(), size_t(ChunkSize), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            qWarning("LocalFileReader: read failed at %lld: %s", static_cast<long long>(offset), std::strerror(errno));
            return Unreadable;
        }
        if (n == 0)
            break;
        digest.addData(buffer.get(), n);
        offset += n;
        if (chunkHook())
            chunkHook()(offset);
        if (pump && !pump())
            return Stopped;
    }
    *sum = digest.result();
    if (sum->isEmpty()) {
        qWarning("LocalFileReader: the digest failed");
        return Unreadable;
    }
    return Read;
}
