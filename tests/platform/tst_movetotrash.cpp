#include "platform/MoveToTrashUtil.h"
#include "sync/SyncAction.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QUrl>
#include <QtTest>

#include <dirent.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A mount namespace of this process's own, where a tmpfs can stand for another drive.
bool s_isolated = false;
constexpr uid_t kOtherUser = 65534;
} // namespace

// The trash of the data folder, and that of another file system's top folder with the folders
// another user may have prepared there.
class TestMoveToTrash : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        m_drive = m_env->home() + "/drive";
        QVERIFY(QDir().mkpath(m_drive));
        m_mounted = s_isolated && ::mount("tessarvale-test", QFile::encodeName(m_drive).constData(), "tmpfs", 0,
                                          "mode=0755") == 0;
    }

    void cleanup()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_drive).constData(), MNT_DETACH);
        m_env.reset();
    }

    void homeTrash()
    {
        const QString trash = m_env->dataHome() + "/Trash";
        write(m_env->home() + "/a/same.txt", "first");
        write(m_env->home() + "/b/same.txt", "second");
        write(m_env->home() + "/folder/inner.txt", "inner");
        QVERIFY(MoveToTrashUtil::moveToTrash(m_env->home() + "/a/same.txt"));
        QVERIFY(MoveToTrashUtil::moveToTrash(m_env->home() + "/b/same.txt"));
        QVERIFY(MoveToTrashUtil::moveToTrash(m_env->home() + "/folder"));
        // The same name twice: neither replaces the other, each with its own description.
        const QMap<QByteArray, QByteArray> origins = trashedFiles(trash);
        QCOMPARE(origins.value("first"), QUrl::toPercentEncoding(m_env->home() + "/a/same.txt", "/"));
        QCOMPARE(origins.value("second"), QUrl::toPercentEncoding(m_env->home() + "/b/same.txt", "/"));
        QCOMPARE(origins.size(), 2);
        QCOMPARE(read(trash + "/files/folder/inner.txt"), QByteArray("inner"));
        QVERIFY(read(trash + "/info/folder.trashinfo").startsWith("[Trash Info]\n"));
        QVERIFY(!QFileInfo::exists(m_env->home() + "/folder"));
    }

    // A name with room to spare where it lies may leave none for its description's ending: the
    // entry is then shortened on a character's boundary, and the description keeps the whole name.
    void longNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("keptWhole"); // the first of two keeps its name in the trash
        QTest::newRow("255 bytes") << QString(251, 'a') + ".txt" << false;
        QTest::newRow("85 CJK characters") << QString(85, QChar(0x6587)) << false;
        QTest::newRow("fits, but not numbered") << QString(245, 'b') << true;
    }

    void longNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, keptWhole);
        const QString trash = m_env->dataHome() + "/Trash";
        write(m_env->home() + "/a/" + name, "first");
        write(m_env->home() + "/b/" + name, "second");
        QVERIFY(MoveToTrashUtil::moveToTrash(m_env->home() + "/a/" + name));
        QVERIFY(MoveToTrashUtil::moveToTrash(m_env->home() + "/b/" + name));
        const QMap<QByteArray, QByteArray> origins = trashedFiles(trash);
        QCOMPARE(origins.value("first"), QUrl::toPercentEncoding(m_env->home() + "/a/" + name, "/"));
        QCOMPARE(origins.value("second"), QUrl::toPercentEncoding(m_env->home() + "/b/" + name, "/"));
        QCOMPARE(origins.size(), 2);
        QCOMPARE(QFileInfo::exists(trash + "/files/" + name), keptWhole);
        QCOMPARE(QDir(trash + "/info").entryList(QDir::Files).size(), 2);
    }

    void otherDrive_data()
    {
        QTest::addColumn<QString>("prepared");
        QTest::addColumn<QString>("trash"); // below the drive; empty: no safe trash, the file stays
        const QString own = QString(".Trash-%1").arg(::geteuid());
        const QString shared = QString(".Trash/%1").arg(::geteuid());
        QTest::newRow("nothing yet") << "" << own;
        QTest::newRow("own trash") << "own 0700" << own;
        QTest::newRow("trash of another user") << "own other" << "";
        QTest::newRow("trash open to all") << "own 0777" << "";
        QTest::newRow("trash open to its group") << "own 0770" << "";
        QTest::newRow("trash is a link") << "own link" << "";
        QTest::newRow("its files folder is a link") << "own files-link" << "";
        QTest::newRow("sticky shared trash") << "shared 1777" << shared;
        QTest::newRow("shared trash, our folder another user's") << "shared 1777, mine other" << own;
        QTest::newRow("shared trash not sticky") << "shared 0777" << own;
        QTest::newRow("shared trash is a link") << "shared link" << own;
    }

    void otherDrive()
    {
        QFETCH(QString, prepared);
        QFETCH(QString, trash);
        if (!m_mounted)
            QSKIP("another file system needs a mount namespace of our own (root)");
        const QString uid = QString::number(::geteuid());
        const QString own = m_drive + "/.Trash-" + uid;
        const QString shared = m_drive + "/.Trash";
        bool given = false; // a mode named right after the kind
        const uint mode = prepared.section(' ', 1, 1).toUInt(&given, 8);
        if (prepared.startsWith("own")) {
            const QString made = prepared.endsWith("link") && !prepared.contains("files") ? m_drive + "/elsewhere" : own;
            QVERIFY(QDir().mkpath(made + "/files") && QDir().mkpath(made + "/info"));
            QCOMPARE(::chmod(QFile::encodeName(made).constData(), given ? mode : 0700), 0);
            if (prepared.endsWith("other"))
                QCOMPARE(::chown(QFile::encodeName(made).constData(), kOtherUser, kOtherUser), 0);
            if (made != own)
                QVERIFY(QFile::link(made, own));
            if (prepared.contains("files-link")) {
                QVERIFY(QDir().mkpath(m_drive + "/elsewhere"));
                QVERIFY(QDir(own).rmdir("files") && QFile::link(m_drive + "/elsewhere", own + "/files"));
            }
        } else if (prepared.startsWith("shared")) {
            const QString made = prepared.endsWith("link") ? m_drive + "/elsewhere" : shared;
            QVERIFY(QDir().mkpath(made));
            QCOMPARE(::chmod(QFile::encodeName(made).constData(), given ? mode : 01777), 0);
            if (made != shared)
                QVERIFY(QFile::link(made, shared));
            if (prepared.endsWith("mine other")) {
                QVERIFY(QDir().mkpath(shared + "/" + uid));
                QCOMPARE(::chown(QFile::encodeName(shared + "/" + uid).constData(), kOtherUser, kOtherUser), 0);
            }
        }
        write(m_drive + "/data/a.txt", "decrypted contents");

        const bool moved = MoveToTrashUtil::moveToTrash(m_drive + "/data/a.txt");
        QCOMPARE(moved, !trash.isEmpty());
        if (trash.isEmpty()) {
            QCOMPARE(read(m_drive + "/data/a.txt"), QByteArray("decrypted contents"));
            QCOMPARE(trashedCopies(), 0);
            return;
        }
        QVERIFY(!QFileInfo::exists(m_drive + "/data/a.txt"));
        QCOMPARE(read(m_drive + "/" + trash + "/files/a.txt"), QByteArray("decrypted contents"));
        QCOMPARE(trashedCopies(), 2);
        // Relative to the top folder, so that the drive may be mounted elsewhere later.
        QVERIFY(read(m_drive + "/" + trash + "/info/a.txt.trashinfo").contains("\nPath=data/a.txt\nDeletionDate="));
        struct stat st;
        QCOMPARE(::lstat(QFile::encodeName(m_drive + "/" + trash).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0700);
        QCOMPARE(st.st_uid, ::geteuid());
    }

    // Without a safe trash a local deletion fails and leaves the file or folder where it is.
    void localDeletionsWithoutSafeTrash()
    {
        if (!m_mounted)
            QSKIP("another file system needs a mount namespace of our own (root)");
        const QString own = m_drive + "/.Trash-" + QString::number(::geteuid());
        QVERIFY(QDir().mkpath(own));
        QCOMPARE(::chmod(QFile::encodeName(own).constData(), 0777), 0);
        QCOMPARE(::chown(QFile::encodeName(own).constData(), kOtherUser, kOtherUser), 0);
        write(m_drive + "/Safe/doc.txt", "mine");
        write(m_drive + "/Safe/junk/Thumbs.db", "thumbs");

        SyncAction file = action(SyncAction::DeleteLocalFile, "doc.txt", "f");
        QVERIFY(!file.execDeleteLocalFile());
        QCOMPARE(file.status(), int(SyncAction::ERR_LOCAL_FILE_DELETE));
        SyncAction folder = action(SyncAction::DeleteLocalDir, "junk", "d");
        QVERIFY(!folder.execDeleteLocalDir());
        QCOMPARE(folder.status(), int(SyncAction::ERR_DIR_DELETE));
        QCOMPARE(read(m_drive + "/Safe/doc.txt"), QByteArray("mine"));
        QCOMPARE(read(m_drive + "/Safe/junk/Thumbs.db"), QByteArray("thumbs"));
        QCOMPARE(QDir(own).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

private:
    SyncAction action(int type, const QString &name, const QString &fsType) const
    {
        SyncAction a;
        a.setAction(type);
        a.setLocalBase(m_drive + "/Safe/");
        a.setName(name);
        a.setType(fsType);
        a.setStatus(SyncAction::STATUS_TODO);
        const QFileInfo info(m_drive + "/Safe/" + name);
        a.setLocalSize(info.size());
        a.setLocalMtime(info.lastModified());
        return a;
    }

    // The contents of the trashed files, each with the original path its description names. Every
    // entry is whole UTF-8 and leaves room for its description's name.
    static QMap<QByteArray, QByteArray> trashedFiles(const QString &trash)
    {
        QMap<QByteArray, QByteArray> out;
        DIR *dir = ::opendir(QFile::encodeName(trash + "/files").constData());
        while (const dirent *d = dir ? ::readdir(dir) : nullptr) {
            const QByteArray raw(d->d_name);
            if (raw == "." || raw == ".." || d->d_type != DT_REG)
                continue;
            const QString entry = QString::fromUtf8(raw);
            if (entry.toUtf8() != raw || entry.contains(QChar::ReplacementCharacter) || raw.size() + 10 > 255) {
                out.insert("bad entry name: " + raw, QByteArray());
                continue;
            }
            const QByteArray info = read(trash + "/info/" + entry + ".trashinfo");
            out.insert(read(trash + "/files/" + entry),
                       info.startsWith("[Trash Info]\nPath=") ? info.split('\n').value(1).mid(5) : info);
        }
        if (dir)
            ::closedir(dir);
        return out;
    }
    // Copies of the trashed file and descriptions anywhere on the drive but the file's own place.
    int trashedCopies() const
    {
        int n = 0;
        QDirIterator it(m_drive, {"a.txt*"}, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            n += it.next() != m_drive + "/data/a.txt" ? 1 : 0;
        return n;
    }
    static void write(const QString &path, const QByteArray &data)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), qint64(data.size()));
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QScopedPointer<TestEnv> m_env;
    QString m_drive;
    bool m_mounted = false;
};

int main(int argc, char *argv[])
{
    // Made while the process has one thread (the test runner starts a watchdog): the tmpfs drives
    // are then seen by this process alone and go with it.
    s_isolated = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QCoreApplication app(argc, argv);
    TestMoveToTrash tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_movetotrash.moc"
