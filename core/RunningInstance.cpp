#include "core/RunningInstance.h"

#include "core/FileUtil.h"
#include "core/Startup.h"
#include "platform/SingleApplication.h"

#include <QElapsedTimer>

bool handleIsRunning(SingleApplication &app)
{
    QMessageBox *notice = showTimedMessageBox(
            5000, QMessageBox::Information, QObject::tr("${APP_NAME} runs already"),
            QObject::tr("It seems that ${APP_NAME} runs already<br/>Activating ${APP_NAME} window ..."));
    // Painted before the wait below blocks.
    FileUtil::waitProcessingEvents(100);

    QElapsedTimer elapsed;
    elapsed.start();
    const bool delivered = app.sendMessage(QStringLiteral("WakeUp"), 5000);
    qDebug("handleIsRunning: Send wakeup message: %s (%lldms)", delivered ? "ok" : "failed", elapsed.elapsed());

    if (!delivered) {
        notice->hide();
        QMessageBox *warning = showTimedMessageBox(5000, QMessageBox::Warning, QObject::tr("${APP_NAME} runs already"),
                                                   QObject::tr("Cannot activate ${APP_NAME}"));
        FileUtil::waitProcessingEvents(5000);
        warning->hide();
        delete warning;
    }
    notice->hide();
    delete notice;
    return delivered;
}
