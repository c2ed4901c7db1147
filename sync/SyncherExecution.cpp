#include "sync/Syncher.h"

#include "sync/SyncherDetail.h"

#include <QDir>
#include <QPointer>

using namespace SyncherDetail;

SyncAction *Syncher::currentAction() const
{
    if (m_workPos <= 0 || m_workPos > m_workList.size())
        return nullptr;
    return m_workList.at(m_workPos - 1);
}

bool Syncher::insideBase(SyncAction *action)
{
    const QString base = QDir::cleanPath(action->localBase());
    const QString target = QDir::cleanPath(action->localFilePath());
    if (!base.isEmpty() && target.startsWith(base + QLatin1Char('/')) && target.size() > base.size() + 1)
        return true;
    const bool folder = isFolderType(action->action());
    action->setExecuted(folder ? SyncAction::ERR_FOLDER_BAD_NAME : SyncAction::ERR_FILE_BAD_NAME,
                        QStringLiteral("Path outside the synchronised folder: '%1'").arg(action->relPath()));
    return false;
}

bool Syncher::dispatch(SyncAction *a)
{
    struct Row
    {
        const char *letter;
        int denied;
        const char *deniedText;
        const char *skipText;
    };
    Row row{nullptr, 0, "", ""};
    switch (a->action()) {
    case SyncAction::CreateLocalDir:
        row = {nullptr, 0, "", "Create folder skipped"};
        break;
    case SyncAction::CreateRemoteDir:
        row = {"c", SyncAction::ERR_REMOTE_DIR_CREATE_DENIED, "Create folder denied", "Create folder skipped"};
        break;
    case SyncAction::DownloadFile:
    case SyncAction::BackupDownloadFile:
        row = {"r", SyncAction::ERR_FILE_DOWNLOAD_DENIED, "Download denied", "Download skipped"};
        break;
    case SyncAction::UploadFile:
        row = {"c", SyncAction::ERR_FILE_UPLOAD_DENIED, "Upload denied", "Upload skipped"};
        break;
    case SyncAction::UpdateRemoteFile:
        row = {"u", SyncAction::ERR_FILE_UPLOAD_DENIED, "Upload denied", "Upload skipped"};
        break;
    case SyncAction::DeleteLocalFile:
        row = {nullptr, 0, "", "Delete file skipped"};
        break;
    case SyncAction::DeleteRemoteFile:
        row = {"d", SyncAction::ERR_REMOTE_FILE_DELETE_DENIED, "Delete file denied", "Delete file skipped"};
        break;
    case SyncAction::DeleteLocalDir:
        row = {nullptr, 0, "", "Delete folder skipped"};
        break;
    case SyncAction::DeleteRemoteDir:
        row = {"d", SyncAction::ERR_REMOTE_DIR_DELETE_DENIED, "Delete folder denied", "Delete folder skipped"};
        break;
    case SyncAction::ActionUndefined:
        qDebug("Syncher::executeNextAction: action is 'ActionUndefined': set to executed");
        a->setExecuted(SyncAction::STATUS_OK, QString());
        return false;
    case SyncAction::NoAction:
        qDebug("Syncher::executeNextAction: action is 'NoAction' (failed:%s); set to executed",
               a->isError() ? "yes" : "no");
        if (a->isError())
            a->setExecuted(a->status(), SyncAction::statusText(a->status()));
        else
            a->setExecuted(SyncAction::STATUS_OK, QString());
        return false;
    default:
        // Never planned; an error it carries stays as it is.
        if (!a->isError())
            a->setExecuted(SyncAction::STATUS_OK, QString());
        return false;
    }

    if (a->skipped()) {
        int status = SyncAction::WARN_SKIPPED;
        if (!isNotExcluded(a->relPath(), excludePatterns()))
            status = SyncAction::WARN_EXCLUDED_BY_NAME;
        else if (a->name().isEmpty() || a->name().size() > SyncAction::MaxNameLength)
            status = isFolderType(a->action()) ? SyncAction::WARN_DIR_NAME_TOO_LONG
                                               : SyncAction::WARN_FILE_NAME_TOO_LONG;
        a->setExecuted(status, QString::fromLatin1(row.skipText));
        return false;
    }
    if (row.letter && !m_safe.access.contains(QLatin1String(row.letter))) {
        a->setExecuted(row.denied, QString::fromLatin1(row.deniedText));
        return false;
    }

    switch (a->action()) {
    case SyncAction::CreateLocalDir:
        if (insideBase(a) && a->execCreateLocalDir())
            ++m_progress->nLocalDirsCreated;
        return false;
    case SyncAction::DeleteLocalFile:
        if (insideBase(a) && a->execDeleteLocalFile())
            ++m_progress->nLocalFilesDeleted;
        return false;
    case SyncAction::DeleteLocalDir:
        if (insideBase(a)) {
            if (a->execDeleteLocalDir())
                ++m_progress->nLocalDirsDeleted;
            else if (a->status() == SyncAction::ERR_DIR_DELETE)
                recreateRefusedFolder(a);
        }
        return false;
    case SyncAction::CreateRemoteDir:
        remoteCreateDir(a);
        return a->executing() && !a->executed();
    case SyncAction::DeleteRemoteFile:
        remoteDeleteFile(a);
        return a->executing() && !a->executed();
    case SyncAction::DeleteRemoteDir:
        remoteDeleteDir(a);
        return a->executing() && !a->executed();
    case SyncAction::DownloadFile:
    case SyncAction::BackupDownloadFile:
        // The user's file is renamed to its conflict copy only once the new content is complete
        // and verified (in the download's last step).
        if (!insideBase(a))
            return false;
        downloadFile(a);
        return a->executing() && !a->executed();
    case SyncAction::UploadFile:
    case SyncAction::UpdateRemoteFile:
        // A stop served while the file was read ended the run: the action is gone.
        if (!uploadFile(a))
            return false;
        return a->executing() && !a->executed();
    default:
        return false;
    }
}

