#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// Runs the real executable in private folders (home, XDG folders, runtime folder) with the log
// level INFO. Processes still running at the end are killed, their "-oop" servers awaited.
class ClientHome
{
public:
    ClientHome();
    ~ClientHome();

private:
    QTemporaryDir m_dir; // before the paths in it

public:
    QString runtimeFolder, dumpFolder, serverLog;

    QProcess *start();
    // The lines that one process wrote to the client log, after the pid.
    QStringList logLines(qint64 pid) const;
    bool waitForLog(qint64 pid, const QString &fragment, int count = 1) const;
    static QString readFile(const QString &path);
    // Never to a process group: a pid of 0 would signal the test itself.
    static bool sendSignal(qint64 pid, int signal);
    static bool isAlive(qint64 pid);
    static qint64 serverPidOf(qint64 clientPid);

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
