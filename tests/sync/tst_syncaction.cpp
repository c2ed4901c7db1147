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
    void defaults();
    void counters();
    void clearAndCopy();
    void statusTexts_data();
    void statusTexts();
    void statusKeyForm_data();
    void statusKeyForm();
    void actionTypeNames_data();
    void actionTypeNames();
    void statusDetailsAndHelp();
    void predicates_data();
    void predicates();
    void isRemoteAction_data();
    void isRemoteAction();
    void unexpectedTypeIsNotRemote();
    void paths_data();
    void paths();
    void settingAndObject();
    void executedAndReasons();
    void localAttributes();
    void orderOnShuffledPlans();
    void orderIsStrictWeak();
    void counting();
};

void TestSyncAction::defaults()
{
    const SyncAction action;
    QCOMPARE(action.id(), 0);
    QCOMPARE(action.action(), -1);
    QCOMPARE(action.status(), -1);
    QVERIFY(action.isUndefined());
    QVERIFY(!action.executed() && !action.executing() && !action.skipped() && !action.conflict());
    QCOMPARE(action.localSize(), 0);
    QCOMPARE(action.syncHistoryObjectId(), 0);
    QVERIFY(action.tempId() < 0);
    QVERIFY(action.name().isEmpty() && action.reason().isEmpty());
    QVERIFY(!action.execTs().isValid());
}

