#include "core/AppInfo.h"
#include "core/CrashHandlerClient.h"
#include "core/CrashHandlerServer.h"
#include "core/MessageHandler.h"
#include "core/R7Application.h"
#include "core/RunningInstance.h"
#include "core/Startup.h"
#include "core/Style.h"

#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTime>

#include <memory>

#include <signal.h>
#include <unistd.h>

namespace {

int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[1], &byte, 1);
}

// A session that ends (or a plain kill) sends SIGTERM: leave through the Quit path, so the window
// geometry is kept, a signed-in user is signed out and the log is closed with its last lines.
void quitOnTermination(R7Application *app)
{
    if (::pipe(terminationPipe) != 0) {
        qWarning("main: no pipe for the termination signal");
        return;
    }
    auto *notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [app, notifier] {
        notifier->setEnabled(false);
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(terminationPipe[0], &byte, 1);
        qDebug("main: termination signal");
        app->on_quitAction();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
}

// The "-oop" process: the crash-generation server that writes the client's dumps.
int runCrashServerProcess(int &argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    openCrashServerLog(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                       QStringLiteral("/breakpad.log"));
    qInstallMessageHandler(crashServerMessageHandler);
    qInfo("Breakpad starting");
    if (!startCrashServer()) {
        return 201;
    }
    return app.exec();
}

int runGuiApplication(const AppInfo &info, int &argc, char *argv[])
{
    installMessageHandler(messageHandler);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    readLogLevelSetting();

    auto app = std::make_unique<R7Application>(argc, argv, &info);
    R7Application::initTranslations(&info);
    qDebug("## main: Start: %s %s (%s)", info.appName, info.version, info.revision);

    if (app->isRunning()) {
        qWarning("main: Tessarvale runs already");
        if (!handleIsRunning(*app)) {
            qWarning("main: Failed to contact the other Tessarvale instance");
        }
        return 0;
    }
    if (!checkSslSupport()) {
        qCritical("main: No SSL Support");
        return -1;
    }
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QTime::currentTime().msec()));
    QT_WARNING_POP
    startCrashHandler();
    app->setLogLevelPtr(logLevelPointer());
    app->logPlatformInfo();
    applyBrandStyle(app.get(), &info);
    app->migrate();
    app->openDatabase();
    app->initApp();
    quitOnTermination(app.get());
    return app->exec();
}

} // namespace

int main(int argc, char *argv[])
{
    static const AppInfo appInfo = AppInfo::forThisBuild();
    AppInfo::publish(&appInfo);
    QCoreApplication::setSetuidAllowed(true);
    QCoreApplication::setOrganizationName(QString::fromUtf8(appInfo.organizationName));
    QCoreApplication::setOrganizationDomain(QString::fromUtf8(appInfo.organizationDomain));
    QCoreApplication::setApplicationName(QString::fromUtf8(appInfo.appName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(appInfo.version));

    if (isCrashServerInvocation(argc, argv)) {
        return runCrashServerProcess(argc, argv);
    }
    return runGuiApplication(appInfo, argc, argv);
}
