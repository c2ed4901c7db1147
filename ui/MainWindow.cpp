#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QShortcut>

#include "core/AppInfo.h"
#include "net/R7Session.h"
#include "sync/MultiSyncher.h"
#include "ui/DebugDialog.h"
#include "ui/LoginView.h"
#include "ui/MainView.h"
#include "ui/StatusBarView.h"
#include "ui/WizardView.h"

MainWindow::MainWindow(FileSafeDao* fileSafeDao, AppInfo* appInfo, UserCredUtil* userCredUtil,
                       PasswordController* passwordController, MultiSyncher* multiSyncher,
                       SettingsStorage* settingsStorage, R7Session* session, LoginRI* loginRI,
                       ServerList* serverList, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_appInfo(appInfo), m_userCredUtil(userCredUtil),
      m_fileSafeDao(fileSafeDao), m_passwordController(passwordController), m_multiSyncher(multiSyncher),
      m_settingsStorage(settingsStorage), m_session(session), m_loginRI(loginRI), m_serverList(serverList)
{
    qDebug("MainWindow::MainWindow: device pixel ratio: %d", devicePixelRatio());
    ui->setupUi(this);
    if (m_appInfo)
        setWindowTitle(QString::fromUtf8(m_appInfo->displayName));

    restoreGeometry(QSettings().value(QStringLiteral("ui/main_window_geometry")).toByteArray());
    if (windowState() & Qt::WindowFullScreen) {
        qDebug("MainWindow::MainWindow: loaded setting: Qt::WindowFullScreen");
        setWindowState(Qt::WindowNoState);
    }
    setWindowFlags(windowFlags() & ~Qt::WindowFullscreenButtonHint);

    m_statusBarView = new StatusBarView(this);
    if (R7Application* app = R7Application::instance()) {
        connect(app, &R7Application::appStateChanged, m_statusBarView, &StatusBarView::on_appStateChanged,
                Qt::UniqueConnection);
        connect(app, &R7Application::appModeChanged, m_statusBarView, &StatusBarView::on_appModeChanged,
                Qt::UniqueConnection);
    }
    ui->statusbar->addWidget(m_statusBarView, 1);

    m_debugDialog = new DebugDialog(m_appInfo, m_serverList, m_session, this);
    connect(m_statusBarView, &StatusBarView::on_hiddenFeatureTriggered, m_debugDialog.data(), &DebugDialog::makeVisible);

    m_loginView = new LoginView(m_appInfo, m_userCredUtil, m_serverList, m_loginRI, ui->loginPage);
    delete ui->horizontalLayout->replaceWidget(ui->dummyLoginPageLabel, m_loginView, Qt::FindChildrenRecursively);
    delete ui->dummyLoginPageLabel;
    ui->dummyLoginPageLabel = nullptr;
    delete ui->dummyWizardPageLabel;
    ui->dummyWizardPageLabel = nullptr;

    ui->mainStack->setCurrentIndex(PAGE_LOGIN);
    if (ui->mainStack->currentIndex() == PAGE_LOGIN)
        removeWizardView();

    m_quitShortcut = new QShortcut(QKeySequence(tr("Ctrl+Q", "Quit")), this);
    m_quitShortcut->setContext(Qt::WindowShortcut);
    connect(m_quitShortcut, &QShortcut::activated, this, &MainWindow::on_quitShortcut);

    if (R7Application* app = R7Application::instance())
        connect(app, &R7Application::appStateChanged, this, &MainWindow::on_appStateChanged, Qt::UniqueConnection);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::setCurrentPage(int page)
{
    if (ui->mainStack->currentIndex() == page)
        return;
    if (page == PAGE_LOGIN || page == PAGE_MAIN) {
        ui->mainStack->setCurrentIndex(page);
    } else if (page == PAGE_WIZARD) {
        if (m_wizardView.isNull())
            createWizardView();
        ui->mainStack->setCurrentIndex(page);
        m_wizardView->reloadFileSafes();
    } else {
        qWarning("MainWindow::setCurrentPage: page not found: %d", page);
        return;
    }
    if (ui->mainStack->currentIndex() == page && page != PAGE_WIZARD)
        removeWizardView();
}

int MainWindow::currentPage() const
{
    return ui->mainStack->currentIndex();
}

MainView* MainWindow::mainView() const
{
    return m_mainView;
}

DebugDialog* MainWindow::debugDialog() const
{
    return m_debugDialog;
}

WizardView* MainWindow::wizardView() const
{
    return m_wizardView;
}

void MainWindow::setStatusText(const QString& text)
{
    m_statusBarView->setStatusText(text);
}

void MainWindow::showLoginProgress(const QString& text, bool isError)
{
    if (m_loginView)
        m_loginView->showProgress(text, isError);
}

void MainWindow::setMultiSyncher(MultiSyncher* multiSyncher)
{
    // The replaced coordinator lives until its deferred deletion: what it reports meanwhile
    // belongs to an ended signed-in period.
    if (m_multiSyncher)
        disconnect(m_multiSyncher, nullptr, m_statusBarView, nullptr);
    m_multiSyncher = multiSyncher;
    if (!m_multiSyncher)
        return;
    connect(m_multiSyncher, &MultiSyncher::syncProgress, m_statusBarView, &StatusBarView::on_syncProgress);
    connect(m_multiSyncher, &MultiSyncher::syncCanceled, m_statusBarView, &StatusBarView::on_syncCanceled);
    connect(m_multiSyncher, &MultiSyncher::syncFinished, m_statusBarView, &StatusBarView::on_syncFinished);
}

void MainWindow::on_appStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT) {
        if (m_mainView) {
            m_mainView->deleteLater();
            m_mainView = nullptr;
        }
        if (ui->mainStack->currentIndex() != PAGE_LOGIN) {
            ui->mainStack->setCurrentIndex(PAGE_LOGIN);
            if (ui->mainStack->currentIndex() == PAGE_LOGIN)
                removeWizardView();
        }
    } else if (state == R7Application::APP_STATE_LOGGED_IN) {
        // The state may be announced again while signed in: one main view per sign-in.
        if (!m_mainView) {
            m_mainView = new MainView(m_appInfo, m_passwordController, m_multiSyncher, m_settingsStorage,
                                      ui->mainPage);
            ui->mainPageLayout->removeWidget(ui->dummyMainPageLabel);
            ui->dummyMainPageLabel->hide();
            ui->mainPageLayout->addWidget(m_mainView);
        }
        if (ui->mainStack->currentIndex() != PAGE_MAIN) {
            ui->mainStack->setCurrentIndex(PAGE_MAIN);
            if (ui->mainStack->currentIndex() == PAGE_MAIN)
                removeWizardView();
        }
    }
}

