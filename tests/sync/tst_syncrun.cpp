#include "db/SyncHistoryDao.h"
#include "tests/sync/SyncHarness.h"

#include <QtTest>

// Whole runs of the coordinator against the development service, with real transfers and real
// folders; every scenario ends by comparing the local tree with what the service stored.
class TestSyncRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstTwoWayRun();
    void editsOnEachSide();
    void editOnBothSidesKeepsBoth();
    void deletionsOnEachSide();
    void remoteEditBeatsLocalDeletion();
    void stopDuringDownload();
    void largeRemoteDeletion_data();
    void largeRemoteDeletion();
    void emptyListingIsNotDeleteAll_data();
    void emptyListingIsNotDeleteAll();
    void badListing_data();
    void badListing();
    void wrongIvCaught();
    void quota();
    void sessionTimeout();
    void accessLetters_data();
    void accessLetters();
    void injectedFaults_data();
    void injectedFaults();
    void folderDeletedRemotelyWithLocalNews();

private:
    std::unique_ptr<SyncHarness> m_h;
    // A first run over a few files and folders on both sides.
    void seedAndRun();
};

void TestSyncRun::initTestCase()
{
    m_h = std::make_unique<SyncHarness>();
    QVERIFY2(m_h->start(), qPrintable(m_h->error()));
}

void TestSyncRun::init()
{
    m_h->svc().control("fault", {{"clear", true}});
    if (!m_h->refreshSafes()) {
        QVERIFY2(m_h->signIn(), qPrintable(m_h->error()));
    }
    QVERIFY2(m_h->newSetting(), qPrintable(m_h->error()));
}

void TestSyncRun::seedAndRun()
{
    QVERIFY(m_h->putRemote("docs/a.txt", "remote a"));
    QVERIFY(m_h->putRemote("docs/deep/b.txt", "remote b"));
    QVERIFY(m_h->putLocal("notes/c.txt", "local c"));
    QVERIFY(m_h->putLocal("d.txt", "local d"));
    const SyncHarness::Outcome first = m_h->run();
    QCOMPARE(first.end, QString("finished"));
    QCOMPARE(first.nFailed, 0);
    COMPARE_TREES(*m_h);
}

void TestSyncRun::firstTwoWayRun()
{
    QVERIFY(m_h->putRemote("r/one.txt", "1"));
    QVERIFY(m_h->putRemoteDir("r/empty"));
    QVERIFY(m_h->putRemote("r/sub/two.bin", QByteArray(300000, 'x')));
    QVERIFY(m_h->putLocal("l/three.txt", "3"));
    QVERIFY(m_h->putLocalDir("l/emptytoo"));
    QVERIFY(m_h->putLocal("l/Thumbs.db", "silently excluded"));
    QVERIFY(m_h->putLocal("l/zero.txt", ""));
    QVERIFY(m_h->putRemote("top.txt", QByteArray(70000, 'q')));

    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QCOMPARE(out.nFailed, 0);
    QCOMPARE(out.started, 1);

    // Excluded and empty files stay local only; everything else is on both sides.
    SyncHarness::Tree local = m_h->localTree();
    QCOMPARE(local.take("l/Thumbs.db"), QByteArray("silently excluded"));
    QCOMPARE(local.take("l/zero.txt"), QByteArray(""));
    const SyncHarness::Tree remote = m_h->remoteTree();
    QVERIFY2(local == remote, qPrintable(SyncHarness::describe(local, remote)));
    QVERIFY(remote.contains("r/empty/") && remote.contains("l/emptytoo/"));

    // The second run finds nothing to do, with or without a listing.
    const SyncHarness::Outcome second = m_h->run();
    QCOMPARE(second.end, QString("finished"));
    QCOMPARE(second.work(), 0);
    QCOMPARE(second.nFailed, 0);
}

