#include "sync/SyncAction.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

class TestSyncAction : public QObject
{
    Q_OBJECT

private slots:
    void counters();
    void clearAndCopy();
    void statusTexts_data();
    void statusTexts();
    void actionTypeNames_data();
    void actionTypeNames();
    void statusDetailsAndHelp();
    void predicates_data();
    void predicates();
    void isRemoteAction_data();
    void isRemoteAction();
    void paths_data();
    void paths();
    void settingAndObject();
    void executedAndReasons();
    void localAttributes();
    void orderOnShuffledPlans();
    void orderIsStrictWeak();
    void counting();
};

static SyncAction makeAction(int type, const QString &relPath)
{
    SyncAction action;
    action.setAction(type);
    const int slash = relPath.lastIndexOf('/');
    action.setPath(slash < 0 ? QString() : relPath.left(slash));
    action.setName(relPath.mid(slash + 1));
    return action;
}

void TestSyncAction::counters()
{
    const int next = SyncAction::maxId();
    QVERIFY(next >= 10000);
    QCOMPARE(SyncAction::nextId(), next);
    QCOMPARE(SyncAction::maxId(), next + 1);

    // Temporary ids count down; clearing takes exactly one new id.
    SyncAction a;
    const SyncAction b;
    QVERIFY(a.tempId() < 0);
    QCOMPARE(b.tempId(), a.tempId() - 1);
    a.clear();
    QCOMPARE(a.tempId(), b.tempId() - 1);
    QCOMPARE(SyncAction().tempId(), a.tempId() - 1);

    const int before = SyncAction::instanceCount();
    {
        SyncAction c;
        SyncAction d(c);
        QList<SyncAction> list{c, d};
        d = c;
        QCOMPARE(SyncAction::instanceCount(), before + 4);
    }
    QCOMPARE(SyncAction::instanceCount(), before);
}

void TestSyncAction::clearAndCopy()
{
    QObject parent;
    SyncAction action;
    action.setParent(&parent);
    action.setId(SyncAction::nextId());
    action.setAction(SyncAction::DownloadFile);
    action.setName("x.txt");
    action.setPath("a");
    action.setLocalBase("/l");
    action.setType("f");
    action.setLocalMtime(QDateTime::currentDateTime());
    action.setRemoteSize(1LL << 35);
    action.setLocalChecksum("md5:1");
    action.setConflict(true);
    action.setSyncHistoryObjectId(1LL << 40);
    action.addReason("R1");
    action.setExecuted(SyncAction::ERR_FILE_DOWNLOAD, "boom");

    const SyncAction copy(action);
    QCOMPARE(copy.parent(), nullptr);
    QCOMPARE(copy.tempId(), action.tempId());
    QCOMPARE(copy.syncHistoryObjectId(), 1LL << 40);
    QCOMPARE(copy.toString("|"), action.toString("|"));
    SyncAction assigned;
    assigned = action;
    QCOMPARE(assigned.toString("|"), action.toString("|"));
    QCOMPARE(assigned.tempId(), action.tempId());
    action.setParent(nullptr);

    // Cleared, an action reads like a fresh one marked ok.
    action.setSkipped(true);
    action.clear();
    SyncAction fresh;
    QVERIFY(fresh.isUndefined());
    fresh.setStatus(SyncAction::STATUS_OK);
    QCOMPARE(action.toString("|"), fresh.toString("|"));
    QVERIFY(!action.skipped());
    QCOMPARE(action.syncHistoryObjectId(), 0);
}

struct StatusRow
{
    int status;
    const char *name;
    const char *text;
};