void MainWindow::on_setupWizardFinished()
{
    removeWizardView();
}

void MainWindow::on_quitShortcut()
{
    QCoreApplication::quit();
}

void MainWindow::createWizardView()
{
    m_wizardView = new WizardView(m_fileSafeDao, m_appInfo, ui->wizardPage);
    ui->wizardPageLayout->addWidget(m_wizardView);
    connect(m_wizardView.data(), &WizardView::wizardFinished, this, &MainWindow::on_setupWizardFinished,
            Qt::UniqueConnection);
}

void MainWindow::removeWizardView()
{
    if (m_wizardView.isNull())
        return;
    // The wizard may be inside its own Finish click and still running code after the signal:
    // take it out now, delete it once control is back in the event loop.
    WizardView* wizard = m_wizardView.data();
    m_wizardView.clear();
    ui->wizardPageLayout->removeWidget(wizard);
    wizard->hide();
    wizard->deleteLater();
}

void MainWindow::storeGeometry()
{
    QSettings().setValue(QStringLiteral("ui/main_window_geometry"), saveGeometry());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    storeGeometry();
    // Closing hides the window to the tray, which brings it back. An accepted close also takes the
    // native window with it, so with no tray host it is iconified instead, still in reach.
    if (!QGuiApplication::quitOnLastWindowClosed() && !QSystemTrayIcon::isSystemTrayAvailable()) {
        event->ignore();
        showMinimized();
        return;
    }
    event->accept();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    storeGeometry();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    storeGeometry();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    Q_UNUSED(event)
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    Q_UNUSED(event)
}
