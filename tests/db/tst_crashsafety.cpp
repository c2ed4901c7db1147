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

// The writer that gets killed: the same store and transactions as the synchroniser's batches. With
// "hold" it stops inside its third batch, with that batch partly written into the file.
int runChild(const QString &mode, const QString &path)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    AppInfo info = AppInfo::forThisBuild();
    info.databasePath = path;
    R7Database *database = R7Database::instance();
    database->init(&info);
    // A small page cache makes a batch reach the file itself before it commits, so the crash
    // leaves a half-written file that only the journal can repair.
    QSqlQuery().exec(QStringLiteral("PRAGMA cache_size = 8"));
    for (int batch = 1;; ++batch) {
        const bool hold = batch == 3 && mode == QLatin1String("hold");
        database->transaction();
        for (int i = 0; i < (hold ? 4 : 1) * kBatchRows; ++i)
            FileObjectDao::instance()->store(FsObject("oid", QStringLiteral("batch/%1").arg(i), 42,
                                                      QDateTime::fromMSecsSinceEpoch(1480000000000LL),
                                                      QDateTime::fromMSecsSinceEpoch(1480000000001LL), "", "f",
                                                      "sha256:abcdef"),
                                             batch);
        if (hold) {
            std::printf("mid-batch\n");
            std::fflush(stdout);
            std::getchar(); // waits for the kill
            return 1;
        }
        database->commit();
        std::printf("committed %d\n", batch);
        std::fflush(stdout);
    }
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT
private slots:
    void killedInTheMiddle_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("marker");
        QTest::newRow("batch open") << "hold" << QByteArray("mid-batch");
        QTest::newRow("while writing") << "loop" << QByteArray("committed 3");
    }

    void killedInTheMiddle()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, marker);
        TestEnv env;
        TestDatabase db;
        db.open();

        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash-child"), mode, db.path()});
        QVERIFY(child.waitForStarted(10000));
        QByteArray seen;
        while (!seen.contains(marker)) {
            QVERIFY2(child.waitForReadyRead(15000), seen.constData());
            seen += child.readAllStandardOutput();
        }
        if (mode == QLatin1String("hold")) // the batch is on its way into the file
            QVERIFY(QFile::exists(db.path() + "-journal"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QCOMPARE(db.rawColumn("PRAGMA integrity_check"), QStringList{"ok"});
        // Every batch whole, or not there at all.
        const QStringList batches = db.rawColumn("SELECT setting_id || ':' || count(*) FROM fs_object GROUP BY setting_id "
                                                 "ORDER BY setting_id");
        QVERIFY2(mode == QLatin1String("hold") ? batches.size() == 2 : batches.size() >= 3, qPrintable(batches.join(' ')));
        for (int i = 0; i < batches.size(); ++i)
            QCOMPARE(batches.at(i), QString("%1:%2").arg(i + 1).arg(kBatchRows));
        db.closeRaw();

        QSignalSpy incompatible(R7Database::instance(), &R7Database::incompatibleDatabase);
        db.open();
        QCOMPARE(incompatible.count(), 0);
        QCOMPARE(R7Database::instance()->getDbInfo().dbVersion(), QStringLiteral("1.0.1"));
        QCOMPARE(FileObjectDao::instance()->loadAll(2).size(), kBatchRows);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--crash-child") == 0)
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
