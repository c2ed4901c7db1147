#include "sync/Syncher.h"

#include "sync/SyncPlanner.h"
#include "sync/SyncherDetail.h"

#include <QPointer>

// ---- snapshots and planning helpers

namespace {
const FsObject &noObject()
{
    static const FsObject none;
    return none;
}

const FsObject *lookUp(const QHash<QString, FsObject> &objects, const QString &key)
{
    const auto it = objects.constFind(key);
    return it == objects.constEnd() ? &noObject() : &it.value();
}
} // namespace

// The last state's keys, then those of the local scan and of the listing that the states before
// lack. A state shared with another is not looked into twice, and a pass over the scan or the
// listing is left out once each of their keys was met on the way.
std::vector<Syncher::PathObjects> Syncher::collectPaths(const SyncState &last, const SyncState &local,
                                                        const SyncState &remote)
{
    const QHash<QString, FsObject> &s = last.objects();
    const QHash<QString, FsObject> &l = local.objects();
    const QHash<QString, FsObject> &r = remote.objects();
    const bool localIsLast = l.isSharedWith(s);
    const bool remoteIsLast = r.isSharedWith(s);
    const bool remoteIsLocal = r.isSharedWith(l);
    const FsObject *none = &noObject();
    std::vector<PathObjects> all;
    all.reserve(size_t(qMax(s.size(), qMax(l.size(), r.size()))));
    int localMet = 0;
    int remoteMet = 0;
    for (auto it = s.constBegin(); it != s.constEnd(); ++it) {
        const FsObject *lo = localIsLast ? &it.value() : lookUp(l, it.key());
        const FsObject *ro = remoteIsLast ? &it.value() : remoteIsLocal ? lo : lookUp(r, it.key());
        localMet += lo != none;
        remoteMet += ro != none;
        all.push_back({&it.key(), &it.value(), lo, ro});
    }
    if (localMet < l.size()) {
        for (auto it = l.constBegin(); it != l.constEnd(); ++it) {
            if (s.contains(it.key()))
                continue;
            const FsObject *ro = remoteIsLocal ? &it.value() : lookUp(r, it.key());
            remoteMet += ro != none;
            all.push_back({&it.key(), none, &it.value(), ro});
        }
    }
    if (remoteMet < r.size()) {
        for (auto it = r.constBegin(); it != r.constEnd(); ++it) {
            if (!s.contains(it.key()) && !l.contains(it.key()))
                all.push_back({&it.key(), none, none, &it.value()});
        }
    }
    return all;
}

SyncAction Syncher::makeSyncAction(int type, int status, bool executed, const QString &message,
                                   const FsObject *object) const
{
    SyncAction action;
    action.setAction(type);
    // Until its history row exists the action is known there by its temporary id.
    action.setSyncHistoryObjectId(action.tempId());
    if (!m_setting.isNull())
        action.setSyncSetting(m_setting);
    if (object && !object->isNull())
        action.setFsObject(*object);
    if (executed)
        action.setExecuted(status, message);
    else
        action.setStatus(status);
    return action;
}

QList<SyncAction> Syncher::buildSyncActions(const SyncState &local, const SyncState &last, const SyncState &remote)
{
    // Copies on this frame: the pump may delete this synchroniser while the planner still reads.
    SyncState l = local;
    SyncState s = last;
    SyncState r = remote;
    QPointer<Syncher> guard(this);
    bool refused = false;

    m_scannedMs = l.taken().isValid() ? l.taken().toMSecsSinceEpoch() : 0;
    SyncPlanner planner(m_setting);
    planner.setProgress(m_progress);
    planner.setRequest([this, guard, &refused](bool ok, int activity, const QString &message, SyncAction *action) {
        if (refused || guard.isNull())
            return false;
        refused = !Request(ok, activity, message, action);
        return !refused;
    });
    planner.setStopCheck([this, guard, &refused]() { return refused || guard.isNull() || m_stop; });
    planner.setStateWriter([this, guard](const QList<SyncAction *> &batch) {
        if (guard.isNull())
            return;
        beginStateWrites();
        for (SyncAction *action : batch)
            updateSyncState(action);
        endStateWrites();
    });
    planner.setCountActions([this, guard](const QList<SyncAction> &plan) {
        if (!guard.isNull())
            countActions(plan);
    });

    QList<SyncAction> plan = planner.build(l, s, r);
    if (guard.isNull() || refused)
        return QList<SyncAction>();
    if (l.hasDiskNames()) {
        for (SyncAction &action : plan)
            action.setLocalDiskPath(l.diskPath(action.relPath()));
    }
    m_localSideVanished = planner.localSideVanished();
    m_local = l;
    m_last = s;
    m_remote = r;
    return plan;
}

int Syncher::countFileDeletions(const QList<SyncAction> &actions)
{
    int n = 0;
    for (const SyncAction &action : actions) {
        if (action.action() == SyncAction::DeleteRemoteFile || action.action() == SyncAction::DeleteLocalFile)
            ++n;
    }
    return n;
}
