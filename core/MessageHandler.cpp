#include "core/MessageHandler.h"

#include "core/AppInfo.h"
#include "core/FileUtil.h"
#include "core/StringUtil.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const qint64 kRotationSize = 0x500000;
const int kSizeCheckInterval = 100;

int s_logLevel = LOG_LEVEL_WARN;
bool s_ownHandler = false;

struct LogState
{
    QMutex mutex;
    QFile file;
    QTextStream stream;
    int messageCount = 0;
    // A failed open is retried at the next size check and reported once per outage.
    bool openFailed = false;
    bool failureReported = false;
};

LogState &state()
{
    static LogState s;
    return s;
}

// Something logged while a line is being written (a file-system warning, say) must not take the
// lock again; it goes to standard error instead.
thread_local bool t_insideHandler = false;

bool isAlwaysWritten(const QString &text)
{
    return text.startsWith(QLatin1String("##"));
}

QString stripAlwaysMarker(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("^##\\s*"));
    QString out = text;
    return out.remove(marker);
}

// Every message is escaped here, whoever wrote it and whatever the service sent: a line break in
// a message can never start a line of its own. Escaped text is printable, so text a caller escaped
// already comes out unchanged. Line breaks that end a message stay (a blank line forges nothing).
// The line and paragraph separators are printable, but the Log window breaks lines at them.
QString escapedForLog(const QString &text)
{
    int end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char('\n')) {
        --end;
    }
    QString escaped = StringUtil::escapeNonPrintable(text.left(end));
    escaped.replace(QChar(QChar::LineSeparator), QLatin1String("\\u2028"));
    escaped.replace(QChar(QChar::ParagraphSeparator), QLatin1String("\\u2029"));
    return escaped + text.mid(end);
}

// The log names accounts and paths: a new file is created for the owner only, an older one is
// narrowed to that.
bool openPrivately(QFile &file)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::close(fd);
    }
#endif
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

void openLogFile(LogState &s)
{
    const AppInfo *info = AppInfo::current();
    if (!info || info->logPath.isEmpty()) {
        return;
    }
    s.file.setFileName(info->logPath);
    if (openPrivately(s.file)) {
        s.stream.setDevice(&s.file);
        s.openFailed = false;
        s.failureReported = false;
        return;
    }
    s.openFailed = true;
    if (!s.failureReported) {
        s.failureReported = true;
        std::fprintf(stderr, "Error: cannot open log file: %s\n", qUtf8Printable(s.file.fileName()));
        std::fflush(stderr);
    }
}

void closeLogFile(LogState &s)
{
    if (s.file.isOpen()) {
        s.stream.flush();
        s.stream.setDevice(nullptr);
        s.file.close();
    }
}

} // namespace

int logLevelFromString(const QString &text)
{
    if (text == QLatin1String("INFO")) {
        return LOG_LEVEL_INFO;
    }
    if (text == QLatin1String("ERROR")) {
        return LOG_LEVEL_ERROR;
    }
    if (text == QLatin1String("FATAL")) {
        return LOG_LEVEL_FATAL;
    }
    return LOG_LEVEL_WARN;
}

int *logLevelPointer()
{
    return &s_logLevel;
}

void setLogLevel(int level)
{
    s_logLevel = level;
}

QtMessageHandler installMessageHandler(QtMessageHandler handler)
{
    s_ownHandler = handler == messageHandler;
    return qInstallMessageHandler(handler);
}

bool isDebugLogged()
{
    return !s_ownHandler || s_logLevel <= LOG_LEVEL_INFO || s_logLevel == LOG_LEVEL_FATAL;
}

QString formatLogLine(QtMsgType type, const QMessageLogContext &context, const QString &text, const QDateTime &time,
                      qint64 processId)
{
    const QString stamp = time.toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz"));
    const QString pid = QStringLiteral("%1").arg(processId, 5);
    QString format;
    switch (type) {
    case QtDebugMsg:
        format = QStringLiteral("[%1] %2 DBG  %3");
        break;
    case QtInfoMsg:
        format = QStringLiteral("[%1] %2 INFO %3");
        break;
    case QtWarningMsg:
        format = QStringLiteral("[%1] %2 WARN  %3");
        break;
    case QtCriticalMsg:
        format = QStringLiteral("[%1] %2 ERROR %3");
        break;
    case QtFatalMsg:
        format = QStringLiteral("[%1] %2 FATAL %3");
        break;
    }
    QString line = format.arg(stamp, pid, text);
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
        QString file = context.file ? QString::fromUtf8(context.file) : QString();
        file = file.mid(qMax(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\'))) + 1);
        if (file.isEmpty()) {
            file = QStringLiteral(".");
        }
        const QString function = context.function ? QString::fromUtf8(context.function) : QString();
        line += QStringLiteral(" [%1:%2] [%3]").arg(file).arg(context.line).arg(function);
    }
    return line;
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // The message type numbers order debug < warning < critical < fatal < info.
    const int level = s_logLevel;
    const bool always = isAlwaysWritten(text);
    if (int(type) < level && level != LOG_LEVEL_FATAL && !always) {
        return;
    }
    const QString message = escapedForLog(always ? stripAlwaysMarker(text) : text);

    if (t_insideHandler) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
        if (type == QtFatalMsg) {
            std::abort();
        }
        return;
    }
    t_insideHandler = true;
    {
        LogState &s = state();
        QMutexLocker lock(&s.mutex);
        ++s.messageCount;
        const bool sizeCheck = s.messageCount % kSizeCheckInterval == 0;
        if (sizeCheck && s.file.isOpen() && s.file.size() > kRotationSize) {
            const QString name = s.file.fileName();
            closeLogFile(s);
            FileUtil::rotateFile(name, 1);
        }
        if (!s.file.isOpen() && (!s.openFailed || sizeCheck)) {
            openLogFile(s);
        }
        if (s.file.isOpen()) {
            s.stream << formatLogLine(type, context, message, QDateTime::currentDateTime(),
                                      QCoreApplication::applicationPid())
                     << '\n';
            s.stream.flush();
        }
    }
    t_insideHandler = false;

    if (type == QtFatalMsg) {
        std::abort();
    }
}

bool openCrashServerLog(const QString &path)
{
    LogState &s = state();
    QMutexLocker lock(&s.mutex);
    closeLogFile(s);
    s.file.setFileName(path);
    if (!openPrivately(s.file)) {
        return false;
    }
    s.stream.setDevice(&s.file);
    return true;
}

void crashServerMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const char *word = "Debug";
    switch (type) {
    case QtDebugMsg:
        word = "Debug";
        break;
    case QtWarningMsg:
        word = "Warning";
        break;
    case QtCriticalMsg:
        word = "Critical";
        break;
    case QtFatalMsg:
        word = "Fatal";
        break;
    case QtInfoMsg:
        word = "Info";
        break;
    }
    if (!t_insideHandler) {
        t_insideHandler = true;
        LogState &s = state();
        QMutexLocker lock(&s.mutex);
        if (s.file.isOpen()) {
            s.stream << word << ':' << escapedForLog(text) << '\n';
            s.stream.flush();
        }
        t_insideHandler = false;
    }
    if (type == QtFatalMsg) {
        std::abort();
    }
}

void resetLogFile()
{
    LogState &s = state();
    QMutexLocker lock(&s.mutex);
    closeLogFile(s);
    s.messageCount = 0;
    s.openFailed = false;
    s.failureReported = false;
}
