#include "sync/Syncher.h"

#include "core/FileUtil.h"
#include "core/MessageHandler.h"
#include "net/DownloadFile.h"
#include "net/FilesafeRI.h"
#include "net/Request.h"
#include "sync/FolderWalk.h"
#include "sync/LocalFileReader.h"
#include "sync/SyncherDetail.h"
#include "sync/UploadSource.h"
#include "sync/WholeSecondTime.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace SyncherDetail;

void Syncher::abortOwnRequests()
{
    // Deleting the owner aborts every request sent under it; their completions then see the stop.
    QObject *owner = m_requestOwner;
    m_requestOwner = new QObject(this);
    delete owner;
}

// ---- remote requests

QString Syncher::parentFolderId(const SyncAction *action)
{
    if (action->path().isEmpty()) {
        if (!m_setting.rootFolderId().isEmpty())
            return m_setting.rootFolderId();
        return cleanRemote(m_setting.remoteDir()) == QLatin1String("/") ? m_safe.rootFolderId : QString();
    }
    return folderId(action->path());
}

namespace {
// An empty or zero id would make the service file the object at the top of the safe.
bool isUsableParent(const QString &id)
{
    return !id.isEmpty() && id != QLatin1String("0");
}
} // namespace

void Syncher::sent(SyncAction *)
{
    m_requestPending = true;
}

void Syncher::remoteCreateDir(SyncAction *action)
{
    const QString parent = parentFolderId(action);
    if (!isUsableParent(parent)) {
        action->setExecuted(SyncAction::ERR_PARENT_DIR_MISSING,
                            QStringLiteral("Missing parent folder: '%1'").arg(action->remoteDirPath()));
        return;
    }
    action->setExecuting(true);
    QPointer<Syncher> self(this);
    ::Request::AbortScope scope(m_requestOwner);
    sent(action);
    m_filesafeRI->createDir(parent, action->name(), [self](const Result<FilesafeObjectsTO_v2> &result) {
        if (self)
            self->on_remoteCreateDirFinished(result);
    });
}

void Syncher::remoteDeleteFile(SyncAction *action)
{
    action->setExecuting(true);
    QPointer<Syncher> self(this);
    ::Request::AbortScope scope(m_requestOwner);
    sent(action);
    m_filesafeRI->deleteFile(action->objectId(), m_safe.hasTrash, [self](const EmptyResult &result) {
        if (self)
            self->on_remoteDeleteFileFinished(result);
    });
}

void Syncher::remoteDeleteDir(SyncAction *action)
{
    action->setExecuting(true);
    QPointer<Syncher> self(this);
    ::Request::AbortScope scope(m_requestOwner);
    sent(action);
    m_filesafeRI->deleteDir(action->objectId(), m_safe.hasTrash, [self](const EmptyResult &result) {
        if (self)
            self->on_remoteDeleteDirFinished(result);
    });
}

