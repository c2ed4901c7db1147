#include "sync/Syncher.h"

#include "core/FileUtil.h"
#include "core/StringUtil.h"
#include "db/FileObjectDao.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "db/SyncSettingsDao.h"
#include "net/DownloadFile.h"
#include "net/FilesafeRI.h"
#include "net/Request.h"
#include "sync/FolderWalk.h"
#include "sync/SyncPlanner.h"
#include "sync/UploadSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTextStream>

#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QList<QRegularExpression> s_excludePatterns;
QList<QRegularExpression> s_silentPatterns;

// Answers per folder for the two process-wide lists: a folder is seen again for every file below
// it, a file name once. Emptied at the end of each run and bounded within one.
QHash<QString, bool> s_excludeCache;
QHash<QString, bool> s_silentCache;
constexpr int kMaxCachedFolders = 10000;

bool matchesAny(const QStringRef &name, const QList<QRegularExpression> &patterns)
{
    for (const QRegularExpression &pattern : patterns) {
        if (pattern.match(name).hasMatch())
            return true;
    }
    return false;
}

bool anyPartMatches(const QStringRef &path, const QList<QRegularExpression> &patterns)
{
    const QVector<QStringRef> parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QStringRef &part : parts) {
        if (matchesAny(part, patterns))
            return true;
    }
    return false;
}

// The pump is process-wide: one synchroniser runs at a time, and a new one must not pump at once
// only because it is new.
QElapsedTimer s_pumpTimer;
int s_previousActivity = 0;
int s_pumpIntervalMs = 500;
// Listed objects taken in per turn: a few tens of milliseconds, so the event loop is served
// between turns and not only through the pump.
constexpr int kListingBatch = 5000;
int s_listingBatch = kListingBatch;

// State rows written in one transaction during planning.
constexpr int kStateWritesPerBatch = 1000;

// Owned bytes: a log call may hold several at once, each alive until the call ends.
QByteArray escaped(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}

} // namespace

Syncher::Syncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent)
    : QObject(parent)
    , m_filesafeRI(filesafeRI)
    , m_fileSafeDao(fileSafeDao)
    , m_progress(new ProgressInfo(this))
    , m_requestOwner(new QObject(this))
{
    qDebug("Syncher: init %p", static_cast<void *>(this));
    if (s_excludePatterns.isEmpty()) {
        s_excludePatterns = loadExcludePatterns(QStringLiteral(":/res/patterns/exclude.txt"));
        s_excludeCache = QHash<QString, bool>();
    }
    if (s_silentPatterns.isEmpty()) {
        s_silentPatterns = loadExcludePatterns(QStringLiteral(":/res/patterns/exclude_silently.txt"));
        s_silentCache = QHash<QString, bool>();
    }
    connect(R7Session::instance(), &R7Session::sessionTimeout, this, &Syncher::on_sessionTimeout);
}

Syncher::~Syncher()
{
    m_destroying = true;
    recordPending();
    while (m_stateWriteDepth > 0)
        endStateWrites();
    clearActions();
    qDebug("Syncher::destroy %p", static_cast<void *>(this));
}

void Syncher::clearActions()
{
    // Nothing done may go unrecorded, whatever ends the run.
    recordPending();
    m_workList.clear();
    m_workPos = 0;
    if (m_actions.isEmpty())
        return;
    // Released from the event loop, as a receiver of the last signal may still read them; the
    // coordinator's share of the list keeps them for its own report.
    QTimer::singleShot(0, [released = std::exchange(m_actions, QList<SyncAction>())]() { Q_UNUSED(released) });
}

// ---- progress pump and stop

void Syncher::setPumpTiming(int intervalMs)
{
    s_pumpIntervalMs = intervalMs;
}

void Syncher::setListingBatch(int objects)
{
    s_listingBatch = objects > 0 ? objects : kListingBatch;
}

void Syncher::requestToStop()
{
    qDebug("Syncher::requestToStop");
    m_stop = true;
    // Only this synchroniser's requests: a password fetch of the same session goes on.
    abortOwnRequests();
    // With nothing pending and no loop running, nothing else would notice the flag.
    QTimer::singleShot(0, this, [this]() { finishCanceled(); });
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

    // What is recorded so far reaches the disk before anything else may run.
    if (!recordPending())
        m_stateWriteFailed = true;
    if (m_stateWriteDepth > 0 && !flushStateWrites(true))
        m_stateWriteFailed = true;
    QPointer<Syncher> guard(this);
    QCoreApplication::processEvents();
    if (guard.isNull()) {
        qWarning("Syncher was deleted in the event loop!");
        return false;
    }
    if (m_stop) {
        qWarning("Syncher::Request to stop from the event loop!");
        // The run is closed as cancelled here too: a history row left "running" would stay so.
        finishCanceled();
        return false;
    }
    s_pumpTimer.restart();
    s_previousActivity = activity;
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
            qWarning("Syncher::loadExcludePatterns: invalid pattern (line: %d): %s", lineNo, escaped(line).constData());
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
    return isNotExcluded(relPath, patterns, cache);
}

