#pragma once

#include <QString>

// Shows paths in the desktop's file manager. Never opens or runs a file: a file is selected in
// its folder, and where that cannot be done its folder is opened instead.
class FileManagerShell
{
public:
    FileManagerShell() = delete;

    // Asks the file manager (org.freedesktop.FileManager1.ShowItems on the session bus) to select
    // the file; when no file manager answers, opens the containing folder. Returns at once.
    static void showFile(const QString &filePath);
    static bool openFolder(const QString &folderPath);
};
