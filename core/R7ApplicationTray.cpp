#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "core/R7ApplicationDetail.h"
#include "sync/MultiSyncher.h"
#include "ui/MainWindow.h"
#include "ui/StatusAction.h"

#include <QAction>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QUrl>

using namespace R7ApplicationDetail;

namespace {

const int AnimationFrameMs = 175;

void turn(QAction *action, bool on)
{
    action->setEnabled(on);
    action->setVisible(on);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Tray, actions and menus

QAction *R7Application::newAction(const QString &text, void (R7Application::*slot)())
{
    auto *action = new QAction(text, this);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void R7Application::initActions()
{
    m_showAction = newAction(tr("Show ${APP_NAME}"), &R7Application::on_showAction);
    m_statusAction = createStatusAction();
    m_aboutAction = newAction(tr("About ${APP_NAME}"), &R7Application::on_aboutAction);
    m_aboutAction->setToolTip(tr("${APP_NAME} ${APP_VERSION} ${APP_DEVSTAGE}"));
    m_loginAction = newAction(tr("Login"), &R7Application::on_loginAction);
    m_logoutAction = newAction(tr("Logout"), &R7Application::on_logoutAction);
    m_syncAllAction = newAction(tr("Sync All"), &R7Application::syncAll);
    m_cancelSyncAction = newAction(tr("Cancel Sync"), &R7Application::requestToStopSync);
    m_settingsAction = newAction(tr("Settings"), &R7Application::on_settingsAction);
    m_activityAction = newAction(tr("File Sync Activities"), &R7Application::on_activityAction);
    m_showLogAction = newAction(tr("Show Log"), &R7Application::on_showLogAction);
    m_showLogAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_L));
    m_helpAction = newAction(tr("Help"), &R7Application::on_helpAction);
    m_quitAction = newAction(quitActionText(), &R7Application::on_quitAction);
    // Where the standard Quit key is Ctrl+Q (Linux), the main window's own shortcut already owns it;
    // a second owner makes Qt drop the key as ambiguous.
    if (QKeySequence::keyBindings(QKeySequence::Quit).value(0) != QKeySequence(Qt::CTRL + Qt::Key_Q)) {
        m_quitAction->setShortcut(QKeySequence::Quit);
    }
    m_modeNormalAction = newAction(tr("Switch to Mode: Normal"), &R7Application::on_switchAppModeToNormal);
    m_modeDebugAction = newAction(tr("Switch to Mode: Debug"), &R7Application::on_switchAppModeToDebug);
    m_passwordsAction = newAction(tr("Password Safe"), &R7Application::on_showPasswordsAction);

    const QList<QPair<QAction *, const char *>> names = {
            {m_showAction, "showAction"},           {m_aboutAction, "aboutAction"},
            {m_loginAction, "loginAction"},         {m_logoutAction, "logoutAction"},
            {m_syncAllAction, "syncAllAction"},     {m_cancelSyncAction, "cancelSyncAction"},
            {m_settingsAction, "settingsAction"},   {m_activityAction, "activityAction"},
            {m_showLogAction, "showLogAction"},     {m_helpAction, "helpAction"},
            {m_quitAction, "quitAction"},           {m_modeNormalAction, "modeNormalAction"},
            {m_modeDebugAction, "modeDebugAction"}, {m_passwordsAction, "passwordsAction"},
    };
    for (const auto &name : names) {
        name.first->setObjectName(QString::fromLatin1(name.second));
    }
}

void R7Application::initSystray()
{
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    qDebug("R7Application::initSystray: System Tray available: %s", yesNo(available));
    if (!available) {
        return;
    }
    const QStringList frames =
            QDir(QStringLiteral(":/res/tray")).entryList({QStringLiteral("syncing_*.png")}, QDir::Files, QDir::Name);
    for (const QString &frame : frames) {
        m_trayFrames << QIcon(QStringLiteral(":/res/tray/%1").arg(frame));
    }
    m_idleIcon = QIcon(QStringLiteral(":/res/tray/idle.png"));
    m_loggedOutIcon = QIcon(QStringLiteral(":/res/tray/logged_out.png"));

    m_trayIcon = new QSystemTrayIcon();
    m_trayMenu = new QMenu();
    m_trayMenu->setTitle(QString::fromLatin1(m_appInfo->displayName));
    if (m_statusAction) {
        m_trayMenu->addAction(m_statusAction);
    }
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_passwordsAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_cancelSyncAction);
    m_trayMenu->addAction(m_syncAllAction);
    m_trayMenu->addAction(m_activityAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_loginAction);
    m_trayMenu->addAction(m_logoutAction);
    m_trayMenu->addAction(m_settingsAction);
    m_trayMenu->addAction(m_helpAction);
    m_trayMenu->addAction(m_showLogAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon->setContextMenu(m_trayMenu);
    updateTrayState(TRAY_LOGGED_OUT);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &R7Application::on_systrayActivated, Qt::UniqueConnection);
    m_trayIcon->show();
}

void R7Application::initAppMenu()
{
    qDebug("R7Application::initAppMenu");
    if (!m_mainWindow) {
        return;
    }
    QMenuBar *bar = m_mainWindow->menuBar();
#if defined(Q_OS_WIN)
    m_fileMenu = bar->addMenu(tr("&File", "the 'File' menu name for Windows (DE: Datei)"));
#elif defined(Q_OS_MACOS)
    m_fileMenu = bar->addMenu(tr("&File", "the 'File' menu name for OSX (DE: Ablage)"));
#else
    m_fileMenu = bar->addMenu(tr("&File", "the 'File' menu name for other OSes"));
#endif
    m_fileMenu->addAction(m_loginAction);
    m_fileMenu->addAction(m_logoutAction);
    m_fileMenu->addAction(m_settingsAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_showLogAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_quitAction);
    bar->addSeparator();
    m_helpMenu = bar->addMenu(tr("&Help"));
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addAction(m_aboutAction);
}

