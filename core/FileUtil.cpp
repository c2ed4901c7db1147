#include "core/FileUtil.h"

#include "core/FileChecksum.h"
#include "core/StringUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#endif

namespace {

// Indexed by id - 1.
const char *const kAlgorithms[] = {"md5", "sha1", "sha256", "sha512"};

// Large enough that the digest, not the calls, sets the pace.
constexpr qint64 kChecksumChunk = qint64(1) << 20;

const QRegularExpression &drivePrefix()
{
    static const QRegularExpression re(QStringLiteral("^\\w+:"));
    return re;
}

QString rotationName(const QString &path, int number)
{
    return path + QLatin1Char('.') + QString::number(number);
}

#ifdef Q_OS_UNIX
bool onDifferentDevices(const QString &a, const QString &b)
{
    struct stat sa;
    struct stat sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0) {
        return false;
    }
    return sa.st_dev != sb.st_dev;
}
#endif

// Copies into a target that must not exist yet, flushed to the disk before the source goes.
bool copyExclusive(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    bool ok = true;
    QByteArray buffer;
    while (ok && !in.atEnd()) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty() && in.error() != QFileDevice::NoError) {
            ok = false;
            break;
        }
        ok = out.write(buffer) == buffer.size();
    }
    ok = ok && out.flush();
#ifdef Q_OS_UNIX
    ok = ok && ::fsync(out.handle()) == 0;
#endif
    if (ok) {
        out.setPermissions(in.permissions());
        out.setFileTime(QFileInfo(in).lastModified(), QFileDevice::FileModificationTime);
    }
    out.close();
    ok = ok && out.error() == QFileDevice::NoError;
    if (!ok) {
        out.remove();
    }
    return ok;
}

} // namespace

int FileUtil::checkSumAlgorithmFromName(const QString &name)
{
    for (int i = 0; i < int(sizeof(kAlgorithms) / sizeof(kAlgorithms[0])); ++i) {
        if (name == QLatin1String(kAlgorithms[i])) {
            return i + 1;
        }
    }
    return NoAlgorithm;
}

QString FileUtil::calculateCheckSum(int algorithm, const QString &path)
{
    if (algorithm < Md5 || algorithm > Sha512) {
        return QString();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("FileUtil::calculateCheckSum: Failed to open local file '%s'", qUtf8Printable(path));
        return QString();
    }
    FileChecksum sum{QLatin1String(kAlgorithms[algorithm - 1])};
    QByteArray buffer(int(kChecksumChunk), Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 n = file.read(buffer.data(), kChecksumChunk);
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        sum.addData(buffer.constData(), n);
    }
    file.close();
    // A failed digest is no checksum: the same answer as a failed read.
    const QString result = ok ? sum.result() : QString();
    if (result.isEmpty()) {
        qWarning("FileUtil::calculateCheckSum: Failed to read local file '%s'", qUtf8Printable(path));
        return QString();
    }
    return result;
}

QString FileUtil::calculateCheckSum(const QString &algorithmName, const QString &path)
{
    return calculateCheckSum(checkSumAlgorithmFromName(algorithmName), path);
}

bool FileUtil::deleteFile(const QString &path)
{
    QFile file(path);
    if (!file.exists()) {
        return false;
    }
    return file.remove();
}

void FileUtil::rotateFile(const QString &path, int count)
{
    if (count < 1) {
        return;
    }
    QFile::remove(rotationName(path, count));
    for (int k = count; k >= 1; --k) {
        const QString from = k == 1 ? path : rotationName(path, k - 1);
        QFile::rename(from, rotationName(path, k));
    }
}

bool FileUtil::deleteRotatedFiles(const QString &path)
{
    for (int k = 1;; ++k) {
        QFile file(rotationName(path, k));
        if (!file.exists()) {
            return true;
        }
        if (!file.remove()) {
            qWarning("FileUtil::deleteRotatedFiles: Failed to delete file '%s': %s",
                     qUtf8Printable(StringUtil::escapeNonPrintable(file.fileName())),
                     qUtf8Printable(file.errorString()));
            return false;
        }
    }
}

bool FileUtil::moveRotatedFiles(const QString &path, const QString &directory)
{
    if (!QFileInfo(directory).isDir()) {
        return false;
    }
    for (int k = 1;; ++k) {
        QFile file(rotationName(path, k));
        if (!file.exists()) {
            return true;
        }
        if (!moveFileToDirectory(file.fileName(), directory)) {
            qWarning("FileUtil::moveRotatedFiles: Failed to move file '%s' to '%s': %s",
                     qUtf8Printable(StringUtil::escapeNonPrintable(file.fileName())),
                     qUtf8Printable(StringUtil::escapeNonPrintable(directory)), qUtf8Printable(file.errorString()));
            return false;
        }
    }
}

