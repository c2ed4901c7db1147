#include "sync/FsObject.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncHistoryObject.h"
#include "sync/SyncSetting.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QLocale>
#include <QtTest>

static FsObject objectAt(const QString &path)
{
    return FsObject("", path, 0, {}, {}, "", "f", "");
}

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void fsObjectNormalisesPath_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("stored");
        QTest::newRow("decomposed umlaut") << QString::fromUtf8("x/A\xcc\x88.txt") << QString::fromUtf8("x/\xc3\x84.txt");
        QTest::newRow("already composed") << QString::fromUtf8("\xc3\x84") << QString::fromUtf8("\xc3\x84");
        QTest::newRow("empty") << QString() << QString();
    }

    void fsObjectNormalisesPath()
    {
        QFETCH(QString, given);
        QFETCH(QString, stored);
        const FsObject object = objectAt(given);
        QCOMPARE(object.path(), stored);
        QCOMPARE(object.isNull(), stored.isEmpty());
        // Equality and order use the normalised form, whatever the other fields hold.
        QVERIFY(object == FsObject("other", stored, 5, {}, {}, "", "d", ""));
        if (!stored.isEmpty()) {
            QVERIFY(object != objectAt("B"));
            QVERIFY(objectAt("B") < object); // every non-ASCII letter sorts after B
            QVERIFY(!(object < objectAt("B")));
        }
    }

    void fsObjectNameAndFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("dirPath");
        const auto row = [](const char *tag, const char *path, const char *fileName, const char *dirPath) {
            QTest::newRow(tag) << QString(path) << QString(fileName) << QString(dirPath);
        };
        row("nested", "a/b/c.txt", "c.txt", "a/b");
        row("top level", "c.txt", "c.txt", "");
        row("doubled separators", "a//b/", "b", "a");
        row("dot parts", "a/./b/../c", "c", "a");
    }

    void fsObjectNameAndFolder()
    {
        QFETCH(QString, path);
        const FsObject object = objectAt(path);
        QTEST(object.fileName(), "fileName");
        QTEST(object.dirPath(), "dirPath");
    }

    void fsObjectMakeRelativeTo_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<QString>("result");
        const auto row = [](const char *tag, const QString &path, const QString &base, bool inside, const char *result) {
            QTest::newRow(tag) << path << base << inside << QString(result);
        };
        row("inside", "docs/x/y.txt", "docs", true, "x/y.txt");
        row("base with slashes", "docs/x/y.txt", "/docs/", true, "x/y.txt");
        row("the base itself", "docs", "docs", false, "docs");
        row("common prefix only", "docs2/x", "docs", false, "docs2/x");
        row("case differs", "Docs/x", "docs", false, "Docs/x");
        row("root base", "docs/x", "/", true, "docs/x");
        row("base cleans to root", "docs/x", "//", true, "docs/x");
        row("decomposed base", QString::fromUtf8("\xc3\x84/x"), QString::fromUtf8("A\xcc\x88"), true, "x");
    }

    void fsObjectMakeRelativeTo()
    {
        QFETCH(QString, path);
        QFETCH(QString, base);
        FsObject object = objectAt(path);
        QTEST(object.makeRelativeTo(base), "inside");
        QTEST(object.path(), "result");
    }

    void fsObjectCountsInstances()
    {
        const int before = FsObject::instanceCount();
        {
            FsObject a;
            const FsObject b = objectAt("p");
            FsObject c(b);
            a = c;
            QList<FsObject> list{a, b, c};
            QCOMPARE(FsObject::instanceCount(), before + 6);
        }
        QCOMPARE(FsObject::instanceCount(), before);
    }

    void settingIsActive_data()
    {
        QTest::addColumn<QString>("folder"); // below the private home; "-": missing, "": none given
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("expiry");
        QTest::addColumn<bool>("active");
        const QDateTime now = QDateTime::currentDateTime();
        const QString future = now.addDays(30).toString("yyyy-MM-dd HH:mm:ss");
        const QString past = now.addSecs(-60).toString("yyyy-MM-dd HH:mm:ss");
        const auto row = [](const char *tag, const char *folder, const char *access, const QString &expiry, bool active) {
            QTest::newRow(tag) << QString(folder) << QString(access) << expiry << active;
        };
        row("all fine", "/Safe/", "rcud", future, true);
        row("no expiry date", "/Safe/", "r", "", true);
        row("expired", "/Safe/", "rcud", past, false);
        row("expired, zone given", "/Safe/", "r", "2001-01-01 00:00:00 +0000", false);
        row("future, zone given", "/Safe/", "r", "2999-01-01 00:00:00 +0100", true);
        row("unreadable date", "/Safe/", "r", "soon", false);
        row("no read access", "/Safe/", "cud", future, false);
        row("upper-case R", "/Safe/", "RCUD", future, false);
        row("folder missing", "-", "rcud", future, false);
        // An empty folder would name the working directory, which exists.
        row("no folder", "", "rcud", "", false);
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

    void settingRoleName()
    {
        const QStringList names{"", "Administrator", "Editor", "Restricted Viewer", "Viewer", ""};
        for (int role = 0; role < names.size(); ++role) {
            SyncSetting setting;
            setting.setRoleType(role);
            QCOMPARE(setting.roleName(), names.at(role));
        }
    }

    void historyObjectDescription_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("sign"); // empty: no description
        QTest::addColumn<bool>("local");
        const auto row = [](const char *type, int action, const char *sign, bool local) {
            QTest::addRow("%s %d", type, action) << QString(type) << action << QString(sign) << local;
        };
        row("d", 4, "+", true);
        row("d", 5, "+", false);
        row("d", 12, "-", true);
        row("f", 6, "+", true);
        row("f", 8, "+", false);
        row("f", 10, "-", true);
        row("d", 6, "", false);
        row("f", 4, "", false);
        row("F", 6, "", false);
        row("f", 0, "", false);
    }

    void historyObjectDescription()
    {
        QFETCH(QString, type);
        QFETCH(int, action);
        QFETCH(QString, sign);
        QFETCH(bool, local);
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(1480000000000LL);
        const SyncHistoryObject row(1, 2, "/home/a/Safe/x.txt", "Safe: x.txt", type, 1, action, when);
        const QString time = QLocale::system().toString(when, QLocale::ShortFormat);
        const QString where = local ? "/home/a/Safe/x.txt" : "Safe: x.txt";
        QCOMPARE(row.description(), sign.isEmpty() ? QString() : sign + " (" + time + ") " + where);
    }

    void progressActivityName()
    {
        const QMap<int, QString> names{{41, "Activity_ProcessSyncActions_Progress[41]"},
                                       {0, "Activity_Idle[0]"},
                                       {91, "Activity_Error_Canceled[91]"},
                                       {11, "UnknownEnumValue[11]"}};
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            ProgressInfo info;
            info.activity = it.key();
            QCOMPARE(info.activityName(), it.value());
        }
    }

    void progressReset()
    {
        ProgressInfo info;
        info.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
        info.message = info.safeName = info.actionName = "x";
        info.actionType = 6;
        info.nDone = info.nTodoDirs = info.nConflicts = info.nRemoteDirsDeleted = 3;
        info.bytesTotal = info.bytesToUpload = 1LL << 40;
        info.nSkipped = 5;
        info.action.setAction(SyncAction::DownloadFile);
        info.action.setStatus(SyncAction::ERR_NETWORK);
        info.reset();
        QCOMPARE(info.activity, 0);
        QVERIFY(info.message.isEmpty() && info.safeName.isEmpty() && info.actionName.isEmpty());
        QCOMPARE(info.actionType, -1);
        QCOMPARE(info.nDone + info.nTodoDirs + info.nConflicts + info.nRemoteDirsDeleted, 0);
        QCOMPARE(info.bytesTotal + info.bytesToUpload, 0);
        QCOMPARE(info.nSkipped, 5); // recounted by its owner
        QCOMPARE(info.action.action(), int(SyncAction::ActionUndefined));
        QCOMPARE(info.action.status(), int(SyncAction::STATUS_OK));
    }

    void progressPaths()
    {
        ProgressInfo info;
        info.safeName = "Team";
        // The joined form always holds the separator, so the safe name never stands alone.
        QCOMPARE(info.displayPath(), QStringLiteral("Team: /"));
        info.name = "c.txt";
        QCOMPARE(info.displayPath(), QStringLiteral("Team: /c.txt"));
        info.path = "a/b";
        info.localBase = "/home/u/Team/";
        QCOMPARE(info.displayPath(), QStringLiteral("Team: a/b/c.txt"));
        QCOMPARE(info.localFilePath(), QStringLiteral("/home/u/Team/a/b/c.txt"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
