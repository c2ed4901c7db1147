#include "core/CrashServerProcess.h"

#include <fcntl.h>

namespace Breakpad {

CrashServerProcess::CrashServerProcess(int channel, QObject *parent)
    : QProcess(parent)
    , m_channel(channel)
{}

void CrashServerProcess::setupChildProcess()
{
    // Between fork and exec: async-signal-safe calls only.
    if (m_channel >= 0) {
        ::fcntl(m_channel, F_SETFD, 0);
    }
}

} // namespace Breakpad
