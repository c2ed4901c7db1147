#include "sync/SyncAction.h"
#include "sync/SyncState.h"
#include "tests/support/TestEnv.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

// The walk of the folders with a depth limit, which the client's own scan never sets.
class DepthLimitedScan : public SyncState
{
public:
    using SyncState::SyncState;
    int scan(int maxDepth)
    {
        Walk walk;
        scanLocalFolderRecursive(QString(), QString(), basePath(), &walk, maxDepth, 1);
        return count();
    }
};

// The tag of today's conflict copies on this host, without its parentheses.
QString todaysTag()
{
    QString host = QHostInfo::localHostName().section('.', 0, 0);
    if (!host.isEmpty())
        host += "'s ";
    return host + "conflicted copy " + QDate::currentDate().toString("yyyy-MM-dd");
}

// The local scan and the local steps of a plan on real folders, with a trash of the test's own.
class TestLocalActions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        m_root = m_env->home() + "/Safe";
        QVERIFY(QDir().mkpath(m_root));
    }
    void cleanup() { m_env.reset(); }

    void conflictCopyNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("two dots") << "report.final.docx" << "report" << ".final.docx";
        QTest::newRow("no dot") << "Makefile" << "Makefile" << "";
        QTest::newRow("leading dot") << ".profile" << "" << ".profile";
    }

    void conflictCopyNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, base);
        QFETCH(QString, suffix);
        const QString tag = todaysTag();
        write("d/" + name, "mine");
        QVERIFY(action(SyncAction::BackupDownloadFile, "d/" + name).execBackupLocalFile());
        QVERIFY(QFile::exists(m_root + "/d/" + base + "(" + tag + ")" + suffix));
        // A second copy never replaces the first.
        write("d/" + name, "mine again");
        QVERIFY(action(SyncAction::BackupDownloadFile, "d/" + name).execBackupLocalFile());
        QVERIFY(QFile::exists(m_root + "/d/" + base + "(" + tag + " 1)" + suffix));
        QVERIFY(!QFile::exists(m_root + "/d/" + name));
    }

    // Names whose copy would pass the folder's limit of 255 bytes. A regression loops for ever:
    // the alarm ends the test instead.
    void longConflictCopyNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("starts"); // the copy's name, before the tag
        QTest::addColumn<QString>("ends");   // after the tag; empty: no copy can be named
        QString cyrillic;
        for (int i = 0; i < 120; ++i)
            cyrillic += QChar(0x0430 + i % 32);
        QTest::newRow("long base") << cyrillic + ".txt" << cyrillic.left(3) << ".txt";
        // With the base gone, the middle of the suffix gives way; the last extension stays.
        QTest::newRow("long middle of the suffix") << "a." + QString(240, 'm') + ".txt" << "" << ".mm";
        // Then the last extension, from its end: the tag alone must fit.
        QTest::newRow("the last extension leaves no room") << "a." + QString(240, 'x') << "" << ".xx";
    }

    void longConflictCopyNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, starts);
        QFETCH(QString, ends);
        const QString tag = "(" + todaysTag() + ")";
        write("d/" + name, "mine");
        SyncAction a = action(SyncAction::BackupDownloadFile, "d/" + name);
        ::alarm(10);
        const bool backedUp = a.execBackupLocalFile();
        ::alarm(0);
        const QStringList entries = QDir(m_root + "/d").entryList(QDir::Files);
        QCOMPARE(entries.size(), 1);
        if (ends.isEmpty()) { // nothing is moved
            QVERIFY(!backedUp);
            QCOMPARE(a.status(), int(SyncAction::ERR_FILE_BACKUP));
            QCOMPARE(a.execErrorMsg(), QString("Failed to rename file: '%1'").arg(m_root + "/d/" + name));
            QCOMPARE(entries.first(), name);
            return;
        }
        QVERIFY(backedUp);
        const QString copy = entries.first();
        // Shortened by whole letters of at most two bytes: as long as the limit allows.
        const int bytes = QFile::encodeName(copy).size();
        QVERIFY2(bytes <= 255 && bytes >= 254, qPrintable(copy));
        const int at = copy.indexOf(tag);
        QVERIFY2(at >= 0 && copy.startsWith(starts) && name.startsWith(copy.left(at)), qPrintable(copy));
        const QString rest = copy.mid(at + tag.size());
        const QString extension = "." + name.section('.', -1);
        QVERIFY2(rest.startsWith(ends) && (rest.endsWith(extension) || extension.startsWith(rest)), qPrintable(copy));
    }

    void deleteFileGoesToTrash()
    {
        write("docs/a.txt", "keep me somewhere");
        QVERIFY(action(SyncAction::DeleteLocalFile, "docs/a.txt").execDeleteLocalFile());
        QVERIFY(!QFile::exists(m_root + "/docs/a.txt"));
        QFile trashed(trash() + "/files/a.txt");
        QVERIFY(trashed.open(QIODevice::ReadOnly));
        QCOMPARE(trashed.readAll(), QByteArray("keep me somewhere"));
        QFile info(trash() + "/info/a.txt.trashinfo");
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY(info.readAll().contains("Path=" + QUrl::toPercentEncoding(m_root + "/docs/a.txt", "/")));
    }

    void deleteFileRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");
        QTest::newRow("trash fails") << "trash" << int(SyncAction::ERR_LOCAL_FILE_DELETE);
        QTest::newRow("size changed") << "size" << int(SyncAction::WARN_SKIPPED);
        QTest::newRow("time changed") << "time" << int(SyncAction::WARN_SKIPPED);
        QTest::newRow("now a folder") << "folder" << int(SyncAction::WARN_SKIPPED);
        QTest::newRow("folder is a link") << "link" << int(SyncAction::ERR_LOCAL_FILE_DELETE);
    }

    void deleteFileRefused()
    {
        QFETCH(QString, change);
        QFETCH(int, status);
        write("docs/a.txt", "12345");
        SyncAction a = action(SyncAction::DeleteLocalFile, "docs/a.txt");
        QString kept = m_root + "/docs/a.txt";
        if (change == "trash") {
            // A trash that cannot be made: the file stays, it is not deleted for good.
            write("../.local/share/Trash", "not a folder");
            QVERIFY(QFile::exists(trash()));
        } else if (change == "size") {
            write("docs/a.txt", "123456");
        } else if (change == "time") {
            QFile f(kept);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(a.localMtime().addSecs(-60), QFileDevice::FileModificationTime));
        } else if (change == "folder") {
            QVERIFY(QFile::remove(kept));
            QVERIFY(QDir().mkpath(kept + "/inner"));
        } else if (change == "link") {
            // The folder was replaced by a link to a folder outside the synchronised tree.
            QVERIFY(QDir(m_root).rename("docs", "../outside"));
            QVERIFY(QFile::link(m_env->home() + "/outside", m_root + "/docs"));
            kept = m_env->home() + "/outside/a.txt";
        }
        QVERIFY(!a.execDeleteLocalFile());
        QCOMPARE(a.status(), status);
        QVERIFY(QFileInfo::exists(kept));
    }

    void deleteFolder()
    {
        // A trash that cannot be made: the folder stays, it is not deleted for good.
        write("junk/Thumbs.db");
        write("../.local/share/Trash", "not a folder");
        SyncAction kept = action(SyncAction::DeleteLocalDir, "junk", "d");
        QVERIFY(!kept.execDeleteLocalDir());
        QCOMPARE(kept.status(), int(SyncAction::ERR_DIR_DELETE));
        QVERIFY(QFileInfo::exists(m_root + "/junk/Thumbs.db"));
        QVERIFY(QFile::remove(trash()));

        write("only/desktop.ini");
        write("only/Thumbs.db");
        write("mixed/desktop.ini");
        write("mixed/a.txt");
        QVERIFY(QDir().mkpath(m_root + "/linked"));
        QVERIFY(QFile::link(m_env->home(), m_root + "/linked/desktop.ini"));

        QVERIFY(action(SyncAction::DeleteLocalDir, "only", "d").execDeleteLocalDir());
        QVERIFY(QFileInfo::exists(trash() + "/files/only/Thumbs.db"));
        for (const char *refused : {"mixed", "linked"}) {
            SyncAction a = action(SyncAction::DeleteLocalDir, refused, "d");
            QVERIFY(!a.execDeleteLocalDir());
            QCOMPARE(a.status(), int(SyncAction::ERR_DIR_DELETE));
        }
        QVERIFY(QFileInfo::exists(m_root + "/mixed/a.txt"));
    }

    void createFolder()
    {
        SyncAction orphan = action(SyncAction::CreateLocalDir, "none/new", "d");
        QVERIFY(!orphan.execCreateLocalDir());
        QCOMPARE(orphan.status(), int(SyncAction::ERR_PARENT_DIR_MISSING));
        // Never through a link out of the synchronised folder.
        QVERIFY(QFile::link(m_env->home(), m_root + "/away"));
        SyncAction through = action(SyncAction::CreateLocalDir, "away/new", "d");
        QVERIFY(!through.execCreateLocalDir());
        QVERIFY(!QFileInfo::exists(m_env->home() + "/new"));
    }

    void decomposedNameOnDisk()
    {
        const QString nfd = QStringLiteral("Cafe\u0301");
        write(nfd + "/menu.txt", "soup");
        SyncAction a = action(SyncAction::DeleteLocalFile, nfd + "/menu.txt");
        a.setPath(nfd.normalized(QString::NormalizationForm_C));
        a.setLocalDiskPath(nfd + "/menu.txt");
        QVERIFY(a.execDeleteLocalFile());
        QVERIFY(!QFileInfo::exists(m_root + "/" + nfd + "/menu.txt"));
    }

    void scanRealTree()
    {
        const QString nfd = QStringLiteral("Cafe\u0301");
        const QString nfc = nfd.normalized(QString::NormalizationForm_C);
        write("docs/" + nfd + "/menu.txt", "soup");
        write("empty.txt", "");
        write(".hidden", "h");
        QVERIFY(QDir(m_root).mkdir(".hiddendir"));
        QVERIFY(QFile::link(m_root + "/empty.txt", m_root + "/filelink"));
        QVERIFY(QFile::link(m_root + "/docs", m_root + "/dirlink"));
        QFile sparse(m_root + "/big.bin");
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(2147483648LL + 5));
        sparse.close();

        SyncState state(m_root, 7);
        QCOMPARE(state.scanLocal(), 7);
        QCOMPARE(asSet(state.paths()), QSet<QString>({"docs", "docs/" + nfc, "docs/" + nfc + "/menu.txt", "empty.txt",
                                                      ".hidden", ".hiddendir", "big.bin"}));
        QCOMPARE(state.get("big.bin").size(), 2147483648LL + 5);
        // The composed key, but the decomposed file on disk, also for what lies below it.
        QCOMPARE(state.diskPath("docs/" + nfc + "/menu.txt"), "docs/" + nfd + "/menu.txt");
        QCOMPARE(state.diskPath("docs/" + nfc + "/new.txt"), "docs/" + nfd + "/new.txt");
        QCOMPARE(asSet(state.linkPaths()), QSet<QString>({"filelink", "dirlink"}));
        QVERIFY(state.isBelowLink("dirlink/" + nfd));
    }

    // What the scan cannot see is unknown, not absent: a folder it cannot list (the base folder
    // too, which leaves no object at all) and a folder a depth limit leaves unwalked.
    void unreadableFolderIsRecorded_data()
    {
        QTest::addColumn<QString>("locked"); // made unlistable, "" the base folder; "-" none
        QTest::addColumn<int>("maxDepth");   // 0: the client's own scan, without a limit
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("unreadable");
        QTest::newRow("a folder below the base") << "open/locked" << 0 << 3 << "open/locked";
        QTest::newRow("the base folder") << "" << 0 << 0 << "";
        QTest::newRow("a folder beyond the depth limit") << "-" << 2 << 3 << "open/locked";
    }

    void unreadableFolderIsRecorded()
    {
        QFETCH(QString, locked);
        QFETCH(int, maxDepth);
        QFETCH(int, count);
        QFETCH(QString, unreadable);
        // Below /tmp, which an unprivileged user can reach.
        QTemporaryDir dir;
        m_root = dir.path();
        QFile::setPermissions(m_root, QFileDevice::Permissions(0x7755));
        write("open/locked/secret.txt", "x");
        write("open/a.txt", "a");
        const QString lockedPath = locked.isEmpty() ? m_root : m_root + "/" + locked;
        if (locked != "-")
            QFile::setPermissions(lockedPath, QFileDevice::Permissions());

        DepthLimitedScan state(m_root, 1);
        // Permissions do not bind root: scan as nobody then.
        const bool asNobody = ::geteuid() == 0 && ::seteuid(65534) == 0;
        const int n = maxDepth == 0 ? state.scanLocal() : state.scan(maxDepth);
        if (asNobody)
            QVERIFY(::seteuid(0) == 0);
        if (locked != "-")
            QFile::setPermissions(lockedPath,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(n, count);
        QCOMPARE(state.count(), count);
        QCOMPARE(state.unreadablePaths(), QStringList{unreadable});
        QVERIFY(!state.isComplete());
        QVERIFY(state.isBelowUnreadable("open/locked/secret.txt"));
        QCOMPARE(state.isBelowUnreadable("open/locked2"), unreadable.isEmpty());
    }

    void nameCollisions()
    {
        const QString nfd = QStringLiteral("e\u0301.txt");
        write(nfd, "decomposed");
        write(nfd.normalized(QString::NormalizationForm_C), "composed");
        write("Docs/x/a.txt");
        QVERIFY(QDir(m_root).mkpath("docs"));
        write("readme", "1");
        // A name that is not UTF-8 cannot be reached through any text of ours.
        QVERIFY(::close(::creat((QFile::encodeName(m_root) + "/caf\xe9").constData(), 0644)) == 0);

        SyncState state(m_root, 1);
        state.scanLocal();
        QCOMPARE(state.unreadablePaths().size(), 1);
        QVERIFY(!state.contains(state.unreadablePaths().first()));
        QVERIFY(state.isCollision(nfd.normalized(QString::NormalizationForm_C)));
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
    }

    void baseMissingEmptyAndStopped()
    {
        SyncState missing(m_root + "/nope", 1);
        missing.add(FsObject("", "kept", 1, QDateTime(), QDateTime(), "", "f", ""));
        QCOMPARE(missing.scanLocal(), SyncState::ScanBaseMissing);
        QCOMPARE(missing.count(), 1);
        QCOMPARE(SyncState(m_root, 1).scanLocal(), 0);

        for (int i = 0; i < 2000; ++i)
            write(QString("f%1").arg(i), "x");
        int calls = 0;
        SyncState stopped(m_root, 1);
        QCOMPARE(stopped.scanLocal([&calls]() { return ++calls < 2; }), SyncState::ScanStopped);
        // Nothing that was not reached may look deleted.
        QVERIFY(stopped.isBelowUnreadable("f1999"));
    }

private:
    static QSet<QString> asSet(const QStringList &list) { return QSet<QString>(list.begin(), list.end()); }
    SyncAction action(int type, const QString &relPath, const QString &fsType = "f") const
    {
        SyncAction a;
        a.setAction(type);
        a.setLocalBase(m_root + "/");
        a.setPath(relPath.section('/', 0, -2));
        a.setName(relPath.section('/', -1));
        a.setType(fsType);
        a.setStatus(SyncAction::STATUS_TODO);
        const QFileInfo info(m_root + "/" + relPath);
        a.setLocalSize(info.size());
        a.setLocalMtime(info.lastModified());
        return a;
    }
    void write(const QString &relPath, const QByteArray &data = "data")
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_root + "/" + relPath).path()));
        QFile f(m_root + "/" + relPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QString trash() const { return m_env->dataHome() + "/Trash"; }

    QScopedPointer<TestEnv> m_env;
    QString m_root;
};

QTEST_GUILESS_MAIN(TestLocalActions)
#include "tst_localactions.moc"
