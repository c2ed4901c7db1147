#pragma once

#include <QString>
#include <QtGlobal>

// An existing setting whose local folder overlaps a proposed one.
class DuplicatedSyncPath
{
public:
    DuplicatedSyncPath() = default;
    DuplicatedSyncPath(const QString &accountName, const QString &safeName, const QString &localDir,
                       qint64 syncSettingId)
        : m_accountName(accountName)
        , m_safeName(safeName)
        , m_localDir(localDir)
        , m_syncSettingId(syncSettingId)
    {}

    QString accountName() const { return m_accountName; }
    QString safeName() const { return m_safeName; }
    QString localDir() const { return m_localDir; }
    qint64 syncSettingId() const { return m_syncSettingId; }

    void setSafeName(const QString &safeName) { m_safeName = safeName; }
    void setLocalDir(const QString &localDir) { m_localDir = localDir; }
    void setSyncSettingId(qint64 syncSettingId) { m_syncSettingId = syncSettingId; }

private:
    QString m_accountName;
    QString m_safeName;
    QString m_localDir;
    qint64 m_syncSettingId = 0;
};
