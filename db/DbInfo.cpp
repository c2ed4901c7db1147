#include "db/DbInfo.h"

DbInfo::DbInfo(const QString &dbVersion, const QString &deviceId, const QString &deviceName,
               const QString &creationTime)
    : m_dbVersion(dbVersion)
    , m_deviceId(deviceId)
    , m_deviceName(deviceName)
    , m_creationTime(creationTime)
{}

bool DbInfo::operator==(const DbInfo &other) const
{
    return m_id == other.m_id && m_dbVersion == other.m_dbVersion;
}

bool DbInfo::operator<(const DbInfo &other) const
{
    if (m_id != 0 && other.m_id != 0)
        return m_id < other.m_id;
    return m_dbVersion < other.m_dbVersion;
}