bool FileUtil::moveFileToDirectory(const QString &file, const QString &directory)
{
    const QFileInfo source(file);
    const QFileInfo dir(directory);
    if (!source.exists() || !source.isFile() || !dir.exists() || !dir.isDir()) {
        return false;
    }
    return renameOrCopy(file, directory + QLatin1Char('/') + source.fileName());
}

bool FileUtil::moveFile(const QString &source, const QString &target)
{
    const QFileInfo src(source);
    const QFileInfo dst(target);
    const QFileInfo parent(dst.absolutePath());
    if (!src.exists() || !src.isFile() || !parent.exists() || !parent.isDir() || dst.exists() || dst.isSymLink()) {
        return false;
    }
    return renameOrCopy(source, target);
}

bool FileUtil::renameOrCopy(const QString &source, const QString &target)
{
    const QFileInfo src(source);
    const QString absoluteTarget = QFileInfo(target).absoluteFilePath();
    if (QFileInfo::exists(absoluteTarget) || QFileInfo(absoluteTarget).isSymLink()) {
        return false;
    }
#ifdef Q_OS_LINUX
    // QFile::rename would fall back to its own copy, which truncates whatever appeared at the
    // target meanwhile and drops the permissions; rename without replacing instead.
    const QByteArray from = QFile::encodeName(src.absoluteFilePath());
    const QByteArray to = QFile::encodeName(absoluteTarget);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        if (errno != EINVAL && errno != ENOSYS) {
            return false;
        }
        // The file system does not know the flag.
        return src.dir().rename(src.fileName(), absoluteTarget);
    }
#else
    if (src.dir().rename(src.fileName(), absoluteTarget)) {
        return true;
    }
#endif
#ifdef Q_OS_UNIX
    // rename() cannot cross file systems (EXDEV): copy, flush, then remove the source.
    if (!onDifferentDevices(source, QFileInfo(absoluteTarget).absolutePath())) {
        return false;
    }
#endif
    if (!copyExclusive(source, absoluteTarget)) {
        return false;
    }
    if (!QFile::remove(source)) {
        // Keep exactly one copy: the source is still there, so the move did not happen.
        QFile::remove(absoluteTarget);
        return false;
    }
    return true;
}

QString FileUtil::driveName(const QString &path)
{
    const QRegularExpressionMatch m = drivePrefix().match(path);
    if (!m.hasMatch() || m.capturedLength(0) <= 1) {
        return QString();
    }
    return m.captured(0).chopped(1);
}

bool FileUtil::isSameDrive(const QString &a, const QString &b)
{
    const QRegularExpressionMatch ma = drivePrefix().match(a);
    const QRegularExpressionMatch mb = drivePrefix().match(b);
    return ma.hasMatch() && mb.hasMatch() && ma.captured(0) == mb.captured(0);
}

bool FileUtil::isDriveOnly(const QString &path)
{
    if (path.isEmpty()) {
        return true;
    }
    const QRegularExpressionMatch m = drivePrefix().match(path);
    if (!m.hasMatch()) {
        return false;
    }
    return m.capturedLength(0) == path.size();
}

QStringList FileUtil::describeFile(const QString &path)
{
    QStringList out;
    const QStorageInfo volume(path);
    if (volume.isValid()) {
        out << QStringLiteral("vol='%1'").arg(volume.name()) << QStringLiteral("root='%1'").arg(volume.rootPath())
            << QStringLiteral("fs=%1").arg(QString::fromLatin1(volume.fileSystemType()));
    }
    const QFileInfo info(path);
    const QString rawName = QStringLiteral("rawname=%1").arg(QString::fromLatin1(info.fileName().toUtf8().toHex()));
    if (!info.exists()) {
        out << QStringLiteral("!exists") << rawName;
        return out;
    }
    auto flag = [&out](bool on, const char *word) {
        out << (on ? QString::fromLatin1(word) : QLatin1Char('!') + QString::fromLatin1(word));
    };
    out << QStringLiteral("exists");
    flag(info.isReadable(), "readable");
    flag(info.isWritable(), "writable");
    flag(info.isExecutable(), "executable");
    flag(info.isFile(), "isfile");
    flag(info.isDir(), "isdir");
    flag(info.isHidden(), "hidden");
    flag(info.isSymLink(), "issymlink");
    flag(info.isBundle(), "isbundle");
    out << QStringLiteral("size=%1").arg(info.size()) << rawName;
    return out;
}

int FileUtil::countLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return 0;
    }
    QTextStream in(&file);
    int lines = 0;
    QString line;
    while (in.readLineInto(&line)) {
        ++lines;
    }
    return lines;
}

void FileUtil::waitProcessingEvents(int milliseconds)
{
    if (milliseconds <= 0) {
        return;
    }
    if (!QCoreApplication::instance()) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
        return;
    }
    // An event loop sleeps between events; processEvents() in a loop would spin the processor.
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    while (elapsed.elapsed() < milliseconds) {
        timer.start(int(qMin<qint64>(100, milliseconds - elapsed.elapsed())));
        loop.exec();
    }
}
