// The storage location view with its cells and the folder validation on a real database, and the
// first-run wizard and new-file-safe dialog built on it: proposals (same-named safes apart), a
// folder that cannot be created, overlaps refused (also with a setting made earlier in the same
// run), the row tests of a chosen folder, every nesting conflict asked in turn, and the wizard's
// Finish with its start-at-login entry.
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "tests/ui/BoxAnswers.h"
#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/WizardView.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui/filesafe/DialogHelper.h"
#include "ui/filesafe/LocalFolderView.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class TestStorageLocation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void proposalsAndRebuild();
    void folderCannotBeCreated();
    void overlapsRefused();
    void chosenFolderRowTests();
    void validateFolder_data();
    void validateFolder();
    void defaultFolderRefused();
    void wizardFinish_data();
    void wizardFinish();
    void newFileSafeDialog_data();
    void newFileSafeDialog();

private:
    QList<FilesafeTO_v2> safes() const;
    qint64 addSetting(const QString& safeId, const QString& dir);
    QString base() const { return m_env->home() + "/base"; }
    static QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(QLatin1String(name)); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
};

void TestStorageLocation::init()
{
    m_env.reset(new TestEnv);
    QDir::setCurrent(m_env->home());
    m_db.reset(new TestDatabase);
    m_db->open();
    QVERIFY(m_db->rawExec({
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0), (2, 'eu', 'bo<b>', 0)",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, root_folder_id) VALUES (1, 1, "
            "'S1', 'Team', 'TEAMSAFE', 'rcud', 'r1'), (2, 1, 'S2', 'Team', 'TEAMSAFE', 'rcud', 'r2'), (3, 1, 'S3', "
            "'Mine', 'PRIVATE', 'rcud', 'r3'), (4, 2, 'S4', 'Bob', 'PRIVATE', 'rcud', 'r4')",
    }));
    m_db->closeRaw();
    R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
}

void TestStorageLocation::cleanup()
{
    R7Session::instance()->setUser(User());
    m_db.reset();
    m_env.reset();
}

QList<FilesafeTO_v2> TestStorageLocation::safes() const
{
    QList<FilesafeTO_v2> out;
    for (const auto& [id, name, type] : {std::make_tuple("S1", "Team", "TEAMSAFE"), std::make_tuple("S2", "Team", "TEAMSAFE"),
                                         std::make_tuple("S3", "Mine", "PRIVATE")}) {
        FilesafeTO_v2 s;
        s.safeId = id;
        s.name = name;
        s.type = type;
        s.rootFolderId = QStringLiteral("root-") + id;
        out << s;
    }
    return out;
}

qint64 TestStorageLocation::addSetting(const QString& safeId, const QString& dir)
{
    QDir().mkpath(dir);
    SyncSetting s;
    s.setSafeId(safeId);
    s.setLocalDir(dir);
    s.setRemoteDir("/");
    s.setRootFolderId("r");
    if (!SyncSettingsDao::instance()->add(s))
        return 0;
    return m_db->rawValue("SELECT max(id) FROM sync_setting").toLongLong();
}

void TestStorageLocation::proposalsAndRebuild()
{
    AdvancedStorageLocationView view(&m_db->appInfo(), 74);
    view.updateDefaultFolderText(base());
    view.setFileSafes(safes());
    QCOMPARE(view.rowCount(), 3);
    QStringList folders;
    for (int r = 0; r < 3; ++r)
        folders << view.rowFolder(r)->path();
    // Two safes named "Team" never share a folder.
    QCOMPARE(QSet<QString>(folders.begin(), folders.end()).size(), 3);
    QCOMPARE(folders.at(0), base() + "/Team");
    QCOMPARE(folders.at(2), base() + "/Mine");
    view.rowCheckBox(1)->click();
    view.updateDefaultFolderText(m_env->home() + "/other/");
    QCOMPARE(view.defaultFolder(), m_env->home() + "/other");
    for (int r = 0; r < 3; ++r) {
        QVERIFY(view.rowCheckBox(r)->isChecked());
        QVERIFY(view.rowFolder(r)->path().startsWith(m_env->home() + "/other/"));
    }
    // Created for the checked rows only.
    view.rowCheckBox(1)->click();
    QCOMPARE(view.createSyncSettings(true), 2);
    const QList<SyncSetting> stored = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(stored.size(), 2);
    for (const SyncSetting& s : stored)
        QVERIFY(QDir(s.localDir()).exists());
}

