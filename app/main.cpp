#include "core/AppInfo.h"
#include "core/MessageHandler.h"
#include "core/R7Application.h"
#include "core/Startup.h"
#include "core/Style.h"

#include <QStandardPaths>
#include <QTime>

#include <memory>

namespace {

// The "-oop" process. Its server comes with the crash handler; until then it cannot start.
int runCrashServerProcess(int &argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    openCrashServerLog(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                       QStringLiteral("/breakpad.log"));
    qInstallMessageHandler(crashServerMessageHandler);
    qInfo("Breakpad starting");
    qCritical("Could not start server");
    return 201;
}

int runGuiApplication(const AppInfo &info, int &argc, char *argv[])
{
    qInstallMessageHandler(messageHandler);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    readLogLevelSetting();

    auto app = std::make_unique<R7Application>(argc, argv, &info);
    R7Application::initTranslations(&info);
    qDebug("## main: Start: %s %s (%s)", info.appName, info.version, info.revision);

    if (app->isRunning()) {
        qWarning("main: Tessarvale runs already");
        // The single-instance layer wakes the running instance here.
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
    // The crash handler pair starts here.
    app->setLogLevelPtr(logLevelPointer());
    app->logPlatformInfo();
    applyBrandStyle(app.get(), &info);
    app->migrate();
    app->openDatabase();
    app->initApp();
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
