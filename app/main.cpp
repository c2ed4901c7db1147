#include "core/AppInfo.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    static const AppInfo appInfo = AppInfo::forThisBuild();
    QCoreApplication::setOrganizationName(QString::fromUtf8(appInfo.organizationName));
    QCoreApplication::setOrganizationDomain(QString::fromUtf8(appInfo.organizationDomain));
    QCoreApplication::setApplicationName(QString::fromUtf8(appInfo.appName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(appInfo.version));
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8(appInfo.displayName));
    window.show();
    return app.exec();
}
