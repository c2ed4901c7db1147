#include "core/AppInfo.h"
#include "core/MessageHandler.h"
#include "tests/support/TestEnv.h"

#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::unique_ptr<AppInfo> makeInfo()
{
    return std::make_unique<AppInfo>("Tessarvale", "tessarvale", "2.2.4", "0123456789abcdef0123456789abcdef01234567",
                                     "", "Varnel", "varnel.example", "example.varnel", "https://www.varnel.example",
                                     "Tessarvale", 1, "varnel");
}

const QMessageLogContext kNoContext;

// What the work writes to standard error (file descriptor 2).
QByteArray stderrOf(const std::function<void()> &work)
{
    std::fflush(stderr);
    const int saved = ::dup(2);
    FILE *capture = std::tmpfile();
    ::dup2(::fileno(capture), 2);
    work();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::rewind(capture);
    QFile file;
    const QByteArray out = file.open(capture, QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    std::fclose(capture);
    return out;
}

} // namespace

class TestMessageHandler : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_info = makeInfo();
        AppInfo::publish(m_info.get());
        resetLogFile();
        setLogLevel(LOG_LEVEL_WARN);
    }

    void cleanup()
    {
        resetLogFile();
        AppInfo::publish(nullptr);
        m_info.reset();
        m_env.reset();
    }

    void filterAndMarker_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written"); // the end of the line; empty when dropped
        const auto row = [](const char *tag, int level, QtMsgType type, const char *text, const char *written) {
            QTest::newRow(tag) << level << int(type) << QString(text) << QString(written);
        };
        row("INFO writes debug", 0, QtDebugMsg, "d", " DBG  d");
        row("WARN drops debug", 1, QtDebugMsg, "d", "");
        row("FATAL writes debug", 3, QtDebugMsg, "d", " DBG  d");
        row("ERROR drops warning", 2, QtWarningMsg, "w", "");
        row("ERROR writes critical", 2, QtCriticalMsg, "c", " ERROR c [.:0] []");
        row("ERROR writes marked debug", 2, QtDebugMsg, "##  word", " DBG  word");
        row("ERROR drops single hash", 2, QtDebugMsg, "# word", "");
        row("marked warning keeps location", 2, QtWarningMsg, "##\tw", " WARN  w [.:0] []");
    }

    void filterAndMarker()
    {
        QFETCH(int, level);
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(QString, written);
        setLogLevel(level);
        send(QtMsgType(type), text);
        const QStringList lines = logLines();
        if (type == QtDebugMsg && !text.startsWith(QLatin1String("##"))) {
            // A debug line is built only where the installed handler writes it; any other handler
            // is given every line.
            const QtMessageHandler previous = installMessageHandler(messageHandler);
            const bool logged = isDebugLogged();
            installMessageHandler(previous);
            QCOMPARE(logged, !written.isEmpty());
            QVERIFY(previous == messageHandler || isDebugLogged());
        }
        if (written.isEmpty()) {
            QVERIFY2(lines.isEmpty(), qPrintable(lines.join('\n')));
            return;
        }
        QCOMPARE(lines.size(), 1);
        const QRegularExpression shape(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] +%1 ")
                                               .arg(QCoreApplication::applicationPid()));
        QVERIFY2(shape.match(lines.first()).hasMatch() && lines.first().endsWith(written), qPrintable(lines.first()));
    }

    void messagesAreEscaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written"); // the whole file after the time stamp and pid
        const auto row = [](const char *tag, const QString &text, const QString &written) {
            QTest::newRow(tag) << text << written;
        };
        // A service message that would otherwise write a line of its own.
        row("forged line", "PasswordsView: delete failed: x\n[2026-01-01T00:00:00.000]     1 INFO y",
            "INFO PasswordsView: delete failed: x\\u000a[2026-01-01T00:00:00.000]     1 INFO y\n");
        row("return, tab and escape", "a\rb\tc\x1b[31m", "INFO a\\u000db\\u0009c\\u001b[31m\n");
        // Printable to Unicode, but the Log window breaks lines there.
        row("line and paragraph separators", QString::fromUtf8("x\u2028[2026-01-01T00:00:00.000] y\u2029z\u2028"),
            "INFO x\\u2028[2026-01-01T00:00:00.000] y\\u2029z\\u2028\n");
        // What a caller escaped already, and backslashes of its own, come out as they were.
        row("escaped before", "name 'a\\u000ab' in C:\\x\\y", "INFO name 'a\\u000ab' in C:\\x\\y\n");
        row("letters beyond ASCII stay", QString::fromUtf8("Zürich"), QString::fromUtf8("INFO Zürich\n"));
        // The shutdown line's break at the end is a blank line, not an escape.
        row("break at the end", "shutdown\n", "INFO shutdown\n\n");
    }

    void messagesAreEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QString, written);
        send(QtInfoMsg, text);
        QFile file(m_info->logPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString content = QString::fromLocal8Bit(file.readAll());
        const QString head = QStringLiteral("] %1 ").arg(QCoreApplication::applicationPid(), 5);
        QVERIFY2(content.startsWith('[') && content.indexOf(head) > 0, qPrintable(content));
        QCOMPARE(content.mid(content.indexOf(head) + head.size()), written);
    }

    void crashServerLogIsEscaped()
    {
        const QString path = m_env->cacheHome() + "/breakpad.log";
        QVERIFY(QDir().mkpath(m_env->cacheHome()));
        QVERIFY(openCrashServerLog(path));
        crashServerMessageHandler(QtWarningMsg, kNoContext, "dump for\npid 7");
        resetLogFile();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Warning:dump for\\u000apid 7\n"));
    }

    void warningsCarrySourceLocation()
    {
        const QtMessageHandler previous = qInstallMessageHandler(messageHandler);
        const int line = __LINE__ + 1;
        qWarning("located");
        qInstallMessageHandler(previous);
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(QStringLiteral("WARN  located [tst_messagehandler.cpp:%1] [").arg(line)),
                 qPrintable(lines.first()));
    }

    void rotationAtThreshold()
    {
        // A file of exactly 0x500000 bytes at the check is not rotated.
        sendMany(99, QString());
        resizeLog(0x500000);
        send(QtInfoMsg, QString());
        QVERIFY(!QFile::exists(m_info->logPath + ".1"));

        QFile older(m_info->logPath + ".1");
        QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older rotation\n") == 15);
        older.close();
        // The size is looked at every 100th message only.
        resizeLog(0x500000 + 1);
        sendMany(99, QStringLiteral("before"));
        QCOMPARE(QFileInfo(older).size(), qint64(15));

        send(QtInfoMsg, QStringLiteral("message 200"));
        // The full log became the one older file, replacing the previous one; the log started anew.
        QVERIFY(QFileInfo(older).size() > 0x500000);
        QVERIFY(!QFile::exists(m_info->logPath + ".2"));
        QCOMPARE(logLines().size(), 1);
    }

    void failedOpenIsRetriedAndReportedOnce()
    {
        // The log folder is taken away before the first message.
        QVERIFY(QDir(m_info->logDirectory).removeRecursively());
        const QByteArray errors = stderrOf([this] {
            sendMany(150, QStringLiteral("lost"));
            QVERIFY(QDir().mkpath(m_info->logDirectory));
            sendMany(49, QStringLiteral("still waiting"));
            QVERIFY(!QFile::exists(m_info->logPath));
            send(QtInfoMsg, QStringLiteral("back 200"));
            send(QtInfoMsg, QStringLiteral("back 201"));
        });
        QCOMPARE(errors.count("Error: cannot open log file: " + m_info->logPath.toUtf8()), 1);
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).endsWith(QLatin1String("back 200")));
    }

    void logFolderAndFileArePrivate()
    {
        // With the usual umask a new folder or file would be readable by everyone.
        QVERIFY(QDir(m_info->logDirectory).removeRecursively());
        const mode_t umaskBefore = ::umask(022);
        m_info = makeInfo();
        AppInfo::publish(m_info.get());
        send(QtWarningMsg, "w");
        ::umask(umaskBefore);
        QCOMPARE(int(QFile::permissions(m_info->logDirectory)) & 0x0077, 0);
        QCOMPARE(int(QFile::permissions(m_info->logPath)) & 0x0077, 0);
    }

    void fatalEndsProcessAfterItsLine()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_env->home());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_env->cacheHome());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--fatal-child")});
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        // The child has no application object, so no application folder in its cache location.
        QFile file(m_env->cacheHome() + "/tessarvale/tessarvale.log");
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QVERIFY(file.readAll().contains(" FATAL the end ["));
    }
private:
    QStringList logLines() const
    {
        QFile file(m_info->logPath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void send(QtMsgType type, const QString &text) { messageHandler(type, kNoContext, text); }
    void sendMany(int count, const QString &text)
    {
        for (int i = 0; i < count; ++i)
            send(QtInfoMsg, text);
    }
    void resizeLog(qint64 size)
    {
        QFile log(m_info->logPath);
        QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Append) && log.resize(size));
    }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<AppInfo> m_info;
};

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--fatal-child") == 0) {
        // The child of fatalEndsProcessAfterItsLine: its last line must reach the file before the abort.
        static const std::unique_ptr<AppInfo> info = makeInfo();
        AppInfo::publish(info.get());
        qInstallMessageHandler(messageHandler);
        qFatal("the end");
    }
    QCoreApplication app(argc, argv);
    TestMessageHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messagehandler.moc"
