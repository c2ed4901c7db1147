#include "db/SettingsStorage.h"
#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/LockedOverlay.h"
#include "passwords/PasswordsView.h"
#include "tests/passwords/ModalAnswer.h"
#include "tests/passwords/ServiceFixture.h"
#include "tests/support/LogCapture.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QtTest>

// The password page against the development service with the real controller: loading and quota,
// the search modes, and the cases where replies, rows and restored entries must not get mixed up.
class TestPasswordsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void loadAndQuota_data();
    void loadAndQuota();
    void addOnlyWithinQuota();
    void searchModes_data();
    void searchModes();
    void searchByPassword();
    void fieldChangeCancelsPasswordSearch();
    void supersededReplyDropped();
    void undecryptableSecretOpensNothing();
    void editFindsRowById();
    void twoDeletionsInFlight();
    void restoredEntryWaitsForUnlock();
    void lockAndUnlock();

private:
    PasswordsView *makePage();
    QStringList titles(PasswordsView *page) const;
    QModelIndex proxyIndexOf(PasswordsView *page, const QString &title) const;
    ServiceFixture m_fx;
    QSettings *m_settings = nullptr;
    SettingsStorage *m_storage = nullptr;
    QList<QPointer<PasswordsView>> m_pages;
};

void TestPasswordsView::initTestCase()
{
    QVERIFY2(m_fx.start("tst_passwordsview"), qPrintable(m_fx.svc.errorString()));
    QVERIFY(R7Application::instance()->storeLocalPasswordHash(DevService::demoPassword()));
}

void TestPasswordsView::init()
{
    QVERIFY(m_fx.signIn());
    m_settings = new QSettings(m_fx.env->configHome() + "/state.ini", QSettings::IniFormat);
    m_storage = new SettingsStorage(m_settings, nullptr);
}

void TestPasswordsView::cleanup()
{
    cancelModalAnswers();
    for (const QPointer<PasswordsView> &page : qAsConst(m_pages)) {
        delete page.data();
    }
    m_pages.clear();
    delete m_storage;
    delete m_settings;
    m_fx.signOut();
}

void TestPasswordsView::cleanupTestCase()
{
    m_fx.stop();
}

PasswordsView *TestPasswordsView::makePage()
{
    auto *page = new PasswordsView(m_fx.controller, m_storage, nullptr);
    m_pages << page;
    page->resize(821, 487);
    page->show();
    return page;
}

QStringList TestPasswordsView::titles(PasswordsView *page) const
{
    const QAbstractItemModel *model = page->findChild<QTableView *>("passwordsTableView")->model();
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row) {
        out << model->index(row, 0).data().toString();
    }
    return out;
}

QModelIndex TestPasswordsView::proxyIndexOf(PasswordsView *page, const QString &title) const
{
    const QAbstractItemModel *model = page->findChild<QTableView *>("passwordsTableView")->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == title) {
            return model->index(row, 0);
        }
    }
    return {};
}

void TestPasswordsView::loadAndQuota_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("usage");
    QTest::addColumn<bool>("link");
    QTest::newRow("limited") << 100 << 0 << "Used 4 passwords of 100 available" << true;
    QTest::newRow("one used") << 50 << 3 << "Used 1 password of 50 available" << true;
    QTest::newRow("none used") << 50 << 4 << "Used 0 passwords of 50 available" << true;
    QTest::newRow("10000 is no limit") << 10000 << 0 << "Number of passwords: 4" << false;
    QTest::newRow("above") << 25000 << 1 << "Number of passwords: 3" << false;
}

void TestPasswordsView::loadAndQuota()
{
    QFETCH(int, maximum);
    QFETCH(int, removed);
    QFETCH(QString, usage);
    QFETCH(bool, link);
    QVERIFY(m_fx.svc.control("user", {{"name", "demo"}, {"passwords_max", maximum}}).value("ok").toBool());
    const QStringList all{"Bank", "Mail", "Shop", "Wi-Fi at home"};
    for (int i = 0; i < removed; ++i) {
        const QString id = m_fx.idOf(all[i]);
        QVERIFY(awaitResult<Nothing>([&](auto cb) { m_fx.ri->deletePassword(id, cb); }).isOk());
    }

    PasswordsView *page = makePage();
    auto *usageLabel = page->findChild<QLabel *>("passwordRestrictionsLabel");
    auto *lastSync = page->findChild<QLabel *>("lastSyncLabel");
    QCOMPARE(usageLabel->text(), QString("[passwords usage]"));
    QCOMPARE(lastSync->text(), QString("n.a."));
    QVERIFY(!page->findChild<QLabel *>("loadingProgressBarLabel")->isHidden());
    QVERIFY(!page->findChild<QPushButton *>("refreshButton")->isEnabled());

    QTRY_COMPARE(usageLabel->text(), usage);
    QCOMPARE(titles(page), all.mid(removed));
    QCOMPARE(page->findChild<QLabel *>("upgradeLinkLabel")->isVisible(), link);
    QVERIFY(lastSync->text() != "n.a.");
    QVERIFY(page->findChild<QLabel *>("loadingProgressBarLabel")->isHidden());
    QVERIFY(page->findChild<QPushButton *>("refreshButton")->isEnabled());
    // The password column shows the mask only.
    const QAbstractItemModel *model = page->findChild<QTableView *>("passwordsTableView")->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QCOMPARE(model->index(row, 2).data().toString(), QString("******"));
    }
}

