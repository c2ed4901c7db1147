#include "sync/MultiSyncher.h"

#include "core/MessageHandler.h"
#include "core/R7Application.h"
#include "core/StringUtil.h"
#include "db/FileSafeDao.h"
#include "db/SyncHistoryDao.h"
#include "db/SyncSettingsDao.h"
#include "sync/DeferredRelease.h"
#include "sync/Syncher.h"

#include <utility>

namespace {
QByteArray logText(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}
} // namespace

MultiSyncher::MultiSyncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent)
    : QObject(parent)
    , m_fileSafeDao(fileSafeDao)
    , m_filesafeRI(filesafeRI)
{
    qDebug("MultiSyncher: init");
    // Runs the process did not live to close would stay "running" in the history for ever.
    SyncHistoryDao::instance()->closeInterruptedRuns();
    connect(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged, this, &MultiSyncher::on_settingsChanged);
}

MultiSyncher::~MultiSyncher() = default;

void MultiSyncher::requestSync(QList<SyncSetting> settings)
{
    if (isSyncing() || settings.isEmpty() || !m_fileSafeDao) {
        return;
    }
    QPointer<MultiSyncher> self(this);
    m_fileSafeDao->updateFileSafes([self, settings](const Result<Nothing> &result) {
        if (!self) {
            return;
        }
        // Without a fresh safe list the access letters, trash mode and last-event marker of the
        // run would be guesses.
        if (!result.isOk()) {
            qWarning("MultiSyncher::requestSync: refresh of the file safes failed, no synchronisation: %s",
                     logText(result.message()).constData());
            return;
        }
        self->on_getFilesafesForStartSync(settings);
    });
}

void MultiSyncher::on_getFilesafesForStartSync(QList<SyncSetting> settings)
{
    if (isSyncing()) {
        return;
    }
    m_queue = settings;
    startSync();
}

void MultiSyncher::startSync()
{
    if (isSyncing()) {
        return;
    }
    qDebug("## MultiSyncher::startSync");
    // The last run's report, freed between turns of the event loop.
    DeferredRelease::instance()->release(std::exchange(m_executedActions, QList<SyncAction>()));
    m_nDone = 0;
    m_nFailed = 0;
    m_syncher = new Syncher(m_fileSafeDao, m_filesafeRI, this);
    m_syncher->setSafeListFresh(true);
    connect(m_syncher, SIGNAL(syncAnalyzed(bool, QString, QList<SyncAction>)), this,
            SLOT(on_syncAnalyzed(bool, QString, QList<SyncAction>)));
    connect(m_syncher, SIGNAL(syncExecutedOne(bool, QString, SyncAction)), this,
            SLOT(on_syncExecutedOne(bool, QString, SyncAction)));
    connect(m_syncher, &Syncher::historyRecorded, this, &MultiSyncher::historyRecorded);
    connect(m_syncher, SIGNAL(syncExecutedAll(int, int, int, QList<SyncAction *>)), this,
            SLOT(on_syncExecutedAll(int, int, int, QList<SyncAction *>)));
    connect(m_syncher, SIGNAL(syncProgress(bool, ProgressInfo)), this, SLOT(on_syncProgress(bool, ProgressInfo)));
    connect(m_syncher, SIGNAL(quotaExceeded(SyncAction)), this, SLOT(on_quotaExceeded(SyncAction)));
    connect(m_syncher, &Syncher::stateWriteFailed, this, &MultiSyncher::stateWriteFailed);
    connect(m_syncher, SIGNAL(sessionTimeout(R7Session::SessionState, ErrorCode)), this,
            SLOT(on_sessionTimeout(R7Session::SessionState, ErrorCode)));
    emit syncStarted();
    if (!nextSyncSettingAnalyze() && isSyncing()) {
        endRun(0, 0, m_executedActions);
    }
}