void TestSyncRun::editsOnEachSide()
{
    seedAndRun();
    QVERIFY(m_h->putLocal("d.txt", "local d, second version"));
    QVERIFY(m_h->putRemote("docs/a.txt", "remote a, second version"));
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QCOMPARE(out.nFailed, 0);
    COMPARE_TREES(*m_h);
    QCOMPARE(m_h->readLocal("docs/a.txt"), QByteArray("remote a, second version"));
    QCOMPARE(m_h->remoteTree().value("d.txt"), QByteArray("local d, second version"));
    QCOMPARE(m_h->run().work(), 0);
}

void TestSyncRun::editOnBothSidesKeepsBoth()
{
    seedAndRun();
    QVERIFY(m_h->putLocal("docs/a.txt", "mine"));
    QVERIFY(m_h->putRemote("docs/a.txt", "theirs"));
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    COMPARE_TREES(*m_h);
    QCOMPARE(m_h->readLocal("docs/a.txt"), QByteArray("theirs"));
    SyncHarness::Tree conflicts;
    m_h->localTree(&conflicts);
    QCOMPARE(conflicts.size(), 1);
    QVERIFY2(conflicts.firstKey().startsWith("docs/a(") && conflicts.firstKey().endsWith(").txt"),
             qPrintable(conflicts.firstKey()));
    QCOMPARE(conflicts.first(), QByteArray("mine"));
    // The copy stays local, also in later runs.
    m_h->run();
    COMPARE_TREES(*m_h);
    QCOMPARE(m_h->run().work(), 0);
}

void TestSyncRun::deletionsOnEachSide()
{
    seedAndRun();
    QVERIFY(m_h->deleteLocal("d.txt"));
    QVERIFY(m_h->deleteRemote("docs/deep"));
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QCOMPARE(out.nFailed, 0);
    COMPARE_TREES(*m_h);
    QVERIFY(!m_h->localTree().contains("docs/deep/b.txt"));
    QVERIFY(!m_h->remoteTree().contains("d.txt"));
    // The service keeps what the client deleted in its trash.
    QCOMPARE(m_h->safeState().value("trash").toArray().size(), 1);
}

void TestSyncRun::remoteEditBeatsLocalDeletion()
{
    seedAndRun();
    QVERIFY(m_h->deleteLocal("docs/a.txt"));
    QVERIFY(m_h->putRemote("docs/a.txt", "edited elsewhere"));
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    COMPARE_TREES(*m_h);
    QCOMPARE(m_h->readLocal("docs/a.txt"), QByteArray("edited elsewhere"));
}

void TestSyncRun::stopDuringDownload()
{
    seedAndRun();
    QVERIFY(m_h->putRemote("docs/a.txt", QByteArray(200000, 'n')));
    m_h->svc().fault({{"path", "/filesafe/file/"}, {"method", "GET"}, {"stall", true}});
    bool stopped = false;
    const SyncHarness::Outcome out = m_h->run(true, [&stopped](MultiSyncher &ms, const ProgressInfo &pi) {
        // The stalled download is in flight once the queue has moved on to it.
        if (!stopped && pi.action.action() == SyncAction::DownloadFile) {
            stopped = true;
            QTimer::singleShot(300, &ms, [&ms]() { ms.requestToStop(); });
        }
    });
    QVERIFY(stopped);
    QCOMPARE(out.end, QString("canceled"));
    QCOMPARE(m_h->readLocal("docs/a.txt"), QByteArray("remote a"));
    QVERIFY(QDir(m_h->localPath("docs")).entryList({"~$*"}, QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(m_h->db().rawValue("SELECT state FROM sync_history ORDER BY id DESC LIMIT 1").toInt(),
             int(SyncHistory::Cancelled));
    m_h->svc().control("fault", {{"clear", true}});
    QCOMPARE(m_h->run().end, QString("finished"));
    COMPARE_TREES(*m_h);
}

void TestSyncRun::largeRemoteDeletion_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("left");
    QTest::newRow("49 pass") << 49 << false << 0 << 1;
    QTest::newRow("50 accepted") << 50 << true << 1 << 1;
    QTest::newRow("50 declined") << 50 << false << 1 << 51;
}

void TestSyncRun::largeRemoteDeletion()
{
    QFETCH(int, files);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(int, left);
    for (int i = 0; i < files; ++i) {
        QVERIFY(m_h->putLocal(QString("many/f%1.txt").arg(i), QByteArray::number(i)));
    }
    QVERIFY(m_h->putLocal("keep.txt", "stays"));
    QCOMPARE(m_h->run().nFailed, 0);
    QVERIFY(QDir(m_h->localPath("many")).removeRecursively());
    // A second setting after it in the same run, with a file to fetch.
    const QString firstSafe = m_h->safeId();
    QVERIFY(m_h->newSetting({{"safe_name", "Zzz later"}}, false));
    QVERIFY(m_h->putRemote("later.txt", "later"));

    const SyncHarness::Outcome out = m_h->run(answer);
    QCOMPARE(out.questions, questions);
    QVERIFY(!out.questionForced);
    QCOMPARE(out.end, QString("finished"));
    // Declining ends the whole run: the later setting is not synchronised.
    QCOMPARE(m_h->readLocal("later.txt"), answer || questions == 0 ? QByteArray("later") : QByteArray("<missing>"));
    int remaining = 0;
    for (const QJsonValue &v : m_h->svc().state().value("safes").toArray()) {
        if (v.toObject().value("safe_id").toString() == firstSafe) {
            for (const QJsonValue &o : v.toObject().value("objects").toArray()) {
                remaining += o.toObject().value("type").toString() == "f" ? 1 : 0;
            }
        }
    }
    QCOMPARE(remaining, left);
}

void TestSyncRun::emptyListingIsNotDeleteAll_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("declined") << false;
    QTest::newRow("accepted") << true;
}

