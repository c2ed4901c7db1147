#pragma once

#include "net/ErrorCode.h"
#include "net/FilesafeObjectsTO_v2.h"
#include "net/FilesafeTO_v2.h"
#include "net/R7Session.h"
#include "net/Result.h"
#include "sync/FsObject.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "sync/SyncHistory.h"
#include "sync/SyncSetting.h"
#include "sync/SyncState.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class DownloadFile;
struct stat;
class FileSafeDao;
class FilesafeRI;

// Runs one synchronisation of one setting on the GUI thread: the analysis (remote listing, last
// state, local scan, plan) and then the execution of the plan, action by action. Long loops go
// through Request(), which keeps the interface alive and is where a stop takes effect.
class Syncher : public QObject
{
    Q_OBJECT

public:
    Syncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent = nullptr);
    ~Syncher() override;

    // Entry 1 of a run; always true.
    bool syncAnalyze(const SyncSetting &setting);
    // Entry 2; false only when stopped during the first progress step.
    bool syncExecute(const QList<SyncAction> &actions);

    // Sets the stop flag and aborts every pending server request.
    void requestToStop();
    bool isStopRequested() const { return m_stop; }

    // Reports progress and pumps events now and then; false means the caller must return at once
    // (the synchroniser is stopping or has been deleted).
    bool Request(bool ok, int activity, const QString &message, const SyncAction *action = nullptr);
    void updateProgress(bool ok, int activity, const QString &message, const SyncAction *action = nullptr);
    const ProgressInfo &progress() const { return *m_progress; }

    // Test hook: the throttle of Request (500 ms) and its pause at a change of activity (100 ms).
    static void setPumpTiming(int intervalMs, int activityPauseMs);
    // The pauses at a change of activity since the process started: how many, and their time.
    static int pauseCount();
    static double pausedMs();
    // Test hook: listed objects taken in per turn of the event loop (0: the usual 5000).
    static void setListingBatch(int objects);
    // Test hook: rows of the last state read between two looks at the pump (0: the usual 5000).
    static void setLastStateChunk(int rows);
    // Test hook, called at the steps between an action's effect and its recorded state:
    // "executed" (the action had its effect), "recorded" (its state is written, not committed),
    // "committed"; "listed" (the listing's reply is in), "intake" (between two turns of its intake);
    // "backedup" (a conflicting local file was moved to its copy, the download not yet in place);
    // "laststate" (between two chunks of the last state's rows).
    using StepHook = std::function<void(const char *step, const SyncAction &action)>;
    static void setStepHook(StepHook hook);

    static QList<QRegularExpression> loadExcludePatterns(const QString &fileName);
    static bool isNotExcluded(const QString &relPath, const QList<QRegularExpression> &patterns);
    // The same with the answers for folders kept in the cache (the file name is matched each time).
    static bool isNotExcluded(const QString &relPath, const QList<QRegularExpression> &patterns,
                              QHash<QString, bool> *folderCache);
    // The caches of the two process-wide lists; emptied at the end of each run.
    static void clearExclusionCaches();
    static int exclusionCacheSize();
    static bool isSizeValid(SyncAction *action, const QString &path, const FsObject &object);
    // The process-wide lists, filled by the first synchroniser constructed.
    static const QList<QRegularExpression> &excludePatterns();
    static const QList<QRegularExpression> &silentExcludePatterns();

    // A path of the three snapshots and its object in each (a null object where one lacks it).
    struct PathObjects
    {
        const QString *key;
        const FsObject *last;
        const FsObject *local;
        const FsObject *remote;
    };
    // Every path of the three snapshots once, with pointers into the states given (they must
    // outlive the answer), in no particular order: the union the planner walks.
    static std::vector<PathObjects> collectPaths(const SyncState &last, const SyncState &local, const SyncState &remote);

    QList<SyncAction> buildSyncActions(const SyncState &local, const SyncState &last, const SyncState &remote);
    // The last plan found an empty local folder where the last state holds files (an unmounted
    // drive looks like that): the user must confirm before anything is deleted on the service.
    bool localSideVanished() const { return m_localSideVanished; }
    // The same for the service: an empty listing where the last state holds files (a truncated or
    // wrong answer looks like that).
    bool remoteSideVanished() const { return m_remoteSideVanished; }
    // Deletions of files the plan would make on either side.
    static int countFileDeletions(const QList<SyncAction> &actions);
    // The safe list was refreshed from the service for this run: only then may an unchanged
    // last-event marker stand for an unchanged remote side.
    void setSafeListFresh(bool fresh) { m_safeListFresh = fresh; }
    SyncAction makeSyncAction(int type, int status, bool executed, const QString &message,
                              const FsObject *object = nullptr) const;

    // Last-state and history bookkeeping of one action; false when a write failed.
    bool updateSyncState(SyncAction *action);
    // State writes of a plan go to the store in batched transactions between these two calls.
    void beginStateWrites();
    void endStateWrites();

    void countActions(const QList<SyncAction> &actions);
    // sign -1 takes an action out of the counters again (before it changes).
    void countAction(const SyncAction &action, int sign = 1);
    void recountWorkList();

    const SyncSetting &setting() const { return m_setting; }
    // The executed actions, in the order of the work queue: the values the queue points to.
    const QList<SyncAction> &executedActions() const { return m_actions; }
    const SyncState &localState() const { return m_local; }
    const SyncState &lastState() const { return m_last; }
    const SyncState &remoteState() const { return m_remote; }

