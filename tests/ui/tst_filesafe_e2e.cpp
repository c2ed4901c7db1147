// End to end against the development service: sign in, add a synchronised folder through the
// dialog, let the coordinator run, and find the files on the service and the executed actions in
// the history and the folder row of the file-safe tab.
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "net/FilesafeRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/MultiSyncher.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/filesafe/AddSettingView.h"
#include "ui/filesafe/MainFileSafeView.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

class TestFileSafeE2e : public QObject
{
    Q_OBJECT

private slots:
    void addAndSynchronise();
};

void TestFileSafeE2e::addAndSynchronise()
{
    TestEnv env;
    TestDatabase db;
    db.open();
    DevService svc;
    QVERIFY2(svc.start(), qPrintable(svc.errorString()));
    db.appInfo().apiGeneration = 1;
    R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", svc.httpUrl(), false));
    const EmptyResult signedIn = signInDemoFresh(&db.appInfo());
    QVERIFY2(signedIn.isOk(), qPrintable(signedIn.message()));
    FilesafeRI ri(&db.appInfo(), R7Session::instance());
    FileSafeDao dao(&db.appInfo(), &ri);
    MultiSyncher syncher(&dao, &ri);
    MainFileSafeView tab(&db.appInfo(), &syncher, nullptr);

    // A local folder with two files, added for the safe "Private" through the dialog.
    const QString local = env.home() + "/Synced Private";
    QVERIFY(QDir().mkpath(local + "/notes"));
    for (const auto& [rel, text] : {std::make_pair("hello.txt", "hello service"), std::make_pair("notes/todo.txt", "- test")}) {
        QFile f(local + "/" + rel);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    {
        AddSettingView add(&dao, &db.appInfo(), &ri);
        auto* table = add.findChild<QTableView*>("tableView");
        QTRY_VERIFY_WITH_TIMEOUT(table->model() && table->model()->rowCount() == 4, 10000);
        for (int r = 0; r < table->model()->rowCount(); ++r) {
            const QModelIndex i = table->model()->index(r, 0);
            if (i.data(AddSettingView::SafeNameRole).toString() == "Private") {
                table->setCurrentIndex(i);
                add.on_tableView_doubleClicked(i);
            }
        }
        add.findChild<QLineEdit*>("localFolderLineEdit")->setText(QDir::toNativeSeparators(local));
        add.show();
        add.findChild<QPushButton*>("saveButtonView2")->click();
        QVERIFY(!add.isVisible());
    }
    const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(settings.size(), 1);
    auto* list = tab.findChild<QTableView*>("tableView");
    QCOMPARE(list->model()->rowCount(), 1);

    QSignalSpy finished(&syncher, &MultiSyncher::syncFinished);
    syncher.requestSync(settings);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.first().at(1).toInt(), 0);

    // Both files are on the service, in the safe "Private".
    QStringList remote;
    for (const QJsonValue& s : svc.state().value("safes").toArray()) {
        if (s.toObject().value("safe_name").toString() != "Private" || s.toObject().value("owner").toString() != "demo")
            continue;
        for (const QJsonValue& o : s.toObject().value("objects").toArray())
            remote << o.toObject().value("path").toString();
    }
    QVERIFY2(remote.contains("/hello.txt") && remote.contains("/notes/todo.txt"), qPrintable(remote.join(", ")));

    // The history shows the uploads as they were executed, and after a reload from the database.
    QStringList uploaded;
    const auto collect = [&uploaded, &tab] {
        uploaded.clear();
        QStandardItemModel* model = tab.historyView()->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->index(r, SyncHistoryView::ColAction).data().toString() == QLatin1String("upload"))
                uploaded << model->index(r, SyncHistoryView::ColPath).data(SyncHistoryView::LocalPathRole).toString();
        }
        uploaded.sort();
    };
    collect();
    QCOMPARE(uploaded, (QStringList{local + "/hello.txt", local + "/notes/todo.txt"}));
    tab.historyView()->updateModel();
    collect();
    QCOMPARE(uploaded, (QStringList{local + "/hello.txt", local + "/notes/todo.txt"}));
    // The folder row is idle again and names the end of the run.
    auto* status = list->indexWidget(list->model()->index(0, 0))->findChild<QLabel*>("lastSyncDate");
    QVERIFY(!status->font().bold());
    QVERIFY(status->text() != QLatin1String("-"));
    svc.stop();
}

QTEST_MAIN(TestFileSafeE2e)
#include "tst_filesafe_e2e.moc"
