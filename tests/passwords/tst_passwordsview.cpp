#include "db/SettingsStorage.h"
#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/LockedOverlay.h"
#include "passwords/PasswordsView.h"
#include "passwords/SuggestPasswordDialog.h"
#include "tests/passwords/ModalAnswer.h"
#include "tests/passwords/ServiceFixture.h"
#include "tests/support/LogCapture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTableView>
#include <QtTest>

using EntryPtr = QSharedPointer<PasswordViewModel>;

// The password page and its dialogs against the development service with the real controller:
// loading and quota, the search modes, the dialog modes, the lock, and the cases where replies,
// rows and restored entries must not get mixed up.
class TestPasswordsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_fx.start("tst_passwordsview"), qPrintable(m_fx.svc.errorString()));
        QVERIFY(R7Application::instance()->storeLocalPasswordHash(DevService::demoPassword()));
    }
    void init()
    {
        QVERIFY(m_fx.signIn());
        m_settings = new QSettings(m_fx.env->configHome() + "/state.ini", QSettings::IniFormat);
        m_storage = new SettingsStorage(m_settings, nullptr);
    }
    void cleanup()
    {
        cancelModalAnswers();
        for (const QPointer<PasswordsView> &page : qAsConst(m_pages))
            delete page.data();
        m_pages.clear();
        delete m_storage;
        delete m_settings;
        m_fx.signOut();
    }
    void cleanupTestCase() { m_fx.stop(); }

    void loadAndQuota_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("usage");
        QTest::addColumn<bool>("link");
        QTest::newRow("limited") << 100 << 0 << "Used 4 passwords of 100 available" << true;
        QTest::newRow("one used") << 50 << 3 << "Used 1 password of 50 available" << true;
        QTest::newRow("10000 and above is no limit") << 10000 << 1 << "Number of passwords: 3" << false;
    }
    void loadAndQuota()
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
        QVERIFY(!page->findChild<QPushButton *>("refreshButton")->isEnabled());
        QTRY_COMPARE(page->findChild<QLabel *>("passwordRestrictionsLabel")->text(), usage);
        QCOMPARE(titles(page), all.mid(removed));
        QCOMPARE(page->findChild<QLabel *>("upgradeLinkLabel")->isVisible(), link);
        QVERIFY(page->findChild<QPushButton *>("refreshButton")->isEnabled());
        for (int row = 0; row < all.size() - removed; ++row) // the mask only
            QCOMPARE(table(page)->model()->index(row, 2).data().toString(), QString("******"));
    }

    void addOnlyWithinQuota()
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
        onNextModal<CreateViewEditPasswordDialog>([&title](CreateViewEditPasswordDialog *dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        });
        page->addNewPassword();
        QCOMPARE(title, QString("Add password"));
    }

    void searchModes_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("all fields, address and user") << 0 << "example" << QStringList{"Bank", "Mail", "Shop"};
        QTest::newRow("all fields, never the mask") << 0 << "**" << QStringList{"Bank", "Mail", "Shop", "Wi-Fi at home"};
        QTest::newRow("title") << 1 << "a" << QStringList{"Bank", "Mail", "Wi-Fi at home"};
        QTest::newRow("web address") << 2 << "example.com" << QStringList{"Bank"};
    }
    void searchModes()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
        auto *edit = page->findChild<QLineEdit *>("searchEdit");
        box->setCurrentIndex(field == 0 ? 1 : 0);
        edit->setText("leftover");
        box->setCurrentIndex(field);
        QVERIFY(edit->text().isEmpty());
        edit->setText(text);
        QCOMPARE(titles(page), shown);
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        QVERIFY(table(page)->styleSheet().contains("gold"));
        edit->clear();
        QCOMPARE(titles(page).size(), 4);
        QVERIFY(table(page)->styleSheet().isEmpty());
    }

    void searchByPassword()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        auto *edit = page->findChild<QLineEdit *>("searchEdit");
        auto *indicator = page->findChild<QLabel *>("searchFeedbackIndicatorLabel");
        page->findChild<QComboBox *>("searchFieldsComboBox")->setCurrentIndex(3);
        m_fx.svc.requests(true);
        LogCapture log;
        for (const char *typed : {"c", "co", "cor", "corr", "correct horse battery staple"})
            edit->setText(typed);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QVERIFY(!indicator->isHidden());
        QTRY_COMPARE(titles(page), (QStringList{"Mail", "Shop"}));
        QVERIFY(indicator->isHidden());
        QCOMPARE(m_fx.requestsTo("breached", "POST"), 1); // one for the pause, not one per keystroke

        edit->setText("no entry has this one");
        QTRY_COMPARE(titles(page), QStringList{});
        QCOMPARE(m_fx.requestsTo("breached", "POST"), 2);
        edit->clear();
        QCOMPARE(titles(page).size(), 4);
        QVERIFY(!log.contains("correct horse") && !log.contains("no entry has this one"));
    }

    void fieldChangeCancelsPasswordSearch()
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
    void supersededReplyDropped()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        const QString wifi = m_fx.idOf("Wi-Fi at home");
        QVERIFY(m_fx.svc.fault({{"path", "passwords/" + wifi + "$"}, {"method", "GET"}, {"delay_ms", 700}}) >= 0);
        QStringList opened;
        std::function<void(CreateViewEditPasswordDialog *)> record = [&](CreateViewEditPasswordDialog *dialog) {
            opened << dialog->windowTitle() + "|" + text(dialog, "titleEdit") + "|" + text(dialog, "pwdEdit");
            dialog->reject();
        };
        onNextModal<CreateViewEditPasswordDialog>(record);
        page->on_doubleClickRow(proxyIndexOf(page, "Bank"));
        page->on_titleEditButtonClicked(QPoint(), wifi);
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.first(), QString::fromUtf8("Edit password|Wi-Fi at home|Küchentisch-42"));
        onNextModal<CreateViewEditPasswordDialog>(record, 1500);
        QTest::qWait(1000);
        QCOMPARE(opened.size(), 1);
    }

    // Saving an entry opened with an empty password would overwrite the stored one.
    void undecryptableSecretOpensNothing()
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
    void editFindsRowById()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        const QString shop = m_fx.idOf("Shop");
        bool saved = false;
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            auto first = EntryPtr::create("Aardvark", "x", "", "", "", 2);
            QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_fx.controller->createPassword(first, cb); }).isOk());
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
    void twoDeletionsInFlight()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        m_fx.svc.requests(true);
        table(page)->selectRow(proxyIndexOf(page, "Shop").row());
        answerNextBox(QMessageBox::No);
        page->deleteSelectedPassword();
        QCOMPARE(m_fx.requestsTo("passwords/", "DELETE"), 0);

        QVERIFY(m_fx.svc.fault({{"path", "passwords/" + m_fx.idOf("Bank") + "$"}, {"method", "DELETE"}, {"delay_ms", 600}}) >=
                0);
        table(page)->selectRow(proxyIndexOf(page, "Bank").row());
        QString question;
        answerNextBox(QMessageBox::Yes, nullptr, &question);
        page->deleteSelectedPassword();
        QCOMPARE(question, QString("Are you sure you want to delete password Bank ?"));
        table(page)->selectRow(proxyIndexOf(page, "Mail").row());
        answerNextBox(QMessageBox::Yes);
        page->deleteSelectedPassword();
        QTRY_COMPARE(page->passwordCount(), 2);
        QTest::qWait(100);
        QCOMPARE(titles(page), (QStringList{"Shop", "Wi-Fi at home"}));
        QCOMPARE(m_fx.stored().size(), 2);
    }

    // An entry open at sign-out comes back on the next page, with what was typed, but never before
    // that page is built and unlocked.
    void restoredEntryWaitsForUnlock()
    {
        PasswordsView *first = makePage();
        QTRY_COMPARE(first->passwordCount(), 4);
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            dialog->findChild<QLineEdit *>("titleEdit")->setText("Draft");
            dialog->findChild<QLineEdit *>("userEdit")->setText("typed user");
            dialog->findChild<QLineEdit *>("pwdEdit")->setText("draft secret");
            emit R7Application::instance()->appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        });
        first->addNewPassword();
        delete first;
        m_fx.controller->setLocked(true);

        QStringList opened;
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            opened << text(dialog, "titleEdit") + "|" + text(dialog, "userEdit") + "|" + text(dialog, "pwdEdit");
            dialog->reject();
        });
        PasswordsView *second = makePage();
        QVERIFY(second->isPageLocked());
        QTest::qWait(300);
        for (QAction *action : second->actions()) // shortcuts act on nothing behind the overlay
            action->trigger();
        QTest::qWait(100);
        QVERIFY(opened.isEmpty() && second->isPageLocked());
        second->unlock();
        QTRY_COMPARE(opened, QStringList{"Draft|typed user|draft secret"});
    }

    // The overlay covers the page as it grows and above later children; a wrong password shakes
    // it and the Return typed during the shake is not heard; the right one unlocks.
    void lockAndUnlock()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        page->findChild<QPushButton *>("lockButton")->click();
        QVERIFY(page->isPageLocked() && m_fx.controller->isLocked());
        QVERIFY(!page->findChild<QFrame *>("contentFrame")->isEnabled());
        page->lockAnimated(); // no second overlay over the first
        QCOMPARE(page->findChildren<LockedOverlay *>().size(), 1);
        auto *overlay = page->findChild<LockedOverlay *>();
        page->resize(900, 600);
        QCOMPARE(overlay->size(), QSize(900, 600));
        (new QPushButton("late", page))->show();
        QCOMPARE(page->childAt(QPoint(10, 10)), overlay);

        auto *input = overlay->findChild<QLineEdit *>();
        const QRect home = input->geometry();
        QTest::keyClicks(input, "wrong");
        QTest::keyClick(input, Qt::Key_Return);
        QVERIFY(overlay->findChild<QPropertyAnimation *>("shakeAnimation"));
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(input, DevService::demoPassword());
        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY(!overlay->findChild<QPropertyAnimation *>("shakeAnimation"));
        QCOMPARE(input->geometry(), home);
        QVERIFY(page->isPageLocked());

        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY(!page->isPageLocked());
        QVERIFY(!m_fx.controller->isLocked() && page->findChild<QFrame *>("contentFrame")->isEnabled());
        QTRY_COMPARE(page->findChildren<LockedOverlay *>().size(), 0);
    }

    void dialogModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("title");
        QTest::newRow("view") << 0 << "Password Entry";
        QTest::newRow("edit") << 1 << "Edit password";
        QTest::newRow("add") << 2 << "Add password";
    }
    void dialogModes()
    {
        QFETCH(int, mode);
        QFETCH(QString, title);
        auto entry = EntryPtr::create("Bank", "S3cure!Bank#2026", "https://bank.example.com", "DE-4711", "note", mode);
        CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), title);
        const QStringList editOnly{"saveButton", "suggestBtn"};
        for (const QString &name : editOnly + QStringList{"editButton", "userCopyBtn", "pwdCopyBtn", "urlOpenBtn"})
            QVERIFY2(dialog.findChild<QWidget *>(name)->isVisible() == (editOnly.contains(name) == (mode != 0)),
                     qPrintable(name));
        for (const char *name : {"titleEdit", "userEdit", "pwdEdit", "urlEdit"})
            QCOMPARE(dialog.findChild<QLineEdit *>(name)->isReadOnly(), mode == 0);
        QCOMPARE(dialog.findChild<QPlainTextEdit *>("commentEdit")->isReadOnly(), mode == 0);
        QCOMPARE(dialog.findChild<QLineEdit *>("pwdEdit")->echoMode(), QLineEdit::Password);
        if (mode == 0) { // Edit turns the view into the editor without touching the fields.
            dialog.findChild<QPushButton *>("editButton")->click();
            QCOMPARE(dialog.windowTitle(), QString("Edit password"));
            QCOMPARE(entry->mode(), 1);
            QVERIFY(!dialog.findChild<QLineEdit *>("titleEdit")->isReadOnly());
            QCOMPARE(dialog.findChild<QLineEdit *>("titleEdit")->selectedText(), QString("Bank"));
        }
    }

    void blankTitleRejectedThenSaved()
    {
        auto entry = EntryPtr::create("", "", "", "", "", 2);
        CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
        QVERIFY(dialog.findChild<QWidget *>("pwdStrengthIndicator")->isHidden());
        auto *titleEdit = dialog.findChild<QLineEdit *>("titleEdit");
        titleEdit->setText("   ");
        dialog.findChild<QLineEdit *>("pwdEdit")->setText("fresh secret");
        QVERIFY(!dialog.findChild<QWidget *>("pwdStrengthIndicator")->isHidden());
        m_fx.svc.requests(true);
        QString boxTitle;
        answerNextBox(QMessageBox::Ok, &boxTitle);
        dialog.findChild<QPushButton *>("saveButton")->click();
        QCOMPARE(boxTitle, QString("Invalid Data"));
        QVERIFY(titleEdit->styleSheet().contains("red"));
        QCOMPARE(m_fx.requestsTo("passwords", "POST"), 0);

        titleEdit->setText("Forum");
        dialog.findChild<QPushButton *>("saveButton")->click();
        QTRY_COMPARE(dialog.result(), 1);
        QVERIFY(titleEdit->styleSheet().isEmpty());
        QVERIFY(!entry->id().isEmpty());
        QCOMPARE(m_fx.idOf("Forum"), entry->id());
        QCOMPARE(m_fx.entry("Forum").value("password").toString(), QString("fresh secret"));
    }

    // A second click while the creation travels must not create the entry twice.
    void saveDisabledWhilePending()
    {
        QVERIFY(m_fx.svc.fault({{"path", "passwords$"}, {"method", "POST"}, {"delay_ms", 600}}) >= 0);
        CreateViewEditPasswordDialog dialog(m_fx.controller, EntryPtr::create("", "", "", "", "", 2));
        dialog.show();
        dialog.findChild<QLineEdit *>("titleEdit")->setText("Twice?");
        auto *save = dialog.findChild<QPushButton *>("saveButton");
        save->click();
        QVERIFY(!save->isEnabled());
        QVERIFY(!dialog.findChild<QProgressBar *>("savingProgressBar")->isHidden());
        save->click();
        QTest::mouseClick(save, Qt::LeftButton);
        QTRY_COMPARE(dialog.result(), 1);
        QTest::qWait(200);
        int copies = 0;
        for (const QJsonValue &v : m_fx.stored())
            copies += v.toObject().value("title").toString() == "Twice?";
        QCOMPARE(copies, 1);
    }

    void failedUpdateKeepsDialogOpen()
    {
        QVERIFY(m_fx.svc.fault({{"path", "passwords/"}, {"method", "PUT"}, {"envelope_status", 10904}}) >= 0);
        auto entry = EntryPtr::create("Gone", "typed-secret-7", "", "", "", 1);
        entry->setId("999999");
        CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
        LogCapture log;
        auto *save = dialog.findChild<QPushButton *>("saveButton");
        save->click();
        auto *error = dialog.findChild<QLabel *>("errorLabel");
        QTRY_VERIFY(!error->isHidden());
        QCOMPARE(error->text(), QString("Unable to edit password"));
        QVERIFY(dialog.findChild<QProgressBar *>("savingProgressBar")->isHidden());
        QVERIFY(save->isEnabled());
        QCOMPARE(dialog.result(), 0);
        QVERIFY(log.contains("Unable to edit password") && !log.contains("typed-secret-7"));
    }

    void destructionBlanksPassword()
    {
        QString last = "unchanged";
        const auto watch = [&last](QLineEdit *edit) {
            connect(edit, &QLineEdit::textChanged, [&last](const QString &t) { last = t; });
            return edit->text().size();
        };
        {
            CreateViewEditPasswordDialog dialog(m_fx.controller, EntryPtr::create("T", "s3cret", "", "", "", 0));
            watch(dialog.findChild<QLineEdit *>("pwdEdit"));
        }
        QCOMPARE(last, QString(6, ' '));
        int shown = 0;
        {
            SuggestPasswordDialog dialog;
            shown = watch(dialog.findChild<QLineEdit *>("pwdLineEdit"));
        }
        QCOMPARE(last, QString(shown, ' '));
    }

    // Every change of the settings draws a new suggestion of the chosen kind and length; the
    // characters each setting allows are checked with the generators.
    void suggestionRegeneratesOnEveryChange()
    {
        SuggestPasswordDialog dialog;
        dialog.show();
        auto *value = dialog.findChild<QLineEdit *>("pwdLineEdit");
        auto *settings = dialog.findChild<QWidget *>("settingsContainerWidget");
        auto *type = dialog.findChild<QComboBox *>("typeComboBox");
        QCOMPARE(type->currentText(), QString("Memorizable Password"));
        QVERIFY(settings->isHidden() && value->isReadOnly());
        QString previous = value->text();
        const auto expectNew = [&](const char *what, const QString &pattern, int length) {
            QVERIFY2(value->text() != previous && dialog.password() == value->text(), what);
            QVERIFY2(QRegularExpression(QString("^%1{%2}$").arg(pattern).arg(length)).match(value->text()).hasMatch(),
                     qPrintable(QString("%1: %2").arg(what, value->text())));
            previous = value->text();
        };
        type->setCurrentIndex(1);
        QVERIFY(!settings->isHidden());
        expectNew("random kind", "[a-zA-Z]", 12);
        dialog.findChild<QCheckBox *>("numbersCheckBox")->setChecked(true);
        expectNew("numbers", "[a-zA-Z0-9]", 12);
        dialog.findChild<QCheckBox *>("lowercaseCheckBox")->setChecked(true);
        expectNew("lower case", "[a-z0-9]", 12);
        dialog.findChild<QCheckBox *>("specialCharsCheckBox")->setChecked(true);
        expectNew("special", "[^A-Z\\s]", 12);
        dialog.findChild<QSlider *>("pwdLengthSlider")->setValue(40);
        QCOMPARE(dialog.findChild<QLabel *>("pwdLengthLabel")->text(), QString("32"));
        expectNew("slider", "[^A-Z\\s]", 32);
        dialog.findChild<QPushButton *>("refreshBtn")->click();
        expectNew("refresh", "[^A-Z\\s]", 32);
        type->setCurrentIndex(0);
        QVERIFY(settings->isHidden());
        expectNew("back to memorizable", "[a-z0-9]", 12);
    }

private:
    PasswordsView *makePage()
    {
        auto *page = new PasswordsView(m_fx.controller, m_storage, nullptr);
        m_pages << page;
        page->resize(821, 487);
        page->show();
        return page;
    }
    static QTableView *table(PasswordsView *page) { return page->findChild<QTableView *>("passwordsTableView"); }
    static QString text(QWidget *dialog, const char *edit) { return dialog->findChild<QLineEdit *>(edit)->text(); }
    static QStringList titles(PasswordsView *page)
    {
        QStringList out;
        for (int row = 0; row < table(page)->model()->rowCount(); ++row)
            out << table(page)->model()->index(row, 0).data().toString();
        return out;
    }
    static QModelIndex proxyIndexOf(PasswordsView *page, const QString &title)
    {
        return table(page)->model()->index(titles(page).indexOf(title), 0);
    }
    ServiceFixture m_fx;
    QSettings *m_settings = nullptr;
    SettingsStorage *m_storage = nullptr;
    QList<QPointer<PasswordsView>> m_pages;
};

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
