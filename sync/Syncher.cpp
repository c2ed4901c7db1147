#include "sync/Syncher.h"

#include "core/StringUtil.h"
#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "sync/SyncPlanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTextStream>
#include <QThread>

namespace {

QList<QRegularExpression> s_excludePatterns;
QList<QRegularExpression> s_silentPatterns;

// Answers per path element for the two process-wide lists; most elements are folder names seen
// again for every file below them. Bounded so that a huge tree cannot grow it without end.
QHash<QString, bool> s_excludeCache;
QHash<QString, bool> s_silentCache;
constexpr int kMaxCachedNames = 100000;

// The pump is process-wide: one synchroniser runs at a time, and a new one must not pump at once
// only because it is new.
QElapsedTimer s_pumpTimer;
int s_previousActivity = 0;
int s_pumpIntervalMs = 500;
int s_activityPauseMs = 100;

// State rows written in one transaction during planning.
constexpr int kStateWritesPerBatch = 1000;

const char *escaped(const QString &text)
{
    // Only for the argument list of one log call.
    static thread_local QByteArray buffer;
    buffer = StringUtil::escapeNonPrintable(text).toLocal8Bit();
    return buffer.constData();
}

} // namespace

Syncher::Syncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent)
    : QObject(parent)
    , m_filesafeRI(filesafeRI)
    , m_fileSafeDao(fileSafeDao)
    , m_progress(new ProgressInfo(this))
{
    qDebug("Syncher: init %p", static_cast<void *>(this));
    if (s_excludePatterns.isEmpty()) {
        s_excludePatterns = loadExcludePatterns(QStringLiteral(":/res/patterns/exclude.txt"));
        s_excludeCache.clear();
    }
    if (s_silentPatterns.isEmpty()) {
        s_silentPatterns = loadExcludePatterns(QStringLiteral(":/res/patterns/exclude_silently.txt"));
        s_silentCache.clear();
    }
    connect(R7Session::instance(), &R7Session::sessionTimeout, this, &Syncher::on_sessionTimeout);
}

Syncher::~Syncher()
{
    while (m_stateWriteDepth > 0)
        endStateWrites();
    clearActions();
    qDebug("Syncher::destroy %p", static_cast<void *>(this));
}

void Syncher::clearActions()
{
    for (SyncAction *action : qAsConst(m_actions))
        action->deleteLater();
    m_actions.clear();
}

// ---- progress pump and stop

void Syncher::setPumpTiming(int intervalMs, int activityPauseMs)
{
    s_pumpIntervalMs = intervalMs;
    s_activityPauseMs = activityPauseMs;
}

void Syncher::requestToStop()
{
    qDebug("Syncher::requestToStop");
    m_stop = true;
    emit R7Session::instance()->abort();
}

void Syncher::updateProgress(bool ok, int activity, const QString &message, const SyncAction *action)
{
    m_progress->activity = activity;
    m_progress->message = message;
    if (action) {
        m_progress->action = *action;
        m_progress->safeName = action->remoteSafeName();
        m_progress->safeType = action->remoteSafeType();
        m_progress->remoteBase = action->remoteBase();
        m_progress->localBase = action->localBase();
    }
    emit syncProgress(ok, *m_progress);
}

bool Syncher::Request(bool ok, int activity, const QString &message, const SyncAction *action)
{
    updateProgress(ok, activity, message, action);
    if (!s_pumpTimer.isValid())
        s_pumpTimer.start();
    if (activity == s_previousActivity && s_pumpTimer.elapsed() <= s_pumpIntervalMs)
        return true;

    QPointer<Syncher> guard(this);
    QCoreApplication::processEvents();
    if (guard.isNull()) {
        qWarning("Syncher was deleted in the event loop!");
        return false;
    }
    if (m_stop) {
        qWarning("Syncher::Request to stop from the event loop!");
        deleteLater();
        return false;
    }
    s_pumpTimer.restart();
    if (activity != s_previousActivity) {
        QThread::msleep(static_cast<unsigned long>(s_activityPauseMs));
        s_previousActivity = activity;
    }
    return true;
}

// ---- exclusion patterns and size rule

QList<QRegularExpression> Syncher::loadExcludePatterns(const QString &fileName)
{
    QList<QRegularExpression> patterns;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("Syncher::loadExcludePatterns: Failed to read exclude patterns: %s",
                 qUtf8Printable(file.errorString()));
        return patterns;
    }
    static const QRegularExpression ignored(QStringLiteral("^\\s*(|#.*)$"));
    QTextStream in(&file);
    in.setCodec("UTF-8");
    int lineNo = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNo;
        if (ignored.match(line).hasMatch())
            continue;
        QRegularExpression pattern(QLatin1Char('^') + line + QLatin1Char('$'));
        if (!pattern.isValid()) {
            qWarning("Syncher::loadExcludePatterns: invalid pattern (line: %d): %s", lineNo, escaped(line));
            continue;
        }
        pattern.optimize();
        patterns.append(pattern);
    }
    file.close();
    qDebug("Syncher::loadExcludePatterns: exclude patterns found: %d", patterns.size());
    return patterns;
}

