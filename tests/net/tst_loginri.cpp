// The sign-in, the second factor and the remembered device against the development service on
// loopback: every exchange is real, and what the client sent is read back from the service's
// request log; the saved credentials are in the real credential store of the test session.
#include "core/AppInfo.h"
#include "db/R7Database.h"
#include "net/crypto/CryptoPrimitives.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "net/ILoginRI.h"
#include "net/Result.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>
#include <QtTest>

#include <functional>
#include <memory>

// Known values of the sign-in with the RFC 5054 inputs, from an independent calculation.
namespace {

const QString VecA = QStringLiteral("60975527035cf2ad1989806f0407210bc81edc04e2762a56afd529ddda2d4393");
const QString VecBSecret = QStringLiteral("e487cb59d31ac550471e81f00f6928e01dda08e974a004f49e61f5d105284d20");
const QString VecBSecretShortK =
        QStringLiteral("e487cb59d31ac550471e81f00f6928e01dda08e974a004f49e61f5d105284f5d");
const QString VecPublicA = QStringLiteral(
        "61d5e490f6f1b79547b0704c436f523dd0e560f0c64115bb72557ec44352e8903211c04692272d8b2d1a5358a2cf1b6e0bfcf99f921530"
        "ec8e39356179eae45e42ba92aeaced825171e1e8b9af6d9c03e1327f44be087ef06530e69f66615261eef54073ca11cf5858f0edfdfe15"
        "efeab349ef5d76988a3672fac47b0769447b");
const QString VecK = QStringLiteral("d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9");
const QString VecM1 = QStringLiteral("e67e990564ce3fa65579cb78bcb6bef4e528734ea70f3972b403bf404de334a6");
const QString VecUserKey = QStringLiteral(
        "f6cf1f0da09e69f76864b0d91b18b82d3f7c186faabe23f24bcbafb52360a464e1b9394e9a71c5adc5830907f95428df");
const QString ShortK = QStringLiteral("35587e9e4befa454d26047c81edb5abcb9b2e309d401d2eb5c5accc016062b");
const QString ShortUserKey = QStringLiteral(
        "902c60cf9540b044ade237396b6444fd6f3e00f48047010f4ca629a993abe8c4f8aa4b1105aa10cfc5b42f19574bb61c");

} // namespace

// Collects what one sign-in reports.
class LoginRecorder : public QObject
{
    Q_OBJECT
public:
    QList<int> progress;
    QList<QPair<QString, bool>> smsRequests;
    QList<EmptyResult> results;

    std::function<void(const EmptyResult &)> callback()
    {
        return [this](const EmptyResult &r) {
            results.append(r);
            emit finished();
        };
    }

signals:
    void finished();

public slots:
    void onProgress(ILoginRI::Step step) { progress.append(int(step)); }
    void onSms(const QString &ref, bool deviceKey) { smsRequests.append({ref, deviceKey}); }
};

class TestLoginRI : public QObject
{
    Q_OBJECT

    // What the tests share: the development service, a private home with its database, the session
    // pointed at the service, the saved credentials under an item of their own, and one LoginRI whose
    // reports a LoginRecorder collects.
    using Steps = QList<int>;

