#pragma once

#include "sync/SyncHistory.h"
#include "sync/SyncHistoryObject.h"

#include <QList>
#include <QObject>

class SyncAction;

// The history of the signed-in user's synchronisation runs and of what each action did.
class SyncHistoryDao : public QObject
{
    Q_OBJECT

public:
    static SyncHistoryDao *instance();

    // A new running run; its id is 0 when it could not be written.
    // startTimeMs: when the run began, for a row stored only at its end (default: now).
    SyncHistory startSync(qint64 startTimeMs = 0);
    bool cancelSync(qint64 historyId);
    bool finishSync(qint64 historyId);
    // Runs of the current user still marked running (the process ended during them) become
    // cancelled; the number closed.
    int closeInterruptedRuns();
    // The most recently finished run, or a null record.
    SyncHistory lastSync();
    // Rows of the runs that started within [from, to], newest row first; bookkeeping actions are
    // left out.
    QList<SyncHistoryObject> loadHistory(const QDateTime &from, const QDateTime &to);

    // The new row's id, 0 when it could not be written.
    qint64 storeSyncHistoryObject(const SyncAction *action, qint64 historyId);
    // Changes exactly the row stored for the action, or nothing.
    bool updateSyncHistoryObject(const SyncAction *action, qint64 historyId);

private:
    SyncHistoryDao();
    bool endSync(qint64 historyId, int state);
};
