#include "db/R7Database.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "sync/SyncPlanner.h"
#include "sync/SyncState.h"
#include "sync/Syncher.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QPointer>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

// An object as "type size localTime remoteTime checksum objectId" with "-" for null or empty and
// times in seconds after a fixed moment; "" is an absent object.
static FsObject parseObject(const QString &path, const QString &spec)
{
    if (spec.isEmpty())
        return FsObject();
    const QStringList f = spec.split(' ');
    const QDateTime t0(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    auto time = [&](const QString &s) { return s == "-" ? QDateTime() : t0.addMSecs(qRound64(s.toDouble() * 1000)); };
    auto text = [](const QString &s) { return s == "-" ? QString() : s; };
    return FsObject(text(f.value(5, "-")), path, f.value(1).toLongLong(), time(f.value(2, "-")), time(f.value(3, "-")),
                    QString(), f.value(0), text(f.value(4, "-")));
}

struct Fixture
{
    SyncState local{"/sync/root/", 7};
    SyncState last{"/sync/root/", 7};
    SyncState remote{"/safe", 7};
    QString digest = "-";
    int checksumCalls = 0;
    QStringList written;

    void add(const QString &path, const QString &s, const QString &l, const QString &r)
    {
        if (!s.isEmpty())
            last.add(parseObject(path, s));
        if (!l.isEmpty())
            local.add(parseObject(path, l));
        if (!r.isEmpty())
            remote.add(parseObject(path, r));
    }

    QList<SyncAction> plan(SyncPlanner *planner = nullptr)
    {
        SyncSetting setting;
        setting.setId(7);
        setting.setLocalDir("/sync/root/");
        SyncPlanner own(setting);
        SyncPlanner &p = planner ? *planner : own;
        p.setSilentPatterns(Syncher::loadExcludePatterns(":/res/patterns/exclude_silently.txt"));
        p.setChecksumSource([this](const QString &, const QString &algorithm) {
            ++checksumCalls;
            return digest == "-" ? QString() : algorithm + ':' + digest;
        });
        p.setStateWriter([this](const QList<SyncAction *> &batch) {
            for (SyncAction *a : batch)
                written << a->relPath();
        });
        return p.build(local, last, remote);
    }
};

// Reaches the run's setting, which the analysis fills in a real run.
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
};

static const char *kS = "f 100 10 20 sha256:aa o1";
static const char *kL = "f 100 10";
static const char *kR = "f 100 - 20 sha256:aa o1";

static void row(const char *name, const QString &path, const QString &s, const QString &l, const QString &r,
                const QString &digest, int type, int status, const QString &reason, int calls)
{
    QTest::newRow(name) << path << s << l << r << digest << type << status << reason << calls;
}

static const SyncAction &find(const QList<SyncAction> &plan, const QString &relPath)
{
    static const SyncAction none;
    for (const SyncAction &a : plan) {
        if (a.relPath() == relPath)
            return a;
    }
    return none;
}

class TestSyncPlanner : public QObject
{
    Q_OBJECT

private slots:
    void decisionTable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("digest");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("checksumCalls");

