#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "core/R7ApplicationDetail.h"
#include "net/NetProxy.h"
#include "sync/MultiSyncher.h"
#include "ui/AboutDialog.h"
#include "ui/CrashReportDialog.h"
#include "ui/LogDialog.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/ProxyAuthDialog.h"
#include "ui/QuotaExceededDialog.h"
#include "ui/SessionTerminatedDialog.h"
#include "ui/UpgradeClientDialog.h"
#include "ui/filesafe/AddSettingView.h"

#include <QElapsedTimer>
#include <QMessageBox>

using namespace R7ApplicationDetail;

namespace {

// A notice replaced by a newer one may still be running a nested message box: hide it now and
// delete it once its own event loop has returned.
void retireWindow(QWidget *window)
{
    if (window) {
        window->hide();
        window->deleteLater();
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Database notices

void R7Application::markDatabaseUnusable()
{
    m_databaseUsable = false;
    if (m_multiSyncher && m_multiSyncher->isSyncing()) {
        m_multiSyncher->requestToStop();
    }
}

void R7Application::showDatabaseNotice(const QString &text)
{
    m_databaseNoticeOpen = true;
    QMessageBox box(QMessageBox::Information, tr("Error"), text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("databaseNotice"));
    box.exec();
    m_databaseNoticeOpen = false;
}

void R7Application::on_unableToOpenDatabase(QString msg)
{
    markDatabaseUnusable();
    showDatabaseNotice(tr("Unable to open database (%1)").arg(msg));
}

void R7Application::on_incompatibleDatabase(QString currentVersion, QString expectedVersion)
{
    markDatabaseUnusable();
    showDatabaseNotice(
            tr("Incompatible database version\n\n(current:'%1', expected:'%2')").arg(currentVersion, expectedVersion));
}

void R7Application::on_sqlQueryFailure(QString msg)
{
    // One box at a time: a failing statement in a loop would otherwise stack them. A running
    // synchronisation tells the user once, with the cause, when it ends.
    if (m_databaseNoticeOpen || (m_multiSyncher && m_multiSyncher->isSyncing())) {
        qWarning("R7Application::on_sqlQueryFailure: %s", qUtf8Printable(escaped(msg)));
        return;
    }
    showDatabaseNotice(tr("SQL query failure. (%1)").arg(msg));
}

void R7Application::on_syncStateWriteFailed(QString cause)
{
    if (m_databaseNoticeOpen) {
        qWarning("R7Application::on_syncStateWriteFailed: %s", qUtf8Printable(escaped(cause)));
        return;
    }
    showDatabaseNotice(tr("SQL query failure. (%1)").arg(cause));
}

// ---------------------------------------------------------------------------------------------
// Notice texts

QString R7Application::upgradeNoticeText(const QString &latestVersion, bool mandatory)
{
    return mandatory ? tr("<b>A new version of the ${APP_NAME} desktop client is available!</b><br/><br/>${APP_NAME} "
                          "%1 is now available - your ${APP_NAME} version ${APP_VERSION} is not supported "
                          "anymore.<br/><br/>Please download the new version.")
                               .arg(latestVersion.toHtmlEscaped())
                     : tr("<b>A new version of the ${APP_NAME} desktop client is available!</b><br/><br/>${APP_NAME} "
                          "%1 is now available - you have ${APP_VERSION}.<br/><br/>Would you like to download it "
                          "now?")
                               .arg(latestVersion.toHtmlEscaped());
}

QString R7Application::sessionTerminatedTitle()
{
    return tr("Not Online");
}

QString R7Application::sessionTerminatedText()
{
    return tr("Your session has been terminated due to inactivity or because your internet "
              "connection is down.\nPlease log in again.");
}

QString R7Application::quotaExceededText(const QString &safeName)
{
    return tr("Synchronization failed: There is not enough free space in your ${APP_NAME} '%1'. "
              "Please delete some documents or upgrade your ${APP_NAME}.")
            .arg(safeName);
}

QString R7Application::proxyAuthenticationText(const QNetworkProxy &proxy)
{
    return tr("The web proxy server '%1' (port: %2 type: %3) requires authentication.")
            .arg(proxy.hostName())
            .arg(proxy.port())
            .arg(NetProxy::proxyTypeName(proxy.type()));
}

QString R7Application::quitActionText()
{
    return tr("Quit ${APP_NAME}");
}

// ---------------------------------------------------------------------------------------------
// Windows the application opens

void R7Application::selectMainTab(int tab)
{
    if (m_appState == APP_STATE_LOGGED_IN && m_mainWindow && m_mainWindow->mainView()) {
        m_mainWindow->mainView()->selectTab(tab);
    }
}

void R7Application::showActivityList()
{
    if (m_mainWindow && m_mainWindow->mainView()) {
        m_mainWindow->mainView()->setFileSafeSubTab(0);
    }
}

void R7Application::raiseLogDialog()
{
    LogDialog *log = LogDialog::instance();
    if (log && log->isVisible()) {
        log->activateWindow();
        log->raise();
        log->show();
    }
}

void R7Application::showLog()
{
    LogDialog *log = LogDialog::instance();
    if (!log || !log->isHidden()) {
        return;
    }
    log->show();
    QElapsedTimer timer;
    timer.start();
    const int lines = log->loadFile(m_appInfo->logPath);
    qDebug("R7Application::showLog: loaded %d lines in %d ms", lines, int(timer.elapsed()));
}

void R7Application::on_aboutAction()
{
    AboutDialog *about = AboutDialog::instance();
    qDebug("R7Application::showAbout: aboutView hidden: %s", yesNo(about->isHidden()));
    if (about->isHidden()) {
        about->show();
    }
}

void R7Application::showCrashReport(const QString &dumpDirectory)
{
    auto *dialog = new CrashReportDialog(m_mainWindow, Qt::Sheet);
    dialog->setCrashDumpPath(dumpDirectory);
    dialog->show();
}

void R7Application::showUpgradeNotice(const QString &text)
{
    retireWindow(m_upgradeDialog.data());
    auto *dialog = new UpgradeClientDialog(m_mainWindow, Qt::Sheet);
    dialog->setText(text);
    dialog->adjustSize();
    dialog->show();
    m_upgradeDialog = dialog;
}

void R7Application::showSessionTerminated()
{
    const QString title = sessionTerminatedTitle();
    const QString text = sessionTerminatedText();
    retireWindow(m_sessionTerminatedDialog.data());
    auto *dialog = new SessionTerminatedDialog(m_mainWindow, Qt::Sheet);
    dialog->setWindowTitle(title);
    dialog->setText(text);
    dialog->adjustSize();
    dialog->show();
    m_sessionTerminatedDialog = dialog;
}

void R7Application::on_quotaExceeded(SyncAction sa)
{
    qDebug("R7Application::on_quotaExceeded");
    retireWindow(m_quotaDialog.data());
    const QString text = quotaExceededText(sa.remoteSafeName());
    auto *dialog = new QuotaExceededDialog(m_mainWindow, Qt::Sheet);
    dialog->setText(text);
    dialog->adjustSize();
    dialog->show();
    m_quotaDialog = dialog;
}

void R7Application::on_newFileSafesFound(QList<FilesafeTO_v2> safes)
{
    // Without settings the first-run wizard offers the safes.
    if (currentUserSettings(false).isEmpty()) {
        return;
    }
    qDebug("R7Application::on_newFileSafesFound");
    retireWindow(m_newFileSafesDialog.data());
    auto *dialog = new NewFileSafeAvailableDialog(m_appInfo, m_mainWindow);
    dialog->setWindowFlag(Qt::Sheet);
    dialog->adjustSize();
    dialog->show();
    dialog->setFileSafes(safes);
    m_newFileSafesDialog = dialog;
}

bool R7Application::askProxyCredentials(const QString &text, QString *user, QString *password)
{
    ProxyAuthDialog dialog;
    dialog.setText(text);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    *user = dialog.username();
    *password = dialog.password();
    return true;
}

void R7Application::showAddSettingView()
{
    retireWindow(m_addSettingView.data());
    auto *view = new AddSettingView(m_fileSafeDao, m_appInfo, m_filesafeRI, m_mainWindow);
    view->setWindowFlag(Qt::Sheet);
    m_addSettingView = view;
    view->show();
}
