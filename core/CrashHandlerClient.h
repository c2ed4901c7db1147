#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace google_breakpad {
class ExceptionHandler;
}

namespace Breakpad {

// The client's side of the crash handler pair. A minidump is written in process until the "-oop"
// server reports that it is ready, then by the server through the report channel, and in process
// again once the server is gone (a channel nobody reads would leave no dump at all).
class CrashHandlerClient : public QObject
{
    Q_OBJECT

public:
    // Makes the report channel, a socket pair whose server end goes to the "-oop" process.
    explicit CrashHandlerClient(const QString &dumpLocation, QObject *parent = nullptr);
    ~CrashHandlerClient() override;

    // The server's end of the channel (-1 when none could be made), and its release in this
    // process once the server holds its own copy.
    int serverChannel() const { return m_serverFd; }
    void releaseServerChannel();
    // The server process must be allowed to trace this one (Yama), or it cannot write a dump.
    void setServerProcessId(qint64 pid) { m_serverPid = pid; }

    bool isOutOfProcess() const;

    // Creates the folder when needed; dumps hold stack memory, so only the user may read it.
    static bool prepareDumpLocation(const QString &folder);

public slots:
    void startInProcess();
    void startOutOfProcess();

private:
    void replaceHandler(google_breakpad::ExceptionHandler *handler);

    std::unique_ptr<google_breakpad::ExceptionHandler> m_handler;
    QString m_dumpLocation;
    int m_clientFd = -1;
    int m_serverFd = -1;
    qint64 m_serverPid = 0;
};

} // namespace Breakpad

// The client's start of the pair: the in-process handler at once, then the "-oop" server process.
// The environment variable named by crashChannelVariable tells the server its end of the channel.
Breakpad::CrashHandlerClient *startCrashHandler();
const char *crashChannelVariable();
