#include "core/AppInfo.h"
#include "core/CrashHandlerClient.h"
#include "core/CrashHandlerServer.h"
#include "core/MessageHandler.h"
#include "core/RunningInstance.h"
#include "core/Startup.h"
#include "platform/SingleApplication.h"

#include <QApplication>
#include <QMainWindow>
#include <QStandardPaths>
#include <QTime>

namespace {

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
    qInstallMessageHandler(messageHandler);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    readLogLevelSetting();

    // Stand-in for the application object, which derives from SingleApplication.
    SingleApplication app(argc, argv);
    qDebug("## main: Start: %s %s (%s)", info.appName, info.version, info.revision);

    // ---- Single instance and crash handler: the least calls until the full start-up sequence.
    if (app.isRunning()) {
        qWarning("main: Tessarvale runs already");
        if (!handleIsRunning(app)) {
            qWarning("main: Failed to contact the other Tessarvale instance");
        }
        return 0;
    }
    startCrashHandler();
    // ---- end

    if (!checkSslSupport()) {
        qCritical("main: No SSL Support");
        return -1;
    }
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QTime::currentTime().msec()));
    QT_WARNING_POP

    // Stands in for the application object's windows until it exists.
    QMainWindow window;
    window.setObjectName(QStringLiteral("MainWindow"));
    window.setWindowTitle(QString::fromUtf8(info.displayName));
    window.resize(800, 560);
    window.show();
    app.setActivationWindow(&window); // single instance: see above
    return app.exec();
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