bool Syncher::isNotExcluded(const QString &relPath, const QList<QRegularExpression> &patterns,
                            QHash<QString, bool> *folderCache)
{
    const int slash = relPath.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        if (!folderCache) {
            if (anyPartMatches(relPath.leftRef(slash), patterns))
                return false;
        } else {
            const QString folder = relPath.left(slash);
            auto hit = folderCache->constFind(folder);
            if (hit == folderCache->constEnd()) {
                if (folderCache->size() >= kMaxCachedFolders)
                    folderCache->clear();
                hit = folderCache->insert(folder, anyPartMatches(relPath.leftRef(slash), patterns));
            }
            if (hit.value())
                return false;
        }
    }
    const QStringRef name = relPath.midRef(slash + 1);
    return name.isEmpty() || !matchesAny(name, patterns);
}

void Syncher::clearExclusionCaches()
{
    s_excludeCache = QHash<QString, bool>();
    s_silentCache = QHash<QString, bool>();
}

int Syncher::exclusionCacheSize()
{
    return s_excludeCache.size() + s_silentCache.size();
}

bool Syncher::isSizeValid(SyncAction *action, const QString &path, const FsObject &object)
{
    static constexpr qint64 maxSize = qint64(SyncAction::MaxFileSizeMB) * 1024 * 1024;
    const qint64 size = object.size();
    if (size < 0) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::STATUS_OK);
        qDebug("Syncher::isSizeValid: invalid size: %lld (negative) '%s'", size, escaped(path).constData());
        return false;
    }
    if (size == 0) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::STATUS_OK);
        qDebug("Syncher::isSizeValid: invalid size: %lld (zero) '%s'", size, escaped(path).constData());
        return false;
    }
    if (size > maxSize) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::ERR_FILE_TOO_BIG);
        qDebug("Syncher::isSizeValid: invalid size: %lld (too big) '%s'", size, escaped(path).constData());
        return false;
    }
    return true;
}

// ---- snapshots and planning helpers

QStringList Syncher::collectPaths(const SyncState &last, const SyncState &local, const SyncState &remote)
{
    // Each key once, found by look-ups in the states already there rather than by a set of its own.
    const QHash<QString, FsObject> &s = last.objects();
    const QHash<QString, FsObject> &l = local.objects();
    const QHash<QString, FsObject> &r = remote.objects();
    QStringList all;
    all.reserve(qMax(s.size(), qMax(l.size(), r.size())));
    for (auto it = s.constBegin(); it != s.constEnd(); ++it)
        all.append(it.key());
    if (!l.isSharedWith(s)) {
        for (auto it = l.constBegin(); it != l.constEnd(); ++it) {
            if (!s.contains(it.key()))
                all.append(it.key());
        }
    }
    if (!r.isSharedWith(s) && !r.isSharedWith(l)) {
        for (auto it = r.constBegin(); it != r.constEnd(); ++it) {
            if (!s.contains(it.key()) && !l.contains(it.key()))
                all.append(it.key());
        }
    }
    return all;
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
    // Until its history row exists the action is known there by its temporary id.
    action.setSyncHistoryObjectId(action.tempId());
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
            ok = FileObjectDao::instance()->remove(relPath, m_setting.id()) && ok;
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
    bool ok = FileObjectDao::instance()->remove(action->relPath(), m_setting.id());
    ok = ok && FileObjectDao::instance()->store(action->toFsObject(), m_setting.id());
    if (own) {
        if (ok)
            ok = R7Database::instance()->commit();
        if (!ok)
            R7Database::instance()->rollback();
    }
    return ok;
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

// ---- session

void Syncher::on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode)
{
    qDebug("Syncher::on_sessionTimeout: errCode=%d netErrCode=%d", int(errCode), int(netErrCode));
    emit sessionTimeout(errCode, netErrCode);
}


// ---- analysis

namespace {
Syncher::StepHook s_stepHook;

void step(const char *name, const SyncAction &action)
{
    if (s_stepHook)
        s_stepHook(name, action);
}

// A listed path as the service writes it: "/" and then non-empty elements that are neither "."
// nor "..", without NUL. Anything else could name a place outside the synchronised folder.
bool isCleanListedPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return false;
    if (path.size() == 1)
        return true;
    const QVector<QStringRef> parts = path.midRef(1).split(QLatin1Char('/'));
    for (const QStringRef &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

QString cleanRemote(const QString &path)
{
    return QDir::cleanPath(QLatin1Char('/') + path);
}
} // namespace

void Syncher::setStepHook(StepHook hook)
{
    s_stepHook = std::move(hook);
}

int Syncher::countFileDeletions(const QList<SyncAction> &actions)
{
    int n = 0;
    for (const SyncAction &action : actions) {
        if (action.action() == SyncAction::DeleteRemoteFile || action.action() == SyncAction::DeleteLocalFile)
            ++n;
    }
    return n;
}

bool Syncher::syncAnalyze(const SyncSetting &setting)
{
    qDebug("Syncher::syncAnalyze: syncsetting [s%d]: [%.4s]'%s':'%s' <-> '%s'", int(setting.id()),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeType())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeName())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.remoteDir())), escaped(setting.localDir()).constData());
    m_runStartMs = QDateTime::currentMSecsSinceEpoch();
    m_history = SyncHistoryDao::instance()->startSync(m_runStartMs);
    m_setting = setting;
    m_closed = false;
    // Without its history row the run would do work that nothing records.
    m_stateWriteFailed = m_history.id() <= 0;
    m_stateWriteNoticed = false;
    m_localSideVanished = false;
    m_remoteSideVanished = false;
    m_progress->reset();
    m_progress->safeName = setting.safeName();
    m_progress->safeType = setting.safeType();
    qDebug("Syncher::syncAnalyze: initiate sync analysis [s%d]: [%.4s]'%s':'%s' <-> '%s'", int(setting.id()),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeType())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeName())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.remoteDir())), escaped(setting.localDir()).constData());
    clearActions();
    m_workList.clear();
    m_workPos = 0;
    analyzeStep1();
    return true;
}