// Runs right before the complete download replaces the target, on the folder the download was
// written into; the user's file is left where it is unless everything checks out.
bool Syncher::downloadBeforeReplace(SyncAction *a, DownloadFile &file, QString *destination, QString *reason)
{
    if (m_stop) {
        *reason = QStringLiteral("Stopped");
        return false;
    }
    const QString checksum = file.plainChecksum();
    const QString expected = a->remoteChecksum();
    const QString algorithm = expected.section(QLatin1Char(':'), 0, 0);
    if (!checksum.isEmpty() && checksum.section(QLatin1Char(':'), 0, 0) == algorithm &&
        checksum.compare(expected, Qt::CaseInsensitive) != 0) {
        *reason = QStringLiteral("Checksum mismatch (expected: %1, received: %2)").arg(expected, checksum);
        return false;
    }
    m_downloadChecksum = checksum;
    m_downloadKeptAs.clear();
    m_download = &file;
    // The folder reached from the base without links must still be the one written into.
    if (!file.sameFolder(reason))
        return false;
    const QString name = QFileInfo(*destination).fileName();
    if (a->action() == SyncAction::BackupDownloadFile) {
        // Named before anything changes: where no copy's name fits, the file stays with its row.
        const QString copy = QFileInfo(SyncAction::conflictCopyPath(*destination)).fileName();
        if (copy.isEmpty()) {
            qWarning("Syncher::downloadFile: no conflict copy's name fits beside '%s'; nothing is renamed",
                     escaped(*destination).constData());
            m_downloadRefusal = SyncAction::ERR_FILE_BACKUP;
            *reason = QStringLiteral("No name for a conflict copy fits in the folder");
            return false;
        }
        if (!forgetRow(a)) {
            qWarning("Syncher::downloadFile: the state of '%s' cannot be changed; nothing is renamed",
                     escaped(a->relPath()).constData());
            m_downloadRefusal = SyncAction::WARN_SKIPPED;
            *reason = QStringLiteral("The synchronised state cannot be changed: '%1'").arg(a->relPath());
            return false;
        }
        QString error;
        const QByteArray folder = escaped(QFileInfo(*destination).path());
        if (!file.backUp(name, copy, &error)) {
            qWarning("Syncher::downloadFile: backup local file failed: '%s'/'%s' to '%s': %s", folder.constData(),
                     escaped(name).constData(), escaped(copy).constData(), escaped(error).constData());
            m_downloadRefusal = SyncAction::ERR_FILE_BACKUP;
            *reason = error;
            return false;
        }
        qDebug("Syncher::downloadFile: backup local file ok: '%s'/'%s' to '%s'", folder.constData(),
               escaped(name).constData(), escaped(copy).constData());
        // The name is free now; a file saved there before the download lands is newer work.
        file.setMayReplace(false);
        QPointer<Syncher> guard(this);
        step("backedup", *a);
        if (guard.isNull()) {
            *reason = QStringLiteral("Stopped");
            return false;
        }
        return true;
    }
    // Whatever happened to the target since the scan wins over the download. Size and time as the
    // scan read them, to the millisecond: a same-size rewrite within the scanned second (a copy
    // that keeps the time) is a change too.
    struct stat now;
    const bool exists = ::fstatat(file.folder(), QFile::encodeName(name).constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    bool changed = exists;
    if (exists && a->localMtime().isValid())
        changed = !S_ISREG(now.st_mode) || qint64(now.st_size) != a->localSize() ||
                  UploadSource::mtimeOf(now) != a->localMtime().toMSecsSinceEpoch();
    // A whole-second time as recent as the scan hides a same-size edit made since: the content tells.
    if (exists && !changed && WholeSecondTime::hidesChanges(now, m_scannedMs)) {
        const Content held = holdsLastContent(a, file.folder(), name);
        // The run ended while the file was read: it stays as it is, the download goes.
        if (held == Content::Stopped) {
            *reason = QStringLiteral("Stopped");
            return false;
        }
        changed = held == Content::Changed;
    }
    if (changed)
        return keepChangedTarget(a, file, *destination, now, reason);
    // Only the file found as the scan saw it is replaced, and only while it stands there; a name
    // found free must still be free.
    if (exists)
        file.setMayReplace(now, &SyncAction::conflictCopyPath);
    else
        file.setMayReplace(false);
    return true;
}

// The target changed since the scan: as in every conflict, the user's file goes aside under the
// copy's name and the download takes the name it freed. Anything but a regular file stays as it is,
// and so does a file saved at the name before the download lands.
bool Syncher::keepChangedTarget(SyncAction *a, DownloadFile &file, const QString &destination,
                                const struct stat &found, QString *reason)
{
    if (!S_ISREG(found.st_mode)) {
        qWarning("Syncher::on_downloadFileFinished: '%s' became another kind of entry during the download; it stays",
                 escaped(destination).constData());
        // The row describes a file that is gone: the next run compares both sides afresh.
        if (!forgetRow(a))
            m_stateWriteFailed = true;
        *reason = QStringLiteral("Not a regular file at the name; it stays: '%1'").arg(destination);
        return false;
    }
    const QString name = QFileInfo(destination).fileName();
    const QString copy = QFileInfo(SyncAction::conflictCopyPath(destination)).fileName();
    if (copy.isEmpty()) {
        *reason = QStringLiteral(
                "Local file changed during the download; no name for a conflict copy fits in the folder");
        return false;
    }
    if (!forgetRow(a)) {
        m_downloadRefusal = SyncAction::WARN_SKIPPED;
        *reason = QStringLiteral("The synchronised state cannot be changed: '%1'").arg(a->relPath());
        return false;
    }
    QString error;
    if (!file.backUp(name, copy, &error)) {
        *reason = QStringLiteral("Local file changed during the download; it could not be moved aside: %1").arg(error);
        return false;
    }
    qWarning("Syncher::on_downloadFileFinished: '%s' changed during the download; it was kept as '%s'",
             escaped(destination).constData(), escaped(copy).constData());
    m_downloadKeptAs = copy;
    file.setMayReplace(false);
    return true;
}

Syncher::Content Syncher::holdsLastContent(const SyncAction *action, int folder, const QString &name)
{
    const QString stored = m_last.get(action->relPath()).checksum();
    QString found;
    const LocalFileReader::Answer answer = LocalFileReader::checksumAt(
            folder, name, stored.section(QLatin1Char(':'), 0, 0),
            [this, action]() {
                return Request(true, ProgressInfo::Activity_ProcessSyncActions_Progress,
                               QStringLiteral("Downloading ..."), action);
            },
            &found);
    if (answer == LocalFileReader::Stopped)
        return Content::Stopped;
    // An unknown algorithm or a failed read gives no checksum, which matches nothing.
    return answer == LocalFileReader::Read && found.compare(stored, Qt::CaseInsensitive) == 0 ? Content::Same
                                                                                              : Content::Changed;
}

void Syncher::downloadFile(SyncAction *action)
{
    m_downloadRefusal = 0;
    m_download = nullptr;
    action->setExecuting(true);
    QPointer<Syncher> self(this);
    const QString algorithm = action->remoteChecksum().section(QLatin1Char(':'), 0, 0);
    ::Request::AbortScope scope(m_requestOwner);
    sent(action);
    m_filesafeRI->downloadFile(
            action->objectId(), action->localFilePath(), action->remoteSize(),
            [self](const Result<qint64> &result) {
                if (self)
                    self->on_downloadFileFinished(result);
            },
            [self](qint64 done, qint64 total) {
                if (self)
                    self->on_downloadFileProgress(done, total);
            },
            // The state records the checksum of the bytes written, never one read back from the path.
            DownloadFile::canHash(algorithm) ? algorithm : QStringLiteral("sha256"),
            [self, action](DownloadFile &file, QString *destination, QString *reason) {
                if (!self) {
                    *reason = QStringLiteral("Stopped");
                    return false;
                }
                return self->downloadBeforeReplace(action, file, destination, reason);
            },
            // The folder as the setting reaches it, never through a link.
            [base = action->localBase(), target = action->localFilePath()](QString *reason) {
                return FolderWalk::openParent(base, target, reason);
            });
}

bool Syncher::uploadFile(SyncAction *action)
{
    const QString parent = parentFolderId(action);
    if (!isUsableParent(parent)) {
        action->setExecuted(SyncAction::ERR_PARENT_DIR_MISSING,
                            QStringLiteral("Missing parent folder: '%1'").arg(action->remoteDirPath()));
        return true;
    }
    const QString source = action->localFilePath();
    // What is sent is the file the plan saw, read through the descriptor that was checked.
    QString refused;
    // The file sent, as the scan would describe it: a path may name another file by the end.
    struct stat sentStat;
    QFile *file = UploadSource::open(action->localBase(), source, action->localSize(), action->localMtime(), &refused,
                                     &sentStat);
    if (!file) {
        qWarning("Syncher::uploadFile: upload skipped: %s", escaped(refused).constData());
        action->setSkipped(true);
        action->setExecuted(SyncAction::WARN_SKIPPED, QStringLiteral("Upload skipped"));
        return true;
    }
    QString algorithm = action->remoteChecksum().section(QLatin1Char(':'), 0, 0);
    if (algorithm.isEmpty())
        algorithm = QStringLiteral("sha256");
    QString checksum;
    const LocalFileReader::Answer read = LocalFileReader::checksumOf(
            file->handle(), algorithm,
            [this, action]() {
                return Request(true, ProgressInfo::Activity_ProcessSyncActions_Progress,
                               QStringLiteral("Uploading ..."), action);
            },
            &checksum);
    if (read == LocalFileReader::Stopped) {
        delete file;
        return false;
    }
    m_uploadDevice = sentStat.st_dev;
    m_uploadInode = sentStat.st_ino;
    m_uploadSize = sentStat.st_size;
    m_uploadMtime = QDateTime::fromMSecsSinceEpoch(UploadSource::mtimeOf(sentStat), Qt::UTC);
    // Empty when it could not be read: the service's checksum is recorded then.
    m_uploadChecksum = checksum;
    action->setExecuting(true);
    QPointer<Syncher> self(this);
    ::Request::AbortScope scope(m_requestOwner);
    sent(action);
    m_filesafeRI->sendRemoteFileAction(
            action->action() == SyncAction::UpdateRemoteFile ? action->objectId() : QString(), file, source, parent,
            [self](const Result<FilesafeObjectsTO_v2> &result) {
                if (self)
                    self->on_uploadFileFinished(result);
            },
            [self](qint64 done, qint64 total) {
                if (self)
                    self->on_uploadFileProgress(done, total);
            });
    return true;
}

void Syncher::on_remoteCreateDirFinished(const Result<FilesafeObjectsTO_v2> &result)
{
    SyncAction *a = finishedRequestAction();
    if (!a)
        return;
    if (result.isOk() && !result.payload().filesafeObjects.isEmpty()) {
        a->setObjectId(result.payload().filesafeObjects.first().objectId);
        if (isDebugLogged())
            qDebug("Syncher::on_remoteCreateDirFinished: create folder ok: '%s'",
                   escaped(a->remoteFilePath()).constData());
        a->setExecuted(SyncAction::STATUS_OK, QString());
        ++m_progress->nRemoteDirsCreated;
    } else {
        qWarning("Syncher::on_remoteCreateDirFinished: create dir error: %s", escaped(result.message()).constData());
        a->setExecuted(SyncAction::ERR_REMOTE_DIR_CREATE,
                       QStringLiteral("Unable to create folder: '%1'").arg(a->remoteFilePath()));
    }
    afterRemote(a, true, QStringLiteral("Create remote folders ..."));
}

void Syncher::on_remoteDeleteDirFinished(const EmptyResult &result)
{
    SyncAction *a = finishedRequestAction();
    if (!a)
        return;
    if (result.isOk()) {
        qDebug("Syncher::on_remoteDeleteDirFinished: delete folder ok.");
        a->setExecuted(SyncAction::STATUS_OK, QString());
        ++m_progress->nRemoteDirsDeleted;
    } else {
        qWarning("Syncher::on_remoteDeleteDirFinished: folder delete error: %s", escaped(result.message()).constData());
        a->setExecuted(SyncAction::ERR_REMOTE_DIR_DELETE,
                       QStringLiteral("Unable to delete remote folder: '%1'").arg(a->remoteFilePath()));
    }
    afterRemote(a, true, QStringLiteral("Delete remote folders ..."));
}

void Syncher::on_remoteDeleteFileFinished(const EmptyResult &result)
{
    SyncAction *a = finishedRequestAction();
    if (!a)
        return;
    if (result.isOk()) {
        qDebug("Syncher::on_remoteDeleteFileFinished: file delete ok.");
        a->setExecuted(SyncAction::STATUS_OK, QString());
        ++m_progress->nRemoteFilesDeleted;
    } else {
        qWarning("Syncher::on_remoteDeleteFileFinished: file delete error: %s", escaped(result.message()).constData());
        a->setExecuted(SyncAction::ERR_REMOTE_FILE_DELETE,
                       QStringLiteral("Unable to delete file: '%1'").arg(a->remoteFilePath()));
    }
    afterRemote(a, true, QStringLiteral("Delete remote files ..."));
}

void Syncher::on_downloadFileFinished(const Result<qint64> &result)
{
    SyncAction *a = finishedRequestAction();
    if (!a)
        return;
    if (!result.isOk()) {
        qWarning("Syncher::on_downloadFileFinished: Error: %s", escaped(result.message()).constData());
        if (m_downloadRefusal == SyncAction::WARN_SKIPPED) {
            a->setSkipped(true);
            a->setExecuted(SyncAction::WARN_SKIPPED, QStringLiteral("Download skipped"));
        } else if (m_downloadRefusal == SyncAction::ERR_FILE_BACKUP) {
            a->setExecuted(SyncAction::ERR_FILE_BACKUP,
                           QStringLiteral("Failed to rename file: '%1'").arg(a->localFilePath()));
        } else {
            a->setExecuted(SyncAction::ERR_FILE_DOWNLOAD,
                           QStringLiteral("Failed to download file: '%1'").arg(a->remoteFilePath()));
        }
        m_downloadRefusal = 0;
        a->addReason(result.message());
        // The user's file could not go back to its name: a row would read as its deletion.
        if (m_download && m_download->isBackupStranded() && !forgetRow(a))
            m_stateWriteFailed = true;
    } else if (result.payload() != a->remoteSize()) {
        qWarning("Syncher::on_downloadFileFinished: Error: %s size mismatch expected: %lld received: %lld",
                 escaped(a->remoteFilePath()).constData(), a->remoteSize(), result.payload());
        a->setExecuted(SyncAction::ERR_FILE_DOWNLOAD,
                       QStringLiteral("Failed to download correctly: '%1'").arg(a->remoteFilePath()));
    } else if (!m_downloadKeptAs.isEmpty() && m_download && m_download->isReplaced()) {
        // The user's change sits beside the download under the copy's name. No state: the next run
        // finds the service's content at the name and records it.
        a->setExecuted(SyncAction::WARN_AUTO_RESOLVED,
                       QStringLiteral("Local file changed during the download; it was kept as '%1'")
                               .arg(m_downloadKeptAs));
    } else if (!m_download || !m_download->isReplaced() || m_downloadChecksum.isEmpty()) {
        // Nothing tells what was put in place: no state is recorded, the next run compares afresh.
        a->setExecuted(SyncAction::ERR_FILE_DOWNLOAD,
                       QStringLiteral("Failed to download file: '%1'").arg(a->remoteFilePath()));
    } else if (!m_download->keptAs().isEmpty()) {
        // The file found unchanged gave way to newer work right before the download took its
        // name: that work is kept beside it, and no state is recorded.
        a->setExecuted(SyncAction::WARN_AUTO_RESOLVED,
                       QStringLiteral("Local file changed during the download; it was kept as '%1'")
                               .arg(m_download->keptAs()));
    } else {
        if (isDebugLogged())
            qDebug("Syncher::on_downloadFileFinished: file download ok (%lld bytes)", result.payload());
        if (a->action() == SyncAction::BackupDownloadFile)
            a->setExecuted(SyncAction::WARN_AUTO_RESOLVED, QStringLiteral("Local backup file created"));
        else
            a->setExecuted(SyncAction::STATUS_OK, QString());
        // The file the download put in place, not whatever is saved at the path since; as the scan
        // describes it: in UTC, with no look-up of the local zone.
        const struct stat &written = m_download->placed();
        a->calcLocalSize(written.st_size);
        a->calcLocalMtime(QDateTime::fromMSecsSinceEpoch(UploadSource::mtimeOf(written), Qt::UTC));
        a->calcLocalChecksum(m_downloadChecksum);
        m_progress->bytesDone = result.payload();
        m_progress->bytesDownloaded += result.payload();
        ++m_progress->nDownloaded;
    }
    afterRemote(a, false, QStringLiteral("Downloading ..."));
}

void Syncher::on_uploadFileFinished(const Result<FilesafeObjectsTO_v2> &result)
{
    SyncAction *a = finishedRequestAction();
    if (!a)
        return;
    const QString failed = QStringLiteral("Failed to upload file: '%1'").arg(a->remoteFilePath());
    if (!result.isOk()) {
        qWarning("Syncher::on_uploadFileFinished: Error: %s", escaped(result.message()).constData());
        int status = SyncAction::ERR_FILE_UPLOAD;
        switch (result.code()) {
        case EC_QUOTA_EXCEEDED:
            status = SyncAction::ERR_QUOTA_EXCEEDED;
            break;
        case EC_SERVICE_STATUS_10910:
            status = SyncAction::ERR_NO_MODULE;
            break;
        case EC_SERVICE_STATUS_10911:
            status = SyncAction::ERR_DEST_NOT_FOUND;
            break;
        case EC_LOCAL_FILE:
            status = SyncAction::ERR_FILE_NOT_READABLE;
            break;
        default:
            break;
        }
        a->setExecuted(status, failed);
        a->addReason(result.message());
        if (status == SyncAction::ERR_QUOTA_EXCEEDED) {
            countAction(*a);
            QPointer<Syncher> guard(this);
            emit quotaExceeded(*a);
            if (guard.isNull() || m_stop) {
                if (guard)
                    finishCanceled();
                return;
            }
            countAction(*a, -1);
        }
        afterRemote(a, false, QStringLiteral("Uploading ..."));
        return;
    }
    const QList<FilesafeObject> &stored = result.payload().filesafeObjects;
    if (stored.size() != 1) {
        qWarning("Syncher::on_uploadFileFinished: Error: %d objects in the reply", stored.size());
        a->setExecuted(SyncAction::ERR_FILE_UPLOAD, failed);
        afterRemote(a, false, QStringLiteral("Uploading ..."));
        return;
    }
    const FilesafeObject &object = stored.first();
    if (isDebugLogged())
        qDebug("Syncher::on_uploadFileFinished: file upload ok. size: %lld checksum: '%s' file: '%s'", object.size,
               escaped(object.checksum).constData(), escaped(a->remoteFilePath()).constData());
    // The path must still name the file that was sent, unchanged; a link in its place does not.
    struct stat after;
    const bool present = ::lstat(QFile::encodeName(a->localFilePath()).constData(), &after) == 0;
    const bool looksSame = present && S_ISREG(after.st_mode) && qint64(after.st_size) == m_uploadSize &&
                           UploadSource::mtimeOf(after) == m_uploadMtime.toMSecsSinceEpoch();
    const bool changed =
            !looksSame || quint64(after.st_dev) != m_uploadDevice || quint64(after.st_ino) != m_uploadInode;
    if (!changed && object.size != m_uploadSize) {
        qWarning("Syncher::on_uploadFileFinished: returned size does not match local size");
        a->setExecuted(SyncAction::ERR_FILE_UPLOAD, failed);
        afterRemote(a, false, QStringLiteral("Uploading ..."));
        return;
    }
    if (FileUtil::isDriveOnly(object.checksum))
        qWarning("Syncher::on_uploadFileFinished: returned checksum is empty");
    else if (!changed && !m_uploadChecksum.isEmpty() &&
             object.checksum.compare(m_uploadChecksum, Qt::CaseInsensitive) != 0)
        qWarning("Syncher::on_uploadFileFinished: returned checksum does not match local checksum (local: '%s' remote: "
                 "'%s')",
                 escaped(m_uploadChecksum).constData(), escaped(object.checksum).constData());
    a->setRemoteMtime(StringUtil::parseTimestampUtc(object.mtime));
    a->setRemoteSize(object.size);
    a->setRemoteChecksum(object.checksum);
    a->setObjectId(object.objectId);
    // What was sent, as it was when sending began: a change made meanwhile shows as a local edit
    // on the next run.
    a->calcLocalSize(changed ? object.size : m_uploadSize);
    a->calcLocalMtime(m_uploadMtime);
    // The checksum of what was sent: ours, or the service's where the file changed meanwhile (ours
    // may not be what went out); none where neither names one. Never one read back from the path,
    // where another file, a larger one or a pipe may stand by now.
    a->setLocalChecksum(changed || m_uploadChecksum.isEmpty() ? object.checksum : m_uploadChecksum);
    m_progress->bytesDone = object.size;
    m_progress->bytesUploaded += object.size;
    ++m_progress->nUploaded;
    a->setExecuted(SyncAction::STATUS_OK, QString());
    if (changed && !looksSame) {
        if (!storeRow(a))
            m_stateWriteFailed = true;
        a->setExecuted(SyncAction::WARN_SKIPPED,
                       QStringLiteral("File changed while it was uploaded; it will be uploaded again"));
    } else if (changed) {
        // Another file of the same size and time: the next scan could not tell it from the one
        // sent, so no state is kept and the next run compares both sides' contents.
        a->setExecuted(
                SyncAction::WARN_SKIPPED,
                QStringLiteral("File replaced while it was uploaded; both versions are compared on the next run"));
    }
    afterRemote(a, false, QStringLiteral("Uploading ..."));
}

void Syncher::on_downloadFileProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    if (m_stop) {
        finishCanceled();
        return;
    }
    SyncAction *a = currentAction();
    if (!a || (bytesTotal <= 0 && m_progress->bytesDone > 0))
        return;
    m_progress->bytesDone = bytesReceived;
    m_progress->bytesTotal = bytesTotal;
    updateProgress(true, ProgressInfo::Activity_ProcessSyncActions_Progress, QStringLiteral("Downloading ..."), a);
}

void Syncher::on_uploadFileProgress(qlonglong bytesSent, qlonglong bytesTotal)
{
    if (m_stop) {
        finishCanceled();
        return;
    }
    SyncAction *a = currentAction();
    // Qt closes an upload with (0, 0): it must not undo the progress of the real last report.
    if (!a || (bytesTotal <= 0 && m_progress->bytesDone > 0))
        return;
    m_progress->bytesDone = bytesSent;
    m_progress->bytesTotal = bytesTotal;
    updateProgress(true, ProgressInfo::Activity_ProcessSyncActions_Progress, QStringLiteral("Uploading ..."), a);
}
