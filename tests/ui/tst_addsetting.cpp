// The remote folder dialog and the add-synchronisation dialog against the development service,
// with a real database: listing, folder creation and choice; the nesting questions for each
// conflict, replacement failure, a missing local folder, a failed store, and a stale folder dialog.
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "net/FilesafeRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/filesafe/AddSettingView.h"
#include "ui/filesafe/RemoteFolderDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
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
    QStringList seen;

private:
    QList<int> m_answers;
};

class TestAddSetting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void treeFromListing_data();
    void treeFromListing();
    void remoteDialogAgainstService();
    void chooseSafe();
    void save_data();
    void save();
    void staleRemoteDialogIgnored();

private:
    std::unique_ptr<AddSettingView> openDialog();
    void clickSafe(AddSettingView* view, const QString& name);
    qint64 addOwn(const QString& safeName, const QString& dir);
    QString safeId(const QString& name);

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    DevService m_svc;
    std::unique_ptr<FilesafeRI> m_ri;
    std::unique_ptr<FileSafeDao> m_dao;
};

void TestAddSetting::initTestCase()
{
    m_env.reset(new TestEnv);
    m_db.reset(new TestDatabase);
    m_db->open();
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    m_db->appInfo().apiGeneration = 1;
    R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
    m_ri.reset(new FilesafeRI(&m_db->appInfo(), R7Session::instance()));
    m_dao.reset(new FileSafeDao(&m_db->appInfo(), m_ri.get()));
}

void TestAddSetting::cleanupTestCase()
{
    m_dao.reset();
    m_ri.reset();
    m_svc.stop();
    m_db.reset();
    m_env.reset();
}

void TestAddSetting::init()
{
    QVERIFY(m_svc.reset());
    const EmptyResult signedIn = signInDemoFresh(&m_db->appInfo());
    QVERIFY2(signedIn.isOk(), qPrintable(signedIn.message()));
    QVERIFY(m_db->rawExec({"DROP TRIGGER IF EXISTS refuse_delete", "DROP TRIGGER IF EXISTS refuse_insert"}));
    m_db->closeRaw();
    SyncSettingsDao::instance()->removeAll();
    QVERIFY(m_db->rawExec({"DELETE FROM sync_setting"}));
    m_db->closeRaw();
}

void TestAddSetting::treeFromListing_data()
{
    QTest::addColumn<QStringList>("entries"); // "type path"
    QTest::addColumn<QStringList>("tree");    // depth-first, indented by level
    QTest::newRow("empty") << QStringList() << QStringList{"/"};
    QTest::newRow("files left out") << QStringList{"d /A", "f /A/x.txt", "f /top.txt"} << QStringList{"/", " A"};
    QTest::newRow("nested, listing order")
            << QStringList{"d /B", "d /A", "d /A/C", "d /A/C/D"} << QStringList{"/", " B", " A", "  C", "   D"};
    QTest::newRow("missing parent") << QStringList{"d /A", "d /X/Y"} << QStringList{"/", " A"};
}

void TestAddSetting::treeFromListing()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, tree);
    QList<FilesafeObject> objects;
    int n = 0;
    for (const QString& e : entries) {
        FilesafeObject o;
        o.type = e.section(' ', 0, 0);
        o.path = e.section(' ', 1);
        o.objectId = QString::number(++n);
        objects << o;
    }
    QStandardItemModel model;
    RemoteFolderDialog::buildModel(objects, &model, QStringLiteral("d"));
    QStringList got;
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int level) {
        for (int r = 0; r < model.rowCount(parent); ++r) {
            const QModelIndex i = model.index(r, 0, parent);
            got << QString(level, ' ') + i.data().toString();
            walk(i, level + 1);
        }
    };
    walk(QModelIndex(), 0);
    QCOMPARE(got, tree);
}

