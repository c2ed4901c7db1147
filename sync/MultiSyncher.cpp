#include "sync/MultiSyncher.h"

#include "core/R7Application.h"
#include "core/StringUtil.h"
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"

#include <QPointer>
#include <QTimer>

MultiSyncher::MultiSyncher(FileSafeDao *fileSafeDao, FilesafeRI *filesafeRI, QObject *parent)
    : QObject(parent)
    , m_fileSafeDao(fileSafeDao)
    , m_filesafeRI(filesafeRI)
{
    qDebug("MultiSyncher: init");
}

MultiSyncher::~MultiSyncher() = default;

void MultiSyncher::requestSync(QList<SyncSetting> settings)
{
    if (m_running || settings.isEmpty() || !m_fileSafeDao) {
        return;
    }
    // A failed refresh still starts the run: the settings carry what the run needs.
    QPointer<MultiSyncher> self(this);
    m_fileSafeDao->updateFileSafes([self, settings](const Result<Nothing> &) {
        if (self) {
            self->on_getFilesafesForStartSync(settings);
        }
    });
}

void MultiSyncher::on_getFilesafesForStartSync(QList<SyncSetting> settings)
{
    if (m_running) {
        return;
    }
    m_queue = settings;
    startSync();
}

void MultiSyncher::startSync()
{
    qDebug("## MultiSyncher::startSync");
    m_running = true;
    ++m_run;
    m_executedActions.clear();
    m_nDone = 0;
    m_nFailed = 0;
    emit syncStarted();
    // Settings are visited from the event loop, so a stop request in between is honoured.
    const int run = m_run;
    QTimer::singleShot(0, this, [this, run] {
        if (m_running && run == m_run) {
            nextSyncSetting();
        }
    });
}

void MultiSyncher::nextSyncSetting()
{
    while (!m_queue.isEmpty()) {
        const SyncSetting queued = m_queue.takeFirst();
        const SyncSetting setting = SyncSettingsDao::instance()->get(queued.id());
        if (setting.isNull()) {
            qCritical("MultiSyncher::nextSyncSettingAnalyze: Failed to retrieve sync setting from settings db (id:%d)",
                      int(queued.id()));
            continue;
        }
        if (!setting.isActive()) {
            continue;
        }
        qDebug("MultiSyncher::nextSyncSettingAnalyze: next: [%.4s]'%s' (syncsetting id: %d)",
               qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeType())),
               qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeName())), int(setting.id()));
        m_currentSetting = setting;
        emit startSyncSafe(setting);
        // Without a synchroniser there is nothing to plan or execute for it.
    }
    qDebug("MultiSyncher::nextSyncSettingAnalyze: No more sync settings to process.");
    finishRun();
}

void MultiSyncher::finishRun()
{
    m_running = false;
    emit syncFinished(m_nDone, m_nFailed, m_executedActions);
}

void MultiSyncher::requestToStop()
{
    qDebug("MultiSyncher::requestToStop");
    if (!m_running) {
        return;
    }
    m_running = false;
    m_queue.clear();
    emit syncCanceled();
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
    R7Application *app = R7Application::instance();
    return app && app->confirmLargeDelete(safeName, deletions);
}
