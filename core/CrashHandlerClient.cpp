#include "core/CrashHandlerClient.h"

#include <QVariant>

#include "core/CrashServerProcess.h"
#include "core/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTimer>

#include "client/linux/crash_generation/crash_generation_server.h"
#include "client/linux/handler/exception_handler.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#ifndef PR_SET_PTRACER
#define PR_SET_PTRACER 0x59616d61
#endif

namespace Breakpad {

namespace {

// Runs in the crashed process: nothing but the result may be touched here.
bool minidumpWritten(const google_breakpad::MinidumpDescriptor &, void *, bool succeeded)
{
    return succeeded;
}

} // namespace

CrashHandlerClient::CrashHandlerClient(const QString &dumpLocation, QObject *parent)
    : QObject(parent)
    , m_dumpLocation(dumpLocation)
{
    if (!google_breakpad::CrashGenerationServer::CreateReportChannel(&m_serverFd, &m_clientFd)) {
        m_serverFd = m_clientFd = -1;
        return;
    }
    // Only the server may hold the other end; no other child of ours inherits this one.
    ::fcntl(m_clientFd, F_SETFD, FD_CLOEXEC);
}

CrashHandlerClient::~CrashHandlerClient()
{
    m_handler.reset();
    releaseServerChannel();
    if (m_clientFd >= 0) {
        ::close(m_clientFd);
    }
}

void CrashHandlerClient::releaseServerChannel()
{
    if (m_serverFd >= 0) {
        ::close(m_serverFd);
        m_serverFd = -1;
    }
}

bool CrashHandlerClient::isOutOfProcess() const
{
    return m_handler && m_handler->IsOutOfProcess();
}

void CrashHandlerClient::replaceHandler(google_breakpad::ExceptionHandler *handler)
{
    // The new handler is installed before the old one goes, so no crash finds none.
    std::unique_ptr<google_breakpad::ExceptionHandler> old(m_handler.release());
    m_handler.reset(handler);
    old.reset();
}

void CrashHandlerClient::startInProcess()
{
    if (m_handler && !m_handler->IsOutOfProcess()) {
        return;
    }
    if (!prepareDumpLocation(m_dumpLocation)) {
        // An out-of-process handler without its server would write nothing either.
        replaceHandler(nullptr);
        return;
    }
    const google_breakpad::MinidumpDescriptor descriptor(QFile::encodeName(m_dumpLocation).toStdString());
    replaceHandler(new google_breakpad::ExceptionHandler(descriptor, nullptr, minidumpWritten, this, true, -1));
    qInfo("Started in-process exception handler.");
}

void CrashHandlerClient::startOutOfProcess()
{
    if (isOutOfProcess()) {
        return;
    }
    // Registration: the channel exists and the server still holds its end.
    bool registered = false;
    if (m_clientFd >= 0) {
        pollfd channel{m_clientFd, POLLOUT, 0};
        registered = ::poll(&channel, 1, 0) == 1 && (channel.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0 &&
                     (channel.revents & POLLOUT);
    }
    std::unique_ptr<google_breakpad::ExceptionHandler> handler;
    if (registered) {
        // The folder is the server's; the descriptor only needs a valid one.
        const google_breakpad::MinidumpDescriptor descriptor(QFile::encodeName(m_dumpLocation).toStdString());
        handler.reset(
                new google_breakpad::ExceptionHandler(descriptor, nullptr, minidumpWritten, this, true, m_clientFd));
        registered = handler->IsOutOfProcess();
    }
    if (!registered) {
        handler.reset();
        qCritical("Could not start out-of-process exception handler, using in-process.");
        return;
    }
    if (m_serverPid > 0) {
        // Fails harmlessly where the kernel has no Yama.
        ::prctl(PR_SET_PTRACER, static_cast<unsigned long>(m_serverPid), 0, 0, 0);
    }
    replaceHandler(handler.release());
    qInfo("Started out-of-process exception handler.");
}

bool CrashHandlerClient::prepareDumpLocation(const QString &folder)
{
    const QByteArray local = folder.toLocal8Bit();
    QDir dir(folder);
    if (dir.exists()) {
        qDebug("CrashHandler: Dump location: %s", local.constData());
    } else {
        if (!PrivateFiles::makeFolders(folder)) {
            qWarning("CrashHandler: Failed to create dump directory (%s)", local.constData());
            return false;
        }
        qDebug("CrashHandler: Created dump location: %s", local.constData());
    }
    const QFileInfo info(folder);
    if (!info.isDir()) {
        qWarning("CrashHandler: Dump location is not a directory (%s)", local.constData());
        return false;
    }
    if (!info.isWritable()) {
        qWarning("CrashHandler: Dump location is not a writable (%s)", local.constData());
        return false;
    }
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                                         QFile::WriteUser | QFile::ExeUser;
    if ((info.permissions() & ~ownerOnly) != 0 && !QFile::setPermissions(folder, ownerOnly)) {
        qWarning("CrashHandler: Dump location is readable by others (%s)", local.constData());
        return false;
    }
    return true;
}

} // namespace Breakpad

const char *crashChannelVariable()
{
    return "TESSARVALE_CRASH_CHANNEL";
}

Breakpad::CrashHandlerClient *startCrashHandler()
{
    const QString dumpLocation = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    auto *client = new Breakpad::CrashHandlerClient(dumpLocation);
    client->startInProcess();
    if (client->serverChannel() < 0) {
        qWarning("Breakpad process not started: no report channel, using in process exception handler");
        return client;
    }

    auto *process = new Breakpad::CrashServerProcess(client->serverChannel(), client);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, process, [process] {
        process->setProperty("stopping", true);
        process->kill();
    });
    QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), client,
                     [client, process](int exitCode, QProcess::ExitStatus status) {
                         // Our own kill at quit is no crash of the server.
                         if (process->property("stopping").toBool()) {
                             qDebug("Breakpad process stopped");
                             return;
                         }
                         qWarning("Breakpad process finished, exit code %d%s", exitCode,
                                  status == QProcess::CrashExit ? " (crashed)" : "");
                         // Nobody reads the channel any more.
                         client->startInProcess();
                     });

    auto *timer = new QTimer(client);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::VeryCoarseTimer);
    QObject::connect(timer, &QTimer::timeout, client,
                     [] { qWarning("Breakpad process did not start in time, using in process exception handler"); });
    QObject::connect(process, &QProcess::readyReadStandardOutput, client, [client, process, timer] {
        timer->stop();
        // Output after the end (the last lines of a dying server) must not switch to it.
        if (process->state() != QProcess::NotRunning) {
            client->startOutOfProcess();
        }
        process->readAllStandardOutput();
    });
    timer->start(10000);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(crashChannelVariable()), QString::number(client->serverChannel()));
    process->setProcessEnvironment(environment);
    process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("-oop")}, QIODevice::ReadWrite);
    client->setServerProcessId(process->processId());
    client->releaseServerChannel();
    return client;
}
