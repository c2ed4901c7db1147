#include "platform/FileManagerShell.h"

#include "core/StringUtil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

void FileManagerShell::showFile(const QString &filePath)
{
    const QString absolute = QFileInfo(filePath).absoluteFilePath();
    const QString folder = QFileInfo(absolute).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [folder](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<> reply = *w;
        if (reply.isError()) {
            qDebug("FileManagerShell::showFile: no file manager to select the file (%s); opening its folder",
                   qUtf8Printable(reply.error().name()));
            openFolder(folder);
        }
        w->deleteLater();
    });
}

bool FileManagerShell::openFolder(const QString &folderPath)
{
    if (!QFileInfo(folderPath).isDir())
        return false;
    const bool ok = QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(folderPath).absoluteFilePath()));
    if (!ok)
        qWarning("FileManagerShell::openFolder: cannot open '%s'",
                 StringUtil::escapeNonPrintable(folderPath).toLocal8Bit().constData());
    return ok;
}
