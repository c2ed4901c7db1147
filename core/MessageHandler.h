#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The process-wide message handlers. In the client every message goes through messageHandler,
// which filters by the log level and writes one line per message to the log file named by the
// published application record (AppInfo::current()), rotating it above 0x500000 bytes. A text
// beginning with "##" is written whatever the level.

enum LogLevel { LOG_LEVEL_INFO = 0, LOG_LEVEL_WARN = 1, LOG_LEVEL_ERROR = 2, LOG_LEVEL_FATAL = 3 };

// "INFO", "WARN", "ERROR", "FATAL" (exact case); anything else is WARN.
int logLevelFromString(const QString &text);

// The process-wide level; the application object changes it through this pointer.
int *logLevelPointer();
void setLogLevel(int level);

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);
// Installs a handler as qInstallMessageHandler does (returning the previous one) and notes whether
// it is messageHandler.
QtMessageHandler installMessageHandler(QtMessageHandler handler);
// False while messageHandler is installed at a level that drops debug messages (WARN, ERROR): a
// debug line written once per file need not be built then. Lines beginning with "##" are written
// whatever this says, so they are never made to depend on it.
bool isDebugLogged();

// The crash-generation server's log: "Warning:text" lines, no filter, no rotation.
bool openCrashServerLog(const QString &path);
void crashServerMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);

// One line of the client log, without the line break; the "##" prefix is already removed.
QString formatLogLine(QtMsgType type, const QMessageLogContext &context, const QString &text, const QDateTime &time,
                      qint64 processId);

// Closes the log file and forgets the message count and any failed open; for tests.
void resetLogFile();
