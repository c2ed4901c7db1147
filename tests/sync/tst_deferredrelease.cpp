#include "sync/DeferredRelease.h"
#include "sync/SyncState.h"

#include <QtTest>

// A run's data handed over at its end: all of it freed over the next turns, nothing that another
// holder still uses.
class TestDeferredRelease : public QObject
{
    Q_OBJECT

    static FsObject object(int i)
    {
        return FsObject(QStringLiteral("o%1").arg(i), QStringLiteral("d/f%1.txt").arg(i), i, QDateTime(), QDateTime(),
                        QString(), QStringLiteral("f"), QString());
    }

private slots:
    void cleanup() { DeferredRelease::setSliceBudget(0); }

    void freesEverythingOnceOwned()
    {
        DeferredRelease::setSliceBudget(1);
        const int before = FsObject::instanceCount();
        const int actionsBefore = SyncAction::instanceCount();
        DeferredRelease *release = DeferredRelease::instance();
        QSignalSpy drained(release, &DeferredRelease::drained);
        {
            SyncState state(QStringLiteral("/base"), 1);
            for (int i = 0; i < 20000; ++i)
                state.add(object(i));
            QList<SyncAction> plan;
            for (int i = 0; i < 3000; ++i)
                plan.append(SyncAction());
            release->release(state);
            // Two snapshots of one state are one container.
            release->release(SyncState(state));
            release->release(plan);
            QCOMPARE(release->pending(), 23000);
            QCOMPARE(FsObject::instanceCount(), before + 20000);
        }
        QTRY_COMPARE(release->pending(), 0);
        QVERIFY(drained.count() >= 1);
        QCOMPARE(FsObject::instanceCount(), before);
        QCOMPARE(SyncAction::instanceCount(), actionsBefore);
    }

    // The end of a run: what is handed over is still shared by a frame that lets it go one turn
    // later. That frame must not end up freeing the whole container at once (a turn of a tenth of a
    // second after a large run); nor may anything be freed while it still reads the data.
    void waitsOneTurnWhileShared()
    {
        const int n = 20000;
        const int before = FsObject::instanceCount();
        DeferredRelease *release = DeferredRelease::instance();
        QHash<QString, FsObject> frame;
        {
            QHash<QString, FsObject> objects;
            for (int i = 0; i < n; ++i)
                objects.insert(QString::number(i), object(i));
            frame = objects;
            release->release(objects);
        }
        // Owned from the start, freed at the first turn: once it is gone, that turn has passed.
        release->release(QHash<QString, FsObject>{{QStringLiteral("x"), object(-1)}});
        QCOMPARE(release->pending(), n + 1);

        int pendingAtLetGo = -1;
        int sizeAtLetGo = -1;
        QString pathAtLetGo;
        int objectsAfterLetGo = -1;
        QTimer nextTurn;
        nextTurn.setSingleShot(true);
        connect(&nextTurn, &QTimer::timeout, this, [&]() {
            pendingAtLetGo = release->pending();
            sizeAtLetGo = frame.size();
            pathAtLetGo = frame.value(QStringLiteral("4711")).path();
            frame = QHash<QString, FsObject>();
            objectsAfterLetGo = FsObject::instanceCount();
        });
        nextTurn.start(0);
        QTRY_VERIFY(objectsAfterLetGo >= 0);

        // The first turn looked and waited: nothing was taken from what the frame reads.
        QCOMPARE(pendingAtLetGo, n);
        QCOMPARE(sizeAtLetGo, n);
        QCOMPARE(pathAtLetGo, QStringLiteral("d/f4711.txt"));
        // Let go by the frame, the container is still held here, to be freed a slice at a time.
        QCOMPARE(objectsAfterLetGo, before + n);
        QTRY_COMPARE(release->pending(), 0);
        QCOMPARE(FsObject::instanceCount(), before);
    }

    // A holder that keeps its share beyond the next turn keeps it whole; it is then its to free.
    void leavesWhatOthersKeep()
    {
        const int before = FsObject::instanceCount();
        QHash<QString, FsObject> kept;
        for (int i = 0; i < 100; ++i)
            kept.insert(QString::number(i), object(i));
        DeferredRelease::instance()->release(kept);
        QTRY_COMPARE(DeferredRelease::instance()->pending(), 0);
        QCOMPARE(kept.size(), 100);
        QCOMPARE(kept.value(QStringLiteral("42")).path(), QStringLiteral("d/f42.txt"));
        kept.clear();
        QCOMPARE(FsObject::instanceCount(), before);
    }
};

QTEST_GUILESS_MAIN(TestDeferredRelease)
#include "tst_deferredrelease.moc"