void TestSyncAction::counters()
{
    const int next = SyncAction::maxId();
    QVERIFY(next >= 10000);
    QCOMPARE(SyncAction::nextId(), next);
    QCOMPARE(SyncAction::nextId(), next + 1);
    QCOMPARE(SyncAction::maxId(), next + 2);

    SyncAction a;
    const SyncAction b;
    QCOMPARE(b.tempId(), a.tempId() - 1);
    a.clear();
    QCOMPARE(a.tempId(), b.tempId() - 1);
    const SyncAction c;
    QCOMPARE(c.tempId(), a.tempId() - 1);

    const int before = SyncAction::instanceCount();
    {
        SyncAction c;
        SyncAction d(c);
        QList<SyncAction> list{c, d};
        QCOMPARE(SyncAction::instanceCount(), before + 4);
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
    action.setRemoteSize(1LL << 35);
    action.setConflict(true);
    action.setSyncHistoryObjectId(1LL << 40);
    action.addReason("R1");
    action.setExecuted(SyncAction::ERR_FILE_DOWNLOAD, "boom");

    SyncAction copy(action);
    QCOMPARE(copy.parent(), nullptr);
    QCOMPARE(copy.id(), action.id());
    QCOMPARE(copy.tempId(), action.tempId());
    QCOMPARE(copy.remoteSize(), 1LL << 35);
    QCOMPARE(copy.syncHistoryObjectId(), 1LL << 40);
    QCOMPARE(copy.toString("|"), action.toString("|"));
    SyncAction assigned;
    assigned = action;
    QCOMPARE(assigned.toString("|"), action.toString("|"));
    QCOMPARE(assigned.tempId(), action.tempId());
    action.setParent(nullptr);

    action.setObjectId("o");
    action.setLocalBase("/l");
    action.setRemoteBase("/r");
    action.setType("f");
    action.setLocalMtime(QDateTime::currentDateTime());
    action.setRemoteAccess("r");
    action.setLocalSize(9);
    action.setLocalChecksum("md5:1");
    action.setSkipped(true);
    const qint64 oldTemp = action.tempId();
    action.clear();
    SyncAction fresh;
    fresh.setStatus(SyncAction::STATUS_OK);
    const QString freshText = fresh.toString("|");
    QCOMPARE(action.toString("|"), freshText);
    QCOMPARE(action.status(), int(SyncAction::STATUS_OK));
    QCOMPARE(action.action(), -1);
    QCOMPARE(action.id(), 0);
    QVERIFY(action.name().isEmpty() && action.reason().isEmpty() && action.execErrorMsg().isEmpty());
    QVERIFY(!action.executed() && !action.conflict());
    QCOMPARE(action.syncHistoryObjectId(), 0);
    QVERIFY(action.tempId() < oldTemp);
}

void TestSyncAction::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("-1") << -1 << "Undefined"
                        << "The syncronization status of this file or folder is undefined.";
    QTest::newRow("1") << 1 << "Ok"
                       << "Synchronization of this file or folder was successful.";
    QTest::newRow("10") << 10 << "To do"
                        << "This file or folder needs to be synchronized.";
    QTest::newRow("11") << 11 << "Syncing"
                        << "Synchronizing...";
    QTest::newRow("20") << 20 << "Warning"
                        << "Unexpected error [code: 20]";
    QTest::newRow("21") << 21 << "Skipped"
                        << "The file or folder will not be synchronized.";
    QTest::newRow("22") << 22 << "Skipped"
                        << "The file or folder will not be synchronized because its name contains a problematic "
                           "character.";
    QTest::newRow("25") << 25 << "Skipped"
                        << "The file will not be synchronized because its name is too long. Maximum length is 128 "
                           "characters.";
    QTest::newRow("26") << 26 << "Skipped"
                        << "The folder will not be synchronized because its name is too long. Maximum length is 128 "
                           "characters.";
    QTest::newRow("31") << 31 << "Resolved"
                        << "Possible conflict detected. A backup-copy of your local file marked 'conflicted copy' has "
                           "been created and stored in the same folder. To resolve the conflict, please check the two "
                           "files.";
    QTest::newRow("41") << 41 << "Checksum error"
                        << "Failed to read the checksum of the remote file.";
    QTest::newRow("100") << 100 << "Error"
                         << "Unexpected error [code: 100]";
    QTest::newRow("101") << 101 << "Internal error"
                         << "An internal error has occurred.";
    QTest::newRow("120") << 120 << "Type mismatch"
                         << "A file cannot be synchronized with a folder.";
    QTest::newRow("121") << 121 << "Checksum error"
                         << "Failed to calculate the checksum of the local file.";
    QTest::newRow("123") << 123 << "Invalid name"
                         << "The file name is invalid. It might contain illegal characters.";
    QTest::newRow("124") << 124 << "Invalid name"
                         << "The folder name is invalid. It might contain illegal characters.";
    QTest::newRow("125") << 125 << "Attribute error"
                         << "Failed to read the local file's last modification time.";
    QTest::newRow("126") << 126 << "Attribute error"
                         << "Failed to read the remote file's last modification time.";
    QTest::newRow("127") << 127 << "Attribute error"
                         << "Failed to get the local file's modification time.";
    QTest::newRow("128") << 128 << "Attribute error"
                         << "Failed to get the remote file's modification time.";
    QTest::newRow("129") << 129 << "Attribute conflict"
                         << "Conflict: Cannot decide how to synchronize this file.";
    QTest::newRow("130") << 130 << "Name too long"
                         << "The file name is too long. Maximum length is 128 characters.";
    QTest::newRow("131") << 131 << "Name too long"
                         << "The folder name is too long. Maximum length is 128 characters.";
    QTest::newRow("140") << 140 << "Settings Error"
                         << "The file or folder is not in a sychronized folder. Please check the sync settings.";
    QTest::newRow("141") << 141 << "Error"
                         << "File is too big to synchronize. Maximum size is 2048 MB.";
    QTest::newRow("200") << 200 << "Failed"
                         << "Failed to create the folder.";
    QTest::newRow("201") << 201 << "Failed"
                         << "Failed to delete the folder.";
    QTest::newRow("202") << 202 << "Failed"
                         << "The folder already exists.";
    QTest::newRow("203") << 203 << "Failed"
                         << "The folder is missing.";
    QTest::newRow("204") << 204 << "Failed"
                         << "The parent folder is missing.";
    QTest::newRow("205") << 205 << "Failed"
                         << "Failed to create the remote folder.";
    QTest::newRow("206") << 206 << "Failed"
                         << "Failed to delete the remote folder.";
    QTest::newRow("300") << 300 << "Failed"
                         << "Failed to upload the file.";
    QTest::newRow("301") << 301 << "Failed"
                         << "Failed to update the file.";
    QTest::newRow("302") << 302 << "Failed"
                         << "Failed to download the file.";
    QTest::newRow("303") << 303 << "Failed"
                         << "Failed to delete the file.";
    QTest::newRow("304") << 304 << "Failed"
                         << "Failed to backup the file.";
    QTest::newRow("305") << 305 << "Failed"
                         << "The file already exists.";
    QTest::newRow("306") << 306 << "Failed"
                         << "The file is missing.";
    QTest::newRow("307") << 307 << "Failed"
                         << "Failed to read file.";
    QTest::newRow("308") << 308 << "Failed"
                         << "Failed to delete the remote file.";
    QTest::newRow("309") << 309 << "Failed"
                         << "Failed to delete the local file.";
    QTest::newRow("400") << 400 << "Quota exceeded"
                         << "This operation would exceed the available storage quota.";
    QTest::newRow("401") << 401 << "Failed"
                         << "The remote destination filesafe does not exist.";
    QTest::newRow("402") << 402 << "Failed"
                         << "The remote destination folder does not exist.";
    QTest::newRow("500") << 500 << "Not allowed"
                         << "Download the file is not allowed.";
    QTest::newRow("501") << 501 << "Not allowed"
                         << "Upload the file is not allowed.";
    QTest::newRow("502") << 502 << "Not allowed"
                         << "Update the file is not allowed.";
    QTest::newRow("503") << 503 << "Not allowed"
                         << "Delete the remote file is not allowed.";
    QTest::newRow("504") << 504 << "Not allowed"
                         << "Create the remote folder is not allowed.";
    QTest::newRow("505") << 505 << "Not allowed"
                         << "Delete the remote folder is not allowed.";
    QTest::newRow("910") << 910 << "Error"
                         << "Failed to get file and folder list.";
    QTest::newRow("980") << 980 << "Network error"
                         << "An network error has occurred.";
    QTest::newRow("999") << 999 << "Error"
                         << "An error has occurred.";
    QTest::newRow("outside the table") << 777 << "Error"
                                       << "Unexpected error [code: 777]";
    QTest::newRow("zero") << 0 << "Error"
                          << "Unexpected error [code: 0]";
}

