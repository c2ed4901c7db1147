// The second factor and the remembered device against the development service, with the saved
// credentials in the real credential store of the test session.
#include "tests/net/LoginHarness.h"
#include "tests/net/LoginVectors.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace vec;

class TestSecondFactor : public LoginHarness
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void smsOnly();
    void wrongSmsCodeAskedAgain();
    void smsWithDeviceKeyThenDeviceKeyAlone();
    void deviceKeyWithoutSmsReference();
    void refusedDeviceKeyFallsBackToSms();
    void freshSmsRequest();
    void deviceKeyWithoutCodeGoesStraightOn();
    void noSecondFactorRefusedStep3Fails();
    void secondLoginDuringCredentialStoreIsRefused();
    void newLoginReplacesWaitForCode();
    void codeWithoutSignInIgnored();
    void secretsStayOutOfTheLog();
};

void TestSecondFactor::smsOnly()
{
    QVERIFY(creds->storeDeviceKeyValue("dev", DevService::smsUser(), QStringLiteral("00ff")));
    start(DevService::smsUser(), DevService::smsPassword(), false);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    QVERIFY(!rec->smsRequests.at(0).first.isEmpty());
    QCOMPARE(rec->smsRequests.at(0).second, false);
    QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9}));
    QVERIFY(rec->results.isEmpty());
    // Typed in lower case; sent as typed.
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(rec->progress.mid(7), (Steps{2, 10, 3}));
    const QUrlQuery step3 = loginForms("3").last();
    QCOMPARE(step3.queryItems().size(), 3);
    QCOMPARE(step3.queryItems().at(2).first, QStringLiteral("tanVal"));
    QCOMPARE(step3.queryItemValue("tanVal").size(), 32);
    // Without DeviceKey the stored value is cleared.
    QVERIFY(creds->retrieveDeviceKeyValue("dev", DevService::smsUser()).isEmpty());
}

void TestSecondFactor::wrongSmsCodeAskedAgain()
{
    start(DevService::smsUser(), DevService::smsPassword(), false);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    login->supplyMtanCode(QStringLiteral("000000"));
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 2, 10000);
    QVERIFY(rec->results.isEmpty());
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    // The same A and user key on every step 3.
    const QList<QUrlQuery> step3 = loginForms("3");
    QCOMPARE(step3.size(), 2);
    QCOMPARE(step3.at(0).queryItemValue("userkey"), step3.at(1).queryItemValue("userkey"));
}

void TestSecondFactor::smsWithDeviceKeyThenDeviceKeyAlone()
{
    const QString deviceId = R7Database::instance()->getDbInfo().deviceId();
    setUser({{"name", DevService::smsUser()}, {"devices", QJsonValue::Null}});
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    QCOMPARE(rec->smsRequests.at(0).second, true);
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(rec->progress.mid(7), (Steps{2, 11, 3}));
    const QUrlQuery step3 = loginForms("3").last();
    QCOMPARE(step3.queryItems().size(), 5);
    QCOMPARE(step3.queryItems().at(2).first, QStringLiteral("tanVal"));
    QCOMPARE(step3.queryItems().at(3).first, QStringLiteral("deviceName"));
    QCOMPARE(step3.queryItemValue("deviceIdentifier"), deviceId);
    // 64 digits encrypted: 80 bytes, 160 digits.
    QCOMPARE(step3.queryItemValue("tanVal").size(), 160);

    const QString stored = creds->retrieveDeviceKeyValue("dev", DevService::smsUser());
    QCOMPARE(stored.size(), 64);
    QJsonObject devices = userState(DevService::smsUser()).value("devices").toObject();
    QCOMPARE(devices.value(deviceId).toObject().value("value").toString(), stored);
    QCOMPARE(devices.value(deviceId).toObject().value("name").toString(),
             R7Database::instance()->getDbInfo().deviceName());

    // The next sign-in from this device needs no code.
    QVERIFY(svc->control("drop_session").value("ok").toBool());
    session->setLoggedIn(false);
    rec = std::make_unique<LoginRecorder>();
    login = makeLogin(info.get());
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    QVERIFY(rec->smsRequests.isEmpty());
    QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9, 2, 12, 3}));
    const QString renewed = creds->retrieveDeviceKeyValue("dev", DevService::smsUser());
    QVERIFY(renewed != stored);
    devices = userState(DevService::smsUser()).value("devices").toObject();
    QCOMPARE(devices.value(deviceId).toObject().value("value").toString(), renewed);
}