// The service deleted a folder in which something new or changed sits locally: the folder stays,
// and it is created again on the service so that its contents can follow.
void Syncher::recreateRefusedFolder(SyncAction *action)
{
    if (!m_safe.access.contains(QLatin1Char('c')))
        return;
    SyncAction fresh;
    fresh.setAction(SyncAction::CreateRemoteDir);
    fresh.setId(SyncAction::nextId());
    fresh.setSyncSetting(m_setting);
    fresh.setFsObject(action->toFsObject());
    fresh.setObjectId(QString());
    fresh.setStatus(SyncAction::STATUS_TODO);
    // In the same place of both lists: the list is the coordinator's record of the run.
    m_actions.insert(m_workPos, fresh);
    SyncAction *create = &m_actions[m_workPos];
    m_workList.insert(m_workPos, create);
    countAction(*create);
    qDebug("Syncher::executeNextAction: folder '%s' kept, created again on the service",
           escaped(action->relPath()).constData());
}

bool Syncher::completeAction(SyncAction *a, bool pump, const QString &text, bool defer)
{
    step("executed", *a);
    // Kept in order: a later action on the same path must not be written before an earlier one.
    m_unrecorded.append(a);
    const bool recorded = defer && m_unrecorded.size() < kStateWritesPerBatch ? true : recordPending();
    if (pump) {
        if (!Request(true, ProgressInfo::Activity_ProcessSyncActions_Progress, text, a))
            return false;
    } else {
        updateProgress(true, ProgressInfo::Activity_ProcessSyncActions_Progress, text, a);
    }
    emit syncExecutedOne(a->isSuccess(), a->execErrorMsg(), *a);
    if (!recorded || m_stateWriteFailed) {
        // Going on would do work nobody records; the next run starts from what is stored.
        qCritical("Syncher::executeNextAction: state write failed; the run ends here");
        m_workPos = m_workList.size();
    }
    return true;
}

// ---- completions

void Syncher::afterRemote(SyncAction *a, bool pump, const QString &text)
{
    countAction(*a);
    QPointer<Syncher> guard(this);
    // A new folder's id is looked up in the store by the uploads into it: it is written at once.
    if (!completeAction(a, pump, text, a->action() != SyncAction::CreateRemoteDir) || guard.isNull())
        return;
    executeNextAction();
}

// What every completion of a service request does first; null when the run was stopped meanwhile
// (then already cancelled) or there is no current action.
SyncAction *Syncher::finishedRequestAction()
{
    m_requestPending = false;
    if (m_stop) {
        finishCanceled();
        return nullptr;
    }
    SyncAction *a = currentAction();
    if (!a)
        return nullptr;
    countAction(*a, -1);
    a->setExecuting(false);
    return a;
}
