#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// Runs the real executable in private folders (home, XDG folders, runtime folder) with the log
// level INFO. Processes still running at the end are killed.
class ClientHome
{
public:
    // Another home's runtime folder may be shared; by default this home has its own.
    explicit ClientHome(const QString &runtimeFolder = QString());
    ~ClientHome();

    QString runtimeFolder() const { return m_runtime; }
    QString dumpFolder() const;
    QString logPath() const;
    QString serverLogPath() const;

    QProcess *start();
    // The lines of the client log written by one process, without their time stamps.
    QStringList logLines(qint64 pid) const;
    bool waitForLog(qint64 pid, const QString &fragment, int timeoutMs = 10000, int count = 1) const;
    static QString readFile(const QString &path);
    // Never to a process group: a pid of 0 would signal the test itself.
    static bool sendSignal(qint64 pid, int signal);
    static bool isAlive(qint64 pid);
    // The "-oop" child of a client process; 0 when there is none.
    static qint64 serverPidOf(qint64 clientPid);

private:
    QTemporaryDir m_dir;
    QString m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
