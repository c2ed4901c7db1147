// The sign-in page offscreen: its states, validators, SMS step, brands, failure messages, and the
// remembered credentials in the test session's real Secret Service.
#include "core/AppInfo.h"
#include "net/KeychainUtil.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"
#include "ui/LoginView.h"
#include "ui/PermanentPlaceholderOverlay.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QUuid>
#include <QtTest>

#include <memory>

class TestLoginView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void credentialStates_data();
    void credentialStates();
    void smsCodeStep();
    void brandDifferences_data();
    void brandDifferences();
    void failureMessages_data();
    void failureMessages();
    void characterCodesButNoPasswordInLog();
    void rememberedCredentialsFillTheForm();
    void uncheckingRememberPasswordClearsTheSavedSecret();
    void uncheckingRememberUsernameClearsEverything();
    void saveAfterSignIn();
    void automaticSignIn_data();
    void automaticSignIn();

private:
    std::unique_ptr<LoginView> makeView(const char* brand = "varnel");
    template<typename T>
    T* child(LoginView* view, const char* name)
    {
        T* widget = view->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QString serverKey() const { return m_servers->currentServer().prefix(); }

    std::unique_ptr<TestEnv> m_env;
    QByteArray m_appName;
    std::unique_ptr<AppInfo> m_info;
    std::unique_ptr<ServerList> m_servers;
    std::unique_ptr<UserCredUtil> m_creds;
};

void TestLoginView::init()
{
    m_env.reset(new TestEnv);
    // An item name of its own per test, so that runs never share saved credentials.
    m_appName = "tessarvale-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    m_info.reset(new AppInfo("Tessarvale", m_appName.constData(), "2.2.4", "", "", "Varnel", "varnel.example",
                             "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel"));
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QString::fromLatin1(m_appName));
    m_servers.reset(new ServerList(*m_info));
    m_creds.reset(new UserCredUtil(m_info.get()));
    LoginView::setAutoLoginArmed(true);
}

void TestLoginView::cleanup()
{
    m_creds.reset();
    m_servers.reset();
    m_env.reset();
}

std::unique_ptr<LoginView> TestLoginView::makeView(const char* brand)
{
    m_info->brandKey = QLatin1String(brand);
    return std::make_unique<LoginView>(m_info.get(), m_creds.get(), m_servers.get(), nullptr);
}

void TestLoginView::credentialStates_data()
{
    QTest::addColumn<QString>("typedUser");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("state");

    const QString fifty = QString(50, QLatin1Char('x'));
    QTest::newRow("three characters") << "abc" << "pw" << "abc" << "pw" << 1;
    QTest::newRow("four characters") << "abcd" << "pw" << "abcd" << "pw" << 2;
    QTest::newRow("no password") << "abcd" << "" << "abcd" << "" << 1;
    QTest::newRow("blank refused") << "ab cd" << "pw" << "abcd" << "pw" << 2;
    QTest::newRow("51st user character refused") << fifty + "y" << "pw" << fifty << "pw" << 2;
    QTest::newRow("51st password character refused") << "abcd" << fifty + "y" << "abcd" << fifty << 2;
    QTest::newRow("password with blanks") << "abcd" << "a b c" << "abcd" << "a b c" << 2;
}

void TestLoginView::credentialStates()
{
    QFETCH(QString, typedUser);
    QFETCH(QString, typedPassword);
    auto view = makeView();
    QCOMPARE(view->uiState(), int(LoginView::EnterUsernamePassword_Invalid));
    QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), typedUser);
    QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), typedPassword);
    QTEST(child<QLineEdit>(view.get(), "usernameInput")->text(), "user");
    QTEST(child<QLineEdit>(view.get(), "passwordInput")->text(), "password");
    QTEST(view->uiState(), "state");

    // Valid credentials start a sign-in; afterwards Login does nothing until a field is edited.
    if (view->uiState() == LoginView::EnterUsernamePassword_Valid) {
        view->startOrProceedLogin();
        QCOMPARE(view->uiState(), int(LoginView::Wait4UsernamePasswordLoginResponse));
        view->on_loginFailed(EC_LOGIN_FAILED, QStringLiteral("rejected"));
        QCOMPARE(view->uiState(), int(LoginView::BadUsernamePasswordResponse));
        view->startOrProceedLogin();
        QCOMPARE(view->uiState(), int(LoginView::BadUsernamePasswordResponse));
    }
}

