#pragma once

#include <QString>
#include <QStringList>

// The one record naming the product, its maker, version and brand, and where the client keeps
// its database and log. Built once in main before the framework knows the application names.
class AppInfo
{
public:
    AppInfo(const char *displayName, const char *appName, const char *version, const char *revision,
            const char *devStage, const char *organizationName, const char *organizationDomain,
            const char *reverseDomain, const char *baseUrl, const char *productName, int apiGeneration,
            const char *brandKey);

    // The values of this build.
    static AppInfo forThisBuild();

    const char *organizationName;
    const char *organizationDomain;
    const char *reverseDomain;
    const char *displayName;
    const char *appName;
    const char *version;
    const char *revision;
    const char *devStage;
    const char *baseUrl;
    const char *productName;

    QByteArray userAgent;
    QString databasePath;
    QString logDirectory;
    QString logFileName;
    QString logPath;
    int apiGeneration;
    QString brandKey;

    QString credentialListName() const;
    QString legacyDatabaseName() const;
    QString legacyLogPath() const;

    // The record that the interface path builders read, published once by the application object.
    static const AppInfo *current();
    static void publish(const AppInfo *info);

    // The derivations of the constructor from the standard locations it reads.
    static QString databasePathFor(const QStringList &configLocations, const QString &reverseDomain,
                                   const QString &appName);
    static QString logDirectoryFor(const QStringList &cacheLocations, const QString &appName);

    // "linux <kernel>" here; "win32 <code>" on Windows.
    static QByteArray platformText();
};
