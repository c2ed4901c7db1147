#include "core/Startup.h"

#include "core/FileUtil.h"
#include "core/MessageHandler.h"

#include <QSettings>
#include <QSslSocket>
#include <QTimer>

bool isCrashServerInvocation(int argc, const char *const argv[])
{
    return argc == 2 && argv[1] && qstrcmp(argv[1], "-oop") == 0;
}

int readLogLevelSetting()
{
    const int level = logLevelFromString(QSettings().value(QStringLiteral("app/log_level")).toString());
    setLogLevel(level);
    return level;
}

bool checkSslSupport()
{
    if (QSslSocket::supportsSsl()) {
        return true;
    }
    showTimedMessageBox(5000, QMessageBox::Warning, QObject::tr("SSL required"),
                        QObject::tr("Failed to start ${APP_NAME}:<br/>This system does not support OpenSSL."));
    FileUtil::waitProcessingEvents(5000);
    return false;
}

QMessageBox *showTimedMessageBox(int milliseconds, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(icon, title, text);
    box->setModal(false);
    QTimer::singleShot(milliseconds, box, &QWidget::hide);
    box->show();
    return box;
}