void TestLoginView::smsCodeStep()
{
    auto view = makeView();
    view->show();
    view->on_smsCodeRequired(QStringLiteral("<b>R-17</b>"), false);
    QCOMPARE(view->uiState(), int(LoginView::EnterMtan_Invalid));
    QVERIFY(child<QFrame>(view.get(), "mtanFrame")->isVisible());
    QVERIFY(!child<QFrame>(view.get(), "loginFrame")->isVisible());
    QVERIFY(child<QPushButton>(view.get(), "cancelButton")->isVisible());
    QVERIFY(!child<QPushButton>(view.get(), "helpButton")->isVisible());
    // The reference comes from the service and is shown as it is, never as markup.
    QLabel* ref = child<QLabel>(view.get(), "smsRefText");
    QCOMPARE(ref->text(), QStringLiteral("<b>R-17</b>"));
    QCOMPARE(ref->textFormat(), Qt::PlainText);

    QLineEdit* code = child<QLineEdit>(view.get(), "smsCodeInput");
    QTest::keyClicks(code, QStringLiteral("a1b"));
    QCOMPARE(view->uiState(), int(LoginView::EnterMtan_Invalid));
    QTest::keyClicks(code, QStringLiteral("2x"));
    QCOMPARE(code->text(), QStringLiteral("A1B2"));
    QCOMPARE(view->uiState(), int(LoginView::EnterMtan_Valid));

    view->startOrProceedLogin();
    QCOMPARE(view->uiState(), int(LoginView::Wait4MtanResponse));
    QVERIFY(!child<QFrame>(view.get(), "mtanFrame")->isEnabled());
    view->on_loginFailed(EC_LOGIN_FAILED, QStringLiteral("bad code"));
    QCOMPARE(view->uiState(), int(LoginView::BadMtanResponse));
    QCOMPARE(child<QLabel>(view.get(), "progressInfoError")->text(), QStringLiteral("Invalid SMS code"));

    QTest::mouseClick(child<QPushButton>(view.get(), "cancelButton"), Qt::LeftButton);
    QVERIFY(!child<QFrame>(view.get(), "mtanFrame")->isVisible());
    QVERIFY(child<QFrame>(view.get(), "loginFrame")->isVisible());
    QVERIFY(code->text().isEmpty());
}

void TestLoginView::brandDifferences_data()
{
    QTest::addColumn<QString>("brand");
    QTest::addColumn<bool>("signup");
    QTest::addColumn<int>("overlays");
    QTest::newRow("maker") << "varnel" << true << 0;
    QTest::newRow("sorel") << "sorel" << false << 2;
    QTest::newRow("tamsel") << "tamsel" << false << 0;
}

void TestLoginView::brandDifferences()
{
    QFETCH(QString, brand);
    auto view = makeView(brand.toLatin1().constData());
    view->show();
    QTEST(child<QPushButton>(view.get(), "signupButton")->isVisible(), "signup");
    QTEST(view->findChildren<PermanentPlaceholderOverlay*>().size(), "overlays");
}

void TestLoginView::failureMessages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("startState");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("state");

    const int wait = LoginView::Wait4UsernamePasswordLoginResponse;
    const int failed = LoginView::LoginFailed;
    const QString unable = QStringLiteral("Unable to connect to ${APP_NAME}");
    const QString offline = QStringLiteral("Unable to connect to the Internet");
    for (int code : {3, 6, 12, 24})
        QTest::addRow("code %d", code) << code << wait << unable << failed;
    QTest::newRow("timeout") << 4 << wait << "Timeout while contacting ${APP_NAME}" << failed;
    QTest::newRow("unclassified network") << 5 << wait << offline << failed;
    QTest::newRow("host not found") << 10 << wait << offline << failed;
    QTest::newRow("proxy") << 11 << wait << "Proxy authentication required" << failed;
    QTest::newRow("refused") << 14 << wait << "${APP_NAME} service currently not available" << failed;
    QTest::newRow("not supported") << 15 << wait << "Client not supported" << failed;
    QTest::newRow("outdated") << 16 << wait << "Client outdated" << failed;
    QTest::newRow("expired") << 18 << wait << "Account is expired" << failed;
    QTest::newRow("inheritance") << 19 << wait << "Inheritance executed" << failed;
    QTest::newRow("locked") << 20 << wait << "Account locked" << failed;
    QTest::newRow("rejected while waiting") << 17 << wait << "Invalid username or password"
                                            << int(LoginView::BadUsernamePasswordResponse);
    // A field edited during the wait: the service's own words, escaped.
    QTest::newRow("rejected after an edit") << 17 << int(LoginView::EnterUsernamePassword_Valid)
                                            << "&lt;i&gt;service&lt;/i&gt; says no" << failed;
    // Codes without a text of their own end the wait with the failing layer's message.
    for (int code : {1, 2, 7, 8, 9, 21, 22, 23, 25, 26, 29})
        QTest::addRow("unmapped %d", code) << code << wait << "&lt;i&gt;service&lt;/i&gt; says no" << failed;
}