void TestPasswordsView::addOnlyWithinQuota()
{
    QVERIFY(m_fx.svc.control("user", {{"name", "demo"}, {"passwords_max", 4}}).value("ok").toBool());
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);

    QString title;
    answerNextBox(QMessageBox::Ok, &title);
    page->addNewPassword();
    QCOMPARE(title, QString("Password quota exceeded"));

    QVERIFY(m_fx.svc.control("user", {{"name", "demo"}, {"passwords_max", 5}}).value("ok").toBool());
    page->requestPasswords();
    QTRY_COMPARE(page->passwordsMax(), 5);
    QString dialogTitle;
    onNextModal<CreateViewEditPasswordDialog>([&dialogTitle](CreateViewEditPasswordDialog *dialog) {
        dialogTitle = dialog->windowTitle();
        dialog->findChild<QPushButton *>("closeButton")->click();
    });
    page->addNewPassword();
    QCOMPARE(dialogTitle, QString("Add password"));
}

void TestPasswordsView::searchModes_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("all fields, address and user") << 0 << "example" << QStringList{"Bank", "Mail", "Shop"};
    QTest::newRow("all fields, comment") << 0 << "HALL" << QStringList{"Wi-Fi at home"};
    QTest::newRow("all fields, user name") << 0 << "de-47" << QStringList{"Bank"};
    QTest::newRow("all fields, never the mask") << 0 << "**" << QStringList{"Bank", "Mail", "Shop", "Wi-Fi at home"};
    QTest::newRow("title") << 1 << "a" << QStringList{"Bank", "Mail", "Wi-Fi at home"};
    QTest::newRow("title, not the user") << 1 << "demo" << QStringList{};
    QTest::newRow("web address") << 2 << "example.com" << QStringList{"Bank"};
    QTest::newRow("web address, not the title") << 2 << "wi-fi" << QStringList{};
}

void TestPasswordsView::searchModes()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
    auto *edit = page->findChild<QLineEdit *>("searchEdit");
    auto *table = page->findChild<QTableView *>("passwordsTableView");

    box->setCurrentIndex(field == 0 ? 1 : 0);
    edit->setText("leftover");
    box->setCurrentIndex(field);
    QVERIFY(edit->text().isEmpty());
    edit->setText(text);
    QCOMPARE(titles(page), shown);
    QCOMPARE(edit->echoMode(), QLineEdit::Normal);
    QVERIFY(table->styleSheet().contains("gold"));
    edit->clear();
    QCOMPARE(titles(page).size(), 4);
    QVERIFY(table->styleSheet().isEmpty());
}

void TestPasswordsView::searchByPassword()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    auto *edit = page->findChild<QLineEdit *>("searchEdit");
    auto *indicator = page->findChild<QLabel *>("searchFeedbackIndicatorLabel");
    page->findChild<QComboBox *>("searchFieldsComboBox")->setCurrentIndex(3);
    m_fx.svc.requests(true);
    LogCapture log;

    for (const char *typed : {"c", "co", "cor", "corr", "correct horse battery staple"}) {
        edit->setText(typed);
    }
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
    QVERIFY(!indicator->isHidden());
    QTRY_COMPARE(titles(page), (QStringList{"Mail", "Shop"}));
    QVERIFY(indicator->isHidden());
    // One request for the pause, not one per keystroke.
    QCOMPARE(m_fx.requestsTo("breached", "POST"), 1);

    edit->setText("no entry has this one");
    QTRY_COMPARE(titles(page), QStringList{});
    QCOMPARE(m_fx.requestsTo("breached", "POST"), 2);

    edit->clear();
    QCOMPARE(titles(page).size(), 4);
    QVERIFY(page->findChild<QTableView *>("passwordsTableView")->styleSheet().isEmpty());
    QVERIFY(!log.contains("correct horse"));
    QVERIFY(!log.contains("no entry has this one"));
}

