#include "db/FileObjectDao.h"
#include "sync/SyncState.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class TestSyncState : public QObject
{
    Q_OBJECT

private slots:
    void scanRealTree();
    void unreadableFolderIsRecorded();
    void nameCollisions();
    void baseMissingEmptyAndStopped();
    void lastStateFromStore();

private:
    static QSet<QString> asSet(const QStringList &list) { return QSet<QString>(list.begin(), list.end()); }
    static void writeFile(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
};

void TestSyncState::scanRealTree()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString nfd = QStringLiteral("Cafe\u0301");
    const QString nfc = nfd.normalized(QString::NormalizationForm_C);
    QVERIFY(QDir(root).mkpath("docs/" + nfd));
    writeFile(root + "/docs/" + nfd + "/menu.txt", "soup");
    writeFile(root + "/empty.txt", "");
    writeFile(root + "/.hidden", "h");
    QVERIFY(QDir(root).mkdir(".hiddendir"));
    QVERIFY(QFile::link(root + "/empty.txt", root + "/filelink"));
    QVERIFY(QFile::link(root + "/docs", root + "/dirlink"));
    QFile sparse(root + "/big.bin");
    QVERIFY(sparse.open(QIODevice::WriteOnly));
    QVERIFY(sparse.resize(2147483648LL + 5));
    sparse.close();

    SyncState state(root, 7);
    QCOMPARE(state.scanLocal(), 7);
    QCOMPARE(asSet(state.paths()), QSet<QString>({"docs", "docs/" + nfc, "docs/" + nfc + "/menu.txt", "empty.txt",
                                                  ".hidden", ".hiddendir", "big.bin"}));
    QCOMPARE(state.fileCount(), 4);
    QCOMPARE(state.dirCount(), 3);
    QCOMPARE(state.get("big.bin").size(), 2147483648LL + 5);
    QCOMPARE(state.get("empty.txt").size(), 0);
    QCOMPARE(state.get("docs/" + nfc + "/menu.txt").type(), QString("f"));
    QCOMPARE(state.get("docs/" + nfc + "/menu.txt").localMtime(),
             QFileInfo(root + "/docs/" + nfd + "/menu.txt").lastModified());
    QVERIFY(state.taken().isValid());

    // The composed key, but the decomposed file on disk, also for what lies below it.
    QCOMPARE(state.diskPath("docs/" + nfc + "/menu.txt"), "docs/" + nfd + "/menu.txt");
    QCOMPARE(state.diskPath("docs/" + nfc + "/new.txt"), "docs/" + nfd + "/new.txt");
    QVERIFY(QFile::exists(state.localFilePath("docs/" + nfc + "/menu.txt")));

    QCOMPARE(asSet(state.linkPaths()), QSet<QString>({"filelink", "dirlink"}));
    QVERIFY(state.isBelowLink("dirlink/" + nfd));
    QVERIFY(!state.isBelowLink("docs"));
    QVERIFY(state.isComplete());
    QVERIFY(state.collisionPaths().isEmpty());
}

void TestSyncState::unreadableFolderIsRecorded()
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755));
    QVERIFY(QDir(dir.path()).mkpath("open/locked"));
    writeFile(dir.path() + "/open/locked/secret.txt", "x");
    writeFile(dir.path() + "/open/a.txt", "a");
    QFile::setPermissions(dir.path() + "/open/locked", QFileDevice::Permissions());

    SyncState state(dir.path(), 1);
    // Permissions do not bind root: scan as nobody then.
    const bool asNobody = ::geteuid() == 0 && ::seteuid(65534) == 0;
    const int n = state.scanLocal();
    if (asNobody)
        QVERIFY(::seteuid(0) == 0);
    QFile::setPermissions(dir.path() + "/open/locked",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(n, 3);
    QCOMPARE(state.unreadablePaths(), QStringList{"open/locked"});
    QVERIFY(!state.isComplete());
    QVERIFY(state.isBelowUnreadable("open/locked/secret.txt"));
    QVERIFY(!state.isBelowUnreadable("open/a.txt"));
    QVERIFY(!state.isBelowUnreadable("open/locked2"));
}

void TestSyncState::nameCollisions()
{
    QTemporaryDir dir;
    const QString nfd = QStringLiteral("e\u0301.txt");
    writeFile(dir.path() + "/" + nfd, "decomposed");
    writeFile(dir.path() + "/" + nfd.normalized(QString::NormalizationForm_C), "composed");
    QVERIFY(QDir(dir.path()).mkpath("Docs/x"));
    QVERIFY(QDir(dir.path()).mkpath("docs"));
    writeFile(dir.path() + "/readme", "1");

    SyncState state(dir.path(), 1);
    state.scanLocal();
    QVERIFY(state.isCollision(nfd.normalized(QString::NormalizationForm_C)));
    QVERIFY(state.isCollision("Docs"));
    QVERIFY(state.isCollision("docs"));
    QVERIFY(state.isCollision("Docs/x"));
    QVERIFY(!state.isCollision("readme"));

    // A listing is checked the same way on request.
    SyncState remote("/", 1);
    remote.add(FsObject("1", "Report.pdf", 1, QDateTime(), QDateTime(), "r", "f", ""));
    remote.add(FsObject("2", "report.PDF", 1, QDateTime(), QDateTime(), "r", "f", ""));
    remote.add(FsObject("3", "other.pdf", 1, QDateTime(), QDateTime(), "r", "f", ""));
    remote.findCaseCollisions();
    QCOMPARE(remote.collisionPaths().size(), 2);
    QVERIFY(!remote.isCollision("other.pdf"));
}

void TestSyncState::baseMissingEmptyAndStopped()
{
    QTemporaryDir dir;
    SyncState missing(dir.path() + "/nope", 1);
    missing.add(FsObject("", "kept", 1, QDateTime(), QDateTime(), "", "f", ""));
    QCOMPARE(missing.scanLocal(), SyncState::ScanBaseMissing);
    QCOMPARE(missing.count(), 1);

    SyncState empty(dir.path(), 1);
    QCOMPARE(empty.scanLocal(), 0);

    for (int i = 0; i < 2000; ++i)
        writeFile(QString("%1/f%2").arg(dir.path()).arg(i), "x");
    int calls = 0;
    SyncState stopped(dir.path(), 1);
    QCOMPARE(stopped.scanLocal([&calls]() { return ++calls < 2; }), SyncState::ScanStopped);
    QCOMPARE(calls, 2);
    // Nothing that was not reached may look deleted.
    QVERIFY(stopped.isBelowUnreadable("f1999"));
}

void TestSyncState::lastStateFromStore()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(1700000000000LL, Qt::UTC);
    FileObjectDao::instance()->store(FsObject("o1", "a/b.txt", 5, t, t, "", "f", "sha256:ab"), 3);
    FileObjectDao::instance()->store(FsObject("o2", "a", 0, t, t, "", "d", ""), 3);
    FileObjectDao::instance()->store(FsObject("o3", "other", 0, t, t, "", "d", ""), 4);

    SyncState last("/l/", 3);
    last.loadFromDb();
    QCOMPARE(last.count(), 2);
    QCOMPARE(last.get("a/b.txt").checksum(), QString("sha256:ab"));
    QVERIFY(last.get("other").isNull());
    last.setChecksum("a/b.txt", "sha256:cd");
    QCOMPARE(last.get("a/b.txt").checksum(), QString("sha256:cd"));
}

QTEST_GUILESS_MAIN(TestSyncState)
#include "tst_syncstate.moc"
