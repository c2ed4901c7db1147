#include "core/AppInfo.h"
#include "core/MessageHandler.h"
#include "tests/support/TestEnv.h"

#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

std::unique_ptr<AppInfo> makeInfo()
{
    return std::make_unique<AppInfo>("Tessarvale", "tessarvale", "2.2.4", "0123456789abcdef0123456789abcdef01234567",
                                     "", "Varnel", "varnel.example", "example.varnel", "https://www.varnel.example",
                                     "Tessarvale", 1, "varnel");
}

const QMessageLogContext kNoContext;

// Captures what is written to standard error (file descriptor 2) while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        m_file = std::tmpfile();
        ::dup2(::fileno(m_file), 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        std::rewind(m_file);
        QByteArray out;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0) {
            out.append(buffer, int(n));
        }
        return out;
    }

private:
    void restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, 2);
            ::close(m_saved);
            m_saved = -1;
        }
    }
    int m_saved = -1;
    FILE *m_file = nullptr;
};

} // namespace

class TestMessageHandler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void levelFromString_data();
    void levelFromString();
    void filterAndMarker_data();
    void filterAndMarker();
    void lineFormats_data();
    void lineFormats();
    void warningsCarrySourceLocation();
    void rotationAtThreshold();
    void noRotationAtExactlyThreshold();
    void failedOpenIsRetriedAndReportedOnce();
    void crashServerLines();
    void fatalEndsProcessAfterItsLine();

private:
    QStringList logLines() const;
    void send(QtMsgType type, const QString &text) { messageHandler(type, kNoContext, text); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<AppInfo> m_info;
};

void TestMessageHandler::init()
{
    m_env = std::make_unique<TestEnv>();
    m_info = makeInfo();
    AppInfo::publish(m_info.get());
    resetLogFile();
    setLogLevel(LOG_LEVEL_WARN);
}

void TestMessageHandler::cleanup()
{
    resetLogFile();
    AppInfo::publish(nullptr);
    m_info.reset();
    m_env.reset();
}

QStringList TestMessageHandler::logLines() const
{
    QFile file(m_info->logPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

void TestMessageHandler::levelFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("level");
    QTest::newRow("INFO") << "INFO" << 0;
    QTest::newRow("WARN") << "WARN" << 1;
    QTest::newRow("ERROR") << "ERROR" << 2;
    QTest::newRow("FATAL") << "FATAL" << 3;
    QTest::newRow("lower case") << "info" << 1;
    QTest::newRow("padded") << " ERROR" << 1;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("number") << "2" << 1;
    QTest::newRow("DEBUG") << "DEBUG" << 1;
}

void TestMessageHandler::levelFromString()
{
    QFETCH(QString, text);
    QFETCH(int, level);
    QCOMPARE(logLevelFromString(text), level);
}

void TestMessageHandler::filterAndMarker_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written"); // the text part of the line; empty when dropped
    QTest::addColumn<QString>("tag");

    const int dbg = QtDebugMsg, info = QtInfoMsg, warn = QtWarningMsg, crit = QtCriticalMsg;
    QTest::newRow("INFO writes debug") << 0 << dbg << "d"
                                       << "d"
                                       << " DBG  ";
    QTest::newRow("WARN drops debug") << 1 << dbg << "d"
                                      << ""
                                      << "";
    QTest::newRow("WARN writes warning") << 1 << warn << "w"
                                         << "w [.:0] []"
                                         << " WARN  ";
    QTest::newRow("WARN writes info") << 1 << info << "i"
                                      << "i"
                                      << " INFO ";
    QTest::newRow("ERROR drops warning") << 2 << warn << "w"
                                         << ""
                                         << "";
    QTest::newRow("ERROR writes critical") << 2 << crit << "c"
                                           << "c [.:0] []"
                                           << " ERROR ";
    QTest::newRow("ERROR writes info") << 2 << info << "i"
                                       << "i"
                                       << " INFO ";
    QTest::newRow("ERROR writes marked debug") << 2 << dbg << "##  word"
                                               << "word"
                                               << " DBG  ";
    QTest::newRow("ERROR drops single hash") << 2 << dbg << "# word"
                                             << ""
                                             << "";
    QTest::newRow("three hashes keep one") << 2 << dbg << "###x"
                                           << "#x"
                                           << " DBG  ";
    QTest::newRow("marker inside text stays") << 0 << dbg << "a ## b"
                                              << "a ## b"
                                              << " DBG  ";
    QTest::newRow("marked warning keeps location") << 2 << warn << "##\tw"
                                                   << "w [.:0] []"
                                                   << " WARN  ";
    QTest::newRow("FATAL writes debug") << 3 << dbg << "d"
                                        << "d"
                                        << " DBG  ";
    QTest::newRow("FATAL writes warning") << 3 << warn << "w"
                                          << "w [.:0] []"
                                          << " WARN  ";
    QTest::newRow("INFO removes marker") << 0 << info << "## start"
                                         << "start"
                                         << " INFO ";
}

