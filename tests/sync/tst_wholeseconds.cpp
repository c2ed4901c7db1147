#include "tests/sync/SyncHarness.h"

#include <QProcess>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// ext4 made with 128-byte inodes keeps whole seconds. On a loop device, in the private mount
// namespace that ctest starts the test in, so nothing stays mounted after it.
class WholeSecondDisk
{
public:
    // Empty when mounted, else why not.
    QString mount()
    {
        const QString image = m_dir.filePath("ext4.img");
        QFile file(image);
        if (!m_dir.isValid() || !QDir().mkpath(path()) || !file.open(QIODevice::WriteOnly) || !file.resize(32 << 20))
            return "no room for the image";
        file.close();
        if (QProcess::execute("mkfs.ext4", {"-q", "-F", "-I", "128", image}) != 0)
            return "mkfs.ext4 (e2fsprogs) cannot make the image";
        if (QProcess::execute("mount", {"-o", "loop", image, path()}) != 0)
            return "this user cannot mount a loop device (root and /dev/loop-control are needed)";
        m_mounted = true;
        struct stat st;
        QFile probe(path() + "/probe");
        if (!probe.open(QIODevice::WriteOnly) || ::stat(QFile::encodeName(probe.fileName()), &st) != 0 ||
            st.st_mtim.tv_nsec != 0)
            return "the image keeps sub-second times";
        return QString();
    }
    QString path() const { return m_dir.filePath("mnt"); }
    ~WholeSecondDisk()
    {
        if (m_mounted)
            QProcess::execute("umount", {"-l", path()});
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// 100 to 150 ms into a second, which is returned: what follows falls within it, even with the
// kernel's file times a few milliseconds behind the clock.
qint64 startOfASecond()
{
    const qint64 into = QDateTime::currentMSecsSinceEpoch() % 1000;
    if (into < 100 || into >= 150)
        QThread::msleep(ulong((1100 - into) % 1000 + 5));
    return QDateTime::currentMSecsSinceEpoch() / 1000;
}
} // namespace

// A same-size change made within the second of a transfer, on a folder whose file system keeps
// whole seconds, where size and time cannot show it: the change is never lost. On such a folder a
// file transferred in its second is read once more by the next run; on an ordinary one never.
class TestWholeSeconds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_noDisk = m_disk.mount();
        QVERIFY2(m_h.start(), qPrintable(m_h.error()));
    }

    void cleanup() { m_h.clearFaults(); }

    void changeInTheTransfersSecond_data()
    {
        QTest::addColumn<QString>("scenario");
        // The next run uploads the rewrite.
        QTest::newRow("rewrite during its upload") << "upload";
        // A remote edit comes before the next run: a conflict copy keeps the local edit.
        QTest::newRow("edit as the download lands, then a remote edit") << "landed";
        // Nothing edited: the remote edit is downloaded, with no conflict copy of the unchanged file.
        QTest::newRow("untouched after the download lands, then a remote edit") << "untouched";
        // The download planned for a file in its second finds it edited: the edit is kept as the
        // conflict copy, the download takes the name.
        QTest::newRow("edit while a download planned in its second runs") << "replace";
        // The same, with the row stored without checksum (an older database, an object the service
        // gave none): nothing to compare the file with, so it counts as edited.
        QTest::newRow("edit while a download runs, no stored checksum") << "replace, no checksum";
    }

    void changeInTheTransfersSecond()
    {
        QFETCH(QString, scenario);
        if (!m_noDisk.isEmpty())
            QSKIP(qPrintable(m_noDisk));
        m_h.localRoot = m_disk.path();
        const QByteArray first = "first content", mine = "local content", theirs = "remote change";
        SyncHarness::Outcome out;
        qint64 second = 0;
        bool inOneSecond = false;
        // Retried when the steps crossed into the next second.
        for (int attempt = 0; attempt < 5 && !inOneSecond; ++attempt) {
            QVERIFY2(m_h.newSetting(), qPrintable(m_h.error()));
            if (scenario != "upload")
                QVERIFY(m_h.putRemote("f.txt", first));
            second = startOfASecond();
            bool edited = false;
            auto edit = [&]() {
                edited = m_h.putLocal("f.txt", mine);
                inOneSecond = edited && QDateTime::currentMSecsSinceEpoch() / 1000 == second;
            };
            if (scenario == "upload") {
                QVERIFY(m_h.putLocal("f.txt", first));
                out = m_h.run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
                    if (!edited && pi.message == "Uploading ..." && !pi.action.executed())
                        edit();
                });
            } else if (scenario == "landed") {
                out = m_h.run();
                edit();
            } else if (scenario == "untouched") {
                out = m_h.run();
                edited = inOneSecond = true;
            } else {
                QCOMPARE(m_h.run().nFailed, 0);
                // Without a checksum the row keeps no 1 ms mark: its time goes back to the whole second.
                if (scenario == "replace, no checksum") {
                    QVERIFY(m_h.db().rawExec({"UPDATE fs_object SET checksum = '', local_mtime = local_mtime + 1 "
                                              "WHERE path = 'f.txt' AND local_mtime % 1000 = 999"}));
                    QCOMPARE(m_h.db().rawValue("SELECT count(*) FROM fs_object WHERE checksum = ''").toInt(), 1);
                }
                QVERIFY(m_h.putRemote("f.txt", theirs));
                m_h.svc().fault({{"path", "/filesafe/file/"}, {"method", "GET"}, {"delay_ms", 300}});
                out = m_h.run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
                    if (!edited && pi.action.action() == SyncAction::DownloadFile)
                        edit();
                });
            }
            QCOMPARE(out.end, QString("finished"));
            QVERIFY(edited);
        }
        QVERIFY2(inOneSecond, "the steps never fell within one second");

        SyncHarness::Tree copies;
        if (scenario == "upload") {
            QCOMPARE(m_h.run().nFailed, 0);
            QCOMPARE(m_h.remoteTree().value("f.txt"), mine);
        } else if (scenario == "landed") {
            // Past the step: the time the next run scans proves nothing either way.
            QThread::msleep(ulong(qMax<qint64>(0, (second + 2) * 1000 + 300 - QDateTime::currentMSecsSinceEpoch())));
            QVERIFY(m_h.putRemote("f.txt", "remote edit, longer"));
            QCOMPARE(m_h.run().end, QString("finished"));
            QCOMPARE(m_h.localTree(&copies).value("f.txt"), QByteArray("remote edit, longer"));
            QCOMPARE(copies.values(), QList<QByteArray>{mine});
        } else if (scenario == "untouched") {
            QVERIFY(m_h.putRemote("f.txt", "remote edit, longer"));
            QCOMPARE(m_h.run().end, QString("finished"));
            QCOMPARE(m_h.localTree(&copies).value("f.txt"), QByteArray("remote edit, longer"));
            QVERIFY(copies.isEmpty());
        } else {
            QCOMPARE(out.countStatus(SyncAction::WARN_AUTO_RESOLVED), 1);
            QCOMPARE(m_h.localTree(&copies).value("f.txt"), theirs);
            QCOMPARE(copies.values(), QList<QByteArray>{mine});
        }
        CONVERGES(m_h);
    }

    void transferredFilesReadAgain_data()
    {
        QTest::addColumn<bool>("wholeSeconds");
        QTest::newRow("whole seconds: each once") << true;
        QTest::newRow("nanoseconds: none") << false;
    }

    // An upload, a download and a file found alike on both sides, left alone: the run after them
    // reads each file again (N3) only where times are whole seconds.
    void transferredFilesReadAgain()
    {
        QFETCH(bool, wholeSeconds);
        if (wholeSeconds && !m_noDisk.isEmpty())
            QSKIP(qPrintable(m_noDisk));
        m_h.localRoot = wholeSeconds ? m_disk.path() : QString();
        QVERIFY2(m_h.newSetting(), qPrintable(m_h.error()));
        QVERIFY(m_h.apply({"L up.txt=sent", "R down.txt=received", "L both.txt=alike", "R both.txt=alike"}));
        // Zero milliseconds, but nanoseconds besides: never a whole-second time.
        const struct timespec times[2] = {{0, UTIME_OMIT}, {QDateTime::currentSecsSinceEpoch(), 500}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_h.localPath("both.txt")).constData(), times, 0), 0);
        QCOMPARE(m_h.run().nFailed, 0);
        QCOMPARE(m_h.run().work(), 0);
        // The state a file's content was read for goes to the history as an UpdateSyncState.
        const int read = m_h.db().rawValue(QString("SELECT count(*) FROM sync_history_object WHERE action = %1 AND "
                                                   "sync_history_id = (SELECT max(id) FROM sync_history)")
                                                   .arg(int(SyncAction::UpdateSyncState)))
                                 .toInt();
        QCOMPARE(read, wholeSeconds ? 3 : 0);
    }

    // A download keeps its whole-second time a millisecond early; the service then deletes the file:
    // the unchanged file follows the deletion instead of being uploaded again.
    void remoteDeletionAfterDownload()
    {
        if (!m_noDisk.isEmpty())
            QSKIP(qPrintable(m_noDisk));
        m_h.localRoot = m_disk.path();
        QVERIFY2(m_h.newSetting(), qPrintable(m_h.error()));
        const QByteArray content = "from the service";
        QVERIFY(m_h.putRemote("f.txt", content));
        QCOMPARE(m_h.run().nFailed, 0);
        QCOMPARE(m_h.readLocal("f.txt"), content);
        const qint64 mtime = QFileInfo(m_h.localPath("f.txt")).lastModified().toMSecsSinceEpoch();
        QCOMPARE(mtime % 1000, 0);
        QVERIFY(m_h.deleteRemote("f.txt"));
        const SyncHarness::Outcome out = m_h.run();
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(out.nFailed, 0);
        QCOMPARE(out.work(), 1);
        QCOMPARE(out.finished.first().action(), int(SyncAction::DeleteLocalFile));
        QCOMPARE(m_h.readLocal("f.txt"), QByteArray("<missing>"));
        QVERIFY(m_h.remoteTree().isEmpty());
        // In the trash of the folder's own file system, unchanged.
        QFile trashed(QStringLiteral("%1/.Trash-%2/files/f.txt").arg(m_disk.path()).arg(::getuid()));
        QVERIFY2(trashed.open(QIODevice::ReadOnly), qPrintable(trashed.fileName()));
        QCOMPARE(trashed.readAll(), content);
        QCOMPARE(m_h.run().work(), 0);
    }

private:
    WholeSecondDisk m_disk;
    QString m_noDisk;
    SyncHarness m_h;
};

QTEST_MAIN(TestWholeSeconds)
#include "tst_wholeseconds.moc"
