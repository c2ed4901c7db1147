#include "platform/StartOnStartup.h"

#include "core/AppInfo.h"
#include "core/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

struct Entry
{
    bool exists = false;
    bool hidden = false;
    QString exec;
};

// The string escapes of a value ("\s", "\n", "\t", "\r", "\\").
QString unescapeValue(const QString &value)
{
    QString out;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c;
            out += next;
            break;
        }
    }
    return out;
}

QString escapeValue(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

Entry readEntry(const QString &path)
{
    Entry entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return entry;
    }
    entry.exists = true;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || line.startsWith(QLatin1Char('#')) || equals < 0) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = unescapeValue(line.mid(equals + 1).trimmed());
        if (key == QLatin1String("Exec")) {
            entry.exec = value;
        } else if (key == QLatin1String("Hidden")) {
            entry.hidden = value == QLatin1String("true");
        }
    }
    return entry;
}

QString thisProgram()
{
    return QCoreApplication::applicationFilePath();
}

bool pointsHere(const Entry &entry)
{
    return entry.exists && !entry.exec.isEmpty() && StartOnStartup::programOfExec(entry.exec) == thisProgram();
}

} // namespace

QString StartOnStartup::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/") +
           QCoreApplication::applicationName() + QStringLiteral(".desktop");
}

QString StartOnStartup::entryContent(const QString &program)
{
    const AppInfo *info = AppInfo::current();
    const QString name = info ? QString::fromUtf8(info->displayName) : QCoreApplication::applicationName();
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nTerminal=false\n")
            .arg(escapeValue(name), escapeValue(execValue(program)));
}

QString StartOnStartup::execValue(const QString &program)
{
    // Inside quotes '"', '`', '$' and '\' take a backslash; '%' is doubled as a field code would
    // be read otherwise. The string escapes of the value come on top (see escapeValue).
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        } else if (c == QLatin1Char('%')) {
            quoted += QLatin1Char('%');
        }
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString StartOnStartup::programOfExec(const QString &exec)
{
    QString program;
    const QString text = exec.trimmed();
    int i = 0;
    if (text.startsWith(QLatin1Char('"'))) {
        for (i = 1; i < text.size(); ++i) {
            QChar c = text.at(i);
            if (c == QLatin1Char('"')) {
                return program;
            }
            if (c == QLatin1Char('\\') && i + 1 < text.size()) {
                c = text.at(++i);
            } else if (c == QLatin1Char('%') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('%')) {
                ++i;
            }
            program += c;
        }
        return QString(); // no closing quote
    }
    for (; i < text.size() && !text.at(i).isSpace(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('%')) {
            ++i;
        }
        program += text.at(i);
    }
    return program;
}

bool StartOnStartup::isEnabled()
{
    const Entry entry = readEntry(entryPath());
    return pointsHere(entry) && !entry.hidden;
}

bool StartOnStartup::enable()
{
    if (isEnabled()) {
        return true;
    }
    const QString path = entryPath();
    const QString content = entryContent(thisProgram());
    QSaveFile file(path);
    const bool written = PrivateFiles::makeFolders(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
                         file.write(content.toUtf8()) >= 0 && file.commit();
    if (!written) {
        qWarning("StartOnStartup::enable: Cannot write %s: %s", qUtf8Printable(path),
                 qUtf8Printable(file.errorString()));
    }
    return written;
}

bool StartOnStartup::disable()
{
    // A hidden entry stays: it may be the user's way of hiding a system-wide one.
    if (!isEnabled()) {
        return true;
    }
    const QString path = entryPath();
    QFile file(path);
    if (!file.remove()) {
        qWarning("StartOnStartup::disable: Cannot remove %s: %s", qUtf8Printable(path),
                 qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}