// A failed analysis is closed in the history too; nothing else records that it ended.
void Syncher::analysisFailed(const QString &message, const QList<SyncAction> &actions)
{
    closeHistory(false);
    m_closed = true;
    clearExclusionCaches();
    emit syncAnalyzed(false, message, actions);
}

void Syncher::analyzeStep1()
{
    qDebug("Syncher::analyzeStep1");
    m_safe = FilesafeTO_v2();
    bool found = false;
    if (m_fileSafeDao) {
        const QList<FilesafeTO_v2> safes = m_fileSafeDao->list();
        for (const FilesafeTO_v2 &safe : safes) {
            if (safe.safeId == m_setting.safeId()) {
                m_safe = safe;
                found = true;
                break;
            }
        }
    }
    if (!found) {
        qWarning("Syncher::analyzeStep1: filesafe [%.4s]'%s' not found",
                 qUtf8Printable(StringUtil::escapeNonPrintable(m_setting.safeType())), escaped(m_setting.safeName()).constData());
        analysisFailed(QStringLiteral("FileSafe does not exists."), QList<SyncAction>());
        return;
    }
    qDebug("Syncher::analyzeStep1: filesafe [id:%s,type:%.4s]'%s' access mode: '%s'", escaped(m_safe.safeId).constData(),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.type)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.name)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.access)));
    qDebug("Syncher::analyzeStep1: filesafe [id:%s,type:%.4s]'%s' remote last event/mod: %s/%s setting: local last "
           "event: %s",
           escaped(m_safe.safeId).constData(), qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.type)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.name)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.lastEvent)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.lastMod)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_setting.syncedLastEvent())));

    // The marker stands for "unchanged" only when it is real, was stored by a complete run, and
    // comes from a safe list fetched for this run.
    if (m_safeListFresh && !m_safe.lastEvent.isEmpty() && m_safe.lastEvent == m_setting.syncedLastEvent()) {
        ProgressInfo &p = *m_progress;
        p.nDone = p.nFiles = p.nDirs = p.nRemoteFiles = p.nRemoteDirs = 0;
        bool ok = false;
        const SyncState last = loadLastStatus(&ok);
        if (!ok)
            return;
        const SyncState local = loadLocalStatus(&ok);
        if (!ok)
            return;
        collectStatusInfoFinished(local, last, last);
        return;
    }
    m_progress->activity = ProgressInfo::Activity_GetRemoteObjects_Started;
    m_progress->message = QStringLiteral("Get filesafe information...");
    emit syncProgress(true, *m_progress);
    getRemoteObjects();
}

void Syncher::getRemoteObjects()
{
    QPointer<Syncher> self(this);
    {
        ::Request::AbortScope scope(m_requestOwner);
        m_requestPending = true;
        m_filesafeRI->getObjects(m_setting.safeId(), m_setting.remoteDir(), 0, QStringLiteral("any"),
                                 [self](const Result<FilesafeObjectsTO_v2> &result) {
                                     if (self)
                                         self->on_analyzeStep2Finished(result);
                                 },
                                 true);
    }
    if (self.isNull())
        return;
    m_progress->activity = ProgressInfo::Activity_GetRemoteObjects_Started;
    m_progress->message = QStringLiteral("Get remote information...");
    emit syncProgress(true, *m_progress);
}

void Syncher::on_analyzeStep2Finished(const Result<FilesafeObjectsTO_v2> &result)
{
    m_requestPending = false;
    if (m_stop) {
        finishCanceled();
        return;
    }
    // The reply's document and the request go with the reply's handler: the analysis goes on from
    // the event loop with the decoded list alone (shared, not copied).
    m_listing = result;
    QPointer<Syncher> guard(this);
    step("listed", SyncAction());
    if (guard.isNull())
        return;
    QMetaObject::invokeMethod(this, &Syncher::analyzeListing, Qt::QueuedConnection);
}