void TestPasswordsView::fieldChangeCancelsPasswordSearch()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
    auto *edit = page->findChild<QLineEdit *>("searchEdit");
    m_fx.svc.requests(true);

    // Waiting for the pause: nothing is sent.
    box->setCurrentIndex(3);
    edit->setText("correct horse battery staple");
    box->setCurrentIndex(1);
    QTest::qWait(1300);
    QCOMPARE(m_fx.requestsTo("breached", "POST"), 0);

    // Already sent: its reply no longer replaces the filter of the new field.
    QVERIFY(m_fx.svc.fault({{"path", "breached$"}, {"delay_ms", 500}}) >= 0);
    box->setCurrentIndex(3);
    edit->setText("correct horse battery staple");
    QTRY_COMPARE(m_fx.requestsTo("breached", "POST"), 1);
    box->setCurrentIndex(0);
    QTest::qWait(800);
    QCOMPARE(titles(page).size(), 4);
    QVERIFY(page->findChild<QLabel *>("searchFeedbackIndicatorLabel")->isHidden());
}

// Opening a second entry before the first secret arrives: the first reply must not open the
// second entry with the first entry's password.
void TestPasswordsView::supersededReplyDropped()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    const QString wifi = m_fx.idOf("Wi-Fi at home");
    QVERIFY(m_fx.svc.fault({{"path", "passwords/" + wifi + "$"}, {"method", "GET"}, {"delay_ms", 700}}) >= 0);

    int opened = 0;
    QString title, secret, mode;
    std::function<void(CreateViewEditPasswordDialog *)> record = [&](CreateViewEditPasswordDialog *dialog) {
        ++opened;
        title = dialog->findChild<QLineEdit *>("titleEdit")->text();
        secret = dialog->findChild<QLineEdit *>("pwdEdit")->text();
        mode = dialog->windowTitle();
        dialog->findChild<QPushButton *>("closeButton")->click();
    };
    onNextModal<CreateViewEditPasswordDialog>(record);

    page->on_doubleClickRow(proxyIndexOf(page, "Bank"));
    page->on_titleEditButtonClicked(QPoint(), wifi);
    QTRY_COMPARE(opened, 1);
    QCOMPARE(title, QString("Wi-Fi at home"));
    QCOMPARE(secret, QString::fromUtf8("Küchentisch-42"));
    QCOMPARE(mode, QString("Edit password"));

    onNextModal<CreateViewEditPasswordDialog>(record, 1500);
    QTest::qWait(1000);
    QCOMPARE(opened, 1);
}

// Saving an entry opened with an empty password would overwrite the stored one.
void TestPasswordsView::undecryptableSecretOpensNothing()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    const QString bank = m_fx.idOf("Bank");
    const QString body = QString(R"({"status":0,"message":"","data":{"id":"%1","password":"00ff","transportIv":"%2"}})")
                                 .arg(bank, QString(32, '0'));
    QVERIFY(m_fx.svc.fault({{"path", "passwords/" + bank + "$"}, {"method", "GET"}, {"body", body}}) >= 0);
    bool opened = false;
    onNextModal<CreateViewEditPasswordDialog>([&opened](CreateViewEditPasswordDialog *dialog) {
        opened = true;
        dialog->reject();
    });
    QString title;
    answerNextBox(QMessageBox::Ok, &title);
    page->on_titleEditButtonClicked(QPoint(), bank);
    QTRY_COMPARE(title, QString("Error"));
    QTest::qWait(100);
    QVERIFY(!opened);
}

// A reload while the editor is open moves the rows; the edit must land on its own entry.
void TestPasswordsView::editFindsRowById()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    const QString shop = m_fx.idOf("Shop");
    bool saved = false;
    onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
        auto first = QSharedPointer<PasswordViewModel>::create("Aardvark", "x", "", "", "", 2);
        const auto created = awaitResult<EmptyPasswordTO>([&](auto cb) { m_fx.controller->createPassword(first, cb); });
        QVERIFY(created.isOk());
        page->requestPasswords();
        QVERIFY(QTest::qWaitFor([&] { return page->passwordCount() == 5; }));
        dialog->findChild<QLineEdit *>("titleEdit")->setText("Shop renamed");
        dialog->findChild<QPushButton *>("saveButton")->click();
        saved = true;
    });
    page->on_titleEditButtonClicked(QPoint(), shop);
    QTRY_VERIFY(saved);
    QTRY_COMPARE(titles(page), (QStringList{"Aardvark", "Bank", "Mail", "Shop renamed", "Wi-Fi at home"}));
    QCOMPARE(page->findIndexById(shop).data().toString(), QString("Shop renamed"));
    QCOMPARE(m_fx.idOf("Shop renamed"), shop);
}

