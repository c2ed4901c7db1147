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

    void smsOnly()
    {
        QVERIFY(creds->storeDeviceKeyValue("dev", DevService::smsUser(), QStringLiteral("00ff")));
        start(DevService::smsUser(), DevService::smsPassword(), false);
        waitForSmsQuestion();
        QVERIFY(!rec->smsRequests.at(0).first.isEmpty());
        QCOMPARE(rec->smsRequests.at(0).second, false);
        QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9}));
        // A wrong code is asked for again.
        login->supplyMtanCode(QStringLiteral("000000"));
        waitForSmsQuestion(2);
        QVERIFY(rec->results.isEmpty());
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(rec->progress.mid(rec->progress.size() - 3), (Steps{2, 10, 3}));
        const QList<QUrlQuery> step3 = loginForms("3");
        QCOMPARE(step3.size(), 2);
        QCOMPARE(step3.at(0).queryItemValue("userkey"), step3.at(1).queryItemValue("userkey"));
        QCOMPARE(step3.last().queryItems().size(), 3);
        QCOMPARE(step3.last().queryItems().at(2).first, QStringLiteral("tanVal"));
        QCOMPARE(step3.last().queryItemValue("tanVal").size(), 32);
        // Without DeviceKey the stored value is cleared.
        QVERIFY(stored().isEmpty());
    }
    void smsWithDeviceKeyThenDeviceKeyAlone()
    {
        start(DevService::smsUser(), DevService::smsPassword(), true);
        waitForSmsQuestion();
        QCOMPARE(rec->smsRequests.at(0).second, true);
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(rec->progress.mid(7), (Steps{2, 11, 3}));
        const QUrlQuery step3 = loginForms("3").last();
        QCOMPARE(step3.queryItems().size(), 5);
        QCOMPARE(step3.queryItems().at(2).first, QStringLiteral("tanVal"));
        QCOMPARE(step3.queryItems().at(3).first, QStringLiteral("deviceName"));
        QCOMPARE(step3.queryItemValue("deviceIdentifier"), deviceId());
        // 64 digits encrypted: 80 bytes, 160 digits.
        QCOMPARE(step3.queryItemValue("tanVal").size(), 160);
        const QString first = stored();
        QCOMPARE(first.size(), 64);
        QCOMPARE(device().value("value").toString(), first);
        QCOMPARE(device().value("name").toString(), R7Database::instance()->getDbInfo().deviceName());

        // The next sign-in from this device needs no code.
        QVERIFY(svc->control("drop_session").value("ok").toBool());
        restart(info.get());
        start(DevService::smsUser(), DevService::smsPassword(), true);
        QCOMPARE(waitResult().code(), EC_OK);
        QVERIFY(rec->smsRequests.isEmpty());
        QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9, 2, 12, 3}));
        QVERIFY(stored() != first);
        QCOMPARE(device().value("value").toString(), stored());
    }
    void rememberedDevice_data()
    {
        QTest::addColumn<QString>("refusal");      // how the service refuses a wrong value
        QTest::addColumn<QString>("serviceValue"); // the value the service expects
        QTest::addColumn<QString>("storedValue");  // the value stored here; empty: none
        QTest::addColumn<int>("smsReference");     // -1: no code asked; 0: empty reference; 1: a fresh one
        QTest::addColumn<bool>("smsWithDeviceKey");
        QTest::addColumn<QList<int>>("progressAfterStep2");
        QTest::addColumn<bool>("keptAtTheEnd"); // a new value stored, the one the service accepted
        const QString known = QStringLiteral("181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07");
        // The service asks for a second factor without sending an SMS: step 3 goes at once.
        QTest::newRow("accepted") << "" << known << known << -1 << false << QList<int>{2, 12, 3} << true;
        // A refusal that says nothing: fall back to the SMS only, with the earlier (empty) reference.
        QTest::newRow("refused, empty state") << "empty_state" << QString(64, 'a') << QString(64, 'b') << 0 << false
                                              << QList<int>{2, 12, 2, 10, 3} << false;
        QTest::newRow("refused, new SMS") << "new_sms" << QString(64, 'a') << QString(64, 'b') << 1 << true
                                          << QList<int>{2, 12, 2, 11, 3} << true;
        // Nothing stored here: the HMAC of an empty message is sent, refused, and a code is asked for.
        QTest::newRow("nothing stored") << "empty_state" << QString(64, 'a') << QString() << 0 << false
                                        << QList<int>{2, 12, 2, 10, 3} << false;
    }
    void rememberedDevice()
    {
        QFETCH(QString, refusal);
        QFETCH(QString, serviceValue);
        QFETCH(QString, storedValue);
        QFETCH(int, smsReference);
        QFETCH(bool, smsWithDeviceKey);
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
        LogCapture log;
        start(DevService::smsUser(), DevService::smsPassword(), true);
        if (smsReference >= 0) {
            waitForSmsQuestion();
            QCOMPARE(rec->smsRequests.at(0).first.isEmpty(), smsReference == 0);
            QCOMPARE(rec->smsRequests.at(0).second, smsWithDeviceKey);
            QCOMPARE(loginForms("3").at(0).queryItemValue("tanVal").size(), 160);
            login->supplyMtanCode(DevService::smsCode());
        }
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(rec->progress, (Steps{0, 0, 1, 1, 2, 14, 9}) + progressAfterStep2);
        QCOMPARE(log.contains("R7Session::sendSrpStep3: Failed to retrieve previous devicekey value"),
                 storedValue.isEmpty());
        if (keptAtTheEnd) {
            QCOMPARE(stored().size(), 64);
            QVERIFY(stored() != storedValue);
            QCOMPARE(device().value("value").toString(), stored());
        } else {
            QVERIFY(stored().isEmpty());
            QCOMPARE(loginForms("3").last().queryItems().size(), 3);
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
        QCOMPARE(second.at(0).message(), QStringLiteral("Login already in progress"));
        QCOMPARE(session->userName(), DevService::smsUser());
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
        QCOMPARE(rec->results.size(), 1);
    }
    void codesOutsideTheQuestionIgnored()
    {
        LogCapture log;
        login->supplyMtanCode(QStringLiteral("123456"));
        QVERIFY(log.contains("Supplied MTAN code while no authentication is in progress"));
        QVERIFY(svc->requests().isEmpty());

        // While step 3 runs, a second code would send a second step 3.
        start(DevService::smsUser(), DevService::smsPassword(), false);
        waitForSmsQuestion();
        login->supplyMtanCode(DevService::smsCode());
        login->supplyMtanCode(DevService::smsCode());
        QCOMPARE(waitResult().code(), EC_OK);
        QCOMPARE(loginForms("3").size(), 1);
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
        QVERIFY(log.contains("Login successful for user 'alice'"));
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

QTEST_GUILESS_MAIN(TestSecondFactor)
#include "tst_secondfactor.moc"
