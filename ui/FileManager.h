#pragma once

class QString;
class QWidget;

// Shows a file or folder in the file manager, never opening or running it.
class FileManager
{
public:
    static void show(QWidget* parent, const QString& path);
};
