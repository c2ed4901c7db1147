#include "tests/support/ClientProcess.h"

#include <QtTest>

#include <csignal>

// The crash handler pair of the real executable: a crash leaves a minidump that Breakpad's own
// tools read, written by the "-oop" server or, without it, by the client itself.
class TestCrashHandler : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_symbols;

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

    // minidump_stackwalk's report of the only dump in the folder.
    QString stackOfOnlyDump(const QString &folder)
    {
        const QStringList dumps = QDir(folder).entryList({"*.dmp"}, QDir::Files);
        const QString dump = folder + '/' + dumps.value(0);
        if (dumps.size() != 1 || ((QFile::permissions(dump) | QFile::permissions(folder)) & 0x0077)) {
            return "not one private dump: " + dumps.join(' ');
        }
        QProcess stackwalk;
        stackwalk.start(MINIDUMP_STACKWALK, {dump, m_symbols.path()});
        stackwalk.waitForFinished(60000);
        return QString::fromUtf8(stackwalk.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        // The store's layout: <name>/<id>/<name>.sym, from the first line "MODULE os cpu id name".
        QProcess dumpSyms;
        dumpSyms.start(DUMP_SYMS, {TESSARVALE_EXECUTABLE});
        QVERIFY(dumpSyms.waitForFinished(120000));
        const QByteArray symbols = dumpSyms.readAllStandardOutput();
        const QList<QByteArray> module = symbols.left(symbols.indexOf('\n')).split(' ');
        QCOMPARE(module.size(), 5);
        const QString dir = m_symbols.path() + '/' + module[4] + '/' + module[3];
        QFile file(dir + '/' + module[4] + ".sym");
        QVERIFY(QDir().mkpath(dir) && file.open(QIODevice::WriteOnly) && file.write(symbols) == symbols.size());
    }

    void segvWritesDumpThroughServer()
    {
        ClientHome home;
        QProcess *client = home.start();
        QVERIFY(home.waitForLog(client->processId(), "Started out-of-process exception handler."));
        const qint64 server = ClientHome::serverPidOf(client->processId());
        QVERIFY(server > 0);
        QVERIFY(ClientHome::readFile(home.serverLog).startsWith("Info:Breakpad starting\n"));
        QVERIFY(waitUntilIdle(client->processId()));

        QVERIFY(ClientHome::sendSignal(client->processId(), SIGSEGV));
        QVERIFY(client->waitForFinished(20000));
        QCOMPARE(client->exitStatus(), QProcess::CrashExit);
        // The server leaves once the client has gone: a crash leaves no orphan.
        QTRY_VERIFY(!ClientHome::isAlive(server));
        QVERIFY(ClientHome::readFile(home.serverLog).endsWith("Info:Client exited, exiting too\n"));

        const QString stack = stackOfOnlyDump(home.dumpFolder);
        QVERIFY2(stack.contains("Crash reason:  SIGSEGV"), qPrintable(stack));
        QVERIFY2(stack.contains("tessarvale!main"), qPrintable(stack));
    }

    void serverKilledFirst()
    {
        ClientHome home;
        QProcess *client = home.start();
        QVERIFY(home.waitForLog(client->processId(), "Started out-of-process exception handler."));
        QVERIFY(ClientHome::sendSignal(ClientHome::serverPidOf(client->processId()), SIGKILL));
        QVERIFY(home.waitForLog(client->processId(), "Breakpad process finished, exit code 9 (crashed)"));
        // Back in process: without that a crash would write nothing.
        QVERIFY(home.waitForLog(client->processId(), "Started in-process exception handler.", 2));

        QVERIFY(ClientHome::sendSignal(client->processId(), SIGSEGV));
        QVERIFY(client->waitForFinished(20000));
        const QString stack = stackOfOnlyDump(home.dumpFolder);
        QVERIFY2(stack.contains("tessarvale!main"), qPrintable(stack));
    }

    void unusableDumpFolder()
    {
        ClientHome home;
        QFile blocker(home.dumpFolder);
        QVERIFY(QDir().mkpath(QFileInfo(home.dumpFolder).absolutePath()) && blocker.open(QIODevice::WriteOnly));
        blocker.close();

        QProcess *client = home.start();
        const qint64 pid = client->processId();
        QVERIFY(home.waitForLog(pid, "Breakpad process finished, exit code 201"));
        QVERIFY(home.waitForLog(pid, "CrashHandler: Failed to create dump directory (" + home.dumpFolder + ")"));
        QCOMPARE(client->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestCrashHandler)

#include "tst_crashhandler.moc"
