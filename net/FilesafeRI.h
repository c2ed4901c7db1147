#pragma once

#include "net/FilesafeObjectsTO_v2.h"
#include "net/FilesafesTO_v2.h"
#include "net/GenericRI.h"
#include "net/Result.h"

#include <QString>

#include <functional>

class AppInfo;
class DownloadFile;
class QFile;
class Request;

// The client of the service's file-safe resource: safes, listings, folders, deletions and the
// encrypted transfer of file contents.
class FilesafeRI : public GenericRI
{
    Q_OBJECT

public:
    // (bytes done, bytes total) of the encrypted body.
    using ProgressCallback = std::function<void(qint64, qint64)>;

    FilesafeRI(const AppInfo *appInfo, ISession *session, QObject *parent = nullptr);

    QString basePath() const;

    void getFilesafes(ResultCallback<FilesafesTO_v2> callback);
    // With keepUnsafePaths the listing keeps objects whose paths FilesafeObject::isSafePath refuses;
    // the caller must check every path itself.
    void getObjects(QString safeId, QString objectPath, int depth, QString type,
                    ResultCallback<FilesafeObjectsTO_v2> callback, bool keepUnsafePaths = false);
    void createDir(QString destinationId, QString name, ResultCallback<FilesafeObjectsTO_v2> callback);
    void deleteDir(QString objectId, bool hasTrash, ResultCallback<Nothing> callback);
    void deleteFile(QString objectId, bool hasTrash, ResultCallback<Nothing> callback);
    // With an algorithm the plain bytes are hashed on the way (DownloadFile::plainChecksum); the
    // hook runs right before the finished file replaces the destination. openFolder prepares the
    // destination's folder (DownloadFile::OpenFolder); without it the folder is opened by its path.
    void downloadFile(QString objectId, QString localDestFilePath, qint64 expectedSize, ResultCallback<qint64> callback,
                      ProgressCallback progress, const QString &checksumAlgorithm = QString(),
                      std::function<bool(DownloadFile &, QString *, QString *)> beforeReplace = nullptr,
                      std::function<int(QString *)> openFolder = nullptr);
    // An empty object id creates a new file in the destination folder; otherwise a new version.
    // The file itself is never a link, and must be a regular file.
    void sendRemoteFileAction(QString objectId, QString localFilePath, QString destinationId,
                              ResultCallback<FilesafeObjectsTO_v2> callback, ProgressCallback progress);
    // The same for a file the caller opened and checked itself, sent from its current position;
    // the file is taken over. The path names it in the request and the log.
    void sendRemoteFileAction(QString objectId, QFile *source, QString localFilePath, QString destinationId,
                              ResultCallback<FilesafeObjectsTO_v2> callback, ProgressCallback progress);

    // Header values: UTF-8 with every byte but A-Z a-z 0-9 - . _ ~ percent-encoded.
    static QByteArray percentEncoded(const QString &text);

public slots:
    void on_finishedDownloadFile(qlonglong bytesExpected, DownloadFile *file, QString localDestFilePath,
                                 ResultCallback<qint64> callback);
    void on_readyReadDownloadFile(Request *request, DownloadFile *file);

private:
    // Static: a download outlives the interface object that started it.
    static void readDownloadChunk(Request *request, DownloadFile *file);
    static void finishDownload(qint64 bytesExpected, DownloadFile *file, const QString &localDestFilePath,
                               const ResultCallback<qint64> &callback);
    void deleteObject(const QString &kind, const QString &objectId, bool hasTrash, ResultCallback<Nothing> callback);

    const AppInfo *m_appInfo;
};
