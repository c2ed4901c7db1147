#include "sync/Syncher.h"

#include "core/MessageHandler.h"
#include "core/StringUtil.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "db/SyncSettingsDao.h"
#include "sync/DeferredRelease.h"
#include "sync/SyncherDetail.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <utility>

// The synchroniser's flow: construction, the pump, the two entries of a run and their closing.
// The phases live beside this file: SyncherExclusions (patterns and size rule), SyncherListing
// (the remote listing's intake), SyncherState (last and local state, state writes, counters),
// SyncherPlanning (the planner's front end), SyncherExecution (one action's dispatch and
// completion) and SyncherRemote (the service's requests and their completions).

using namespace SyncherDetail;

namespace {

// The pump is process-wide: one synchroniser runs at a time, and a new one must not pump at once
// only because it is new.
QElapsedTimer s_pumpTimer;
int s_previousActivity = 0;
int s_pumpIntervalMs = 500;
int s_activityPauseMs = 100;
int s_pauseCount = 0;
qint64 s_pausedNs = 0;

Syncher::StepHook s_stepHook;

bool isTodo(const SyncAction &a)
{
    return isWorkType(a.action()) && a.action() != SyncAction::Resolve && !a.executed() && !a.executing() &&
           !a.skipped() && !a.conflict() && a.status() != SyncAction::STATUS_OK;
}

} // namespace

void SyncherDetail::step(const char *name, const SyncAction &action)
{
    if (s_stepHook)
        s_stepHook(name, action);
}

void Syncher::setStepHook(StepHook hook)
{
    s_stepHook = std::move(hook);
}

Syncher::Syncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent)
    : QObject(parent)
    , m_filesafeRI(filesafeRI)
    , m_fileSafeDao(fileSafeDao)
    , m_progress(new ProgressInfo(this))
    , m_requestOwner(new QObject(this))
{
    qDebug("Syncher: init %p", static_cast<void *>(this));
    loadPatternListsOnce();
    connect(R7Session::instance(), &R7Session::sessionTimeout, this, &Syncher::on_sessionTimeout);
}

Syncher::~Syncher()
{
    m_destroying = true;
    recordPending();
    while (m_stateWriteDepth > 0)
        endStateWrites();
    clearActions();
    releaseRunData();
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
    DeferredRelease::instance()->release(std::exchange(m_actions, QList<SyncAction>()));
}

// What a run looked at is not needed once it has ended; freed between turns of the event loop.
void Syncher::releaseRunData()
{
    DeferredRelease *release = DeferredRelease::instance();
    release->release(std::exchange(m_local, SyncState()));
    release->release(std::exchange(m_last, SyncState()));
    release->release(std::exchange(m_remote, SyncState()));
    release->release(std::exchange(m_plan, QList<SyncAction>()));
    // What a stopped intake left.
    release->release(std::exchange(m_intake, QList<FilesafeObject>()));
    if (m_intakeState)
        release->release(*std::exchange(m_intakeState, nullptr));
}

// ---- progress pump and stop

void Syncher::setPumpTiming(int intervalMs, int activityPauseMs)
{
    s_pumpIntervalMs = intervalMs;
    s_activityPauseMs = activityPauseMs;
}

int Syncher::pauseCount()
{
    return s_pauseCount;
}

double Syncher::pausedMs()
{
    return s_pausedNs / 1e6;
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
    if (activity != s_previousActivity) {
        // Holds a new phase on screen for a moment, however quickly the next one follows.
        if (s_activityPauseMs > 0) {
            QElapsedTimer paused;
            paused.start();
            QThread::msleep(static_cast<unsigned long>(s_activityPauseMs));
            s_pausedNs += paused.nsecsElapsed();
            ++s_pauseCount;
        }
        s_previousActivity = activity;
    }
    return true;
}

// ---- session

void Syncher::on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode)
{
    qDebug("Syncher::on_sessionTimeout: errCode=%d netErrCode=%d", int(errCode), int(netErrCode));
    emit sessionTimeout(errCode, netErrCode);
}

// ---- analysis

bool Syncher::syncAnalyze(const SyncSetting &setting)
{
    qDebug("Syncher::syncAnalyze: syncsetting [s%d]: [%.4s]'%s':'%s' <-> '%s'", int(setting.id()),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeType())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeName())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.remoteDir())),
           escaped(setting.localDir()).constData());
    m_runStartMs = QDateTime::currentMSecsSinceEpoch();
    // The zone may have changed since the last run.
    StringUtil::forgetLocalOffsets();
    m_folderIds.clear();
    m_lastStateRows = 0;
    m_rowsWritten = 0;
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
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.remoteDir())),
           escaped(setting.localDir()).constData());
    clearActions();
    releaseRunData();
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
    releaseRunData();
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
                 qUtf8Printable(StringUtil::escapeNonPrintable(m_setting.safeType())),
                 escaped(m_setting.safeName()).constData());
        analysisFailed(QStringLiteral("FileSafe does not exists."), QList<SyncAction>());
        return;
    }
    qDebug("Syncher::analyzeStep1: filesafe [id:%s,type:%.4s]'%s' access mode: '%s'",
           escaped(m_safe.safeId).constData(), qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.type)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.name)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.access)));
    qDebug("Syncher::analyzeStep1: filesafe [id:%s,type:%.4s]'%s' remote last event/mod: %s/%s setting: local last "
           "event: %s",
           escaped(m_safe.safeId).constData(), qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.type)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.name)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.lastEvent)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_safe.lastMod)),
           qUtf8Printable(StringUtil::escapeNonPrintable(m_setting.syncedLastEvent())));
    qWarning("Syncher::analyzeStep1: TODO: here, we should compare against last_mod instead of last_event");

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
    // Kept to the end of the run, so that it is freed a slice at a time rather than by whichever
    // frame lets it go last.
    m_plan = list;
    // An empty plan is reported too: the coordinator waits for this signal, and the run then
    // ends as "Up to date.".
    emit syncAnalyzed(true, QString(), list);
}

