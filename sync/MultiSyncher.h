#pragma once

#include "net/ErrorCode.h"
#include "net/R7Session.h"
#include "net/Result.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "sync/SyncSetting.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class FileSafeDao;
class FilesafeRI;
class Syncher;

// The synchronisation coordinator: runs a list of synchronisation settings one after the other,
// through one synchroniser at a time, and is the one object the application talks to about
// synchronisation. One exists per signed-in period. Every run ends with exactly one of
// syncFinished, syncCanceled or sessionTimeout.
class MultiSyncher : public QObject
{
    Q_OBJECT

public:
    // Remote file deletions from this count on need the user's consent.
    static constexpr int LargeDeleteThreshold = 50;

    // (safe name, number of files, asked even when the user switched the question off) -> go on.
    using LargeDeleteQuestion = std::function<bool(const QString &safeName, int numberOfFiles, bool always)>;

    MultiSyncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent = nullptr);
    ~MultiSyncher() override;

    bool isSyncing() const { return !m_syncher.isNull(); }
    // Ignored while a run is in progress or when the list is empty.
    void requestSync(QList<SyncSetting> settings);
    // Stops a running run and emits syncCanceled; nothing while idle.
    void requestToStop();
    // False when the plan deletes many remote files and the user declines.
    bool shouldProceedWithSync(const QString &safeName, const QList<SyncAction> &actions);
    // By default the application's question.
    void setLargeDeleteQuestion(LargeDeleteQuestion question) { m_question = std::move(question); }

signals:
    void syncStarted();
    void startSyncSafe(SyncSetting setting);
    void syncFinished(int nDone, int nFailed, QList<SyncAction> executedSyncActions);
    void syncProgress(bool ok, const ProgressInfo &pi);
    void syncExecutedOne(bool ok, QString msg, SyncAction sa);
    void historyRecorded(const QHash<qint64, qint64> &idsByTempId);
    void syncCanceled();
    void quotaExceeded(SyncAction sa);
    void sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);
    // A run whose state the database did not take; once per run.
    void stateWriteFailed(QString cause);

public slots:
    void on_getFilesafesForStartSync(QList<SyncSetting> settings);
    void on_syncAnalyzed(bool ok, QString msg, QList<SyncAction> syncActionList);
    void on_syncExecutedOne(bool ok, QString msg, SyncAction sa);
    void on_syncExecutedAll(int nTotal, int nDone, int nFailed, QList<SyncAction *> syncActionList);
    void on_syncProgress(bool ok, const ProgressInfo &pi);
    void on_quotaExceeded(SyncAction sa);
    void on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode);

private:
    void startSync();
    bool nextSyncSettingAnalyze();
    bool askLargeDelete(const QString &safeName, int numberOfFiles, bool always);
    void endRun(int nDone, int nFailed, const QList<SyncAction> &actions);
    void stopSyncher();
    void on_settingsChanged();

    FileSafeDao *m_fileSafeDao;
    FilesafeRI *m_filesafeRI;
    // The busy marker: set while a run is in progress.
    QPointer<Syncher> m_syncher;
    SyncSetting m_currentSetting;
    int m_nDone = 0;
    int m_nFailed = 0;
    QList<SyncAction> m_executedActions;
    QList<SyncSetting> m_queue;
    LargeDeleteQuestion m_question;
};
