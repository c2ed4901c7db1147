#include "net/FilesafeRI.h"

#include "core/AppInfo.h"
#include "core/FileUtil.h"
#include "core/MessageHandler.h"
#include "core/StringUtil.h"
#include "net/AesCryptDevice.h"
#include "net/crypto/Codec.h"
#include "net/crypto/CryptoPrimitives.h"
#include "net/DownloadFile.h"
#include "net/FilesafeListingReader.h"
#include "net/Request.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kUploadTimeoutMs = 420000;
// Without a limit the network thread keeps reading while the disk is slower, and the whole reply
// piles up in memory; with it the socket waits for us.
constexpr qint64 kDownloadReadBuffer = 1024 * 1024;

// A full disk must not read as a broken download: the cause decides what the user does next.
QString sinkFailure(const DownloadFile *file, const QString &undecryptable)
{
    return file->writeError().isEmpty() ? undecryptable
                                        : QStringLiteral("Unable to write download file: %1").arg(file->writeError());
}

} // namespace

FilesafeRI::FilesafeRI(const AppInfo *appInfo, ISession *session, QObject *parent)
    : GenericRI(session, parent)
    , m_appInfo(appInfo)
{}

QString FilesafeRI::basePath() const
{
    if (!m_appInfo || m_appInfo->apiGeneration == 1) {
        return QStringLiteral("/rest/loggedin/3/filesafe/");
    }
    return QStringLiteral("/api/sync/1/files/");
}

