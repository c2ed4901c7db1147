#pragma once

#include <QObject>
#include <QString>

// Names for new local synchronisation folders, the overlap test of two folders, and showing a
// path in the file manager.
class DirUtil : public QObject
{
    Q_OBJECT

public:
    // The absolute path of a folder below base that does not exist yet: the name with "\", ".",
    // "/" and ":" made "_", then "_2", "_3", ... appended until free.
    static QString uniqueFolderPath(const QString &base, const QString &name);
    // A folder path below base (with a trailing "/") that overlaps no synchronised folder.
    static QString uniqueSyncFolderPath(const QString &base, const QString &name);
    static bool pathsOverlap(const QString &a, const QString &b);
    // A file is selected in its folder, a folder is opened; nothing is ever opened or run.
    static void showInGraphicalShell(const QString &path);
};