void TestMessageHandler::filterAndMarker()
{
    QFETCH(int, level);
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(QString, written);
    QFETCH(QString, tag);

    setLogLevel(level);
    send(QtMsgType(type), text);
    const QStringList lines = logLines();
    if (written.isEmpty()) {
        QVERIFY2(lines.isEmpty(), qPrintable(lines.join('\n')));
        return;
    }
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(tag + written), qPrintable(lines.first()));
    const QRegularExpression shape(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] +%1 ")
                                           .arg(QCoreApplication::applicationPid()));
    QVERIFY2(shape.match(lines.first()).hasMatch(), qPrintable(lines.first()));
}

void TestMessageHandler::lineFormats_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("function");
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<QString>("expected");

    const QByteArray none;
    QTest::newRow("debug") << int(QtDebugMsg) << QByteArray("x/y.cpp") << 7 << QByteArray("f") << qint64(123)
                           << "[2021-03-04T17:06:07.089]   123 DBG  text";
    QTest::newRow("info") << int(QtInfoMsg) << none << 0 << none << qint64(4567)
                          << "[2021-03-04T17:06:07.089]  4567 INFO text";
    QTest::newRow("warning with location")
            << int(QtWarningMsg) << QByteArray("/src/core/Thing.cpp") << 42 << QByteArray("void Thing::run()")
            << qint64(123) << "[2021-03-04T17:06:07.089]   123 WARN  text [Thing.cpp:42] [void Thing::run()]";
    QTest::newRow("warning without location") << int(QtWarningMsg) << none << 0 << none << qint64(123)
                                              << "[2021-03-04T17:06:07.089]   123 WARN  text [.:0] []";
    QTest::newRow("critical windows path")
            << int(QtCriticalMsg) << QByteArray("C:\\src\\a.cpp") << 3 << QByteArray("g") << qint64(99999)
            << "[2021-03-04T17:06:07.089] 99999 ERROR text [a.cpp:3] [g]";
    QTest::newRow("long pid not cut") << int(QtDebugMsg) << none << 0 << none << qint64(1234567)
                                      << "[2021-03-04T17:06:07.089] 1234567 DBG  text";
}

void TestMessageHandler::lineFormats()
{
    QFETCH(int, type);
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QByteArray, function);
    QFETCH(qint64, pid);
    QFETCH(QString, expected);
    const QMessageLogContext context(file.isNull() ? nullptr : file.constData(), line,
                                     function.isNull() ? nullptr : function.constData(), "default");
    const QDateTime time(QDate(2021, 3, 4), QTime(17, 6, 7, 89));
    QCOMPARE(formatLogLine(QtMsgType(type), context, QStringLiteral("text"), time, pid), expected);
}

void TestMessageHandler::warningsCarrySourceLocation()
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

void TestMessageHandler::rotationAtThreshold()
{
    {
        QFile log(m_info->logPath);
        QVERIFY(log.open(QIODevice::WriteOnly));
        QVERIFY(log.resize(0x500000 + 1));
        QFile older(m_info->logPath + ".1");
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older rotation\n");
    }
    for (int i = 1; i <= 99; ++i) {
        send(QtInfoMsg, QStringLiteral("message %1").arg(i));
    }
    QVERIFY(QFileInfo(m_info->logPath).size() > 0x500000);
    QCOMPARE(QFileInfo(m_info->logPath + ".1").size(), qint64(15));

    send(QtInfoMsg, QStringLiteral("message 100"));
    // The full log became the one older file, replacing the previous one; the log started anew.
    QVERIFY(QFileInfo(m_info->logPath + ".1").size() > 0x500000);
    QVERIFY(!QFile::exists(m_info->logPath + ".2"));
    QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(QLatin1String(" INFO message 100")));

    // Below the limit the next check leaves the file alone.
    for (int i = 101; i <= 200; ++i) {
        send(QtInfoMsg, QStringLiteral("message %1").arg(i));
    }
    QCOMPARE(logLines().size(), 101);
}

