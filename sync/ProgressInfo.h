#pragma once

#include "sync/SyncAction.h"

#include <QObject>
#include <QString>

// The progress of a running synchronisation. Owned by the synchroniser, handed to every listener
// by const reference; listeners only read.
class ProgressInfo : public QObject
{
    Q_OBJECT

public:
    enum Activity {
        Activity_Idle = 0,
        Activity_GetRemoteObjects_Started = 10,
        Activity_GetRemoteObjects_Finished = 12,
        Activity_CollectStatusInfo_Started = 20,
        Activity_CollectStatusInfo_Progress = 21,
        Activity_CollectStatusInfo_Finished = 22,
        Activity_BuildSyncActions_Started = 30,
        Activity_BuildSyncActions_Progress = 31,
        Activity_BuildSyncActions_Finished = 32,
        Activity_ProcessSyncActions_Started = 40,
        Activity_ProcessSyncActions_Progress = 41,
        Activity_ProcessSyncActions_Finished = 42,
        Activity_User_Canceled = 90,
        Activity_Error_Canceled = 91,
    };
    Q_ENUM(Activity)

    explicit ProgressInfo(QObject *parent = nullptr);

    // Back to the start state; nSkipped is recounted by the synchroniser and stays.
    void reset();

    QString activityName() const;
    static QString activityName(int activity);
    QString displayPath() const;
    QString localFilePath() const;

    SyncAction action;
    int activity = Activity_Idle;
    QString message;
    int actionType = -1;

    int nDone = 0;
    int nTotal = 0;
    int nDoneFiles = 0;
    int nDoneDirs = 0;
    int nFiles = 0;
    int nDirs = 0;
    int nTodoFiles = 0;
    int nTodoDirs = 0;

    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;

    QString safeName;
    QString safeType;
    QString remoteBase;
    QString localBase;
    QString name;
    QString path;
    QString actionName;

    qint64 bytesDownloaded = 0;
    qint64 bytesToDownload = 0;
    qint64 bytesUploaded = 0;
    qint64 bytesToUpload = 0;
    int nLocalFiles = 0;
    int nLocalDirs = 0;
    int nLastFiles = 0;
    int nLastDirs = 0;
    int nRemoteFiles = 0;
    int nRemoteDirs = 0;
    int nLocalDirsCreated = 0;
    int nRemoteDirsCreated = 0;
    int nDownloaded = 0;
    int nUploaded = 0;
    int nLocalFilesDeleted = 0;
    int nRemoteFilesDeleted = 0;
    int nLocalDirsDeleted = 0;
    int nRemoteDirsDeleted = 0;
    int nNotOk = 0;
    int nConflicts = 0;

    int nSkipped = 0;
};