void TestSecondFactor::deviceKeyWithoutSmsReference()
{
    // The service asks for a second factor without sending an SMS: with DeviceKey on, step 3 goes
    // at once with the stored value.
    const QString deviceId = R7Database::instance()->getDbInfo().deviceId();
    const QString previous = QStringLiteral("181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07");
    setUser({{"name", DevService::smsUser()},
             {"devices", QJsonObject{{deviceId, QJsonObject{{"value", previous}, {"name", "old"}}}}}});
    QVERIFY(creds->storeDeviceKeyValue("dev", DevService::smsUser(), previous));
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QCOMPARE(waitResult().code(), EC_OK);
    QVERIFY(rec->smsRequests.isEmpty());
    QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9, 2, 12, 3}));
    const QString next = creds->retrieveDeviceKeyValue("dev", DevService::smsUser());
    QCOMPARE(next.size(), 64);
    QVERIFY(next != previous);
    const QJsonObject devices = userState(DevService::smsUser()).value("devices").toObject();
    QCOMPARE(devices.value(deviceId).toObject().value("value").toString(), next);
}

void TestSecondFactor::refusedDeviceKeyFallsBackToSms()
{
    const QString deviceId = R7Database::instance()->getDbInfo().deviceId();
    setUser({{"name", DevService::smsUser()},
             {"devicekey_refusal", "empty_state"},
             {"devices", QJsonObject{{deviceId, QJsonObject{{"value", QString(64, 'a')}, {"name", "x"}}}}}});
    QVERIFY(creds->storeDeviceKeyValue("dev", DevService::smsUser(), QString(64, 'b')));
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    // The earlier (empty) reference, and no DeviceKey from now on.
    QCOMPARE(rec->smsRequests.at(0), qMakePair(QString(), false));
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(rec->progress.mid(7), (Steps{2, 12, 2, 10, 3}));
    const QUrlQuery last = loginForms("3").last();
    QCOMPARE(last.queryItems().size(), 3);
    QVERIFY(creds->retrieveDeviceKeyValue("dev", DevService::smsUser()).isEmpty());
}

void TestSecondFactor::freshSmsRequest()
{
    const QString deviceId = R7Database::instance()->getDbInfo().deviceId();
    setUser({{"name", DevService::smsUser()},
             {"devicekey_refusal", "new_sms"},
             {"devices", QJsonObject{{deviceId, QJsonObject{{"value", QString(64, 'a')}, {"name", "x"}}}}}});
    QVERIFY(creds->storeDeviceKeyValue("dev", DevService::smsUser(), QString(64, 'b')));
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    QVERIFY(!rec->smsRequests.at(0).first.isEmpty());
    QCOMPARE(rec->smsRequests.at(0).second, true);
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(rec->progress.mid(7), (Steps{2, 12, 2, 11, 3}));
    const QString stored = creds->retrieveDeviceKeyValue("dev", DevService::smsUser());
    const QJsonObject devices = userState(DevService::smsUser()).value("devices").toObject();
    QCOMPARE(devices.value(deviceId).toObject().value("value").toString(), stored);
}

void TestSecondFactor::deviceKeyWithoutCodeGoesStraightOn()
{
    // A remembered device at the service but nothing stored here: the HMAC of an empty message is
    // sent, refused, and the sign-in falls back to a code.
    const QString deviceId = R7Database::instance()->getDbInfo().deviceId();
    setUser({{"name", DevService::smsUser()},
             {"devicekey_refusal", "empty_state"},
             {"devices", QJsonObject{{deviceId, QJsonObject{{"value", QString(64, 'a')}, {"name", "x"}}}}}});
    QVERIFY(creds->clearDeviceKeyValue("dev", DevService::smsUser()));
    LogCapture log;
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    QVERIFY(log.contains("R7Session::sendSrpStep3: Failed to retrieve previous devicekey value"));
    QCOMPARE(loginForms("3").at(0).queryItemValue("tanVal").size(), 160);
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
}

