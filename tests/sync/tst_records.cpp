#include "sync/FsObject.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncHistory.h"
#include "sync/SyncHistoryObject.h"
#include "sync/SyncSetting.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QtTest>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void fsObjectNormalisesPath_data();
    void fsObjectNormalisesPath();
    void fsObjectComparesNormalised();
    void fsObjectNameAndFolder_data();
    void fsObjectNameAndFolder();
    void fsObjectMakeRelativeTo_data();
    void fsObjectMakeRelativeTo();
    void fsObjectCountsInstances();
    void settingIsActive_data();
    void settingIsActive();
    void settingWithoutFolderIsNotActive();
    void settingRoleName_data();
    void settingRoleName();
    void historyRecord();
    void historyObjectDescription_data();
    void historyObjectDescription();
    void progressActivityName_data();
    void progressActivityName();
    void progressReset();
    void progressPaths();
};

void TestRecords::fsObjectNormalisesPath_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("decomposed umlaut") << QString::fromUtf8("x/A\xcc\x88.txt") << QString::fromUtf8("x/\xc3\x84.txt");
    QTest::newRow("already composed") << QString::fromUtf8("\xc3\x84") << QString::fromUtf8("\xc3\x84");
    QTest::newRow("hangul jamo") << QString::fromUtf8("\xe1\x84\x80\xe1\x85\xa1") << QString::fromUtf8("\xea\xb0\x80");
    QTest::newRow("empty") << QString() << QString();
}

void TestRecords::fsObjectNormalisesPath()
{
    QFETCH(QString, given);
    QFETCH(QString, stored);
    const FsObject object("id", given, 1, QDateTime(), QDateTime(), "r", "f", "");
    QCOMPARE(object.path(), stored);
    QCOMPARE(object.isNull(), stored.isEmpty());
}

void TestRecords::fsObjectComparesNormalised()
{
    FsObject composed("1", QString::fromUtf8("\xc3\x84"), 0, {}, {}, "", "f", "");
    FsObject other("2", "B", 0, {}, {}, "", "f", "");
    QVERIFY(composed == FsObject("3", QString::fromUtf8("A\xcc\x88"), 5, {}, {}, "", "d", ""));
    QVERIFY(composed != other);
    QVERIFY(other < composed); // U+00C4 sorts after B
    QVERIFY(!(composed < other));
}

void TestRecords::fsObjectNameAndFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("dirPath");
    QTest::newRow("nested") << "a/b/c.txt"
                            << "c.txt"
                            << "a/b";
    QTest::newRow("top level") << "c.txt"
                               << "c.txt"
                               << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("doubled separators") << "a//b/"
                                        << "b"
                                        << "a";
    QTest::newRow("dot parts") << "a/./b/../c"
                               << "c"
                               << "a";
}

void TestRecords::fsObjectNameAndFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, fileName);
    QFETCH(QString, dirPath);
    const FsObject object("", path, 0, {}, {}, "", "f", "");
    QCOMPARE(object.fileName(), fileName);
    QCOMPARE(object.dirPath(), dirPath);
}

void TestRecords::fsObjectMakeRelativeTo_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<QString>("result");
    QTest::newRow("inside") << "docs/x/y.txt"
                            << "docs" << true << "x/y.txt";
    QTest::newRow("base with slashes") << "docs/x/y.txt"
                                       << "/docs/" << true << "x/y.txt";
    QTest::newRow("deeper base") << "a/b/c/d"
                                 << "a/b" << true << "c/d";
    QTest::newRow("the base itself") << "docs"
                                     << "docs" << false << "docs";
    QTest::newRow("common prefix only") << "docs2/x"
                                        << "docs" << false << "docs2/x";
    QTest::newRow("outside") << "other/x"
                             << "docs" << false << "other/x";
    QTest::newRow("case differs") << "Docs/x"
                                  << "docs" << false << "Docs/x";
    QTest::newRow("root base") << "docs/x"
                               << "/" << true << "docs/x";
    QTest::newRow("empty base") << "docs/x"
                                << "" << true << "docs/x";
    QTest::newRow("base cleans to root") << "docs/x"
                                         << "//" << true << "docs/x";
    QTest::newRow("decomposed base") << QString::fromUtf8("\xc3\x84/x") << QString::fromUtf8("A\xcc\x88") << true
                                     << "x";
}

