#include "platform/StartOnStartup.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestStartOnStartup : public QObject
{
    Q_OBJECT

private:
    static void writeEntry(const QString &body)
    {
        QDir().mkpath(QFileInfo(StartOnStartup::entryPath()).absolutePath());
        QFile file(StartOnStartup::entryPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body.toUtf8());
    }
    static QString thisExec() { return StartOnStartup::execValue(QCoreApplication::applicationFilePath()); }

private slots:
    void entryContent_data();
    void entryContent();
    void enableAndDisable();
    void foreignEntries_data();
    void foreignEntries();
    void unwritableFolder_data();
    void unwritableFolder();
};

void TestStartOnStartup::entryContent_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec"); // as the file holds it
    QTest::newRow("plain") << "/usr/bin/tessarvale"
                           << "\"/usr/bin/tessarvale\"";
    QTest::newRow("spaces") << "/opt/My Apps/tessarvale"
                            << "\"/opt/My Apps/tessarvale\"";
    // Inside quotes '"' becomes \" and the string escape doubles that backslash.
    QTest::newRow("quotes") << "/opt/say \"hi\"/t"
                            << "\"/opt/say \\\\\"hi\\\\\"/t\"";
    QTest::newRow("percent") << "/opt/100% sure/t"
                             << "\"/opt/100%% sure/t\"";
    QTest::newRow("dollar, backtick") << "/opt/$x`y`/t"
                                      << "\"/opt/\\\\$x\\\\`y\\\\`/t\"";
    QTest::newRow("backslash") << "/opt/a\\b/t"
                               << "\"/opt/a\\\\\\\\b/t\"";
}

void TestStartOnStartup::entryContent()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(StartOnStartup::entryContent(program),
             "[Desktop Entry]\nType=Application\nName=tessarvale\nExec=" + exec + "\nTerminal=false\n");
    // Read back (string escapes first, then the quoting), the entry names the same program.
    exec.replace("\\\\", "\\");
    QCOMPARE(StartOnStartup::programOfExec(exec), program);
}

void TestStartOnStartup::enableAndDisable()
{
    TestEnv env;
    QVERIFY(!StartOnStartup::isEnabled());
    QVERIFY(StartOnStartup::disable());
    QVERIFY(!QFile::exists(StartOnStartup::entryPath()));

    QVERIFY(StartOnStartup::enable());
    QCOMPARE(StartOnStartup::entryPath(), env.configHome() + "/autostart/tessarvale.desktop");
    QVERIFY(StartOnStartup::isEnabled());
    // A second enable writes nothing: the file is the same one.
    struct stat before, after;
    QCOMPARE(::stat(QFile::encodeName(StartOnStartup::entryPath()), &before), 0);
    QVERIFY(StartOnStartup::enable());
    QCOMPARE(::stat(QFile::encodeName(StartOnStartup::entryPath()), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);

    QVERIFY(StartOnStartup::disable());
    QVERIFY(!QFile::exists(StartOnStartup::entryPath()));
    QVERIFY(!StartOnStartup::isEnabled());
}

void TestStartOnStartup::foreignEntries_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("other program") << "[Desktop Entry]\nType=Application\nExec=\"/opt/other/tessarvale\"\n";
    QTest::newRow("this program, hidden") << "[Desktop Entry]\nExec=" + thisExec() + "\nHidden=true\n";
    QTest::newRow("this program, other group")
            << "[Other]\nExec=" + thisExec() + "\n[Desktop Entry]\nType=Application\n";
    QTest::newRow("unclosed quote") << "[Desktop Entry]\nExec=\"" + QCoreApplication::applicationFilePath() + "\n";
    QTest::newRow("argument appended to the path")
            << "[Desktop Entry]\nExec=" + QCoreApplication::applicationFilePath() + "x\n";
}

void TestStartOnStartup::foreignEntries()
{
    QFETCH(QString, body);
    TestEnv env;
    writeEntry(body);
    QVERIFY(!StartOnStartup::isEnabled());
    // Disable leaves an entry that is not ours, or that hides a system-wide one, in place.
    QVERIFY(StartOnStartup::disable());
    QFile entry(StartOnStartup::entryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(entry.readAll()), body);
    entry.close();
    QVERIFY(StartOnStartup::enable());
    QVERIFY(StartOnStartup::isEnabled());
}

void TestStartOnStartup::unwritableFolder_data()
{
    QTest::addColumn<bool>("readOnlyFolder"); // otherwise the folder's name is taken by a file
    QTest::newRow("read-only folder") << true;
    QTest::newRow("file in the way") << false;
}

void TestStartOnStartup::unwritableFolder()
{
    QFETCH(bool, readOnlyFolder);
    if (readOnlyFolder && ::geteuid() == 0) {
        QSKIP("root writes into read-only folders");
    }
    TestEnv env;
    const QString folder = env.configHome() + "/autostart";
    if (readOnlyFolder) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    LogCapture log;
    QVERIFY(!StartOnStartup::enable());
    QVERIFY(!StartOnStartup::isEnabled());
    QVERIFY(log.contains("StartOnStartup::enable: Cannot write " + StartOnStartup::entryPath()));
    if (readOnlyFolder) {
        // An entry that is there cannot be removed either.
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(StartOnStartup::enable());
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!StartOnStartup::disable());
        QVERIFY(log.contains("StartOnStartup::disable: Cannot remove"));
        QVERIFY(StartOnStartup::isEnabled());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale"));
    TestStartOnStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startonstartup.moc"