void TestSecondFactor::noSecondFactorRefusedStep3Fails()
{
    QVERIFY(svc->fault({{"path", "^/login$"}, {"step", 3}, {"body", "success=false"}}) >= 0);
    start(DevService::demoUser(), DevService::demoPassword(), true);
    const EmptyResult r = waitResult();
    QCOMPARE(r.code(), EC_LOGIN_FAILED);
    QCOMPARE(r.message(), QStringLiteral("Login step 3: Error: Invalid server response: 'success=false')"));
    QVERIFY(rec->smsRequests.isEmpty());
}

void TestSecondFactor::secondLoginDuringCredentialStoreIsRefused()
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
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    QVERIFY(tried);
    QTRY_COMPARE_WITH_TIMEOUT(second.size(), 1, 5000);
    QCOMPARE(second.at(0).code(), EC_LOGIN_FAILED);
    QCOMPARE(second.at(0).message(), QStringLiteral("Login already in progress"));
    QCOMPARE(session->userName(), DevService::smsUser());
    QCOMPARE(loginForms("0").size(), 1);
}

void TestSecondFactor::newLoginReplacesWaitForCode()
{
    start(DevService::smsUser(), DevService::smsPassword(), false);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    // The user goes back and signs in to another account instead.
    LoginRecorder other;
    login->doLogin(DevService::demoUser(), DevService::demoPassword(), true, other.callback());
    QCOMPARE(rec->results.size(), 1);
    QCOMPARE(rec->results.at(0).code(), EC_ABORTED);
    QSignalSpy spy(&other, &LoginRecorder::finished);
    QVERIFY(spy.wait(10000));
    QCOMPARE(other.results.at(0).code(), EC_OK);
    QCOMPARE(session->userName(), DevService::demoUser());
    QCOMPARE(rec->results.size(), 1);
}

void TestSecondFactor::codeWithoutSignInIgnored()
{
    LogCapture log;
    login->supplyMtanCode(QStringLiteral("123456"));
    QVERIFY(log.contains("Supplied MTAN code while no authentication is in progress"));
    QVERIFY(svc->requests().isEmpty());

    // While step 3 runs, a second code would send a second step 3: it is ignored.
    start(DevService::smsUser(), DevService::smsPassword(), false);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 15000);
    login->supplyMtanCode(DevService::smsCode());
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    QCOMPARE(loginForms("3").size(), 1);
}

void TestSecondFactor::secretsStayOutOfTheLog()
{
    LogCapture log;
    setRandomSourceForTesting(&vectorSource);
    setUser({{"name", "alice"}, {"srp_b", VecBSecret}});
    start(QStringLiteral("alice"), QStringLiteral("password123"), true);
    setRandomSourceForTesting(nullptr);
    QCOMPARE(waitResult().code(), EC_OK);
    session->setLoggedIn(false);
    rec = std::make_unique<LoginRecorder>();
    login = makeLogin(info.get());
    start(DevService::smsUser(), DevService::smsPassword(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rec->smsRequests.size(), 1, 10000);
    login->supplyMtanCode(DevService::smsCode());
    QCOMPARE(waitResult().code(), EC_OK);
    const QString deviceKey = creds->retrieveDeviceKeyValue("dev", DevService::smsUser());
    const QStringList secrets{
            QStringLiteral("password123"), DevService::smsPassword(), VecK, VecUserKey, VecA, deviceKey,
            session->transportKey()};
    for (const QString &line : log.messages()) {
        for (const QString &secret : secrets) {
            QVERIFY2(!line.contains(secret, Qt::CaseInsensitive), qPrintable(line));
        }
    }
    QVERIFY(log.contains("Login successful for user 'alice'"));
}

QTEST_GUILESS_MAIN(TestSecondFactor)
#include "tst_secondfactor.moc"