void TestSyncRun::emptyListingIsNotDeleteAll()
{
    QFETCH(bool, answer);
    seedAndRun();
    QSettings().setValue("ui/show_delete_files_warning", false);
    for (const char *path : {"docs", "notes", "d.txt"}) {
        QVERIFY(m_h->deleteRemote(QString::fromLatin1(path)));
    }
    const SyncHarness::Tree before = m_h->localTree();
    const SyncHarness::Outcome out = m_h->run(answer);
    QSettings().remove("ui/show_delete_files_warning");
    QCOMPARE(out.questions, 1);
    QVERIFY(out.questionForced);
    QCOMPARE(out.end, QString("finished"));
    if (answer) {
        COMPARE_TREES(*m_h);
        QVERIFY(m_h->localTree().isEmpty());
    } else {
        QCOMPARE(m_h->localTree(), before);
        QVERIFY(out.nFailed > 0);
    }
}

void TestSyncRun::badListing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("parent element") << "dotdot";
    QTest::newRow("case twin") << "case_twin";
}

void TestSyncRun::badListing()
{
    QFETCH(QString, kind);
    seedAndRun();
    const SyncHarness::Tree before = m_h->localTree();
    m_h->svc().fault({{"path", "/filesafe/info/"}, {"listing", kind}});
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QVERIFY(out.nFailed > 0 || !out.reported.isEmpty());
    // Nothing outside the folder was written, and nothing inside was lost.
    QVERIFY(!QFileInfo::exists(QFileInfo(m_h->localDir()).absolutePath() + "/outside.txt"));
    const SyncHarness::Tree after = m_h->localTree();
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        QCOMPARE(after.value(it.key()), it.value());
    }
    bool named = false;
    for (const SyncAction &a : out.reported) {
        named = named || a.isError();
    }
    QVERIFY2(named, "the bad path is reported");
    if (kind == "dotdot") {
        // Refused by the listing's reader or by the analysis, never walked into.
        QCOMPARE(out.countStatus(SyncAction::ERR_OBJECT_NOT_IN_BASE) + out.countStatus(SyncAction::ERR_GET_FILESFE_OBJECTS),
                 1);
    }
}

