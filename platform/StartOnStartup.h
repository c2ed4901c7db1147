#pragma once

#include <QObject>
#include <QString>

// Start with the user's session: an XDG autostart entry "<application name>.desktop" in
// $XDG_CONFIG_HOME/autostart whose Exec is this executable.
class StartOnStartup : public QObject
{
    Q_OBJECT

public:
    // True only when the entry exists, is not hidden and starts this executable.
    static bool isEnabled();
    // Writes the entry unless it is already enabled (an entry of another executable is replaced);
    // false, with a warning, when it could not be written.
    static bool enable();
    // Removes the entry only when it is enabled (a hidden one may hide a system-wide entry); false,
    // with a warning, when that failed.
    static bool disable();

    static QString entryPath();
    // The whole entry for a program path.
    static QString entryContent(const QString &program);
    // The Exec value for a program path: quoted and escaped by the Desktop Entry rules.
    static QString execValue(const QString &program);
    // The program an Exec value starts (its first argument); empty when it cannot be read.
    static QString programOfExec(const QString &exec);
};
