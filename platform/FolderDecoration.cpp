#include "platform/FolderDecoration.h"

#include "core/StringUtil.h"

#include <QProcess>
#include <QStandardPaths>

namespace {
const QString kAttribute = QStringLiteral("metadata::custom-icon");
constexpr int kGioTimeoutMs = 5000;
} // namespace

bool FolderDecoration::isAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty();
}

bool FolderDecoration::runGio(const QStringList &arguments, QByteArray *output)
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) {
        qDebug("FolderDecoration: gio is not on the PATH; folder icons are left alone");
        return false;
    }
    QProcess process;
    process.start(gio, arguments);
    if (!process.waitForFinished(kGioTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        qWarning("FolderDecoration: gio did not finish: %s", qUtf8Printable(process.errorString()));
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qDebug("FolderDecoration: gio %s failed: %s", qUtf8Printable(arguments.value(0)),
               StringUtil::escapeNonPrintable(QString::fromLocal8Bit(process.readAllStandardError()).trimmed())
                       .toLocal8Bit()
                       .constData());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

QString FolderDecoration::customIcon(const QString &folder)
{
    QByteArray out;
    if (!runGio({QStringLiteral("info"), QStringLiteral("-a"), kAttribute, QStringLiteral("--"), folder}, &out))
        return QString();
    const QByteArray marker = "  " + kAttribute.toLatin1() + ": ";
    for (const QByteArray &line : out.split('\n')) {
        if (line.startsWith(marker))
            return QString::fromUtf8(line.mid(marker.size())).trimmed();
    }
    return QString();
}

bool FolderDecoration::setCustomIcon(const QString &folder, const QString &iconUri)
{
    return runGio({QStringLiteral("set"), QStringLiteral("--"), folder, kAttribute, iconUri});
}

bool FolderDecoration::unsetCustomIcon(const QString &folder)
{
    return runGio({QStringLiteral("set"), QStringLiteral("-d"), QStringLiteral("--"), folder, kAttribute});
}