static const StatusRow kStatusRows[] = {
        {-1, "Undefined", "The syncronization status of this file or folder is undefined."},
        {1, "Ok", "Synchronization of this file or folder was successful."},
        {10, "To do", "This file or folder needs to be synchronized."},
        {11, "Syncing", "Synchronizing..."},
        {20, "Warning", "Unexpected error [code: 20]"},
        {21, "Skipped", "The file or folder will not be synchronized."},
        {22, "Skipped",
         "The file or folder will not be synchronized because its name contains a problematic character."},
        {25, "Skipped",
         "The file will not be synchronized because its name is too long. Maximum length is 128 characters."},
        {26, "Skipped",
         "The folder will not be synchronized because its name is too long. Maximum length is 128 characters."},
        {31, "Resolved",
         "Possible conflict detected. A backup-copy of your local file marked 'conflicted copy' has been created and "
         "stored in the same folder. To resolve the conflict, please check the two files."},
        {41, "Checksum error", "Failed to read the checksum of the remote file."},
        {100, "Error", "Unexpected error [code: 100]"},
        {101, "Internal error", "An internal error has occurred."},
        {120, "Type mismatch", "A file cannot be synchronized with a folder."},
        {121, "Checksum error", "Failed to calculate the checksum of the local file."},
        {123, "Invalid name", "The file name is invalid. It might contain illegal characters."},
        {124, "Invalid name", "The folder name is invalid. It might contain illegal characters."},
        {125, "Attribute error", "Failed to read the local file's last modification time."},
        {126, "Attribute error", "Failed to read the remote file's last modification time."},
        {127, "Attribute error", "Failed to get the local file's modification time."},
        {128, "Attribute error", "Failed to get the remote file's modification time."},
        {129, "Attribute conflict", "Conflict: Cannot decide how to synchronize this file."},
        {130, "Name too long", "The file name is too long. Maximum length is 128 characters."},
        {131, "Name too long", "The folder name is too long. Maximum length is 128 characters."},
        {140, "Settings Error", "The file or folder is not in a sychronized folder. Please check the sync settings."},
        {141, "Error", "File is too big to synchronize. Maximum size is 2048 MB."},
        {200, "Failed", "Failed to create the folder."},
        {201, "Failed", "Failed to delete the folder."},
        {202, "Failed", "The folder already exists."},
        {203, "Failed", "The folder is missing."},
        {204, "Failed", "The parent folder is missing."},
        {205, "Failed", "Failed to create the remote folder."},
        {206, "Failed", "Failed to delete the remote folder."},
        {300, "Failed", "Failed to upload the file."},
        {301, "Failed", "Failed to update the file."},
        {302, "Failed", "Failed to download the file."},
        {303, "Failed", "Failed to delete the file."},
        {304, "Failed", "Failed to backup the file."},
        {305, "Failed", "The file already exists."},
        {306, "Failed", "The file is missing."},
        {307, "Failed", "Failed to read file."},
        {308, "Failed", "Failed to delete the remote file."},
        {309, "Failed", "Failed to delete the local file."},
        {400, "Quota exceeded", "This operation would exceed the available storage quota."},
        {401, "Failed", "The remote destination filesafe does not exist."},
        {402, "Failed", "The remote destination folder does not exist."},
        {500, "Not allowed", "Download the file is not allowed."},
        {501, "Not allowed", "Upload the file is not allowed."},
        {502, "Not allowed", "Update the file is not allowed."},
        {503, "Not allowed", "Delete the remote file is not allowed."},
        {504, "Not allowed", "Create the remote folder is not allowed."},
        {505, "Not allowed", "Delete the remote folder is not allowed."},
        {910, "Error", "Failed to get file and folder list."},
        {980, "Network error", "An network error has occurred."},
        {999, "Error", "An error has occurred."},
        {777, "Error", "Unexpected error [code: 777]"},
        {0, "Error", "Unexpected error [code: 0]"},
};

void TestSyncAction::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    for (const StatusRow &row : kStatusRows)
        QTest::addRow("%d", row.status) << row.status << QString(row.name) << QString(row.text);
}

void TestSyncAction::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, name);
    QFETCH(QString, text);
    SyncAction action;
    action.setStatus(status);
    QCOMPARE(action.statusName(), name);
    QCOMPARE(action.statusText(), text);
    // The key form keeps the enumeration's own (misspelt) names.
    const QMap<int, QString> keys{{1, "STATUS_OK[1]"},
                                  {-1, "STATUS_UNDEFINED[-1]"},
                                  {910, "ERR_GET_FILESFE_OBJECTS[910]"},
                                  {777, "UnknownEnumValue[777]"}};
    if (keys.contains(status))
        QCOMPARE(SyncAction::statusName(status, true), keys.value(status));
}

