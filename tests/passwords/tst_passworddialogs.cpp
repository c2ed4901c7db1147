#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/SuggestPasswordDialog.h"
#include "tests/passwords/ModalAnswer.h"
#include "tests/passwords/ServiceFixture.h"
#include "tests/support/LogCapture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

using EntryPtr = QSharedPointer<PasswordViewModel>;

// The entry dialog in its three modes and the suggestion dialog, saving through the real
// controller against the development service.
class TestPasswordDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void modes_data();
    void modes();
    void blankTitleRejectedThenSaved();
    void saveDisabledWhilePending();
    void failedUpdateKeepsDialogOpen();
    void signOutCopiesFields();
    void destructionBlanksPassword();
    void suggestionRegeneratesOnEveryChange();

private:
    template<typename T>
    T *child(QWidget *parent, const char *name)
    {
        T *widget = parent->findChild<T *>(QString::fromLatin1(name));
        if (!widget) {
            qWarning("no widget %s", name);
        }
        return widget;
    }
    ServiceFixture m_fx;
};

void TestPasswordDialogs::initTestCase()
{
    QVERIFY2(m_fx.start("tst_passworddialogs"), qPrintable(m_fx.svc.errorString()));
}

void TestPasswordDialogs::init()
{
    QVERIFY(m_fx.signIn());
}

void TestPasswordDialogs::cleanup()
{
    cancelModalAnswers();
    m_fx.signOut();
}

void TestPasswordDialogs::cleanupTestCase()
{
    m_fx.stop();
}

void TestPasswordDialogs::modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<bool>("readOnly");
    const QStringList viewOnly{"editButton", "userCopyBtn", "pwdCopyBtn", "urlOpenBtn", "divider1", "divider4"};
    const QStringList editOnly{"saveButton", "suggestBtn"};
    const QStringList always{"showPwdCheckBox", "closeButton"};
    QTest::newRow("view") << 0 << "Password Entry" << viewOnly + always << editOnly << true;
    QTest::newRow("edit") << 1 << "Edit password" << editOnly + always << viewOnly << false;
    QTest::newRow("add") << 2 << "Add password" << editOnly + always << viewOnly << false;
}

void TestPasswordDialogs::modes()
{
    QFETCH(int, mode);
    QFETCH(QString, title);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    QFETCH(bool, readOnly);

    auto entry = EntryPtr::create("Bank", "S3cure!Bank#2026", "https://bank.example.com", "DE-4711", "note", mode);
    CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), title);
    for (const QString &name : shown) {
        QVERIFY2(!dialog.findChild<QWidget *>(name)->isHidden(), qPrintable(name));
    }
    for (const QString &name : hidden) {
        QVERIFY2(dialog.findChild<QWidget *>(name)->isHidden(), qPrintable(name));
    }
    for (const char *name : {"titleEdit", "userEdit", "pwdEdit", "urlEdit"}) {
        QCOMPARE(child<QLineEdit>(&dialog, name)->isReadOnly(), readOnly);
    }
    QCOMPARE(child<QPlainTextEdit>(&dialog, "commentEdit")->isReadOnly(), readOnly);
    QCOMPARE(child<QLineEdit>(&dialog, "pwdEdit")->echoMode(), QLineEdit::Password);
    QVERIFY(child<QLabel>(&dialog, "errorLabel")->isHidden());

    if (mode == 0) {
        // Edit turns the view into the editor without touching the fields.
        child<QPushButton>(&dialog, "editButton")->click();
        QCOMPARE(dialog.windowTitle(), QString("Edit password"));
        QCOMPARE(entry->mode(), 1);
        QVERIFY(!child<QLineEdit>(&dialog, "titleEdit")->isReadOnly());
        QVERIFY(child<QPushButton>(&dialog, "editButton")->isHidden());
        QCOMPARE(child<QLineEdit>(&dialog, "titleEdit")->selectedText(), QString("Bank"));
    }
}