const QList<QRegularExpression> &Syncher::excludePatterns()
{
    return s_excludePatterns;
}

const QList<QRegularExpression> &Syncher::silentExcludePatterns()
{
    return s_silentPatterns;
}

bool Syncher::isNotExcluded(const QString &relPath, const QList<QRegularExpression> &patterns)
{
    QHash<QString, bool> *cache = nullptr;
    if (&patterns == &s_excludePatterns)
        cache = &s_excludeCache;
    else if (&patterns == &s_silentPatterns)
        cache = &s_silentCache;

    const QVector<QStringRef> parts = relPath.splitRef(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QStringRef &part : parts) {
        if (cache) {
            const auto hit = cache->constFind(part.toString());
            if (hit != cache->constEnd()) {
                if (hit.value())
                    return false;
                continue;
            }
        }
        bool matched = false;
        for (const QRegularExpression &pattern : patterns) {
            if (pattern.match(part).hasMatch()) {
                matched = true;
                break;
            }
        }
        if (cache) {
            if (cache->size() >= kMaxCachedNames)
                cache->clear();
            cache->insert(part.toString(), matched);
        }
        if (matched)
            return false;
    }
    return true;
}

bool Syncher::isSizeValid(SyncAction *action, const QString &path, const FsObject &object)
{
    static constexpr qint64 maxSize = qint64(SyncAction::MaxFileSizeMB) * 1024 * 1024;
    const qint64 size = object.size();
    if (size < 0) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::STATUS_OK);
        qDebug("Syncher::isSizeValid: invalid size: %lld (negative) '%s'", size, escaped(path));
        return false;
    }
    if (size == 0) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::STATUS_OK);
        qDebug("Syncher::isSizeValid: invalid size: %lld (zero) '%s'", size, escaped(path));
        return false;
    }
    if (size > maxSize) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::ERR_FILE_TOO_BIG);
        qDebug("Syncher::isSizeValid: invalid size: %lld (too big) '%s'", size, escaped(path));
        return false;
    }
    return true;
}

// ---- snapshots and planning helpers

QStringList Syncher::collectPaths(const SyncState &last, const SyncState &local, const SyncState &remote)
{
    QSet<QString> all;
    all.reserve(qMax(last.count(), qMax(local.count(), remote.count())));
    for (const SyncState *state : {&last, &local, &remote}) {
        for (auto it = state->objects().constBegin(); it != state->objects().constEnd(); ++it)
            all.insert(it.key());
    }
    return all.values();
}

SyncState Syncher::loadLastStatus(bool *ok)
{
    if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, QStringLiteral("Load last status ..."))) {
        *ok = false;
        return SyncState();
    }
    SyncState state(m_setting.localDir(), m_setting.id());
    state.loadFromDb();
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

SyncAction Syncher::makeSyncAction(int type, int status, bool executed, const QString &message,
                                   const FsObject *object) const
{
    SyncAction action;
    action.setAction(type);
    action.setId(SyncAction::nextId());
    if (!m_setting.isNull())
        action.setSyncSetting(m_setting);
    if (object && !object->isNull())
        action.setFsObject(*object);
    if (executed)
        action.setExecuted(status, message);
    else
        action.setStatus(status);
    return action;
}

QList<SyncAction> Syncher::buildSyncActions(const SyncState &local, const SyncState &last, const SyncState &remote)
{
    // Copies on this frame: the pump may delete this synchroniser while the planner still reads.
    SyncState l = local;
    SyncState s = last;
    SyncState r = remote;
    QPointer<Syncher> guard(this);
    bool refused = false;

    SyncPlanner planner(m_setting);
    planner.setProgress(m_progress);
    planner.setRequest([this, guard, &refused](bool ok, int activity, const QString &message, SyncAction *action) {
        if (refused || guard.isNull())
            return false;
        refused = !Request(ok, activity, message, action);
        return !refused;
    });
    planner.setStopCheck([this, guard, &refused]() { return refused || guard.isNull() || m_stop; });
    planner.setStateWriter([this, guard](const QList<SyncAction *> &batch) {
        if (guard.isNull())
            return;
        beginStateWrites();
        for (SyncAction *action : batch)
            updateSyncState(action);
        endStateWrites();
    });
    planner.setCountActions([this, guard](const QList<SyncAction> &plan) {
        if (!guard.isNull())
            countActions(plan);
    });

    QList<SyncAction> plan = planner.build(l, s, r);
    if (guard.isNull() || refused)
        return QList<SyncAction>();
    if (l.hasDiskNames()) {
        for (SyncAction &action : plan)
            action.setLocalDiskPath(l.diskPath(action.relPath()));
    }
    m_localSideVanished = planner.localSideVanished();
    m_local = l;
    m_last = s;
    m_remote = r;
    return plan;
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
    if (--m_stateWriteDepth == 0)
        flushStateWrites(false);
}

