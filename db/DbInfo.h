#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// One row of db_info: the schema version and the identity of this installation.
class DbInfo
{
public:
    DbInfo() = default;
    DbInfo(const QString &dbVersion, const QString &deviceId, const QString &deviceName, const QString &creationTime);

    qint64 id() const { return m_id; }
    void setId(qint64 id) { m_id = id; }
    QString dbVersion() const { return m_dbVersion; }
    QString deviceId() const { return m_deviceId; }
    QString deviceName() const { return m_deviceName; }
    // TextDate text as stored, not a number.
    QString creationTime() const { return m_creationTime; }

    // Only id and version take part: the other texts describe the same row.
    bool operator==(const DbInfo &other) const;
    bool operator!=(const DbInfo &other) const { return !(*this == other); }
    // By id when both rows have one, otherwise by version text.
    bool operator<(const DbInfo &other) const;

private:
    qint64 m_id = 0;
    QString m_dbVersion;
    QString m_deviceId;
    QString m_deviceName;
    QString m_creationTime;
};