void TestPasswordDialogs::blankTitleRejectedThenSaved()
{
    auto entry = EntryPtr::create("", "", "", "", "", 2);
    CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
    QVERIFY(child<QWidget>(&dialog, "pwdStrengthIndicator")->isHidden());
    auto *titleEdit = child<QLineEdit>(&dialog, "titleEdit");
    titleEdit->setText("   ");
    child<QLineEdit>(&dialog, "pwdEdit")->setText("fresh secret");
    QVERIFY(!child<QWidget>(&dialog, "pwdStrengthIndicator")->isHidden());
    m_fx.svc.requests(true);

    QString boxTitle;
    answerNextBox(QMessageBox::Ok, &boxTitle);
    child<QPushButton>(&dialog, "saveButton")->click();
    QCOMPARE(boxTitle, QString("Invalid Data"));
    QVERIFY(titleEdit->styleSheet().contains("red"));
    QCOMPARE(m_fx.requestsTo("passwords", "POST"), 0);

    titleEdit->setText("Forum");
    child<QPushButton>(&dialog, "saveButton")->click();
    QTRY_COMPARE(dialog.result(), 1);
    QVERIFY(titleEdit->styleSheet().isEmpty());
    QVERIFY(!entry->id().isEmpty());
    bool found = false;
    for (const QJsonValue &v : m_fx.stored()) {
        if (v.toObject().value("title").toString() == "Forum") {
            found = true;
            QCOMPARE(v.toObject().value("id").toVariant().toString(), entry->id());
            QCOMPARE(v.toObject().value("password").toString(), QString("fresh secret"));
        }
    }
    QVERIFY(found);
}

// A second click while the creation travels must not create the entry twice.
void TestPasswordDialogs::saveDisabledWhilePending()
{
    QVERIFY(m_fx.svc.fault({{"path", "passwords$"}, {"method", "POST"}, {"delay_ms", 600}}) >= 0);
    auto entry = EntryPtr::create("", "", "", "", "", 2);
    CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
    dialog.show();
    child<QLineEdit>(&dialog, "titleEdit")->setText("Twice?");
    auto *save = child<QPushButton>(&dialog, "saveButton");
    save->click();
    QVERIFY(!save->isEnabled());
    QVERIFY(!child<QProgressBar>(&dialog, "savingProgressBar")->isHidden());
    save->click();
    QTest::mouseClick(save, Qt::LeftButton);
    QTRY_COMPARE(dialog.result(), 1);
    QTest::qWait(200);
    int copies = 0;
    for (const QJsonValue &v : m_fx.stored()) {
        copies += v.toObject().value("title").toString() == "Twice?" ? 1 : 0;
    }
    QCOMPARE(copies, 1);
}

void TestPasswordDialogs::failedUpdateKeepsDialogOpen()
{
    QVERIFY(m_fx.svc.fault({{"path", "passwords/"}, {"method", "PUT"}, {"envelope_status", 10904}}) >= 0);
    auto entry = EntryPtr::create("Gone", "typed-secret-7", "", "", "", 1);
    entry->setId("999999");
    CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
    LogCapture log;
    auto *save = child<QPushButton>(&dialog, "saveButton");
    save->click();
    auto *error = child<QLabel>(&dialog, "errorLabel");
    QTRY_VERIFY(!error->isHidden());
    QCOMPARE(error->text(), QString("Unable to edit password"));
    QVERIFY(child<QProgressBar>(&dialog, "savingProgressBar")->isHidden());
    QVERIFY(save->isEnabled());
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(entry->id(), QString("999999"));
    QVERIFY(log.contains("Unable to edit password"));
    QVERIFY(!log.contains("typed-secret-7"));
}

void TestPasswordDialogs::signOutCopiesFields()
{
    auto entry = EntryPtr::create("Old", "", "", "", "", 2);
    CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
    child<QLineEdit>(&dialog, "titleEdit")->setText("Typed title");
    child<QLineEdit>(&dialog, "userEdit")->setText("typed user");
    child<QPlainTextEdit>(&dialog, "commentEdit")->setPlainText("typed comment");
    dialog.setResult(5);
    emit R7Application::instance()->appStateChanged(R7Application::APP_STATE_LOGGED_IN);
    QCOMPARE(entry->title(), QString("Old"));
    emit R7Application::instance()->appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(entry->title(), QString("Typed title"));
    QCOMPARE(entry->username(), QString("typed user"));
    QCOMPARE(entry->comment(), QString("typed comment"));
}

