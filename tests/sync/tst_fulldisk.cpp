#include "tests/support/LogCapture.h"
#include "tests/sync/SyncHarness.h"

#include <QProcess>
#include <QtTest>

#include <memory>

namespace {
// A size-limited tmpfs mounted on a folder of its own; the test runs in a private mount namespace
// (ctest starts it under unshare), so nothing stays mounted after it.
class SmallDisk
{
public:
    bool mount(qint64 bytes)
    {
        if (!m_dir.isValid())
            return false;
        m_mounted = run({"-t", "tmpfs", "-o", QString("size=%1").arg(bytes), "tmpfs", m_dir.path()});
        return m_mounted;
    }
    // A tmpfs may grow or shrink in place: the files on it stay.
    bool resize(qint64 bytes) { return run({"-o", QString("remount,size=%1").arg(bytes), m_dir.path()}); }
    // Writes a filler file until the file system refuses the next byte.
    bool fill()
    {
        QFile filler(m_dir.filePath("filler"));
        if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
            return false;
        for (int size = 1 << 16; size >= 1; size /= 2) {
            const QByteArray block(size, 'x');
            while (filler.write(block) == size) {
            }
        }
        return filler.error() != QFileDevice::NoError;
    }
    void empty() { QFile::remove(m_dir.filePath("filler")); }
    QString path() const { return m_dir.path(); }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute("umount", {"-l", m_dir.path()});
    }

private:
    static bool run(const QStringList &args) { return QProcess::execute("mount", args) == 0; }
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

const QString NoSpace = QStringLiteral("No space left on device");
} // namespace

// Synchronisation with a full disk: the synchronised folder's, where a download cannot be written,
// and the database's, where the run's state cannot be stored. The messages name the cause, nothing
// is lost on either side, and the run after space is freed converges without an error.
class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        SmallDisk probe;
        if (!probe.mount(1 << 20))
            QSKIP("this user cannot mount a tmpfs (ctest runs the test in a mount namespace of its own)");
    }

    void downloadToFullFolder_data()
    {
        QTest::addColumn<int>("diskBytes");
        QTest::addColumn<int>("bigBytes");
        QTest::addColumn<bool>("onTheWay"); // a chunk's write fails and aborts the reply
        // Room for the small file, not for the big one (which is still small enough for the
        // service's state to show its content).
        QTest::newRow("a block on the way") << (512 << 10) << (900 << 10) << true;
        // Every block but the last fits exactly: the cipher keeps the last one back to the end.
        QTest::newRow("the last block") << (64 << 10) << ((64 << 10) + 10) << false;
    }

    void downloadToFullFolder()
    {
        QFETCH(int, diskBytes);
        QFETCH(int, bigBytes);
        QFETCH(bool, onTheWay);
        SmallDisk disk;
        QVERIFY(disk.mount(diskBytes));
        SyncHarness h;
        QVERIFY2(h.start(), qPrintable(h.error()));
        h.localRoot = disk.path();
        QVERIFY(h.newSetting());
        QVERIFY(h.apply({"R notes.txt=small enough", "R docs/"}));
        QVERIFY(h.svc().control("object", {{"safe_id", h.safeId()}, {"path", "/docs/big.bin"}, {"size", bigBytes}})
                        .value("ok")
                        .toBool());

        LogCapture log;
        const SyncHarness::Outcome out = h.run();
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(out.nFailed, 1);
        const QString expected = QString(onTheWay ? "Aborted: " : "") + "Unable to write download file: " + NoSpace;
        QString message;
        for (const SyncAction &a : out.finished) {
            if (a.name() == "big.bin") {
                QCOMPARE(a.status(), int(SyncAction::ERR_FILE_DOWNLOAD));
                QCOMPARE(a.execErrorMsg(), QString("Failed to download file: 'docs/big.bin'"));
                message = a.reason();
            }
        }
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY(!message.contains("decrypt") && !message.contains("padding"));
        QCOMPARE(message.contains("Aborted"), onTheWay);
        QVERIFY(log.contains(expected));
        // Nothing half written stays, the rest arrived, the service still holds everything.
        QVERIFY(h.noPartials("docs"));
        QCOMPARE(h.readLocal("notes.txt"), QByteArray("small enough"));
        QVERIFY(!QFile::exists(h.localPath("docs/big.bin")));
        QCOMPARE(remoteSize(h, "/docs/big.bin"), bigBytes);

        QVERIFY(disk.resize(16 << 20));
        CONVERGES(h);
        QCOMPARE(QFileInfo(h.localPath("docs/big.bin")).size(), qint64(bigBytes));
    }

    void databaseOnFullDisk()
    {
        SmallDisk disk;
        QVERIFY(disk.mount(4 << 20));
        SyncHarness h(disk.path() + "/client.db3");
        QVERIFY2(h.start(), qPrintable(h.error()));
        QVERIFY(h.newSetting());
        QVERIFY(h.apply({"R a.txt=alpha", "L b.txt=beta"}));
        QCOMPARE(h.run().nFailed, 0);
        const int runs = h.db().rawValue("SELECT count(*) FROM sync_history").toInt();
        QCOMPARE(runs, 1);

        // Full while a whole run goes by: no row can be stored, so the log says how it ended.
        QVERIFY(h.apply({"R c.txt=gamma", "L d.txt=delta"}));
        QVERIFY(disk.fill());
        LogCapture log;
        SyncHarness::Outcome out = h.run();
        QVERIFY2(out.end == "finished" || out.end == "canceled", qPrintable(out.end));
        QCOMPARE(out.stateWriteFailures.size(), 1);
        QVERIFY2(out.stateWriteFailures.first().contains("database or disk is full"),
                 qPrintable(out.stateWriteFailures.first()));
        QVERIFY(log.contains("could not be recorded in the history"));
        QCOMPARE(h.db().rawValue("SELECT count(*) FROM sync_history").toInt(), runs);

        // Space comes back while the next run goes on: its row is stored when it ends.
        bool freed = false;
        out = h.run(true, [&](MultiSyncher &, const ProgressInfo &) {
            if (!freed) {
                freed = true;
                disk.empty();
            }
        });
        QVERIFY(freed);
        QCOMPARE(out.stateWriteFailures.size(), 1);
        QCOMPARE(h.db().rawValue("SELECT count(*) FROM sync_history").toInt(), runs + 1);
        QCOMPARE(h.lastRunState(), int(SyncHistory::Finished));
        QVERIFY(h.db().rawValue("SELECT start_time <= end_time FROM sync_history ORDER BY id DESC LIMIT 1").toBool());

        // Nothing lost on either side; the next runs store everything and find nothing left to do.
        CONVERGES(h);
        QCOMPARE(h.readLocal("c.txt"), QByteArray("gamma"));
        QCOMPARE(h.remoteTree().value("d.txt"), QByteArray("delta"));
        QCOMPARE(h.db().rawValue("SELECT count(*) FROM fs_object").toInt(), 4);
    }

private:
    // Files above 1 MiB come without their content in the service's state.
    static int remoteSize(SyncHarness &h, const QString &path)
    {
        for (const QJsonValue &v : h.safeState().value("objects").toArray()) {
            if (v.toObject().value("path").toString() == path)
                return v.toObject().value("size").toInt();
        }
        return -1;
    }
};

int main(int argc, char **argv)
{
    TestEnv env;
    QCoreApplication app(argc, argv);
    TestFullDisk test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_fulldisk.moc"
