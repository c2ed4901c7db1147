// Renders every window view with fixture data to PNG files, for each brand in English and German,
// so that a person can look at all of them at once:
//   tessarvale_gallery <output dir>                      every brand and language, one process each
//   tessarvale_gallery <output dir> <brand> <language>   one combination
// Exits with 1 when a view logs a warning.
#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "core/Style.h"
#include "db/SettingsStorage.h"
#include "net/R7Session.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "passwords/PasswordController.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "ui/AboutDialog.h"
#include "ui/CrashReportDialog.h"
#include "ui/DebugDialog.h"
#include "ui/LogDialog.h"
#include "ui/LoginView.h"
#include "ui/MainSettingsView.h"
#include "ui/MainTab.h"
#include "ui/MainView.h"
#include "ui/ProxyAuthDialog.h"
#include "ui/QuotaExceededDialog.h"
#include "ui/SessionTerminatedDialog.h"
#include "ui/StatusAction.h"
#include "ui/StatusBarView.h"
#include "ui/UpgradeClientDialog.h"
#include "ui/WizardView.h"
#include "ui/filesafe/MainFileSafeView.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

int g_warnings = 0;
QtMessageHandler g_previous = nullptr;

// Lines the platform writes that say nothing about our views.
bool isPlatformNoise(const QString& msg)
{
    return msg.startsWith(QLatin1String("QStandardPaths:")) || msg.contains(QLatin1String("propagateSizeHints"));
}

void countWarnings(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (type != QtDebugMsg && type != QtInfoMsg && !isPlatformNoise(msg)) {
        ++g_warnings;
        std::fprintf(stderr, "gallery: %s\n", qPrintable(msg));
    }
    if (type == QtFatalMsg && g_previous)
        g_previous(type, context, msg);
}

class Gallery
{
public:
    Gallery(const QString& dir, const QString& prefix) : m_dir(dir), m_prefix(prefix) {}

    void shoot(QWidget* widget, const QString& name, QSize size = QSize())
    {
        if (size.isValid())
            widget->resize(size);
        else
            widget->adjustSize();
        widget->show();
        // Layout requests travel up one level per round of posted events.
        for (int i = 0; i < 5; ++i) {
            QApplication::sendPostedEvents();
            QApplication::processEvents();
        }
        const QString path = m_dir + QLatin1Char('/') + m_prefix + QLatin1Char('_') + name + QStringLiteral(".png");
        if (!widget->grab().save(path)) {
            std::fprintf(stderr, "gallery: cannot write %s\n", qPrintable(path));
            ++g_warnings;
        }
        widget->hide();
    }

private:
    QString m_dir;
    QString m_prefix;
};

ProgressInfo* progress(int activity, int done, int total)
{
    auto* pi = new ProgressInfo;
    pi->activity = activity;
    pi->nDone = done;
    pi->nTotal = total;
    pi->safeName = QStringLiteral("Team Projects");
    pi->safeType = QStringLiteral("TEAMSAFE");
    pi->actionType = SyncAction::DownloadFile;
    pi->actionName = QStringLiteral("download");
    pi->name = QStringLiteral("quarterly-report.pdf");
    pi->bytesDone = 3456789;
    pi->bytesTotal = 23456789;
    return pi;
}

