#pragma once

#include <QString>

// The client's own files (database, settings, log, crash dumps) name accounts, paths and file
// checksums: they are kept from other local users without changing the process umask, which the
// files a synchronisation downloads take their mode from.
class PrivateFiles
{
public:
    // Creates the missing folders of the path, each for the owner only (0700). Folders that exist
    // are left as they are. True when the whole path is a folder afterwards.
    static bool makeFolders(const QString &path);

    // Creates the file for the owner only (0600) when it is missing, or takes the rights of group
    // and others from an existing one; a symbolic link is left alone. *created tells whether this
    // call made the file. False when the file could not be made or checked.
    static bool prepareFile(const QString &path, bool *created = nullptr);

    // Takes the rights of group and others from an existing folder. Only for folders of the
    // client's own (never the home folder or a shared one such as ~/.config).
    static bool narrowFolder(const QString &path);

    // The settings file exists 0600 before the settings store first writes it: its save keeps the
    // mode of an existing file, a new one would get the umask's.
    static bool prepareSettingsFile();
};
