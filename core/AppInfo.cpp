#include "core/AppInfo.h"

#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <QOperatingSystemVersion>
#endif

AppInfo::AppInfo(const char *displayName_, const char *appName_, const char *version_, const char *revision_,
                 const char *devStage_, const char *organizationName_, const char *organizationDomain_,
                 const char *reverseDomain_, const char *baseUrl_, const char *productName_, int apiGeneration_,
                 const char *brandKey_)
    : organizationName(organizationName_)
    , organizationDomain(organizationDomain_)
    , reverseDomain(reverseDomain_)
    , displayName(displayName_)
    , appName(appName_)
    , version(version_)
    , revision(revision_)
    , devStage(devStage_)
    , baseUrl(baseUrl_)
    , productName(productName_)
    , apiGeneration(apiGeneration_)
{
    // A growable buffer: the platform part is longer than a Windows version code on other systems.
    userAgent = QByteArray(displayName) + '/' + version + '.' + revision + ' ' + platformText();

    const QString app = QString::fromUtf8(appName);
    databasePath = databasePathFor(QStandardPaths::standardLocations(QStandardPaths::ConfigLocation),
                                   QString::fromUtf8(reverseDomain), app);
    logDirectory = logDirectoryFor(QStandardPaths::standardLocations(QStandardPaths::CacheLocation), app);
    logFileName =
            QStringLiteral("%1%2.log").arg(logDirectory == QDir::homePath() ? QStringLiteral(".") : QString(), app);
    logPath = logDirectory + QLatin1Char('/') + logFileName;
    brandKey = QString::fromUtf8(brandKey_);
}

QString AppInfo::databasePathFor(const QStringList &configLocations, const QString &reverseDomain,
                                 const QString &appName)
{
    if (configLocations.isEmpty()) {
        return QStringLiteral("%1/.%2.db3").arg(QDir::homePath(), appName);
    }
    return QStringLiteral("%1/%2.%3.db3").arg(configLocations.first(), reverseDomain, appName);
}

QString AppInfo::logDirectoryFor(const QStringList &cacheLocations, const QString &appName)
{
    if (!cacheLocations.isEmpty()) {
        QString dir = cacheLocations.first();
        const QRegularExpression wholeWord(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(appName)));
        if (!wholeWord.match(dir).hasMatch()) {
            dir += QLatin1Char('/') + appName;
        }
        // The log names accounts and paths: for the owner's eyes only. A folder of another name
        // (an existing ~/.cache, say) is not ours to narrow.
        if (QDir(dir).exists()) {
            if (QFileInfo(dir).fileName() == appName && QDir(dir) != QDir(QDir::homePath())) {
                PrivateFiles::narrowFolder(dir);
            }
        } else {
            PrivateFiles::makeFolders(dir);
        }
        if (QDir(dir).exists()) {
            return dir;
        }
    }
    return QDir::homePath();
}

AppInfo AppInfo::forThisBuild()
{
    return AppInfo("Tessarvale", "tessarvale", "2.2.4", TESSARVALE_REVISION, "", "Varnel", "varnel.example",
                   "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel");
}

QString AppInfo::credentialListName() const
{
    return QStringLiteral("%1.uclist").arg(QString::fromUtf8(appName));
}

QString AppInfo::legacyDatabaseName() const
{
    return QStringLiteral(".%1.db3").arg(QString::fromUtf8(appName));
}

QString AppInfo::legacyLogPath() const
{
    return QStringLiteral("%1/.%2.log").arg(QDir::homePath(), QString::fromUtf8(appName));
}

QByteArray AppInfo::platformText()
{
#ifdef Q_OS_WIN
    const auto current = QOperatingSystemVersion::current();
    const int major = current.majorVersion();
    const int minor = current.minorVersion();
    QByteArray code;
    if (major < 6 || (major == 6 && minor <= 3)) {
        code = QByteArray::number(major) + '.' + QByteArray::number(minor);
    } else {
        code = QByteArray::number((major << 4) | minor, 16);
    }
    return QByteArray("win32 ") + code;
#else
    return QByteArray("linux ") + QSysInfo::kernelVersion().toUtf8();
#endif
}

namespace {
const AppInfo *s_current = nullptr;
}

const AppInfo *AppInfo::current()
{
    return s_current;
}

void AppInfo::publish(const AppInfo *info)
{
    s_current = info;
}
