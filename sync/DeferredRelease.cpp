#include "sync/DeferredRelease.h"

#include "sync/SyncState.h"

#include <QCoreApplication>

namespace {

// Well below what a user notices; a turn checks the clock every few dozen entries.
constexpr int kSliceBudgetMs = 8;
int s_sliceBudgetMs = kSliceBudgetMs;
constexpr int kEntriesPerClockCheck = 64;
// A container other holders keep this long is theirs to free.
constexpr int kWaitLimitMs = 2000;
// While only waiting for other holders to let go.
constexpr int kWaitPollMs = 20;

} // namespace

DeferredRelease::DeferredRelease()
    : QObject(nullptr)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DeferredRelease::slice);
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &DeferredRelease::flush);
}

DeferredRelease *DeferredRelease::instance()
{
    static DeferredRelease *s_instance = new DeferredRelease();
    return s_instance;
}

void DeferredRelease::setSliceBudget(int ms)
{
    s_sliceBudgetMs = ms > 0 ? ms : kSliceBudgetMs;
}

void DeferredRelease::release(const SyncState &state)
{
    release(state.objects());
}

void DeferredRelease::release(const QHash<QString, FsObject> &objects)
{
    if (objects.isEmpty())
        return;
    m_objects.append({objects, QElapsedTimer()});
    m_objects.last().since.start();
    schedule();
}

void DeferredRelease::release(const QList<SyncAction> &actions)
{
    if (actions.isEmpty())
        return;
    m_actions.append({actions, QElapsedTimer()});
    m_actions.last().since.start();
    schedule();
}

int DeferredRelease::pending() const
{
    int n = 0;
    for (const auto &held : m_objects)
        n += held.data.size();
    for (const auto &held : m_actions)
        n += held.data.size();
    return n;
}

void DeferredRelease::flush()
{
    m_timer.stop();
    m_objects.clear();
    m_actions.clear();
    emit drained();
}

void DeferredRelease::schedule()
{
    if (!m_timer.isActive())
        m_timer.start(0);
}

// A container still shared is only looked at; one held by others for long is left to them.
template<typename Container>
bool DeferredRelease::ownedNow(QList<Held<Container>> &held, int *index)
{
    Held<Container> &h = held[*index];
    if (h.data.isDetached())
        return true;
    if (h.since.elapsed() > kWaitLimitMs)
        held.removeAt(*index);
    else
        ++*index;
    return false;
}

// Entries go one by one, without a rehash of what is left. False when the budget ran out.
bool DeferredRelease::freeObjects(const QElapsedTimer &clock, bool *freed)
{
    for (int i = 0; i < m_objects.size();) {
        if (!ownedNow(m_objects, &i))
            continue;
        *freed = true;
        QHash<QString, FsObject> &objects = m_objects[i].data;
        for (auto it = objects.begin(); it != objects.end();) {
            for (int n = 0; n < kEntriesPerClockCheck && it != objects.end(); ++n)
                it = objects.erase(it);
            if (clock.elapsed() >= s_sliceBudgetMs)
                return false;
        }
        m_objects.removeAt(i);
    }
    return true;
}

bool DeferredRelease::freeActions(const QElapsedTimer &clock, bool *freed)
{
    for (int i = 0; i < m_actions.size();) {
        if (!ownedNow(m_actions, &i))
            continue;
        *freed = true;
        QList<SyncAction> &actions = m_actions[i].data;
        while (!actions.isEmpty()) {
            for (int n = 0; n < kEntriesPerClockCheck && !actions.isEmpty(); ++n)
                actions.removeLast();
            if (clock.elapsed() >= s_sliceBudgetMs)
                return false;
        }
        m_actions.removeAt(i);
    }
    return true;
}

void DeferredRelease::slice()
{
    QElapsedTimer clock;
    clock.start();
    bool freed = false;
    if (freeObjects(clock, &freed))
        freeActions(clock, &freed);
    if (m_objects.isEmpty() && m_actions.isEmpty()) {
        emit drained();
        return;
    }
    m_timer.start(freed ? 0 : kWaitPollMs);
}
