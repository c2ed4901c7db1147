#pragma once

#include <QString>

class AppInfo;

// Gives synchronised local folders the application's folder icon in the file manager, and takes
// it away again. The icon is kept as metadata outside the folder, so nothing is synchronised.
class FolderIcon
{
public:
    explicit FolderIcon(const AppInfo *appInfo);

    void set(const QString &folder) const;
    void remove(const QString &folder) const;
    void setForAllSyncFolders() const;

    // The installed image, beside the executable or in the shared data folder; empty when absent.
    QString iconPath() const;

private:
    const AppInfo *m_appInfo;
};
