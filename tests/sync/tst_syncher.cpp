#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "sync/Syncher.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QPointer>
#include <QtTest>

// Reaches the run's setting and history, which the analysis fills in a real run.
class PlanningSyncher : public Syncher
{
public:
    explicit PlanningSyncher(const QString &localDir = "/home/alice/Safe/")
        : Syncher(nullptr, nullptr)
    {
        m_setting.setId(5);
        m_setting.setLocalDir(localDir);
        m_setting.setRemoteDir("/");
        m_setting.setSafeName("Safe");
    }
    void setHistoryId(qint64 id) { m_history.setId(id); }
};

class TestSyncher : public QObject
{
    Q_OBJECT

private slots:
    void patternFilesLoad_data();
    void patternFilesLoad();
    void exclusion_data();
    void exclusion();
    void sizeRule_data();
    void sizeRule();
    void pumpThrottlesSameActivity();
    void stopInsidePump();
    void stateWritesInBatches();
    void planOfScannedFolder();
};

void TestSyncher::patternFilesLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::newRow("exclude") << ":/res/patterns/exclude.txt" << 4;
    QTest::newRow("silent") << ":/res/patterns/exclude_silently.txt" << 19;
}

void TestSyncher::patternFilesLoad()
{
    QFETCH(QString, file);
    QFETCH(int, count);
    QCOMPARE(Syncher::loadExcludePatterns(file).size(), count);
    QCOMPARE(SyncAction::loadDeletablePatterns().pattern().count('|') + 1, 14);

    LogCapture log;
    QVERIFY(Syncher::loadExcludePatterns(":/res/patterns/none.txt").isEmpty());
    QVERIFY(log.contains("Syncher::loadExcludePatterns: Failed to read exclude patterns:"));
}

void TestSyncher::exclusion_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("silent");
    QTest::newRow("plain") << "docs/report.docx" << true << true;
    QTest::newRow("svn ancestor") << "a/.svn/b/report.docx" << true << false;
    QTest::newRow("trailing blank") << "docs/report " << false << true;
    QTest::newRow("colon") << "a:b.txt" << false << true;
    QTest::newRow("control char") << QString("a\u0007b") << false << true;
    QTest::newRow("thumbs") << "Thumbs.db" << true << false;
    QTest::newRow("thumbs upper") << "THUMBS.DB" << true << true;
    QTest::newRow("icon cr") << QString("Icon\r") << false << false;
    QTest::newRow("office lock") << "~$report.docx" << true << false;
    QTest::newRow("own files") << ".tessarvale-state" << false << false;
    QTest::newRow("star tessarvale") << "*xtessarvale" << false << false;
    QTest::newRow("conflict copy") << "a(PC's conflicted copy 2016-11-25).txt" << false << false;
}

void TestSyncher::exclusion()
{
    QFETCH(QString, path);
    QFETCH(bool, visible);
    QFETCH(bool, silent);
    PlanningSyncher syncher;
    // Twice: the second answer comes from the per-name cache.
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(Syncher::isNotExcluded(path, Syncher::excludePatterns()), visible);
        QCOMPARE(Syncher::isNotExcluded(path, Syncher::silentExcludePatterns()), silent);
    }
}

void TestSyncher::sizeRule_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("status");
    QTest::newRow("negative") << qint64(-1) << false << int(SyncAction::STATUS_OK);
    QTest::newRow("zero") << qint64(0) << false << int(SyncAction::STATUS_OK);
    QTest::newRow("one") << qint64(1) << true << int(SyncAction::STATUS_TODO);
    QTest::newRow("2 GiB") << qint64(2147483648LL) << true << int(SyncAction::STATUS_TODO);
    QTest::newRow("2 GiB + 1") << qint64(2147483649LL) << false << int(SyncAction::ERR_FILE_TOO_BIG);
}

void TestSyncher::sizeRule()
{
    QFETCH(qint64, size);
    QFETCH(bool, valid);
    QFETCH(int, status);
    SyncAction action;
    action.setAction(SyncAction::UploadFile);
    action.setStatus(SyncAction::STATUS_TODO);
    QCOMPARE(Syncher::isSizeValid(&action, "a.bin", FsObject("", "a.bin", size, QDateTime(), QDateTime(), "", "f", "")),
             valid);
    QCOMPARE(action.status(), status);
    QCOMPARE(action.action(), valid ? int(SyncAction::UploadFile) : int(SyncAction::NoAction));
}

void TestSyncher::pumpThrottlesSameActivity()
{
    Syncher::setPumpTiming(300);
    PlanningSyncher syncher;
    QSignalSpy progress(&syncher, &Syncher::syncProgress);
    int delivered = 0;
    auto post = [&delivered]() { QTimer::singleShot(0, [&delivered]() { ++delivered; }); };

    QVERIFY(syncher.Request(true, 20, "first"));
    post();
    QVERIFY(syncher.Request(true, 20, "same activity, at once"));
    QCOMPARE(delivered, 0);
    QVERIFY(syncher.Request(true, 21, "new activity"));
    QCOMPARE(delivered, 1);
    post();
    QTest::qSleep(350);
    QVERIFY(syncher.Request(true, 21, "same activity, after the interval"));
    QCOMPARE(delivered, 2);
    QCOMPARE(progress.size(), 4);
    QCOMPARE(syncher.progress().message, QString("same activity, after the interval"));
    Syncher::setPumpTiming(500);
}