void TestSyncAction::actionTypeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    const auto row = [](int type, const char *name, const char *key) {
        QTest::addRow("%d", type) << type << QString(name) << QString(key);
    };
    row(-1, "undefined", "ActionUndefined[-1]");
    row(0, "-", "NoAction[0]");
    row(1, "-", "UpdateSyncState[1]");
    row(2, "-", "RemoveSyncState[2]");
    row(3, "resolve", "Resolve[3]");
    row(4, "create local folder", "CreateLocalDir[4]");
    row(5, "create remote folder", "CreateRemoteDir[5]");
    row(6, "download", "DownloadFile[6]");
    row(7, "invalid [7]", "UpdateLocalFile[7]");
    row(8, "upload", "UploadFile[8]");
    row(9, "upload", "UpdateRemoteFile[9]");
    row(10, "delete local file", "DeleteLocalFile[10]");
    row(11, "delete remote file", "DeleteRemoteFile[11]");
    row(12, "delete local folder", "DeleteLocalDir[12]");
    row(13, "delete remote folder", "DeleteRemoteDir[13]");
    row(14, "backup then download", "BackupDownloadFile[14]");
    row(15, "invalid [15]", "UnknownEnumValue[15]");
}

void TestSyncAction::actionTypeNames()
{
    QFETCH(int, type);
    SyncAction action;
    action.setAction(type);
    QTEST(action.actionTypeName(), "name");
    QTEST(action.actionTypeName(true), "key");
}

void TestSyncAction::statusDetailsAndHelp()
{
    const QString text22 = SyncAction::statusText(22);
    QCOMPARE(SyncAction::statusDetails(22, QString()), text22);
    QCOMPARE(SyncAction::statusDetails(22, text22), text22);
    // A percent sign in the message is data, not a placeholder.
    QCOMPARE(SyncAction::statusDetails(302, "%1 100%"), QStringLiteral("Failed to download the file.<br />(%1 100%)"));

    const QString faq = "${APP_BASE_URL}/en/faq/questions-about-sync-client/file-not-syncing";
    for (int status : {22, 25, 26})
        QCOMPARE(SyncAction::statusHelpUrl(status), faq);
    QCOMPARE(SyncAction::statusHelpUrl(400), QStringLiteral("${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/"));
    for (int status : {1, 21, 131, 401})
        QCOMPARE(SyncAction::statusHelpUrl(status), QString());
}

void TestSyncAction::predicates_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("executed");
    QTest::addColumn<bool>("success");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("warning");
    QTest::addColumn<bool>("error");
    QTest::newRow("ok executed") << 1 << true << true << true << false << false;
    QTest::newRow("ok planned") << 1 << false << false << true << false << false;
    QTest::newRow("19") << 19 << true << false << true << false << false;
    QTest::newRow("20") << 20 << true << false << false << true << false;
    QTest::newRow("99") << 99 << true << false << false << true << false;
    QTest::newRow("100") << 100 << true << false << false << false << true;
    QTest::newRow("999") << 999 << true << false << false << false << true;
    QTest::newRow("undefined") << -1 << false << false << true << false << false;
}

void TestSyncAction::predicates()
{
    QFETCH(int, status);
    QFETCH(bool, executed);
    SyncAction action;
    if (executed)
        action.setExecuted(status, QString());
    else
        action.setStatus(status);
    QTEST(action.isSuccess(), "success");
    QTEST(action.isOk(), "ok");
    QTEST(action.isWarning(), "warning");
    QTEST(action.isError(), "error");
}

void TestSyncAction::isRemoteAction_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<bool>("unexpected");
    const QList<int> remote{5, 6, 8, 9, 11, 13, 14};
    for (int type : {-1, 0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14})
        QTest::addRow("%d", type) << type << remote.contains(type) << false;
    // Not an action the planner makes: reported, answered "not remote", and the process goes on.
    QTest::newRow("7") << 7 << false << true;
    QTest::newRow("42") << 42 << false << true;
}

void TestSyncAction::isRemoteAction()
{
    QFETCH(int, type);
    QFETCH(bool, unexpected);
    SyncAction action;
    action.setAction(type);
    LogCapture log;
    QTEST(action.isRemoteAction(), "remote");
    if (!unexpected) {
        QVERIFY(log.entries().isEmpty());
        return;
    }
    QCOMPARE(log.count("SyncAction::isRemoteAction: Unexpected ActionType: " + action.actionTypeName(true)), 1);
    QCOMPARE(log.entries().first().type, QtWarningMsg);
}

