#pragma once

#include <QString>

// Moves a local file or folder to the desktop's trash (the freedesktop.org trash of the data
// folder, or that of the file system's top folder). A trash is used only when it is ours: not a
// link, owned by us, and on another file system a sticky shared ".Trash" or a folder of 0700. The
// move goes through the descriptors of the checked folders. A name that leaves no room for its
// description's ending is filed under a shortened one; the description keeps the whole path. Never
// deletes: when no trash can take it, it stays.
class MoveToTrashUtil
{
public:
    MoveToTrashUtil() = delete;

    static bool moveToTrash(const QString &path);
};
