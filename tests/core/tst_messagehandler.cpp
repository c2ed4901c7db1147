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
        if (written.isEmpty()) {
            QVERIFY2(lines.isEmpty(), qPrintable(lines.join('\n')));
            return;
        }
        QCOMPARE(lines.size(), 1);
        const QRegularExpression shape(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] +%1 ")
                                               .arg(QCoreApplication::applicationPid()));
        QVERIFY2(shape.match(lines.first()).hasMatch() && lines.first().endsWith(written), qPrintable(lines.first()));
    }

    void lineFormats_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("function");
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, QtMsgType type, const char *file, int line, const char *function, qint64 pid,
                            const char *expected) {
            QTest::newRow(tag) << int(type) << QByteArray(file) << line << QByteArray(function) << pid
                               << "[2021-03-04T17:06:07.089] " + QString(expected);
        };
        row("debug", QtDebugMsg, "x/y.cpp", 7, "f", 123, "  123 DBG  text");
        row("warning with location", QtWarningMsg, "/src/core/Thing.cpp", 42, "void Thing::run()", 123,
            "  123 WARN  text [Thing.cpp:42] [void Thing::run()]");
        row("critical windows path", QtCriticalMsg, "C:\\src\\a.cpp", 3, "g", 99999, "99999 ERROR text [a.cpp:3] [g]");
    }

    void lineFormats()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(QByteArray, function);
        QFETCH(qint64, pid);
        const QMessageLogContext context(file.constData(), line, function.constData(), "default");
        const QDateTime time(QDate(2021, 3, 4), QTime(17, 6, 7, 89));
        QTEST(formatLogLine(QtMsgType(type), context, QStringLiteral("text"), time, pid), "expected");
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
        QVERIFY2(lines.first().contains(QLatin1String("warningsCarrySourceLocation")), qPrintable(lines.first()));
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
        QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(QLatin1String(" INFO message 200")));
    }

    void failedOpenIsRetriedAndReportedOnce()
    {
        // The log folder is taken away before the first message.
        QVERIFY(m_info->logDirectory.startsWith(m_env->cacheHome()));
        QVERIFY(QDir(m_info->logDirectory).removeRecursively());
        const QByteArray errors = stderrOf([this] {
            sendMany(150, QStringLiteral("lost"));
            QVERIFY(QDir().mkpath(m_info->logDirectory));
            sendMany(49, QStringLiteral("still waiting"));
            QVERIFY(!QFile::exists(m_info->logPath));
            send(QtInfoMsg, QStringLiteral("back 200"));
            send(QtInfoMsg, QStringLiteral("back 201"));
        });
        QCOMPARE(errors.count("Error: cannot open log file: "), 1);
        QVERIFY(errors.contains(("Error: cannot open log file: " + m_info->logPath + "\n").toUtf8()));
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).endsWith(QLatin1String("back 200")));
        QVERIFY(lines.at(1).endsWith(QLatin1String("back 201")));
    }

    void crashServerLines()
    {
        const QString path = m_env->cacheHome() + "/breakpad.log";
        QVERIFY(openCrashServerLog(path));
        setLogLevel(LOG_LEVEL_FATAL);
        crashServerMessageHandler(QtDebugMsg, kNoContext, QStringLiteral("a"));
        crashServerMessageHandler(QtWarningMsg, kNoContext, QStringLiteral("b c"));
        crashServerMessageHandler(QtCriticalMsg, kNoContext, QStringLiteral("##c"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(file.readAll(), QByteArray("Debug:a\nWarning:b c\nCritical:##c\n"));
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
        const QFileInfo folder(m_info->logDirectory), file(m_info->logPath);
        QVERIFY(folder.isDir() && file.isFile() && folder.absoluteFilePath() == file.absolutePath());
        QCOMPARE(int(folder.permissions()) & 0x0077, 0);
        QCOMPARE(int(file.permissions()) & 0x0077, 0);
        QCOMPARE(logLines().size(), 1);
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
        const QStringList lines = QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.at(0).contains(QLatin1String(" FATAL the end [")), qPrintable(lines.at(0)));
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
