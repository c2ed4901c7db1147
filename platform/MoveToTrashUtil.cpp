#include "platform/MoveToTrashUtil.h"

#include "core/StringUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace {

QByteArray logText(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}

// "<trash>/files/<name>" with <trash> a trash folder of the freedesktop.org layout.
bool isInTrash(const QString &where)
{
    if (!QDir::isAbsolutePath(where))
        return false;
    const QDir files = QFileInfo(where).dir();
    if (files.dirName() != QLatin1String("files"))
        return false;
    const QString trashDir = QFileInfo(files.absolutePath()).path();
    const QString trash = QFileInfo(trashDir).fileName();
    const QString above = QFileInfo(QFileInfo(trashDir).path()).fileName();
    return trash == QLatin1String("Trash") || trash.startsWith(QLatin1String(".Trash-")) ||
           above == QLatin1String(".Trash");
}

} // namespace

bool MoveToTrashUtil::moveToTrash(const QString &path)
{
    const QString source = QFileInfo(path).absoluteFilePath();
    // Where the home trash cannot be made, the toolkit files the item below the working folder;
    // make sure of the home trash first.
    if (QStorageInfo(source) == QStorageInfo(QDir::home())) {
        const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString trash = home + QStringLiteral("/Trash");
        if (home.isEmpty() || !QDir().mkpath(trash + QStringLiteral("/files")) ||
            !QDir().mkpath(trash + QStringLiteral("/info"))) {
            qWarning("MoveToTrashUtil::moveToTrash: no trash folder in '%s'", logText(home).constData());
            return false;
        }
    }
    QString where;
    if (!QFile::moveToTrash(source, &where)) {
        qWarning("MoveToTrashUtil::moveToTrash: Cannot move to the trash: '%s'", logText(source).constData());
        return false;
    }
    if (!isInTrash(where)) {
        const QString landed = QFileInfo(where).absoluteFilePath();
        qWarning("MoveToTrashUtil::moveToTrash: moved to '%s' instead of a trash; moving it back",
                 logText(landed).constData());
        if (!QFile::rename(landed, source) && !QDir().rename(landed, source))
            qWarning("MoveToTrashUtil::moveToTrash: could not move it back to '%s'", logText(source).constData());
        return false;
    }
    return true;
}