void TestMessageHandler::noRotationAtExactlyThreshold()
{
    {
        QFile log(m_info->logPath);
        QVERIFY(log.open(QIODevice::WriteOnly));
        QVERIFY(log.resize(0x500000 - 5));
    }
    // Four bytes of every line would do; each line is longer, so the file passes the limit
    // after the first line but is looked at only at the 100th.
    send(QtInfoMsg, QStringLiteral("x"));
    for (int i = 2; i <= 99; ++i) {
        send(QtInfoMsg, QStringLiteral("y"));
    }
    QVERIFY(!QFile::exists(m_info->logPath + ".1"));
    send(QtInfoMsg, QStringLiteral("z"));
    QVERIFY(QFile::exists(m_info->logPath + ".1"));

    // A file of exactly 0x500000 bytes is not rotated.
    resetLogFile();
    QVERIFY(QFile::remove(m_info->logPath + ".1"));
    {
        QFile log(m_info->logPath);
        QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(log.resize(0x500000));
    }
    for (int i = 1; i <= 99; ++i) {
        send(QtInfoMsg, QString());
    }
    // Shrink back so that the 100th check sees exactly the limit.
    QVERIFY(QFile::resize(m_info->logPath, 0x500000));
    send(QtInfoMsg, QString());
    QVERIFY(!QFile::exists(m_info->logPath + ".1"));
}

void TestMessageHandler::failedOpenIsRetriedAndReportedOnce()
{
    // The log folder is taken away before the first message.
    QVERIFY(QDir(m_info->logDirectory).removeRecursively());
    StderrCapture err;
    for (int i = 1; i <= 150; ++i) {
        send(QtInfoMsg, QStringLiteral("lost %1").arg(i));
    }
    QVERIFY(QDir().mkpath(m_info->logDirectory));
    for (int i = 151; i <= 199; ++i) {
        send(QtInfoMsg, QStringLiteral("still waiting %1").arg(i));
    }
    QVERIFY(!QFile::exists(m_info->logPath));
    send(QtInfoMsg, QStringLiteral("back 200"));
    send(QtInfoMsg, QStringLiteral("back 201"));
    const QByteArray errors = err.text();
    QCOMPARE(errors.count("Error: cannot open log file: "), 1);
    QVERIFY(errors.contains(("Error: cannot open log file: " + m_info->logPath + "\n").toUtf8()));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).endsWith(QLatin1String("back 200")));
    QVERIFY(lines.at(1).endsWith(QLatin1String("back 201")));
}

void TestMessageHandler::crashServerLines()
{
    const QString path = m_env->cacheHome() + "/breakpad.log";
    QVERIFY(openCrashServerLog(path));
    setLogLevel(LOG_LEVEL_FATAL);
    crashServerMessageHandler(QtDebugMsg, kNoContext, QStringLiteral("a"));
    crashServerMessageHandler(QtWarningMsg, kNoContext, QStringLiteral("b c"));
    crashServerMessageHandler(QtCriticalMsg, kNoContext, QStringLiteral("##c"));
    crashServerMessageHandler(QtInfoMsg, kNoContext, QStringLiteral("Breakpad starting"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QCOMPARE(file.readAll(), QByteArray("Debug:a\nWarning:b c\nCritical:##c\nInfo:Breakpad starting\n"));
}

void TestMessageHandler::fatalEndsProcessAfterItsLine()
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
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains(QLatin1String(" DBG  before")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QLatin1String(" FATAL the end [")), qPrintable(lines.at(1)));
}

// The child of fatalEndsProcessAfterItsLine: level ERROR, a marked debug line, then a fatal one.
static int fatalChild()
{
    static const std::unique_ptr<AppInfo> info = makeInfo();
    AppInfo::publish(info.get());
    setLogLevel(LOG_LEVEL_ERROR);
    qInstallMessageHandler(messageHandler);
    qDebug("## before");
    qWarning("dropped");
    qFatal("the end");
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--fatal-child") == 0) {
        return fatalChild();
    }
    QCoreApplication app(argc, argv);
    TestMessageHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messagehandler.moc"
