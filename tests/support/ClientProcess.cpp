#include "tests/support/ClientProcess.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

ClientHome::ClientHome()
    : runtimeFolder(m_dir.path() + "/runtime")
    , dumpFolder(m_dir.path() + "/cache/Varnel/tessarvale")
    , serverLog(dumpFolder + "/breakpad.log")
{
    for (const char *folder : {"home", "config/Varnel", "cache", "runtime"}) {
        QDir(m_dir.path()).mkpath(folder);
    }
    QFile::setPermissions(runtimeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(m_dir.path() + "/config/Varnel/tessarvale.conf");
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
        (void)QTest::qWaitFor([server] { return !isAlive(server); }, 5000);
    }
}

QProcess *ClientHome::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", m_dir.path() + "/home");
    env.insert("XDG_CONFIG_HOME", m_dir.path() + "/config");
    env.insert("XDG_CACHE_HOME", m_dir.path() + "/cache");
    env.insert("XDG_RUNTIME_DIR", runtimeFolder);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    m_processes.emplace_back(new QProcess);
    QProcess *process = m_processes.back().get();
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(TESSARVALE_EXECUTABLE, QStringList());
    process->waitForStarted();
    return process;
}

QString ClientHome::readFile(const QString &path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return QString::fromUtf8(bytes.constData(), bytes.size()); // may hold NULs
}

QStringList ClientHome::logLines(qint64 pid) const
{
    // "[time] pid LEVEL text", the pid right-aligned.
    const QRegularExpression prefix(QString("^\\[[^\\]]*\\] +%1 ").arg(pid));
    QStringList lines;
    for (const QString &line : readFile(m_dir.path() + "/cache/tessarvale/tessarvale.log").split('\n')) {
        const QRegularExpressionMatch match = prefix.match(line);
        if (match.hasMatch()) {
            lines << line.mid(match.capturedLength());
        }
    }
    return lines;
}

bool ClientHome::waitForLog(qint64 pid, const QString &fragment, int count) const
{
    return QTest::qWaitFor([&] { return logLines(pid).filter(fragment).size() >= count; }, 10000);
}

bool ClientHome::sendSignal(qint64 pid, int signal)
{
    return pid > 0 && ::kill(pid_t(pid), signal) == 0;
}

// "pid (name) state ppid ...": the name may hold blanks, the last ')' ends it.
static QStringList statFields(const QString &pid)
{
    const QString stat = ClientHome::readFile("/proc/" + pid + "/stat");
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

bool ClientHome::isAlive(qint64 pid)
{
    // A zombie has ended; nobody may reap an orphan soon.
    const QStringList fields = statFields(QString::number(pid));
    return pid > 0 && fields.size() > 1 && fields.first() != "Z";
}

qint64 ClientHome::serverPidOf(qint64 clientPid)
{
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        const QStringList fields = statFields(entry);
        if (clientPid > 0 && fields.size() > 1 && fields.at(1).toLongLong() == clientPid &&
            readFile("/proc/" + entry + "/cmdline").split(QChar(0)).contains("-oop")) {
            return entry.toLongLong();
        }
    }
    return 0;
}