void TestPasswordDialogs::destructionBlanksPassword()
{
    auto entry = EntryPtr::create("T", "s3cret", "", "", "", 0);
    QString last = "unchanged";
    {
        CreateViewEditPasswordDialog dialog(m_fx.controller, entry);
        connect(child<QLineEdit>(&dialog, "pwdEdit"), &QLineEdit::textChanged, [&last](const QString &t) { last = t; });
    }
    QCOMPARE(last, QString(6, ' '));

    last = "unchanged";
    QString shown;
    {
        SuggestPasswordDialog dialog;
        shown = child<QLineEdit>(&dialog, "pwdLineEdit")->text();
        connect(child<QLineEdit>(&dialog, "pwdLineEdit"), &QLineEdit::textChanged, [&last](const QString &t) { last = t; });
    }
    QCOMPARE(last, QString(shown.size(), ' '));
}

void TestPasswordDialogs::suggestionRegeneratesOnEveryChange()
{
    SuggestPasswordDialog dialog;
    dialog.show();
    auto *value = child<QLineEdit>(&dialog, "pwdLineEdit");
    auto *settings = child<QWidget>(&dialog, "settingsContainerWidget");
    auto *type = child<QComboBox>(&dialog, "typeComboBox");
    QCOMPARE(type->currentText(), QString("Memorizable Password"));
    QVERIFY(settings->isHidden());
    QVERIFY(value->isReadOnly());
    QCOMPARE(value->text().size(), 12);
    QCOMPARE(value->text().count(QRegularExpression("[0-9]")), 2);
    QCOMPARE(dialog.password(), value->text());

    QString previous = value->text();
    auto expectNew = [&](const char *what, const QString &pattern, int length) {
        const QString now = value->text();
        QVERIFY2(now != previous, what);
        QVERIFY2(QRegularExpression(QString("^%1{%2}$").arg(pattern).arg(length)).match(now).hasMatch(),
                 qPrintable(QString("%1: %2").arg(what, now)));
        previous = now;
    };

    type->setCurrentIndex(1);
    QVERIFY(!settings->isHidden());
    expectNew("random kind", "[a-zA-Z]", 12);
    child<QCheckBox>(&dialog, "numbersCheckBox")->setChecked(true);
    expectNew("numbers", "[a-zA-Z0-9]", 12);
    child<QCheckBox>(&dialog, "specialCharsCheckBox")->setChecked(true);
    expectNew("special", "[a-zA-Z0-9\\\\!@#$%&*()=+{}\\[\\]><.,:;/-]", 12);
    child<QCheckBox>(&dialog, "lowercaseCheckBox")->setChecked(true);
    expectNew("lower case", "[a-z0-9\\\\!@#$%&*()=+{}\\[\\]><.,:;/-]", 12);
    auto *slider = child<QSlider>(&dialog, "pwdLengthSlider");
    slider->setValue(40);
    QCOMPARE(slider->value(), 32);
    QCOMPARE(child<QLabel>(&dialog, "pwdLengthLabel")->text(), QString("32"));
    expectNew("slider", "[a-z0-9\\\\!@#$%&*()=+{}\\[\\]><.,:;/-]", 32);
    child<QPushButton>(&dialog, "refreshBtn")->click();
    expectNew("refresh", "[a-z0-9\\\\!@#$%&*()=+{}\\[\\]><.,:;/-]", 32);

    type->setCurrentIndex(0);
    QVERIFY(settings->isHidden());
    expectNew("back to memorizable", "[a-z0-9]", 12);
}

// The application object, as in the client: the dialogs follow its sign-outs.
int main(int argc, char **argv)
{
    TestEnv env;
    AppInfo info = AppInfo::forThisBuild();
    R7Application app(argc, argv, &info);
    TestPasswordDialogs test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_passworddialogs.moc"