bool MultiSyncher::nextSyncSettingAnalyze()
{
    if (m_queue.isEmpty()) {
        qDebug("MultiSyncher::nextSyncSettingAnalyze: No more sync settings to process.");
        return false;
    }
    int count = 0;
    SyncSetting setting;
    while (!m_queue.isEmpty()) {
        if (++count > 10000) {
            qCritical("MultiSyncher::nextSyncSettingAnalyze: Bail out from endless loop (settings#:%d)",
                      m_queue.size());
            return false;
        }
        const SyncSetting queued = m_queue.takeFirst();
        setting = SyncSettingsDao::instance()->get(queued.id());
        if (setting.isNull()) {
            qCritical("MultiSyncher::nextSyncSettingAnalyze: Failed to retrieve sync setting from settings db (id:%d)",
                      int(queued.id()));
            continue;
        }
        if (setting.isActive()) {
            break;
        }
    }
    if (setting.isNull()) {
        qDebug("MultiSyncher::nextSyncSettingAnalyze: No more valid sync settings to process.");
        return false;
    }
    if (!setting.isActive()) {
        qDebug("MultiSyncher::nextSyncSettingAnalyze: No more enabled sync settings to process.");
        return false;
    }
    qDebug("MultiSyncher::nextSyncSettingAnalyze: next: [%.4s]'%s' (syncsetting id: %d)",
           logText(setting.safeType()).constData(), logText(setting.safeName()).constData(), int(setting.id()));
    emit startSyncSafe(setting);
    m_currentSetting = setting;
    if (!isSyncing()) {
        return true; // stopped by a listener; the run is already closed
    }
    m_syncher->syncAnalyze(setting);
    return true;
}

void MultiSyncher::on_syncAnalyzed(bool ok, QString msg, QList<SyncAction> syncActionList)
{
    if (!isSyncing() || sender() != m_syncher) {
        qWarning("MultiSyncher::on_syncAnalyzed: sync not in progress");
        return;
    }
    const int nErr = SyncAction::countErrors(syncActionList);
    qDebug("MultiSyncher::on_syncAnalyzed: ok:%s nTotal:%d nErr:%d", ok ? "yes" : "no", syncActionList.size(), nErr);
    if (!ok) {
        qWarning("MultiSyncher::on_syncAnalyzed: error: '%s'", logText(msg).constData());
        for (const SyncAction &action : qAsConst(syncActionList)) {
            if (action.isError()) {
                emit syncExecutedOne(false, msg, action);
            }
        }
        if (!isSyncing() || nextSyncSettingAnalyze()) {
            return;
        }
        endRun(0, nErr, syncActionList);
        return;
    }

    // A side that held files and now looks empty is asked about whatever the threshold and the
    // user's switch say: declining keeps every file where it is.
    const bool vanished = m_syncher->remoteSideVanished() || m_syncher->localSideVanished();
    const int deletions = Syncher::countFileDeletions(syncActionList);
    bool proceed = true;
    if (vanished && deletions > 0) {
        qWarning("MultiSyncher::on_syncAnalyzed: one side of '%s' is empty, %d files would be deleted",
                 logText(m_currentSetting.safeName()).constData(), deletions);
        proceed = askLargeDelete(m_currentSetting.safeName(), deletions, true);
        if (!isSyncing()) {
            return;
        }
        if (!proceed) {
            SyncAction refused;
            refused.setSyncSetting(m_currentSetting);
            refused.setAction(SyncAction::NoAction);
            refused.setType(QStringLiteral("d"));
            refused.setExecuted(
                    SyncAction::ERR_GET_FILESFE_OBJECTS,
                    tr("Synchronisation stopped: one side is empty while %1 files were synchronised").arg(deletions));
            emit syncExecutedOne(false, refused.execErrorMsg(), refused);
            QList<SyncAction> reported = syncActionList;
            reported.append(refused);
            endRun(0, nErr + 1, reported);
            return;
        }
    } else {
        proceed = shouldProceedWithSync(m_currentSetting.safeName(), syncActionList);
        if (!isSyncing()) {
            return;
        }
    }
    if (proceed && m_syncher->syncExecute(syncActionList)) {
        return;
    }
    if (!isSyncing()) {
        return;
    }
    if (proceed) {
        qDebug("MultiSyncher::on_syncAnalyzed: failed to start sync execution.");
    }
    endRun(0, nErr, syncActionList);
}

bool MultiSyncher::shouldProceedWithSync(const QString &safeName, const QList<SyncAction> &actions)
{
    int deletions = 0;
    for (const SyncAction &action : actions) {
        if (action.action() == SyncAction::DeleteRemoteFile) {
            ++deletions;
        }
    }
    if (deletions < LargeDeleteThreshold) {
        return true;
    }
    qWarning("MultiSyncher::shouldProceedWithSync: Too many files to delete (%d) warning invoked", deletions);
    return askLargeDelete(safeName, deletions, false);
}

