// The remote folder dialog and the add-synchronisation dialog against the development service,
// with a real database: folder creation and choice; the nesting questions for each conflict,
// replacement failure, a missing local folder, a failed store, a stale folder dialog; and end to
// end, a folder added through the dialog, synchronised, and seen on the service and in the history.
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
#include "tests/ui/BoxAnswers.h"
#include "sync/MultiSyncher.h"
#include "ui/filesafe/AddSettingView.h"
#include "ui/filesafe/MainFileSafeView.h"
#include "ui/filesafe/RemoteFolderDialog.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QComboBox>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

#include <memory>

class TestAddSetting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
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

    void cleanupTestCase()
    {
        m_dao.reset();
        m_ri.reset();
        m_svc.stop();
        m_db.reset();
        m_env.reset();
    }

    void init()
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

    void remoteDialogAgainstService()
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
        QVERIFY(model->rowCount(model->index(0, 0)) > 0);

        // "New folder" in the root: the input box is answered by the test.
        QTimer::singleShot(50, [] {
            auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            QVERIFY(input);
            input->setTextValue(QStringLiteral("Made here"));
            input->accept();
        });
        dialog.findChild<QPushButton*>("pushButton")->click();
        // The tree is listed again after the creation and holds the new folder.
        const auto made = [model] { return model->findItems("Made here", Qt::MatchExactly | Qt::MatchRecursive); };
        QTRY_COMPARE_WITH_TIMEOUT(made().size(), 1, 10000);
        QTRY_VERIFY(dialog.isEnabled());
        QSignalSpy selected(&dialog, &RemoteFolderDialog::folderSelected);
        dialog.findChild<QTreeView*>("treeView")->setCurrentIndex(made().first()->index());
        dialog.findChild<QPushButton*>("selectButton")->click();
        QCOMPARE(selected.last().at(1).toString(), QStringLiteral("/Made here"));
        QVERIFY(!selected.last().at(2).toString().isEmpty());
    }

    void save_data()
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

    void save()
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
        view->show();
        BoxAnswers boxes(answers);
        view->findChild<QPushButton*>("saveButtonView2")->click();
        QCOMPARE(boxes.titles(), titles);
        if (setup == "other")
            QVERIFY(boxes.seen.first().contains("b&lt;i&gt;ob"));
        const int own = SyncSettingsDao::instance()->getList(true, false).size();
        const int all = m_db->rawValue("SELECT count(*) FROM sync_setting").toInt();
        QCOMPARE(setup == "other" || setup == "refuseDelete" ? all : own, settingsLeft);
        QCOMPARE(view->isVisible(), !stored);
        if (stored)
            QCOMPARE(QDir::cleanPath(SyncSettingsDao::instance()->getList(true, false).first().localDir()), chosen);
    }

    void staleRemoteDialogIgnored()
    {
        auto view = openDialog();
        clickSafe(view.get(), "Private");
        view->on_continueButtonView1_clicked();
        view->findChild<QComboBox*>("remoteFolderComboBox")->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(view->remoteFolderDialog(), 10000);
        QPointer<RemoteFolderDialog> stale = view->remoteFolderDialog();
        view->findChild<QPushButton*>("backButtonView2")->click();
        QVERIFY(!stale->isVisible());
        clickSafe(view.get(), "Team Alpha");
        view->on_continueButtonView1_clicked();
        emit stale->folderSelected(true, QStringLiteral("/Private folder"), QStringLiteral("id-of-private"));
        QCOMPARE(view->findChild<QLineEdit*>("remoteFolderLineEdit")->text(), QString());
    }

    void addAndSynchronise()
    {
        const EmptyResult updated = awaitResult<Nothing>([&](auto cb) { m_dao->updateFileSafes(cb); });
        QVERIFY2(updated.isOk(), qPrintable(updated.message()));
        MultiSyncher syncher(m_dao.get(), m_ri.get());
        MainFileSafeView tab(&m_db->appInfo(), &syncher, nullptr);
        // A local folder with two files, added for the safe "Private" through the dialog.
        const QString local = m_env->home() + "/Synced Private";
        QVERIFY(QDir().mkpath(local + "/notes"));
        for (const auto& [rel, text] : {std::make_pair("hello.txt", "hello service"), std::make_pair("notes/todo.txt", "- test")}) {
            QFile f(local + "/" + rel);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) > 0);
        }
        {
            auto view = openDialog();
            clickSafe(view.get(), "Private");
            view->on_continueButtonView1_clicked();
            view->findChild<QLineEdit*>("localFolderLineEdit")->setText(QDir::toNativeSeparators(local));
            view->show();
            view->findChild<QPushButton*>("saveButtonView2")->click();
            QVERIFY(!view->isVisible());
        }
        const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
        QCOMPARE(settings.size(), 1);
        QSignalSpy finished(&syncher, &MultiSyncher::syncFinished);
        // Connected after the history view: the ids of the rows it has just made.
        QStandardItemModel* model = tab.historyView()->model();
        const auto idOfRow = [&model](int r) {
            return model->index(r, SyncHistoryView::ColStatus).data(SyncHistoryView::IdRole).toLongLong();
        };
        QList<qint64> progressIds;
        connect(&syncher, &MultiSyncher::syncProgress, this, [&](bool, const ProgressInfo&) {
            for (int r = 0; r < model->rowCount(); ++r) {
                if (model->index(r, SyncHistoryView::ColStatus).data(SyncHistoryView::StatusRole).toInt()
                    == SyncAction::STATUS_IN_PROGRESS)
                    progressIds << idOfRow(r);
            }
        });
        syncher.requestSync(settings);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(1).toInt(), 0);
        QVERIFY(!progressIds.isEmpty());
        for (qint64 id : qAsConst(progressIds))
            QVERIFY2(id < 0, qPrintable(QString::number(id)));
        // The live rows carry the ids that the history shows after a reload, in the ID column too.
        QMap<QString, qint64> liveIds;
        for (int r = 0; r < model->rowCount(); ++r) {
            liveIds.insert(model->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString(),
                           idOfRow(r));
            QCOMPARE(model->index(r, SyncHistoryView::ColId).data().toLongLong(), idOfRow(r));
        }
        QVERIFY(liveIds.contains(local + "/hello.txt"));

        // Both files are on the service, in the safe "Private".
        QStringList remote;
        for (const QJsonValue& s : m_svc.state().value("safes").toArray()) {
            if (s.toObject().value("safe_id").toString() != safeId("Private"))
                continue;
            for (const QJsonValue& o : s.toObject().value("objects").toArray())
                remote << o.toObject().value("path").toString();
        }
        QVERIFY2(remote.contains("/hello.txt") && remote.contains("/notes/todo.txt"), qPrintable(remote.join(", ")));
        // The history, reloaded from the database, shows the uploads: the last hour's, so that a run
        // begun before midnight is found after it too.
        tab.historyView()->findChild<QComboBox*>("selectFilterComboBox")->setCurrentIndex(2);
        QStringList uploaded;
        model = tab.historyView()->model();
        QMap<QString, qint64> storedIds;
        for (int r = 0; r < model->rowCount(); ++r) {
            storedIds.insert(model->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString(),
                             idOfRow(r));
            if (model->index(r, SyncHistoryView::ColAction).data().toString() == QLatin1String("upload"))
                uploaded << model->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString();
        }
        uploaded.sort();
        QCOMPARE(uploaded, (QStringList{local + "/hello.txt", local + "/notes/todo.txt"}));
        QCOMPARE(liveIds, storedIds);
    }

private:
    std::unique_ptr<AddSettingView> openDialog()
    {
        std::unique_ptr<AddSettingView> view(new AddSettingView(m_dao.get(), &m_db->appInfo(), m_ri.get()));
        auto* table = view->findChild<QTableView*>("tableView");
        [&] { QTRY_VERIFY_WITH_TIMEOUT(table->model() && table->model()->rowCount() == 4, 10000); }();
        return view;
    }

    void clickSafe(AddSettingView* view, const QString& name)
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

    qint64 addOwn(const QString& safeName, const QString& dir)
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

    QString safeId(const QString& name)
    {
        for (const FilesafeTO_v2& s : m_dao->list()) {
            if (s.name == name)
                return s.safeId;
        }
        return QString();
    }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    DevService m_svc;
    std::unique_ptr<FilesafeRI> m_ri;
    std::unique_ptr<FileSafeDao> m_dao;
};

QTEST_MAIN(TestAddSetting)
#include "tst_addsetting.moc"
