#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaType>
#include <QString>

// One configured pair of a local folder and a remote folder of a file safe, as stored in
// sync_setting and joined with its safe.
class SyncSetting
{
    Q_GADGET
    Q_DECLARE_TR_FUNCTIONS(SyncSetting)

public:
    enum RemoteState {
        RemoteStatePresent = 0,
        RemoteStateGone = 1,
    };
    Q_ENUM(RemoteState)

    bool isNull() const { return m_id == 0; }
    // The local folder is readable, the user may read the safe, and the safe has not expired
    // (no expiry date means it never expires).
    bool isActive() const;
    // No date means the safe never expires; a date that cannot be read counts as expired.
    static bool isExpired(const QString &expiryDate, const QDateTime &now = QDateTime::currentDateTime());
    QString roleName() const;

    qint64 id() const { return m_id; }
    QString serverId() const { return m_serverId; }
    QString accountName() const { return m_accountName; }
    QString safeId() const { return m_safeId; }
    QString safeName() const { return m_safeName; }
    QString safeType() const { return m_safeType; }
    QString rootFolderId() const { return m_rootFolderId; }
    QString remoteDir() const { return m_remoteDir; }
    QString localDir() const { return m_localDir; }
    int mode() const { return m_mode; }
    QDateTime lastSync() const { return m_lastSync; }
    int remoteState() const { return m_remoteState; }
    int roleType() const { return m_roleType; }
    QString syncedLastEvent() const { return m_syncedLastEvent; }
    QString expiryDate() const { return m_expiryDate; }
    QString access() const { return m_access; }

    void setId(qint64 id) { m_id = id; }
    void setServerId(const QString &serverId) { m_serverId = serverId; }
    void setAccountName(const QString &accountName) { m_accountName = accountName; }
    void setSafeId(const QString &safeId) { m_safeId = safeId; }
    void setSafeName(const QString &safeName) { m_safeName = safeName; }
    void setSafeType(const QString &safeType) { m_safeType = safeType; }
    void setRootFolderId(const QString &rootFolderId) { m_rootFolderId = rootFolderId; }
    void setRemoteDir(const QString &remoteDir) { m_remoteDir = remoteDir; }
    void setLocalDir(const QString &localDir) { m_localDir = localDir; }
    void setMode(int mode) { m_mode = mode; }
    void setLastSync(const QDateTime &lastSync) { m_lastSync = lastSync; }
    void setRemoteState(int remoteState) { m_remoteState = remoteState; }
    void setRoleType(int roleType) { m_roleType = roleType; }
    void setSyncedLastEvent(const QString &syncedLastEvent) { m_syncedLastEvent = syncedLastEvent; }
    void setExpiryDate(const QString &expiryDate) { m_expiryDate = expiryDate; }
    void setAccess(const QString &access) { m_access = access; }

private:
    qint64 m_id = 0;
    QString m_serverId;
    QString m_accountName;
    QString m_safeId;
    QString m_safeName;
    QString m_safeType;
    QString m_rootFolderId;
    QString m_remoteDir;
    QString m_localDir;
    int m_mode = 0;
    QDateTime m_lastSync;
    int m_remoteState = RemoteStatePresent;
    int m_roleType = 0;
    QString m_syncedLastEvent;
    QString m_expiryDate;
    QString m_access;
};

Q_DECLARE_METATYPE(SyncSetting)
Q_DECLARE_METATYPE(SyncSetting::RemoteState)
