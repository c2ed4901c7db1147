#include "sync/Syncher.h"

#include "core/FileUtil.h"
#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "sync/DeferredRelease.h"
#include "sync/SyncherDetail.h"
#include "sync/WholeSecondTime.h"

#include <QHash>
#include <QPointer>

#include <utility>

using namespace SyncherDetail;

namespace {
// Rows of the last state read between two looks at the pump: a few milliseconds' worth.
constexpr int kLastStateChunk = 5000;
// State rows a run changes before the planner's statistics are taken again.
constexpr int kStatisticsMinRows = 1000;
int s_lastStateChunk = kLastStateChunk;
} // namespace

void Syncher::setLastStateChunk(int rows)
{
    s_lastStateChunk = rows > 0 ? rows : kLastStateChunk;
}

SyncState Syncher::loadLastStatus(bool *ok, const SyncState *known)
{
    *ok = false;
    const QString text = QStringLiteral("Load last status ...");
    if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, text))
        return SyncState();
    // The rows read so far belong to this frame: the pump may delete the synchroniser between two
    // chunks.
    SyncState state(m_setting.localDir(), m_setting.id());
    QPointer<Syncher> guard(this);
    bool stopped = false;
    QString failure;
    const SyncState::LoadAnswer answer = state.loadFromDb(
            [this, &guard, &stopped, &text]() {
                step("laststate", SyncAction());
                // Refused or gone: nothing of this synchroniser is touched again.
                if (guard.isNull() || !Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, text))
                    return false;
                stopped = m_stop;
                return !stopped;
            },
            s_lastStateChunk, known, &failure);
    if (answer == SyncState::LoadStopped) {
        DeferredRelease::instance()->release(state);
        if (stopped)
            finishCanceled();
        return SyncState();
    }
    if (answer == SyncState::LoadFailed) {
        // Planned against part of the state, files deleted on one side would come back from the other.
        DeferredRelease::instance()->release(state);
        const QString message = QStringLiteral("Unable to read the synchronised state: %1").arg(failure);
        qWarning("Syncher::loadLastStatus: %s", escaped(message).constData());
        analysisFailed(message, {makeSyncAction(SyncAction::NoAction, SyncAction::ERR_INTERNAL, true, message)});
        return SyncState();
    }
    m_lastStateRows = state.count();
    m_progress->nFiles = state.fileCount();
    m_progress->nDirs = state.dirCount();
    m_progress->nLastFiles = m_progress->nFiles;
    m_progress->nLastDirs = m_progress->nDirs;
    *ok = true;
    return state;
}

SyncState Syncher::loadLocalStatus(bool *ok)
{
    const QString text = QStringLiteral("Load local status ...");
    if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, text)) {
        *ok = false;
        return SyncState();
    }
    SyncState state(m_setting.localDir(), m_setting.id());
    // The pump may delete this synchroniser: once it has said no, nothing of it is touched again.
    bool gone = false;
    const int n = state.scanLocal([this, &gone, &text]() {
        if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, text)) {
            gone = true;
            return false;
        }
        return true;
    });
    if (gone || n == SyncState::ScanStopped) {
        DeferredRelease::instance()->release(state);
        *ok = false;
        return SyncState();
    }
    m_progress->nFiles = state.fileCount();
    m_progress->nDirs = state.dirCount();
    m_progress->nLocalFiles = m_progress->nFiles;
    m_progress->nLocalDirs = m_progress->nDirs;
    *ok = true;
    return state;
}

// ---- state update

void Syncher::beginStateWrites()
{
    if (m_stateWriteDepth++ == 0) {
        m_stateWritesInBatch = 0;
        R7Database::instance()->transaction();
    }
}

void Syncher::endStateWrites()
{
    if (m_stateWriteDepth <= 0)
        return;
    if (--m_stateWriteDepth == 0 && !flushStateWrites(false))
        m_stateWriteFailed = true;
}

bool Syncher::flushStateWrites(bool reopen)
{
    R7Database *db = R7Database::instance();
    // After a failed write the batch goes as a whole: half of a row replacement must not stay.
    const bool ok = !m_stateWriteFailed && db->commit();
    if (!ok) {
        qCritical("Syncher::flushStateWrites: commit of the synchronised state failed");
        db->rollback();
        // What the batch wrote is gone again; the store answers from here on.
        m_folderIds.clear();
    }
    m_stateWritesInBatch = 0;
    if (reopen)
        db->transaction();
    return ok;
}