// Two confirmed deletions in flight each remove their own row.
void TestPasswordsView::twoDeletionsInFlight()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    auto *table = page->findChild<QTableView *>("passwordsTableView");
    m_fx.svc.requests(true);

    table->selectRow(proxyIndexOf(page, "Shop").row());
    answerNextBox(QMessageBox::No);
    page->deleteSelectedPassword();
    QCOMPARE(m_fx.requestsTo("passwords/", "DELETE"), 0);

    QVERIFY(m_fx.svc.fault({{"path", "passwords/" + m_fx.idOf("Bank") + "$"}, {"method", "DELETE"}, {"delay_ms", 600}}) >= 0);
    table->selectRow(proxyIndexOf(page, "Bank").row());
    QString question;
    answerNextBox(QMessageBox::Yes, nullptr, &question);
    page->deleteSelectedPassword();
    QCOMPARE(question, QString("Are you sure you want to delete password Bank ?"));
    table->selectRow(proxyIndexOf(page, "Mail").row());
    answerNextBox(QMessageBox::Yes);
    page->deleteSelectedPassword();

    QTRY_COMPARE(page->passwordCount(), 2);
    QTest::qWait(100);
    QCOMPARE(titles(page), (QStringList{"Shop", "Wi-Fi at home"}));
    QCOMPARE(m_fx.stored().size(), 2);
}

// An entry open at sign-out comes back on the next page, but never before that page is built
// and unlocked.
void TestPasswordsView::restoredEntryWaitsForUnlock()
{
    PasswordsView *first = makePage();
    QTRY_COMPARE(first->passwordCount(), 4);
    onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
        dialog->findChild<QLineEdit *>("titleEdit")->setText("Draft");
        dialog->findChild<QLineEdit *>("pwdEdit")->setText("draft secret");
        emit R7Application::instance()->appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
    });
    first->addNewPassword();
    delete first;
    m_fx.controller->setLocked(true);

    int opened = 0;
    QString title, secret;
    onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
        ++opened;
        title = dialog->findChild<QLineEdit *>("titleEdit")->text();
        secret = dialog->findChild<QLineEdit *>("pwdEdit")->text();
        dialog->findChild<QPushButton *>("closeButton")->click();
    });
    PasswordsView *second = makePage();
    QVERIFY(second->isPageLocked());
    QTest::qWait(300);
    QCOMPARE(opened, 0);
    // Shortcuts act on nothing behind the overlay.
    for (QAction *action : second->actions()) {
        action->trigger();
    }
    QTest::qWait(100);
    QCOMPARE(opened, 0);
    QVERIFY(second->isPageLocked());

    second->unlock();
    QTRY_COMPARE(opened, 1);
    QCOMPARE(title, QString("Draft"));
    QCOMPARE(secret, QString("draft secret"));
}

void TestPasswordsView::lockAndUnlock()
{
    PasswordsView *page = makePage();
    QTRY_COMPARE(page->passwordCount(), 4);
    page->findChild<QPushButton *>("lockButton")->click();
    QVERIFY(page->isPageLocked());
    QVERIFY(m_fx.controller->isLocked());
    QVERIFY(!page->findChild<QFrame *>("contentFrame")->isEnabled());
    QCOMPARE(page->findChildren<LockedOverlay *>().size(), 1);
    // A second lock request puts no second overlay over the first.
    page->lockAnimated();
    QCOMPARE(page->findChildren<LockedOverlay *>().size(), 1);

    auto *input = page->findChildren<LockedOverlay *>().first()->findChild<QLineEdit *>();
    input->setText(DevService::demoPassword());
    QTest::keyClick(input, Qt::Key_Return);
    QTRY_VERIFY(!page->isPageLocked());
    QVERIFY(!m_fx.controller->isLocked());
    QVERIFY(page->findChild<QFrame *>("contentFrame")->isEnabled());
    QTRY_COMPARE(page->findChildren<LockedOverlay *>().size(), 0);
}

// The application object, as in the client: it checks the unlock password and announces sign-outs.
int main(int argc, char **argv)
{
    TestEnv env;
    AppInfo info = AppInfo::forThisBuild();
    R7Application app(argc, argv, &info);
    TestPasswordsView test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_passwordsview.moc"