void TestSyncher::stopInsidePump()
{
    Syncher::setPumpTiming(0);
    QPointer<PlanningSyncher> syncher(new PlanningSyncher);
    QVERIFY(syncher->Request(true, 30, "planning"));
    QTimer::singleShot(0, syncher.data(), [&syncher]() { syncher->requestToStop(); });
    LogCapture log;
    QVERIFY(!syncher->Request(true, 31, "planning"));
    QVERIFY(log.contains("Syncher::Request to stop from the event loop!"));
    QTRY_VERIFY(syncher.isNull());
    Syncher::setPumpTiming(500);
}

void TestSyncher::stateWritesInBatches()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    const qint64 run = SyncHistoryDao::instance()->startSync().id();
    PlanningSyncher syncher;
    syncher.setHistoryId(run);

    auto make = [](int type, int status, const QString &name) {
        SyncAction a;
        a.setAction(type);
        a.setStatus(status);
        a.setName(name);
        a.setType("f");
        a.setLocalSize(3);
        return a;
    };
    FileObjectDao::instance()->store(FsObject("o", "gone.txt", 1, QDateTime(), QDateTime(), "", "f", ""), 5);

    syncher.beginStateWrites();
    QList<SyncAction> actions;
    for (int i = 0; i < 1500; ++i)
        actions << make(SyncAction::UpdateSyncState, SyncAction::STATUS_TODO, QString("f%1").arg(i));
    actions << make(SyncAction::RemoveSyncState, SyncAction::STATUS_TODO, "gone.txt")
            << make(SyncAction::NoAction, SyncAction::STATUS_OK, "quiet.txt")
            << make(SyncAction::NoAction, SyncAction::ERR_FILE_TOO_BIG, "big.bin")
            << make(SyncAction::DownloadFile, SyncAction::STATUS_TODO, "later.txt");
    LogCapture log;
    for (SyncAction &a : actions)
        syncher.updateSyncState(&a);
    // The first full batch is already committed, the rest waits for the end.
    QCOMPARE(db.rawValue("SELECT COUNT(*) FROM fs_object WHERE setting_id = 5").toInt(), 1000 + 1);
    syncher.endStateWrites();
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);

    QCOMPARE(db.rawValue("SELECT COUNT(*) FROM fs_object WHERE setting_id = 5").toInt(), 1500);
    QVERIFY(!db.rawValue("SELECT COUNT(*) FROM fs_object WHERE path = 'gone.txt'").toBool());
    QVERIFY(actions[0].isSuccess());
    QVERIFY(actions[0].syncHistoryObjectId() > 0);
    QCOMPARE(actions[1501].syncHistoryObjectId(), 0); // an ok NoAction leaves no trace
    QVERIFY(actions[1502].syncHistoryObjectId() > 0); // an error is recorded
    QVERIFY(log.contains("Syncher::updateSyncState: expected STATUS_OK; shoid:"));
    QCOMPARE(db.rawValue(QString("SELECT COUNT(*) FROM sync_history_object WHERE sync_history_id = %1").arg(run))
                     .toInt(),
             1503);
    R7Session::instance()->setUser(User());
}

void TestSyncher::planOfScannedFolder()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    Syncher::setPumpTiming(0);
    const QString root = env.home() + "/Safe";
    const QString nfd = QStringLiteral("Cafe\u0301");
    const QString nfc = nfd.normalized(QString::NormalizationForm_C);
    QVERIFY(QDir().mkpath(root + "/" + nfd));
    for (const QString &name : {QString("new.txt"), nfd + "/menu.txt"}) {
        QFile f(root + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("content");
    }

    QPointer<PlanningSyncher> syncher(new PlanningSyncher(root + "/"));
    SyncState local(root, 5);
    QVERIFY(local.scanLocal() > 0);
    SyncState last(root, 5);
    SyncState remote("/", 5);
    remote.add(FsObject("r1", nfc, 0, QDateTime(), QDateTime::currentDateTimeUtc(), "r", "d", ""));
    const QList<SyncAction> plan = syncher->buildSyncActions(local, last, remote);
    QCOMPARE(plan.size(), 3);
    QHash<QString, SyncAction> byPath;
    for (const SyncAction &a : plan)
        byPath.insert(a.relPath(), a);
    QCOMPARE(byPath.value("new.txt").action(), int(SyncAction::UploadFile));
    QCOMPARE(byPath.value(nfc).action(), int(SyncAction::UpdateSyncState));
    // Local steps reach the decomposed names on disk.
    QCOMPARE(byPath.value(nfc + "/menu.txt").localFilePath(), root + "/" + nfd + "/menu.txt");
    QCOMPARE(db.rawValue("SELECT COUNT(*) FROM fs_object WHERE setting_id = 5").toInt(), 1);
    QCOMPARE(R7Database::instance()->transactionDepth(), 0);

    // A stop asked for from inside the pump: no plan, and the synchroniser goes.
    QTimer::singleShot(0, syncher.data(), [&syncher]() { syncher->requestToStop(); });
    QVERIFY(syncher->buildSyncActions(local, last, remote).isEmpty());
    QTRY_VERIFY(syncher.isNull());
    Syncher::setPumpTiming(500);
    R7Session::instance()->setUser(User());
}

QTEST_GUILESS_MAIN(TestSyncher)
#include "tst_syncher.moc"
