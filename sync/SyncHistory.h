#pragma once

#include <QDateTime>
#include <QtGlobal>

// One synchronisation run (a sync_history row). A record with id and state 0 means "no run".
class SyncHistory
{
public:
    enum State {
        Running = 1,
        Cancelled = 2,
        Finished = 3,
    };

    SyncHistory() = default;
    SyncHistory(qint64 id, int state)
        : m_id(id)
        , m_state(state)
    {}
    SyncHistory(qint64 id, const QDateTime &startTime, const QDateTime &endTime, int state)
        : m_id(id)
        , m_startTime(startTime)
        , m_endTime(endTime)
        , m_state(state)
    {}

    bool isNull() const { return m_id == 0 && m_state == 0; }

    qint64 id() const { return m_id; }
    QDateTime startTime() const { return m_startTime; }
    QDateTime endTime() const { return m_endTime; }
    int state() const { return m_state; }

    void setId(qint64 id) { m_id = id; }
    void setEndTime(const QDateTime &endTime) { m_endTime = endTime; }
    void setState(int state) { m_state = state; }

private:
    qint64 m_id = 0;
    QDateTime m_startTime;
    QDateTime m_endTime;
    int m_state = 0;
};