void TestLoginView::failureMessages()
{
    QFETCH(int, code);
    QFETCH(int, startState);
    auto view = makeView();
    QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("someone"));
    QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), QStringLiteral("secret"));
    if (startState == LoginView::Wait4UsernamePasswordLoginResponse)
        view->startOrProceedLogin();
    QCOMPARE(view->uiState(), startState);

    view->on_loginFailed(ErrorCode(code), QStringLiteral("<i>service</i> says no"));
    QLabel* line = view->findChild<QLabel*>(QStringLiteral("progressInfoError"));
    QVERIFY(line);
    QFETCH(QString, message);
    QVERIFY2(line->text().startsWith(message), qPrintable(line->text()));
    QTEST(view->uiState(), "state");
    // Retrying is possible from the failed state.
    if (view->uiState() == LoginView::LoginFailed) {
        view->startOrProceedLogin();
        QCOMPARE(view->uiState(), int(LoginView::Wait4UsernamePasswordLoginResponse));
    }
}

void TestLoginView::characterCodesButNoPasswordInLog()
{
    LogCapture log;
    auto view = makeView();
    QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("abc"));
    QCOMPARE(child<QLabel>(view.get(), "usernameCharCodesLabel")->text(), QStringLiteral("[3] UTF-8: 61 62 63"));
    // Typed as an input method would: key clicks take Latin-1 only.
    child<QLineEdit>(view.get(), "passwordInput")->insert(QStringLiteral("\u00e4"));
    QCOMPARE(child<QLabel>(view.get(), "passwordCharCodesLabel")->text(), QStringLiteral("[1] UTF-8: c3 a4"));
    QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("d"));
    view->startOrProceedLogin();
    QCOMPARE(view->uiState(), int(LoginView::Wait4UsernamePasswordLoginResponse));
    for (const QString& line : log.messages()) {
        QVERIFY2(!line.contains(QStringLiteral("c3 a4")) && !line.contains(QStringLiteral("c3a4"))
                     && !line.contains(QStringLiteral("\u00e4")),
                 qPrintable(line));
    }
}

void TestLoginView::rememberedCredentialsFillTheForm()
{
    QVERIFY(m_creds->storePassword(serverKey(), QStringLiteral("Saved.User"), QStringLiteral("pa55")));
    {
        QSettings settings;
        settings.setValue("account/save_username", true);
        settings.setValue("account/saved_username", "Saved.User");
        settings.setValue("account/save_password", true);
    }
    auto view = makeView();
    QCOMPARE(child<QLineEdit>(view.get(), "usernameInput")->text(), QStringLiteral("Saved.User"));
    QCOMPARE(child<QLineEdit>(view.get(), "passwordInput")->text(), QStringLiteral("pa55"));
    QCOMPARE(view->uiState(), int(LoginView::EnterUsernamePassword_Valid));
    // Filled by the form, not typed: the code labels wait for an edit.
    QVERIFY(child<QLabel>(view.get(), "usernameCharCodesLabel")->text().isEmpty());
    QCOMPARE(child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->checkState(), Qt::PartiallyChecked);
    // Loading writes none of the option keys, only the device-key flag.
    QSettings settings;
    QVERIFY(!settings.contains("app/auto_login"));
    QCOMPARE(settings.value("app/use_devicekey").toBool(), false);
    QVERIFY(settings.contains("app/use_devicekey"));
    m_creds->clearPassword(serverKey(), QStringLiteral("Saved.User"));
}

void TestLoginView::uncheckingRememberPasswordClearsTheSavedSecret()
{
    QVERIFY(m_creds->storePassword(serverKey(), QStringLiteral("saved.user"), QStringLiteral("pa55")));
    {
        QSettings settings;
        settings.setValue("account/save_username", true);
        settings.setValue("account/saved_username", "saved.user");
        settings.setValue("account/save_password", true);
    }
    auto view = makeView();
    view->show();
    child<QLineEdit>(view.get(), "usernameInput")->clear();
    view->on_toggleExtendedLoginOptions(true);
    child<QCheckBox>(view.get(), "rememberPasswordCheckBox")->click();
    QVERIFY(!child<QCheckBox>(view.get(), "rememberPasswordCheckBox")->isChecked());
    QVERIFY(!QSettings().contains("account/save_password"));
    // With the field empty, the saved account's secret goes all the same.
    QVERIFY(m_creds->retrievePassword(serverKey(), QStringLiteral("saved.user")).isEmpty());
}

