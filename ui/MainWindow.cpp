#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QSettings>
#include <QShortcut>

#include "core/AppInfo.h"

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

    delete ui->dummyWizardPageLabel;
    ui->dummyWizardPageLabel = nullptr;

    ui->mainStack->setCurrentIndex(PAGE_LOGIN);
    if (ui->mainStack->currentIndex() == PAGE_LOGIN)
        removeWizardView();

    m_quitShortcut = new QShortcut(QKeySequence(tr("Ctrl+Q", "Quit")), this);
    m_quitShortcut->setContext(Qt::WindowShortcut);
    connect(m_quitShortcut, &QShortcut::activated, this, &MainWindow::on_quitShortcut);
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

void MainWindow::setStatusText(const QString& text)
{
    Q_UNUSED(text)
}

void MainWindow::showLoginProgress(const QString& text, bool isError)
{
    Q_UNUSED(text)
    Q_UNUSED(isError)
}

void MainWindow::setMultiSyncher(MultiSyncher* multiSyncher)
{
    m_multiSyncher = multiSyncher;
}

void MainWindow::on_appStateChanged(int state)
{
    Q_UNUSED(state)
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
}

void MainWindow::removeWizardView()
{
}

void MainWindow::storeGeometry()
{
    QSettings().setValue(QStringLiteral("ui/main_window_geometry"), saveGeometry());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    storeGeometry();
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
