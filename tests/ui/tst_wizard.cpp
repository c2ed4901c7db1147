// The first-run wizard (pages, buttons, keys, the selection guard, Finish with its settings and
// start-at-login entry) and the new-file-safe dialog, on a real database under a private home.
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "db/User.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/WizardView.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui/filesafe/LocalFolderView.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

class TestWizard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pagesAndButtons();
    void selectionGuard();
    void finish_data();
    void finish();
    void newFileSafeDialog_data();
    void newFileSafeDialog();

private:
    QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(QLatin1String(name)); }
    int page(WizardView& w) { return w.findChild<QStackedWidget*>("wizViewStack")->currentIndex(); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<FileSafeDao> m_dao;
};

void TestWizard::init()
{
    m_env.reset(new TestEnv);
    QDir::setCurrent(m_env->home());
    m_db.reset(new TestDatabase);
    m_db->open();
    QVERIFY(m_db->rawExec({
            "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0)",
            "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, root_folder_id) VALUES "
            "(1, 1, 'S1', 'Team', 'TEAMSAFE', 'rcud', 'r1'), (2, 1, 'S2', 'Mine', 'PRIVATE', 'rcud', 'r2')",
    }));
    m_db->closeRaw();
    R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
    R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    m_dao.reset(new FileSafeDao(&m_db->appInfo(), nullptr));
}

void TestWizard::cleanup()
{
    m_dao.reset();
    R7Session::instance()->setUser(User());
    m_db.reset();
    m_env.reset();
}

void TestWizard::pagesAndButtons()
{
    WizardView wizard(m_dao.get(), &m_db->appInfo());
    auto* pageNum = wizard.findChild<QLabel*>("pageNumLabel");
    QCOMPARE(page(wizard), 0);
    QCOMPARE(pageNum->text(), QStringLiteral("1 of 5"));
    QVERIFY(button(&wizard, "backButton")->isHidden());
    QVERIFY(button(&wizard, "finishButton")->isHidden());
    QTest::keyClick(&wizard, Qt::Key_Left);
    QCOMPARE(page(wizard), 0);
    for (int i = 0; i < 4; ++i)
        button(&wizard, "nextButton")->click();
    QCOMPARE(page(wizard), 4);
    QCOMPARE(pageNum->text(), QStringLiteral("5 of 5"));
    QVERIFY(button(&wizard, "nextButton")->isHidden());
    QVERIFY(!button(&wizard, "finishButton")->isHidden());
    QVERIFY(button(&wizard, "finishButton")->isDefault());
    QTest::keyClick(&wizard, Qt::Key_Right);
    QCOMPARE(page(wizard), 4);
    QTest::keyClick(&wizard, Qt::Key_Left);
    QCOMPARE(page(wizard), 3);
    QCOMPARE(wizard.defaultPath(), m_env->home() + "/" + QString::fromUtf8(m_db->appInfo().productName) + "/");
}

void TestWizard::selectionGuard()
{
    WizardView wizard(m_dao.get(), &m_db->appInfo());
    wizard.reloadFileSafes();
    AdvancedStorageLocationView* storage = wizard.storageView();
    QCOMPARE(storage->rowCount(), 2);
    button(&wizard, "nextButton")->click();
    storage->rowCheckBox(0)->click();
    storage->rowCheckBox(1)->click();
    QVERIFY(!button(&wizard, "nextButton")->isEnabled());
    // The Right key goes on regardless.
    QTest::keyClick(&wizard, Qt::Key_Right);
    QCOMPARE(page(wizard), 2);
    QTest::keyClick(&wizard, Qt::Key_Left);
    storage->rowCheckBox(1)->click();
    QVERIFY(button(&wizard, "nextButton")->isEnabled());
    storage->rowCheckBox(1)->click();
    QVERIFY(!button(&wizard, "nextButton")->isEnabled());
    button(&wizard, "backButton")->click();
    QCOMPARE(page(wizard), 0);
    QVERIFY(button(&wizard, "nextButton")->isEnabled());
}

void TestWizard::finish_data()
{
    QTest::addColumn<bool>("autoSync");
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<bool>("withSafes");
    QTest::newRow("automatic, start at login") << true << true << true;
    QTest::newRow("manual, no start") << false << false << true;
    QTest::newRow("no safes at all") << true << true << false;
}

void TestWizard::finish()
{
    QFETCH(bool, autoSync);
    QFETCH(bool, autoStart);
    QFETCH(bool, withSafes);
    if (!withSafes) {
        QVERIFY(m_db->rawExec({"DELETE FROM file_safe"}));
        m_db->closeRaw();
    }
    auto* wizard = new WizardView(m_dao.get(), &m_db->appInfo());
    wizard->reloadFileSafes();
    QSignalSpy finished(wizard, &WizardView::wizardFinished);
    // The main window destroys the wizard on this signal.
    connect(wizard, &WizardView::wizardFinished, wizard, [wizard] { delete wizard; });
    for (int i = 0; i < 4; ++i)
        button(wizard, "nextButton")->click();
    wizard->findChild<QCheckBox*>("autoSyncCheckBox")->setChecked(autoSync);
    wizard->findChild<QCheckBox*>("autoStartCheckBox")->setChecked(autoStart);
    QPointer<WizardView> guard(wizard);
    button(wizard, "finishButton")->click();
    QCOMPARE(finished.count(), 1);
    QVERIFY(guard.isNull());
    const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(settings.size(), withSafes ? 2 : 0);
    for (const SyncSetting& s : settings) {
        QCOMPARE(s.mode(), autoSync ? 0 : 1);
        QVERIFY(QDir(s.localDir()).exists());
        QVERIFY(s.localDir().startsWith(m_env->home() + "/"));
    }
    // The XDG autostart entry under the test's own configuration folder.
    const QDir autostart(m_env->configHome() + "/autostart");
    QCOMPARE(!autostart.entryList(QStringList{"*.desktop"}, QDir::Files).isEmpty(), autoStart);
}

void TestWizard::newFileSafeDialog_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("save") << true;
    QTest::newRow("close") << false;
}

void TestWizard::newFileSafeDialog()
{
    QFETCH(bool, save);
    NewFileSafeAvailableDialog dialog(&m_db->appInfo());
    dialog.setFileSafes(m_dao->list());
    dialog.show();
    AdvancedStorageLocationView* storage = dialog.storageView();
    QCOMPARE(storage->rowCount(), 2);
    const QString product = QString::fromUtf8(m_db->appInfo().productName);
    // The base folder is the product name, relative to the home folder the client works in.
    QCOMPARE(storage->defaultFolder(), product);
    QVERIFY(storage->rowFolder(0)->path().startsWith(m_env->home() + "/" + product + "/"));
    QVERIFY(storage->findChild<QWidget*>("switchDefaultFolderButton")->isHidden());
    button(&dialog, save ? "saveButton" : "closeButton")->click();
    QVERIFY(!dialog.isVisible());
    const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
    QCOMPARE(settings.size(), save ? 2 : 0);
    for (const SyncSetting& s : settings) {
        QCOMPARE(s.mode(), 0);
        QVERIFY(s.localDir().startsWith(m_env->home() + "/" + product + "/"));
        QVERIFY(QDir(s.localDir()).exists());
    }
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