    // A fresh LoginRI and recorder, signed out.
    void restart(const AppInfo *appInfo)
    {
        session->setLoggedIn(false);
        login.reset();
        rec = std::make_unique<LoginRecorder>();
        login = std::make_unique<LoginRI>(creds.get(), appInfo, session);
        connect(login.get(), &LoginRI::loginProgress, rec.get(), &LoginRecorder::onProgress);
        connect(login.get(), &LoginRI::smsCodeRequired, rec.get(), &LoginRecorder::onSms);
    }
    void start(const QString &user, const QString &password, bool deviceKey)
    {
        awaited = rec->results.size() + 1;
        login->doLogin(user, password, deviceKey, rec->callback());
    }
    // The result of the latest start.
    EmptyResult waitResult()
    {
        if (rec->results.size() < awaited) {
            QSignalSpy(rec.get(), &LoginRecorder::finished).wait(15000);
        }
        return rec->results.size() < awaited ? EmptyResult(EC_CLIENT, QStringLiteral("no result"))
                                             : rec->results.at(awaited - 1);
    }
    QList<QUrlQuery> loginForms(const QString &step = QString())
    {
        QList<QUrlQuery> forms;
        for (const QJsonValue &v : svc->requests()) {
            const QUrlQuery form(v.toObject().value("body").toString());
            if (v.toObject().value("path").toString() == QLatin1String("/login") &&
                (step.isEmpty() || form.queryItemValue("step") == step)) {
                forms.append(form);
            }
        }
        return forms;
    }
    void setUser(const QJsonObject &args)
    {
        const QJsonObject reply = svc->control("user", args);
        QVERIFY2(reply.value("ok").toBool(), qPrintable(QJsonDocument(reply).toJson()));
    }
    QJsonObject userState(const QString &name)
    {
        for (const QJsonValue &u : svc->state().value("users").toArray()) {
            if (u.toObject().value("name").toString() == name) {
                return u.toObject();
            }
        }
        return QJsonObject();
    }
    // Makes the client's secret a the known one.
    static bool vectorSource(unsigned char *buffer, int n)
    {
        const QByteArray a = QByteArray::fromHex(VecA.toLatin1());
        if (n != a.size()) {
            return false;
        }
        memcpy(buffer, a.constData(), size_t(n));
        return true;
    }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<DevService> svc;
    std::unique_ptr<AppInfo> info;
    std::unique_ptr<AppInfo> infoGen0;
    std::unique_ptr<UserCredUtil> creds;
    std::unique_ptr<LoginRI> login;
    std::unique_ptr<LoginRecorder> rec;
    QByteArray appName;
    int awaited = 0;
    R7Session *session = nullptr;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnv>();
        svc = std::make_unique<DevService>();
        QVERIFY2(svc->start(), qPrintable(svc->errorString()));
        // Its own credential-store item, apart from other tests of the same session.
        appName = "tessarvale-login-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
        auto makeInfo = [this](int generation) {
            return std::make_unique<AppInfo>("Tessarvale", appName.constData(), "2.2.4", "", "", "Varnel",
                                             "varnel.example", "example.varnel", "https://www.varnel.example",
                                             "Tessarvale", generation, "varnel");
        };
        info = makeInfo(1);
        infoGen0 = makeInfo(0);
        R7Database::instance()->init(info.get());
        QVERIFY(!R7Database::instance()->getDbInfo().deviceId().isEmpty());
        creds = std::make_unique<UserCredUtil>(info.get());
        session = R7Session::instance();
        session->setServer(ServerInfo("dev", "dev", "Development", svc->httpUrl(), false));
    }
    void init()
    {
        QVERIFY(svc->reset());
        // No remembered device at the service unless a test gives one.
        setUser({{"name", DevService::smsUser()}, {"devices", QJsonValue::Null}});
        session->setTransportKey(QString());
        session->setXsrfToken(QByteArray());
        session->resetSession();
        restart(info.get());
    }
    void cleanup()
    {
        setRandomSourceForTesting(nullptr);
        login.reset();
        rec.reset();
    }


    void plainSignInProgress()
    {
        start(DevService::demoUser(), DevService::demoPassword(), true);
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 18, 2, 8, 3}));
        QVERIFY(session->isLoggedIn());
        const QList<QUrlQuery> forms = loginForms();
        QCOMPARE(forms.at(0).query(), QStringLiteral("step=0&client=SYNC&version=2.2.4&ostype=win32"));
        QCOMPARE(forms.at(3).queryItems().size(), 2); // step and userkey: no second factor

        QVERIFY(loggedOut(login.get(), EC_OK));
        const QJsonObject last = svc->requests().last().toObject();
        QCOMPARE(last.value("path").toString() + last.value("method").toString(),
                 QStringLiteral("/rest/loggedin/logoutPOST"));
    }
    void knownExchangeOnTheWire_data()
    {
        QTest::addColumn<QString>("bSecret");
        QTest::addColumn<QString>("m1");
        QTest::addColumn<QString>("userKey");
        QTest::addColumn<QString>("transportKey");
        QTest::newRow("vector") << VecBSecret << VecM1 << VecUserKey << VecK;
        // The transport key is the whole digest, leading zero byte included.
        QTest::newRow("short K") << VecBSecretShortK << QString() << ShortUserKey << "00" + ShortK;
    }
    void knownExchangeOnTheWire()
    {
        QFETCH(QString, bSecret);
        QFETCH(QString, m1);
        QFETCH(QString, userKey);
        QFETCH(QString, transportKey);
        setUser({{"name", "alice"}, {"srp_b", bSecret}});
        setRandomSourceForTesting(&vectorSource);
        start(QStringLiteral("Alice"), QStringLiteral("password123"), false);
        setRandomSourceForTesting(nullptr);
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(loginForms("1").at(0).queryItemValue("username"), QStringLiteral("alice"));
        QCOMPARE(loginForms("1").at(0).queryItemValue("A"), VecPublicA);
        if (!m1.isEmpty()) {
            QCOMPARE(loginForms("2").at(0).queryItemValue("M1"), m1);
        }
        QCOMPARE(loginForms("3").at(0).queryItemValue("userkey"), userKey);
        QCOMPARE(session->transportKey(), transportKey);
    }
    void userNameWithReservedCharacters()
    {
        // Typed in another case; the form's reserved characters travel encoded.
        const QString name = QStringLiteral("a&b+c d%e=f;g");
        setUser({{"name", name}, {"password", "Pw-1"}});
        start(name.toUpper(), QStringLiteral("Pw-1"), false);
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(session->userName(), name);
    }
    void replyChecks_data()
    {
        // The row's name starts with the step whose reply the service changes (body, form) or whose
        // outcome the account's state at the service decides (user). The failing step is known by
        // the next step's form never being sent.
        QTest::addColumn<QJsonObject>("setup");
        QTest::addColumn<int>("code");
        auto body = [](const char *b) { return QJsonObject{{"body", b}}; };
        auto user = [](const char *k, const char *v) { return QJsonObject{{"user", QJsonObject{{k, v}}}}; };
        const QString n =
                "eeaf0ab9adb38dd69c33f80afa8fc5e86072618775ff3c0b9ea2314c9c256576d674df7496ea81d3383b4813d692c6e0e0"
                "d5d8e250b98be48e495c1d6089dad15dc7d7b46154d6b6ce8ef4ad69b15d4982559b297bcf1885c529f566660e57ec68ed"
                "bc3c05726cc02fd4cbf4976eaa9afd5138fe8376435b9fc61d2fc0eb06e3";
        QTest::newRow("0 false") << body("success=false") << 17;
        QTest::newRow("0 client") << body("success=unsupportedClient") << 15;
        QTest::newRow("0 version") << body("success=unsupportedVersion") << 16;
        QTest::newRow("0 case") << body("success=TRUE") << 17;
        QTest::newRow("0 empty") << body("empty") << 24;
        QTest::newRow("1 false") << body("success=false") << 17;
        QTest::newRow("1 state") << body("success=true;loginState=INITIAL;B=05;salt=07") << 17;
        QTest::newRow("1 empty B") << body("success=true;loginState=identified;B=;salt=") << 17;
        QTest::newRow("1 no salt") << body("success=true;loginState=IDENTIFIED;B=05") << 17;
        // Nothing derived from a degenerate B leaves the client.
        QTest::newRow("1 B zero") << QJsonObject{{"form", QJsonObject{{"B", "00"}}}} << 17;
        QTest::newRow("1 B = N") << QJsonObject{{"form", QJsonObject{{"B", n}}}} << 17;
        QTest::newRow("2 wrong password") << user("password", "other") << 17;
        QTest::newRow("2 HTTP 500") << QJsonObject{{"http_status", 500}} << int(EC_NETWORK); // the request's own code
        QTest::newRow("2 locked") << user("step2_state", "LOCKED") << 20;
        QTest::newRow("2 inherited") << user("step2_state", "INHERITANCE_EXECUTED") << 19;
        QTest::newRow("2 unexpected") << body("success=true;loginState=LOGGED_IN;M2=01") << 17;
        QTest::newRow("2 no M2") << body("success=true;loginState=PRE_AUTHENTICATED") << 17;
        // Signed in without DeviceKey, an account that wants a second factor but sends no SMS has none left.
        QTest::newRow("2 no factor") << body("success=true;loginState=PRE_AUTHENTICATED_SMS;M2=01") << 17;
        QTest::newRow("3 expired") << user("step3_state", "EXPIRED") << 18;
        QTest::newRow("3 inherited") << user("step3_state", "INHERITANCE_EXECUTED") << 19;
        QTest::newRow("3 inherited, lower case") << body("success=true;loginState=inheritance_executed") << 19;
        QTest::newRow("3 state") << body("success=true;loginState=IDENTIFIED") << 17;
        // An account without a second factor is not asked for a code that never comes.
        QTest::newRow("3 refused") << body("success=false") << 17;
    }
    void replyChecks()
    {
        QFETCH(QJsonObject, setup);
        QFETCH(int, code);
        const QString tag = QTest::currentDataTag();
        const int step = tag.left(1).toInt();
        if (setup.contains("user")) {
            QJsonObject user = setup.value("user").toObject();
            user.insert("name", DevService::demoUser());
            setUser(user);
        } else {
            setup.insert("path", "^/login$");
            setup.insert("step", step);
            QVERIFY(svc->fault(setup) >= 0);
        }
        start(DevService::demoUser(), DevService::demoPassword(), tag != "2 no factor");
        const EmptyResult r = waitResult();
        QCOMPARE(int(r.code()), code);
        QCOMPARE(rec->results.size(), 1);
        QVERIFY(loginForms(QString::number(step + 1)).isEmpty());
        QVERIFY(!session->isLoggedIn());
        QVERIFY(session->transportKey().isEmpty());
    }
    void emptyPassword()
    {
        // Steps 0 and 1 run; computing x fails.
        start(DevService::demoUser(), QString(), true);
        const EmptyResult r = waitResult();
        QCOMPARE(r.code(), EC_LOGIN_FAILED);
        QVERIFY(loginForms("2").isEmpty());
    }
    void secondLoginIsRefused()
    {
        QList<EmptyResult> other;
        auto collect = [&other](const EmptyResult &r) { other.append(r); };
        // While step 0 of the first sign-in is outstanding.
        start(DevService::demoUser(), DevService::demoPassword(), true);
        login->doLogin(DevService::smsUser(), DevService::smsPassword(), true, collect);
        QCOMPARE(other.size(), 1);
        QCOMPARE(other.at(0).code(), EC_LOGIN_FAILED);
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(session->userName(), DevService::demoUser());

        // While signed in: refused before anything is sent.
        const int requests = svc->requests().size();
        login->doLogin(DevService::demoUser(), DevService::demoPassword(), true, collect);
        QCOMPARE(other.size(), 2);
        QCOMPARE(other.at(1).code(), EC_LOGIN_FAILED);
        QCOMPARE(svc->requests().size(), requests);
    }
    void generationZeroUsesTheToken()
    {
        restart(infoGen0.get());
        start(DevService::demoUser(), DevService::demoPassword(), true);
        QCOMPARE(waitResult().code(), EC_OK);
        QVERIFY(!session->xsrfToken().isEmpty());
        // The newer paths refuse a post without the token: it was sent.
        QVERIFY(loggedOut(login.get(), EC_OK));
        QCOMPARE(svc->requests().last().toObject().value("path").toString(),
                 QStringLiteral("/api/sync/1/account/logout"));

        // A failing token fetch fails the sign-in.
        svc->fault({{"path", "xsrfToken$"}, {"http_status", 500}});
        start(DevService::demoUser(), DevService::demoPassword(), true);
        QVERIFY(waitResult().code() != EC_OK);
        QVERIFY(!session->isLoggedIn());
    }