void TestAddSetting::remoteDialogAgainstService()
{
    const EmptyResult updated = awaitResult<Nothing>([&](auto cb) { m_dao->updateFileSafes(cb); });
    QVERIFY2(updated.isOk(), qPrintable(updated.message()));
    const FilesafeTO_v2 safe = m_dao->get(safeId("Team Alpha"));
    const auto listing = awaitResult<FilesafeObjectsTO_v2>(
            [&](auto cb) { m_ri->getObjects(safe.safeId, "/", 0, "d", cb); });
    QVERIFY(listing.isOk());
    RemoteFolderDialog dialog(m_ri.get(), safe);
    dialog.setFolders(listing.payload());
    QStandardItemModel* model = dialog.model();
    QCOMPARE(model->rowCount(), 1);
    QVERIFY(model->rowCount(model->index(0, 0)) > 0);
    QSignalSpy selected(&dialog, &RemoteFolderDialog::folderSelected);
    dialog.findChild<QPushButton*>("selectButton")->click();
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.first().at(1).toString(), QStringLiteral("/"));
    QCOMPARE(selected.first().at(2).toString(), QString());

    // "New folder" in the root: the input box is answered by the test.
    QTimer::singleShot(50, [] {
        auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        QVERIFY(input);
        input->setTextValue(QStringLiteral("Made here"));
        input->accept();
    });
    dialog.findChild<QPushButton*>("pushButton")->click();
    // The tree is listed again after the creation and holds the new folder.
    QModelIndex made;
    const auto findMade = [&made, model] {
        const QModelIndex top = model->index(0, 0);
        for (int r = 0; r < model->rowCount(top); ++r) {
            if (model->index(r, 0, top).data().toString() == QLatin1String("Made here"))
                made = model->index(r, 0, top);
        }
        return made.isValid();
    };
    QTRY_VERIFY_WITH_TIMEOUT(findMade(), 10000);
    QTRY_VERIFY(dialog.isEnabled());
    bool onService = false;
    for (const QJsonValue& s : m_svc.state().value("safes").toArray()) {
        for (const QJsonValue& o : s.toObject().value("objects").toArray())
            onService |= s.toObject().value("safe_id").toString() == safe.safeId
                    && o.toObject().value("path").toString().contains(QLatin1String("Made here"));
    }
    QVERIFY(onService);
    dialog.findChild<QTreeView*>("treeView")->setCurrentIndex(made);
    dialog.findChild<QPushButton*>("selectButton")->click();
    QCOMPARE(selected.last().at(1).toString(), QStringLiteral("/Made here"));
    QVERIFY(!selected.last().at(2).toString().isEmpty());
}

std::unique_ptr<AddSettingView> TestAddSetting::openDialog()
{
    std::unique_ptr<AddSettingView> view(new AddSettingView(m_dao.get(), &m_db->appInfo(), m_ri.get()));
    auto* table = view->findChild<QTableView*>("tableView");
    [&] { QTRY_VERIFY_WITH_TIMEOUT(table->model() && table->model()->rowCount() == 4, 10000); }();
    return view;
}

QString TestAddSetting::safeId(const QString& name)
{
    for (const FilesafeTO_v2& s : m_dao->list()) {
        if (s.name == name)
            return s.safeId;
    }
    return QString();
}

void TestAddSetting::clickSafe(AddSettingView* view, const QString& name)
{
    auto* table = view->findChild<QTableView*>("tableView");
    for (int r = 0; r < table->model()->rowCount(); ++r) {
        const QModelIndex i = table->model()->index(r, 0);
        if (i.data(AddSettingView::SafeNameRole).toString() == name) {
            table->setCurrentIndex(i);
            view->on_tableView_clicked(i);
        }
    }
}

qint64 TestAddSetting::addOwn(const QString& safeName, const QString& dir)
{
    SyncSetting s;
    s.setSafeId(safeId(safeName));
    s.setLocalDir(dir);
    s.setRemoteDir("/");
    s.setRootFolderId("r");
    if (!SyncSettingsDao::instance()->add(s))
        return 0;
    return m_db->rawValue("SELECT max(id) FROM sync_setting").toLongLong();
}

void TestAddSetting::chooseSafe()
{
    auto view = openDialog();
    auto* next = view->findChild<QPushButton*>("continueButtonView1");
    QVERIFY(!next->isEnabled());
    clickSafe(view.get(), "Private");
    QVERIFY(next->isEnabled());
    auto* local = view->findChild<QLineEdit*>("localFolderLineEdit");
    const QString base = QDir::homePath() + "/" + QString::fromUtf8(m_db->appInfo().productName);
    QCOMPARE(QDir::fromNativeSeparators(local->text()), base + "/Private");
    clickSafe(view.get(), "Team Alpha");
    QCOMPARE(QDir::fromNativeSeparators(local->text()), base + "/Team Alpha");
    // "Select Specific Folder" asks at once; "Save" waits for a folder.
    auto* combo = view->findChild<QComboBox*>("remoteFolderComboBox");
    auto* save = view->findChild<QPushButton*>("saveButtonView2");
    combo->setCurrentIndex(1);
    QVERIFY(!save->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(view->remoteFolderDialog(), 10000);
    combo->setCurrentIndex(0);
    QVERIFY(save->isEnabled());
    QVERIFY(!view->remoteFolderDialog());
}

void TestAddSetting::save_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<int>("settingsLeft");
    QTest::addColumn<bool>("stored");
    using B = int;
    QTest::newRow("two nested, both replaced") << "two" << QList<B>{QMessageBox::Yes, QMessageBox::Yes}
                                               << QStringList{"Folder already used!", "Folder already used!"} << 1 << true;
    QTest::newRow("two nested, second kept") << "two" << QList<B>{QMessageBox::Yes, QMessageBox::No}
                                             << QStringList{"Folder already used!", "Folder already used!"} << 1 << false;
    QTest::newRow("other account") << "other" << QList<B>{QMessageBox::No} << QStringList{"Folder already used!"} << 1
                                   << false;
    QTest::newRow("replacement fails") << "refuseDelete" << QList<B>{QMessageBox::Yes, QMessageBox::Ok}
                                       << QStringList{"Folder already used!", "Warning"} << 1 << false;
    QTest::newRow("missing folder declined") << "missing" << QList<B>{QMessageBox::No} << QStringList{"Info"} << 0 << false;
    QTest::newRow("missing folder created") << "missing" << QList<B>{QMessageBox::Yes} << QStringList{"Info"} << 1 << true;
    QTest::newRow("store fails") << "refuseInsert" << QList<B>{QMessageBox::Ok} << QStringList{"Warning"} << 0 << false;
}

