#include "ui/MainView.h"
#include "ui_MainView.h"

#include "core/AppInfo.h"
#include "db/SettingsStorage.h"
#include "passwords/PasswordsView.h"
#include "ui/MainSettingsView.h"
#include "ui/filesafe/MainFileSafeView.h"

#include <QSettings>

namespace {

const char* const kTabToShow = "TAB_TO_SHOW";

// Puts the view where the placeholder stood and deletes the placeholder.
void replacePlaceholder(QLayout* layout, QWidget* placeholder, QWidget* view)
{
    delete layout->replaceWidget(placeholder, view, Qt::FindChildrenRecursively);
    delete placeholder;
}

} // namespace

MainView::MainView(AppInfo* appInfo, PasswordController* passwordController, MultiSyncher* multiSyncher,
                   SettingsStorage* settingsStorage, QWidget* parent)
    : QFrame(parent), ui(new Ui::MainView), m_storage(settingsStorage), m_passwordController(passwordController),
      m_multiSyncher(multiSyncher), m_appInfo(appInfo)
{
    qDebug("MainView::MainView");
    ui->setupUi(this);
    if (m_appInfo && m_appInfo->brandKey == QLatin1String("varnel"))
        ui->mainTabFillerTop->hide();

    if (R7Application* app = R7Application::instance())
        connect(app, &R7Application::appStateChanged, this, &MainView::applicationStateChanged);

    const bool showPasswordSafe = QSettings().value(QStringLiteral("app/show_pwd_safe"), true).toBool();
    int tabToShow = showPasswordSafe ? MAIN_TAB_PASSWORDS : MAIN_TAB_FILESAFE;
    if (m_storage) {
        const QVariantMap state = m_storage->restoreState(this);
        if (state.contains(QLatin1String(kTabToShow)))
            tabToShow = state.value(QLatin1String(kTabToShow)).toInt();
    }
    createTabViews(showPasswordSafe);
    initTabs(tabToShow);
}

MainView::~MainView()
{
    delete ui;
}

void MainView::createTabViews(bool showPasswordSafe)
{
    if (showPasswordSafe) {
        m_passwordsView = new PasswordsView(m_passwordController, m_storage, this);
        replacePlaceholder(ui->syncPasswordsPageLayout, ui->dummySyncPasswordsPageLabel, m_passwordsView);
        ui->dummySyncPasswordsPageLabel = nullptr;
    }

    m_fileSafeView = new MainFileSafeView(m_appInfo, m_multiSyncher, m_storage, this);
    replacePlaceholder(ui->fileSafePageLayout, ui->dummyFileSafePageLabel, m_fileSafeView);
    ui->dummyFileSafePageLabel = nullptr;

    m_settingsView = new MainSettingsView(m_appInfo, m_passwordController, this);
    replacePlaceholder(ui->settingsPageLayout, ui->dummySettingsPageLabel, m_settingsView);
    ui->dummySettingsPageLabel = nullptr;
}

void MainView::initTabs(int tabToShow)
{
    const bool showPasswordSafe = QSettings().value(QStringLiteral("app/show_pwd_safe"), true).toBool();
    for (MainTab* tab : {ui->passwordTab, ui->fileSafeTab, ui->settingsTab}) {
        tab->setVisible(true);
        connect(tab, &MainTab::tabClicked, this, &MainView::on_switchToTab);
    }
    ui->passwordTab->setVisible(showPasswordSafe);
    ui->fileSafeTab->setAttentionToolTip(tr("There is an error in your configuration, please review."));
    if (R7Application* app = R7Application::instance()) {
        connect(app, &R7Application::syncSettingsAttention, ui->fileSafeTab, &MainTab::on_attentionChanged,
                Qt::UniqueConnection);
        // The count may have been reported before this header existed; start from the current one.
        ui->fileSafeTab->on_attentionChanged(app->syncSettingsAttentionCount());
    }
    selectTab(tabToShow);
}

void MainView::selectTab(int tabId)
{
    if (tabId < MAIN_TAB_PASSWORDS || tabId > MAIN_TAB_SETTINGS) {
        qWarning("MainView::selectTab: Invalid tab selected: %d", tabId);
        return;
    }
    for (MainTab* tab : {ui->passwordTab, ui->fileSafeTab, ui->settingsTab})
        tab->setSelected(tab->tabId() == tabId);
    QWidget* pages[] = {ui->syncPasswordsPage, ui->fileSafePage, ui->settingsPage};
    ui->tabStack->setCurrentWidget(pages[tabId]);
    m_currentTab = tabId;
}

void MainView::on_switchToTab(int newTabId)
{
    selectTab(newTabId);
}

void MainView::setFileSafeSubTab(int index)
{
    if (m_fileSafeView)
        m_fileSafeView->setCurrentTab(index);
}

void MainView::applicationStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT && m_storage)
        m_storage->storeState(this, {{QLatin1String(kTabToShow), m_currentTab}}, Storage::Persistent);
}

void MainView::closeEvent(QCloseEvent* event)
{
    qDebug("MainView::closeEvent: close");
    QFrame::closeEvent(event);
}

void MainView::showEvent(QShowEvent* event)
{
    qDebug("MainView::showEvent: show");
    QFrame::showEvent(event);
}

void MainView::hideEvent(QHideEvent* event)
{
    qDebug("MainView::hideEvent: hide");
    QFrame::hideEvent(event);
}
