#pragma once

#include <QProcess>

namespace Breakpad {

// The "-oop" child. It inherits the server's end of the report channel, which is closed on exec
// everywhere else, and learns its number from the environment.
class CrashServerProcess : public QProcess
{
    Q_OBJECT

public:
    CrashServerProcess(int channel, QObject *parent = nullptr);

protected:
    void setupChildProcess() override;

private:
    int m_channel;
};

} // namespace Breakpad