void Syncher::analyzeListing()
{
    Result<FilesafeObjectsTO_v2> result = std::exchange(m_listing, Result<FilesafeObjectsTO_v2>());
    if (m_stop) {
        finishCanceled();
        return;
    }
    // The only reference to the list from here on: each object is freed once it is converted.
    QList<FilesafeObject> objects = result.payload().filesafeObjects;
    qDebug("Syncher::on_analyzeStep2Finished: %d objects", objects.size());
    ProgressInfo &p = *m_progress;
    p.nDone = p.nTotal = objects.size();
    p.nFiles = result.payload().countByType(QStringLiteral("f"));
    p.nDirs = result.payload().countByType(QStringLiteral("d"));
    if (result.isOk())
        result = Result<FilesafeObjectsTO_v2>();

    if (!result.isOk()) {
        if (!Request(false, ProgressInfo::Activity_GetRemoteObjects_Finished, QStringLiteral("Received remote information")))
            return;
        qWarning("Syncher::on_analyzeStep2Finished: Failed to analyze this sync setting: %s", escaped(result.message()).constData());
        const SyncAction action =
                makeSyncAction(SyncAction::NoAction, SyncAction::ERR_GET_FILESFE_OBJECTS, true, result.message());
        if (!Request(false, ProgressInfo::Activity_Error_Canceled, result.message(), &action))
            return;
        if (result.code() == EC_SERVICE_STATUS_10904)
            SyncSettingsDao::instance()->setRemoteState(m_setting.id(), SyncSetting::RemoteState(1));
        analysisFailed(result.message(), {action});
        return;
    }

    if (!Request(true, ProgressInfo::Activity_GetRemoteObjects_Finished, QStringLiteral("Received remote information")))
        return;
    SyncSettingsDao::instance()->setRemoteState(m_setting.id(), SyncSetting::RemoteState(0));
    p.nDone = p.nFiles = p.nDirs = p.nRemoteFiles = p.nRemoteDirs = 0;
    if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Started, QStringLiteral("Load remote status ...")))
        return;

    m_intake = std::exchange(objects, QList<FilesafeObject>());
    m_intakeState = std::make_unique<SyncState>(m_setting.remoteDir(), m_setting.id());
    m_intakeAccess.clear();
    takeListingBatch();
}

void Syncher::takeListingBatch()
{
    if (m_stop) {
        finishCanceled();
        return;
    }
    ProgressInfo &p = *m_progress;
    SyncState &remote = *m_intakeState;
    const QString base = cleanRemote(m_setting.remoteDir());
    const bool atRoot = base == QLatin1String("/");
    static const QString kFile = QStringLiteral("f");
    static const QString kDir = QStringLiteral("d");
    QString &access = m_intakeAccess;
    QList<FilesafeObject> &objects = m_intake;
    for (int taken = 0; !objects.isEmpty(); ++taken) {
        if (m_stop) {
            finishCanceled();
            return;
        }
        if (taken == s_listingBatch) {
            QPointer<Syncher> guard(this);
            step("intake", SyncAction());
            if (guard.isNull())
                return;
            QMetaObject::invokeMethod(this, &Syncher::takeListingBatch, Qt::QueuedConnection);
            return;
        }
        const FilesafeObject listed = objects.takeFirst();
        const bool clean = isCleanListedPath(listed.path);
        if (clean && base == cleanRemote(listed.path)) {
            if (listed.objectId != m_setting.rootFolderId()) {
                SyncSettingsDao::instance()->setRootFolderId(m_setting.id(), listed.objectId);
                m_setting.setRootFolderId(listed.objectId);
            }
            continue;
        }
        // Keys are NFC, like those of the local scan.
        const QString nfc = listed.path.normalized(QString::NormalizationForm_C);
        // Kinds and access letters repeat for every object: one copy of each.
        if (listed.access != access)
            access = listed.access;
        const QString &type = listed.type == kFile ? kFile : listed.type == kDir ? kDir : listed.type;
        FsObject object(listed.objectId, clean && atRoot ? nfc.mid(1) : nfc, listed.size, QDateTime(),
                        StringUtil::parseTimestamp(listed.mtime), access, type, listed.checksum);
        bool below = clean;
        if (below && !atRoot)
            below = object.makeRelativeTo(base);
        if (!below) {
            const QString message =
                    QStringLiteral("Object path '%1' is not below base path '%2'").arg(listed.path, m_setting.remoteDir());
            qWarning("Syncher:on_analyzeStep2Finished: %s", escaped(message).constData());
            const SyncAction action =
                    makeSyncAction(SyncAction::NoAction, SyncAction::ERR_OBJECT_NOT_IN_BASE, true, message, &object);
            m_intake.clear();
            m_intakeState.reset();
            if (Request(false, ProgressInfo::Activity_Error_Canceled, message, &action))
                analysisFailed(message, {action});
            return;
        }
        remote.add(object);
        p.nDone = remote.count();
        const bool isFile = object.type() == QLatin1String("f");
        ++(isFile ? p.nFiles : p.nDirs);
        ++(isFile ? p.nRemoteFiles : p.nRemoteDirs);
        p.path = object.path();
        p.name = object.path().section(QLatin1Char('/'), -1);
        if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, QStringLiteral("Load remote status ...")))
            return;
    }
    const std::unique_ptr<SyncState> owned = std::move(m_intakeState);
    m_intakeAccess.clear();
    remote.findCaseCollisions();

    bool ok = false;
    SyncState last = loadLastStatus(&ok);
    if (!ok)
        return;
    // An unchanged object is described alike on both sides: one copy of its texts is enough.
    last.shareTexts(remote);
    const SyncState local = loadLocalStatus(&ok);
    if (!ok)
        return;
    m_remoteSideVanished = remote.count() == 0 && last.fileCount() > 0;
    collectStatusInfoFinished(local, last, remote);
}

