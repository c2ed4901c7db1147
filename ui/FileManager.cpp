#include "ui/FileManager.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#if __has_include("sync/DirUtil.h")
#include "sync/DirUtil.h"
#define TESSARVALE_HAS_DIRUTIL 1
#endif

void FileManager::show(QWidget* parent, const QString& path)
{
    Q_UNUSED(parent)
#ifdef TESSARVALE_HAS_DIRUTIL
    DirUtil::showInGraphicalShell(path);
#else
    // Until the engine's folder helper is here: open the folder itself, or the one holding the
    // file; a file is never handed to the desktop.
    const QFileInfo info(path);
    if (!info.exists()) {
        qDebug("FileManager::show: path does not exist");
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(info.isDir() ? info.absoluteFilePath() : info.absolutePath()));
#endif
}