        using A = SyncAction;
        const QString f = "d/a.txt";
        const QString d = "sub/dir";
        const QString z = "(Z),";
        // clang-format off
        row("C", d, "", "d 0 10", "", "-", A::CreateRemoteDir, A::STATUS_TODO, "(C) initial sync: dir exists only on local side", 0);
        row("D", f, "", kL, "", "-", A::UploadFile, A::STATUS_TODO, "(D) initial sync: file exists only on local side", 0);
        row("E", d, "", "", "d 0 - 20 - o9", "-", A::CreateLocalDir, A::STATUS_TODO, "(E) initial sync: dir exists only on remote side", 0);
        row("F", f, "", "", kR, "-", A::DownloadFile, A::STATUS_TODO, "(F) initial sync: file exists only on remote side", 0);
        row("G", d, "", "d 0 10", "d 0 - 20 - o9", "-", A::UpdateSyncState, A::STATUS_TODO, "(G) initial sync: dir exists on both sides", 0);
        row("He", f, "", "f 150 10", kR, "aa", A::BackupDownloadFile, A::STATUS_TODO, "(He) initial sync: file sizes are different", 0);
        row("Ha", f, "", kL, "f 100 - 20 - o1", "aa", A::UpdateSyncState, A::STATUS_TODO, "(Ha) initial sync: sizes match, but remote checksum not available: assume equality", 0);
        row("Hb", f, "", kL, kR, "-", A::NoAction, A::ERR_FILE_NO_LOCAL_CHECKSUM, "(Hb) initial sync: cannot calculate local file checksum", 1);
        row("Hc", f, "", kL, kR, "aa", A::UpdateSyncState, A::STATUS_TODO, "(Hc) initial sync: file checksum is identical", 1);
        row("Hc stored", f, "", "f 100 10 - sha256:aa", kR, "-", A::UpdateSyncState, A::STATUS_TODO, "(Hc) initial sync: file checksum is identical", 0);
        row("Hc other algorithm stored", f, "", "f 100 10 - md5:aa", kR, "aa", A::UpdateSyncState, A::STATUS_TODO, "(Hc) initial sync: file checksum is identical", 1);
        row("Hd", f, "", kL, kR, "bb", A::BackupDownloadFile, A::STATUS_TODO, "(Hd) initial sync: file checksum is different", 1);
        row("I", f, kS, "", "", "-", A::RemoveSyncState, A::STATUS_TODO, "(I) sync: file does not exist on both sides", 0);
        row("J", d, "d 0 10 20 - o9", "", "", "-", A::RemoveSyncState, A::STATUS_TODO, "(J) sync: dir does not exist on both sides", 0);
        row("K", d, "d 0 10 20 - o9", "d 0 10", "", "-", A::DeleteLocalDir, A::STATUS_TODO, "(K) sync: dir no longer exists on remote side", 0);
        row("La", f, kS, kL, "", "-", A::DeleteLocalFile, A::STATUS_TODO, "(La) sync: file no longer exists on remote side", 0);
        row("Lb", f, kS, "f 100 30", "", "-", A::UploadFile, A::STATUS_TODO, "(Lb) sync: file no longer exists on remote side but changed on local side", 0);
        row("M", d, "d 0 10 20 - o9", "", "d 0 - 20 - o9", "-", A::DeleteRemoteDir, A::STATUS_TODO, "(M) sync: dir no longer exists on local side", 0);
        row("N", f, kS, "", kR, "-", A::DeleteRemoteFile, A::STATUS_TODO, "(N) sync: file no longer exists on local side", 0);
        // A file deleted here is deleted there, whatever changed there since the last run: the
        // service's trash keeps that version.
        row("N remote grew", f, kS, "", "f 150 - 30 sha256:bb o1", "-", A::DeleteRemoteFile, A::STATUS_TODO, "(N) sync: file no longer exists on local side", 0);
        row("N remote newer", f, kS, "", "f 100 - 30 sha256:aa o1", "-", A::DeleteRemoteFile, A::STATUS_TODO, "(N) sync: file no longer exists on local side", 0);
        row("N remote content", f, kS, "", "f 100 - 20 sha256:bb o1", "-", A::DeleteRemoteFile, A::STATUS_TODO, "(N) sync: file no longer exists on local side", 0);
        row("M remote renewed", d, "d 0 10 20 - o9", "", "d 0 - 30 - o8", "-", A::DeleteRemoteDir, A::STATUS_TODO, "(M) sync: dir no longer exists on local side", 0);
        row("Hf dir", d, "d 0 10 20 - o9", "d 0 10", "d 0 - 20 - o8", "-", A::UpdateSyncState, A::STATUS_TODO, "(Hf) folder: object_id changed", 0);
        row("O", d, "d 0 10 20 - o9", "d 0 10", "d 0 - 20 - o9", "-", A::NoAction, A::STATUS_OK, "(O) sync: dir exists on both sides", 0);
        row("X", "d/~$a.docx", kS, "f 100 30", "f 100 - 30 sha256:bb o1", "cc", A::NoAction, A::STATUS_OK, "(X) skip (silent exclude)", 0);
        row("X below folder", "a/.svn/b/report.docx", "", kL, "", "-", A::NoAction, A::STATUS_OK, "(X) skip (silent exclude)", 0);
        row("S local empty", f, "", "f 0 10", "", "-", A::NoAction, A::STATUS_OK, "(S) excluded due to local file size (0)", 0);
        row("S remote too big", f, "", "", "f 2147483649 - 20 - o1", "-", A::NoAction, A::ERR_FILE_TOO_BIG, "(S) excluded due to remote file size (2147483649)", 0);
        row("S 2 GiB passes", f, "", "", "f 2147483648 - 20 - o1", "-", A::DownloadFile, A::STATUS_TODO, "(F) initial sync: file exists only on remote side", 0);
        row("Ta", f, "", kL, "d 0 - 20 - o1", "-", A::NoAction, A::ERR_OBJECT_TYPE_MISMATCH, "(Ta) object type mismatch", 0);
        row("remote type unknown", f, "", "", "l 10 - 20 - o1", "-", A::NoAction, A::ERR_OBJECT_TYPE_MISMATCH, "(Ta) object type not supported: 'l'", 0);
        row("Z1", f, "f 100 - 20 sha256:aa o1", kL, kR, "aa", A::NoAction, A::ERR_FILE_NO_LAST_LOCAL_MTIME, z + "(Z1) file: sizes same, stored last local mtime is empty", 0);
        row("Z2", f, kS, "f 100 -", kR, "aa", A::NoAction, A::ERR_FILE_NO_LOCAL_MTIME, z + "(Z2) file: sizes same, local mtime is empty", 0);
        row("Z3", f, "f 100 10 - sha256:aa o1", kL, kR, "aa", A::NoAction, A::ERR_FILE_NO_LAST_REMOTE_MTIME, z + "(Z3) file: sizes same, stored last remote mtime is empty", 0);
        row("Z4", f, kS, kL, "f 100 - - sha256:aa o1", "aa", A::NoAction, A::ERR_FILE_NO_REMOTE_MTIME, z + "(Z4) file: sizes same, remote mtime is empty", 0);
        row("N1", f, kS, kL, kR, "aa", A::NoAction, A::STATUS_OK, z + "(N1) file: size unchanged, mtime unchanged", 0);
        row("N1 fills checksum", f, "f 100 10 20 - o1", kL, kR, "aa", A::UpdateSyncState, A::STATUS_TODO, z + "(N1) file: size unchanged, mtime unchanged", 0);
        row("N1 other algorithm stored", f, "f 100 10 20 md5:aa o1", kL, kR, "aa", A::UpdateSyncState, A::STATUS_TODO, z + "(N1) file: size unchanged, mtime unchanged", 0);
        row("Hf file", f, kS, kL, "f 100 - 20 sha256:aa o2", "aa", A::UpdateSyncState, A::STATUS_TODO, z + "(Hf) file: object_id changed,(N3) file: sizes same, mtime changed, checksums same", 1);
        row("U1", f, kS, "f 150 30", kR, "-", A::UpdateRemoteFile, A::STATUS_TODO, z + "(U1) file: local size changed, local mtime updated", 0);
        row("U2", f, kS, "f 150 5", kR, "-", A::UpdateRemoteFile, A::STATUS_TODO, z + "(U2) file: local size changed, local mtime backdated", 0);
        row("U3", f, kS, "f 150 10", kR, "-", A::UpdateRemoteFile, A::STATUS_TODO, z + "(U3) file: local size changed, local mtime unchanged", 0);
        row("B8", f, kS, "f 150 30", "f 100 - 20 sha256:bb o1", "-", A::BackupDownloadFile, A::STATUS_TODO, z + "(B8) file: local size changed, remote size and mtime unchanged, remote checksum changed", 0);
        row("D1", f, kS, kL, "f 150 - 30 sha256:bb o1", "-", A::DownloadFile, A::STATUS_TODO, z + "(D1) file: remote size changed, remote mtime updated", 0);
        row("D2", f, kS, kL, "f 150 - 15 sha256:bb o1", "-", A::DownloadFile, A::STATUS_TODO, z + "(D2) file: remote size changed, remote mtime backdated", 0);
        row("D3", f, kS, kL, "f 150 - 20 sha256:bb o1", "-", A::DownloadFile, A::STATUS_TODO, z + "(D3) file: remote size changed, remote mtime unchanged", 0);
        row("Z5", f, kS, "f 100 30", "f 100 - 20 - o1", "aa", A::NoAction, A::WARN_FILE_NO_REMOTE_CHECKSUM, z + "(Z5) file: sizes same, mtime changed, remote checksum not available", 0);
        row("Z5 prefix only", f, kS, "f 100 30", "f 100 - 20 sha256: o1", "aa", A::NoAction, A::WARN_FILE_NO_REMOTE_CHECKSUM, z + "(Z5) file: sizes same, mtime changed, remote checksum not available", 0);
        row("Z6", f, kS, "f 100 30", kR, "-", A::NoAction, A::ERR_FILE_NO_LOCAL_CHECKSUM, z + "(Z6) file: sizes same, mtime changed, failed to calculate local checksum", 1);
        row("N2", f, kS, "f 150 30", "f 150 - 30 sha256:bb o1", "bb", A::UpdateSyncState, A::STATUS_TODO, z + "(N2) file: local size changed, remote size changed, local checksum equals remote checksum", 1);
        row("B1", f, kS, "f 150 30", "f 160 - 30 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B1) file: local size changed, remote size changed, local and remote checksum differ", 1);
        row("N3", f, kS, "f 100 30", kR, "aa", A::UpdateSyncState, A::STATUS_TODO, z + "(N3) file: sizes same, mtime changed, checksums same", 1);
        row("D4", f, kS, "f 100 30", "f 100 - 30 sha256:bb o1", "aa", A::DownloadFile, A::STATUS_TODO, z + "(D4) file: sizes same, local checksum same, remote checksum changed", 1);
        row("U4", f, kS, "f 100 30", kR, "cc", A::UpdateRemoteFile, A::STATUS_TODO, z + "(U4) file: sizes same, local checksum changed, remote checksum same", 1);
        row("B2", f, kS, "f 100 30", "f 100 - 30 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B2) file: sizes same, local checksum changed, remote checksum changed", 1);
        const QString s0 = "f 100 10 20 - o1";
        row("U5", f, s0, "f 100 30", kR, "cc", A::UpdateRemoteFile, A::STATUS_TODO, z + "(U5) file: sizes same, checksums different, remote mtime unchanged, local mtime updated", 1);
        row("U5 other algorithm stored", f, "f 100 10 20 md5:aa o1", "f 100 30", kR, "cc", A::UpdateRemoteFile, A::STATUS_TODO, z + "(U5) file: sizes same, checksums different, remote mtime unchanged, local mtime updated", 1);
        row("D5", f, s0, kL, "f 100 - 30 sha256:bb o1", "aa", A::DownloadFile, A::STATUS_TODO, z + "(D5) file: sizes same, checksums different, remote mtime updated, local mtime unchanged", 1);
        row("B3", f, s0, "f 100 30", "f 100 - 30 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B3) file: sizes same, checksums different, local mtime updated, remote mtime updated", 1);
        row("B4", f, s0, "f 100 30", "f 100 - 15 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B4) file: sizes same, checksums different, local mtime updated, remote mtime backdated", 1);
        row("B5", f, s0, "f 100 5", "f 100 - 30 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B5) file: sizes same, checksums different, local mtime backdated, remote mtime updated", 1);
        row("B6", f, s0, "f 100 5", "f 100 - 15 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B6) file: sizes same, checksums different, local mtime backdated, remote mtime backdated", 1);
        row("B7", f, kS, "f 150 30", "f 100 - 30 sha256:aa o1", "-", A::BackupDownloadFile, A::STATUS_TODO, z + "(B7) file: local mtime updated, remote mtime updated", 0);
        row("Z9", f, kS, "f 150 30", "f 100 - 15 sha256:aa o1", "-", A::NoAction, A::ERR_FILE_ATTR_CONFLICT, z + "(Z9) file attributes conflict:local size changed, local mtime updated, remote mtime backdated", 0);
        // A whole-second time kept a millisecond early: the content tells whether the file changed.
        const QString marked = "f 100 29.999 20 sha256:aa o1";
        row("D1 behind a whole-second mark", f, marked, "f 100 30", "f 150 - 30 sha256:bb o1", "aa", A::DownloadFile, A::STATUS_TODO, z + "(D1) file: remote size changed, remote mtime updated", 1);
        row("D3 behind a whole-second mark", f, marked, "f 100 30", "f 150 - 20 sha256:bb o1", "aa", A::DownloadFile, A::STATUS_TODO, z + "(D3) file: remote size changed, remote mtime unchanged", 1);
        row("B7 behind a whole-second mark, edited", f, marked, "f 100 30", "f 150 - 30 sha256:bb o1", "cc", A::BackupDownloadFile, A::STATUS_TODO, z + "(B7) file: local mtime updated, remote mtime updated", 1);
        // A remote deletion of a file taken in the mark's second: only changed content is uploaded again.
        row("La behind a whole-second mark", f, marked, "f 100 30", "", "aa", A::DeleteLocalFile, A::STATUS_TODO, "(La) sync: file no longer exists on remote side", 1);
        row("Lb behind a whole-second mark, changed", f, marked, "f 100 30", "", "cc", A::UploadFile, A::STATUS_TODO, "(Lb) sync: file no longer exists on remote side but changed on local side", 1);
        row("Lb behind a whole-second mark, unreadable", f, marked, "f 100 30", "", "-", A::UploadFile, A::STATUS_TODO, "(Lb) sync: file no longer exists on remote side but changed on local side", 1);
        // A row without checksum (an older database, an object the service gave none) proves nothing:
        // an unreadable file's empty text must not match it.
        row("Lb behind a whole-second mark, no stored checksum", f, "f 100 29.999 20 - o1", "f 100 30", "", "-", A::UploadFile, A::STATUS_TODO, "(Lb) sync: file no longer exists on remote side but changed on local side", 0);
        row("B7 a millisecond apart, not whole", f, "f 100 30.499 20 sha256:aa o1", "f 100 30.5", "f 150 - 30 sha256:bb o1", "aa", A::BackupDownloadFile, A::STATUS_TODO, z + "(B7) file: local mtime updated, remote mtime updated", 0);
        // clang-format on
    }

    void decisionTable()
    {
        QFETCH(QString, path);
        QFETCH(QString, last);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QFETCH(QString, digest);
        QFETCH(int, type);
        QFETCH(QString, reason);

        Fixture fx;
        fx.add(path, last, local, remote);
        fx.digest = digest;
        const QList<SyncAction> plan = fx.plan();
        QCOMPARE(plan.size(), 1);
        const SyncAction &a = plan.first();
        QCOMPARE(a.reason(), reason);
        QCOMPARE(a.action(), type);
        QTEST(a.status(), "status");
        QTEST(fx.checksumCalls, "checksumCalls");
        // Bookkeeping goes to the store during planning, nothing else.
        const bool stateOnly = type == SyncAction::UpdateSyncState || type == SyncAction::RemoveSyncState;
        QCOMPARE(fx.written, stateOnly ? QStringList{path} : QStringList{});
        // What is stored as the local checksum is the remote one where the local file was found equal.
        if (reason.contains("(N1)") && stateOnly)
            QCOMPARE(a.localChecksum(), parseObject(path, remote).checksum());
    }

    void incompleteLocalSide()
    {
        // An unreadable folder: nothing at or below it is deleted on either side.
        Fixture fx;
        fx.add("u", "d 0 10 20 - o1", "d 0 10", "");
        fx.add("u/a.txt", kS, "", kR);
        fx.add("u/b", "d 0 10 20 - o2", "", "d 0 - 20 - o2");
        fx.add("u/c.txt", kS, kL, "");
        fx.add("v.txt", kS, "", kR);
        fx.local.addUnreadable("u");
        QList<SyncAction> plan = fx.plan();
        for (const char *p : {"u", "u/a.txt", "u/b", "u/c.txt"})
            QCOMPARE(find(plan, p).status(), int(SyncAction::WARN_SKIPPED));
        QCOMPARE(find(plan, "v.txt").action(), int(SyncAction::DeleteRemoteFile));

        // A scan without files (empty folders and junk do not count) while files were synchronised:
        // planned, but flagged for the question.
        Fixture empty;
        empty.add("a.txt", kS, "", kR);
        empty.add("lost+found", "", "d 0 10", "");
        empty.add(".DS_Store", "", kL, "");
        SyncPlanner planner{SyncSetting()};
        empty.plan(&planner);
        QVERIFY(planner.localSideVanished());
        // The same with a base folder that could not be listed at all: nothing is deleted.
        empty.local.addUnreadable(QString());
        QCOMPARE(find(empty.plan(), "a.txt").status(), int(SyncAction::WARN_SKIPPED));
    }

    void linksAndCollisions()
    {
        Fixture fx;
        fx.add("link", kS, "", kR);          // a link where a file was: not deleted remotely
        fx.add("dirlink/x.txt", "", "", kR); // below a link to a folder: no download through it
        fx.local.addLink("link");
        fx.local.addLink("dirlink");
        fx.add("Café.txt", kS, kL, ""); // two on-disk spellings of one key
        fx.local.addCollision("Café.txt");
        fx.add("Doc", "", "", "d 0 - 20 - o5"); // names equal under case folding in the listing
        fx.add("doc", "", "", "d 0 - 20 - o6");
        fx.add("doc/a.txt", "", "", kR);
        const QList<SyncAction> plan = fx.plan();
        for (const char *p : {"link", "dirlink/x.txt"})
            QCOMPARE(find(plan, p).status(), int(SyncAction::WARN_SKIPPED));
        QCOMPARE(find(plan, "Café.txt").status(), int(SyncAction::ERR_FILE_BAD_NAME));
        for (const char *p : {"Doc", "doc"})
            QCOMPARE(find(plan, p).status(), int(SyncAction::ERR_FOLDER_BAD_NAME));
        QCOMPARE(find(plan, "doc/a.txt").status(), int(SyncAction::ERR_FILE_BAD_NAME));
    }

    // The case check of a listing runs once, and again after the listing grew.
    void caseCheckAfterAdding()
    {
        SyncState listing("/", 7);
        listing.add(parseObject("Docs/a.txt", kR));
        listing.findCaseCollisions();
        QVERIFY(!listing.isCollision("Docs/a.txt"));
        listing.add(parseObject("docs/A.txt", kR));
        listing.findCaseCollisions();
        QVERIFY(listing.isCollision("Docs/a.txt"));
        QVERIFY(listing.isCollision("docs/A.txt"));
    }

    // Names equal under case folding, in a listing and in one folder on disk: every spelling is
    // a collision, names folding apart are not.
    void caseCollisions_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("collisions");
        QTest::newRow("ASCII twins") << QStringList{"Doc.txt", "doc.txt", "other.txt"}
                                     << QStringList{"Doc.txt", "doc.txt"};
        QTest::newRow("same letters, other order") << QStringList{"ab", "ba", "AC"} << QStringList{};
        QTest::newRow("three spellings") << QStringList{"READ.me", "Read.me", "read.me"}
                                         << QStringList{"READ.me", "Read.me", "read.me"};
        QTest::newRow("umlaut") << QStringList{"Äpfel", "äpfel", "Apfel"} << QStringList{"Äpfel", "äpfel"};
        QTest::newRow("long s and s") << QStringList{"\u017F.txt", "S.txt"} << QStringList{"\u017F.txt", "S.txt"};
        QTest::newRow("final sigma") << QStringList{"ΟΔΟΣ", "οδος"} << QStringList{"ΟΔΟΣ", "οδος"};
        QTest::newRow("sharp s is not ss") << QStringList{"straße", "STRASSE"} << QStringList{};
        QStringList many;
        for (int i = 0; i < 3000; ++i)
            many << QStringLiteral("f%1.txt").arg(i);
        QTest::newRow("a twin after the table grew") << (QStringList(many) << "F0.TXT")
                                                     << QStringList{"f0.txt", "F0.TXT"};
    }

    void caseCollisions()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, collisions);
        SyncState listing("/", 7);
        for (const QString &name : names)
            listing.add(parseObject(name, kR));
        listing.findCaseCollisions();

        QTemporaryDir dir;
        for (const QString &name : names) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        SyncState local(dir.path(), 7);
        QCOMPARE(local.scanLocal(), names.size());

        for (const QString &name : names) {
            QCOMPARE(listing.isCollision(name), collisions.contains(name));
            QCOMPARE(local.isCollision(name), collisions.contains(name));
        }
    }

    // A copy shares the objects and keeps the case check; kinds, keys and paths share one text;
    // the counts follow every way a snapshot fills.
    void snapshotCopiesAndCounts()
    {
        SyncState listing("/", 7);
        listing.add(parseObject("Docs", "d 0 - 20 - o1"));
        listing.add(parseObject("Docs/a.txt", kR));
        listing.add(parseObject("b.txt", QString(kR).replace("o1", "o2")));
        listing.add(parseObject("b.txt", "d 0 - 20 - o3")); // the same path again, now a folder
        listing.findCaseCollisions();
        const SyncState copy = listing;
        QVERIFY(copy.objects().isSharedWith(listing.objects()));
        QVERIFY(copy.isCaseChecked());
        SyncState assigned;
        assigned = listing;
        QVERIFY(assigned.isCaseChecked());

        const FsObject file = copy.get("Docs/a.txt");
        const FsObject other = FsObject("x", "c.txt", 1, QDateTime(), QDateTime(), QString(), QString("f"), QString());
        QCOMPARE(file.type().constData(), other.type().constData());
        for (auto it = copy.objects().constBegin(); it != copy.objects().constEnd(); ++it)
            QCOMPARE(it.key().constData(), it.value().path().constData());

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("x/y"));
        for (const char *name : {"a.txt", "x/b.txt", "x/y/c.txt"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        SyncState scanned(dir.path(), 7);
        QCOMPARE(scanned.scanLocal(), 5);
        const SyncState *states[] = {&listing, &copy, &scanned};
        for (const SyncState *state : states) {
            int files = 0, dirs = 0;
            for (const FsObject &o : state->objects()) {
                files += o.isFile();
                dirs += o.isDir();
            }
            QCOMPARE(state->fileCount(), files);
            QCOMPARE(state->dirCount(), dirs);
        }
        QCOMPARE(listing.fileCount(), 1);
        QCOMPARE(scanned.dirCount(), 2);
    }

    void localFolderDeletionTakesNewRemoteMembers()
    {
        Fixture fx;
        // x was deleted locally while someone added x/new.txt on the service.
        fx.add("x", "d 0 10 20 - o1", "", "d 0 - 20 - o1");
        fx.add("x/old.txt", kS, "", kR);
        fx.add("x/new.txt", "", "", kR);
        fx.add("x/sub", "", "", "d 0 - 20 - o4");
        const QList<SyncAction> plan = fx.plan();
        QCOMPARE(find(plan, "x").action(), int(SyncAction::DeleteRemoteDir));
        QCOMPARE(find(plan, "x/old.txt").action(), int(SyncAction::DeleteRemoteFile));
        // Planned as new remote objects; the folder deletion after them takes them to the trash.
        QCOMPARE(find(plan, "x/new.txt").action(), int(SyncAction::DownloadFile));
        QCOMPARE(find(plan, "x/sub").action(), int(SyncAction::CreateLocalDir));
        int folder = -1, member = -1;
        for (int i = 0; i < plan.size(); ++i) {
            if (plan.at(i).relPath() == "x")
                folder = i;
            if (plan.at(i).relPath() == "x/new.txt")
                member = i;
        }
        QVERIFY(member >= 0 && member < folder);
    }

    void sortedWhateverTheOrder()
    {
        // One path per kind of action, inserted in a different order each time; the plan keeps the
        // order of SyncAction::operator< (tested with the records) without sorting the actions.
        const QList<QStringList> entries = {{"a", "d 0 10 20 - o1", "d 0 10", ""},
                                            {"a/b", "d 0 10 20 - o2", "d 0 10", ""},
                                            {"n", "", "", "d 0 - 20 - o3"},
                                            {"n/a.txt", "", "", kR},
                                            {"up.txt", "", kL, ""},
                                            {"chg.txt", kS, "f 150 30", kR},
                                            {"gone.txt", kS, "", kR},
                                            {"r", "d 0 10 20 - o4", "", "d 0 - 20 - o4"},
                                            {"r/s", "d 0 10 20 - o5", "", "d 0 - 20 - o5"},
                                            {"old.txt", kS, "", ""},
                                            {"ld.txt", kS, kL, ""},
                                            {"new", "", "d 0 10", ""},
                                            {"conf.txt", "", "f 150 10", kR}};
        for (int round = 0; round < 8; ++round) {
            QList<QStringList> shuffled = entries;
            std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
            Fixture fx;
            for (const QStringList &e : qAsConst(shuffled))
                fx.add(e[0], e[1], e[2], e[3]);
            const QList<SyncAction> plan = fx.plan();
            QCOMPARE(plan.size(), entries.size());
            for (int i = 1; i < plan.size(); ++i)
                QVERIFY2(!(plan[i] < plan[i - 1]), qPrintable(plan[i].relPath()));
        }
    }

    // Paths whose order depends on the "/" between folder and name ('-' and '.' sort before it,
    // letters after), on prefixes and on names beyond Latin-1.
    void sortPlanOrdersJoinedPaths()
    {
        const QStringList paths = {"a/b",   "a-c/x", "a.d/y", "a",      "ab",     "a/b/c", "a/b-c", "a/b/c/d",
                                   "a/ba",  "b",     "a/b/.x", QString::fromUtf8("a/\xc3\xa4"), "a/z", "A/b",
                                   "a0/b",  "a/b0",  "zz",    QString::fromUtf8("\xf0\x9f\x98\x80/x")};
        QStringList prefixed; // a long prefix all share, then the same differences
        for (const QString &p : paths)
            prefixed << "folder-1/" + p;
        prefixed << "folder-1";
        for (int type : {int(SyncAction::DownloadFile), int(SyncAction::DeleteRemoteDir)}) {
            for (int round = 0; round < 6; ++round) {
                QList<SyncAction> plan;
                QStringList shuffled = round % 2 ? prefixed : paths;
                std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
                for (const QString &p : qAsConst(shuffled)) {
                    SyncAction a;
                    const int slash = p.lastIndexOf('/');
                    a.setPath(slash < 0 ? QString() : p.left(slash));
                    a.setName(p.mid(slash + 1));
                    a.setAction(type);
                    plan << a;
                }
                QList<SyncAction> expected = plan;
                std::stable_sort(expected.begin(), expected.end());
                SyncPlanner::sortPlan(plan);
                QStringList got, want;
                for (int i = 0; i < plan.size(); ++i) {
                    got << plan[i].path() + "|" + plan[i].name();
                    want << expected[i].path() + "|" + expected[i].name();
                }
                QCOMPARE(got, want);
            }
        }
    }

    // An action holds its path as the snapshots' key text, one folder text per folder, and the
    // name inside the path; changing the folder afterwards keeps the name.
    void planSharesPathTexts()
    {
        Fixture fx;
        for (const char *p : {"d/a.txt", "d/b.txt", "top.txt"})
            fx.add(p, kS, kL, kR);
        const QList<SyncAction> plan = fx.plan();
        QCOMPARE(plan.size(), 3);
        for (const SyncAction &a : plan) {
            const auto key = fx.last.objects().find(a.relPath());
            QVERIFY(key != fx.last.objects().constEnd());
            QCOMPARE(a.relPath().constData(), key.key().constData());
            QCOMPARE(a.path() + (a.path().isEmpty() ? "" : "/") + a.name(), a.relPath());
        }
        QCOMPARE(find(plan, "d/a.txt").path().constData(), find(plan, "d/b.txt").path().constData());
        SyncAction moved = find(plan, "d/a.txt");
        moved.setPath("e");
        QCOMPARE(moved.relPath(), QString("e/a.txt"));
    }

    // The union the planner walks: each path once, its objects found in place in the states given,
    // whether the states are apart or one is a copy of another (the short-cut plans against the
    // last state as the listing).
    void collectPathsPointsIntoStates_data()
    {
        QTest::addColumn<QString>("shared"); // which states are copies of another
        QTest::newRow("three states apart") << "";
        QTest::newRow("the listing is the last state") << "remote=last";
        QTest::newRow("the scan is the last state") << "local=last";
        QTest::newRow("the listing is the scan") << "remote=local";
    }

    void collectPathsPointsIntoStates()
    {
        QFETCH(QString, shared);
        Fixture fx;
        fx.add("both.txt", kS, kL, kR);
        fx.add("d", "d 0 10 20 - o2", "d 0 10", "d 0 - 20 - o2");
        fx.add("d/last.txt", kS, "", "");
        fx.add("d/local.txt", "", kL, "");
        fx.add("remote.txt", "", "", kR);
        fx.add("gone.txt", kS, kL, "");
        if (shared == "remote=last")
            fx.remote = fx.last;
        else if (shared == "local=last")
            fx.local = fx.last;
        else if (shared == "remote=local")
            fx.remote = fx.local;
        const SyncState *states[] = {&fx.last, &fx.local, &fx.remote};
        QSet<QString> expected;
        for (const SyncState *state : states) {
            for (const QString &path : state->paths())
                expected.insert(path);
        }

        const std::vector<Syncher::PathObjects> paths = Syncher::collectPaths(fx.last, fx.local, fx.remote);
        QSet<QString> seen;
        for (const Syncher::PathObjects &p : paths) {
            const QString &key = *p.key;
            QVERIFY2(!seen.contains(key), qPrintable(key));
            seen.insert(key);
            const FsObject *objects[] = {p.last, p.local, p.remote};
            bool keyInPlace = false;
            for (int i = 0; i < 3; ++i) {
                const auto it = states[i]->objects().find(key);
                if (it == states[i]->objects().constEnd()) {
                    QVERIFY(objects[i]->isNull());
                    continue;
                }
                QCOMPARE(objects[i], &it.value());
                keyInPlace = keyInPlace || p.key == &it.key();
            }
            QVERIFY2(keyInPlace, qPrintable(key));
        }
        QCOMPARE(seen, expected);
        QCOMPARE(int(paths.size()), expected.size());
    }

    void stopGivesEmptyPlan()
    {
        // A stop through the pump at its first, a middle and its last report, then through the check.
        for (int stopAt : {0, 3, 6, -1}) {
            Fixture fx;
            for (int i = 0; i < 5; ++i)
                fx.add(QString("f%1.txt").arg(i), i % 2 ? kS : "", kL, "");
            int calls = 0;
            SyncPlanner planner{SyncSetting()};
            if (stopAt < 0)
                planner.setStopCheck([&] { return ++calls == 2; });
            else
                planner.setRequest([&](bool, int, const QString &, SyncAction *) { return calls++ < stopAt; });
            QVERIFY(fx.plan(&planner).isEmpty());
        }
    }

    // ---- the synchroniser around the planner: pattern lists, the progress pump, state writes

    void patternFilesLoad()
    {
        QCOMPARE(Syncher::loadExcludePatterns(":/res/patterns/exclude.txt").size(), 4);
        QCOMPARE(Syncher::loadExcludePatterns(":/res/patterns/exclude_silently.txt").size(), 19);
        QCOMPARE(SyncAction::loadDeletablePatterns().pattern().count('|') + 1, 14);
    }

    void exclusion_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("silent");
        QTest::newRow("plain") << "docs/report.docx" << true << true;
        QTest::newRow("svn ancestor") << "a/.svn/b/report.docx" << true << false;
        QTest::newRow("svn suffix") << "x.svn" << true << true;
        QTest::newRow("trailing blank") << "docs/report " << false << true;
        QTest::newRow("colon") << "a:b.txt" << false << true;
        QTest::newRow("control char") << QString("a\u0007b") << false << true;
        QTest::newRow("thumbs") << "Thumbs.db" << true << false;
        QTest::newRow("thumbs lower") << "thumbs.db" << true << false;
        QTest::newRow("thumbs upper") << "THUMBS.DB" << true << true;
        QTest::newRow("icon cr") << QString("Icon\r") << false << false;
        QTest::newRow("icon") << "Icon" << true << true;
        QTest::newRow("office lock") << "~$report.docx" << true << false;
        QTest::newRow("office temp") << "~foo.tmp" << true << false;
        QTest::newRow("office temp, longer") << "~foo.tmpx" << true << true;
        QTest::newRow("lock") << ".~lock" << true << false;
        QTest::newRow("desktop.ini") << "desktop.ini" << true << false;
        QTest::newRow("dot is literal") << "desktopXini" << true << true;
        QTest::newRow("own files") << ".tessarvale-state" << false << false;
        QTest::newRow("star tessarvale") << "*xtessarvale" << false << false;
        QTest::newRow("tessarvale suffix") << "xxtessarvale" << true << true;
        QTest::newRow("conflict copy") << "a(PC's conflicted copy 2016-11-25).txt" << false << false;
    }

    void exclusion()
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
        // The planner matches the silent list as one expression: it excludes exactly what the list does.
        Fixture fx;
        fx.add(path, "", kL, "");
        QCOMPARE(fx.plan().value(0).reason() == "(X) skip (silent exclude)", !silent);
    }

    // Folders are cached, file names matched each time: a file's own name never decides for the
    // other files of its folder.
    void exclusionCacheHoldsFolders()
    {
        PlanningSyncher syncher;
        Syncher::clearExclusionCaches();
        const QList<QRegularExpression> &silent = Syncher::silentExcludePatterns();
        const QList<QRegularExpression> &visible = Syncher::excludePatterns();
        QVERIFY(!Syncher::isNotExcluded("docs/Thumbs.db", silent));
        QVERIFY(Syncher::isNotExcluded("docs/report.docx", silent));
        QVERIFY(!Syncher::isNotExcluded("docs/a:b.txt", visible));
        QVERIFY(Syncher::isNotExcluded("docs/report.docx", visible));
        QVERIFY(!Syncher::isNotExcluded("a/.svn/b/x.txt", silent));
        QVERIFY(!Syncher::isNotExcluded("a/.svn/b/y.txt", silent));
        QVERIFY(Syncher::isNotExcluded("a/.svn/b/y.txt", visible));
        QVERIFY(!Syncher::isNotExcluded("a/.svn", silent));
        QVERIFY(!Syncher::isNotExcluded("Thumbs.db/inside.txt", silent));
        QVERIFY(Syncher::isNotExcluded("/lead.txt", silent));
        // docs and a/.svn/b for each list, Thumbs.db and a for the silent one.
        QCOMPARE(Syncher::exclusionCacheSize(), 6);
        QHash<QString, bool> own;
        QVERIFY(!Syncher::isNotExcluded("x/.svn/y/z.txt", silent, &own));
        QVERIFY(Syncher::isNotExcluded("x/y/z.txt", silent, &own));
        QCOMPARE(own, (QHash<QString, bool>{{"x/.svn/y", true}, {"x/y", false}}));
        Syncher::clearExclusionCaches();
        QCOMPARE(Syncher::exclusionCacheSize(), 0);
    }

    // Two calls of the pump, the second `wait` ms after the first: whether it let a queued event
    // run, and whether it held still at a change of activity.
    void pumpAndPause_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("wait");
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("pumped");
        QTest::addColumn<bool>("paused");
        QTest::newRow("same activity, at once") << 20 << 0 << 20 << false << false;
        QTest::newRow("same activity, after the interval") << 20 << 350 << 20 << true << false;
        QTest::newRow("new activity, at once") << 20 << 0 << 21 << true << true;
    }

    void pumpAndPause()
    {
        QFETCH(int, first);
        QFETCH(int, wait);
        QFETCH(int, second);
        QFETCH(bool, pumped);
        QFETCH(bool, paused);
        const int pauseMs = 50;
        Syncher::setPumpTiming(300, pauseMs);
        PlanningSyncher syncher;
        QVERIFY(syncher.Request(true, first, "first"));
        int delivered = 0;
        QTimer::singleShot(0, &syncher, [&delivered]() { ++delivered; });
        if (wait > 0)
            QTest::qSleep(wait);
        const int pauses = Syncher::pauseCount();
        QElapsedTimer took;
        took.start();
        QVERIFY(syncher.Request(true, second, "second"));
        const qint64 tookMs = took.elapsed();
        Syncher::setPumpTiming(500, 100);
        QCOMPARE(delivered, pumped ? 1 : 0);
        QCOMPARE(Syncher::pauseCount() - pauses, paused ? 1 : 0);
        if (paused)
            QVERIFY2(tookMs >= pauseMs, qPrintable(QString::number(tookMs)));
    }

    void planOfScannedFolder()
    {
        TestEnv env;
        TestDatabase db;
        db.open();
        R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
        Syncher::setPumpTiming(0, 0);
        const QString root = env.home() + "/Safe";
        const QString nfd = QStringLiteral("Cafe\u0301");
        const QString nfc = nfd.normalized(QString::NormalizationForm_C);
        QVERIFY(QDir().mkpath(root + "/" + nfd));
        QFile f(root + "/" + nfd + "/menu.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        QPointer<PlanningSyncher> syncher(new PlanningSyncher(root + "/"));
        SyncState local(root, 5);
        QVERIFY(local.scanLocal() > 0);
        SyncState last(root, 5);
        SyncState remote("/", 5);
        remote.add(FsObject("r1", nfc, 0, QDateTime(), QDateTime::currentDateTimeUtc(), "r", "d", ""));
        const QList<SyncAction> plan = syncher->buildSyncActions(local, last, remote);
        // Local steps reach the decomposed names on disk.
        QCOMPARE(find(plan, nfc + "/menu.txt").localFilePath(), root + "/" + nfd + "/menu.txt");
        // The state of the folder found on both sides is written, and no transaction is left open.
        QCOMPARE(db.rawValue("SELECT COUNT(*) FROM fs_object WHERE setting_id = 5").toInt(), 1);
        QCOMPARE(R7Database::instance()->transactionDepth(), 0);

        // A stop asked for from inside the pump: no plan, and the synchroniser goes.
        QTimer::singleShot(0, syncher.data(), [&syncher]() { syncher->requestToStop(); });
        QVERIFY(syncher->buildSyncActions(local, last, remote).isEmpty());
        QTRY_VERIFY(syncher.isNull());
        Syncher::setPumpTiming(500, 100);
        R7Session::instance()->setUser(User());
    }
};

QTEST_GUILESS_MAIN(TestSyncPlanner)
#include "tst_syncplanner.moc"
