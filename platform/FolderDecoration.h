#pragma once

#include <QString>

// The icon of a folder in the desktop's file manager, kept as the GIO attribute
// "metadata::custom-icon" (outside the folder: nothing is written into it). Needs the "gio" tool;
// without it, or where the desktop keeps no such metadata, nothing happens.
class FolderDecoration
{
public:
    FolderDecoration() = delete;

    static bool isAvailable();
    // The icon's URI as set on the folder, or empty.
    static QString customIcon(const QString &folder);
    static bool setCustomIcon(const QString &folder, const QString &iconUri);
    static bool unsetCustomIcon(const QString &folder);

private:
    static bool runGio(const QStringList &arguments, QByteArray *output = nullptr);
};
