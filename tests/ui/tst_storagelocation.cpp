// The storage location view with its cells and the folder validation on a real database:
// proposals (same-named safes apart), rebuild on a new base folder, the select-all states,
// creation for checked rows, a folder that cannot be created, overlaps refused (also with a
// setting made earlier in the same run), the row tests of a chosen folder, and every nesting
// conflict asked in turn.
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui/filesafe/DialogHelper.h"
#include "ui/filesafe/LocalFolderView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <memory>

// Answers the modal boxes that open, in order, and keeps their titles and texts.
class BoxAnswers : public QObject
{
public:
    explicit BoxAnswers(QList<int> answers) : m_answers(std::move(answers))
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || m_answers.isEmpty())
                return;
            seen << box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(QMessageBox::StandardButton(m_answers.takeFirst()))->click();
        });
        timer->start(10);
    }
    QStringList titles() const
    {
        QStringList out;
        for (const QString& s : seen)
            out << s.section('|', 0, 0);
        return out;
    }
    QStringList seen;

private:
    QList<int> m_answers;
};

class TestStorageLocation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void proposalsAndRebuild();
    void selectAllStates();
    void createForCheckedRows();
    void folderCannotBeCreated();
    void overlapsRefused();
    void chosenFolderRowTests();
    void validateFolder_data();
    void validateFolder();
    void defaultFolderRefused();

private:
    QList<FilesafeTO_v2> safes() const;
    qint64 addSetting(const QString& safeId, const QString& dir);
    QString base() const { return m_env->home() + "/base"; }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
};

void TestStorageLocation::init()
{
    m_env.reset(new TestEnv);
    m_db.reset(new TestDatabase);
    m_db->open();
    QVERIFY(m_db->rawExec({
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0), (2, 'eu', 'bo<b>', 0)",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access) VALUES (1, 1, 'S1', 'Team', "
            "'TEAMSAFE', 'rcud'), (2, 1, 'S2', 'Team', 'TEAMSAFE', 'rcud'), (3, 1, 'S3', 'Mine', 'PRIVATE', 'rcud'), "
            "(4, 2, 'S4', 'Bob', 'PRIVATE', 'rcud')",
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
    // A long folder is shown shortened, in full in the tool tip.
    LocalFolderView* cell = view.rowFolder(0);
    const QString longPath = "/" + QString(79, 'x');
    cell->setFolderPath(longPath);
    auto* edit = cell->findChild<QLineEdit*>("folderPath");
    QCOMPARE(edit->text(), "/" + QString(36, 'x') + "..." + QString(37, 'x'));
    QVERIFY(edit->toolTip().contains(longPath));
}

void TestStorageLocation::selectAllStates()
{
    AdvancedStorageLocationView view(&m_db->appInfo(), 74);
    QCOMPARE(view.selectAllCheckState(), int(Qt::Checked));
    QCOMPARE(view.createSyncSettings(true), 0);
    view.updateDefaultFolderText(base());
    view.setFileSafes(safes());
    QSignalSpy states(&view, &AdvancedStorageLocationView::selectAllCheckBox_stateChanged);
    view.rowCheckBox(0)->click();
    QCOMPARE(view.selectAllCheckState(), int(Qt::PartiallyChecked));
    view.rowCheckBox(1)->click();
    view.rowCheckBox(2)->click();
    QCOMPARE(view.selectAllCheckState(), int(Qt::Unchecked));
    QCOMPARE(states.last().first().toInt(), 0);
    view.rowCheckBox(2)->click();
    auto* all = view.findChild<QCheckBox*>("selectAllCheckBox");
    all->click();
    QCOMPARE(view.selectAllCheckState(), int(Qt::Checked));
    for (int r = 0; r < 3; ++r)
        QVERIFY(view.rowCheckBox(r)->isChecked());
    all->click();
    for (int r = 0; r < 3; ++r)
        QVERIFY(!view.rowCheckBox(r)->isChecked());
}

void TestStorageLocation::createForCheckedRows()
{
    AdvancedStorageLocationView view(&m_db->appInfo(), 74);
    view.updateDefaultFolderText(base());
    view.setFileSafes(safes());
    view.rowCheckBox(1)->click();
    QCOMPARE(view.createSyncSettings(true), 2);
    const QList<SyncSetting> stored = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(stored.size(), 2);
    for (const SyncSetting& s : stored) {
        QCOMPARE(s.mode(), 0);
        QCOMPARE(s.remoteDir(), QStringLiteral("/"));
        QVERIFY(QDir(s.localDir()).exists());
    }
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

QTEST_MAIN(TestStorageLocation)
#include "tst_storagelocation.moc"
