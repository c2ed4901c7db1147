#include "core/AppInfo.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QtTest>

static AppInfo makeInfo(const char *displayName = "Tessarvale", const char *version = "2.2.4")
{
    return AppInfo(displayName, "tessarvale", version, "0123456789abcdef0123456789abcdef01234567", "", "Varnel",
                   "varnel.example", "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel");
}

class TestAppInfo : public QObject
{
    Q_OBJECT
private slots:
    void derivedPaths_data()
    {
        QTest::addColumn<QString>("cacheSuffix");
        QTest::addColumn<QString>("expectedLog"); // below the home folder
        // The application name as a whole folder name is kept; inside a longer word it is not.
        QTest::newRow("plain") << "/cache" << QStringLiteral("/cache/tessarvale/tessarvale.log");
        QTest::newRow("whole word") << "/tessarvale/cache" << QStringLiteral("/tessarvale/cache/tessarvale.log");
        QTest::newRow("longer word") << "/tessarvalex" << QStringLiteral("/tessarvalex/tessarvale/tessarvale.log");
        // A regular file where a folder of the cache path would have to be.
        QTest::newRow("unusable") << "/blocker/cache" << QStringLiteral("/.tessarvale.log");
    }

    void derivedPaths()
    {
        QFETCH(QString, cacheSuffix);
        QFETCH(QString, expectedLog);
        TestEnv env;
        QVERIFY(QFile(env.home() + "/blocker").open(QIODevice::WriteOnly));
        env.setVar("XDG_CACHE_HOME", (env.home() + cacheSuffix).toUtf8());
        const AppInfo info = makeInfo();
        QCOMPARE(info.logPath, env.home() + expectedLog);
        QVERIFY(QDir(info.logDirectory).exists());
        QCOMPARE(info.databasePath, env.configHome() + "/example.varnel.tessarvale.db3");
    }

    void noLocationsGiveHome()
    {
        TestEnv env;
        QCOMPARE(AppInfo::databasePathFor({}, "example.varnel", "tessarvale"), env.home() + "/.tessarvale.db3");
        QCOMPARE(AppInfo::logDirectoryFor({}, "tessarvale"), env.home());
        // Only the first cache location counts.
        QCOMPARE(AppInfo::logDirectoryFor({env.home() + "/one", env.home() + "/tessarvale"}, "tessarvale"),
                 env.home() + "/one/tessarvale");
    }

    void userAgent()
    {
        TestEnv env;
        QCOMPARE(makeInfo().userAgent, "Tessarvale/2.2.4.0123456789abcdef0123456789abcdef01234567 linux " +
                                               QSysInfo::kernelVersion().toUtf8());
        // Longer than any fixed buffer would hold.
        const QByteArray longVersion(300, '9');
        const AppInfo info = makeInfo("A Rather Long Display Name Of The Product", longVersion.constData());
        QCOMPARE(info.userAgent, "A Rather Long Display Name Of The Product/" + longVersion +
                                         ".0123456789abcdef0123456789abcdef01234567 " + AppInfo::platformText());
    }

    void thisBuild()
    {
        TestEnv env;
        const QString revision = QString::fromLatin1(AppInfo::forThisBuild().revision);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(revision).hasMatch(), qPrintable(revision));
        // Built from a checkout: the revision is known.
        if (QFileInfo::exists(TestEnv::sourcePath(QStringLiteral(".git"))))
            QVERIFY(revision != QString(40, QLatin1Char('0')));
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