// ---- execution

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
    for (int i = 0; isDebugLogged() && i < m_workList.size(); ++i)
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

void Syncher::executeNextAction()
{
    if (m_closed)
        return;
    // Entered again after every remote completion: its debug lines are built only when written.
    const bool logged = isDebugLogged();
    if (logged)
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
        if (!a->isError() &&
            (type == SyncAction::NoAction || type == SyncAction::UpdateSyncState ||
             type == SyncAction::RemoveSyncState || a->executed() || a->executing() || a->conflict())) {
            a->setExecuted(SyncAction::STATUS_OK, QString());
            countAction(*a);
            continue;
        }
        m_progress->name = a->name();
        m_progress->path = a->path();
        m_progress->actionName = a->actionTypeName();
        m_progress->actionType = type;
        // The byte counts are those of the file in transfer; left as they are, this announcement
        // would show the previous transfer's sizes.
        m_progress->bytesDone = 0;
        switch (type) {
        case SyncAction::UploadFile:
        case SyncAction::UpdateRemoteFile:
            m_progress->bytesTotal = a->localSize();
            break;
        case SyncAction::DownloadFile:
        case SyncAction::BackupDownloadFile:
            m_progress->bytesTotal = a->remoteSize();
            break;
        default:
            m_progress->bytesTotal = 0;
            break;
        }
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
        if (logged && isWorkType(type))
            qDebug("Syncher::executeNextAction: %s path='%s' name='%s'", qUtf8Printable(a->actionTypeName(true)),
                   escaped(a->path()).constData(), qUtf8Printable(StringUtil::escapeNonPrintable(a->name())));
        if (isWorkType(type) && !isNotExcluded(a->relPath(), excludePatterns())) {
            qDebug("Syncher::executeNextAction: %s: '%s'", "(X) skip (exclude)", escaped(a->relPath()).constData());
            a->setSkipped(true);
        }
        if (isWorkType(type) &&
            (a->name().isEmpty() || ((a->type() == QLatin1String("f") || a->type() == QLatin1String("d")) &&
                                     a->name().size() > SyncAction::MaxNameLength))) {
            qDebug("Syncher::executeNextAction: %s: '%s'", "(X) skip (name size)", escaped(a->relPath()).constData());
            a->setSkipped(true);
        }

        const bool pending = dispatch(a);
        // The pump served inside a file's read may have ended the run (or the synchroniser).
        if (guard.isNull() || m_closed)
            return;
        if (pending) {
            countAction(*a);
            if (logged)
                qDebug("Syncher::executeNextAction: Pending remote exec: action:%s status:%s path:'%s'",
                       qUtf8Printable(a->actionTypeName(true)), qUtf8Printable(a->statusName(true)),
                       escaped(a->relPath()).constData());
            endWrites();
            return;
        }
        // A planning error carried by a NoAction is a failed step like any other.
        if (!a->isSuccess() && (isWorkType(type) || type == SyncAction::NoAction)) {
            const bool remote = a->isRemoteAction();
            qWarning("Syncher::executeNextAction: Exec failed: action:%s status:%s path:'%s' msg:'%s'",
                     qUtf8Printable(a->actionTypeName(true)), qUtf8Printable(a->statusName(true)),
                     escaped(a->relPath()).constData(), escaped(a->execErrorMsg()).constData());
            qWarning("Syncher::executeNextAction: %s: action:%s status:%s path:'%s' msg:'%s'",
                     remote ? "Exec remote failed" : "Exec local failed", qUtf8Printable(a->actionTypeName(true)),
                     qUtf8Printable(a->statusName(true)), escaped(a->relPath()).constData(),
                     escaped(a->execErrorMsg()).constData());
        } else if (logged && !a->isRemoteAction()) {
            qDebug("Syncher::executeNextAction: Exec local: action:%s status:%s path:'%s'",
                   qUtf8Printable(a->actionTypeName(true)), qUtf8Printable(a->statusName(true)),
                   escaped(a->relPath()).constData());
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
    refreshStatistics();
    clearExclusionCaches();
    releaseRunData();
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
    releaseRunData();
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
    const bool stored = m_history.id() > 0 &&
                        (finished ? history->finishSync(m_history.id()) : history->cancelSync(m_history.id()));
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
