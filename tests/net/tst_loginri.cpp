// The sign-in against the development service on loopback: every exchange is real, and what the
// client sent is read back from the service's request log.
#include "tests/net/LoginHarness.h"
#include "tests/net/LoginVectors.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace vec;

class TestLoginRI : public LoginHarness
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void plainSignInProgress();
    void knownExchangeOnTheWire();
    void shortSessionKey();
    void supportedNotLatestVersion();
    void stateTextIgnoresCase();
    void userNameWithReservedCharacters();
    void replyChecks_data();
    void replyChecks();
    void degenerateServerValue_data();
    void degenerateServerValue();
    void loginStates_data();
    void loginStates();
    void wrongPassword();
    void networkFailureEndsSignIn();
    void secondLoginWhileRunningIsRefused();
    void secondLoginWhileSignedInIsRefused();
    void generationZeroFetchesToken();
    void logout();
    void logoutGenerationZero();
    void logoutWhileSignedOut();
    void stateNames_data();
    void stateNames();
};

void TestLoginRI::plainSignInProgress()
{
    start(DevService::demoUser(), DevService::demoPassword(), true);
    const EmptyResult r = waitResult();
    QCOMPARE(r.code(), EC_OK);
    QCOMPARE(rec->results.size(), 1);
    QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 18, 2, 8, 3}));
    QVERIFY(rec->smsRequests.isEmpty());
    QVERIFY(session->isLoggedIn());
    QCOMPARE(session->transportKey().size(), 64);
    QCOMPARE(session->userName(), QStringLiteral("demo"));
    QVERIFY(session->userId() > 0);
    // Generation 1 fetches no token.
    QVERIFY(session->xsrfToken().isEmpty());
    for (const QJsonValue &v : svc->requests()) {
        QVERIFY(!v.toObject().value("path").toString().contains("xsrf"));
    }
    const QList<QUrlQuery> forms = loginForms();
    QCOMPARE(forms.size(), 4);
    QCOMPARE(forms.at(0).query(), QStringLiteral("step=0&client=SYNC&version=2.2.4&ostype=win32"));
    QCOMPARE(forms.at(1).queryItems().at(0).first, QStringLiteral("step"));
    QCOMPARE(forms.at(1).queryItems().at(1).first, QStringLiteral("username"));
    QCOMPARE(forms.at(1).queryItems().at(2).first, QStringLiteral("A"));
    QCOMPARE(forms.at(2).queryItems().size(), 2);
    QCOMPARE(forms.at(2).queryItems().at(1).first, QStringLiteral("M1"));
    // No second factor: only "step" and "userkey".
    QCOMPARE(forms.at(3).queryItems().size(), 2);
    QCOMPARE(forms.at(3).queryItems().at(1).first, QStringLiteral("userkey"));
    // The signed-in service session accepts the client's session.
    QCOMPARE(svc->state().value("sessions").toArray().size() > 0, true);
}

void TestLoginRI::knownExchangeOnTheWire()
{
    setUser({{"name", "alice"}, {"srp_b", VecBSecret}});
    setRandomSourceForTesting(&vectorSource);
    start(QStringLiteral("Alice"), QStringLiteral("password123"), false);
    setRandomSourceForTesting(nullptr);
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(loginForms("1").at(0).queryItemValue("username"), QStringLiteral("alice"));
    QCOMPARE(loginForms("1").at(0).queryItemValue("A"), VecPublicA);
    QCOMPARE(loginForms("2").at(0).queryItemValue("M1"), VecM1);
    QCOMPARE(loginForms("3").at(0).queryItemValue("userkey"), VecUserKey);
    QCOMPARE(session->transportKey(), VecK);
}

void TestLoginRI::shortSessionKey()
{
    setUser({{"name", "alice"}, {"srp_b", VecBSecretShortK}});
    setRandomSourceForTesting(&vectorSource);
    start(QStringLiteral("alice"), QStringLiteral("password123"), false);
    setRandomSourceForTesting(nullptr);
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(loginForms("3").at(0).queryItemValue("userkey"), ShortUserKey);
    // The transport key is the whole digest, leading zero byte included.
    QCOMPARE(session->transportKey(), QStringLiteral("00") + ShortK);
}

void TestLoginRI::supportedNotLatestVersion()
{
    svc->control("version", {{"version_latest", "9.9.9"}});
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(rec->progress.mid(0, 3), (Steps{0, 0, 1}));
}

void TestLoginRI::stateTextIgnoresCase()
{
    QVERIFY(svc->fault({{"path", "^/login$"}, {"step", 1}, {"form", QJsonObject{{"loginState", "identified"}}}}) >= 0);
    QVERIFY(svc->fault({{"path", "^/login$"}, {"step", 3}, {"form", QJsonObject{{"loginState", "Logged_In"}}}}) >= 0);
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
}

