#include "core/AppInfo.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

// The real executable in a private profile: what its log says from start to shutdown, and the crash
// dumps it offers.
class TestExecutable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(env.isValid());
        // A runtime folder of its own: the single-instance lock of a client in another test is not ours.
        const QString runtime = env.home() + "/runtime";
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.setVar("XDG_RUNTIME_DIR", runtime.toUtf8());
        QCoreApplication::setOrganizationName(AppInfo::forThisBuild().organizationName);
        QCoreApplication::setApplicationName(AppInfo::forThisBuild().appName);
        // The client builds its record before the framework knows its names.
        logPath = AppInfo::logDirectoryFor({env.cacheHome()}, "tessarvale") + "/tessarvale.log";
        cacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QVERIFY(QDir().mkpath(cacheDir));
        QSettings settings;
        settings.setValue("app/log_level", "INFO");
        // An address nobody answers: the version check fails fast and keeps retrying quietly.
        settings.setValue("net/server", "CUSTOM");
    }

    void startAndShutdown_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<int>("newDumps");
        QTest::newRow("German, a dump left") << "de"
                                             << "Dieser Satz ist auf Deutsch." << 1;
        QTest::newRow("English, the dump seen") << "none"
                                                << "This sentence is in English." << 0;
    }

    void startAndShutdown()
    {
        QFETCH(QString, language);
        QFETCH(QString, sentence);
        QFETCH(int, newDumps);
        QSettings().setValue("ui/language", language);
        QSettings().sync();
        const AppInfo info = AppInfo::forThisBuild();
        const QString seen = QString("%1_%2_crash_dump_old.dmp").arg(info.appName, info.version);
        if (newDumps) {
            for (const QString &name : {QString("a.dmp"), seen}) {
                QFile dump(cacheDir + "/" + name);
                QVERIFY(dump.open(QIODevice::WriteOnly));
                dump.write("MDMP");
            }
        }
        QString log;
        runOnce(&log);
        QVERIFY2(log.contains(QString("main: Start: %1 %2 (").arg(info.appName, info.version)), qPrintable(log));
        QVERIFY2(log.contains("Translation test: " + sentence), qPrintable(log));
        QVERIFY(log.trimmed().endsWith("R7Application shutdown"));
        QCOMPARE(log.count("new crash dump(s)"), newDumps);

        // The new dump was renamed once; the one seen before stays as it was.
        const QStringList dumps = QDir(cacheDir).entryList({"*.dmp"}, QDir::Files, QDir::Name);
        QCOMPARE(dumps, QStringList({QString("%1_%2_crash_dump_a.dmp").arg(info.appName, info.version), seen}));
    }

private:
    QString readLog() const
    {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Starts the client, waits for the crash check to have run, then ends it with SIGTERM.

    void runOnce(QString *log)
    {
        QFile::remove(logPath);
        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedChannels);
        client.start(TESSARVALE_EXECUTABLE, QStringList());
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readLog().contains("R7Application::initApp: finished"), 20000);
        // The crash check runs one second after the start.
        QTest::qWait(1500);
        client.terminate();
        QVERIFY(client.waitForFinished(10000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        *log = readLog();
    }

    TestEnv env;
    QString cacheDir;
    QString logPath;
};

QTEST_GUILESS_MAIN(TestExecutable)
#include "tst_executable.moc"