void TestRecords::fsObjectMakeRelativeTo()
{
    QFETCH(QString, path);
    QFETCH(QString, base);
    QFETCH(bool, inside);
    QFETCH(QString, result);
    FsObject object("", path, 0, {}, {}, "", "f", "");
    QCOMPARE(object.makeRelativeTo(base), inside);
    QCOMPARE(object.path(), result);
}

void TestRecords::fsObjectCountsInstances()
{
    const int before = FsObject::instanceCount();
    {
        FsObject a;
        FsObject b("", "p", 0, {}, {}, "", "f", "");
        QCOMPARE(FsObject::instanceCount(), before + 2);
        FsObject c(b);
        QCOMPARE(FsObject::instanceCount(), before + 3);
        a = c;
        QCOMPARE(FsObject::instanceCount(), before + 3);
        QList<FsObject> list{a, b, c};
        QCOMPARE(FsObject::instanceCount(), before + 6);
    }
    QCOMPARE(FsObject::instanceCount(), before);
}

void TestRecords::settingIsActive_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("expiry");
    QTest::addColumn<bool>("active");
    const QDateTime now = QDateTime::currentDateTime();
    const QString future = now.addDays(30).toString("yyyy-MM-dd HH:mm:ss");
    const QString past = now.addSecs(-60).toString("yyyy-MM-dd HH:mm:ss");
    QTest::newRow("all fine") << true << "rcud" << future << true;
    QTest::newRow("no expiry date") << true << "r"
                                    << "" << true;
    QTest::newRow("expired") << true << "rcud" << past << false;
    QTest::newRow("expired, zone given") << true << "r"
                                         << "2001-01-01 00:00:00 +0000" << false;
    QTest::newRow("future, zone given") << true << "r"
                                        << "2999-01-01 00:00:00 +0100" << true;
    QTest::newRow("unreadable date") << true << "r"
                                     << "soon" << false;
    QTest::newRow("no read access") << true << "cud" << future << false;
    QTest::newRow("upper-case R") << true << "RCUD" << future << false;
    QTest::newRow("folder missing") << false << "rcud" << future << false;
}

void TestRecords::settingIsActive()
{
    QFETCH(bool, folderExists);
    QFETCH(QString, access);
    QFETCH(QString, expiry);
    QFETCH(bool, active);
    TestEnv env;
    const QString folder = env.home() + "/Safe";
    if (folderExists)
        QVERIFY(QDir().mkpath(folder));
    SyncSetting setting;
    setting.setId(1);
    setting.setLocalDir(folder + "/");
    setting.setAccess(access);
    setting.setExpiryDate(expiry);
    QCOMPARE(setting.isActive(), active);
}

void TestRecords::settingWithoutFolderIsNotActive()
{
    // An empty folder would name the working directory.
    SyncSetting setting;
    setting.setAccess("rcud");
    QVERIFY(QDir::current().isReadable());
    QVERIFY(!setting.isActive());
}

void TestRecords::settingRoleName_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::newRow("1") << 1 << "Administrator";
    QTest::newRow("2") << 2 << "Editor";
    QTest::newRow("3") << 3 << "Restricted Viewer";
    QTest::newRow("4") << 4 << "Viewer";
    QTest::newRow("0") << 0 << "";
    QTest::newRow("5") << 5 << "";
}

void TestRecords::settingRoleName()
{
    QFETCH(int, role);
    QFETCH(QString, name);
    SyncSetting setting;
    setting.setRoleType(role);
    QCOMPARE(setting.roleName(), name);
}

void TestRecords::historyRecord()
{
    const SyncHistory none;
    QVERIFY(none.isNull());
    QVERIFY(!none.startTime().isValid() && !none.endTime().isValid());
    QVERIFY(!SyncHistory(0, 1).isNull());
    QVERIFY(!SyncHistory(7, 0).isNull());
    SyncHistory run(1LL << 33, SyncHistory::Running);
    run.setState(SyncHistory::Finished);
    run.setEndTime(QDateTime::fromMSecsSinceEpoch(5));
    QCOMPARE(run.id(), 1LL << 33);
    QCOMPARE(run.state(), 3);
    QCOMPARE(run.endTime().toMSecsSinceEpoch(), 5);
}

