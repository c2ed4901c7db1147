#include "platform/StartOnStartup.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

#include <unistd.h>

class TestStartOnStartup : public QObject
{
    Q_OBJECT

private:
    static QString readEntry()
    {
        QFile file(StartOnStartup::entryPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void entryContent_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec"); // as the file holds it
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

    void entryContent()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(StartOnStartup::entryContent(program),
                 "[Desktop Entry]\nType=Application\nName=tessarvale\nExec=" + exec + "\nTerminal=false\n");
        // Read back (string escapes first, then the quoting), the entry names the same program.
        QCOMPARE(StartOnStartup::programOfExec(exec.replace("\\\\", "\\")), program);
    }

    void entries_data()
    {
        const QString self = QCoreApplication::applicationFilePath();
        QTest::addColumn<QString>("entry"); // empty: none
        QTest::addColumn<bool>("enabled");
        QTest::newRow("none") << QString() << false;
        QTest::newRow("this program") << StartOnStartup::entryContent(self) << true;
        QTest::newRow("this program, unquoted") << "[Desktop Entry]\nExec=" + self + "\n" << true;
        QTest::newRow("other program") << "[Desktop Entry]\nExec=\"/opt/other/tessarvale\"\n" << false;
        QTest::newRow("hidden") << StartOnStartup::entryContent(self) + "Hidden=true\n" << false;
        QTest::newRow("other group") << "[Other]\nExec=" + self + "\n[Desktop Entry]\nType=Application\n" << false;
        QTest::newRow("unclosed quote") << "[Desktop Entry]\nExec=\"" + self + "\n" << false;
        QTest::newRow("longer path") << "[Desktop Entry]\nExec=" + self + "x\n" << false;
    }

    void entries()
    {
        QFETCH(QString, entry);
        QFETCH(bool, enabled);
        TestEnv env;
        if (!entry.isEmpty()) {
            QDir().mkpath(env.configHome() + "/autostart");
            QFile file(StartOnStartup::entryPath());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(entry.toUtf8()) > 0);
        }
        QCOMPARE(StartOnStartup::isEnabled(), enabled);
        // Only an enabled entry goes: another program's stays, and a hidden one may hide a system-wide one.
        QVERIFY(StartOnStartup::disable());
        QCOMPARE(readEntry(), enabled ? QString() : entry);
        QVERIFY(!StartOnStartup::isEnabled());

        QVERIFY(StartOnStartup::enable());
        QVERIFY(StartOnStartup::isEnabled());
        QCOMPARE(readEntry(), StartOnStartup::entryContent(QCoreApplication::applicationFilePath()));
    }

    void unwritableFolder()
    {
        TestEnv env;
        const QString folder = env.configHome() + "/autostart";
        LogCapture log;
        // Root writes into read-only folders; a file in the folder's place stops everyone.
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!StartOnStartup::enable());
        QVERIFY(!StartOnStartup::isEnabled());
        QVERIFY(log.contains("StartOnStartup::enable: Cannot write " + StartOnStartup::entryPath()));
        if (::geteuid() == 0) {
            return;
        }
        QVERIFY(blocker.remove() && QDir().mkpath(folder) && StartOnStartup::enable());
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!StartOnStartup::disable());
        QVERIFY(StartOnStartup::isEnabled());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale"));
    TestStartOnStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startonstartup.moc"
