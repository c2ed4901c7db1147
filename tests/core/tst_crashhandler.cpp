#include "tests/support/ClientProcess.h"

#include <QtTest>

#include <csignal>

// The crash handler pair of the real executable: a crash leaves a minidump that Breakpad's own
// tools read, written by the "-oop" server or, without it, by the client itself.
class TestCrashHandler : public QObject
{
    Q_OBJECT

private:
    // A signal that lands while the main thread is inside a library without unwind data (fonts are
    // still being loaded at start) leaves no frame of ours in the walked stack: wait until the client
    // has used no processor time for a while, so its main thread sleeps in the event loop.
    static bool waitUntilIdle(qint64 pid)
    {
        qint64 lastTicks = -1;
        int quietRounds = 0;
        for (int round = 0; round < 200 && quietRounds < 8; ++round) {
            QFile stat(QString("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly)) {
                return false;
            }
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
            quietRounds = ticks == lastTicks ? quietRounds + 1 : 0;
            lastTicks = ticks;
            QTest::qWait(100);
        }
        return quietRounds >= 8;
    }

    // minidump_stackwalk's report of the one dump in the folder, with the executable's symbols.
    QString stackOfOnlyDump(const QString &folder)
    {
        const QStringList dumps = QDir(folder).entryList({"*.dmp"}, QDir::Files);
        if (dumps.size() != 1) {
            return "dumps: " + dumps.join(' ');
        }
        const QString dump = folder + '/' + dumps.first();
        if ((QFile::permissions(dump) | QFile::permissions(folder)) & 0x0077) {
            return "readable by others";
        }
        if (m_symbols.isEmpty()) {
            // The layout the tool looks for: <store>/<name>/<id>/<name>.sym.
            QProcess dumpSyms;
            dumpSyms.start(DUMP_SYMS, {TESSARVALE_EXECUTABLE});
            dumpSyms.waitForFinished(120000);
            const QByteArray symbols = dumpSyms.readAllStandardOutput();
            const QList<QByteArray> module = symbols.left(symbols.indexOf('\n')).split(' ');
            if (module.size() != 5) {
                return "no symbols";
            }
            const QString dir = m_store.path() + '/' + module[4] + '/' + module[3];
            QDir().mkpath(dir);
            QFile file(dir + '/' + module[4] + ".sym");
            file.open(QIODevice::WriteOnly);
            file.write(symbols);
            m_symbols = dir;
        }
        QProcess stackwalk;
        stackwalk.start(MINIDUMP_STACKWALK, {dump, m_store.path()});
        stackwalk.waitForFinished(60000);
        return QString::fromUtf8(stackwalk.readAllStandardOutput());
    }

    QTemporaryDir m_store;
    QString m_symbols;

private slots:
    void segvWritesDumpThroughServer();
    void serverKilledFirst();
    void unusableDumpFolder();
};

void TestCrashHandler::segvWritesDumpThroughServer()
{
    ClientHome home;
    QProcess *client = home.start();
    QVERIFY(home.waitForLog(client->processId(), "Started out-of-process exception handler."));
    const qint64 server = ClientHome::serverPidOf(client->processId());
    QVERIFY(server > 0);
    QVERIFY(ClientHome::readFile(home.serverLogPath()).startsWith("Info:Breakpad starting\n"));
    QVERIFY(waitUntilIdle(client->processId()));

    QVERIFY(ClientHome::sendSignal(client->processId(), SIGSEGV));
    QVERIFY(client->waitForFinished(20000));
    QCOMPARE(client->exitStatus(), QProcess::CrashExit);
    // The server leaves once the client has gone, so no crash leaves an orphan.
    QTRY_VERIFY_WITH_TIMEOUT(ClientHome::readFile(home.serverLogPath()).contains("Info:Client exited, exiting too"),
                             10000);
    QTRY_VERIFY(!ClientHome::isAlive(server));
    QVERIFY(ClientHome::readFile(home.serverLogPath())
                    .contains(QRegularExpression("Warning:Client dump requested to  \"" +
                                                 QRegularExpression::escape(home.dumpFolder()) +
                                                 "/[-0-9a-f]+\\.dmp\"")));

    const QString stack = stackOfOnlyDump(home.dumpFolder());
    QVERIFY2(stack.contains("Crash reason:  SIGSEGV"), qPrintable(stack));
    QVERIFY2(stack.contains("tessarvale!main"), qPrintable(stack));
}

void TestCrashHandler::serverKilledFirst()
{
    ClientHome home;
    QProcess *client = home.start();
    QVERIFY(home.waitForLog(client->processId(), "Started out-of-process exception handler."));
    const qint64 server = ClientHome::serverPidOf(client->processId());
    QVERIFY(server > 0);
    QVERIFY(ClientHome::sendSignal(server, SIGKILL));
    QVERIFY(home.waitForLog(client->processId(), "Breakpad process finished, exit code 9 (crashed)"));
    // Back in process: without that a crash would write nothing.
    QVERIFY(home.waitForLog(client->processId(), "Started in-process exception handler.", 10000, 2));

    QVERIFY(ClientHome::sendSignal(client->processId(), SIGSEGV));
    QVERIFY(client->waitForFinished(20000));
    QCOMPARE(client->exitStatus(), QProcess::CrashExit);
    const QString stack = stackOfOnlyDump(home.dumpFolder());
    QVERIFY2(stack.contains("tessarvale!main"), qPrintable(stack));
}

void TestCrashHandler::unusableDumpFolder()
{
    ClientHome home;
    QDir().mkpath(QFileInfo(home.dumpFolder()).absolutePath());
    QFile blocker(home.dumpFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QProcess *client = home.start();
    const qint64 pid = client->processId();
    QVERIFY(home.waitForLog(pid, "Breakpad process finished, exit code 201"));
    QVERIFY(!home.logLines(pid)
                     .filter("CrashHandler: Failed to create dump directory (" + home.dumpFolder() + ")")
                     .isEmpty());
    QVERIFY(home.logLines(pid).filter("exception handler.").isEmpty());
    QCOMPARE(client->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestCrashHandler)

#include "tst_crashhandler.moc"