void TestLoginRI::userNameWithReservedCharacters()
{
    const QString name = QStringLiteral("a&b+c d%e=f;g");
    setUser({{"name", name}, {"password", "Pw-1"}});
    start(name.toUpper(), QStringLiteral("Pw-1"), false);
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(session->userName(), name);
}

void TestLoginRI::replyChecks_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("deviceKey");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("0 false") << 0 << "success=false" << true << 17
                             << "Login step 0: Error: Server response: Param success=false";
    QTest::newRow("0 client") << 0 << "success=unsupportedClient" << true << 15
                              << "Login step 0: Error: Server response: Unsupported client type";
    QTest::newRow("0 version") << 0 << "success=unsupportedVersion" << true << 16
                               << "Login step 0: Error: Server response: Unsupported client version";
    QTest::newRow("0 missing") << 0 << "other=1" << true << 17
                               << "Login step 0: Error: Server response: Param success=''";
    QTest::newRow("0 case") << 0 << "success=TRUE" << true << 17
                            << "Login step 0: Error: Server response: Param success='TRUE'";
    QTest::newRow("0 empty") << 0 << "empty" << true << 24 << "Received empty response";
    QTest::newRow("1 false") << 1 << "success=false" << true << 17
                             << "Login step 1: Error: Server response: Param success='false'";
    QTest::newRow("1 state") << 1 << "success=true;loginState=INITIAL;B=05;salt=07" << true << 17
                             << "Login step 1: Error: Server response: Param loginState='INITIAL'";
    QTest::newRow("1 no state") << 1 << "success=true;B=05;salt=07" << true << 17
                                << "Login step 1: Error: Server response: Param loginState=''";
    QTest::newRow("1 empty B") << 1 << "success=true;loginState=identified;B=;salt=" << true << 17
                               << "Login step 1: Error: Server response: Param B is empty";
    QTest::newRow("1 no salt") << 1 << "success=true;loginState=IDENTIFIED;B=05" << true << 17
                               << "Login step 1: Error: Server response: Param salt is empty";
    QTest::newRow("2 false") << 2 << "success=false" << true << 17
                             << "Login step 2: Error: Server response: Param success='false'";
    QTest::newRow("2 locked") << 2 << "success=true;loginState=LOCKED" << true << 20 << "Login step 2: Account locked";
    QTest::newRow("2 inherited") << 2 << "success=true;loginState=INHERITANCE_EXECUTED" << true << 19
                                 << "Login step 2: Account inherited";
    QTest::newRow("2 unexpected") << 2 << "success=true;loginState=LOGGED_IN;M2=01" << true << 17
                                  << "Login step 2: Error: Server response: Unexpected login state: 'LOGGED_IN'";
    QTest::newRow("2 no M2") << 2 << "success=true;loginState=PRE_AUTHENTICATED" << true << 17
                             << "Login step 2: Error: Server response: Param M2 is empty";
    QTest::newRow("2 no factor") << 2 << "success=true;loginState=PRE_AUTHENTICATED_SMS;M2=01" << false << 17
                                 << "Login step 2: Error: No available two factor";
    QTest::newRow("3 expired") << 3 << "success=true;loginState=EXPIRED" << true << 18
                               << "Login step 3: Account expired";
    QTest::newRow("3 inherited") << 3 << "success=true;loginState=inheritance_executed" << true << 19
                                 << "Account inherited";
    QTest::newRow("3 state") << 3 << "success=true;loginState=IDENTIFIED" << true << 17
                             << "Login step 3: Error: Server response: Param loginState='IDENTIFIED'";
    QTest::newRow("3 success") << 3 << "success=maybe" << true << 17
                               << "Login step 3: Error: Server response: Param success='maybe'";
}

void TestLoginRI::replyChecks()
{
    QFETCH(int, step);
    QFETCH(QString, body);
    QFETCH(bool, deviceKey);
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(svc->fault({{"path", "^/login$"}, {"step", step}, {"body", body}}) >= 0);
    start(DevService::demoUser(), DevService::demoPassword(), deviceKey);
    const EmptyResult r = waitResult();
    QCOMPARE(int(r.code()), code);
    QCOMPARE(r.message(), message);
    QCOMPARE(rec->results.size(), 1);
    QVERIFY(!session->isLoggedIn());
    QVERIFY(session->transportKey().isEmpty());
    // The sign-in is over: a code now finds nothing to continue.
    LogCapture log;
    login->supplyMtanCode(QStringLiteral("1"));
    QVERIFY(log.contains("Supplied MTAN code while no authentication is in progress"));
}