int renderAll(const QString& dir, const QString& brand, const QString& language)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    AppInfo info = AppInfo::forThisBuild();
    info.brandKey = brand;
    info.logDirectory = home.path();
    info.logFileName = QStringLiteral("client.log");
    info.logPath = home.path() + QStringLiteral("/client.log");
    QCoreApplication::setOrganizationName(QString::fromLatin1(info.organizationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(info.organizationDomain));
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale-gallery"));
    QSettings().setValue(QStringLiteral("ui/language"), language);
    AppInfo::publish(&info);
    R7Application::initTranslations(&info);
    applyBrandStyle(qApp, &info);
    g_previous = qInstallMessageHandler(countWarnings);

    Gallery gallery(dir, brand + QLatin1Char('_') + language);
    QSettings settings;
    auto* storage = new SettingsStorage(new QSettings(qApp), qApp);
    PasswordController controller(R7Session::instance(), nullptr);
    ServerList servers(info);
    UserCredUtil creds(&info);

    {
        LoginView login(&info, &creds, &servers, nullptr);
        gallery.shoot(&login, QStringLiteral("login"), QSize(479, 620));
        login.on_toggleExtendedLoginOptions(true);
        login.on_loginFailed(EC_ACCOUNT_LOCKED, QString());
        gallery.shoot(&login, QStringLiteral("login_failed"), QSize(479, 620));
        login.on_smsCodeRequired(QStringLiteral("R-4711"), false);
        gallery.shoot(&login, QStringLiteral("login_sms"), QSize(479, 620));
        login.on_loginProgress(ILoginRI::STEP_CALCULATING_KEYS);
        gallery.shoot(&login, QStringLiteral("login_progress"), QSize(479, 620));
    }
    {
        settings.setValue(QStringLiteral("app/show_pwd_safe"), false);
        MainView main(&info, &controller, nullptr, storage);
        main.selectTab(MainView::MAIN_TAB_SETTINGS);
        main.findChild<MainTab*>(QStringLiteral("fileSafeTab"))->on_attentionChanged(2);
        gallery.shoot(&main, QStringLiteral("main_settings"), QSize(900, 640));
        main.selectTab(MainView::MAIN_TAB_FILESAFE);
        gallery.shoot(&main, QStringLiteral("main_filesafe"), QSize(900, 640));
    }
    {
        StatusBarView bar;
        bar.on_appModeChanged(R7Application::APP_MODE_DEBUG);
        QScopedPointer<ProgressInfo> pi(progress(ProgressInfo::Activity_GetRemoteObjects_Started, 0, 0));
        bar.on_syncProgress(true, *pi);
        pi.reset(progress(ProgressInfo::Activity_ProcessSyncActions_Progress, 2, 3));
        bar.on_syncProgress(true, *pi);
        gallery.shoot(&bar, QStringLiteral("statusbar"), QSize(799, 26));

        QMenu menu;
        StatusAction action(&menu);
        menu.addAction(&action);
        menu.addSeparator();
        menu.addAction(QStringLiteral("Quit"));
        pi.reset(progress(ProgressInfo::Activity_GetRemoteObjects_Started, 0, 0));
        action.on_syncProgress(true, *pi);
        pi.reset(progress(ProgressInfo::Activity_ProcessSyncActions_Progress, 1, 3));
        action.on_syncProgress(true, *pi);
        action.flush();
        gallery.shoot(&menu, QStringLiteral("tray_entry"));
    }
    {
        WizardView wizard(nullptr, &info);
        gallery.shoot(&wizard, QStringLiteral("wizard"), QSize(720, 400));
    }
    {
        QFile log(info.logPath);
        if (log.open(QIODevice::WriteOnly | QIODevice::Text)) {
            QTextStream out(&log);
            for (int i = 1; i <= 40; ++i)
                out << QStringLiteral("[2026-12-07 01:00:%1] 4711 INFO  Syncher::run: step %2\n").arg(i % 60, 2, 10, QLatin1Char('0')).arg(i);
        }
        log.close();
        LogDialog* dialog = LogDialog::instance();
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        dialog->loadFile(info.logPath);
        gallery.shoot(dialog, QStringLiteral("log"), QSize(656, 249));
        delete dialog;
    }
    {
        DebugDialog debug(&info, &servers, R7Session::instance());
        gallery.shoot(&debug, QStringLiteral("debug"), QSize(400, 489));
        gallery.shoot(AboutDialog::instance(), QStringLiteral("about"));
    }
    {
        QuotaExceededDialog quota;
        quota.setText(QStringLiteral("Synchronization failed: There is not enough free space in your Tessarvale "
                                     "'Team Projects'. Please delete some documents or upgrade your Tessarvale."));
        gallery.shoot(&quota, QStringLiteral("quota"));
        SessionTerminatedDialog session;
        session.setWindowTitle(QStringLiteral("Not Online"));
        session.setText(QStringLiteral("Your session has been terminated due to inactivity or because your internet "
                                       "connection is down.\nPlease log in again."));
        gallery.shoot(&session, QStringLiteral("session"));
        UpgradeClientDialog upgrade;
        upgrade.setText(QStringLiteral("<b>A new version of the Tessarvale desktop client is available!</b><br/><br/>"
                                       "Tessarvale 2.3.0 is now available - you have 2.2.4.<br/><br/>"
                                       "Would you like to download it now?"));
        gallery.shoot(&upgrade, QStringLiteral("upgrade"));
        CrashReportDialog crash;
        gallery.shoot(&crash, QStringLiteral("crash"));
        ProxyAuthDialog proxy;
        proxy.setText(QStringLiteral("The web proxy server 'proxy.example' (port: 3128 type: HttpProxy) requires "
                                     "authentication."));
        gallery.shoot(&proxy, QStringLiteral("proxy"));
    }
    qInstallMessageHandler(g_previous);
    return g_warnings == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tessarvale_gallery <output dir> [<brand> <language>]\n");
        return 2;
    }
    const QString dir = args.at(1);
    QDir().mkpath(dir);
    if (args.size() >= 4)
        return renderAll(dir, args.at(2), args.at(3));

    int failed = 0;
    for (const char* brand : {"varnel", "sorel", "tamsel"}) {
        for (const char* language : {"en", "de"}) {
            QProcess one;
            one.setProcessChannelMode(QProcess::ForwardedChannels);
            one.start(QCoreApplication::applicationFilePath(),
                      {dir, QLatin1String(brand), QLatin1String(language)});
            if (!one.waitForFinished(120000) || one.exitStatus() != QProcess::NormalExit || one.exitCode() != 0) {
                std::fprintf(stderr, "gallery: %s/%s failed\n", brand, language);
                ++failed;
            }
        }
    }
    return failed == 0 ? 0 : 1;
}