bool Syncher::updateSyncState(SyncAction *action)
{
    const QString relPath = action->relPath();
    auto warn = [&](const char *expected) {
        qWarning("Syncher::updateSyncState: expected %s; shoid:%lld action:%s status:%s path: '%s'", expected,
                 action->syncHistoryObjectId(), qUtf8Printable(action->actionTypeName(true)),
                 qUtf8Printable(action->statusName(true)), escaped(relPath).constData());
    };
    bool ok = true;
    auto replaceRow = [&]() { ok = storeRow(action) && ok; };
    bool wrote = false;

    switch (action->action()) {
    case SyncAction::ActionUndefined:
    case SyncAction::NoAction:
    case SyncAction::Resolve:
        if (!action->isError())
            return true;
        break;
    case SyncAction::CreateLocalDir:
    case SyncAction::CreateRemoteDir:
    case SyncAction::DownloadFile:
    case SyncAction::UploadFile:
    case SyncAction::UpdateRemoteFile:
        if (action->status() == SyncAction::STATUS_OK) {
            replaceRow();
            wrote = true;
        } else {
            warn("STATUS_OK");
        }
        break;
    case SyncAction::BackupDownloadFile:
        if (action->status() == SyncAction::WARN_AUTO_RESOLVED) {
            replaceRow();
            wrote = true;
        } else {
            warn("WARN_AUTO_RESOLVED");
        }
        break;
    case SyncAction::UpdateSyncState:
        if (action->status() == SyncAction::STATUS_TODO) {
            replaceRow();
            wrote = true;
            action->setExecuted(SyncAction::STATUS_OK, QString());
        } else {
            warn("STATUS_TODO");
        }
        break;
    case SyncAction::RemoveSyncState:
    case SyncAction::DeleteLocalFile:
    case SyncAction::DeleteRemoteFile:
    case SyncAction::DeleteLocalDir:
    case SyncAction::DeleteRemoteDir:
        if (action->status() == SyncAction::STATUS_OK || action->status() == SyncAction::STATUS_TODO) {
            ok = removeRow(relPath) && ok;
            wrote = true;
        } else {
            warn("STATUS_OK");
        }
        break;
    default:
        break;
    }

    if (action->status() == SyncAction::STATUS_UNDEFINED) {
        qWarning("Syncher::updateSyncState: unexpected STATUS_UNDEFINED; shoid:%lld action:%s status:%s path: '%s'",
                 action->syncHistoryObjectId(), qUtf8Printable(action->actionTypeName(true)),
                 qUtf8Printable(action->statusName(true)), escaped(relPath).constData());
    } else if (action->syncHistoryObjectId() > 0) {
        if (!SyncHistoryDao::instance()->updateSyncHistoryObject(action, m_history.id()))
            qWarning("Syncher::updateSyncState: failed to update sync history object: shoid:%lld histid:%lld",
                     action->syncHistoryObjectId(), m_history.id());
        wrote = true;
    } else {
        const qint64 id = SyncHistoryDao::instance()->storeSyncHistoryObject(action, m_history.id());
        action->setSyncHistoryObjectId(id);
        ok = id > 0 && ok;
        wrote = true;
    }

    if (wrote && m_stateWriteDepth > 0 && ++m_stateWritesInBatch >= kStateWritesPerBatch && !flushStateWrites(true))
        ok = false;
    if (!ok) {
        qCritical("Syncher::updateSyncState: failed to record the state of '%s'", escaped(relPath).constData());
        m_stateWriteFailed = true;
    }
    return ok;
}

// One transaction of its own when no batch is open: removing the old row and storing the new one
// must never be split by a crash.
bool Syncher::storeRow(SyncAction *action)
{
    const bool own = m_stateWriteDepth == 0;
    if (own)
        R7Database::instance()->transaction();
    // Always removed first: a row left over from an interrupted run must not stand beside the new.
    const QString relPath = action->relPath();
    FsObject row = action->toFsObject();
    // A time that cannot show a same-size change made since the scan is kept as one the file cannot
    // have: the next run compares the contents. Not where the service gives no checksum to compare
    // with: that run could only warn, and would again each time after.
    if (row.isFile() && m_scannedMs > 0) {
        const QDateTime kept = WholeSecondTime::recorded(row.localMtime(), m_scannedMs,
                                                         [action]() { return action->localFilePath(); });
        if (kept != row.localMtime() && !FileUtil::isDriveOnly(action->remoteChecksum()))
            row.setLocalMtime(kept);
    }
    bool ok = FileObjectDao::instance()->remove(relPath, m_setting.id());
    ok = ok && FileObjectDao::instance()->store(row, m_setting.id());
    if (own) {
        if (ok)
            ok = R7Database::instance()->commit();
        if (!ok)
            R7Database::instance()->rollback();
    }
    if (!ok) {
        m_folderIds.clear();
        return false;
    }
    ++m_rowsWritten;
    if (row.isDir() || m_folderIds.contains(relPath))
        m_folderIds.insert(relPath, row.objectId());
    return true;
}

