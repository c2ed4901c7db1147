#include "ui/StatusAction.h"

#include "sync/ProgressInfo.h"
#include "ui/SpaceIcons.h"
#include "ui/SyncPercent.h"

#include <QTimer>

StatusAction::StatusAction(QObject* parent) : QAction(parent), m_timer(new QTimer(this))
{
    setText(tr("Syncing"));
    setEnabled(false);
    setVisible(false);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &StatusAction::flush);
}

void StatusAction::on_appStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT)
        hide();
}

void StatusAction::hide()
{
    m_timer->stop();
    m_pendingText.clear();
    setVisible(false);
}

void StatusAction::flush()
{
    m_timer->stop();
    if (m_pendingText.isNull())
        return;
    m_lastPaint.start();
    setText(m_pendingText);
    setVisible(true);
    m_pendingText.clear();
}

void StatusAction::on_syncProgress(bool ok, const ProgressInfo& pi)
{
    Q_UNUSED(ok)
    QString progress;
    if (pi.activity == ProgressInfo::Activity_ProcessSyncActions_Progress) {
        const int percent = syncPercent(pi.nDone, pi.nTotal);
        if (percent >= 0)
            progress = tr("%1%").arg(percent);
    } else {
        progress = QStringLiteral("syncing ...");
    }

    switch (pi.activity) {
    case ProgressInfo::Activity_Idle:
    case ProgressInfo::Activity_ProcessSyncActions_Finished:
    case ProgressInfo::Activity_User_Canceled:
    case ProgressInfo::Activity_Error_Canceled:
        hide();
        return;
    case ProgressInfo::Activity_GetRemoteObjects_Started:
        setIcon(QIcon(spacePixmap(pi.safeType, false, 0)));
        Q_FALLTHROUGH();
    case ProgressInfo::Activity_GetRemoteObjects_Finished:
    case ProgressInfo::Activity_CollectStatusInfo_Started:
    case ProgressInfo::Activity_CollectStatusInfo_Progress:
    case ProgressInfo::Activity_CollectStatusInfo_Finished:
    case ProgressInfo::Activity_BuildSyncActions_Started:
    case ProgressInfo::Activity_BuildSyncActions_Progress:
    case ProgressInfo::Activity_BuildSyncActions_Finished:
    case ProgressInfo::Activity_ProcessSyncActions_Started:
    case ProgressInfo::Activity_ProcessSyncActions_Progress:
        if (pi.safeType.isEmpty())
            return;
        m_pendingText = QStringLiteral("%1 %2").arg(pi.safeName, progress);
        if (pi.activity != ProgressInfo::Activity_ProcessSyncActions_Progress || !m_lastPaint.isValid()
            || m_lastPaint.elapsed() >= ProgressRepaintMs)
            flush();
        else if (!m_timer->isActive())
            m_timer->start(ProgressRepaintMs - int(m_lastPaint.elapsed()));
        return;
    default:
        return;
    }
}
