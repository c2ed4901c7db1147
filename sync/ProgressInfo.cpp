#include "sync/ProgressInfo.h"

#include <QDir>
#include <QMetaEnum>

ProgressInfo::ProgressInfo(QObject *parent)
    : QObject(parent)
{}

void ProgressInfo::reset()
{
    action.clear();
    activity = Activity_Idle;
    message.clear();
    actionType = -1;
    nDone = nTotal = nDoneFiles = nDoneDirs = nFiles = nDirs = nTodoFiles = nTodoDirs = 0;
    bytesDone = bytesTotal = 0;
    safeName.clear();
    safeType.clear();
    remoteBase.clear();
    localBase.clear();
    name.clear();
    path.clear();
    actionName.clear();
    bytesDownloaded = bytesToDownload = bytesUploaded = bytesToUpload = 0;
    nLocalFiles = nLocalDirs = nLastFiles = nLastDirs = nRemoteFiles = nRemoteDirs = 0;
    nLocalDirsCreated = nRemoteDirsCreated = nDownloaded = nUploaded = 0;
    nLocalFilesDeleted = nRemoteFilesDeleted = nLocalDirsDeleted = nRemoteDirsDeleted = 0;
    nNotOk = nConflicts = 0;
}

QString ProgressInfo::activityName() const
{
    return activityName(activity);
}

QString ProgressInfo::activityName(int activity)
{
    const char *key = QMetaEnum::fromType<Activity>().valueToKey(activity);
    return QStringLiteral("%1[%2]")
            .arg(key ? QString::fromLatin1(key) : QStringLiteral("UnknownEnumValue"))
            .arg(activity);
}

QString ProgressInfo::displayPath() const
{
    const QString x = QDir::cleanPath(path + QLatin1Char('/') + name);
    return x.isEmpty() ? safeName : safeName + QStringLiteral(": ") + x;
}

QString ProgressInfo::localFilePath() const
{
    return QDir::cleanPath(localBase + QLatin1Char('/') + path + QLatin1Char('/') + name);
}
