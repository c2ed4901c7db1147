#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaType>
#include <QString>

// One row of the synchronisation history: what one executed action did.
class SyncHistoryObject
{
public:
    SyncHistoryObject() = default;
    SyncHistoryObject(qint64 id, qint64 syncHistoryId, const QString &localDir, const QString &remoteDir,
                      const QString &type, int state, int action, const QDateTime &timestamp);

    qint64 id() const { return m_id; }
    qint64 syncHistoryId() const { return m_syncHistoryId; }
    QString localDir() const { return m_localDir; }
    QString remoteDir() const { return m_remoteDir; }
    QString type() const { return m_type; }
    int state() const { return m_state; }
    int action() const { return m_action; }
    QDateTime timestamp() const { return m_timestamp; }

    // "+ (time) path" for creations and transfers, "- (time) path" for deletions; empty for
    // anything else.
    QString description() const;

private:
    qint64 m_id = 0;
    qint64 m_syncHistoryId = 0;
    QString m_localDir;
    QString m_remoteDir;
    QString m_type;
    int m_state = -1;
    int m_action = 0;
    QDateTime m_timestamp;
};

Q_DECLARE_METATYPE(SyncHistoryObject)