void TestSyncAction::paths_data()
{
    const char *columns[] = {"localBase", "remoteBase", "path",       "name",      "relPath",
                             "localFile", "localDir",   "remoteFile", "remoteDir", "display"};
    for (const char *column : columns)
        QTest::addColumn<QString>(column);
    const auto row = [](const char *tag, const QStringList &values) {
        QTestData &data = QTest::newRow(tag);
        for (const QString &value : values)
            data << value;
    };
    row("nested in whole safe", {"/home/u/Safe/", "/", "a/b", "c.txt", "a/b/c.txt", "/home/u/Safe/a/b/c.txt",
                                 "/home/u/Safe/a/b", "a/b/c.txt", "a/b", "Safe: a/b/c.txt"});
    row("top level",
        {"/home/u/Safe", "", "", "c.txt", "c.txt", "/home/u/Safe/c.txt", "/home/u/Safe", "c.txt", "", "Safe: c.txt"});
    row("remote sub folder", {"/l", "/docs/2016/", "x", "y", "x/y", "/l/x/y", "/l/x", "docs/2016/x/y", "docs/2016/x",
                              "Safe: docs/2016/x/y"});
    row("the base itself", {"/l/", "/", "", "", "", "/l", "/l", "", "", "Safe"});
    row("percent signs",
        {"/l/%1", "/%2", "%3", "%4", "%3/%4", "/l/%1/%3/%4", "/l/%1/%3", "%2/%3/%4", "%2/%3", "Safe: %2/%3/%4"});
}

void TestSyncAction::paths()
{
    QFETCH(QString, localBase);
    QFETCH(QString, remoteBase);
    QFETCH(QString, path);
    QFETCH(QString, name);
    SyncAction action;
    action.setLocalBase(localBase);
    action.setRemoteBase(remoteBase);
    action.setRemoteSafeName("Safe");
    action.setPath(path);
    action.setName(name);
    QTEST(action.relPath(), "relPath");
    QTEST(action.localFilePath(), "localFile");
    QTEST(action.localDirPath(), "localDir");
    QTEST(action.remoteFilePath(), "remoteFile");
    QTEST(action.remoteDirPath(), "remoteDir");
    QTEST(action.displayPath(), "display");
}

void TestSyncAction::settingAndObject()
{
    SyncSetting setting;
    setting.setLocalDir("/home/u/Team/");
    setting.setSafeId("S9");
    setting.setSafeType("team");
    setting.setSafeName("Team");
    setting.setRemoteDir("/projects");
    SyncAction action;
    action.setSyncSetting(setting);
    QCOMPARE(QStringList({action.localBase(), action.remoteSafeId(), action.remoteSafeType(), action.remoteSafeName(),
                          action.remoteBase()}),
             QStringList({"/home/u/Team/", "S9", "team", "Team", "/projects"}));

    action.setFsObject(FsObject("oid", QString::fromUtf8("a/b/A\xcc\x88.txt"), 1, {}, {}, "", "f", ""));
    QCOMPARE(action.path(), QStringLiteral("a/b"));
    QCOMPARE(action.name(), QString::fromUtf8("\xc3\x84.txt"));
    QCOMPARE(action.type(), QStringLiteral("f"));

    const QDateTime local = QDateTime::fromMSecsSinceEpoch(1600000000001LL);
    const QDateTime remote = QDateTime::fromMSecsSinceEpoch(1600000000999LL);
    action.setObjectId("oid");
    action.setName(QString::fromUtf8("A\xcc\x88.txt")); // decomposed, as a local scan may report it
    action.setLocalSize(6000000000LL);
    action.setLocalMtime(local);
    action.setRemoteMtime(remote);
    action.setRemoteAccess("rcu");
    action.setLocalChecksum("sha256:ab");
    action.setRemoteChecksum("sha256:cd");
    const FsObject state = action.toFsObject();
    QCOMPARE(state.objectId(), QStringLiteral("oid"));
    QCOMPARE(state.path(), QString::fromUtf8("a/b/\xc3\x84.txt"));
    QCOMPARE(state.size(), 6000000000LL);
    QCOMPARE(state.localMtime(), local);
    QCOMPARE(state.remoteMtime(), remote);
    QCOMPARE(state.access(), QStringLiteral("rcu"));
    QCOMPARE(state.checksum(), QStringLiteral("sha256:ab"));
}