bool MultiSyncher::askLargeDelete(const QString &safeName, int numberOfFiles, bool always)
{
    if (m_question) {
        return m_question(safeName, numberOfFiles, always);
    }
    R7Application *app = R7Application::instance();
    return app && app->confirmLargeDelete(safeName, numberOfFiles, always);
}

void MultiSyncher::on_syncExecutedOne(bool ok, QString msg, SyncAction sa)
{
    if (!isSyncing() || sender() != m_syncher) {
        qWarning("MultiSyncher::on_syncExecutedOne: sync not in progress");
        return;
    }
    if (isDebugLogged())
        qDebug("MultiSyncher::on_syncExecutedOne: ok:%s msg: '%s' sync action:%s status:%s", ok ? "yes" : "no",
               logText(msg).constData(), qUtf8Printable(sa.actionTypeName(true)), qUtf8Printable(sa.statusName(true)));
    emit syncExecutedOne(ok, msg, sa);
}

void MultiSyncher::on_syncExecutedAll(int nTotal, int nDone, int nFailed, QList<SyncAction *> syncActionList)
{
    if (!isSyncing() || sender() != m_syncher) {
        qWarning("MultiSyncher::on_syncExecutedAll: sync not in progress");
        return;
    }
    m_nDone += nDone;
    m_nFailed += nFailed;
    if (nFailed > 0) {
        qWarning("MultiSyncher::on_syncExecutedAll: nTotal:%d nDone:%d nFailed:%d", nTotal, nDone, nFailed);
    } else {
        qDebug("MultiSyncher::on_syncExecutedAll: nTotal:%d nDone:%d nFailed:%d", nTotal, nDone, nFailed);
    }
    // The synchroniser's own list is shared rather than copied when it is the reported one.
    const QList<SyncAction> &own = m_syncher->executedActions();
    bool same = own.size() == syncActionList.size();
    for (int i = 0; same && i < own.size(); ++i) {
        same = &own.at(i) == syncActionList.at(i);
    }
    if (same) {
        m_executedActions += own;
    } else {
        for (const SyncAction *action : qAsConst(syncActionList)) {
            m_executedActions.append(*action);
        }
    }
    if (!nextSyncSettingAnalyze() && isSyncing()) {
        endRun(m_nDone, m_nFailed, m_executedActions);
    }
}

void MultiSyncher::on_syncProgress(bool ok, const ProgressInfo &pi)
{
    if (!isSyncing() || sender() != m_syncher) {
        qWarning("MultiSyncher::on_syncProgress: sync not in progress");
        return;
    }
    emit syncProgress(ok, pi);
}

void MultiSyncher::on_quotaExceeded(SyncAction sa)
{
    if (!isSyncing() || sender() != m_syncher) {
        qWarning("MultiSyncher::on_quotaExceeded: sync not in progress");
        return;
    }
    emit quotaExceeded(sa);
    requestToStop();
}

void MultiSyncher::on_sessionTimeout(R7Session::SessionState errCode, ErrorCode netErrCode)
{
    if (!isSyncing()) {
        qWarning("MultiSyncher::on_sessionTimeout: sync not in progress");
        return;
    }
    stopSyncher();
    emit sessionTimeout(errCode, netErrCode);
}

void MultiSyncher::requestToStop()
{
    qDebug("MultiSyncher::requestToStop");
    if (!isSyncing()) {
        return;
    }
    stopSyncher();
    emit syncCanceled();
}

// Forgets the synchroniser first, so that whatever it still reports is ignored; it closes its run
// as cancelled and deletes itself.
void MultiSyncher::stopSyncher()
{
    Syncher *syncher = m_syncher;
    m_syncher = nullptr;
    m_queue.clear();
    if (syncher) {
        syncher->requestToStop();
    }
}

void MultiSyncher::endRun(int nDone, int nFailed, const QList<SyncAction> &actions)
{
    Syncher *syncher = m_syncher;
    m_syncher = nullptr;
    m_queue.clear();
    if (syncher) {
        syncher->requestToStop();
    }
    emit syncFinished(nDone, nFailed, actions);
}

// The setting being synchronised was removed: nothing more may be written for it.
void MultiSyncher::on_settingsChanged()
{
    if (isSyncing() && !m_currentSetting.isNull() && SyncSettingsDao::instance()->get(m_currentSetting.id()).isNull()) {
        qWarning("MultiSyncher::on_settingsChanged: the setting being synchronised was removed; stopping");
        requestToStop();
    }
}
