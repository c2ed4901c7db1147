#include "sync/LocalFileReader.h"
#include "tests/support/LogCapture.h"
#include "tests/sync/SyncHarness.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Sparse: a large file costs neither disk nor writing time.
constexpr qint64 kLarge = 8 * LocalFileReader::ChunkSize;
const char *const kChildVariable = "TST_FILEREADS_CHILD";

bool setTime(const QString &path, qint64 seconds, long nanoseconds)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// Descriptors of this process open on the file.
int openDescriptors(const QString &path)
{
    int n = 0;
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        n += fd.symLinkTarget() == target ? 1 : 0;
    return n;
}
} // namespace

// The engine reads whole files on the window's thread: the window is served between the chunks of
// every such read, and whatever the window does meanwhile (a stop, the synchroniser's deletion at a
// sign-out) ends the run cleanly.
class TestFileReads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_h = std::make_unique<SyncHarness>();
        QVERIFY2(m_h->start(), qPrintable(m_h->error()));
    }

    void cleanup()
    {
        LocalFileReader::setChunkHook(nullptr);
        Syncher::setPumpTiming(50, 0);
    }

    void init() { QVERIFY2(m_h->freshSetting(), qPrintable(m_h->error())); }

    void windowServedDuringRead_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("event");
        // The upload's checksum before sending; the planner's comparison of a file whose time
        // changed; the content check as a download lands on a whole-second time.
        for (const char *place : {"upload", "plan", "content check"}) {
            for (const char *event : {"timer", "stop", "delete"})
                QTest::addRow("%s, %s", place, event) << place << event;
        }
    }

    void windowServedDuringRead()
    {
        QFETCH(QString, place);
        QFETCH(QString, event);
        const QString big = m_h->localPath("big.bin");
        QVERIFY(m_h->putLocal("big.bin", QByteArray()));
        QVERIFY(QFile::resize(big, kLarge));
        const QByteArray remoteNews = "changed on the service";
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        if (place == "plan") {
            QCOMPARE(m_h->run().nFailed, 0);
            // Same size, another time (not a whole second): only the content tells.
            QVERIFY(setTime(big, now - 100, 123456789));
        } else if (place == "content check") {
            // A whole-second time that no scan can tell from a same-size edit made since.
            QVERIFY(setTime(big, now + 3600, 0));
            QCOMPARE(m_h->run().nFailed, 0);
            QVERIFY(m_h->putRemote("big.bin", remoteNews));
        }
        const QString storedTime =
                m_h->db().rawValue("SELECT local_mtime FROM fs_object WHERE path = 'big.bin'").toString();
        const int lastRun = m_h->db().rawValue("SELECT max(id) FROM sync_history").toInt();

        // Every chunk serves the window.
        Syncher::setPumpTiming(-1, 0);
        const int wanted = place == "plan" ? ProgressInfo::Activity_BuildSyncActions_Progress
                                           : ProgressInfo::Activity_ProcessSyncActions_Progress;
        auto *ms = new MultiSyncher(m_h->dao(), m_h->ri());
        QSignalSpy canceled(ms, &MultiSyncher::syncCanceled);
        QSignalSpy finished(ms, &MultiSyncher::syncFinished);
        int activity = ProgressInfo::Activity_Idle;
        connect(ms, &MultiSyncher::syncProgress, [&activity](bool, const ProgressInfo &pi) { activity = pi.activity; });
        QPointer<Syncher> syncher;
        bool armed = false;
        bool fired = false;
        qint64 firedAt = -1;
        qint64 done = 0;
        int chunksAfter = 0;
        LocalFileReader::setChunkHook([&](qint64 read) {
            done = read;
            if (fired) {
                ++chunksAfter;
                return;
            }
            if (armed || activity != wanted || read != 2 * LocalFileReader::ChunkSize)
                return;
            armed = true;
            syncher = ms->findChild<Syncher *>();
            QTimer::singleShot(0, ms, [&]() {
                fired = true;
                firedAt = done;
                if (event == "stop")
                    ms->requestToStop();
                else if (event == "delete") // as a sign-out does
                    delete syncher.data();
            });
        });
        LogCapture log;
        ms->requestSync(m_h->settings());
        QTRY_VERIFY_WITH_TIMEOUT(
                finished.count() + canceled.count() > 0 || (event == "delete" && fired && syncher.isNull()), 30000);
        LocalFileReader::setChunkHook(nullptr);
        Syncher::setPumpTiming(50, 0);
        QTest::qWait(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(fired);
        // Between two chunks of the read.
        QCOMPARE(firedAt, 2 * LocalFileReader::ChunkSize);
        const int runRows = m_h->db()
                                    .rawValue(QString("SELECT count(*) FROM sync_history_object WHERE "
                                                      "sync_history_id = %1")
                                                      .arg(lastRun + 1))
                                    .toInt();
        const QString timeNow =
                m_h->db().rawValue("SELECT local_mtime FROM fs_object WHERE path = 'big.bin'").toString();
        SyncHarness::Tree copies;
        const SyncHarness::Tree local = m_h->localTree(&copies);
        delete ms;

        if (event == "timer") {
            // The read went on after the timer, and the run did its work.
            QVERIFY(chunksAfter > 0);
            QCOMPARE(finished.count(), 1);
            QCOMPARE(finished.first().at(1).toInt(), 0);
            QCOMPARE(runRows, 1);
            if (place == "upload") {
                // Too large for the service's dump: its size and checksum tell.
                QCryptographicHash zeros(QCryptographicHash::Sha256);
                zeros.addData(QByteArray(int(kLarge), '\0'));
                bool found = false;
                for (const QJsonValue &v : m_h->safeState().value("objects").toArray()) {
                    const QJsonObject o = v.toObject();
                    if (o.value("path").toString() != "/big.bin")
                        continue;
                    found = true;
                    QCOMPARE(qint64(o.value("size").toDouble()), kLarge);
                    QCOMPARE(o.value("checksum").toString(), "sha256:" + zeros.result().toHex());
                }
                QVERIFY(found);
            } else if (place == "plan") {
                QVERIFY(timeNow != storedTime);
            } else {
                QCOMPARE(local.value("big.bin"), remoteNews);
                QVERIFY(copies.isEmpty());
            }
            return;
        }
        // The read ended at the stop: nothing sent, nothing written, no row, no file touched, and
        // the file was not taken for an unreadable one.
        QCOMPARE(chunksAfter, 0);
        QVERIFY(!log.contains("failed to calculate local checksum"));
        // No request was made to be aborted.
        QVERIFY(!log.contains("' failed: Aborted"));
        QCOMPARE(finished.count(), 0);
        QCOMPARE(canceled.count(), event == "stop" ? 1 : 0);
        QCOMPARE(runRows, 0);
        QCOMPARE(timeNow, storedTime);
        QVERIFY(copies.isEmpty());
        QVERIFY(m_h->noPartials());
        QCOMPARE(openDescriptors(big), 0);
        if (place == "upload")
            QVERIFY(!m_h->remoteTree().contains("big.bin"));
        if (place == "content check") {
            QCOMPARE(QFileInfo(big).size(), kLarge);
            QCOMPARE(QFileInfo(big).lastModified().toSecsSinceEpoch(), now + 3600);
            QCOMPARE(m_h->remoteTree().value("big.bin"), remoteNews);
        }
        if (event == "stop")
            QCOMPARE(m_h->lastRunState(), int(SyncHistory::Cancelled));
        // The next run starts from what is stored.
        const SyncHarness::Outcome next = m_h->run();
        QCOMPARE(next.end, QString("finished"));
        QCOMPARE(next.nFailed, 0);
        if (place == "content check")
            QCOMPARE(m_h->readLocal("big.bin"), remoteNews);
    }

    // A read error ends the read without a checksum, never with the digest of what came before it:
    // the first read of this regular file fails with EIO.
    void failedReadGivesNoChecksum()
    {
        const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QString sum = "sha256:stale";
        const LocalFileReader::Answer answer = LocalFileReader::checksumOf(fd, "sha256", nullptr, &sum);
        ::close(fd);
        QCOMPARE(sum, QString());
        QCOMPARE(int(answer), int(LocalFileReader::Unreadable));
    }

    // A FIFO put at a file's name after the scan: the planner neither blocks in its open nor reads
    // it, and the run ends. A regression would hang, so the run goes on in a child process.
    void fifoAtTheNameBeforeThePlan()
    {
        if (!qEnvironmentVariableIsSet(kChildVariable)) {
            runInChild("fifoAtTheNameBeforeThePlan");
            return;
        }
        const QString path = m_h->localPath("f.txt");
        QVERIFY(m_h->putLocal("f.txt", "some content"));
        QCOMPARE(m_h->run().nFailed, 0);
        // Same size, another time: the plan reads the file.
        QVERIFY(setTime(path, QDateTime::currentSecsSinceEpoch() - 100, 123456789));
        bool swapped = false;
        auto swap = [&](MultiSyncher &, const ProgressInfo &pi) {
            // The scan is done, the plan not begun.
            if (swapped || pi.activity != ProgressInfo::Activity_CollectStatusInfo_Finished)
                return;
            swapped = QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        };
        fprintf(stderr, "run begins\n");
        fflush(stderr);
        const SyncHarness::Outcome out = m_h->run(true, swap);
        QVERIFY(swapped);
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(out.countStatus(SyncAction::ERR_FILE_NO_LOCAL_CHECKSUM), 1);
        QVERIFY(out.reported.first().reason().contains("(Z6)"));
        QVERIFY(QFile::remove(path));
    }

    // Once its bytes went out, the file sent is not read again, whatever stands at its name when
    // the service's reply comes: here a reply without checksum, which the service may send.
    void nothingReadAfterTheUpload_data()
    {
        QTest::addColumn<QString>("change"); // made once the last byte is sent
        QTest::newRow("grows to 16 GiB") << "grows";
        QTest::newRow("a save of the same size") << "same size";
        // A regression would block in the open for ever: in a child process.
        QTest::newRow("a FIFO at the name") << "fifo";
    }

    void nothingReadAfterTheUpload()
    {
        QFETCH(QString, change);
        if (change == "fifo" && !qEnvironmentVariableIsSet(kChildVariable)) {
            runInChild(QString("nothingReadAfterTheUpload:") + QTest::currentDataTag());
            return;
        }
        const QString path = m_h->localPath("f.txt");
        QVERIFY(m_h->putLocal("f.txt", "first version"));
        QCOMPARE(m_h->run().nFailed, 0);
        QVERIFY(m_h->putLocal("f.txt", "second version"));
        // Stored all the same; the listing keeps its checksum. The delay lets the last progress
        // report come before the reply.
        m_h->svc().fault({{"path", "/filesafe/file/"},
                          {"method", "POST"},
                          {"delay_ms", 300},
                          {"objects", QJsonObject{{"checksum", ""}}}});
        const QByteArray saved = "SECOND VERSION";
        bool changed = false;
        auto atTheLastByte = [&](MultiSyncher &, const ProgressInfo &pi) {
            if (changed || pi.activity != ProgressInfo::Activity_ProcessSyncActions_Progress || pi.bytesTotal <= 0 ||
                pi.bytesDone < pi.bytesTotal)
                return;
            if (change == "grows") // sparse: no disk, but a long read
                changed = QFile::resize(path, 16 * (qint64(1) << 30));
            else if (change == "same size") // saved later
                changed = m_h->putLocal("f.txt", saved) && setTime(path, QDateTime::currentSecsSinceEpoch() + 2, 7);
            else
                changed = QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        };
        // The longest turn the window waited for.
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, [&]() {
            longest = qMax(longest, sinceTick.restart());
        });
        ticks.start(10);
        sinceTick.start();
        fprintf(stderr, "run begins\n");
        fflush(stderr);
        const SyncHarness::Outcome out = m_h->run(true, atTheLastByte);
        ticks.stop();
        QVERIFY(changed);
        QCOMPARE(out.end, QString("finished"));
        const SyncAction sent = out.reportedFor("f.txt");
        QCOMPARE(sent.status(), int(SyncAction::WARN_SKIPPED));
        QCOMPARE(sent.execErrorMsg(), QString("File changed while it was uploaded; it will be uploaded again"));
        // The size and time of what was sent, and no checksum: neither side named one for it.
        QCOMPARE(m_h->db().rawValue("SELECT checksum FROM fs_object WHERE path = 'f.txt'").toString(), QString());
        QCOMPARE(m_h->db().rawValue("SELECT size FROM fs_object WHERE path = 'f.txt'").toLongLong(), 14);
        if (change == "fifo") {
            QVERIFY(QFile::remove(path));
        } else if (change == "grows") {
            // Reading the file would take seconds; every other step is far below the bound.
            QVERIFY2(longest < 3000, qPrintable(QString::number(longest)));
        } else {
            // The edit counts as an edit: it goes to the service, over nothing and beside nothing.
            const SyncHarness::Outcome next = m_h->run();
            QCOMPARE(next.nFailed, 0);
            QCOMPARE(next.reportedFor("f.txt").action(), int(SyncAction::UpdateRemoteFile));
            SyncHarness::Tree copies;
            QCOMPARE(m_h->localTree(&copies).value("f.txt"), saved);
            QVERIFY(copies.isEmpty());
            QCOMPARE(m_h->remoteTree().value("f.txt"), saved);
        }
    }

private:
    // Runs one test function (with its tag, "function:tag") in a child process with a time limit,
    // for steps that would hang on a regression.
    void runInChild(const QString &function)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable, "1");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {function});
        QVERIFY(child.waitForStarted());
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        // Its own service starts first; once the run begins, a few seconds are plenty.
        while (!output.contains("run begins") && child.state() == QProcess::Running && clock.elapsed() < 60000) {
            child.waitForReadyRead(200);
            output += child.readAll();
        }
        QVERIFY2(output.contains("run begins"), output.constData());
        const bool ended = child.waitForFinished(10000);
        if (!ended) {
            child.kill();
            child.waitForFinished();
        }
        output += child.readAll();
        QVERIFY2(ended, "the run hangs at the FIFO");
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
    }

    std::unique_ptr<SyncHarness> m_h;
};

QTEST_MAIN(TestFileReads)
#include "tst_filereads.moc"
