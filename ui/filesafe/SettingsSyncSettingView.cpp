#include "ui/filesafe/SettingsSyncSettingView.h"
#include "ui_SettingsSyncSettingView.h"

#include "sync/MultiSyncher.h"
#include "ui/SpaceIcons.h"
#include "ui/SyncPercent.h"

#include <QLocale>
#include <QTimer>

namespace {

const QString kWarning = QStringLiteral("warning");

} // namespace

SettingsSyncSettingView::SettingsSyncSettingView(MultiSyncher* multiSyncher, bool localReadable, int remoteState,
                                                 const QString& expiryDate, const QString& access, QWidget* parent)
    : QFrame(parent),
      ui(new Ui::SettingsSyncSettingView),
      m_multiSyncher(multiSyncher),
      m_localReadable(localReadable),
      m_remoteState(remoteState),
      m_expiryDate(expiryDate),
      m_access(access),
      m_paintTimer(new QTimer(this))
{
    ui->setupUi(this);
    m_paintTimer->setSingleShot(true);
    connect(m_paintTimer, &QTimer::timeout, this, &SettingsSyncSettingView::flushProgress);
}

SettingsSyncSettingView::~SettingsSyncSettingView()
{
    delete ui;
}

bool SettingsSyncSettingView::expired() const
{
    return SyncSetting::isExpired(m_expiryDate);
}

bool SettingsSyncSettingView::needsAttention() const
{
    return !m_localReadable || m_remoteState != 0 || !m_access.contains(QLatin1Char('d')) || expired();
}

void SettingsSyncSettingView::setSettingId(int id)
{
    m_settingId = id;
}

void SettingsSyncSettingView::showIcon()
{
    ui->fileSpaceIcon->setPixmap(spacePixmap(needsAttention() ? kWarning : m_spaceType, m_autoSync, 1));
}

void SettingsSyncSettingView::setSpaceType(const QString& spaceType, bool autoSync)
{
    m_spaceType = spaceType;
    m_autoSync = autoSync;
    showIcon();
    m_syncingFrames = spaceSyncingPixmaps(needsAttention() ? kWarning : spaceType);
}

void SettingsSyncSettingView::setSafeName(const QString& safeName, const QString& remoteDir)
{
    ui->fileSpaceName->setText(remoteDir == QLatin1String("/") ? safeName : safeName + remoteDir);
    if (needsAttention())
        ui->fileSpaceName->setStyleSheet(QStringLiteral("QLabel { color: #900000 }"));
}

void SettingsSyncSettingView::setLastSync(const QDateTime& lastSync)
{
    QString text;
    if (!m_localReadable)
        text = tr("Local folder does not exist anymore");
    else if (!m_access.contains(QLatin1Char('r')))
        text = tr("Insufficient permissions");
    else if (expired())
        text = tr("${APP_NAME} space is expired.");
    else if (m_remoteState != 0)
        text = tr("${APP_NAME} space does not exist anymore.");
    else if (lastSync.isNull() || lastSync.toMSecsSinceEpoch() <= 0) // stored as 0 until the first run
        text = QStringLiteral("-");
    else
        text = QLocale::system().toString(lastSync, QLocale::ShortFormat);
    ui->lastSyncDate->setText(text);
}

void SettingsSyncSettingView::on_startSyncSafe(SyncSetting setting)
{
    if (setting.id() != m_settingId) {
        resetView();
        return;
    }
    if (m_runConnections.isEmpty() && m_multiSyncher) {
        m_runConnections << connect(m_multiSyncher, &MultiSyncher::syncProgress, this,
                                    &SettingsSyncSettingView::on_syncProgress)
                         << connect(m_multiSyncher, &MultiSyncher::syncCanceled, this,
                                    &SettingsSyncSettingView::resetView)
                         << connect(m_multiSyncher, &MultiSyncher::syncFinished, this,
                                    &SettingsSyncSettingView::resetView);
    }
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    QFont font = ui->lastSyncDate->font();
    font.setWeight(QFont::Bold);
    ui->lastSyncDate->setFont(font);
    // A second start of the same setting must not arm a second animation timer.
    if (!wasSyncing)
        animateSpaceIcon();
}

void SettingsSyncSettingView::animateSpaceIcon()
{
    if (!m_syncing || m_syncingFrames.isEmpty())
        return;
    ui->fileSpaceIcon->setPixmap(m_syncingFrames.at(m_frameCounter % m_syncingFrames.size()));
    ++m_frameCounter;
    QTimer::singleShot(300, this, &SettingsSyncSettingView::animateSpaceIcon);
}

void SettingsSyncSettingView::on_syncProgress(bool ok, const ProgressInfo& pi)
{
    Q_UNUSED(ok)
    switch (pi.activity) {
    case ProgressInfo::Activity_GetRemoteObjects_Started:
    case ProgressInfo::Activity_GetRemoteObjects_Finished:
        m_pendingText = tr("Get remote status ...");
        break;
    case ProgressInfo::Activity_CollectStatusInfo_Started:
    case ProgressInfo::Activity_CollectStatusInfo_Progress:
    case ProgressInfo::Activity_CollectStatusInfo_Finished:
        m_pendingText = tr("Collect status info ...");
        break;
    case ProgressInfo::Activity_BuildSyncActions_Started:
    case ProgressInfo::Activity_BuildSyncActions_Progress:
    case ProgressInfo::Activity_BuildSyncActions_Finished:
        m_pendingText = tr("Build sync actions ...");
        break;
    case ProgressInfo::Activity_ProcessSyncActions_Started:
    case ProgressInfo::Activity_ProcessSyncActions_Progress: {
        const int percent = syncPercent(pi.nDone, pi.nTotal);
        m_pendingText = percent < 0 ? tr("Process sync actions ...") : tr("Process sync actions ... (%1%)").arg(percent);
        break;
    }
    default:
        return;
    }
    // A run of many small files reports thousands of times a second; repaint a few times only.
    if (pi.activity != ProgressInfo::Activity_ProcessSyncActions_Progress || !m_lastPaint.isValid()
        || m_lastPaint.elapsed() >= ProgressRepaintMs)
        flushProgress();
    else if (!m_paintTimer->isActive())
        m_paintTimer->start(ProgressRepaintMs - int(m_lastPaint.elapsed()));
}

void SettingsSyncSettingView::flushProgress()
{
    m_paintTimer->stop();
    m_lastPaint.start();
    ui->lastSyncDate->setText(m_pendingText);
}

void SettingsSyncSettingView::resetView()
{
    for (const QMetaObject::Connection& c : qAsConst(m_runConnections))
        disconnect(c);
    m_runConnections.clear();
    m_paintTimer->stop();
    showIcon();
    if (m_syncing)
        setLastSync(QDateTime::currentDateTime());
    QFont font = ui->lastSyncDate->font();
    font.setWeight(QFont::Normal);
    ui->lastSyncDate->setFont(font);
    m_syncing = false;
    m_frameCounter = 0;
}
