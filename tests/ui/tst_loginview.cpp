// The sign-in page offscreen: its states, validators, SMS step, failure messages, and the
// remembered credentials in the test session's real Secret Service.
#include "core/AppInfo.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "net/crypto/Codec.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"
#include "ui/LoginView.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QUuid>
#include <QtTest>

#include <memory>

class TestLoginView : public QObject
{
    Q_OBJECT

private slots:
    void init()
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

    void cleanup()
    {
        m_creds.reset();
        m_servers.reset();
        m_env.reset();
    }

    void credentialStates_data()
    {
        QTest::addColumn<QString>("typedUser");
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("state");

        const QString fifty = QString(50, QLatin1Char('x'));
        QTest::newRow("three characters") << "abc" << "pw" << "abc" << "pw" << 1;
        QTest::newRow("no password") << "abcd" << "" << "abcd" << "" << 1;
        QTest::newRow("blank refused") << "ab cd" << "pw" << "abcd" << "pw" << 2;
        QTest::newRow("51st characters refused") << fifty + "y" << fifty + "y" << fifty << fifty << 2;
        QTest::newRow("password with blanks") << "abcd" << "a b c" << "abcd" << "a b c" << 2;
    }

    void credentialStates()
    {
        QFETCH(QString, typedUser);
        QFETCH(QString, typedPassword);
        auto view = makeView();
        QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), typedUser);
        QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), typedPassword);
        QTEST(child<QLineEdit>(view.get(), "usernameInput")->text(), "user");
        QTEST(child<QLineEdit>(view.get(), "passwordInput")->text(), "password");
        QTEST(view->uiState(), "state");
    }

    void smsCodeStep()
    {
        auto view = makeView();
        view->on_smsCodeRequired(QStringLiteral("<b>R-17</b>"), false);
        // The reference comes from the service and is shown as it is, never as markup.
        QCOMPARE(child<QLabel>(view.get(), "smsRefText")->textFormat(), Qt::PlainText);

        QLineEdit* code = child<QLineEdit>(view.get(), "smsCodeInput");
        QTest::keyClicks(code, QStringLiteral("a1b"));
        QCOMPARE(view->uiState(), int(LoginView::EnterMtan_Invalid));
        QTest::keyClicks(code, QStringLiteral("2x"));
        QCOMPARE(code->text(), QStringLiteral("A1B2"));
        QCOMPARE(view->uiState(), int(LoginView::EnterMtan_Valid));

        view->startOrProceedLogin();
        QCOMPARE(view->uiState(), int(LoginView::Wait4MtanResponse));
        view->on_loginFailed(EC_LOGIN_FAILED, QStringLiteral("bad code"));
        QCOMPARE(child<QLabel>(view.get(), "progressInfoError")->text(), QStringLiteral("Invalid SMS code"));
    }

    void failureMessages_data()
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

    void failureMessages()
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
    }

    void characterCodesButNoPasswordInLog()
    {
        LogCapture log;
        auto view = makeView();
        QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("abcd"));
        // Typed as an input method would: key clicks take Latin-1 only.
        child<QLineEdit>(view.get(), "passwordInput")->insert(QStringLiteral("\u00e4"));
        QCOMPARE(child<QLabel>(view.get(), "passwordCharCodesLabel")->text(), QStringLiteral("[1] UTF-8: c3 a4"));
        view->startOrProceedLogin();
        QCOMPARE(view->uiState(), int(LoginView::Wait4UsernamePasswordLoginResponse));
        for (const QString& line : log.messages()) {
            QVERIFY2(!line.contains(QStringLiteral("c3 a4")) && !line.contains(QStringLiteral("c3a4"))
                         && !line.contains(QStringLiteral("\u00e4")),
                     qPrintable(line));
        }
    }

    void savedPasswordStaysMasked_data()
    {
        QTest::addColumn<bool>("shownBeforeFill");
        QTest::newRow("Show Password turned on after the fill") << false;
        QTest::newRow("Show Password already on at the fill") << true;
    }

    // The page is reachable while the password safe is locked (sign-out); the saved password must
    // not be readable there, in clear or as character codes, until the user has emptied the field.
    void savedPasswordStaysMasked()
    {
        QFETCH(bool, shownBeforeFill);
        saveAccount(QStringLiteral("saved.user"));
        auto view = makeView();
        QLineEdit* password = child<QLineEdit>(view.get(), "passwordInput");
        QLabel* codes = child<QLabel>(view.get(), "passwordCharCodesLabel");
        if (shownBeforeFill) {
            password->clear();
            contextAction(view.get(), "passwordIconLabel", "Show Password")->trigger();
            view->resetForm(); // Cancel fills the saved account in again
        } else {
            contextAction(view.get(), "passwordIconLabel", "Show Password")->trigger();
        }
        contextAction(view.get(), "passwordIconLabel", "Show Character Codes")->trigger();
        QCOMPARE(password->text(), QStringLiteral("pa55"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(codes->text(), QString());
        QTest::keyClick(password, Qt::Key_Backspace);
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(codes->text(), QString());

        // Emptied by the user: from now on Show Password unmasks what is typed and the codes show it.
        password->selectAll();
        QTest::keyClick(password, Qt::Key_Backspace);
        QCOMPARE(password->echoMode(), QLineEdit::Normal);
        QTest::keyClicks(password, QStringLiteral("ab"));
        QCOMPARE(codes->text(), QStringLiteral("[2] UTF-8: 61 62"));
        contextAction(view.get(), "passwordIconLabel", "Show Password")->trigger();
        QCOMPARE(password->echoMode(), QLineEdit::Password);
    }

    void fieldHistoryHoldsNoSecret_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("saved"); // filled in from the store, else typed for a sign-in
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("typedAfter"); // all the field may hold at the end, besides nothing
        const QString password = QStringLiteral("passwordInput");
        QTest::newRow("saved, emptied, undone, redone")
                << password << true << QStringList{"Ctrl+A", "Backspace", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Z"} << "";
        QTest::newRow("saved, typed over, emptied, undone twice")
                << password << true << QStringList{"Ctrl+A", "X", "Backspace", "Ctrl+Z", "Ctrl+Z"} << "x";
        QTest::newRow("typed, signed in and out, undone") << password << false << QStringList{"Ctrl+Z", "Ctrl+Z"} << "";
        // Remember Username is off: the next person at the page must not get the name back.
        QTest::newRow("user name typed, signed in and out, undone")
                << "usernameInput" << false << QStringList{"Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Z"} << "";
        QTest::newRow("user name typed, signed in and out, typed, undone twice")
                << "usernameInput" << false << QStringList{"Y", "Ctrl+Z", "Ctrl+Z"} << "y";
        QTest::newRow("code typed, signed in and out, asked again, undone")
                << "smsCodeInput" << false << QStringList{"Ctrl+Z", "Ctrl+Z"} << "";
    }

    // The sign-in page stays reachable while the password safe is locked: a field's edit history
    // gives back neither the saved password nor what was typed for an earlier sign-in.
    void fieldHistoryHoldsNoSecret()
    {
        QFETCH(QString, field);
        QFETCH(bool, saved);
        QFETCH(QStringList, keys);
        QString secret = saved ? QStringLiteral("pa55") : QStringLiteral("typed secret");
        if (field == QLatin1String("usernameInput"))
            secret = QStringLiteral("someone");
        else if (field == QLatin1String("smsCodeInput"))
            secret = QStringLiteral("4711");
        if (saved)
            saveAccount(QStringLiteral("saved.user"));
        auto view = makeView();
        QLineEdit* input = child<QLineEdit>(view.get(), field.toLatin1().constData());
        if (!saved) { // Remember Username and Remember Password are off
            QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("someone"));
            QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), QStringLiteral("typed secret"));
            if (field == QLatin1String("smsCodeInput")) {
                view->on_smsCodeRequired(QStringLiteral("R-17"), false);
                QTest::keyClicks(input, secret);
                QCOMPARE(view->uiState(), int(LoginView::EnterMtan_Valid));
            }
            view->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
            view->on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
            if (field == QLatin1String("smsCodeInput")) // the next sign-in asks for a code again
                view->on_smsCodeRequired(QStringLiteral("R-18"), false);
        }
        // The character codes of the field, where it has them, shown as well.
        QLabel* codesLabel = nullptr;
        if (field == QLatin1String("passwordInput")) {
            contextAction(view.get(), "passwordIconLabel", "Show Password")->trigger();
            contextAction(view.get(), "passwordIconLabel", "Show Character Codes")->trigger();
            codesLabel = child<QLabel>(view.get(), "passwordCharCodesLabel");
        } else if (field == QLatin1String("usernameInput")) {
            contextAction(view.get(), "usernameIconLabel", "Show Character Codes")->trigger();
            codesLabel = child<QLabel>(view.get(), "usernameCharCodesLabel");
        }
        const QString codes = Codec::utf8ToHex(secret, QStringLiteral(" "));
        for (const QString& key : keys) {
            QTest::keySequence(input, QKeySequence(key));
            const QString shown = input->echoMode() == QLineEdit::Normal ? input->text() : QString();
            const QString shownCodes = codesLabel ? codesLabel->text() : QString();
            QVERIFY2(!shown.contains(secret) && !shownCodes.contains(codes),
                     qPrintable(key + ": " + shown + " " + shownCodes));
        }
        QFETCH(QString, typedAfter);
        QVERIFY2(input->text().isEmpty() || input->text() == typedAfter, qPrintable(input->text()));
    }

    void uncheckingRememberPasswordClearsTheSavedSecret()
    {
        saveAccount(QStringLiteral("saved.user"));
        auto view = makeView();
        view->show();
        child<QLineEdit>(view.get(), "usernameInput")->clear();
        view->on_toggleExtendedLoginOptions(true);
        child<QCheckBox>(view.get(), "rememberPasswordCheckBox")->click();
        QVERIFY(!QSettings().contains("account/save_password"));
        // With the field empty, the saved account's secret goes all the same.
        QVERIFY(m_creds->retrievePassword(serverKey(), QStringLiteral("saved.user")).isEmpty());
    }

    void uncheckingRememberUsernameClearsEverything()
    {
        auto view = makeView();
        view->show();
        view->on_toggleExtendedLoginOptions(true);
        child<QCheckBox>(view.get(), "masterAutoLoginCheckBox")->click();
        QTest::keyClicks(child<QLineEdit>(view.get(), "usernameInput"), QStringLiteral("typed.user"));
        QVERIFY(m_creds->storePassword(serverKey(), QStringLiteral("typed.user"), QStringLiteral("pa55")));
        child<QCheckBox>(view.get(), "rememberUsernameCheckBox")->click();
        QSettings settings;
        for (const char* key : {"account/save_username", "account/saved_username", "account/save_password", "app/auto_login"})
            QVERIFY2(!settings.contains(key), key);
        QVERIFY(m_creds->retrievePassword(serverKey(), QStringLiteral("typed.user")).isEmpty());
    }

    void saveAfterSignIn()
    {
        saveAccount(QStringLiteral("Mixed.Case"));
        auto view = makeView();
        child<QLineEdit>(view.get(), "passwordInput")->clear();
        QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), QStringLiteral("new secret"));
        view->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        QCOMPARE(m_creds->retrievePassword(serverKey(), QStringLiteral("Mixed.Case")), QStringLiteral("new secret"));

        // Remember Password off: the next sign-in clears the saved secret.
        QSettings().remove("account/save_password");
        view->on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        QTest::keyClicks(child<QLineEdit>(view.get(), "passwordInput"), QStringLiteral("typed"));
        view->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        QVERIFY(m_creds->retrievePassword(serverKey(), QStringLiteral("Mixed.Case")).isEmpty());
    }

private:
    std::unique_ptr<LoginView> makeView()
    {
        return std::make_unique<LoginView>(m_info.get(), m_creds.get(), m_servers.get(), nullptr);
    }

    // A remembered account with its secret in the credential store.
    void saveAccount(const QString& user)
    {
        QVERIFY(m_creds->storePassword(serverKey(), user, QStringLiteral("pa55")));
        QSettings settings;
        settings.setValue("account/save_username", true);
        settings.setValue("account/saved_username", user);
        settings.setValue("account/save_password", true);
    }

    // A context action of a field's icon, as its menu offers it.
    QAction* contextAction(LoginView* view, const char* icon, const char* text)
    {
        const QList<QAction*> actions = child<QLabel>(view, icon)->actions();
        for (QAction* action : actions)
            if (action->text() == QLatin1String(text))
                return action;
        qFatal("no action %s", text);
    }

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

QTEST_MAIN(TestLoginView)
#include "tst_loginview.moc"