void TestAddSetting::save()
{
    QFETCH(QString, setup);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, titles);
    QFETCH(int, settingsLeft);
    QFETCH(bool, stored);
    auto view = openDialog();
    const QString base = m_env->home() + "/save";
    QVERIFY(QDir().mkpath(base + "/inner"));
    if (setup == "two") {
        QVERIFY(addOwn("Private", base + "/inner/a"));
        QVERIFY(addOwn("Team Alpha", base + "/inner/b"));
    } else if (setup == "other" || setup == "refuseDelete") {
        QVERIFY(m_db->rawExec({
                "INSERT OR IGNORE INTO user (id, server_id, account_name, last_login) VALUES (99, 'LOCALDEV', 'b<i>ob', 0)",
                "INSERT OR IGNORE INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access) VALUES (99, 99, 'SB', "
                "'Bob', 'PRIVATE', 'rcud')",
        }));
        QVERIFY(m_db->rawExec({QString("INSERT INTO sync_setting (file_safe_id, remote_dir, root_folder_id, local_dir, "
                                       "mode, remote_state, last_sync) VALUES (99, '/', 'r', '%1/', 1, 0, 0)")
                                       .arg(base)}));
        if (setup == "refuseDelete")
            QVERIFY(m_db->rawExec({"CREATE TRIGGER refuse_delete BEFORE DELETE ON sync_setting BEGIN SELECT "
                                   "RAISE(ABORT, 'kept'); END"}));
        m_db->closeRaw();
    } else if (setup == "refuseInsert") {
        QVERIFY(m_db->rawExec({"CREATE TRIGGER refuse_insert BEFORE INSERT ON sync_setting BEGIN SELECT "
                               "RAISE(ABORT, 'no'); END"}));
        m_db->closeRaw();
    }
    clickSafe(view.get(), "Private");
    view->on_continueButtonView1_clicked();
    const QString chosen = setup == "missing" ? base + "/new/deeper" : base + "/inner";
    view->findChild<QLineEdit*>("localFolderLineEdit")->setText(QDir::toNativeSeparators(chosen));
    view->findChild<QCheckBox*>("autoSyncCheckBox")->setChecked(false);
    view->show();
    BoxAnswers boxes(answers);
    view->findChild<QPushButton*>("saveButtonView2")->click();
    QStringList seenTitles;
    for (const QString& s : boxes.seen)
        seenTitles << s.section('|', 0, 0);
    QCOMPARE(seenTitles, titles);
    if (setup == "other") {
        QVERIFY(boxes.seen.first().contains("b&lt;i&gt;ob"));
        QVERIFY(!boxes.seen.first().contains("yourself"));
    }
    if (setup == "two")
        QVERIFY(boxes.seen.first().contains("yourself"));
    const int own = SyncSettingsDao::instance()->getList(true, false).size();
    const int all = m_db->rawValue("SELECT count(*) FROM sync_setting").toInt();
    QCOMPARE(setup == "other" || setup == "refuseDelete" ? all : own, settingsLeft);
    QCOMPARE(view->isVisible(), !stored);
    if (stored) {
        const SyncSetting s = SyncSettingsDao::instance()->getList(true, false).first();
        QCOMPARE(QDir::cleanPath(s.localDir()), chosen);
        QCOMPARE(s.mode(), 1);
    }
}

void TestAddSetting::staleRemoteDialogIgnored()
{
    auto view = openDialog();
    clickSafe(view.get(), "Private");
    view->on_continueButtonView1_clicked();
    view->findChild<QComboBox*>("remoteFolderComboBox")->setCurrentIndex(1);
    QTRY_VERIFY_WITH_TIMEOUT(view->remoteFolderDialog(), 10000);
    QPointer<RemoteFolderDialog> stale = view->remoteFolderDialog();
    QVERIFY(stale->isVisible());
    view->findChild<QPushButton*>("backButtonView2")->click();
    QVERIFY(!stale->isVisible());
    clickSafe(view.get(), "Team Alpha");
    view->on_continueButtonView1_clicked();
    emit stale->folderSelected(true, QStringLiteral("/Private folder"), QStringLiteral("id-of-private"));
    QCOMPARE(view->findChild<QLineEdit*>("remoteFolderLineEdit")->text(), QString());
    QVERIFY(view->findChild<QPushButton*>("saveButtonView2")->isEnabled());
}

QTEST_MAIN(TestAddSetting)
#include "tst_addsetting.moc"
