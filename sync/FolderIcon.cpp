#include "sync/FolderIcon.h"

#include "core/AppInfo.h"
#include "core/StringUtil.h"
#include "db/SyncSettingsDao.h"
#include "platform/FolderDecoration.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {
const QString kIconFile = QStringLiteral("folder_icon.svg");
}

FolderIcon::FolderIcon(const AppInfo *appInfo)
    : m_appInfo(appInfo)
{}

QString FolderIcon::iconPath() const
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString appName = QString::fromUtf8(m_appInfo->appName);
    const QStringList candidates{
            appDir + QLatin1Char('/') + kIconFile,
            appDir + QStringLiteral("/../share/") + appName + QLatin1Char('/') + kIconFile,
            QStandardPaths::locate(QStandardPaths::GenericDataLocation, appName + QLatin1Char('/') + kIconFile),
    };
    for (const QString &candidate : candidates) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QString();
}

void FolderIcon::set(const QString &folder) const
{
    if (!QFileInfo(folder).isDir() || !FolderDecoration::isAvailable())
        return;
    const QString icon = iconPath();
    if (icon.isEmpty()) {
        qDebug("FolderIcon::set: no folder icon installed");
        return;
    }
    const QString uri = QUrl::fromLocalFile(icon).toString();
    // Set once; a new installation in another place sets it again.
    if (FolderDecoration::customIcon(folder) == uri)
        return;
    if (!FolderDecoration::setCustomIcon(folder, uri))
        qDebug("FolderIcon::set: folder icon not set: '%s'",
               StringUtil::escapeNonPrintable(folder).toLocal8Bit().constData());
}

void FolderIcon::remove(const QString &folder) const
{
    if (!QFileInfo(folder).isDir() || !FolderDecoration::isAvailable())
        return;
    if (!FolderDecoration::customIcon(folder).isEmpty())
        FolderDecoration::unsetCustomIcon(folder);
}

void FolderIcon::setForAllSyncFolders() const
{
    const QStringList folders = SyncSettingsDao::instance()->getAllLocalDirs();
    for (const QString &folder : folders)
        set(folder);
}
