#pragma once

#include "net/ErrorCode.h"
#include "net/R7Session.h"
#include "net/Result.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "sync/SyncSetting.h"

#include <QList>
#include <QObject>
#include <QString>

class FileSafeDao;
class FilesafeRI;

// The synchronisation coordinator: runs a list of synchronisation settings one after the other and
// is the one object the application talks to about synchronisation. One exists per signed-in period.
//
// This build has no per-setting synchroniser yet: a run refreshes the safe list, walks the queue
// (re-reading every setting, skipping inactive ones) and finishes without transferring anything.
class MultiSyncher : public QObject
{
    Q_OBJECT

public:
    // Remote file deletions from this count on need the user's consent.
    static constexpr int LargeDeleteThreshold = 50;

    MultiSyncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent = nullptr);
    ~MultiSyncher() override;

    bool isSyncing() const { return m_running; }
    // Ignored while a run is in progress or when the list is empty.
    void requestSync(QList<SyncSetting> settings);
    // Stops a running run and emits syncCanceled; nothing while idle.
    void requestToStop();
    // False when the plan deletes many remote files and the user declines.
    bool shouldProceedWithSync(const QString &safeName, const QList<SyncAction> &actions);

signals:
    void syncStarted();
    void startSyncSafe(SyncSetting setting);
    void syncFinished(int nDone, int nFailed, QList<SyncAction> executedSyncActions);
    void syncProgress(bool ok, const ProgressInfo &pi);
    void syncExecutedOne(bool ok, QString msg, SyncAction sa);
    void syncCanceled();
    void quotaExceeded(SyncAction sa);
    void sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);

public slots:
    void on_getFilesafesForStartSync(QList<SyncSetting> settings);

private:
    void startSync();
    void nextSyncSetting();
    void finishRun();

    FileSafeDao *m_fileSafeDao;
    FilesafeRI *m_filesafeRI;
    bool m_running = false;
    // Tells the queued steps of a stopped run from those of the current one.
    int m_run = 0;
    SyncSetting m_currentSetting;
    int m_nDone = 0;
    int m_nFailed = 0;
    QList<SyncAction> m_executedActions;
    QList<SyncSetting> m_queue;
};
