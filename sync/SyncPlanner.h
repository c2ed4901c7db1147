#pragma once

#include "sync/SyncAction.h"
#include "sync/SyncSetting.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <functional>

class FsObject;

class ProgressInfo;
class SyncState;

// The planning step of one run of one setting: compares the local scan, the last synchronised
// state and the remote listing path by path and decides one action per path. Everything it needs
// from outside comes through the callbacks below, so it runs without a network or a database.
class SyncPlanner
{
public:
    // Progress report and stop check (the synchroniser's event pump): false ends planning with an
    // empty plan.
    using Request = std::function<bool(bool ok, int activity, const QString &message, SyncAction *action)>;
    // True once the synchroniser has been asked to stop.
    using StopCheck = std::function<bool()>;
    // Writes UpdateSyncState and RemoveSyncState actions to the stored state, one batch in one
    // transaction; it may mark the actions executed.
    using StateWriter = std::function<void(const QList<SyncAction *> &batch)>;
    // Checksum of the local file under a relative key with the named algorithm; empty when the
    // algorithm is unknown or the file unreadable. By default the file the scan saw is read.
    using ChecksumSource = std::function<QString(const QString &relPath, const QString &algorithm)>;
    // Recounts the progress counters over the finished plan.
    using CountActions = std::function<void(const QList<SyncAction> &plan)>;

    explicit SyncPlanner(const SyncSetting &setting);

    void setRequest(Request request) { m_request = std::move(request); }
    void setStopCheck(StopCheck stopCheck) { m_stopCheck = std::move(stopCheck); }
    void setStateWriter(StateWriter writer) { m_stateWriter = std::move(writer); }
    void setChecksumSource(ChecksumSource source) { m_checksumSource = std::move(source); }
    void setCountActions(CountActions count) { m_countActions = std::move(count); }
    // The synchroniser's progress record: done/total counters and the item name while planning.
    // May be null.
    void setProgress(ProgressInfo *progress) { m_progress = progress; }
    // The silent list; by default the synchronisers' process-wide one.
    void setSilentPatterns(const QList<QRegularExpression> &patterns);

    // The sorted plan, one action per path; empty when stopped.
    QList<SyncAction> build(const SyncState &local, const SyncState &last, const SyncState &remote);

    // The local scan found no file but junk while the last state holds files: an unmounted drive
    // looks like that. The coordinator must ask before anything is deleted on the service.
    bool localSideVanished() const { return m_localVanished; }

    // Size of the state-write batches.
    static constexpr int StateBatchSize = 256;

    // Sorts a plan into execution order (the order of SyncAction::operator<) without copying
    // the actions.
    static void sortPlan(QList<SyncAction> &actions);

private:
    struct Objects;
    struct Summary;
    // The plan's order, keyed action by action.
    class PlanOrder;

    bool request(int activity, const QString &message);
    bool stopRequested() const;
    void decide(SyncAction &action, Objects &o);
    bool soundChecks(SyncAction &action, const Objects &o);
    void decideMissing(SyncAction &action, Objects &o);
    void decideInitialFile(SyncAction &action, Objects &o);
    void decideFile(SyncAction &action, Objects &o);
    bool unchangedBehindMark(const Objects &o, const FsObject &last, const FsObject &local);
    void withholdLocalDeletion(SyncAction &action);
    bool silentlyExcluded(Objects &o) const;
    QString localChecksum(const QString &relPath, const QString &algorithm);
    void flushStateWrites(QList<SyncAction> &actions);
    void logSummary(const Summary &summary) const;

    SyncSetting m_setting;
    Request m_request;
    StopCheck m_stopCheck;
    StateWriter m_stateWriter;
    ChecksumSource m_checksumSource;
    CountActions m_countActions;
    ProgressInfo *m_progress = nullptr;
    QList<QRegularExpression> m_silentPatterns;
    bool m_silentPatternsSet = false;
    QList<QRegularExpression> m_silent;
    // Answers of the silent list per folder, during build().
    mutable QHash<QString, bool> m_silentFolders;

    // Valid during build().
    const SyncState *m_local = nullptr;
    const SyncState *m_remote = nullptr;
    QList<int> m_pendingWrites;
    bool m_localVanished = false;
    // A local file's read ended in a stop: the plan is abandoned.
    bool m_readStopped = false;
};
