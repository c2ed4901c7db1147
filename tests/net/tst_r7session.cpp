#include "net/R7Session.h"

#include "tests/support/TestEnv.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QtTest>

class TestR7Session : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void stateNames_data();
    void stateNames();
    void idleCheck_data();
    void idleCheck();
    void requestIdsIncrease();
    void resetKeepsSignInAndReplacesManager();

private:
    TestEnv *m_env = nullptr;
};

void TestR7Session::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
}

void TestR7Session::cleanup()
{
    R7Session *s = R7Session::instance();
    s->setLoggedIn(false);
    s->setLastActivity(0);
}

void TestR7Session::stateNames_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("name");
    QTest::newRow("ok") << 0 << "SESSION_OK";
    QTest::newRow("reset") << 1 << "SESSION_RESET";
    QTest::newRow("server") << 2 << "SERVER_SESSION_TIMEOUT";
    QTest::newRow("client") << 3 << "CLIENT_SESSION_TIMEOUT";
    QTest::newRow("other") << 7 << "undefined[7]";
    QTest::newRow("negative") << -1 << "undefined[-1]";
}

void TestR7Session::stateNames()
{
    QFETCH(int, state);
    QFETCH(QString, name);
    QCOMPARE(R7Session::sessionStateName(R7Session::SessionState(state)), name);
}

void TestR7Session::idleCheck_data()
{
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<qint64>("idleMs");
    QTest::addColumn<bool>("expired");
    const qint64 limit = 2147483647;
    QTest::newRow("signed out, long idle") << false << limit + 10000 << false;
    QTest::newRow("signed in, fresh") << true << qint64(1000) << false;
    QTest::newRow("signed in, just below the limit") << true << limit - 60000 << false;
    QTest::newRow("signed in, beyond the limit") << true << limit + 10000 << true;
    QTest::newRow("clock set back before the last activity") << true << qint64(-3600000) << false;
}

void TestR7Session::idleCheck()
{
    QFETCH(bool, loggedIn);
    QFETCH(qint64, idleMs);
    QFETCH(bool, expired);
    R7Session *s = R7Session::instance();
    s->setLoggedIn(loggedIn);
    s->setLastActivity(QDateTime::currentMSecsSinceEpoch() - idleMs);
    QCOMPARE(s->isClientSessionExpired(), expired);
    QVERIFY(qAbs(s->msecsSinceLastActivity() - idleMs) < 5000);
}

void TestR7Session::requestIdsIncrease()
{
    R7Session *s = R7Session::instance();
    const int first = s->nextRequestId();
    QVERIFY(first > 0);
    QCOMPARE(s->nextRequestId(), first + 1);
}

void TestR7Session::resetKeepsSignInAndReplacesManager()
{
    R7Session *s = R7Session::instance();
    s->setLoggedIn(true);
    s->setTransportKey(QStringLiteral("00ff"));
    s->setXsrfToken("tok");
    QPointer<QNetworkAccessManager> before = s->networkAccessManager();
    QVERIFY(before->objectName().startsWith(QLatin1String("NAM-s")));
    s->resetSession();
    QNetworkAccessManager *after = s->networkAccessManager();
    QVERIFY(after != before.data());
    QVERIFY(after->objectName().startsWith(QLatin1String("NAM-r")));
    QVERIFY(after->cookieJar() != nullptr);
    QVERIFY(after->cookieJar()->inherits("TrackingCookieJar"));
    QVERIFY(s->isLoggedIn());
    QCOMPARE(s->transportKey(), QStringLiteral("00ff"));
    QCOMPARE(s->xsrfToken(), QByteArray("tok"));
    s->setXsrfToken(QByteArray());
    s->setTransportKey(QString());
}

QTEST_MAIN(TestR7Session)
#include "tst_r7session.moc"
