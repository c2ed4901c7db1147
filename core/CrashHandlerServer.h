#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace google_breakpad {
class CrashGenerationServer;
}

namespace Breakpad {

// The "-oop" process's side of the pair: writes the dumps that the client asks for through the
// report channel, and ends when the client has ended (its standard input, which the client holds
// open, reaches its end).
class CrashHandlerServer : public QObject
{
    Q_OBJECT

public:
    // The server's end of the channel as the client passed it; -1 for none.
    CrashHandlerServer(int channel, const QString &dumpLocation, QObject *parent = nullptr);
    ~CrashHandlerServer() override;

    bool start();

private:
    void onClientInput();

    std::unique_ptr<google_breakpad::CrashGenerationServer> m_server;
    std::string m_dumpPath;
    QSocketNotifier *m_clientWatch = nullptr;
};

} // namespace Breakpad

// The server's end of the channel named by the client's environment; -1 when there is none.
int crashChannelFromEnvironment();

// Starts the server of the "-oop" process and prints its readiness line; false when it cannot run.
bool startCrashServer();
