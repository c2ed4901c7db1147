#include "platform/SingleApplication.h"
#include "tests/support/ClientProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// One instance per user, with the real executable: a second start asks the first to show itself.
class TestSingleApplication : public QObject
{
    Q_OBJECT

private:
    // Waits until the first instance listens (its crash handler starts after the lock and socket).
    static QProcess *startFirst(ClientHome &home)
    {
        QProcess *first = home.start();
        if (!home.waitForLog(first->processId(), QStringLiteral("Started in-process exception handler."))) {
            return nullptr;
        }
        return first;
    }

private slots:
    void secondStartWakesFirst();
    void staleLockAndSocketDoNotStopFirst();
    void stoppedFirstInstance();
    void runtimeFoldersOfTwoUsers();
};

void TestSingleApplication::secondStartWakesFirst()
{
    ClientHome home;
    QProcess *first = startFirst(home);
    QVERIFY(first);
    QCOMPARE(QFile::permissions(SingleApplication::socketPathFor(home.runtimeFolder(), "tessarvale")) & 0x0077, 0);

    QElapsedTimer elapsed;
    elapsed.start();
    QProcess *second = home.start();
    const qint64 secondPid = second->processId();
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    // The information box's 100 ms and a prompt answer, never the 5 s of a failed send.
    QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));

    const QStringList lines = home.logLines(secondPid);
    QVERIFY(!lines.filter("main: Tessarvale runs already").isEmpty());
    QVERIFY(!lines.filter(QRegularExpression("handleIsRunning: Send wakeup message: ok \\(\\d+ms\\)$")).isEmpty());
    QVERIFY(lines.filter("Failed to contact").isEmpty());
    // The second start never gets as far as the crash handler.
    QVERIFY(lines.filter("exception handler").isEmpty());
    QVERIFY(home.waitForLog(first->processId(), "QtSingleApplication::activateWindow: window: 'MainWindow'"));
    QVERIFY(home.waitForLog(first->processId(), "QtSingleApplication::activateWindow: window: isHidden:0 isVisible:1 "
                                                "isMaximized:0 isMinimized:0"));
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleApplication::staleLockAndSocketDoNotStopFirst()
{
    ClientHome home;
    // A socket nobody listens on, and a lock whose holder has ended.
    const QByteArray socketPath =
            QFile::encodeName(SingleApplication::socketPathFor(home.runtimeFolder(), "tessarvale"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    QProcess ended;
    ended.start("true", QStringList());
    const qint64 deadPid = ended.processId();
    QVERIFY(ended.waitForFinished() && deadPid > 0);
    QFile lock(SingleApplication::lockPathFor(home.runtimeFolder(), "tessarvale"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + "\ntessarvale\n\n");
    lock.close();

    QProcess *first = startFirst(home);
    QVERIFY(first);
    QVERIFY(home.logLines(first->processId()).filter("runs already").isEmpty());
    QProcess *second = home.start();
    const qint64 secondPid = second->processId();
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(!home.logLines(secondPid).filter("Send wakeup message: ok").isEmpty());
}

void TestSingleApplication::stoppedFirstInstance()
{
    ClientHome home;
    QProcess *first = startFirst(home);
    QVERIFY(first);
    QVERIFY(ClientHome::sendSignal(first->processId(), SIGSTOP));

    QElapsedTimer elapsed;
    elapsed.start();
    QProcess *second = home.start();
    const qint64 secondPid = second->processId();
    const bool finished = second->waitForFinished(30000);
    QVERIFY(ClientHome::sendSignal(first->processId(), SIGCONT));
    QVERIFY(finished);
    QCOMPARE(second->exitCode(), 0);
    // 100 ms, the 5 s of the send, then the warning's 5 s.
    QVERIFY2(elapsed.elapsed() >= 10100, qPrintable(QString::number(elapsed.elapsed())));
    const QStringList lines = home.logLines(secondPid);
    QVERIFY(!lines.filter(QRegularExpression("Send wakeup message: failed \\(5\\d\\d\\dms\\)$")).isEmpty());
    QVERIFY(!lines.filter("main: Failed to contact the other Tessarvale instance").isEmpty());
}

void TestSingleApplication::runtimeFoldersOfTwoUsers()
{
    ClientHome one;
    ClientHome other;
    QProcess *first = startFirst(one);
    QVERIFY(first);
    QProcess *second = startFirst(other);
    QVERIFY(second);
    QVERIFY(other.logLines(second->processId()).filter("runs already").isEmpty());
    QCOMPARE(second->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestSingleApplication)

#include "tst_singleapplication.moc"