QByteArray FilesafeRI::percentEncoded(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

void FilesafeRI::getFilesafes(ResultCallback<FilesafesTO_v2> callback)
{
    Request *request = Request::createGet(basePath() + QStringLiteral("info"));
    sendJsonRequest<FilesafesTO_v2>(request, session, std::move(callback));
}

void FilesafeRI::getObjects(QString safeId, QString objectPath, int depth, QString type,
                            ResultCallback<FilesafeObjectsTO_v2> callback, bool keepUnsafePaths)
{
    if (refuseBadId(safeId, callback, QStringLiteral("safe"))) {
        return;
    }
    Request *request = Request::createGet(basePath() + QStringLiteral("info/") + Request::pathSegment(safeId));
    request->addQueryItem(QStringLiteral("depth"), QString::number(depth));
    request->addQueryItem(QStringLiteral("type"), type);
    request->addHeader("X-Object-Path", percentEncoded(objectPath));
    // Read in one pass, without a document beside the body: listings run to tens of megabytes.
    const bool refuseUnsafePaths = !keepUnsafePaths;
    sendBodyRequest<FilesafeObjectsTO_v2>(
            request, session,
            [refuseUnsafePaths](QByteArray &body, FilesafeObjectsTO_v2 &listing, ErrorCode &code, QString &message) {
                return FilesafeListingReader::decode(body, refuseUnsafePaths, listing, code, message);
            },
            std::move(callback));
}

void FilesafeRI::createDir(QString destinationId, QString name, ResultCallback<FilesafeObjectsTO_v2> callback)
{
    // The destination travels unencoded in a header.
    if (!destinationId.isEmpty() && refuseBadId(destinationId, callback, QStringLiteral("destination"))) {
        return;
    }
    Request *request = Request::createPostRaw(basePath() + QStringLiteral("folder"), QByteArray(),
                                              QStringLiteral("text/plain; charset=UTF-8"));
    request->addHeader("X-Foldername", percentEncoded(name));
    request->addHeader("X-Destination", destinationId.toUtf8());
    sendJsonRequest<FilesafeObjectsTO_v2>(request, session, std::move(callback));
}

void FilesafeRI::deleteDir(QString objectId, bool hasTrash, ResultCallback<Nothing> callback)
{
    deleteObject(QStringLiteral("folder/"), objectId, hasTrash, std::move(callback));
}

void FilesafeRI::deleteFile(QString objectId, bool hasTrash, ResultCallback<Nothing> callback)
{
    deleteObject(QStringLiteral("file/"), objectId, hasTrash, std::move(callback));
}

void FilesafeRI::deleteObject(const QString &kind, const QString &objectId, bool hasTrash,
                              ResultCallback<Nothing> callback)
{
    if (refuseBadId(objectId, callback, QStringLiteral("object"))) {
        return;
    }
    Request *request = Request::createDelete(basePath() + kind + Request::pathSegment(objectId));
    request->addQueryItem(QStringLiteral("mode"),
                          hasTrash ? QStringLiteral("trash") : QStringLiteral("trashToPrivate"));
    sendJsonRequest<Nothing>(request, session, std::move(callback));
}

void FilesafeRI::downloadFile(QString objectId, QString localDestFilePath, qint64 expectedSize,
                              ResultCallback<qint64> callback, ProgressCallback progress,
                              const QString &checksumAlgorithm,
                              std::function<bool(DownloadFile &, QString *, QString *)> beforeReplace,
                              std::function<int(QString *)> openFolder)
{
    if (refuseBadId(objectId, callback, QStringLiteral("object"))) {
        return;
    }
    const QString folder = QFileInfo(localDestFilePath).absolutePath();
    const QString appName = m_appInfo ? QString::fromUtf8(m_appInfo->appName) : QString();
    const QString pathTemplate = QStringLiteral("%1/~$%2_XXXXXX.tessarvale").arg(folder, appName);

    // The download belongs to its request, not to this object: the caller may drop the interface
    // (even from its own callback) and still gets its one outcome, and the handlers touch nothing
    // of this object.
    Request *request = Request::createGet(basePath() + QStringLiteral("file/") + Request::pathSegment(objectId));
    auto *file = new DownloadFile(pathTemplate, Codec::hexToBytes(session->transportKey()), request);
    QPointer<DownloadFile> guardedFile(file);
    if (!checksumAlgorithm.isEmpty()) {
        file->setChecksumAlgorithm(checksumAlgorithm);
    }
    file->setBeforeReplace(std::move(beforeReplace));
    file->setOpenFolder(std::move(openFolder));
    request->setDownloadProgressCallback(std::move(progress));
    request->setReadyReadCallback([guardedFile, request]() {
        if (guardedFile) {
            readDownloadChunk(request, guardedFile);
        }
    });
    connect(request, &Request::success, request,
            [request, guardedFile, expectedSize, localDestFilePath, callback]() {
                if (!guardedFile) {
                    if (callback) {
                        callback(Result<qint64>(EC_CLIENT, QStringLiteral("Aborted: download file is gone")));
                    }
                    return;
                }
                // Bytes that arrived together with the end of the reply.
                readDownloadChunk(request, guardedFile);
                finishDownload(expectedSize, guardedFile, localDestFilePath, callback);
                // The callback may have ended what owns the file.
                if (guardedFile) {
                    guardedFile->removeFile();
                    guardedFile->deleteLater();
                }
            });
    connect(request, &Request::error, request, [guardedFile, callback](ErrorCode code, const QString &message) {
        if (callback) {
            callback(Result<qint64>(code, message));
        }
        if (guardedFile) {
            guardedFile->removeFile();
            guardedFile->deleteLater();
        }
    });
    request->send(session);
    if (QNetworkReply *reply = request->reply()) {
        reply->setReadBufferSize(kDownloadReadBuffer);
    }
}

void FilesafeRI::on_readyReadDownloadFile(Request *request, DownloadFile *file)
{
    readDownloadChunk(request, file);
}

void FilesafeRI::readDownloadChunk(Request *request, DownloadFile *file)
{
    if (!file->isDecrypting()) {
        const QString iv = QString::fromLatin1(request->rawHeader("X-Transport-Iv"));
        if (!file->initDecryption(iv)) {
            // A temporary file that cannot be made is no fault of the encryption: the system's
            // cause follows the text. A missing or malformed IV has none.
            QString reason = QStringLiteral("Unable to initiate download file decryption");
            if (!file->writeError().isEmpty()) {
                reason += QStringLiteral(": ") + file->writeError();
                qWarning("FilesafeRI::downloadFile: %s", qUtf8Printable(StringUtil::escapeNonPrintable(reason)));
            }
            request->abortWithError(EC_CLIENT, reason);
            return;
        }
    }
    QByteArray bytes;
    request->readAvailable(bytes, true);
    if (!file->appendChunk(bytes)) {
        request->abortWithError(EC_CLIENT, sinkFailure(file, QStringLiteral("Unable to decrypt download file.")));
    }
}

void FilesafeRI::on_finishedDownloadFile(qlonglong bytesExpected, DownloadFile *file, QString localDestFilePath,
                                         ResultCallback<qint64> callback)
{
    finishDownload(bytesExpected, file, localDestFilePath, std::move(callback));
}

void FilesafeRI::finishDownload(qint64 bytesExpected, DownloadFile *file, const QString &localDestFilePath,
                                const ResultCallback<qint64> &callback)
{
    auto report = [&callback](const Result<qint64> &result) {
        if (callback) {
            callback(result);
        }
    };
    if (!file->finish()) {
        report(Result<qint64>(EC_CLIENT, sinkFailure(file, QStringLiteral("Bad padding"))));
        return;
    }
    const qint64 received = file->plainSize();
    if (received != bytesExpected) {
        report(Result<qint64>(EC_CLIENT, QStringLiteral("Download size mismatch (expected: %1, received: %2)")
                                                 .arg(bytesExpected)
                                                 .arg(received)));
        return;
    }
    QString destination = localDestFilePath;
    QString reason;
    if (!file->runBeforeReplace(&destination, &reason)) {
        report(Result<qint64>(EC_CLIENT, reason));
        return;
    }
    // One step replaces the old file (a rename over it; where the caller named the file found, an
    // exchange of names, or where the file system has none, a move aside for a moment). An open
    // file never stands in its way on this system: the cause is the system's own.
    QString cause;
    if (!file->replace(destination, &cause)) {
        report(Result<qint64>(EC_CLIENT,
                              QStringLiteral("Could not override file. File '%1': %2").arg(destination, cause)));
        return;
    }
    if (isDebugLogged())
        qDebug("Destination file: %s", qUtf8Printable(StringUtil::escapeNonPrintable(destination)));
    report(Result<qint64>(received));
}

void FilesafeRI::sendRemoteFileAction(QString objectId, QString localFilePath, QString destinationId,
                                      ResultCallback<FilesafeObjectsTO_v2> callback, ProgressCallback progress)
{
    if ((!objectId.isEmpty() && refuseBadId(objectId, callback, QStringLiteral("object")))
        || (!destinationId.isEmpty() && refuseBadId(destinationId, callback, QStringLiteral("destination")))) {
        return;
    }
    auto report = [&callback](ErrorCode code, const QString &message) {
        if (callback) {
            callback(Result<FilesafeObjectsTO_v2>(code, message));
        }
    };
    const QString escapedName = StringUtil::escapeNonPrintable(localFilePath);
    // What is checked is what is read: the descriptor, opened without following a link at the
    // file itself and without blocking on a FIFO, must be a regular file (a device or a pipe has
    // no length to announce).
    const int fd = ::open(QFile::encodeName(localFilePath).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int err = errno;
    struct stat st;
    const bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    auto *file = new QFile(localFilePath);
    if (!regular || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        qWarning("R7Session::sendRemoteFileAction: cannot open file '%s'", qUtf8Printable(escapedName));
        QString text = QStringLiteral("Not a regular file");
        if (fd < 0) {
            text = err == ELOOP ? QStringLiteral("Is a symbolic link") : QString::fromLocal8Bit(std::strerror(err));
        } else if (regular) {
            text = file->errorString();
        }
        report(EC_LOCAL_FILE, QStringLiteral("Failed to open file: [%1] %2 (details:%3)")
                                      .arg(int(QFileDevice::OpenError))
                                      .arg(text, FileUtil::describeFile(localFilePath).join(QLatin1Char(','))));
        if (fd >= 0) {
            ::close(fd);
        }
        delete file;
        return;
    }
    const QFileInfo info(localFilePath);
    sendRemoteFileAction(objectId, file, info.absoluteFilePath(), destinationId, std::move(callback),
                         std::move(progress));
}

void FilesafeRI::sendRemoteFileAction(QString objectId, QFile *source, QString localFilePath, QString destinationId,
                                      ResultCallback<FilesafeObjectsTO_v2> callback, ProgressCallback progress)
{
    std::unique_ptr<QFile> file(source);
    if ((!objectId.isEmpty() && refuseBadId(objectId, callback, QStringLiteral("object")))
        || (!destinationId.isEmpty() && refuseBadId(destinationId, callback, QStringLiteral("destination")))) {
        return;
    }
    auto report = [&callback](ErrorCode code, const QString &message) {
        if (callback) {
            callback(Result<FilesafeObjectsTO_v2>(code, message));
        }
    };
    unsigned char ivBytes[16];
    if (!randomBytes(ivBytes, int(sizeof ivBytes))) {
        report(EC_CLIENT, QStringLiteral("Unable to create the transport IV"));
        return;
    }
    const QString ivText = Codec::bytesToHex(ivBytes, int(sizeof ivBytes), QString());
    const QString escapedName = StringUtil::escapeNonPrintable(localFilePath);
    auto *device = new AesCryptDevice(Codec::hexToBytes(session->transportKey()), ivText, file.get());
    file.release()->setParent(device);
    if (!device->open(QIODevice::ReadOnly)) {
        qWarning("R7Session::sendRemoteFileAction: cannot open file to enc '%s'", qUtf8Printable(escapedName));
        report(EC_LOCAL_FILE, QStringLiteral("Failed to open file: [%1] %2 (details:%3)")
                                      .arg(int(source->error()))
                                      .arg(source->errorString(),
                                           FileUtil::describeFile(localFilePath).join(QLatin1Char(','))));
        delete device;
        return;
    }
    if (isDebugLogged())
        qDebug("R7Session::sendRemoteFileAction: local source: '%s'", qUtf8Printable(escapedName));

    QString path = basePath() + QStringLiteral("file");
    if (!objectId.isEmpty()) {
        path += QLatin1Char('/') + Request::pathSegment(objectId);
    }
    Request *request = Request::createPostDevice(path, device, QStringLiteral("application/octet-stream"));
    request->setUploadProgressCallback(std::move(progress));
    request->addHeader("X-Filename", percentEncoded(QFileInfo(localFilePath).fileName()));
    request->addHeader("X-Transport-Iv", ivText.toLatin1());
    request->addHeader("X-Destination", percentEncoded(destinationId));
    request->setTimeout(kUploadTimeoutMs);
    sendJsonRequest<FilesafeObjectsTO_v2>(request, session, std::move(callback));
}