void Syncher::collectStatusInfoFinished(const SyncState &local, const SyncState &last, const SyncState &remote)
{
    qDebug("Syncher::collectStatusInfoFinished: local current: %d last: %d remote: %d", local.count(), last.count(),
           remote.count());
    if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Finished, QStringLiteral("Objects status loaded.")))
        return;
    if (m_stop) {
        finishCanceled();
        return;
    }
    QPointer<Syncher> guard(this);
    const QList<SyncAction> list = buildSyncActions(local, last, remote);
    if (guard.isNull())
        return;
    if (m_stop) {
        finishCanceled();
        return;
    }
    // An empty plan is reported too: the coordinator waits for this signal, and the run then
    // ends as "Up to date.".
    emit syncAnalyzed(true, QString(), list);
}

// ---- execution

SyncAction *Syncher::currentAction() const
{
    if (m_workPos <= 0 || m_workPos > m_workList.size())
        return nullptr;
    return m_workList.at(m_workPos - 1);
}

namespace {
bool isWorkType(int type)
{
    return type != SyncAction::ActionUndefined && type != SyncAction::NoAction && type != SyncAction::UpdateSyncState
            && type != SyncAction::RemoveSyncState;
}

bool isTodo(const SyncAction &a)
{
    return isWorkType(a.action()) && a.action() != SyncAction::Resolve && !a.executed() && !a.executing()
            && !a.skipped() && !a.conflict() && a.status() != SyncAction::STATUS_OK;
}

bool isFolderType(int type)
{
    return type == SyncAction::CreateLocalDir || type == SyncAction::CreateRemoteDir
            || type == SyncAction::DeleteLocalDir || type == SyncAction::DeleteRemoteDir;
}
} // namespace

bool Syncher::syncExecute(const QList<SyncAction> &actions)
{
    int todo = 0;
    int errors = 0;
    for (const SyncAction &a : actions) {
        if (isTodo(a))
            ++todo;
        if (a.isError())
            ++errors;
    }
    qDebug("Syncher::syncExecute: actions:%d todo:%d errors:%d", actions.size(), todo, errors);
    const QString safeName = m_progress->safeName;
    const QString safeType = m_progress->safeType;
    m_progress->reset();
    m_progress->safeName = safeName;
    m_progress->safeType = safeType;
    countActions(actions);
    if (!Request(true, ProgressInfo::Activity_ProcessSyncActions_Started, QStringLiteral("Synchronizing ...")))
        return false;
    clearActions();
    m_workList.clear();
    m_workPos = 0;

    if (todo == 0 && errors == 0) {
        qDebug("Syncher::syncExecute: no actions to do or errors to report");
        recountWorkList();
        m_progress->activity = ProgressInfo::Activity_ProcessSyncActions_Finished;
        m_progress->message = QStringLiteral("Up to date.");
        emit syncProgress(true, *m_progress);
        finishExecution();
        return true;
    }
    for (const SyncAction &a : actions) {
        if (a.action() != SyncAction::NoAction || a.isError())
            m_actions.append(a);
    }
    // The queue points into the list, which is not shared while it runs.
    m_workList.reserve(m_actions.size());
    for (SyncAction &a : m_actions)
        m_workList.append(&a);
    qDebug("Syncher::syncExecute: sync actions to process or errors to report: %d", m_workList.size());
    for (int i = 0; i < m_workList.size(); ++i)
        qDebug("Syncher::syncExecute: sa[%d]: '%s'", i, escaped(m_workList.at(i)->name()).constData());
    recountWorkList();
    startExecution();
    return true;
}