void TestSyncRun::wrongIvCaught()
{
    seedAndRun();
    QVERIFY(m_h->putRemote("fresh.txt", QByteArray(5000, 'w')));
    m_h->svc().fault({{"path", "/filesafe/file/"}, {"method", "GET"}, {"iv", "wrong"}});
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QCOMPARE(out.countStatus(SyncAction::ERR_FILE_DOWNLOAD), 1);
    QVERIFY(!QFileInfo::exists(m_h->localPath("fresh.txt")));
    QVERIFY(QDir(m_h->localDir()).entryList({"~$*"}, QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(m_h->run().nFailed, 0);
    COMPARE_TREES(*m_h);
}

void TestSyncRun::quota()
{
    QVERIFY(m_h->setSafe({{"storage_quota", 1000}}));
    QVERIFY(m_h->putLocal("big.bin", QByteArray(5000, 'b')));
    QVERIFY(m_h->putLocal("small.txt", "s"));
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.quotaSignals, 1);
    QCOMPARE(out.end, QString("canceled"));
    QVERIFY(!m_h->remoteTree().contains("big.bin"));
    QCOMPARE(m_h->db().rawValue("SELECT state FROM sync_history ORDER BY id DESC LIMIT 1").toInt(),
             int(SyncHistory::Cancelled));
    QVERIFY(m_h->setSafe({{"storage_quota", 1 << 20}}));
    QCOMPARE(m_h->run().nFailed, 0);
    COMPARE_TREES(*m_h);
}

void TestSyncRun::sessionTimeout()
{
    seedAndRun();
    for (int i = 0; i < 3; ++i) {
        QVERIFY(m_h->putLocal(QString("new%1.txt").arg(i), "n"));
    }
    // Slow uploads: the session check answers while the run still has work.
    m_h->svc().fault({{"path", "/filesafe/file$"}, {"delay_ms", 700}, {"count", -1}});
    bool dropped = false;
    const SyncHarness::Outcome out = m_h->run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
        if (!dropped && pi.activity == ProgressInfo::Activity_ProcessSyncActions_Started) {
            dropped = true;
            m_h->svc().control("drop_session");
        }
    });
    QVERIFY(dropped);
    QCOMPARE(out.end, QString("timeout"));
    QCOMPARE(m_h->readLocal("new2.txt"), QByteArray("n"));
    m_h->svc().control("fault", {{"clear", true}});
    QVERIFY(m_h->signIn());
    QCOMPARE(m_h->run().end, QString("finished"));
    COMPARE_TREES(*m_h);
}

void TestSyncRun::accessLetters_data()
{
    QTest::addColumn<QString>("access");
    QTest::addColumn<int>("uploadStatus");
    QTest::addColumn<int>("updateStatus");
    QTest::addColumn<int>("deleteStatus");
    QTest::addColumn<int>("downloadStatus");
    QTest::newRow("r") << "r" << int(SyncAction::ERR_FILE_UPLOAD_DENIED) << int(SyncAction::ERR_FILE_UPLOAD_DENIED)
                       << int(SyncAction::ERR_REMOTE_FILE_DELETE_DENIED) << int(SyncAction::STATUS_OK);
    QTest::newRow("rc") << "rc" << int(SyncAction::STATUS_OK) << int(SyncAction::ERR_FILE_UPLOAD_DENIED)
                        << int(SyncAction::ERR_REMOTE_FILE_DELETE_DENIED) << int(SyncAction::STATUS_OK);
    QTest::newRow("rcud") << "rcud" << int(SyncAction::STATUS_OK) << int(SyncAction::STATUS_OK)
                          << int(SyncAction::STATUS_OK) << int(SyncAction::STATUS_OK);
}

