#include "sync/FsObject.h"
#include "sync/SyncAction.h"
#include "sync/SyncState.h"
#include "sync/SyncSetting.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

// The records of a run: actions (texts, paths, plan order), file states and settings.
static SyncAction makeAction(int type, const QString &relPath)
{
    SyncAction action;
    action.setAction(type);
    const int slash = relPath.lastIndexOf('/');
    action.setPath(slash < 0 ? QString() : relPath.left(slash));
    action.setName(relPath.mid(slash + 1));
    return action;
}

static FsObject objectAt(const QString &path)
{
    return FsObject("", path, 0, {}, {}, "", "f", "");
}

class TestSyncAction : public QObject
{
    Q_OBJECT

private slots:
    void isRemoteAction()
    {
        const QList<int> remote{5, 6, 8, 9, 11, 13, 14};
        for (int type : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 42}) {
            SyncAction action;
            action.setAction(type);
            LogCapture log;
            QCOMPARE(action.isRemoteAction(), remote.contains(type));
            // Not an action the planner makes: a warning and "not remote"; the process goes on.
            const bool unexpected = type == 7 || type == 42;
            QCOMPARE(log.count("SyncAction::isRemoteAction: Unexpected ActionType"), unexpected ? 1 : 0);
        }
    }

    // Below a remote sub folder; percent signs are data, never placeholders.
    void paths()
    {
        SyncAction action;
        action.setLocalBase("/l/%1");
        action.setRemoteBase("/docs/%2/");
        action.setRemoteSafeName("Safe");
        action.setPath("x/%3");
        action.setName("%4");
        QCOMPARE(action.relPath(), QString("x/%3/%4"));
        QCOMPARE(action.localFilePath(), QString("/l/%1/x/%3/%4"));
        QCOMPARE(action.localDirPath(), QString("/l/%1/x/%3"));
        QCOMPARE(action.remoteFilePath(), QString("docs/%2/x/%3/%4"));
        QCOMPARE(action.remoteDirPath(), QString("docs/%2/x/%3"));
        QCOMPARE(action.displayPath(), QString("Safe: docs/%2/x/%3/%4"));
        QCOMPARE(SyncAction::statusDetails(302, "%1 100%"), QString("Failed to download the file.<br />(%1 100%)"));
    }

    // The state stored after an action is keyed by the composed form of a name the scan may have
    // reported decomposed.
    void stateOfAnAction()
    {
        SyncAction action;
        action.setFsObject(FsObject("oid", QString::fromUtf8("a/b/A\xcc\x88.txt"), 1, {}, {}, "", "f", ""));
        action.setName(QString::fromUtf8("A\xcc\x88.txt"));
        action.setLocalSize(6000000000LL);
        const FsObject state = action.toFsObject();
        QCOMPARE(state.path(), QString::fromUtf8("a/b/\xc3\x84.txt"));
        QCOMPARE(state.size(), 6000000000LL);
    }

    // Rule codes and texts of their own make one comma-joined reason, in the order they came,
    // whatever the action went through since.
    void reasonChain()
    {
        SyncAction action;
        action.addReason(QString());
        QCOMPARE(action.reason(), QString());
        action.addReason(SyncReason::Z);
        action.addReason(SyncReason::SLocal, "0");
        action.addReason("%1 refused: 50%");
        action.addReason(SyncReason::Z9, "local size changed, remote mtime updated");
        action.addReason(QString());
        const QString expected = "(Z),(S) excluded due to local file size (0),%1 refused: 50%,"
                                 "(Z9) file attributes conflict:local size changed, remote mtime updated,";
        QCOMPARE(action.reason(), expected);
        SyncAction copy(action);
        QCOMPARE(copy.reason(), expected);
        SyncAction assigned;
        assigned.addReason(SyncReason::O);
        assigned = action;
        QCOMPARE(assigned.reason(), expected);
        QVERIFY(assigned.toString(";").contains("reason=" + expected + ";"));
        action.clear();
        QCOMPARE(action.reason(), QString());

        // Past eight parts the chain goes on as one text.
        QStringList parts;
        for (int i = 0; i < 11; ++i) {
            const bool rule = i % 2 == 0;
            action.addReason(rule ? SyncReason::Code(SyncReason::C + i) : SyncReason::TaUnsupported, QString::number(i));
            parts << SyncReason::text(rule ? SyncReason::Code(SyncReason::C + i) : SyncReason::TaUnsupported,
                                      QString::number(i));
        }
        QCOMPARE(action.reason(), parts.join(','));
        QCOMPARE(SyncReason::text(SyncReason::TaUnsupported, "l"), QString("(Ta) object type not supported: 'l'"));
    }

    // The last state keeps one copy of what it has in common with the listing, nothing else.
    void statesShareEqualTexts()
    {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(1480000000);
        SyncState remote("/", 1);
        remote.add(FsObject("o1", "a.txt", 5, {}, t, "rcud", "f", "sha256:aa"));
        remote.add(FsObject("o2", "b.txt", 5, {}, t, "rcud", "f", "sha256:bb"));
        SyncState last("/home/u/Sync/", 1);
        last.add(FsObject("o1", "a.txt", 5, t, t, "rcud", "f", "sha256:aa"));
        last.add(FsObject("o9", "b.txt", 5, t, t, "rcu", "f", "sha256:cc"));
        last.add(FsObject("o3", "c.txt", 5, t, t, "rcud", "f", "sha256:dd"));
        const auto same = [](const QString &x, const QString &y) { return x.constData() == y.constData(); };
        QVERIFY(!same(last.get("a.txt").checksum(), remote.get("a.txt").checksum()));
        last.shareTexts(remote);
        const FsObject a = last.get("a.txt");
        QVERIFY(same(a.checksum(), remote.get("a.txt").checksum()));
        QVERIFY(same(a.objectId(), remote.get("a.txt").objectId()));
        QVERIFY(same(a.access(), remote.get("a.txt").access()));
        QCOMPARE(a.localMtime(), t);
        QCOMPARE(a.localMtime().timeSpec(), Qt::UTC); // compared and stored without the zone file
        const FsObject b = last.get("b.txt");
        QCOMPARE(b.checksum(), QString("sha256:cc"));
        QCOMPARE(b.objectId(), QString("o9"));
        QCOMPARE(b.access(), QString("rcu"));
        QVERIFY(same(b.type(), remote.get("b.txt").type()));
        QCOMPARE(last.get("c.txt").checksum(), QString("sha256:dd"));
        QCOMPARE(last.count(), 3);
    }

    void orderOnShuffledPlans()
    {
        // By type, folders created before downloads, folder deletions with their contents first,
        // every upload last. Each entry is "type path".
        const QStringList expected{"0 n",       "1 s",        "4 a",         "4 a/b",    "5 r",    "6 a.txt", "6 b.txt",
                                   "6 b/a.txt", "10 old.txt", "11 gone.txt", "12 x/y/z", "12 x/y", "12 x",    "13 p/q",
                                   "13 p",      "14 c.txt",   "8 a.txt",     "9 b.txt",  "8 c.txt"};
        QList<SyncAction> plan;
        for (const QString &entry : expected)
            plan << makeAction(entry.section(' ', 0, 0).toInt(), entry.section(' ', 1));
        QRandomGenerator random(20161125);
        for (int round = 0; round < 200; ++round) {
            std::shuffle(plan.begin(), plan.end(), random);
            std::sort(plan.begin(), plan.end());
            QStringList sorted;
            for (const SyncAction &a : plan)
                sorted << QStringLiteral("%1 %2").arg(a.action()).arg(a.relPath());
            QCOMPARE(sorted, expected);
        }
    }

    void orderIsStrictWeak()
    {
        QList<SyncAction> all;
        for (int type = -1; type <= 14; ++type) {
            for (const char *path : {"a", "a/b", "b", "a.txt", "A"})
                all << makeAction(type, path);
        }
        const auto equivalent = [](const SyncAction &x, const SyncAction &y) { return !(x < y) && !(y < x); };
        for (const SyncAction &a : all) {
            QVERIFY(!(a < a));
            for (const SyncAction &b : all) {
                QVERIFY2(!(a < b && b < a), qPrintable(a.toString(" ") + " / " + b.toString(" ")));
                for (const SyncAction &c : all) {
                    if (a < b && b < c)
                        QVERIFY(a < c);
                    if (equivalent(a, b) && equivalent(b, c))
                        QVERIFY(equivalent(a, c));
                }
            }
        }
    }

    void fsObjectPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("dirPath");
        const auto row = [](const char *tag, const QString &path, const QString &base, bool inside, const QString &result,
                            const char *fileName, const char *dirPath) {
            QTest::newRow(tag) << path << base << inside << result << QString(fileName) << QString(dirPath);
        };
        row("inside", "docs/x/y.txt", "docs", true, "x/y.txt", "y.txt", "docs/x");
        row("base with slashes", "docs/x/y.txt", "/docs/", true, "x/y.txt", "y.txt", "docs/x");
        row("the base itself", "docs", "docs", false, "docs", "docs", "");
        row("common prefix only", "docs2/x", "docs", false, "docs2/x", "x", "docs2");
        row("case differs", "Docs/x", "docs", false, "Docs/x", "x", "Docs");
        // Keys are composed, whatever form the disk or the service gave.
        row("decomposed", QString::fromUtf8("A\xcc\x88/x"), QString::fromUtf8("A\xcc\x88"), true, "x", "x", "\xc3\x84");
        row("decomposed name", QString::fromUtf8("x/A\xcc\x88.txt"), "/", true, QString::fromUtf8("x/\xc3\x84.txt"),
            "\xc3\x84.txt", "x");
    }

    void fsObjectPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, base);
        FsObject object = objectAt(path);
        QTEST(object.fileName(), "fileName");
        QTEST(object.dirPath(), "dirPath");
        // Equality and order use the composed form, whatever the other fields hold.
        QVERIFY(object == FsObject("other", path.normalized(QString::NormalizationForm_C), 5, {}, {}, "", "d", ""));
        QTEST(object.makeRelativeTo(base), "inside");
        QTEST(object.path(), "result");
    }

    void settingIsActive_data()
    {
        QTest::addColumn<QString>("folder"); // below the private home; "-": missing, "": none given
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("expiry");
        QTest::addColumn<bool>("active");
        const QString future = QDateTime::currentDateTime().addDays(30).toString("yyyy-MM-dd HH:mm:ss");
        const QString past = QDateTime::currentDateTime().addSecs(-60).toString("yyyy-MM-dd HH:mm:ss");
        QTest::newRow("expired") << "/Safe/" << "rcud" << past << false;
        QTest::newRow("no read access") << "/Safe/" << "cud" << future << false;
        QTest::newRow("folder missing") << "-" << "rcud" << future << false;
        // An empty folder would name the working directory, which exists.
        QTest::newRow("no folder") << "" << "rcud" << "" << false;
    }

    void settingIsActive()
    {
        QFETCH(QString, folder);
        QFETCH(QString, access);
        QFETCH(QString, expiry);
        TestEnv env;
        SyncSetting setting;
        setting.setId(1);
        if (folder == "-") {
            setting.setLocalDir(env.home() + "/Missing/");
        } else if (!folder.isEmpty()) {
            QVERIFY(QDir().mkpath(env.home() + folder));
            setting.setLocalDir(env.home() + folder);
        }
        setting.setAccess(access);
        setting.setExpiryDate(expiry);
        QTEST(setting.isActive(), "active");
    }
};

QTEST_GUILESS_MAIN(TestSyncAction)
#include "tst_syncaction.moc"