void TestSyncAction::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(SyncAction::statusName(status), name);
    QCOMPARE(SyncAction::statusText(status), text);
    SyncAction action;
    action.setStatus(status);
    QCOMPARE(action.statusName(), name);
    QCOMPARE(action.statusText(), text);
}

void TestSyncAction::statusKeyForm_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("key");
    QTest::newRow("ok") << 1 << "STATUS_OK[1]";
    QTest::newRow("undefined") << -1 << "STATUS_UNDEFINED[-1]";
    QTest::newRow("misspelt key kept") << 910 << "ERR_GET_FILESFE_OBJECTS[910]";
    QTest::newRow("unknown") << 42 << "UnknownEnumValue[42]";
}

void TestSyncAction::statusKeyForm()
{
    QFETCH(int, status);
    QFETCH(QString, key);
    QCOMPARE(SyncAction::statusName(status, true), key);
}

void TestSyncAction::actionTypeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::newRow("-1") << -1 << "undefined"
                        << "ActionUndefined[-1]";
    QTest::newRow("0") << 0 << "-"
                       << "NoAction[0]";
    QTest::newRow("1") << 1 << "-"
                       << "UpdateSyncState[1]";
    QTest::newRow("2") << 2 << "-"
                       << "RemoveSyncState[2]";
    QTest::newRow("3") << 3 << "resolve"
                       << "Resolve[3]";
    QTest::newRow("4") << 4 << "create local folder"
                       << "CreateLocalDir[4]";
    QTest::newRow("5") << 5 << "create remote folder"
                       << "CreateRemoteDir[5]";
    QTest::newRow("6") << 6 << "download"
                       << "DownloadFile[6]";
    QTest::newRow("7") << 7 << "invalid [7]"
                       << "UpdateLocalFile[7]";
    QTest::newRow("8") << 8 << "upload"
                       << "UploadFile[8]";
    QTest::newRow("9") << 9 << "upload"
                       << "UpdateRemoteFile[9]";
    QTest::newRow("10") << 10 << "delete local file"
                        << "DeleteLocalFile[10]";
    QTest::newRow("11") << 11 << "delete remote file"
                        << "DeleteRemoteFile[11]";
    QTest::newRow("12") << 12 << "delete local folder"
                        << "DeleteLocalDir[12]";
    QTest::newRow("13") << 13 << "delete remote folder"
                        << "DeleteRemoteDir[13]";
    QTest::newRow("14") << 14 << "backup then download"
                        << "BackupDownloadFile[14]";
    QTest::newRow("15") << 15 << "invalid [15]"
                        << "UnknownEnumValue[15]";
}

