#include "core/AppInfo.h"
#include "platform/SingleApplication.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>

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

    // What a start leaves readable to others, in a home of its own with the standard folders.
    // Entries are "path mode" under the home; a path ending in "/" is a folder.
    void privateFiles_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("cacheHome"); // XDG_CACHE_HOME under the home; empty: unset
        QTest::addColumn<QStringList>("after");
        const QString settings = ".config/Varnel/tessarvale.conf";
        const QString database = ".config/example.varnel.tessarvale.db3";
        QTest::newRow("a new account without ~/.config")
                << QStringList() << QString()
                << QStringList{".config/ 700", ".config/Varnel/ 700", settings + " 600", database + " 600",
                               ".cache/ 700", ".cache/tessarvale/ 700", ".cache/tessarvale/tessarvale.log 600",
                               ".cache/Varnel/ 700", ".cache/Varnel/tessarvale/ 700"};
        QTest::newRow("files of an earlier start narrowed, shared folders left")
                << QStringList{".config/ 755", ".config/Varnel/ 755", settings + " 644", database + " 644",
                               ".cache/ 755", ".cache/tessarvale/ 755", ".cache/tessarvale/tessarvale.log 644"}
                << QString()
                << QStringList{".config/ 755", ".config/Varnel/ 755", settings + " 600", database + " 600",
                               ".cache/ 755", ".cache/tessarvale/ 700", ".cache/tessarvale/tessarvale.log 600"};
        // No cache folder can be made (a file is in the way): the log lies in the home, which stays.
        QTest::newRow("log in the home")
                << QStringList{"cache-file 644"} << "cache-file" << QStringList{"/ 755", ".tessarvale.log 600"};
        // Settings kept elsewhere behind a link (a "path -> target" entry): the link is not followed.
        QTest::newRow("settings behind a link")
                << QStringList{"dotfiles/ 755", "dotfiles/tessarvale.conf 644", ".config/Varnel/ 755",
                               settings + " -> dotfiles/tessarvale.conf"}
                << QString() << QStringList{"dotfiles/tessarvale.conf 644"};
        // A cache folder that only mentions the client in its name is not the client's own.
        QTest::newRow("cache folder not named for the client")
                << QStringList{"tessarvale-cache/ 755"} << "tessarvale-cache"
                << QStringList{"tessarvale-cache/ 755", "tessarvale-cache/tessarvale.log 600"};
    }

    void privateFiles()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, cacheHome);
        QFETCH(QStringList, after);
        // Not under a folder named for the client: the log would go to the cache folder itself.
        QTemporaryDir dir(QDir::tempPath() + "/private-files-XXXXXX");
        const QString home = dir.path() + "/home";
        const QString runtime = home + "/runtime";
        QVERIFY(QDir().mkpath(runtime));
        // Qt refuses a runtime folder open to others for the shared one, where clients of other runs
        // hold the single-instance lock.
        QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
        QVERIFY(::chmod(QFile::encodeName(home).constData(), 0755) == 0);
        for (const QString &entry : before) {
            const QString path = home + "/" + entry.section(' ', 0, 0);
            if (entry.section(' ', 1, 1) == "->") {
                QVERIFY(QFile::link(home + "/" + entry.section(' ', 2), path));
                continue;
            }
            if (path.endsWith('/')) {
                QVERIFY(QDir().mkpath(path));
            } else {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
            QVERIFY(::chmod(QFile::encodeName(path).constData(), entry.section(' ', 1).toUInt(nullptr, 8)) == 0);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home);
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            environment.remove(name);
        }
        if (!cacheHome.isEmpty()) {
            environment.insert("XDG_CACHE_HOME", home + "/" + cacheHome);
        }
        environment.insert("XDG_RUNTIME_DIR", runtime);
        QProcess client;
        client.setProcessEnvironment(environment);
        client.setProcessChannelMode(QProcess::ForwardedChannels);
        // The usual umask, which the client must keep: downloaded files take their mode from it.
        const mode_t umaskBefore = ::umask(022);
        client.start(TESSARVALE_EXECUTABLE, QStringList());
        ::umask(umaskBefore);
        QVERIFY(client.waitForStarted());
        const QString settingsFile = home + "/.config/Varnel/tessarvale.conf";
        // The settings are first written at the end of the start.
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(settingsFile).contains("last_start"), 20000);
        const QString status = contentOf(QString("/proc/%1/status").arg(client.processId()));
        QVERIFY2(status.contains(QRegularExpression("\\nUmask:\\s+0022\\n")), qPrintable(status));
        // Held by this client in that folder, not by one of another run in the shared folder.
        const QString lock = SingleApplication::lockPathFor(runtime, AppInfo::forThisBuild().appName);
        qint64 holder = 0;
        QVERIFY2(QLockFile(lock).getLockInfo(&holder, nullptr, nullptr), qPrintable(lock));
        QCOMPARE(holder, client.processId());
        // Everything looked at below is written by then; how the process ends is not the point.
        client.kill();
        QVERIFY(client.waitForFinished(10000));

        // The database was opened: its tables are there.
        const QString database = home + "/.config/example.varnel.tessarvale.db3";
        QVERIFY(QFileInfo(database).size() > 0);
        for (const QString &entry : after) {
            const QString path = home + "/" + entry.section(' ', 0, 0);
            struct stat st = {};
            QVERIFY2(::stat(QFile::encodeName(path).constData(), &st) == 0, qPrintable(path));
            QCOMPARE(QString::number(st.st_mode & 0777, 8) + " " + path, entry.section(' ', 1) + " " + path);
        }
    }

private:
    static QString contentOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

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
