#include "core/CrashHandlerServer.h"

#include "core/CrashHandlerClient.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include "client/linux/crash_generation/crash_generation_server.h"

#include <cerrno>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Breakpad {

namespace {

// Called on the library's worker thread: only logs.
void dumpRequested(void *, const google_breakpad::ClientInfo *, const std::string *filePath)
{
    if (filePath) {
        qWarning() << "Client dump requested to " << QFile::decodeName(filePath->c_str());
    } else {
        qWarning() << "Client dump requested to "
                   << "(unknown)";
    }
}

bool isReportChannel(int fd)
{
    struct stat info;
    int type = 0;
    socklen_t length = sizeof(type);
    return fd >= 0 && ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode) &&
           ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_SEQPACKET;
}

} // namespace

CrashHandlerServer::CrashHandlerServer(int channel, const QString &dumpLocation, QObject *parent)
    : QObject(parent)
    , m_dumpPath(QFile::encodeName(dumpLocation).toStdString())
{
    if (!CrashHandlerClient::prepareDumpLocation(dumpLocation) || !isReportChannel(channel)) {
        return;
    }
    // The library exits its loop by itself when the channel hangs up; the exit callback it takes
    // is never called on Linux.
    m_server.reset(new google_breakpad::CrashGenerationServer(channel, dumpRequested, this, nullptr, nullptr, true,
                                                              &m_dumpPath));
}

CrashHandlerServer::~CrashHandlerServer()
{
    // Waits for a dump in progress.
    m_server.reset();
}

bool CrashHandlerServer::start()
{
    if (!m_server || !m_server->Start()) {
        return false;
    }
    m_clientWatch = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_clientWatch, &QSocketNotifier::activated, this, &CrashHandlerServer::onClientInput);
    return true;
}

void CrashHandlerServer::onClientInput()
{
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof(buffer));
    if (got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN))) {
        return;
    }
    m_clientWatch->setEnabled(false);
    qInfo("Client exited, exiting too");
    deleteLater();
    QCoreApplication::exit(0);
}

} // namespace Breakpad

int crashChannelFromEnvironment()
{
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue(crashChannelVariable(), &ok);
    return ok && fd > STDERR_FILENO ? fd : -1;
}

bool startCrashServer()
{
    const QString dumpLocation = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    // Parented to the application, so that its end waits for a dump still being written.
    auto *server = new Breakpad::CrashHandlerServer(crashChannelFromEnvironment(), dumpLocation, qApp);
    if (!server->start()) {
        qCritical("Could not start server");
        delete server;
        return false;
    }
    std::fputs("Breakpad process started.\n", stdout);
    std::fflush(stdout);
    return true;
}
