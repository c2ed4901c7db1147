#include "ui/filesafe/MainFileSafeView.h"
#include "ui_MainFileSafeView.h"

#include "db/Storage.h"
#include "db/SyncSettingsDao.h"
#include "sync/MultiSyncher.h"
#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QLabel>

namespace {

const char* const kTab = "TAB";
const QString kPad = QStringLiteral("      ");

} // namespace

MainFileSafeView::MainFileSafeView(AppInfo* appInfo, MultiSyncher* multiSyncher, Storage* storage, QWidget* parent)
    : QFrame(parent), ui(new Ui::MainFileSafeView), m_storage(storage)
{
    ui->setupUi(this);

    m_settingsView = new FileSyncSettingsView(appInfo, multiSyncher);
    R7Application* app = R7Application::instance();
    if (app) {
        connect(m_settingsView, &FileSyncSettingsView::syncOneRequested, app, &R7Application::syncOne);
        connect(m_settingsView, &FileSyncSettingsView::syncAllRequested, app, &R7Application::syncAll);
        connect(m_settingsView, &FileSyncSettingsView::cancelRequested, app, &R7Application::requestToStopSync);
        connect(app, &R7Application::syncDone, m_settingsView, &FileSyncSettingsView::on_syncFinished);
        connect(app, &R7Application::appStateChanged, m_settingsView, &FileSyncSettingsView::on_appStateChanged);
    }
    connect(SyncSettingsDao::instance(), &SyncSettingsDao::settingsChanged, m_settingsView,
            &FileSyncSettingsView::on_syncSettingsDataChanged);
    if (multiSyncher)
        connect(multiSyncher, &MultiSyncher::syncStarted, m_settingsView, &FileSyncSettingsView::on_syncStarted);

    m_historyView = new SyncHistoryView;
    if (multiSyncher) {
        connect(multiSyncher, &MultiSyncher::syncProgress, m_historyView, &SyncHistoryView::on_syncProgress);
        connect(multiSyncher, &MultiSyncher::syncCanceled, m_historyView, &SyncHistoryView::on_syncCanceled);
        connect(multiSyncher, &MultiSyncher::syncExecutedOne, m_historyView, &SyncHistoryView::on_syncExecutedOne);
        connect(multiSyncher, &MultiSyncher::historyRecorded, m_historyView, &SyncHistoryView::on_historyRecorded);
        connect(multiSyncher, &MultiSyncher::syncStarted, m_historyView, &SyncHistoryView::on_syncStarted);
    }
    if (app) {
        connect(m_historyView, &SyncHistoryView::syncAllRequested, app, &R7Application::syncAll);
        connect(m_historyView, &SyncHistoryView::cancelRequested, app, &R7Application::requestToStopSync);
        connect(app, &R7Application::syncDone, m_historyView, &SyncHistoryView::on_syncFinished);
        connect(app, &R7Application::appStateChanged, m_historyView, &SyncHistoryView::on_appStateChanged);
    }
    ui->tabWidget->addTab(m_historyView, kPad + tr("Activity") + kPad);
    ui->tabWidget->addTab(m_settingsView, kPad + tr("Synchronized Folders") + kPad);

    setFocusPolicy(Qt::NoFocus);
    if (app)
        connect(app, &R7Application::appStateChanged, this, &MainFileSafeView::applicationStateChanged);
    if (m_storage) {
        const QVariantMap state = m_storage->restoreState(this);
        if (state.contains(QLatin1String(kTab)))
            setCurrentTab(state.value(QLatin1String(kTab)).toInt());
    }
}

MainFileSafeView::~MainFileSafeView()
{
    delete ui;
}

void MainFileSafeView::setCurrentTab(int index)
{
    ui->tabWidget->setCurrentIndex(index);
}

int MainFileSafeView::currentTab() const
{
    return ui->tabWidget->currentIndex();
}

void MainFileSafeView::applicationStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT && m_storage)
        m_storage->storeState(this, {{QLatin1String(kTab), currentTab()}}, Storage::Persistent);
}