void TestLoginRI::degenerateServerValue_data()
{
    QTest::addColumn<QString>("B");
    QTest::newRow("zero") << QStringLiteral("00");
    QTest::newRow("N") << QStringLiteral("eeaf0ab9adb38dd69c33f80afa8fc5e86072618775ff3c0b9ea2314c9c256576d674df7496ea8"
                                         "1d3383b4813d692c6e0e0d5d8e250b98b"
                                         "e48e495c1d6089dad15dc7d7b46154d6b6ce8ef4ad69b15d4982559b297bcf1885c529f566660"
                                         "e57ec68edbc3c05726cc02fd4cbf4976e"
                                         "aa9afd5138fe8376435b9fc61d2fc0eb06e3");
}

void TestLoginRI::degenerateServerValue()
{
    QFETCH(QString, B);
    QVERIFY(svc->fault({{"path", "^/login$"}, {"step", 1}, {"form", QJsonObject{{"B", B}}}}) >= 0);
    start(DevService::demoUser(), DevService::demoPassword(), true);
    const EmptyResult r = waitResult();
    QCOMPARE(r.code(), EC_LOGIN_FAILED);
    QVERIFY2(r.message().startsWith("Login step 2: "), qPrintable(r.message()));
    // Nothing derived from such a B leaves the client.
    QVERIFY(loginForms("2").isEmpty());
    QVERIFY(session->transportKey().isEmpty());
}

void TestLoginRI::loginStates_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("locked") << "step2_state"
                            << "LOCKED" << 20 << "Login step 2: Account locked";
    QTest::newRow("inherited at 2") << "step2_state"
                                    << "INHERITANCE_EXECUTED" << 19 << "Login step 2: Account inherited";
    QTest::newRow("expired") << "step3_state"
                             << "EXPIRED" << 18 << "Login step 3: Account expired";
    QTest::newRow("inherited at 3") << "step3_state"
                                    << "INHERITANCE_EXECUTED" << 19 << "Account inherited";
}

void TestLoginRI::loginStates()
{
    QFETCH(QString, key);
    QFETCH(QString, state);
    QFETCH(int, code);
    QFETCH(QString, message);
    setUser({{"name", DevService::demoUser()}, {key, state}});
    start(DevService::demoUser(), DevService::demoPassword(), true);
    const EmptyResult r = waitResult();
    QCOMPARE(int(r.code()), code);
    QCOMPARE(r.message(), message);
    QVERIFY(!session->isLoggedIn());
}

void TestLoginRI::wrongPassword()
{
    start(DevService::demoUser(), QStringLiteral("wrong"), true);
    const EmptyResult r = waitResult();
    QCOMPARE(r.code(), EC_LOGIN_FAILED);
    QCOMPARE(r.message(), QStringLiteral("Login step 2: Error: Server response: Param success='false'"));

    // An empty password runs steps 0 and 1 and fails computing x.
    rec->progress.clear();
    start(DevService::demoUser(), QString(), true);
    const EmptyResult empty = waitResult();
    QCOMPARE(empty.code(), EC_LOGIN_FAILED);
    QCOMPARE(empty.message(), QStringLiteral("Failed to calculate X (code:25)"));
    QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 21}));
}

void TestLoginRI::networkFailureEndsSignIn()
{
    QVERIFY(svc->fault({{"path", "^/login$"}, {"step", 2}, {"http_status", 500}}) >= 0);
    start(DevService::demoUser(), DevService::demoPassword(), true);
    const EmptyResult r = waitResult();
    // The request's own code and message.
    QVERIFY(r.code() != EC_OK && r.code() != EC_LOGIN_FAILED);
    QVERIFY2(r.message().contains("500"), qPrintable(r.message()));
    QCOMPARE(rec->results.size(), 1);
    QVERIFY(session->transportKey().isEmpty());
    QVERIFY(!session->isLoggedIn());
}

void TestLoginRI::secondLoginWhileRunningIsRefused()
{
    // Step 0 of the first sign-in is outstanding.
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QList<EmptyResult> second;
    login->doLogin(DevService::smsUser(), DevService::smsPassword(), true,
                   [&second](const EmptyResult &r) { second.append(r); });
    QCOMPARE(second.size(), 1);
    QCOMPARE(second.at(0).code(), EC_LOGIN_FAILED);
    QCOMPARE(second.at(0).message(), QStringLiteral("Login already in progress"));
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(rec->results.size(), 1);
    QCOMPARE(session->userName(), DevService::demoUser());
}

