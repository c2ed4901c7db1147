#include "ui/StatusBarView.h"
#include "ui_StatusBarView.h"

#include "db/SyncHistoryDao.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "ui/FeaturesUtil.h"
#include "ui/SpaceIcons.h"
#include "ui/SyncPercent.h"

#include <QLocale>
#include <QTimer>

#include <utility>

StatusBarView::StatusBarView(QWidget* parent) : QFrame(parent), ui(new Ui::StatusBarView)
{
    ui->setupUi(this);
    ui->lblServer->hide();
    ui->lblUsername->hide();
    ui->statusLabel->clear();
    clearFileSafe();

    m_featuresUtil = new FeaturesUtil(5, 2000, Qt::AltModifier, this);
    connect(m_featuresUtil, &FeaturesUtil::triggered, this, &StatusBarView::on_hiddenFeatureTriggered,
            Qt::UniqueConnection);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, &StatusBarView::flushProgress);
}

StatusBarView::~StatusBarView()
{
    delete ui;
}

void StatusBarView::setStatusText(const QString& text)
{
    m_progressTimer->stop();
    clearFileSafe();
    ui->statusLabel->setText(text);
}

void StatusBarView::setFileSafe(const QString& name, const QString& spaceType)
{
    ui->lblFileSafeName->setText(name);
    ui->fileSafeIcon->setPixmap(spacePixmap(spaceType, false, 0));
}

void StatusBarView::clearFileSafe()
{
    ui->lblFileSafeName->clear();
    ui->fileSafeIcon->setPixmap(QPixmap());
}

void StatusBarView::mousePressEvent(QMouseEvent* event)
{
    m_featuresUtil->onMousePress(event);
}

QString StatusBarView::phaseText(int activity, int executed, int total, const QString& previous)
{
    switch (activity) {
    case ProgressInfo::Activity_Idle:
        return QString();
    case ProgressInfo::Activity_GetRemoteObjects_Started:
    case ProgressInfo::Activity_GetRemoteObjects_Finished:
        return tr("(2/5)");
    case ProgressInfo::Activity_CollectStatusInfo_Started:
    case ProgressInfo::Activity_CollectStatusInfo_Progress:
    case ProgressInfo::Activity_CollectStatusInfo_Finished:
        return tr("(3/5)");
    case ProgressInfo::Activity_BuildSyncActions_Started:
    case ProgressInfo::Activity_BuildSyncActions_Progress:
    case ProgressInfo::Activity_BuildSyncActions_Finished:
        return tr("(4/5)");
    case ProgressInfo::Activity_ProcessSyncActions_Started:
    case ProgressInfo::Activity_ProcessSyncActions_Progress: {
        const int percent = syncPercent(executed, total);
        return percent < 0 ? tr("(5/5)") : tr("(5/5; %1%)").arg(percent);
    }
    case ProgressInfo::Activity_ProcessSyncActions_Finished:
        return tr("Sync successful");
    case ProgressInfo::Activity_User_Canceled:
        return tr("Sync canceled");
    case ProgressInfo::Activity_Error_Canceled:
        return tr("Sync failed");
    default:
        return previous;
    }
}

QString StatusBarView::detailText(const ProgressInfo& pi)
{
    if (pi.activity != ProgressInfo::Activity_ProcessSyncActions_Progress)
        return QString();
    QString text = QStringLiteral("%1: %2").arg(pi.actionName, pi.name);
    switch (pi.actionType) {
    case SyncAction::DownloadFile:
    case SyncAction::BackupDownloadFile:
    case SyncAction::UploadFile:
    case SyncAction::UpdateRemoteFile: {
        const QLocale locale = QLocale::system();
        // Until the transfer reports its total, the size the action plans to move.
        const bool upload = pi.actionType == SyncAction::UploadFile || pi.actionType == SyncAction::UpdateRemoteFile;
        const qint64 planned = upload ? pi.action.localSize() : pi.action.remoteSize();
        const qint64 total = pi.bytesTotal > 0 ? pi.bytesTotal : planned;
        if (total > 10485760) {
            text += tr(" (%1 of %2 MB)").arg(locale.toString(pi.bytesDone / 1048576), locale.toString(total / 1048576));
        } else {
            text += tr(" (%1 of %2 KB)").arg(locale.toString(pi.bytesDone / 1024), locale.toString(total / 1024));
        }
        break;
    }
    default:
        break;
    }
    return text;
}

