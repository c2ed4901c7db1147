#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "core/R7ApplicationDetail.h"
#include "db/SyncSettingsDao.h"
#include "sync/MultiSyncher.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

using namespace R7ApplicationDetail;

// ---------------------------------------------------------------------------------------------
// Synchronisation

QList<SyncSetting> R7Application::currentUserSettings(bool autoSyncOnly) const
{
    if (!m_databaseUsable) {
        return {};
    }
    return SyncSettingsDao::instance()->getList(true, autoSyncOnly);
}

bool R7Application::canStartSync(const char *caller) const
{
    if (!m_multiSyncher) {
        qWarning("%s: no synchronisation before the first sign-in", caller);
        return false;
    }
    if (!m_databaseUsable) {
        qWarning("%s: the database is unusable; no synchronisation", caller);
        return false;
    }
    return true;
}

int R7Application::syncIntervalMinutes()
{
    bool ok = false;
    const int minutes =
            QSettings().value(QStringLiteral("app/sync_interval_minutes"), DefaultSyncIntervalMinutes).toInt(&ok);
    if (!ok) {
        qWarning("R7Application::syncIntervalMinutes: invalid interval; %d minutes", DefaultSyncIntervalMinutes);
        return DefaultSyncIntervalMinutes;
    }
    return qBound(MinSyncIntervalMinutes, minutes, MaxSyncIntervalMinutes);
}

void R7Application::on_getInitialFilesafes(const Result<Nothing> &result)
{
    qDebug("R7Application::on_getInitialFilesafes");
    if (!result.isOk()) {
        if (m_appState != APP_STATE_LOGGED_IN) {
            abandonSignIn(result);
            return;
        }
        // Every timed run refreshes the safe list itself, so the period can still synchronise.
        qWarning("R7Application::on_getInitialFilesafes: initial filesafe list failed (%d): %s; "
                 "starting the sync timer anyway",
                 int(result.code()), qUtf8Printable(escaped(result.message())));
    } else {
        if (!m_firstSyncTimer) {
            m_firstSyncTimer = new QTimer(this);
            m_firstSyncTimer->setSingleShot(true);
            connect(m_firstSyncTimer, &QTimer::timeout, this, &R7Application::autoSync);
        }
        m_firstSyncTimer->start(m_delays.firstSyncMs);
        if (currentUserSettings(false).isEmpty()) {
            if (m_appState != APP_STATE_LOGGED_IN) {
                setAppState(APP_STATE_LOGGED_IN);
            }
            updateTrayState(TRAY_IDLE);
            if (m_mainWindow) {
                m_mainWindow->setCurrentPage(MainWindow::PAGE_WIZARD);
            }
            selectMainTab(MainTabSettings);
        }
    }
    const int minutes = syncIntervalMinutes();
    if (!m_syncTimer) {
        m_syncTimer = new QTimer(this);
        connect(m_syncTimer, &QTimer::timeout, this, &R7Application::autoSync);
    }
    qDebug("R7Application::on_getInitialFilesafes: initial start sync timer %dm", minutes);
    m_syncTimer->start(minutes * 60000);
}

void R7Application::autoSync()
{
    if (!R7Session::instance()->isLoggedIn() || !canStartSync("R7Application::autoSync")) {
        return;
    }
    m_multiSyncher->requestSync(currentUserSettings(true));
}

void R7Application::syncAll()
{
    qDebug("R7Application::syncAll");
    if (!canStartSync("R7Application::syncAll")) {
        return;
    }
    m_multiSyncher->requestSync(currentUserSettings(false));
}

void R7Application::syncOne(int syncSettingId)
{
    qDebug("R7Application::syncOne: sync setting id: %d", syncSettingId);
    if (!canStartSync("R7Application::syncOne")) {
        return;
    }
    const SyncSetting setting = SyncSettingsDao::instance()->get(syncSettingId);
    // A null setting has an empty local folder, which would resolve to the home folder.
    if (setting.isNull()) {
        qWarning("R7Application::syncOne: unknown sync setting id %d ignored", syncSettingId);
        return;
    }
    m_multiSyncher->requestSync({setting});
}

void R7Application::requestToStopSync()
{
    qDebug("R7Application::requestToStopSync");
    updateTrayState(TRAY_SYNC_CANCELED);
    if (m_multiSyncher) {
        m_multiSyncher->requestToStop();
    }
}