void TestSyncAction::actionTypeNames()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, key);
    QCOMPARE(SyncAction::actionTypeName(type), name);
    QCOMPARE(SyncAction::actionTypeName(type, true), key);
    SyncAction action;
    action.setAction(type);
    QCOMPARE(action.actionTypeName(), name);
    QCOMPARE(action.actionTypeName(true), key);
}

void TestSyncAction::statusDetailsAndHelp()
{
    const QString text22 = SyncAction::statusText(22);
    QCOMPARE(SyncAction::statusDetails(22, QString()), text22);
    QCOMPARE(SyncAction::statusDetails(22, text22), text22);
    QCOMPARE(SyncAction::statusDetails(302, "timeout"), QStringLiteral("Failed to download the file.<br />(timeout)"));
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
    QTest::newRow("todo") << 10 << false << false << true << false << false;
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
    QFETCH(bool, success);
    QFETCH(bool, ok);
    QFETCH(bool, warning);
    QFETCH(bool, error);
    SyncAction action;
    if (executed)
        action.setExecuted(status, QString());
    else
        action.setStatus(status);
    QCOMPARE(action.isSuccess(), success);
    QCOMPARE(action.isOk(), ok);
    QCOMPARE(action.isWarning(), warning);
    QCOMPARE(action.isError(), error);
}

void TestSyncAction::isRemoteAction_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("remote");
    const QList<int> remote{5, 6, 8, 9, 11, 13, 14};
    for (int type : {-1, 0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14})
        QTest::newRow(qPrintable(SyncAction::actionTypeName(type, true))) << type << remote.contains(type);
}

void TestSyncAction::isRemoteAction()
{
    QFETCH(int, type);
    QFETCH(bool, remote);
    SyncAction action;
    action.setAction(type);
    LogCapture log;
    QCOMPARE(action.isRemoteAction(), remote);
    QVERIFY(!log.contains("Unexpected ActionType"));
}

void TestSyncAction::unexpectedTypeIsNotRemote()
{
    for (int type : {7, 42}) {
        SyncAction action;
        action.setAction(type);
        LogCapture log;
        QVERIFY(!action.isRemoteAction());
        QCOMPARE(log.count("SyncAction::isRemoteAction: Unexpected ActionType: " +
                           SyncAction::actionTypeName(type, true)),
                 1);
        QCOMPARE(log.entries().first().type, QtCriticalMsg);
    }
}

