#pragma once

#include "core/StringUtil.h"
#include "sync/SyncAction.h"

#include <QByteArray>
#include <QDir>
#include <QString>

// What the member files of Syncher share; not for use outside them.
namespace SyncherDetail {

// State rows written in one transaction during planning.
constexpr int kStateWritesPerBatch = 1000;

// Owned bytes: a log call may hold several at once, each alive until the call ends.
inline QByteArray escaped(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}

inline QString cleanRemote(const QString &path)
{
    return QDir::cleanPath(QLatin1Char('/') + path);
}

inline bool isWorkType(int type)
{
    return type != SyncAction::ActionUndefined && type != SyncAction::NoAction && type != SyncAction::UpdateSyncState &&
           type != SyncAction::RemoveSyncState;
}

inline bool isFolderType(int type)
{
    return type == SyncAction::CreateLocalDir || type == SyncAction::CreateRemoteDir ||
           type == SyncAction::DeleteLocalDir || type == SyncAction::DeleteRemoteDir;
}

// The test hook of Syncher::setStepHook, called at the named step.
void step(const char *name, const SyncAction &action);

// The two process-wide pattern lists are read by the first synchroniser constructed.
void loadPatternListsOnce();

} // namespace SyncherDetail