void TestLoginRI::secondLoginWhileSignedInIsRefused()
{
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    const int requests = svc->requests().size();
    QList<EmptyResult> second;
    LogCapture log;
    login->doLogin(DevService::demoUser(), DevService::demoPassword(), true,
                   [&second](const EmptyResult &r) { second.append(r); });
    QCOMPARE(second.size(), 1);
    QCOMPARE(second.at(0).code(), EC_LOGIN_FAILED);
    QVERIFY(log.contains("Already logged in"));
    QCOMPARE(svc->requests().size(), requests);
    QVERIFY(session->isLoggedIn());
}

void TestLoginRI::generationZeroFetchesToken()
{
    login = makeLogin(infoGen0.get());
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    QVERIFY(!session->xsrfToken().isEmpty());
    bool fetched = false;
    for (const QJsonValue &v : svc->requests()) {
        const QJsonObject r = v.toObject();
        if (r.value("path").toString() == QLatin1String("/api/sync/1/account/xsrfToken")) {
            fetched = r.value("method").toString() == QLatin1String("GET");
        }
    }
    QVERIFY(fetched);
    QCOMPARE(rec->progress.last(), 3);

    // A failing token fetch fails the sign-in.
    session->setLoggedIn(false);
    rec = std::make_unique<LoginRecorder>();
    login = makeLogin(infoGen0.get());
    svc->fault({{"path", "xsrfToken$"}, {"http_status", 500}});
    start(DevService::demoUser(), DevService::demoPassword(), true);
    const EmptyResult failed = waitResult();
    QVERIFY(failed.code() != EC_OK);
    QVERIFY2(failed.message().contains("500"), qPrintable(failed.message()));
    QVERIFY(!session->isLoggedIn());
    QVERIFY(session->transportKey().isEmpty());
}

void TestLoginRI::logout()
{
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    QList<Result<LogoutTO_v1>> results;
    login->logout([&results](const Result<LogoutTO_v1> &r) { results.append(r); });
    QVERIFY(!session->isLoggedIn());
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 10000);
    QCOMPARE(results.at(0).code(), EC_OK);
    QVERIFY(results.at(0).payload().success());
    bool posted = false;
    for (const QJsonValue &v : svc->requests()) {
        const QJsonObject r = v.toObject();
        posted |= r.value("path").toString() == QLatin1String("/rest/loggedin/logout") &&
                  r.value("method").toString() == QLatin1String("POST");
    }
    QVERIFY(posted);
    // The key stays until the next sign-in replaces it.
    QCOMPARE(session->transportKey().size(), 64);

    // A reply the reader refuses arrives as 25.
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    svc->fault({{"path", "logout$"}, {"body", R"({"status":0,"data":{"success":"yes"}})"}});
    results.clear();
    login->logout([&results](const Result<LogoutTO_v1> &r) { results.append(r); });
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 10000);
    QCOMPARE(results.at(0).code(), EC_BAD_RESPONSE);
    QVERIFY(results.at(0).message().startsWith("Response data: "));
}

void TestLoginRI::logoutGenerationZero()
{
    login = makeLogin(infoGen0.get());
    start(DevService::demoUser(), DevService::demoPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    QList<Result<LogoutTO_v1>> results;
    login->logout([&results](const Result<LogoutTO_v1> &r) { results.append(r); });
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 10000);
    // The newer paths refuse a post without the token: it was sent.
    QCOMPARE(results.at(0).code(), EC_OK);
    const QJsonObject last = svc->requests().last().toObject();
    QCOMPARE(last.value("path").toString(), QStringLiteral("/api/sync/1/account/logout"));
}

void TestLoginRI::logoutWhileSignedOut()
{
    LogCapture log;
    bool called = false;
    login->logout([&called](const Result<LogoutTO_v1> &) { called = true; });
    QVERIFY(log.contains("Cannot log out while not logged in"));
    QCoreApplication::processEvents();
    QVERIFY(!called);
    QVERIFY(svc->requests().isEmpty());
}

void TestLoginRI::stateNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("upper") << "LOGGED_IN" << 4;
    QTest::newRow("mixed") << "Logged_In" << 4;
    QTest::newRow("lower") << "identified" << 1;
    QTest::newRow("sms") << "pre_authenticated_sms" << 3;
    QTest::newRow("locked") << "LOCKED" << 7;
    QTest::newRow("initial") << "initial" << 0;
    QTest::newRow("unknown") << "SIGNED_IN" << -1;
    QTest::newRow("invalid name") << "INVALID" << -1;
    QTest::newRow("number") << "4" << -1;
}

void TestLoginRI::stateNames()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    QCOMPARE(int(LoginRI::stateFromString(text)), state);
}

QTEST_GUILESS_MAIN(TestLoginRI)
#include "tst_loginri.moc"
