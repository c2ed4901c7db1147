#include "core/AppInfo.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QtTest>

class TestAppInfo : public QObject
{
    Q_OBJECT

private slots:
    void derivedPaths_data();
    void derivedPaths();
    void userAgentCarriesPlatform();
};

static AppInfo makeInfo()
{
    return AppInfo("Tessarvale", "tessarvale", "2.2.4", "0123456789abcdef0123456789abcdef01234567", "", "Varnel",
                   "varnel.example", "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel");
}

void TestAppInfo::derivedPaths_data()
{
    QTest::addColumn<QString>("cacheSuffix");
    QTest::addColumn<QString>("expectedLogDirSuffix");
    // The application name as a whole folder name is kept; inside a longer word it is not.
    QTest::newRow("plain") << "/cache" << "/cache/tessarvale";
    QTest::newRow("whole word") << "/tessarvale/cache" << "/tessarvale/cache";
    QTest::newRow("longer word") << "/tessarvalex" << "/tessarvalex/tessarvale";
    QTest::newRow("case differs") << "/Tessarvale" << "/Tessarvale/tessarvale";
}

void TestAppInfo::derivedPaths()
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
}

void TestAppInfo::userAgentCarriesPlatform()
{
    TestEnv env;
    const AppInfo info = makeInfo();
    const QByteArray prefix = "Tessarvale/2.2.4.0123456789abcdef0123456789abcdef01234567 ";
    QVERIFY(info.userAgent.startsWith(prefix));
#ifdef Q_OS_LINUX
    QCOMPARE(info.userAgent.mid(prefix.size()), "linux " + QSysInfo::kernelVersion().toUtf8());
#endif
}

// No application object: main builds the record before the framework knows any names, so the
// standard locations carry no application folder.
int main(int argc, char *argv[])
{
    TestAppInfo test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_appinfo.moc"
