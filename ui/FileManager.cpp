#include "ui/FileManager.h"

#include "sync/DirUtil.h"

void FileManager::show(QWidget* parent, const QString& path)
{
    Q_UNUSED(parent)
    DirUtil::showInGraphicalShell(path);
}