void TestLoginView::uncheckingRememberUsernameClearsEverything()
{
    auto view = makeView();
    view->show();
    view->on_toggleExtendedLoginOptions(true);
    child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->click();
    QCOMPARE(child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->checkState(), Qt::Checked);
    QSettings settings;
    QVERIFY(settings.value("account/save_username").toBool());
    QVERIFY(settings.value("account/save_password").toBool());
    QVERIFY(settings.value("app/auto_login").toBool());

    QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("typed.user"));
    QVERIFY(m_creds->storePassword(serverKey(), QStringLiteral("typed.user"), QStringLiteral("pa55")));
    child<QCheckBox>(view.get(), "rememberUsernameCheckBox")->click();
    QVERIFY(!child<QCheckBox>(view.get(), "rememberPasswordCheckBox")->isChecked());
    QVERIFY(!child<QCheckBox>(view.get(), "autoLoginAtStartCheckBox")->isChecked());
    QCOMPARE(child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->checkState(), Qt::Unchecked);
    settings.sync();
    for (const char* key : {"account/save_username", "account/saved_username", "account/save_password", "app/auto_login"})
        QVERIFY2(!settings.contains(key), key);
    QVERIFY(m_creds->retrievePassword(serverKey(), QStringLiteral("typed.user")).isEmpty());

    // From partly checked, the master box checks all three.
    child<QCheckBox>(view.get(), "rememberUsernameCheckBox")->click();
    QCOMPARE(child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->checkState(), Qt::PartiallyChecked);
    child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->click();
    QVERIFY(child<QCheckBox>(view.get(), "autoLoginAtStartCheckBox")->isChecked());
}

void TestLoginView::saveAfterSignIn()
{
    QVERIFY(m_creds->storePassword(serverKey(), QStringLiteral("Mixed.Case"), QStringLiteral("old")));
    QSettings().setValue("account/save_username", true);
    QSettings().setValue("account/save_password", true);
    auto view = makeView();
    QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("Mixed.Case"));
    QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), QStringLiteral("new secret"));
    view->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
    QCOMPARE(QSettings().value("account/saved_username").toString(), QStringLiteral("Mixed.Case"));
    QCOMPARE(m_creds->retrievePassword(serverKey(), QStringLiteral("Mixed.Case")), QStringLiteral("new secret"));
    // The reset form is filled again from what was just saved.
    QCOMPARE(child<QLineEdit>(view.get(), "passwordInput")->text(), QStringLiteral("new secret"));

    // Remember Password off: the next sign-in clears the saved secret.
    QSettings().remove("account/save_password");
    view->on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
    QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), QStringLiteral("typed"));
    view->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
    QVERIFY(m_creds->retrievePassword(serverKey(), QStringLiteral("Mixed.Case")).isEmpty());
    QCOMPARE(view->uiState(), int(LoginView::EnterUsernamePassword_Invalid));
}

void TestLoginView::automaticSignIn_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("saveUser");
    QTest::addColumn<bool>("savePassword");
    QTest::addColumn<bool>("autoLogin");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<bool>("starts");
    QTest::newRow("all set") << "auto.user" << true << true << true << true << true;
    QTest::newRow("not armed") << "auto.user" << true << true << true << false << false;
    QTest::newRow("no auto login") << "auto.user" << true << true << false << true << false;
    QTest::newRow("password not saved") << "auto.user" << true << false << true << true << false;
    QTest::newRow("short user name") << "abc" << true << true << true << true << false;
}

void TestLoginView::automaticSignIn()
{
    QFETCH(QString, user);
    QFETCH(bool, savePassword);
    QFETCH(bool, armed);
    QVERIFY(m_creds->storePassword(serverKey(), user, QStringLiteral("pa55")));
    {
        QSettings settings;
        QFETCH(bool, saveUser);
        QFETCH(bool, autoLogin);
        settings.setValue("account/save_username", saveUser);
        settings.setValue("account/saved_username", user);
        settings.setValue("account/save_password", savePassword);
        settings.setValue("app/auto_login", autoLogin);
    }
    auto view = makeView();
    LoginView::setAutoLoginArmed(armed);
    // The view is disabled while the server is not confirmed; confirmation enables and re-arms it,
    // so an unarmed start is the one that arrives through evAutoLogin alone.
    if (armed)
        view->on_readyForLogin();
    else
        view->evAutoLogin();
    QFETCH(bool, starts);
    QCOMPARE(view->uiState() == LoginView::Wait4UsernamePasswordLoginResponse, starts);
    QCOMPARE(LoginView::autoLoginArmed(), armed && !starts);
    m_creds->clearPassword(serverKey(), user);
}

QTEST_MAIN(TestLoginView)
#include "tst_loginview.moc"
