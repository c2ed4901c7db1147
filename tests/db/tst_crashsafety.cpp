#include "core/AppInfo.h"
#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {

const int kBatchRows = 500;

FsObject entry(const QString &path)
{
    return FsObject("oid", path, 42, QDateTime::fromMSecsSinceEpoch(1480000000000LL),
                    QDateTime::fromMSecsSinceEpoch(1480000000001LL), "", "f", "sha256:abcdef");
}

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The writer that gets killed: the same store and transactions as the synchroniser's batches.
int runChild(const QString &mode, const QString &path)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    AppInfo info = AppInfo::forThisBuild();
    info.databasePath = path;
    R7Database *database = R7Database::instance();
    database->init(&info);
    // A small page cache makes the batch reach the file itself before it commits, so the crash
    // leaves a half-written file that only the journal can repair.
    QSqlQuery().exec(QStringLiteral("PRAGMA cache_size = 8"));
    if (mode == QLatin1String("hold")) {
        database->transaction();
        for (int i = 0; i < 4 * kBatchRows; ++i)
            FileObjectDao::instance()->store(entry(QStringLiteral("held/%1").arg(i)), 1);
        say("mid-batch");
        std::getchar(); // waits for the kill
        return 1;
    }
    for (int batch = 1;; ++batch) {
        database->transaction();
        for (int i = 0; i < kBatchRows; ++i)
            FileObjectDao::instance()->store(entry(QStringLiteral("batch/%1").arg(i)), batch);
        database->commit();
        say("committed " + QByteArray::number(batch));
    }
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedWithBatchOpen();
    void killedWhileWriting();

private:
    // Starts the writer and waits until it printed a line starting with the marker.
    static bool startChild(QProcess &child, const QString &mode, const QString &path, const QByteArray &marker)
    {
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--crash-child"), mode, path});
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start();
        if (!child.waitForStarted(10000))
            return false;
        QByteArray seen;
        while (!seen.contains(marker)) {
            if (!child.waitForReadyRead(15000))
                return false;
            seen += child.readAllStandardOutput();
        }
        return true;
    }

    static void kill(QProcess &child)
    {
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    }

    static void verifyIntact(TestDatabase &db)
    {
        QCOMPARE(db.rawColumn("PRAGMA integrity_check"), QStringList{"ok"});
        QCOMPARE(db.rawValue("SELECT db_version FROM db_info").toString(), QStringLiteral("1.0.1"));
    }
};

void TestCrashSafety::killedWithBatchOpen()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    for (int i = 0; i < 10; ++i)
        FileObjectDao::instance()->store(entry(QStringLiteral("before/%1").arg(i)), 1);

    QProcess child;
    QVERIFY(startChild(child, "hold", db.path(), "mid-batch"));
    // The batch is on its way into the file: the journal holds what it overwrote.
    QVERIFY(QFile::exists(db.path() + "-journal"));
    kill(child);

    verifyIntact(db);
    QCOMPARE(db.rawValue("SELECT count(*) FROM fs_object WHERE path LIKE 'held/%'").toInt(), 0);
    QCOMPARE(db.rawValue("SELECT count(*) FROM fs_object WHERE path LIKE 'before/%'").toInt(), 10);
    db.closeRaw();

    QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
    db.open();
    QCOMPARE(incompatible.count(), 0);
    QCOMPARE(FileObjectDao::instance()->loadAll(1).size(), 10);
}

void TestCrashSafety::killedWhileWriting()
{
    TestEnv env;
    TestDatabase db;
    db.open();

    QProcess child;
    QVERIFY(startChild(child, "loop", db.path(), "committed 3"));
    kill(child);

    verifyIntact(db);
    const QStringList counts = db.rawColumn("SELECT count(*) FROM fs_object GROUP BY setting_id ORDER BY setting_id");
    QVERIFY(counts.size() >= 3);
    for (const QString &count : counts)
        QCOMPARE(count.toInt(), kBatchRows); // every batch whole, or not there at all
    QCOMPARE(db.rawColumn("SELECT setting_id FROM fs_object GROUP BY setting_id ORDER BY setting_id").mid(0, 3),
             QStringList({"1", "2", "3"}));
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--crash-child") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