void TestSyncRun::accessLetters()
{
    QFETCH(QString, access);
    QFETCH(int, uploadStatus);
    QFETCH(int, updateStatus);
    QFETCH(int, deleteStatus);
    QFETCH(int, downloadStatus);
    seedAndRun();
    QVERIFY(m_h->setSafe({{"access", access}}));
    QVERIFY(m_h->refreshSafes());
    QVERIFY(m_h->putLocal("up.txt", "up"));
    QVERIFY(m_h->putLocal("docs/a.txt", "changed here"));
    QVERIFY(m_h->deleteLocal("d.txt"));
    QVERIFY(m_h->putRemote("down.txt", "down"));
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QMap<QString, int> status;
    for (const SyncAction &a : out.reported) {
        status.insert(a.relPath(), a.status());
    }
    QCOMPARE(status.value("up.txt"), uploadStatus);
    QCOMPARE(status.value("docs/a.txt"), updateStatus);
    QCOMPARE(status.value("d.txt"), deleteStatus);
    QCOMPARE(status.value("down.txt"), downloadStatus);
    QCOMPARE(m_h->readLocal("down.txt"), QByteArray("down"));
    QCOMPARE(m_h->remoteTree().contains("up.txt"), uploadStatus == SyncAction::STATUS_OK);
    // Nothing refused was lost on either side.
    QCOMPARE(m_h->readLocal("docs/a.txt"), QByteArray("changed here"));
    QCOMPARE(m_h->remoteTree().contains("d.txt"), deleteStatus != SyncAction::STATUS_OK);
}

void TestSyncRun::injectedFaults_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("knob");
    const QList<QPair<QString, QString>> kinds = {{"listing", "/filesafe/info/safe-"},
                                                  {"download", "/filesafe/file/"},
                                                  {"upload", "/filesafe/file$"},
                                                  {"create folder", "/filesafe/folder$"},
                                                  {"delete file", "/filesafe/file/"}};
    const QStringList methods = {"GET", "GET", "POST", "POST", "DELETE"};
    for (int i = 0; i < kinds.size(); ++i) {
        for (const char *knob : {"503", "cut", "stall"}) {
            QTest::newRow(qPrintable(kinds[i].first + " " + knob)) << kinds[i].second << methods[i] << QString::fromLatin1(knob);
        }
    }
}

void TestSyncRun::injectedFaults()
{
    QFETCH(QString, path);
    QFETCH(QString, method);
    QFETCH(QString, knob);
    seedAndRun();
    QVERIFY(m_h->putRemote("docs/a.txt", QByteArray(40000, 'e')));
    QVERIFY(m_h->putLocal("up.txt", QByteArray(40000, 'u')));
    QVERIFY(m_h->putLocalDir("newdir"));
    QVERIFY(m_h->deleteLocal("d.txt"));
    const SyncHarness::Tree localBefore = m_h->localTree();
    QJsonObject rule{{"path", path}, {"method", method}};
    if (knob == "503") {
        rule["http_status"] = 503;
    } else if (knob == "cut") {
        rule["cut_after"] = 10;
    } else {
        rule["stall"] = true;
        rule["stall_ms"] = 10000;
    }
    m_h->svc().fault(rule);
    const SyncHarness::Outcome out = m_h->run();
    QCOMPARE(out.end, QString("finished"));
    QVERIFY2(out.nFailed > 0 || !out.reported.isEmpty(), "the failure is reported");
    // The user's files are where they were, or replaced by the complete new version.
    QVERIFY(QDir(m_h->localPath("docs")).entryList({"~$*"}, QDir::Files | QDir::Hidden).isEmpty());
    const QByteArray a = m_h->readLocal("docs/a.txt");
    QVERIFY(a == localBefore.value("docs/a.txt") || a == QByteArray(40000, 'e'));
    QCOMPARE(m_h->readLocal("up.txt"), QByteArray(40000, 'u'));
    m_h->svc().control("fault", {{"clear", true}});
    QCOMPARE(m_h->run().end, QString("finished"));
    COMPARE_TREES(*m_h);
    QCOMPARE(m_h->readLocal("docs/a.txt"), QByteArray(40000, 'e'));
    QCOMPARE(m_h->run().work(), 0);
}

void TestSyncRun::folderDeletedRemotelyWithLocalNews()
{
    seedAndRun();
    QVERIFY(m_h->deleteRemote("notes"));
    QVERIFY(m_h->putLocal("notes/new.txt", "written meanwhile"));
    m_h->run();
    m_h->run();
    COMPARE_TREES(*m_h);
    QCOMPARE(m_h->readLocal("notes/new.txt"), QByteArray("written meanwhile"));
    QCOMPARE(m_h->run().work(), 0);
}

QTEST_MAIN(TestSyncRun)
#include "tst_syncrun.moc"
