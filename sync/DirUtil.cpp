#include "sync/DirUtil.h"

#include "core/StringUtil.h"
#include "db/SyncSettingsDao.h"
#include "platform/FileManagerShell.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QString DirUtil::uniqueFolderPath(const QString &base, const QString &name)
{
    QString cleaned = name;
    cleaned.replace(QLatin1Char('\\'), QLatin1Char('_'));
    cleaned.replace(QRegularExpression(QStringLiteral("[./:]")), QStringLiteral("_"));
    QString candidate = base + QLatin1Char('/') + cleaned;
    // A file of that name blocks the folder as well as a folder does.
    for (int n = 2; QFileInfo::exists(QDir::cleanPath(candidate)); ++n)
        candidate = QStringLiteral("%1/%2_%3/").arg(base, cleaned).arg(n);
    return QDir(candidate).absolutePath();
}

QString DirUtil::uniqueSyncFolderPath(const QString &base, const QString &name)
{
    QString candidate = base + QLatin1Char('/') + name + QLatin1Char('/');
    for (int n = 2; !SyncSettingsDao::instance()->getDuplicatedSynchedPaths(candidate).isEmpty(); ++n)
        candidate = QStringLiteral("%1/%2_%3/").arg(base, name).arg(n);
    return candidate;
}

bool DirUtil::pathsOverlap(const QString &a, const QString &b)
{
    const QString separator = QDir::separator();
    const QString x = a.endsWith(separator) ? a : a + QLatin1Char('/');
    const QString y = b.endsWith(separator) ? b : b + QLatin1Char('/');
    return x.startsWith(y) || y.startsWith(x);
}

void DirUtil::showInGraphicalShell(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        qDebug("DirUtil::showInGraphicalShell: path does not exist: '%s'",
               StringUtil::escapeNonPrintable(path).toLocal8Bit().constData());
        return;
    }
    if (!info.isDir()) {
        qDebug("DirUtil::showInGraphicalShell: path is not a directory: '%s'",
               StringUtil::escapeNonPrintable(path).toLocal8Bit().constData());
        FileManagerShell::showFile(path);
        return;
    }
    FileManagerShell::openFolder(path);
}
