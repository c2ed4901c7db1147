#include "core/AppInfo.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QtTest>

static AppInfo makeInfo()
{
    return AppInfo("Tessarvale", "tessarvale", "2.2.4", "0123456789abcdef0123456789abcdef01234567", "", "Varnel",
                   "varnel.example", "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel");
}

class TestAppInfo : public QObject
{
    Q_OBJECT
private slots:
    void derivedPaths_data()
    {
        QTest::addColumn<QString>("cacheSuffix");
        QTest::addColumn<QString>("expectedLogDirSuffix");
        // The application name as a whole folder name is kept; inside a longer word it is not.
        QTest::newRow("plain") << "/cache" << QStringLiteral("/cache/tessarvale");
        QTest::newRow("whole word") << "/tessarvale/cache" << QStringLiteral("/tessarvale/cache");
        QTest::newRow("longer word") << "/tessarvalex" << QStringLiteral("/tessarvalex/tessarvale");
        QTest::newRow("case differs") << "/Tessarvale" << QStringLiteral("/Tessarvale/tessarvale");
    }

    void derivedPaths()
    {
        QFETCH(QString, cacheSuffix);
        QFETCH(QString, expectedLogDirSuffix);
        TestEnv env;
        env.setVar("XDG_CACHE_HOME", (env.home() + cacheSuffix).toUtf8());
        const AppInfo info = makeInfo();
        QCOMPARE(info.logDirectory, env.home() + expectedLogDirSuffix);
        QVERIFY(QDir(info.logDirectory).exists());
        QCOMPARE(info.logPath, info.logDirectory + "/tessarvale.log");
        QCOMPARE(info.databasePath, env.configHome() + "/example.varnel.tessarvale.db3");
        QCOMPARE(info.credentialListName(), QStringLiteral("tessarvale.uclist"));
        QCOMPARE(info.legacyDatabaseName(), QStringLiteral(".tessarvale.db3"));
        QCOMPARE(info.legacyLogPath(), env.home() + "/.tessarvale.log");
    }

    void userAgent()
    {
        TestEnv env;
        const QByteArray prefix = "Tessarvale/2.2.4.0123456789abcdef0123456789abcdef01234567 ";
#ifdef Q_OS_LINUX
        QCOMPARE(makeInfo().userAgent, prefix + "linux " + QSysInfo::kernelVersion().toUtf8());
#endif
        // Longer than any fixed buffer would hold.
        const QByteArray longVersion(300, '9');
        const AppInfo info("A Rather Long Display Name Of The Product", "tessarvale", longVersion.constData(),
                           "0123456789abcdef0123456789abcdef01234567", "", "Varnel", "varnel.example", "example.varnel",
                           "https://www.varnel.example", "Tessarvale", 1, "varnel");
        QCOMPARE(info.userAgent, "A Rather Long Display Name Of The Product/" + longVersion +
                                         ".0123456789abcdef0123456789abcdef01234567 " + AppInfo::platformText());
    }

    void unusableCacheFolderGivesHome()
    {
        TestEnv env;
        // A regular file where a folder of the cache path would have to be.
        QVERIFY(QFile(env.home() + "/blocker").open(QIODevice::WriteOnly));
        env.setVar("XDG_CACHE_HOME", (env.home() + "/blocker/cache").toUtf8());
        const AppInfo info = makeInfo();
        QCOMPARE(info.logDirectory, env.home());
        QCOMPARE(info.logFileName, QStringLiteral(".tessarvale.log"));
        QCOMPARE(info.logPath, env.home() + "/.tessarvale.log");
    }

    void noLocationsGiveHome()
    {
        TestEnv env;
        QCOMPARE(AppInfo::databasePathFor({}, "example.varnel", "tessarvale"), env.home() + "/.tessarvale.db3");
        QCOMPARE(AppInfo::databasePathFor({"/c1", "/c2"}, "example.varnel", "tessarvale"),
                 QStringLiteral("/c1/example.varnel.tessarvale.db3"));
        QCOMPARE(AppInfo::logDirectoryFor({}, "tessarvale"), env.home());
        // Only the first cache location counts.
        QCOMPARE(AppInfo::logDirectoryFor({env.home() + "/one", env.home() + "/tessarvale"}, "tessarvale"),
                 env.home() + "/one/tessarvale");
    }

    void thisBuild()
    {
        TestEnv env;
        const AppInfo info = AppInfo::forThisBuild();
        const QString revision = QString::fromLatin1(info.revision);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(revision).hasMatch(), info.revision);
        if (QFileInfo::exists(TestEnv::sourcePath(QStringLiteral(".git")))) {
            // Built from a checkout: the revision is known.
            QVERIFY(revision != QString(40, QLatin1Char('0')));
        }
        QVERIFY(!QByteArray(info.baseUrl).endsWith('/'));
        // The reverse domain is the domain's two labels swapped.
        const QStringList labels = QString::fromLatin1(info.organizationDomain).split(QLatin1Char('.'));
        QCOMPARE(labels.size(), 2);
        QCOMPARE(QString::fromLatin1(info.reverseDomain), labels.at(1) + "." + labels.at(0));
    }
};

// No application object: main builds the record before the framework knows any names, so the
// standard locations carry no application folder.
int main(int argc, char *argv[])
{
    TestAppInfo test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_appinfo.moc"