void Syncher::flushStateWrites(bool reopen)
{
    R7Database *db = R7Database::instance();
    if (!db->commit())
        db->rollback();
    m_stateWritesInBatch = 0;
    if (reopen)
        db->transaction();
}

void Syncher::updateSyncState(SyncAction *action)
{
    const QString relPath = action->relPath();
    auto warn = [&](const char *expected) {
        qWarning("Syncher::updateSyncState: expected %s; shoid:%lld action:%s status:%s path: '%s'", expected,
                 action->syncHistoryObjectId(), qUtf8Printable(action->actionTypeName(true)),
                 qUtf8Printable(action->statusName(true)), escaped(relPath));
    };
    // Always removed first: a row left over from an interrupted run must not stand beside the new.
    auto replaceRow = [&]() {
        FileObjectDao::instance()->remove(relPath, m_setting.id());
        FileObjectDao::instance()->store(action->toFsObject(), m_setting.id());
    };
    bool wrote = false;

    switch (action->action()) {
    case SyncAction::ActionUndefined:
    case SyncAction::NoAction:
    case SyncAction::Resolve:
        if (!action->isError())
            return;
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
            FileObjectDao::instance()->remove(relPath, m_setting.id());
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
                 qUtf8Printable(action->statusName(true)), escaped(relPath));
    } else if (action->syncHistoryObjectId() > 0) {
        if (!SyncHistoryDao::instance()->updateSyncHistoryObject(action, m_history.id()))
            qWarning("Syncher::updateSyncState: failed to update sync history object: shoid:%lld histid:%lld",
                     action->syncHistoryObjectId(), m_history.id());
        wrote = true;
    } else {
        action->setSyncHistoryObjectId(SyncHistoryDao::instance()->storeSyncHistoryObject(action, m_history.id()));
        wrote = true;
    }

    if (wrote && m_stateWriteDepth > 0 && ++m_stateWritesInBatch >= kStateWritesPerBatch)
        flushStateWrites(true);
}

// ---- progress counters

void Syncher::countAction(const SyncAction &action)
{
    ProgressInfo &p = *m_progress;
    const bool isFile = action.type() == QLatin1String("f");
    const int type = action.action();
    if (type != SyncAction::ActionUndefined && type != SyncAction::NoAction && type != SyncAction::UpdateSyncState &&
        type != SyncAction::RemoveSyncState) {
        ++p.nTotal;
        if (action.executed()) {
            ++p.nDone;
            ++(isFile ? p.nDoneFiles : p.nDoneDirs);
        } else {
            ++(isFile ? p.nTodoFiles : p.nTodoDirs);
        }
    }
    ++(isFile ? p.nFiles : p.nDirs);
    if (action.conflict())
        ++p.nConflicts;
    if (action.skipped())
        ++p.nSkipped;
    if (action.status() != SyncAction::STATUS_OK)
        ++p.nNotOk;
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

// ---- session

void Syncher::on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode)
{
    qDebug("Syncher::on_sessionTimeout: errCode=%d netErrCode=%d", int(errCode), int(netErrCode));
    emit sessionTimeout(errCode, netErrCode);
}

// ---- remote completions
// The remote listing and the execution of a plan come with the next step of the engine; these
// completions are connected by nothing yet, so reaching one is a fault worth a loud line.

void Syncher::on_analyzeStep2Finished(const Result<FilesafeObjectsTO_v2> &)
{
    qCritical("Syncher::on_analyzeStep2Finished: no analysis is running");
}

void Syncher::on_remoteDeleteFileFinished(const EmptyResult &)
{
    qCritical("Syncher::on_remoteDeleteFileFinished: no execution is running");
}

void Syncher::on_downloadFileFinished(const Result<qint64> &)
{
    qCritical("Syncher::on_downloadFileFinished: no execution is running");
}

void Syncher::on_uploadFileFinished(const Result<FilesafeObjectsTO_v2> &)
{
    qCritical("Syncher::on_uploadFileFinished: no execution is running");
}

void Syncher::on_remoteCreateDirFinished(const Result<FilesafeObjectsTO_v2> &)
{
    qCritical("Syncher::on_remoteCreateDirFinished: no execution is running");
}

void Syncher::on_remoteDeleteDirFinished(const EmptyResult &)
{
    qCritical("Syncher::on_remoteDeleteDirFinished: no execution is running");
}

void Syncher::on_downloadFileProgress(qlonglong, qlonglong)
{
    qCritical("Syncher::on_downloadFileProgress: no execution is running");
}

void Syncher::on_uploadFileProgress(qlonglong, qlonglong)
{
    qCritical("Syncher::on_uploadFileProgress: no execution is running");
}
