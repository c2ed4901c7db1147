#pragma once

#include "sync/DuplicatedSyncPath.h"
#include "sync/SyncSetting.h"

#include <QList>
#include <QObject>
#include <QStringList>

// The sync_setting table: the configured pairs of a local folder and a folder of a file safe.
class SyncSettingsDao : public QObject
{
    Q_OBJECT

public:
    static SyncSettingsDao *instance();

    // Refused (false, no signal) when the current user has no such safe: a setting without its
    // safe would be listed nowhere.
    bool add(const SyncSetting &setting);
    // A null setting when the id is unknown.
    SyncSetting get(qint64 settingId);
    QStringList getAllLocalDirs();
    QStringList getLocalDirs();
    // Every stored setting (of any account) whose local folder contains the proposed one or lies
    // inside it.
    QList<DuplicatedSyncPath> getDuplicatedSynchedPaths(const QString &localDir);
    QList<SyncSetting> getList(bool currentUserOnly, bool autoSyncOnly);
    // The setting and its file states go together or not at all.
    bool remove(qint64 settingId);
    bool removeAll();
    bool updateLastSync(qint64 settingId, const QString &lastEvent);
    void setMode(qint64 settingId, int mode);
    void setRemoteState(qint64 settingId, SyncSetting::RemoteState remoteState);
    void setRootFolderId(qint64 settingId, const QString &rootFolderId);

    // "/" separators and a trailing "/", as local folders are stored and compared.
    static QString normalizedLocalDir(const QString &localDir);

signals:
    void remoteStateChanged(qint64 settingId, SyncSetting::RemoteState remoteState);
    void settingsChanged();

private:
    SyncSettingsDao();
};
