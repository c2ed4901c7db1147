#include "tests/support/ClientProcess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

ClientHome::ClientHome(const QString &runtimeFolder)
    : m_runtime(runtimeFolder.isEmpty() ? m_dir.path() + QStringLiteral("/runtime") : runtimeFolder)
{
    for (const char *folder : {"home", "config/Varnel", "cache", "runtime"}) {
        QDir(m_dir.path()).mkpath(QLatin1String(folder));
    }
    QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(m_dir.path() + QStringLiteral("/config/Varnel/tessarvale.conf"));
    if (settings.open(QIODevice::WriteOnly)) {
        settings.write("[app]\nlog_level=INFO\n");
    }
}

ClientHome::~ClientHome()
{
    for (const auto &process : m_processes) {
        const qint64 server = serverPidOf(process->processId());
        sendSignal(process->processId(), SIGCONT);
        process->kill();
        process->waitForFinished(5000);
        // The server writes its last line before the folders go.
        (void)QTest::qWaitFor([server] { return !isAlive(server); }, 5000);
    }
}

QString ClientHome::dumpFolder() const
{
    return m_dir.path() + QStringLiteral("/cache/Varnel/tessarvale");
}

QString ClientHome::logPath() const
{
    return m_dir.path() + QStringLiteral("/cache/tessarvale/tessarvale.log");
}

QString ClientHome::serverLogPath() const
{
    return dumpFolder() + QStringLiteral("/breakpad.log");
}

QProcess *ClientHome::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_dir.path() + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.path() + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_processes.emplace_back(new QProcess);
    QProcess *process = m_processes.back().get();
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(TESSARVALE_EXECUTABLE), QStringList());
    process->waitForStarted();
    return process;
}

QString ClientHome::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QByteArray bytes = file.readAll(); // may hold NULs
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

QStringList ClientHome::logLines(qint64 pid) const
{
    // "[time] pid LEVEL text", the pid right-aligned.
    const QRegularExpression prefix(QStringLiteral("^\\[[^\\]]*\\] +%1 ").arg(pid));
    QStringList lines;
    for (const QString &line : readFile(logPath()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = prefix.match(line);
        if (match.hasMatch()) {
            lines << line.mid(match.capturedLength());
        }
    }
    return lines;
}

bool ClientHome::waitForLog(qint64 pid, const QString &fragment, int timeoutMs, int count) const
{
    return QTest::qWaitFor([&] { return logLines(pid).filter(fragment).size() >= count; }, timeoutMs);
}

qint64 ClientHome::serverPidOf(qint64 clientPid)
{
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        // "pid (name) state ppid ..."; the name may hold blanks, the last ')' ends it.
        const QString stat = readFile(QStringLiteral("/proc/%1/stat").arg(entry));
        const QStringList fields = stat.mid(stat.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        if (fields.size() > 1 && fields.at(1).toLongLong() == clientPid &&
            readFile(QStringLiteral("/proc/%1/cmdline").arg(entry)).split(QChar(0)).contains(QStringLiteral("-oop"))) {
            return entry.toLongLong();
        }
    }
    return 0;
}

bool ClientHome::sendSignal(qint64 pid, int signal)
{
    return pid > 0 && ::kill(pid_t(pid), signal) == 0;
}

bool ClientHome::isAlive(qint64 pid)
{
    // A zombie has ended; nobody may reap an orphan soon.
    const QString stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && !stat.isEmpty() && stat.mid(stat.lastIndexOf(QLatin1Char(')')) + 2, 1) != QLatin1String("Z");
}