signals:
    void syncAnalyzed(bool ok, QString msg, QList<SyncAction> syncActionList);
    void syncExecutedOne(bool ok, QString msg, SyncAction sa);
    void syncExecutedAll(int nTotal, int nDone, int nFailed, QList<SyncAction *> syncActionList);
    void syncProgress(bool ok, const ProgressInfo &pi);
    // History rows just written for executed actions: their ids by the actions' temporary ids.
    void historyRecorded(const QHash<qint64, qint64> &idsByTempId);
    void sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);
    void quotaExceeded(SyncAction sa);
    // Once per run whose state could not be stored (e.g. the database's disk is full); cause is
    // the database driver's own text.
    void stateWriteFailed(QString cause);

protected slots:
    void on_analyzeStep2Finished(const Result<FilesafeObjectsTO_v2> &result);
    void on_remoteDeleteFileFinished(const EmptyResult &result);
    void on_downloadFileFinished(const Result<qint64> &result);
    void on_uploadFileFinished(const Result<FilesafeObjectsTO_v2> &result);
    void on_remoteCreateDirFinished(const Result<FilesafeObjectsTO_v2> &result);
    void on_remoteDeleteDirFinished(const EmptyResult &result);
    void on_downloadFileProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void on_uploadFileProgress(qlonglong bytesSent, qlonglong bytesTotal);
    void on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);

protected:
    void analyzeStep1();
    void getRemoteObjects();
    // The rest of on_analyzeStep2Finished, run from the event loop once the reply is gone.
    void analyzeListing();
    // One bounded turn of the listing's intake; the next turn is queued, the last one goes on to
    // the last and the local state.
    void takeListingBatch();
    // Keeps the texts `known` holds too (keys, ids, checksums) as known's: one copy for both.
    SyncState loadLastStatus(bool *ok, const SyncState *known = nullptr);
    SyncState loadLocalStatus(bool *ok);
    void collectStatusInfoFinished(const SyncState &local, const SyncState &last, const SyncState &remote);

    void startExecution();
    void executeNextAction();
    void remoteCreateDir(SyncAction *action);
    void remoteDeleteFile(SyncAction *action);
    void remoteDeleteDir(SyncAction *action);
    void downloadFile(SyncAction *action);
    // False when the run ended while the file was read (the action is gone then).
    bool uploadFile(SyncAction *action);
    void finishExecution();
    void finishCanceled();

    void clearActions();
    void releaseRunData();
    void refreshStatistics();

    FilesafeRI *m_filesafeRI = nullptr;
    FileSafeDao *m_fileSafeDao = nullptr;
    QList<SyncAction> m_actions;
    QList<SyncAction *> m_workList;
    int m_workPos = 0;
    SyncState m_local;
    SyncState m_last;
    SyncState m_remote;
    // The plan of the analysis, until the run ends.
    QList<SyncAction> m_plan;
    ProgressInfo *m_progress = nullptr;
    bool m_stop = false;
    SyncSetting m_setting;
    FilesafeTO_v2 m_safe;
    SyncHistory m_history;