void TestStorageLocation::folderCannotBeCreated()
{
    QFile blocker(m_env->home() + "/file");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AdvancedStorageLocationView view(&m_db->appInfo(), 74);
    view.updateDefaultFolderText(m_env->home() + "/file");
    view.setFileSafes(safes());
    BoxAnswers boxes({QMessageBox::Ok});
    QCOMPARE(view.createSyncSettings(false), 0);
    QCOMPARE(boxes.titles(), QStringList{"Info"});
    QVERIFY(boxes.seen.first().contains("Failed to create folder:"));
    QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), 0);
}

void TestStorageLocation::overlapsRefused()
{
    // Another account already synchronises the folder proposed for the second row's safe.
    QVERIFY(m_db->rawExec({QString("INSERT INTO sync_setting (file_safe_id, remote_dir, root_folder_id, local_dir, "
                                   "mode, remote_state, last_sync) VALUES (4, '/', 'r', '%1/Mine/', 1, 0, 0)")
                                   .arg(base())}));
    m_db->closeRaw();
    AdvancedStorageLocationView view(&m_db->appInfo(), 74);
    view.updateDefaultFolderText(base());
    view.setFileSafes(safes());
    // The second row nests inside the first: refused once the first is stored.
    view.rowFolder(1)->setFolderPath(base() + "/Team/inner");
    BoxAnswers boxes({QMessageBox::Ok, QMessageBox::Ok});
    QCOMPARE(view.createSyncSettings(true), 1);
    QCOMPARE(boxes.titles(), (QStringList{"Info", "Info"}));
    const QList<SyncSetting> stored = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(QDir::cleanPath(stored.first().localDir()), base() + "/Team");
    QVERIFY(!QDir(base() + "/Team/inner").exists());
}

void TestStorageLocation::chosenFolderRowTests()
{
    AdvancedStorageLocationView view(&m_db->appInfo(), 74);
    view.updateDefaultFolderText(base());
    view.setFileSafes(safes());
    LocalFolderView* cell = view.rowFolder(2);
    const QString before = cell->path();
    {
        BoxAnswers boxes({QMessageBox::Ok});
        QVERIFY(!cell->acceptChosenFolder(view.rowFolder(0)->path()));
        QCOMPARE(boxes.titles(), QStringList{"Duplicate local folder"});
    }
    {
        BoxAnswers boxes({QMessageBox::Ok});
        QVERIFY(!cell->acceptChosenFolder(view.rowFolder(0)->path() + "/sub"));
        QCOMPARE(boxes.titles(), QStringList{"Already synchronized folder"});
    }
    QCOMPARE(cell->path(), before);
    // Its own folder's subfolder is no clash with another safe.
    QVERIFY(cell->acceptChosenFolder(before + "/sub"));
    QCOMPARE(cell->path(), before + "/sub");
}

void TestStorageLocation::validateFolder_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("left");
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("both replaced, folder made") << QList<int>{yes, yes, yes}
                                                << QStringList{"Folder already used!", "Folder already used!", "Info"}
                                                << true << 0;
    QTest::newRow("second kept") << QList<int>{yes, no} << QStringList{"Folder already used!", "Folder already used!"}
                                 << false << 1;
    QTest::newRow("folder not made") << QList<int>{yes, yes, no}
                                     << QStringList{"Folder already used!", "Folder already used!", "Info"} << false << 0;
}

void TestStorageLocation::validateFolder()
{
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, titles);
    QFETCH(bool, accepted);
    QFETCH(int, left);
    const QString chosen = base() + "/new";
    QVERIFY(addSetting("S1", chosen + "/a"));
    QVERIFY(addSetting("S3", chosen + "/b"));
    QVERIFY(QDir(chosen).removeRecursively());
    BoxAnswers boxes(answers);
    const QString answer = DialogHelper(&m_db->appInfo()).validateFolder(nullptr, chosen);
    QCOMPARE(boxes.titles(), titles);
    QVERIFY(boxes.seen.first().contains("yourself"));
    QCOMPARE(answer, accepted ? chosen : QString());
    QCOMPARE(SyncSettingsDao::instance()->getList(true, false).size(), left);
    QCOMPARE(QDir(chosen).exists(), accepted);
}

