#pragma once

#include <QMessageBox>
#include <QString>

// Start-up steps that come before the application object.

// True exactly for one argument "-oop": the client starts its crash-generation server that way.
bool isCrashServerInvocation(int argc, const char *const argv[]);

// Sets the process-wide log level from the setting "app/log_level" (missing or unknown: WARN)
// and returns it. Needs the organisation and application names registered.
int readLogLevelSetting();

// False, after telling the user for five seconds, when the TLS library cannot be loaded.
bool checkSslSupport();

// A parentless, non-modal box hidden again after the given time; it is not deleted.
QMessageBox *showTimedMessageBox(int milliseconds, QMessageBox::Icon icon, const QString &title, const QString &text);