void TestSyncAction::executedAndReasons()
{
    SyncAction action;
    action.setExecuting(true);
    const QDateTime before = QDateTime::currentDateTime();
    action.setExecuted(SyncAction::ERR_FILE_UPLOAD, "first");
    QVERIFY(action.executed() && !action.executing());
    QVERIFY(action.execTs() >= before);
    // A later run without a message keeps the earlier one.
    action.setExecuted(SyncAction::STATUS_OK, QString());
    QCOMPARE(action.status(), int(SyncAction::STATUS_OK));
    QCOMPARE(action.statusDetails(),
             QStringLiteral("Synchronization of this file or folder was successful.<br />(first)"));

    action.addReason("L1");
    QCOMPARE(action.reason(), QStringLiteral("L1"));
    action.addReason("R2");
    action.addReason("C3");
    QCOMPARE(action.reason(), QStringLiteral("L1,R2,C3"));
}

void TestSyncAction::localAttributes()
{
    TestEnv env;
    QFile file(env.home() + "/f.bin");
    const QByteArray content("synchronised content\n");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();

    SyncAction action;
    action.setLocalBase(env.home());
    action.setName("f.bin");
    action.calcLocalSize(-1);
    QCOMPARE(action.localSize(), qint64(content.size()));
    action.calcLocalSize(0);
    QCOMPARE(action.localSize(), 0);
    action.calcLocalMtime(QDateTime());
    QCOMPARE(action.localMtime(), QFileInfo(file.fileName()).lastModified());
    const QDateTime given = QDateTime::fromMSecsSinceEpoch(123456);
    action.calcLocalMtime(given);
    QCOMPARE(action.localMtime(), given);
    action.calcLocalChecksum(QString());
    QCOMPARE(action.localChecksum(), "sha256:" + QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
    action.calcLocalChecksum("md5:00");
    QCOMPARE(action.localChecksum(), QStringLiteral("md5:00"));

    action.setName("missing.bin");
    action.calcLocalSize(-1);
    action.calcLocalMtime(QDateTime());
    action.calcLocalChecksum(QString());
    QCOMPARE(action.localSize(), 0);
    QVERIFY(action.localMtime().isNull());
    QCOMPARE(action.localChecksum(), QString());
}

void TestSyncAction::orderOnShuffledPlans()
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

void TestSyncAction::orderIsStrictWeak()
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
    // The upload and update of the same path are one group, ordered only by path.
    QVERIFY(makeAction(SyncAction::UploadFile, "b") < makeAction(SyncAction::UpdateRemoteFile, "c"));
    QVERIFY(makeAction(SyncAction::UpdateRemoteFile, "a") < makeAction(SyncAction::UploadFile, "b"));
}

void TestSyncAction::counting()
{
    QList<SyncAction> values;
    const auto add = [&](int type, int status, bool executed, const QString &objectType) -> SyncAction & {
        SyncAction action = makeAction(type, "p");
        action.setType(objectType);
        if (executed)
            action.setExecuted(status, QString());
        else
            action.setStatus(status);
        values << action;
        return values.last();
    };
    add(SyncAction::DownloadFile, 1, true, "f");     // successful
    add(SyncAction::UploadFile, 10, false, "f");     // pending
    add(SyncAction::CreateLocalDir, 10, false, "d"); // pending
    add(SyncAction::DeleteLocalFile, 10, false, "f").setConflict(true);
    add(SyncAction::DeleteRemoteFile, 10, false, "f").setSkipped(true);
    add(SyncAction::DownloadFile, 10, false, "f").setExecuting(true);
    add(SyncAction::UpdateSyncState, 10, false, "f"); // bookkeeping, never pending
    add(SyncAction::Resolve, 10, false, "f");
    add(SyncAction::DownloadFile, 302, true, "f");   // error
    add(SyncAction::DownloadFile, 25, true, "f");    // warning
    add(SyncAction::CreateRemoteDir, 1, false, "d"); // planned ok, not executed
    QList<SyncAction *> pointers;
    for (SyncAction &a : values)
        pointers << &a;

    const QList<int> counts{SyncAction::countSuccessful(values),  SyncAction::countErrors(values),
                            SyncAction::countErrors(pointers),    SyncAction::countWarnings(values),
                            SyncAction::countWarnings(pointers),  SyncAction::countNotOk(pointers),
                            SyncAction::countSkipped(values),     SyncAction::countPending(values),
                            SyncAction::countPending(pointers),   SyncAction::countResolve(pointers),
                            SyncAction::countType(pointers, "d"), SyncAction::countType(pointers, "f")};
    QCOMPARE(counts, QList<int>({1, 1, 1, 1, 1, 9, 1, 2, 2, 1, 2, 9}));
}

QTEST_GUILESS_MAIN(TestSyncAction)
#include "tst_syncaction.moc"