void StatusBarView::on_syncProgress(bool ok, const ProgressInfo& pi)
{
    Q_UNUSED(ok)
    // A run of the ended period may report after the sign-out.
    if (m_signedOut)
        return;
    m_lastActivity = pi.activity;
    m_phaseText = phaseText(pi.activity, pi.nDone, pi.nTotal, m_phaseText);
    m_detailText = detailText(pi);
    const QString syncing = tr("Syncing") + QStringLiteral("  ") + m_phaseText;

    switch (pi.activity) {
    case ProgressInfo::Activity_Idle:
        m_progressTimer->stop();
        clearFileSafe();
        break;
    case ProgressInfo::Activity_GetRemoteObjects_Started:
    case ProgressInfo::Activity_CollectStatusInfo_Finished:
        m_progressTimer->stop();
        setFileSafe(pi.safeName, pi.safeType);
        ui->statusLabel->setText(syncing);
        break;
    case ProgressInfo::Activity_GetRemoteObjects_Finished:
    case ProgressInfo::Activity_CollectStatusInfo_Started:
    case ProgressInfo::Activity_CollectStatusInfo_Progress:
    case ProgressInfo::Activity_BuildSyncActions_Started:
    case ProgressInfo::Activity_BuildSyncActions_Progress:
    case ProgressInfo::Activity_BuildSyncActions_Finished:
    case ProgressInfo::Activity_ProcessSyncActions_Started:
        m_progressTimer->stop();
        ui->statusLabel->setText(syncing);
        break;
    case ProgressInfo::Activity_ProcessSyncActions_Progress:
        // Every transferred block reports; show the newest text a few times a second only.
        m_pendingStatus = syncing + QStringLiteral(" - ") + m_detailText;
        if (!m_lastProgressPaint.isValid() || m_lastProgressPaint.elapsed() >= ProgressRepaintMs)
            flushProgress();
        else if (!m_progressTimer->isActive())
            m_progressTimer->start(ProgressRepaintMs - int(m_lastProgressPaint.elapsed()));
        break;
    case ProgressInfo::Activity_ProcessSyncActions_Finished:
        m_progressTimer->stop();
        clearFileSafe();
        showLastSync(tr("Last sync: "));
        break;
    case ProgressInfo::Activity_User_Canceled:
        m_progressTimer->stop();
        clearFileSafe();
        ui->statusLabel->setText(tr("Sync canceled"));
        break;
    case ProgressInfo::Activity_Error_Canceled:
        m_progressTimer->stop();
        clearFileSafe();
        ui->statusLabel->setText(tr("Sync failed"));
        break;
    default:
        break;
    }
}

void StatusBarView::flushProgress()
{
    m_progressTimer->stop();
    m_lastProgressPaint.start();
    ui->statusLabel->setText(m_pendingStatus);
}

void StatusBarView::showLastSync(const QString& prefix)
{
    const SyncHistory last = SyncHistoryDao::instance()->lastSync();
    if (last.isNull())
        ui->statusLabel->clear();
    else
        ui->statusLabel->setText(prefix + QLocale::system().toString(last.endTime(), QLocale::ShortFormat));
}

void StatusBarView::on_syncCanceled()
{
    if (m_signedOut)
        return;
    m_lastActivity = -1;
    m_progressTimer->stop();
    clearFileSafe();
    showLastSync(tr("Last synchronisation: "));
}

void StatusBarView::on_syncFinished()
{
    if (m_signedOut)
        return;
    // A failure stays readable; any other end (the actions done, nothing to run, a declined
    // question) shows the last finished run, read now that the run's own row is closed.
    const int last = std::exchange(m_lastActivity, -1);
    if (last == ProgressInfo::Activity_User_Canceled || last == ProgressInfo::Activity_Error_Canceled)
        return;
    m_progressTimer->stop();
    clearFileSafe();
    showLastSync(tr("Last sync: "));
}

void StatusBarView::on_appStateChanged(R7Application::AppState state)
{
    m_signedOut = state == R7Application::APP_STATE_LOGGED_OUT;
    if (state == R7Application::APP_STATE_LOGGED_OUT) {
        m_lastActivity = -1;
        m_progressTimer->stop();
        clearFileSafe();
        ui->statusLabel->clear();
        ui->lblUsername->clear();
        ui->lblServer->clear();
    } else if (state == R7Application::APP_STATE_LOGGED_IN) {
        R7Session* session = R7Session::instance();
        const ServerInfo* server = session->server();
        if (server && !server->url().isEmpty())
            ui->lblServer->setText(server->url());
        const QString user = session->userName();
        if (!user.isEmpty())
            ui->lblUsername->setText(user);
    }
}

void StatusBarView::on_appModeChanged(R7Application::AppMode mode)
{
    const bool show = mode == R7Application::APP_MODE_DEBUG || mode == R7Application::APP_MODE_DEV;
    ui->lblServer->setVisible(show);
    ui->lblUsername->setVisible(show);
}