// The row of a path goes, and with it what the run remembered of it.
bool Syncher::removeRow(const QString &relPath)
{
    if (!FileObjectDao::instance()->remove(relPath, m_setting.id())) {
        m_folderIds.clear();
        return false;
    }
    ++m_rowsWritten;
    m_folderIds.insert(relPath, QString());
    return true;
}

// A setting's last state is read in table order, not row by row through the index, once the
// planner's statistics tell it that the setting holds much of the table. They are taken when there
// are none and when a run has changed a good part of the state (some milliseconds per ten thousand
// rows).
void Syncher::refreshStatistics()
{
    static const QString table = QStringLiteral("fs_object");
    R7Database *db = R7Database::instance();
    if (m_rowsWritten >= qMax(kStatisticsMinRows, m_lastStateRows / 10) || !db->hasStatistics(table))
        db->analyze(table);
    m_rowsWritten = 0;
}

// The object id the state rows hold for a folder; remembered for the run, since every upload into
// the folder asks, and kept as the rows are written.
QString Syncher::folderId(const QString &relPath)
{
    auto it = m_folderIds.constFind(relPath);
    if (it == m_folderIds.constEnd())
        it = m_folderIds.insert(relPath, FileObjectDao::instance()->loadByPath(m_setting.id(), relPath).objectId());
    return it.value();
}

// The path's row goes in a commit of its own before the user's file is moved: a path that is then
// missing, for whatever reason (a failed rename, a crash), has no row that would make the next run
// delete the other side's version; it is downloaded again instead.
bool Syncher::forgetRow(const SyncAction *action)
{
    if (m_stateWriteDepth > 0)
        return removeRow(action->relPath()) && flushStateWrites(true);
    R7Database *db = R7Database::instance();
    if (!db->transaction())
        return false;
    if (removeRow(action->relPath()) && db->commit())
        return true;
    db->rollback();
    m_folderIds.clear();
    return false;
}

bool Syncher::recordPending()
{
    if (m_unrecorded.isEmpty())
        return true;
    const QList<SyncAction *> batch = std::exchange(m_unrecorded, {});
    beginStateWrites();
    bool ok = true;
    QHash<qint64, qint64> ids;
    for (SyncAction *action : batch) {
        ok = updateSyncState(action) && ok;
        step("recorded", *action);
        if (action->syncHistoryObjectId() > 0)
            ids.insert(action->tempId(), action->syncHistoryObjectId());
    }
    endStateWrites();
    if (!ids.isEmpty() && !m_destroying)
        emit historyRecorded(ids);
    return ok && !m_stateWriteFailed;
}

// ---- progress counters

void Syncher::countAction(const SyncAction &action, int sign)
{
    ProgressInfo &p = *m_progress;
    const bool isFile = action.type() == QLatin1String("f");
    const int type = action.action();
    if (type != SyncAction::ActionUndefined && type != SyncAction::NoAction && type != SyncAction::UpdateSyncState &&
        type != SyncAction::RemoveSyncState) {
        p.nTotal += sign;
        if (action.executed()) {
            p.nDone += sign;
            (isFile ? p.nDoneFiles : p.nDoneDirs) += sign;
        } else {
            (isFile ? p.nTodoFiles : p.nTodoDirs) += sign;
        }
    }
    (isFile ? p.nFiles : p.nDirs) += sign;
    if (action.conflict())
        p.nConflicts += sign;
    if (action.skipped())
        p.nSkipped += sign;
    if (action.status() != SyncAction::STATUS_OK)
        p.nNotOk += sign;
}

namespace {
void zeroCounters(ProgressInfo &p)
{
    p.nDone = p.nTotal = p.nDoneFiles = p.nDoneDirs = p.nFiles = p.nDirs = 0;
    p.nTodoFiles = p.nTodoDirs = p.nNotOk = p.nConflicts = p.nSkipped = 0;
}
} // namespace

void Syncher::countActions(const QList<SyncAction> &actions)
{
    zeroCounters(*m_progress);
    for (const SyncAction &action : actions)
        countAction(action);
}

void Syncher::recountWorkList()
{
    zeroCounters(*m_progress);
    for (const SyncAction *action : qAsConst(m_workList))
        countAction(*action);
}
