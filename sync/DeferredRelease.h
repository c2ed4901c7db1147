#pragma once

#include "net/FilesafeObject.h"
#include "sync/FsObject.h"
#include "sync/SyncAction.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class SyncState;

// Frees a run's large containers (listings, snapshots, plans, executed actions) a slice at a time between
// turns of the event loop: freeing a hundred thousand entries at once would keep the interface
// waiting for a tenth of a second. A container handed over while the frames that end a run still
// share it is freed once they have let it go, at the next turn; one that others keep beyond that
// is theirs to free. GUI thread only.
class DeferredRelease : public QObject
{
    Q_OBJECT

public:
    static DeferredRelease *instance();

    void release(const SyncState &state);
    void release(const QHash<QString, FsObject> &objects);
    void release(const QList<SyncAction> &actions);
    void release(const QList<FilesafeObject> &listed);

    // Entries not freed yet.
    int pending() const;
    // Frees everything now (at the end of the program).
    void flush();

    // Test hook: the time one turn may spend (0: the usual).
    static void setSliceBudget(int ms);

signals:
    // Nothing is left to free.
    void drained();

private:
    DeferredRelease();

    template<typename Container>
    struct Held
    {
        Container data;
        bool lookedAt = false;
        // A list is put in the order of its items' places once.
        bool ordered = false;
    };

    template<typename H, typename Container>
    static void hold(QList<H> &held, const Container &data);
    template<typename H>
    static bool ownedNow(QList<H> &held, int *index);
    void schedule();
    void slice();
    bool freeObjects(const QElapsedTimer &clock);
    template<typename T>
    bool freeList(QList<Held<QList<T>>> &lists, const QElapsedTimer &clock);

    QList<Held<QHash<QString, FsObject>>> m_objects;
    QList<Held<QList<SyncAction>>> m_actions;
    QList<Held<QList<FilesafeObject>>> m_listed;
    QTimer m_timer;
};