private:
    bool flushStateWrites(bool reopen);
    void analysisFailed(const QString &message, const QList<SyncAction> &actions);
    void closeHistory(bool finished);
    SyncAction *currentAction() const;
    SyncAction *finishedRequestAction();
    // Runs one queued action up to its effect; true when a remote request is now pending.
    bool dispatch(SyncAction *action);
    // After an action is complete: state, counters, progress, signal. False when the run must end.
    // A deferred state write waits for the next pump, the end of the run or a full batch.
    bool completeAction(SyncAction *action, bool pump, const QString &text, bool defer);
    // Writes the deferred states in one transaction; false when a write failed.
    bool recordPending();
    void afterRemote(SyncAction *action, bool pump, const QString &text);
    QString parentFolderId(const SyncAction *action);
    QString folderId(const QString &relPath);
    bool removeRow(const QString &relPath);
    bool insideBase(SyncAction *action);
    bool storeRow(SyncAction *action);
    bool downloadBeforeReplace(SyncAction *action, DownloadFile &file, QString *destination, QString *reason);
    bool keepChangedTarget(SyncAction *action, DownloadFile &file, const QString &destination,
                           const struct stat &found, QString *reason);
    enum class Content { Same, Changed, Stopped };
    // Whether the file `name` in the folder holds what the action's state row says was last
    // synchronised (Changed also when that cannot be told); Stopped when the run ended during the
    // read, after which nothing of the synchroniser may be touched.
    Content holdsLastContent(const SyncAction *action, int folder, const QString &name);
    bool forgetRow(const SyncAction *action);
    void recreateRefusedFolder(SyncAction *action);
    void sent(SyncAction *action);
    void abortOwnRequests();

    // Requests of this synchroniser abort when this object goes (Request::AbortScope).
    QObject *m_requestOwner = nullptr;
    bool m_requestPending = false;
    bool m_closed = false;
    bool m_stateWriteFailed = false;
    bool m_stateWriteNoticed = false;
    qint64 m_runStartMs = 0;
    bool m_remoteSideVanished = false;
    bool m_safeListFresh = false;
    // The listing between its reply and analyzeListing.
    Result<FilesafeObjectsTO_v2> m_listing;
    // The listing's intake between its turns.
    QList<FilesafeObject> m_intake;
    std::unique_ptr<SyncState> m_intakeState;
    QString m_intakeAccess;
    // Outcome of the download hook; a refusal's status (0: the download's own failure).
    QString m_downloadChecksum;
    QString m_downloadKeptAs;
    int m_downloadRefusal = 0;
    // The download's file as the hook saw it; alive while its completion runs.
    QPointer<DownloadFile> m_download;
    // The source as it was when the upload began: the file sent, its size and time.
    quint64 m_uploadDevice = 0;
    quint64 m_uploadInode = 0;
    qint64 m_uploadSize = -1;
    QDateTime m_uploadMtime;
    QString m_uploadChecksum;
    // When the local folder was scanned for this run's plan (milliseconds since the epoch; 0 when
    // the plan had no scan): every local content the run takes was taken since.
    qint64 m_scannedMs = 0;
    bool m_localSideVanished = false;
    int m_stateWriteDepth = 0;
    // Completed transfers whose state is not written yet: one commit per pump interval instead of
    // one per file, and no transaction stays open while the event loop waits for the service.
    QList<SyncAction *> m_unrecorded;
    int m_stateWritesInBatch = 0;
    // Rows of the last state as loaded, and state rows written since, for the planner's statistics.
    int m_lastStateRows = 0;
    int m_rowsWritten = 0;
    // Object ids of folders as the state rows hold them, by path, for this run.
    QHash<QString, QString> m_folderIds;
    // Set while the synchroniser goes: nobody may be told of the last writes any more.
    bool m_destroying = false;
};
