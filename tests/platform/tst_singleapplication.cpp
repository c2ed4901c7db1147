#include "platform/SingleApplication.h"
#include "tests/support/ClientProcess.h"

#include <QtTest>

#include <csignal>

// One instance per user, with the real executable: a second start asks the first to show itself.
class TestSingleApplication : public QObject
{
    Q_OBJECT

private:
    // The first instance, once it listens (its crash handler starts after the lock and socket).
    static qint64 startFirst(ClientHome &home)
    {
        const qint64 pid = home.start()->processId();
        return home.waitForLog(pid, "Started in-process exception handler.") ? pid : 0;
    }
    // A second start: its exit code, how long it took, its log lines.
    static int startSecond(ClientHome &home, qint64 *elapsedMs, QStringList *lines)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        QProcess *second = home.start();
        const qint64 pid = second->processId();
        const bool finished = second->waitForFinished(30000);
        *elapsedMs = elapsed.elapsed();
        *lines = home.logLines(pid);
        return finished && second->exitStatus() == QProcess::NormalExit ? second->exitCode() : -100;
    }

private slots:
    void secondStartWakesFirst_data()
    {
        QTest::addColumn<bool>("staleFirst");        // a killed first instance left its lock and socket
        QTest::addColumn<bool>("deepRuntimeFolder"); // too long for a socket address
        QTest::newRow("first runs") << false << false;
        QTest::newRow("stale lock and socket") << true << false;
        QTest::newRow("deep runtime folder") << false << true;
    }

    void secondStartWakesFirst()
    {
        QFETCH(bool, staleFirst);
        QFETCH(bool, deepRuntimeFolder);
        ClientHome home;
        if (deepRuntimeFolder) {
            home.runtimeFolder += QLatin1Char('/') + QString(110, QLatin1Char('d'));
            QVERIFY(QDir().mkpath(home.runtimeFolder));
            QVERIFY(QFile::setPermissions(home.runtimeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QFile::encodeName(SingleApplication::socketPathFor(home.runtimeFolder, "tessarvale")).size() < 108);
        }
        if (staleFirst) {
            const qint64 killed = startFirst(home);
            QVERIFY(ClientHome::sendSignal(killed, SIGKILL));
            QTRY_VERIFY(!ClientHome::isAlive(killed));
            QVERIFY(QFile::exists(SingleApplication::socketPathFor(home.runtimeFolder, "tessarvale")));
        }
        const qint64 first = startFirst(home);
        QVERIFY(first);
        QCOMPARE(QFile::permissions(SingleApplication::socketPathFor(home.runtimeFolder, "tessarvale")) & 0x0077, 0);

        qint64 elapsed = 0;
        QStringList lines;
        QCOMPARE(startSecond(home, &elapsed, &lines), 0);
        // A prompt answer (plus start-up under load), never the 10 s of a failed send and its warning.
        QVERIFY2(elapsed < 10000, qPrintable(QString::number(elapsed)));
        QVERIFY(!lines.filter(QRegularExpression("handleIsRunning: Send wakeup message: ok \\(\\d+ms\\)$")).isEmpty());
        QVERIFY(home.waitForLog(first, "QtSingleApplication::activateWindow: window: 'MainWindow'"));
        QVERIFY(ClientHome::isAlive(first));
    }

    void stoppedFirstInstance()
    {
        ClientHome home;
        const qint64 first = startFirst(home);
        QVERIFY(ClientHome::sendSignal(first, SIGSTOP));
        qint64 elapsed = 0;
        QStringList lines;
        const int exitCode = startSecond(home, &elapsed, &lines);
        QVERIFY(ClientHome::sendSignal(first, SIGCONT));
        QCOMPARE(exitCode, 0);
        // 100 ms, the 5 s of the send, then the warning's 5 s.
        QVERIFY2(elapsed >= 10100, qPrintable(QString::number(elapsed)));
        QVERIFY(!lines.filter("main: Failed to contact the other Tessarvale instance").isEmpty());
    }

    void runtimeFoldersOfTwoUsers()
    {
        ClientHome one, other;
        QVERIFY(startFirst(one));
        // A second instance would leave before its crash handler starts.
        QVERIFY(startFirst(other));
    }
};

QTEST_GUILESS_MAIN(TestSingleApplication)

#include "tst_singleapplication.moc"