void TestStorageLocation::defaultFolderRefused()
{
    QVERIFY(m_db->rawExec({QString("INSERT INTO sync_setting (file_safe_id, remote_dir, root_folder_id, local_dir, "
                                   "mode, remote_state, last_sync) VALUES (4, '/', 'r', '%1/bob/', 1, 0, 0)")
                                   .arg(base())}));
    m_db->closeRaw();
    BoxAnswers boxes({QMessageBox::Ok});
    QCOMPARE(DialogHelper(&m_db->appInfo()).validateDefaultFolder(nullptr, base()), QString());
    QCOMPARE(boxes.titles(), QStringList{"Folder already synchronized"});
    QVERIFY(boxes.seen.first().contains("bo&lt;b&gt;"));
    QVERIFY(boxes.seen.first().contains("Please choose a different folder."));
    // A base folder that does not exist and nests with nothing is taken without a question.
    QCOMPARE(DialogHelper(&m_db->appInfo()).validateDefaultFolder(nullptr, m_env->home() + "/fresh"),
             m_env->home() + "/fresh");
}

void TestStorageLocation::wizardFinish_data()
{
    QTest::addColumn<bool>("autoSync");
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<bool>("withSafes");
    QTest::newRow("automatic, start at login") << true << true << true;
    QTest::newRow("manual, no start") << false << false << true;
    QTest::newRow("no safes at all") << true << true << false;
}

void TestStorageLocation::wizardFinish()
{
    QFETCH(bool, autoSync);
    QFETCH(bool, autoStart);
    QFETCH(bool, withSafes);
    if (!withSafes) {
        QVERIFY(m_db->rawExec({"DELETE FROM file_safe"}));
        m_db->closeRaw();
    }
    FileSafeDao dao(&m_db->appInfo(), nullptr);
    auto* wizard = new WizardView(&dao, &m_db->appInfo());
    wizard->reloadFileSafes();
    QSignalSpy finished(wizard, &WizardView::wizardFinished);
    // Its owner may delete it on this signal, inside the Finish click: nothing may touch it after.
    connect(wizard, &WizardView::wizardFinished, wizard, [wizard] { delete wizard; });
    for (int i = 0; i < 4; ++i)
        button(wizard, "nextButton")->click();
    wizard->findChild<QCheckBox*>("autoSyncCheckBox")->setChecked(autoSync);
    wizard->findChild<QCheckBox*>("autoStartCheckBox")->setChecked(autoStart);
    button(wizard, "finishButton")->click();
    QCOMPARE(finished.count(), 1);
    const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(settings.size(), withSafes ? 3 : 0);
    for (const SyncSetting& s : settings) {
        QCOMPARE(s.mode(), autoSync ? 0 : 1);
        QVERIFY(QDir(s.localDir()).exists());
    }
    // The XDG autostart entry under the test's own configuration folder.
    const QDir autostart(m_env->configHome() + "/autostart");
    QCOMPARE(!autostart.entryList(QStringList{"*.desktop"}, QDir::Files).isEmpty(), autoStart);
}

void TestStorageLocation::newFileSafeDialog_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("save") << true;
    QTest::newRow("close") << false;
}

void TestStorageLocation::newFileSafeDialog()
{
    QFETCH(bool, save);
    FileSafeDao dao(&m_db->appInfo(), nullptr);
    NewFileSafeAvailableDialog dialog(&m_db->appInfo());
    dialog.setFileSafes(dao.list());
    dialog.show();
    const QString product = QString::fromUtf8(m_db->appInfo().productName);
    // The base folder is the product name, relative to the home folder the client works in.
    QCOMPARE(dialog.storageView()->defaultFolder(), product);
    button(&dialog, save ? "saveButton" : "closeButton")->click();
    QVERIFY(!dialog.isVisible());
    const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(settings.size(), save ? 3 : 0);
    for (const SyncSetting& s : settings)
        QVERIFY(s.localDir().startsWith(m_env->home() + "/" + product + "/"));
}

QTEST_MAIN(TestStorageLocation)
#include "tst_storagelocation.moc"