void Syncher::startExecution()
{
    m_workPos = 0;
    executeNextAction();
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
    struct Row {
        const char *letter;
        int denied;
        const char *deniedText;
        const char *skipText;
    };
    Row row{nullptr, 0, "", ""};
    switch (a->action()) {
    case SyncAction::CreateLocalDir: row = {nullptr, 0, "", "Create folder skipped"}; break;
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
    case SyncAction::DeleteLocalFile: row = {nullptr, 0, "", "Delete file skipped"}; break;
    case SyncAction::DeleteRemoteFile:
        row = {"d", SyncAction::ERR_REMOTE_FILE_DELETE_DENIED, "Delete file denied", "Delete file skipped"};
        break;
    case SyncAction::DeleteLocalDir: row = {nullptr, 0, "", "Delete folder skipped"}; break;
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
            status = isFolderType(a->action()) ? SyncAction::WARN_DIR_NAME_TOO_LONG : SyncAction::WARN_FILE_NAME_TOO_LONG;
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
        uploadFile(a);
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
    qDebug("Syncher::executeNextAction: folder '%s' kept, created again on the service", escaped(action->relPath()).constData());
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

void Syncher::executeNextAction()
{
    if (m_closed)
        return;
    qDebug("Syncher::executeNextAction: loop over %d actions", m_workList.size());
    QPointer<Syncher> guard(this);
    beginStateWrites();
    auto endWrites = [&guard]() {
        if (guard)
            guard->endStateWrites();
    };

    while (m_workPos < m_workList.size()) {
        if (m_stop) {
            endWrites();
            finishCanceled();
            return;
        }
        SyncAction *a = m_workList.at(m_workPos++);
        countAction(*a, -1);
        const int type = a->action();
        if (!a->isError()
            && (type == SyncAction::NoAction || type == SyncAction::UpdateSyncState || type == SyncAction::RemoveSyncState
                || a->executed() || a->executing() || a->conflict())) {
            a->setExecuted(SyncAction::STATUS_OK, QString());
            countAction(*a);
            continue;
        }
        m_progress->name = a->name();
        m_progress->path = a->path();
        m_progress->actionName = a->actionTypeName();
        m_progress->actionType = type;
        countAction(*a);
        if (!Request(true, ProgressInfo::Activity_ProcessSyncActions_Progress,
                     QStringLiteral("Synchronizing files and folders ..."), a))
            return;
        if (m_stop) {
            endWrites();
            finishCanceled();
            return;
        }
        countAction(*a, -1);
        if (isWorkType(type))
            qDebug("Syncher::executeNextAction: %s path='%s' name='%s'", qUtf8Printable(a->actionTypeName(true)),
                   escaped(a->path()).constData(), qUtf8Printable(StringUtil::escapeNonPrintable(a->name())));
        if (isWorkType(type) && !isNotExcluded(a->relPath(), excludePatterns())) {
            qDebug("Syncher::executeNextAction: %s: '%s'", "(X) skip (exclude)", escaped(a->relPath()).constData());
            a->setSkipped(true);
        }
        if (isWorkType(type)
            && (a->name().isEmpty()
                || ((a->type() == QLatin1String("f") || a->type() == QLatin1String("d"))
                    && a->name().size() > SyncAction::MaxNameLength))) {
            qDebug("Syncher::executeNextAction: %s: '%s'", "(X) skip (name size)", escaped(a->relPath()).constData());
            a->setSkipped(true);
        }

        if (dispatch(a)) {
            countAction(*a);
            qDebug("Syncher::executeNextAction: Pending remote exec: action:%s status:%s path:'%s'",
                   qUtf8Printable(a->actionTypeName(true)), qUtf8Printable(a->statusName(true)), escaped(a->relPath()).constData());
            endWrites();
            return;
        }
        if (!a->isSuccess() && isWorkType(type)) {
            const bool remote = a->isRemoteAction();
            qWarning("Syncher::executeNextAction: %s: action:%s status:%s path:'%s' msg:'%s'",
                     remote ? "Exec remote failed" : "Exec local failed", qUtf8Printable(a->actionTypeName(true)),
                     qUtf8Printable(a->statusName(true)), escaped(a->relPath()).constData(), escaped(a->execErrorMsg()).constData());
        } else if (!a->isRemoteAction()) {
            qDebug("Syncher::executeNextAction: Exec local: action:%s status:%s path:'%s'",
                   qUtf8Printable(a->actionTypeName(true)), qUtf8Printable(a->statusName(true)), escaped(a->relPath()).constData());
        }
        countAction(*a);
        if (!completeAction(a, true, QStringLiteral("Synchronizing files and folders ..."), false))
            return;
    }

    qDebug("Syncher::executeNextAction: no more actions to execute");
    endWrites();
    if (!Request(true, ProgressInfo::Activity_ProcessSyncActions_Finished,
                 QStringLiteral("Synchronizing files and folders ...")))
        return;
    finishExecution();
}

void Syncher::abortOwnRequests()
{
    // Deleting the owner aborts every request sent under it; their completions then see the stop.
    QObject *owner = m_requestOwner;
    m_requestOwner = new QObject(this);
    delete owner;
}

// ---- remote requests

QString Syncher::parentFolderId(const SyncAction *action) const
{
    if (action->path().isEmpty()) {
        if (!m_setting.rootFolderId().isEmpty())
            return m_setting.rootFolderId();
        return cleanRemote(m_setting.remoteDir()) == QLatin1String("/") ? m_safe.rootFolderId : QString();
    }
    return FileObjectDao::instance()->loadByPath(m_setting.id(), action->path()).objectId();
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

// The path's row goes in a commit of its own before the user's file is moved: a path that is then
// missing, for whatever reason (a failed rename, a crash), has no row that would make the next run
// delete the other side's version; it is downloaded again instead.
bool Syncher::forgetRow(const SyncAction *action)
{
    FileObjectDao *dao = FileObjectDao::instance();
    if (m_stateWriteDepth > 0)
        return dao->remove(action->relPath(), m_setting.id()) && flushStateWrites(true);
    R7Database *db = R7Database::instance();
    if (!db->transaction())
        return false;
    if (dao->remove(action->relPath(), m_setting.id()) && db->commit())
        return true;
    db->rollback();
    return false;
}

// Runs right before the complete download replaces the target, on the folder the download was
// written into; the user's file is left where it is unless everything checks out.
bool Syncher::downloadBeforeReplace(SyncAction *a, DownloadFile &file, QString *destination, QString *reason)
{
    m_downloadRefusal = 0;
    if (m_stop) {
        *reason = QStringLiteral("Stopped");
        return false;
    }
    const QString checksum = file.plainChecksum();
    const QString expected = a->remoteChecksum();
    const QString algorithm = expected.section(QLatin1Char(':'), 0, 0);
    if (!checksum.isEmpty() && checksum.section(QLatin1Char(':'), 0, 0) == algorithm
        && checksum.compare(expected, Qt::CaseInsensitive) != 0) {
        *reason = QStringLiteral("Checksum mismatch (expected: %1, received: %2)").arg(expected, checksum);
        return false;
    }
    m_downloadChecksum = checksum;
    m_downloadKeptAs.clear();
    // The folder reached from the base without links must still be the one written into.
    if (!file.sameFolder(reason))
        return false;
    const QString name = QFileInfo(*destination).fileName();
    if (a->action() == SyncAction::BackupDownloadFile) {
        if (!forgetRow(a)) {
            qWarning("Syncher::downloadFile: the state of '%s' cannot be changed; nothing is renamed",
                     escaped(a->relPath()).constData());
            m_downloadRefusal = SyncAction::WARN_SKIPPED;
            *reason = QStringLiteral("The synchronised state cannot be changed: '%1'").arg(a->relPath());
            return false;
        }
        const QString copy = QFileInfo(SyncAction::conflictCopyPath(*destination)).fileName();
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
        QPointer<Syncher> guard(this);
        step("backedup", *a);
        if (guard.isNull()) {
            *reason = QStringLiteral("Stopped");
            return false;
        }
        return true;
    }
    // Whatever happened to the target since the scan wins over the download.
    struct stat now;
    const bool exists = ::fstatat(file.folder(), QFile::encodeName(name).constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    bool changed = exists;
    if (exists && a->localMtime().isValid())
        changed = !S_ISREG(now.st_mode) || qint64(now.st_size) != a->localSize() ||
                  qint64(now.st_mtim.tv_sec) != a->localMtime().toSecsSinceEpoch();
    if (changed) {
        m_downloadKeptAs = SyncAction::conflictCopyPath(*destination);
        qWarning("Syncher::on_downloadFileFinished: '%s' changed during the download; kept as '%s'",
                 escaped(*destination).constData(), escaped(m_downloadKeptAs).constData());
        *destination = m_downloadKeptAs;
    }
    return true;
}

void Syncher::downloadFile(SyncAction *action)
{
    m_downloadRefusal = 0;
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
            algorithm.isEmpty() ? QStringLiteral("sha256") : algorithm,
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

void Syncher::uploadFile(SyncAction *action)
{
    const QString parent = parentFolderId(action);
    if (!isUsableParent(parent)) {
        action->setExecuted(SyncAction::ERR_PARENT_DIR_MISSING,
                            QStringLiteral("Missing parent folder: '%1'").arg(action->remoteDirPath()));
        return;
    }
    const QString source = action->localFilePath();
    // What is sent is the file the plan saw, read through the descriptor that was checked.
    QString refused;
    QFile *file = UploadSource::open(action->localBase(), source, action->localSize(), action->localMtime(), &refused);
    if (!file) {
        qWarning("Syncher::uploadFile: upload skipped: %s", escaped(refused).constData());
        action->setSkipped(true);
        action->setExecuted(SyncAction::WARN_SKIPPED, QStringLiteral("Upload skipped"));
        return;
    }
    // The file sent, as the scan would describe it: a path may name another file by the end.
    struct stat sentStat;
    if (::fstat(file->handle(), &sentStat) != 0) {
        delete file;
        action->setExecuted(SyncAction::ERR_FILE_NOT_READABLE,
                            QStringLiteral("Failed to upload file: '%1'").arg(action->remoteFilePath()));
        return;
    }
    m_uploadDevice = sentStat.st_dev;
    m_uploadInode = sentStat.st_ino;
    m_uploadSize = sentStat.st_size;
    m_uploadMtime = QDateTime::fromMSecsSinceEpoch(UploadSource::mtimeOf(sentStat), Qt::UTC);
    QString algorithm = action->remoteChecksum().section(QLatin1Char(':'), 0, 0);
    if (algorithm.isEmpty())
        algorithm = QStringLiteral("sha256");
    m_uploadChecksum = UploadSource::checksum(file, algorithm);
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

void Syncher::on_remoteCreateDirFinished(const Result<FilesafeObjectsTO_v2> &result)
{
    SyncAction *a = finishedRequestAction();
    if (!a)
        return;
    if (result.isOk() && !result.payload().filesafeObjects.isEmpty()) {
        a->setObjectId(result.payload().filesafeObjects.first().objectId);
        qDebug("Syncher::on_remoteCreateDirFinished: create folder ok: '%s'", escaped(a->remoteFilePath()).constData());
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
    } else if (result.payload() != a->remoteSize()) {
        qWarning("Syncher::on_downloadFileFinished: Error: %s size mismatch expected: %lld received: %lld",
                 escaped(a->remoteFilePath()).constData(), a->remoteSize(), result.payload());
        a->setExecuted(SyncAction::ERR_FILE_DOWNLOAD,
                       QStringLiteral("Failed to download correctly: '%1'").arg(a->remoteFilePath()));
    } else if (!m_downloadKeptAs.isEmpty()) {
        // The target changed meanwhile: it stays, the download sits beside it, and no state is
        // recorded, so the next run looks at both again.
        a->setExecuted(SyncAction::WARN_AUTO_RESOLVED,
                       QStringLiteral("Local file changed during the download; the download was kept as '%1'")
                               .arg(QFileInfo(m_downloadKeptAs).fileName()));
    } else {
        qDebug("Syncher::on_downloadFileFinished: file download ok (%lld bytes)", result.payload());
        if (a->action() == SyncAction::BackupDownloadFile)
            a->setExecuted(SyncAction::WARN_AUTO_RESOLVED, QStringLiteral("Local backup file created"));
        else
            a->setExecuted(SyncAction::STATUS_OK, QString());
        const QFileInfo info(a->localFilePath());
        a->calcLocalSize(info.size());
        a->calcLocalMtime(info.lastModified());
        const QString algorithm = m_downloadChecksum.section(QLatin1Char(':'), 0, 0);
        a->calcLocalChecksum(m_downloadChecksum.isEmpty() ? FileUtil::calculateCheckSum(QStringLiteral("sha256"),
                                                                                         a->localFilePath())
                                                          : m_downloadChecksum);
        Q_UNUSED(algorithm)
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
        case EC_QUOTA_EXCEEDED: status = SyncAction::ERR_QUOTA_EXCEEDED; break;
        case EC_SERVICE_STATUS_10910: status = SyncAction::ERR_NO_MODULE; break;
        case EC_SERVICE_STATUS_10911: status = SyncAction::ERR_DEST_NOT_FOUND; break;
        case EC_LOCAL_FILE: status = SyncAction::ERR_FILE_NOT_READABLE; break;
        default: break;
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
    else if (!changed && !m_uploadChecksum.isEmpty() && object.checksum.compare(m_uploadChecksum, Qt::CaseInsensitive) != 0)
        qWarning("Syncher::on_uploadFileFinished: returned checksum does not match local checksum (local: '%s' remote: "
                 "'%s')",
                 escaped(m_uploadChecksum).constData(), escaped(object.checksum).constData());
    a->setRemoteMtime(StringUtil::parseTimestamp(object.mtime));
    a->setRemoteSize(object.size);
    a->setRemoteChecksum(object.checksum);
    a->setObjectId(object.objectId);
    // What was sent, as it was when sending began: a change made meanwhile shows as a local edit
    // on the next run.
    a->calcLocalSize(changed ? object.size : m_uploadSize);
    a->calcLocalMtime(m_uploadMtime);
    a->calcLocalChecksum(changed || m_uploadChecksum.isEmpty() ? object.checksum : m_uploadChecksum);
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

// ---- closing

void Syncher::finishExecution()
{
    if (m_closed)
        return;
    m_closed = true;
    recordPending();
    while (m_stateWriteDepth > 0)
        endStateWrites();
    int notOk = 0;
    for (const SyncAction *a : qAsConst(m_workList)) {
        if (a->status() != SyncAction::STATUS_OK)
            ++notOk;
    }
    if (m_stateWriteFailed)
        ++notOk;
    SyncSettingsDao::instance()->updateLastSync(m_setting.id(), notOk == 0 ? m_safe.lastEvent : QString());
    closeHistory(true);
    clearExclusionCaches();
    recountWorkList();
    emit syncExecutedAll(m_progress->nTotal, m_progress->nDone, notOk, m_workList);
}

void Syncher::finishCanceled()
{
    if (m_closed) {
        deleteLater();
        return;
    }
    m_closed = true;
    recordPending();
    while (m_stateWriteDepth > 0)
        endStateWrites();
    SyncSettingsDao::instance()->updateLastSync(m_setting.id(), QString());
    closeHistory(false);
    clearExclusionCaches();
    deleteLater();
}

// The run's row in the history: one that could not be stored when the run began is stored now
// if the database takes it, else a log line is all that is left of the run. A run whose state
// could not be stored tells the user why it stopped, once.
void Syncher::closeHistory(bool finished)
{
    SyncHistoryDao *history = SyncHistoryDao::instance();
    if (m_history.id() <= 0)
        m_history = history->startSync(m_runStartMs);
    const bool stored = m_history.id() > 0
                        && (finished ? history->finishSync(m_history.id()) : history->cancelSync(m_history.id()));
    const QString cause = R7Database::instance()->lastFailureCause();
    if (!stored) {
        qCritical("Syncher::closeHistory: the run of [s%d] could not be recorded in the history (%s): %s",
                  int(m_setting.id()), finished ? "finished" : "canceled", escaped(cause).constData());
    }
    if ((m_stateWriteFailed || !stored) && !m_stateWriteNoticed) {
        m_stateWriteNoticed = true;
        qCritical("Syncher::closeHistory: the synchronised state could not be stored: %s", escaped(cause).constData());
        emit stateWriteFailed(cause);
    }
}