void TestRecords::historyObjectDescription_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("sign");
    QTest::addColumn<bool>("local");
    QTest::newRow("d create local") << "d" << 4 << "+" << true;
    QTest::newRow("d create remote") << "d" << 5 << "+" << false;
    QTest::newRow("d delete local") << "d" << 12 << "-" << true;
    QTest::newRow("d delete remote") << "d" << 13 << "-" << false;
    QTest::newRow("f download") << "f" << 6 << "+" << true;
    QTest::newRow("f upload") << "f" << 8 << "+" << false;
    QTest::newRow("f update remote") << "f" << 9 << "+" << false;
    QTest::newRow("f delete local") << "f" << 10 << "-" << true;
    QTest::newRow("f delete remote") << "f" << 11 << "-" << false;
    QTest::newRow("d download") << "d" << 6 << "" << false;
    QTest::newRow("f create local dir") << "f" << 4 << "" << false;
    QTest::newRow("f backup") << "f" << 14 << "" << false;
    QTest::newRow("upper-case F") << "F" << 6 << "" << false;
    QTest::newRow("no action") << "f" << 0 << "" << false;
}

void TestRecords::historyObjectDescription()
{
    QFETCH(QString, type);
    QFETCH(int, action);
    QFETCH(QString, sign);
    QFETCH(bool, local);
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1480000000000LL);
    const SyncHistoryObject row(1, 2, "/home/a/Safe/x.txt", "Safe: x.txt", type, 1, action, when);
    if (sign.isEmpty()) {
        QCOMPARE(row.description(), QString());
        return;
    }
    const QString time = QLocale::system().toString(when, QLocale::ShortFormat);
    QCOMPARE(row.description(), sign + " (" + time + ") " +
                                        (local ? QStringLiteral("/home/a/Safe/x.txt") : QStringLiteral("Safe: x.txt")));
    QCOMPARE(SyncHistoryObject().state(), -1);
    QCOMPARE(SyncHistoryObject().action(), 0);
}

void TestRecords::progressActivityName_data()
{
    QTest::addColumn<int>("activity");
    QTest::addColumn<QString>("name");
    QTest::newRow("41") << 41 << "Activity_ProcessSyncActions_Progress[41]";
    QTest::newRow("0") << 0 << "Activity_Idle[0]";
    QTest::newRow("91") << 91 << "Activity_Error_Canceled[91]";
    QTest::newRow("11") << 11 << "UnknownEnumValue[11]";
}

void TestRecords::progressActivityName()
{
    QFETCH(int, activity);
    QFETCH(QString, name);
    ProgressInfo info;
    info.activity = activity;
    QCOMPARE(info.activityName(), name);
}

void TestRecords::progressReset()
{
    ProgressInfo info;
    info.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
    info.message = "x";
    info.actionType = 6;
    info.nDone = 3;
    info.nTodoDirs = 4;
    info.bytesTotal = 1LL << 40;
    info.safeName = "Safe";
    info.actionName = "download";
    info.bytesToUpload = 9;
    info.nConflicts = 2;
    info.nRemoteDirsDeleted = 1;
    info.nSkipped = 5;
    info.action.setAction(SyncAction::DownloadFile);
    info.action.setStatus(SyncAction::ERR_NETWORK);
    info.reset();
    QCOMPARE(info.activity, 0);
    QVERIFY(info.message.isEmpty() && info.safeName.isEmpty() && info.actionName.isEmpty());
    QCOMPARE(info.actionType, -1);
    QCOMPARE(info.nDone, 0);
    QCOMPARE(info.nTodoDirs, 0);
    QCOMPARE(info.bytesTotal, 0);
    QCOMPARE(info.bytesToUpload, 0);
    QCOMPARE(info.nConflicts, 0);
    QCOMPARE(info.nRemoteDirsDeleted, 0);
    QCOMPARE(info.nSkipped, 5); // recounted by its owner
    QCOMPARE(info.action.action(), int(SyncAction::ActionUndefined));
    QCOMPARE(info.action.status(), int(SyncAction::STATUS_OK));
}

void TestRecords::progressPaths()
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

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
