#pragma once

#include <QString>

// The folder that holds a local file, reached from the setting's base folder one element at a
// time without following a link at any of them: what is then done through the descriptor happens
// in that folder, whatever is moved or linked in its place afterwards.
class FolderWalk
{
public:
    FolderWalk() = delete;

    // A descriptor (O_CLOEXEC, the caller closes it) of the folder that holds `path`, which lies
    // below `base`; -1 with the system's error code in *error (ELOOP or ENOTDIR where an element
    // is a link).
    static int openParent(const QString &base, const QString &path, int *error);
    // The same, with the reason for the log and the user on failure.
    static int openParent(const QString &base, const QString &path, QString *reason);
};