void TestSyncAction::paths_data()
{
    QTest::addColumn<QString>("localBase");
    QTest::addColumn<QString>("remoteBase");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("relPath");
    QTest::addColumn<QString>("localFile");
    QTest::addColumn<QString>("localDir");
    QTest::addColumn<QString>("remoteFile");
    QTest::addColumn<QString>("remoteDir");
    QTest::addColumn<QString>("display");
    QTest::newRow("nested in whole safe") << "/home/u/Safe/"
                                          << "/"
                                          << "a/b"
                                          << "c.txt"
                                          << "a/b/c.txt"
                                          << "/home/u/Safe/a/b/c.txt"
                                          << "/home/u/Safe/a/b"
                                          << "a/b/c.txt"
                                          << "a/b"
                                          << "Safe: a/b/c.txt";
    QTest::newRow("top level") << "/home/u/Safe"
                               << ""
                               << ""
                               << "c.txt"
                               << "c.txt"
                               << "/home/u/Safe/c.txt"
                               << "/home/u/Safe"
                               << "c.txt"
                               << ""
                               << "Safe: c.txt";
    QTest::newRow("remote sub folder") << "/l"
                                       << "/docs/2016/"
                                       << "x"
                                       << "y"
                                       << "x/y"
                                       << "/l/x/y"
                                       << "/l/x"
                                       << "docs/2016/x/y"
                                       << "docs/2016/x"
                                       << "Safe: docs/2016/x/y";
    QTest::newRow("the base itself") << "/l/"
                                     << "/"
                                     << ""
                                     << ""
                                     << ""
                                     << "/l"
                                     << "/l"
                                     << ""
                                     << ""
                                     << "Safe";
    QTest::newRow("percent signs") << "/l/%1"
                                   << "/%2"
                                   << "%3"
                                   << "%4"
                                   << "%3/%4"
                                   << "/l/%1/%3/%4"
                                   << "/l/%1/%3"
                                   << "%2/%3/%4"
                                   << "%2/%3"
                                   << "Safe: %2/%3/%4";
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
    QCOMPARE(action.localBase(), setting.localDir());
    QCOMPARE(action.remoteSafeId(), QStringLiteral("S9"));
    QCOMPARE(action.remoteSafeType(), QStringLiteral("team"));
    QCOMPARE(action.remoteSafeName(), QStringLiteral("Team"));
    QCOMPARE(action.remoteBase(), QStringLiteral("/projects"));

    const QDateTime local = QDateTime::fromMSecsSinceEpoch(1600000000001LL);
    const QDateTime remote = QDateTime::fromMSecsSinceEpoch(1600000000999LL);
    action.setFsObject(FsObject("oid", QString::fromUtf8("a/b/A\xcc\x88.txt"), 1, {}, {}, "", "f", ""));
    QCOMPARE(action.path(), QStringLiteral("a/b"));
    QCOMPARE(action.name(), QString::fromUtf8("\xc3\x84.txt"));
    QCOMPARE(action.type(), QStringLiteral("f"));

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
    QCOMPARE(state.type(), QStringLiteral("f"));
    QCOMPARE(state.checksum(), QStringLiteral("sha256:ab"));
}

void TestSyncAction::executedAndReasons()
{
    SyncAction action;
    action.setExecuting(true);
    const QDateTime before = QDateTime::currentDateTime();
    action.setExecuted(SyncAction::ERR_FILE_UPLOAD, "first");
    QVERIFY(action.executed());
    QVERIFY(!action.executing());
    QVERIFY(action.execTs() >= before);
    QCOMPARE(action.status(), int(SyncAction::ERR_FILE_UPLOAD));
    QCOMPARE(action.execErrorMsg(), QStringLiteral("first"));
    action.setExecuted(SyncAction::STATUS_OK, QString());
    QCOMPARE(action.execErrorMsg(), QStringLiteral("first"));
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
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray content("synchronised content\n");
    file.write(content);
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
    QCOMPARE(action.localSize(), 0);
    action.calcLocalMtime(QDateTime());
    QVERIFY(action.localMtime().isNull());
    action.calcLocalChecksum(QString());
    QCOMPARE(action.localChecksum(), QString());
}

static SyncAction makeAction(int type, const QString &relPath)
{
    SyncAction action;
    action.setAction(type);
    const int slash = relPath.lastIndexOf('/');
    action.setPath(slash < 0 ? QString() : relPath.left(slash));
    action.setName(relPath.mid(slash + 1));
    return action;
}

static QStringList describe(const QList<SyncAction> &actions)
{
    QStringList out;
    for (const SyncAction &a : actions)
        out << QStringLiteral("%1 %2").arg(a.action()).arg(a.relPath());
    return out;
}

