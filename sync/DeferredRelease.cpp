#include "sync/DeferredRelease.h"

#include "sync/ListPermutation.h"
#include "sync/SyncState.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace {

// Well below what a user notices; a turn checks the clock every few dozen entries.
constexpr int kSliceBudgetMs = 8;
int s_sliceBudgetMs = kSliceBudgetMs;
constexpr int kEntriesPerClockCheck = 64;

// The list's entries are freed from its end: from there on the highest place in memory comes first.
// The items are not copied; their nodes are swapped.
template<typename T>
void inAddressOrder(QList<T> &list)
{
    const int n = list.size();
    std::vector<std::pair<const T *, int>> places(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        places[size_t(i)] = {&list.at(i), i};
    std::sort(places.begin(), places.end(), std::greater<std::pair<const T *, int>>());
    std::vector<int> order(places.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = places[i].second;
    ListPermutation::apply(list, order);
}

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

// The same data handed over twice (two snapshots of one state) is held once.
template<typename H, typename Container>
void DeferredRelease::hold(QList<H> &held, const Container &data)
{
    if (data.isEmpty())
        return;
    for (const H &h : qAsConst(held)) {
        if (h.data.isSharedWith(data))
            return;
    }
    H entry;
    entry.data = data;
    held.append(entry);
}

void DeferredRelease::release(const SyncState &state)
{
    release(state.objects());
}

void DeferredRelease::release(const QHash<QString, FsObject> &objects)
{
    hold(m_objects, objects);
    schedule();
}

void DeferredRelease::release(const QList<SyncAction> &actions)
{
    hold(m_actions, actions);
    schedule();
}

void DeferredRelease::release(const QList<FilesafeObject> &listed)
{
    hold(m_listed, listed);
    schedule();
}

int DeferredRelease::pending() const
{
    int n = 0;
    for (const auto &held : m_objects)
        n += held.data.size();
    for (const auto &held : m_actions)
        n += held.data.size();
    for (const auto &held : m_listed)
        n += held.data.size();
    return n;
}

void DeferredRelease::flush()
{
    m_timer.stop();
    m_objects.clear();
    m_actions.clear();
    m_listed.clear();
    emit drained();
}

void DeferredRelease::schedule()
{
    if (!m_timer.isActive() && pending() > 0)
        m_timer.start(0);
}

// A container still shared when first looked at gets one more turn; after that it is left to its
// other holders.
template<typename H>
bool DeferredRelease::ownedNow(QList<H> &held, int *index)
{
    H &h = held[*index];
    if (h.data.isDetached())
        return true;
    if (h.lookedAt) {
        held.removeAt(*index);
    } else {
        h.lookedAt = true;
        ++*index;
    }
    return false;
}

// Entries go one by one, without a rehash of what is left. False when the budget ran out.
bool DeferredRelease::freeObjects(const QElapsedTimer &clock)
{
    for (int i = 0; i < m_objects.size();) {
        if (!ownedNow(m_objects, &i))
            continue;
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

template<typename T>
bool DeferredRelease::freeList(QList<Held<QList<T>>> &lists, const QElapsedTimer &clock)
{
    for (int i = 0; i < lists.size();) {
        if (!ownedNow(lists, &i))
            continue;
        QList<T> &list = lists[i].data;
        if (!lists[i].ordered) {
            lists[i].ordered = true;
            inAddressOrder(list);
        }
        while (!list.isEmpty()) {
            for (int n = 0; n < kEntriesPerClockCheck && !list.isEmpty(); ++n)
                list.removeLast();
            if (clock.elapsed() >= s_sliceBudgetMs)
                return false;
        }
        lists.removeAt(i);
    }
    return true;
}

void DeferredRelease::slice()
{
    QElapsedTimer clock;
    clock.start();
    if (freeObjects(clock) && freeList(m_actions, clock))
        freeList(m_listed, clock);
    if (pending() == 0) {
        emit drained();
        return;
    }
    m_timer.start(0);
}
