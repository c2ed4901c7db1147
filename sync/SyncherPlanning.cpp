#include "sync/Syncher.h"

#include "sync/SyncPlanner.h"
#include "sync/SyncherDetail.h"

#include <QPointer>

// ---- snapshots and planning helpers

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