void TestSyncAction::orderOnShuffledPlans()
{
    // The expected plan order: by type, folders created before downloads, folder deletions with
    // their contents first, every upload last.
    const QList<SyncAction> expected{
            makeAction(SyncAction::NoAction, "n"),
            makeAction(SyncAction::UpdateSyncState, "s"),
            makeAction(SyncAction::CreateLocalDir, "a"),
            makeAction(SyncAction::CreateLocalDir, "a/b"),
            makeAction(SyncAction::CreateRemoteDir, "r"),
            makeAction(SyncAction::DownloadFile, "a.txt"),
            makeAction(SyncAction::DownloadFile, "b.txt"),
            makeAction(SyncAction::DownloadFile, "b/a.txt"),
            makeAction(SyncAction::DeleteLocalFile, "old.txt"),
            makeAction(SyncAction::DeleteRemoteFile, "gone.txt"),
            makeAction(SyncAction::DeleteLocalDir, "x/y/z"),
            makeAction(SyncAction::DeleteLocalDir, "x/y"),
            makeAction(SyncAction::DeleteLocalDir, "x"),
            makeAction(SyncAction::DeleteRemoteDir, "p/q"),
            makeAction(SyncAction::DeleteRemoteDir, "p"),
            makeAction(SyncAction::BackupDownloadFile, "c.txt"),
            makeAction(SyncAction::UploadFile, "a.txt"),
            makeAction(SyncAction::UpdateRemoteFile, "b.txt"),
            makeAction(SyncAction::UploadFile, "c.txt"),
    };
    QRandomGenerator random(20161125);
    for (int round = 0; round < 200; ++round) {
        QList<SyncAction> plan = expected;
        std::shuffle(plan.begin(), plan.end(), random);
        std::sort(plan.begin(), plan.end());
        QCOMPARE(describe(plan), describe(expected));
    }
}

void TestSyncAction::orderIsStrictWeak()
{
    QList<SyncAction> all;
    for (int type = -1; type <= 14; ++type) {
        for (const char *path : {"a", "a/b", "b", "a.txt", "A"})
            all << makeAction(type, path);
    }
    for (const SyncAction &a : all) {
        QVERIFY(!(a < a));
        for (const SyncAction &b : all) {
            QVERIFY2(!(a < b && b < a), qPrintable(a.toString(" ") + " / " + b.toString(" ")));
            const bool abEquivalent = !(a < b) && !(b < a);
            for (const SyncAction &c : all) {
                if (a < b && b < c)
                    QVERIFY(a < c);
                const bool bcEquivalent = !(b < c) && !(c < b);
                if (abEquivalent && bcEquivalent)
                    QVERIFY(!(a < c) && !(c < a));
            }
        }
    }
    // The upload and update of the same path are one group, ordered only by path.
    QVERIFY(makeAction(SyncAction::UploadFile, "b") < makeAction(SyncAction::UpdateRemoteFile, "c"));
    QVERIFY(makeAction(SyncAction::UpdateRemoteFile, "a") < makeAction(SyncAction::UploadFile, "b"));
    QVERIFY(makeAction(SyncAction::DeleteRemoteFile, "z") < makeAction(SyncAction::UploadFile, "a"));
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

    QCOMPARE(SyncAction::countSuccessful(values), 1);
    QCOMPARE(SyncAction::countErrors(values), 1);
    QCOMPARE(SyncAction::countErrors(pointers), 1);
    QCOMPARE(SyncAction::countWarnings(values), 1);
    QCOMPARE(SyncAction::countWarnings(pointers), 1);
    QCOMPARE(SyncAction::countNotOk(pointers), 9);
    QCOMPARE(SyncAction::countSkipped(values), 1);
    QCOMPARE(SyncAction::countPending(values), 2);
    QCOMPARE(SyncAction::countPending(pointers), 2);
    QCOMPARE(SyncAction::countResolve(pointers), 1);
    QCOMPARE(SyncAction::countType(pointers, "d"), 2);
    QCOMPARE(SyncAction::countType(pointers, "f"), 9);
}

QTEST_GUILESS_MAIN(TestSyncAction)
#include "tst_syncaction.moc"