int R7Application::syncTimerInterval() const
{
    return m_syncTimer && m_syncTimer->isActive() ? m_syncTimer->interval() : 0;
}

void R7Application::updateSyncTimer()
{
    const int minutes = syncIntervalMinutes();
    if (m_syncTimer && m_syncTimer->interval() != minutes * 60000) {
        qDebug("R7Application::updateSyncTimer: restart sync timer %dm", minutes);
        m_syncTimer->start(minutes * 60000);
    }
}

bool R7Application::isFromEndedPeriod(const QObject *multiSyncher) const
{
    // Called directly, not as a coordinator's slot: the application's own step.
    if (!multiSyncher) {
        return false;
    }
    return multiSyncher != m_multiSyncher || m_multiSyncherPeriod != m_loginPeriod;
}

void R7Application::on_syncStarted()
{
    if (isFromEndedPeriod(sender())) {
        qDebug("R7Application::on_syncStarted: run of an ended signed-in period");
        return;
    }
    updateTrayState(TRAY_SYNCING);
}

void R7Application::on_syncFinished(int nDone, int nFailed, QList<SyncAction> executedSyncActions)
{
    const int nTotal = executedSyncActions.size();
    const int nExecOk = SyncAction::countSuccessful(executedSyncActions);
    const int nWarn = SyncAction::countWarnings(executedSyncActions);
    const int nErr = SyncAction::countErrors(executedSyncActions);
    qDebug("R7Application::on_syncFinished: nDone:%d nFailed:%d", nDone, nFailed);
    qDebug("R7Application::on_syncFinished: nTotal:%d nExecOk:%d nWarn:%d nErr:%d", nTotal, nExecOk, nWarn, nErr);
    if (isFromEndedPeriod(sender())) {
        qDebug("R7Application::on_syncFinished: run of an ended signed-in period");
        return;
    }
    showSyncResultMessage(nDone, nFailed);
    updateTrayState(TRAY_SYNC_DONE);
    emit syncDone(tr("Up to date (%1 errors)").arg(nErr));
}

void R7Application::on_syncCanceled()
{
    if (isFromEndedPeriod(sender())) {
        qDebug("R7Application::on_syncCanceled: run of an ended signed-in period");
        return;
    }
    // Not every cancellation is the user's (a full quota ends a run too): leave the syncing look.
    if (m_trayStatus == TRAY_SYNCING) {
        updateTrayState(TRAY_SYNC_CANCELED);
    }
    emit syncDone(QStringLiteral("Sync Canceled"));
}

bool R7Application::confirmLargeDelete(const QString &safeName, int numberOfFiles, bool evenWhenSwitchedOff)
{
    QSettings settings;
    if (!evenWhenSwitchedOff && !settings.value(QStringLiteral("ui/show_delete_files_warning"), true).toBool()) {
        return true;
    }
    raiseApplication();
    const QString helpLink = QStringLiteral("\"%1/en/faq/questions-about-sync-client/rename-synced-sub-folder\"")
                                     .arg(QString::fromLatin1(m_appInfo->baseUrl));
    const QString text =
            tr("<p><b>If you proceed with this synchronisation, you will delete %1 of the files in your online "
               "safe '%2'. This may happen because you unintentionally <ul><li>deleted these files from your "
               "computer</li><li>renamed a synced folder containing a large amount of files</li><li>moved a "
               "synced folder containing a large amount of files</li></ul></b></p><p>If you rename or move a "
               "synced folder, the sync client will proceed to delete all files in it and then upload these to "
               "the new location. You will find more information about how to move or rename synced folders on "
               "our <a href=%3>website</a>.</p><p>Are you sure that you want to proceed with the "
               "synchronisation and delete %1 of your '%2' files?</p>")
                    .arg(QString::number(numberOfFiles), safeName.toHtmlEscaped(), helpLink);
    QMessageBox box(QMessageBox::Warning, tr("About to delete a large amount of files"), text,
                    QMessageBox::Yes | QMessageBox::No, m_mainWindow);
    box.setObjectName(QStringLiteral("largeDeleteQuestion"));
    box.setTextFormat(Qt::RichText);
    auto *dontShow = new QCheckBox(tr("Do not show this dialog in the future"), &box);
    box.setCheckBox(dontShow);
    if (box.exec() != QMessageBox::Yes) {
        return false;
    }
    settings.setValue(QStringLiteral("ui/show_delete_files_warning"), !dontShow->isChecked());
    return true;
}
