#pragma once

#include <QString>

// Moves a local file or folder to the desktop's trash (the freedesktop.org trash of the home
// folder, or that of the file's mount). Never deletes: when no trash can take it, it stays.
class MoveToTrashUtil
{
public:
    MoveToTrashUtil() = delete;

    static bool moveToTrash(const QString &path);
};