void R7Application::updateTrayState(TrayStatus status)
{
    if (status == m_trayStatus) {
        return;
    }
    m_trayStatus = status;
    const bool trayShown = useSystemTray && m_trayIcon;
    switch (status) {
    case TRAY_LOGGED_OUT:
        if (trayShown) {
            m_trayIcon->setIcon(m_loggedOutIcon);
            m_trayIcon->setToolTip(QString());
        }
        turn(m_loginAction, true);
        turn(m_logoutAction, false);
        turn(m_syncAllAction, false);
        turn(m_cancelSyncAction, false);
        turn(m_settingsAction, false);
        turn(m_activityAction, false);
        turn(m_passwordsAction, false);
        break;
    case TRAY_IDLE:
    case TRAY_SYNC_DONE:
    case TRAY_SYNC_CANCELED:
        if (trayShown) {
            m_trayIcon->setIcon(m_idleIcon);
            m_trayIcon->setToolTip(QString());
        }
        turn(m_loginAction, false);
        turn(m_logoutAction, true);
        turn(m_syncAllAction, true);
        turn(m_cancelSyncAction, false);
        turn(m_settingsAction, true);
        turn(m_activityAction, true);
        turn(m_passwordsAction, true);
        break;
    case TRAY_SYNCING:
        if (trayShown) {
            m_trayIcon->setToolTip(tr("Syncing ..."));
        }
        turn(m_loginAction, false);
        turn(m_logoutAction, true);
        turn(m_syncAllAction, false);
        turn(m_cancelSyncAction, true);
        turn(m_settingsAction, true);
        animateTrayIconSyncing();
        break;
    }
    turn(m_showLogAction, m_appMode == APP_MODE_DEBUG);
    if (!QSettings().value(QStringLiteral("app/show_pwd_safe"), true).toBool()) {
        turn(m_passwordsAction, false);
    }
}

void R7Application::animateTrayIconSyncing()
{
    if (m_trayStatus != TRAY_SYNCING || !m_trayIcon) {
        return;
    }
    // Without frames the idle icon stays.
    if (m_trayFrames.isEmpty()) {
        m_trayIcon->setIcon(m_idleIcon);
        return;
    }
    m_trayIcon->setIcon(m_trayFrames.at(int(m_frameCounter % unsigned(m_trayFrames.size()))));
    ++m_frameCounter;
    // One timer, restarted: a status that leaves and re-enters syncing adds no second chain.
    if (!m_animationTimer) {
        m_animationTimer = new QTimer(this);
        m_animationTimer->setSingleShot(true);
        connect(m_animationTimer, &QTimer::timeout, this, &R7Application::animateTrayIconSyncing);
    }
    m_animationTimer->start(AnimationFrameMs);
}

void R7Application::showSyncResultMessage(int nDone, int nFailed)
{
    if (!useSystemTray || !m_trayIcon || !QSystemTrayIcon::supportsMessages() || nDone <= 0) {
        return;
    }
    const QString title = nFailed != 0 ? tr("Synchronisation with errors") : tr("Synchronisation successful");
    m_trayIcon->showMessage(title, tr("%n change(s) in your ${APP_NAME}", nullptr, nDone), QSystemTrayIcon::Information,
                            10000);
}

void R7Application::on_systrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger || !m_trayMenu || m_trayMenu->isVisible()) {
        return;
    }
    raiseApplication();
    m_trayMenu->popup(QCursor::pos());
}

void R7Application::on_showAction()
{
    qDebug("R7Application::on_showAction");
    raiseApplication();
}

void R7Application::on_loginAction()
{
    if (m_appState == APP_STATE_LOGGED_IN) {
        QMessageBox::information(m_mainWindow, tr("Info"), tr("Already logged in"));
        return;
    }
    raiseApplication();
}

void R7Application::on_logoutAction()
{
    doLogout();
}

void R7Application::on_settingsAction()
{
    raiseApplication();
    if (m_appState == APP_STATE_LOGGED_IN) {
        selectMainTab(MainTabSettings);
    }
}

void R7Application::on_showPasswordsAction()
{
    raiseApplication();
    if (m_appState == APP_STATE_LOGGED_IN) {
        selectMainTab(MainTabPasswords);
    }
}

void R7Application::on_activityAction()
{
    raiseApplication();
    if (m_appState == APP_STATE_LOGGED_IN) {
        selectMainTab(MainTabFileSafe);
        showActivityList();
    }
}

void R7Application::on_helpAction()
{
    QDesktopServices::openUrl(QUrl(tr("${URL_HELP}")));
}

void R7Application::on_showLogAction()
{
    showLog();
}

QAction *R7Application::createStatusAction()
{
    auto *action = new StatusAction(this);
    connect(this, &R7Application::appStateChanged, action, &StatusAction::on_appStateChanged);
    return action;
}

void R7Application::connectStatusAction(MultiSyncher *multiSyncher)
{
    if (auto *status = qobject_cast<StatusAction *>(m_statusAction)) {
        connect(multiSyncher, &MultiSyncher::syncProgress, status,
                [this, multiSyncher, status](bool ok, const ProgressInfo &pi) {
                    if (!isFromEndedPeriod(multiSyncher)) {
                        status->on_syncProgress(ok, pi);
                    }
                });
        // The sign-out hides the entry itself; a replaced coordinator's end must not hide the new run's.
        connect(multiSyncher, &MultiSyncher::syncCanceled, status, [this, multiSyncher, status] {
            if (!isFromEndedPeriod(multiSyncher)) {
                status->hide();
            }
        });
    }
}