private:
    bool loggedOut(ILoginRI *l, ErrorCode expected)
    {
        QList<Result<LogoutTO_v1>> results;
        l->logout([&results](const Result<LogoutTO_v1> &r) { results.append(r); });
        if (session->isLoggedIn() || !QTest::qWaitFor([&]() { return !results.isEmpty(); }, 10000)) {
            return false;
        }
        return results.at(0).code() == expected && (expected != EC_OK || results.at(0).payload().success());
    }

private slots:
    void smsOnly()
    {
        QVERIFY(creds->storeDeviceKeyValue("dev", DevService::smsUser(), QStringLiteral("00ff")));
        start(DevService::smsUser(), DevService::smsPassword(), false);
        waitForSmsQuestion();
        QCOMPARE(rec->smsRequests.at(0).second, false);
        // A wrong code is asked for again.
        login->supplyMtanCode(QStringLiteral("000000"));
        waitForSmsQuestion(2);
        QVERIFY(rec->results.isEmpty());
        // While step 3 runs, a second code would send a second step 3.
        login->supplyMtanCode(DevService::smsCode());
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        const QList<QUrlQuery> step3 = loginForms("3");
        QCOMPARE(step3.size(), 2);
        QCOMPARE(step3.at(0).queryItemValue("userkey"), step3.at(1).queryItemValue("userkey"));
        QCOMPARE(step3.last().queryItems().size(), 3);
        QCOMPARE(step3.last().queryItemValue("tanVal").size(), 32);
        // Without DeviceKey the stored value is cleared.
        QVERIFY(stored().isEmpty());
    }
    void smsWithDeviceKey()
    {
        start(DevService::smsUser(), DevService::smsPassword(), true);
        waitForSmsQuestion();
        QCOMPARE(rec->smsRequests.at(0).second, true);
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        const QUrlQuery step3 = loginForms("3").last();
        QCOMPARE(step3.queryItemValue("deviceIdentifier"), deviceId());
        // 64 digits encrypted: 80 bytes, 160 digits.
        QCOMPARE(step3.queryItemValue("tanVal").size(), 160);
        // The service decrypted what it was sent to what is stored here.
        QCOMPARE(stored().size(), 64);
        QCOMPARE(device().value("value").toString(), stored());
        QCOMPARE(device().value("name").toString(), R7Database::instance()->getDbInfo().deviceName());
    }
    void rememberedDevice_data()
    {
        QTest::addColumn<QString>("refusal");      // how the service refuses a wrong value
        QTest::addColumn<QString>("serviceValue"); // the value the service expects
        QTest::addColumn<QString>("storedValue");  // the value stored here; empty: none
        QTest::addColumn<int>("smsReference");     // -1: no code asked; 0: empty reference; 1: a fresh one
        QTest::addColumn<QList<int>>("progressAfterStep2");
        QTest::addColumn<bool>("keptAtTheEnd"); // a new value stored, the one the service accepted
        const QString known = QStringLiteral("181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07");
        // The service asks for a second factor without sending an SMS: step 3 goes at once.
        QTest::newRow("accepted") << "" << known << known << -1 << QList<int>{2, 12, 3} << true;
        // A refusal that says nothing: fall back to the SMS only, with the earlier (empty) reference.
        QTest::newRow("refused, empty state") << "empty_state" << QString(64, 'a') << QString(64, 'b') << 0
                                              << QList<int>{2, 12, 2, 10, 3} << false;
        QTest::newRow("refused, new SMS") << "new_sms" << QString(64, 'a') << QString(64, 'b') << 1
                                          << QList<int>{2, 12, 2, 11, 3} << true;
        // Nothing stored here: the HMAC of an empty message is sent, refused, and a code is asked for.
        QTest::newRow("nothing stored") << "empty_state" << QString(64, 'a') << QString() << 0
                                        << QList<int>{2, 12, 2, 10, 3} << false;
    }
    void rememberedDevice()
    {
        QFETCH(QString, refusal);
        QFETCH(QString, serviceValue);
        QFETCH(QString, storedValue);
        QFETCH(int, smsReference);
        QFETCH(QList<int>, progressAfterStep2);
        QFETCH(bool, keptAtTheEnd);
        QJsonObject user{{"name", DevService::smsUser()},
                         {"devices", QJsonObject{{deviceId(), QJsonObject{{"value", serviceValue}, {"name", "old"}}}}}};
        if (!refusal.isEmpty()) {
            user.insert("devicekey_refusal", refusal);
        }
        setUser(user);
        QVERIFY(storedValue.isEmpty() ? creds->clearDeviceKeyValue("dev", DevService::smsUser())
                                      : creds->storeDeviceKeyValue("dev", DevService::smsUser(), storedValue));
        start(DevService::smsUser(), DevService::smsPassword(), true);
        if (smsReference >= 0) {
            waitForSmsQuestion();
            QCOMPARE(rec->smsRequests.at(0).first.isEmpty(), smsReference == 0);
            login->supplyMtanCode(DevService::smsCode());
        }
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9}) + progressAfterStep2);
        if (keptAtTheEnd) {
            QVERIFY(stored() != storedValue);
            QCOMPARE(device().value("value").toString(), stored());
        } else {
            QVERIFY(stored().isEmpty());
        }
    }
    void secondLoginDuringCredentialStoreIsRefused()
    {
        // Progress 11 comes just before the credential store is written in a nested event loop; a
        // sign-in started from that loop must neither run nor disturb the first one.
        QList<EmptyResult> second;
        bool tried = false;
        connect(login.get(), &LoginRI::loginProgress, rec.get(), [&](ILoginRI::Step s) {
            if (s == ILoginRI::STEP_INITIAL_DEVICEKEY && !tried) {
                tried = true;
                QTimer::singleShot(0, rec.get(), [&]() {
                    login->doLogin(DevService::demoUser(), DevService::demoPassword(), true,
                                   [&second](const EmptyResult &r) { second.append(r); });
                });
            }
        });
        start(DevService::smsUser(), DevService::smsPassword(), true);
        waitForSmsQuestion();
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        QVERIFY(tried);
        QTRY_COMPARE_WITH_TIMEOUT(second.size(), 1, 5000);
        QCOMPARE(second.at(0).code(), EC_LOGIN_FAILED);
        QCOMPARE(loginForms("0").size(), 1);
    }
    void newLoginReplacesWaitForCode()
    {
        start(DevService::smsUser(), DevService::smsPassword(), false);
        waitForSmsQuestion();
        // The user goes back and signs in to another account instead.
        LoginRecorder other;
        QSignalSpy spy(&other, &LoginRecorder::finished);
        login->doLogin(DevService::demoUser(), DevService::demoPassword(), true, other.callback());
        QCOMPARE(rec->results.size(), 1);
        QCOMPARE(rec->results.at(0).code(), EC_ABORTED);
        QVERIFY(spy.wait(10000));
        QCOMPARE(other.results.at(0).code(), EC_OK);
        QCOMPARE(session->userName(), DevService::demoUser());
    }
    void secretsStayOutOfTheLog()
    {
        LogCapture log;
        setRandomSourceForTesting(&vectorSource);
        setUser({{"name", "alice"}, {"srp_b", VecBSecret}});
        start(QStringLiteral("alice"), QStringLiteral("password123"), true);
        setRandomSourceForTesting(nullptr);
        QCOMPARE(waitResult().code(), EC_OK);
        restart(info.get());
        start(DevService::smsUser(), DevService::smsPassword(), true);
        waitForSmsQuestion();
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        const QStringList secrets{
                QStringLiteral("password123"), DevService::smsPassword(), VecK, VecUserKey, VecA, stored(),
                session->transportKey()};
        for (const QString &line : log.messages()) {
            for (const QString &secret : secrets) {
                QVERIFY2(!line.contains(secret, Qt::CaseInsensitive), qPrintable(line));
            }
        }
    }

private:
    QString stored() { return creds->retrieveDeviceKeyValue("dev", DevService::smsUser()); }
    QString deviceId() { return R7Database::instance()->getDbInfo().deviceId(); }
    QJsonObject device()
    {
        return userState(DevService::smsUser()).value("devices").toObject().value(deviceId()).toObject();
    }
    void waitForSmsQuestion(int n = 1) { QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), n, 10000); }
};

QTEST_GUILESS_MAIN(TestLoginRI)
#include "tst_loginri.moc"
