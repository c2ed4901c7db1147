#include "net/R7Session.h"
#include "net/Request.h"

#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QTcpServer>
#include <QtTest>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";
const char kValidationPath[] = "/rest/loggedin/1/clientvalidation/loggedin";
const char kFailPath[] = "/rest/public/1/failing";
} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void cookieAfterStepZeroAndGoneAfterReset();
    void cookieIsLoggedShortened();
    void oneValidationPerRunOfFailures_data();
    void oneValidationPerRunOfFailures();
    void quotaFailureStartsNoValidation();
    void proxyFailureStartsNoValidation();
    void versionQuery();
    void abortedValidationReportsNoTimeout();
    void resetEndsPendingRequestsWithAReport();
    void explicitPortWarmsUpAConnection();
    void idleCheck_data();
    void idleCheck();

private:
    // Sends a request and waits for its end; the code it ended with (EC_OK on success).
    ErrorCode run(Request *r);
    ErrorCode runFailing(int status = 503);
    int count(const QString &path) const;
    QString sid() const { return m_svc.state().value("sessions").toArray().first().toObject().value("sid").toString(); }

    DevService m_svc;
    TestEnv *m_env = nullptr;
    R7Session *m_session = nullptr;
};

void TestSession::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    m_session = R7Session::instance();
    m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
}

void TestSession::init()
{
    // A success between tests re-arms the validation for the next one.
    QVERIFY(m_svc.reset());
    m_session->resetSession();
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QVERIFY(m_svc.reset());
}

void TestSession::cleanupTestCase()
{
    delete m_env;
}

ErrorCode TestSession::run(Request *r)
{
    QSignalSpy errors(r, &Request::error);
    QSignalSpy successes(r, &Request::success);
    r->send(m_session);
    QElapsedTimer t;
    t.start();
    while (errors.isEmpty() && successes.isEmpty() && t.elapsed() < 10000) {
        QTest::qWait(10);
    }
    return !errors.isEmpty() ? errors.first().at(0).value<ErrorCode>() : successes.isEmpty() ? EC_TIMEOUT : EC_OK;
}

ErrorCode TestSession::runFailing(int status)
{
    if (m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", status}}) <= 0) {
        return EC_CLIENT;
    }
    return run(Request::createGet(kFailPath));
}

int TestSession::count(const QString &path) const
{
    int n = 0;
    for (const QJsonValue &v : m_svc.requests()) {
        n += v.toObject().value("path").toString() == path ? 1 : 0;
    }
    return n;
}

static Request *stepZero()
{
    return Request::createPostForm("/login", QUrlQuery("step=0&client=SYNC&version=99.0.0"),
                                   "application/x-www-form-urlencoded");
}

void TestSession::cookieAfterStepZeroAndGoneAfterReset()
{
    QCOMPARE(run(stepZero()), EC_OK);
    QCOMPARE(m_svc.state().value("sessions").toArray().size(), 1);
    const QString cookie = "JSESSIONID=" + sid();
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QCOMPARE(m_svc.requests().last().toObject().value("headers").toObject().value("Cookie").toString(), cookie);

    m_session->setLoggedIn(true);
    m_session->setTransportKey(QStringLiteral("00ff"));
    m_session->setXsrfToken("tok");
    m_session->resetSession();
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QVERIFY(!m_svc.requests().last().toObject().value("headers").toObject().contains("Cookie"));
    // A reset leaves the sign-in alone.
    QVERIFY(m_session->isLoggedIn());
    QCOMPARE(m_session->transportKey(), QStringLiteral("00ff"));
    QCOMPARE(m_session->xsrfToken(), QByteArray("tok"));
    m_session->setLoggedIn(false);
    m_session->setTransportKey(QString());
    m_session->setXsrfToken(QByteArray());
}

void TestSession::cookieIsLoggedShortened()
{
    LogCapture log;
    QCOMPARE(run(stepZero()), EC_OK);
    const QString value = sid();
    QVERIFY(value.size() > 8);
    QVERIFY(log.contains("## R7Session: sid: s" + value.left(8)));
    QVERIFY(log.contains("value:'" + value.left(8) + "'"));
    // The whole value would let anyone with the log take over the session.
    QVERIFY(!log.contains(value.mid(8)));
}

void TestSession::oneValidationPerRunOfFailures_data()
{
    QTest::addColumn<QString>("unauthenticated");
    QTest::addColumn<int>("validationCode");
    QTest::newRow("HTTP 401") << "http401" << int(EC_NETWORK);
    QTest::newRow("envelope") << "envelope" << int(EC_SERVICE_STATUS);
}

void TestSession::oneValidationPerRunOfFailures()
{
    QFETCH(QString, unauthenticated);
    QFETCH(int, validationCode);
    QVERIFY(m_svc.control("config", {{"unauthenticated", unauthenticated}}).value("ok").toBool());
    QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(timeouts.size(), 1);
    QCOMPARE(timeouts.first().at(0).value<R7Session::SessionState>(), R7Session::SERVER_SESSION_TIMEOUT);
    QCOMPARE(int(timeouts.first().at(1).value<ErrorCode>()), validationCode);
    QCOMPARE(count(kValidationPath), 1);

    // A success re-arms the check: the next failure asks again.
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(timeouts.size(), 2);
    QCOMPARE(count(kValidationPath), 2);
}

void TestSession::quotaFailureStartsNoValidation()
{
    QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kVersionPath)}, {"envelope_status", 10907}}) > 0);
    QList<EmptyResult> results;
    sendJsonRequest<Nothing>(Request::createGet(kVersionPath), m_session, [&](const EmptyResult &r) { results << r; });
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_QUOTA_EXCEEDED);
    // A validation would have been started at once, before this next exchange.
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QVERIFY(!timeouts.wait(300));
    QCOMPARE(count(kValidationPath), 0);
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(timeouts.size(), 1);
    QCOMPARE(count(kValidationPath), 1);
}

void TestSession::proxyFailureStartsNoValidation()
{
    // It opens the run of failures, so the next failure in the run asks nothing either.
    QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
    m_session->requestFailed(EC_PROXY_AUTH);
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QVERIFY(!timeouts.wait(300));
    QCOMPARE(count(kValidationPath), 0);
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_NONE);
}

void TestSession::versionQuery()
{
    QVERIFY(m_svc.control("version", {{"version_compatible", "2.1.0"}, {"version_latest", "2.3.1"}})
                    .value("ok")
                    .toBool());
    QList<Result<ClientVersionTO_v1>> results;
    m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_OK);
    QCOMPARE(results.first().payload().toString(),
             QStringLiteral("{name:'%1',version_compatible:'2.1.0',version_latest:'2.3.1'}")
                     .arg(results.first().payload().name()));
    QCOMPARE(count(kVersionPath), 1);
}

void TestSession::abortedValidationReportsNoTimeout()
{
    QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kValidationPath)}, {"stall", true}}) > 0);
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(count(kValidationPath), 1);
    // The user quits or cancels while the validation is under way.
    emit m_session->abort();
    QVERIFY(!timeouts.wait(300));
    // The run of failures goes on: no second validation until a success.
    QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QCOMPARE(count(kValidationPath), 1);
    QCOMPARE(timeouts.size(), 0);
}

void TestSession::resetEndsPendingRequestsWithAReport()
{
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kVersionPath)}, {"stall", true}, {"count", 2}}) > 0);
    QList<Result<ClientVersionTO_v1>> results;
    m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
    Request *plain = Request::createGet(kVersionPath);
    QSignalSpy plainErrors(plain, &Request::error);
    plain->send(m_session);
    QTRY_COMPARE(count(kVersionPath), 2);
    QPointer<QNetworkAccessManager> oldManager = m_session->networkAccessManager();
    QVERIFY(oldManager->objectName().startsWith(QLatin1String("NAM-")));

    m_session->resetSession();
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_ABORTED);
    QCOMPARE(plainErrors.size(), 1);
    QCOMPARE(plainErrors.first().at(0).value<ErrorCode>(), EC_ABORTED);
    QVERIFY(oldManager); // discarded later, not at once
    QNetworkAccessManager *manager = m_session->networkAccessManager();
    QVERIFY(manager != oldManager.data());
    QVERIFY(manager->objectName().startsWith(QLatin1String("NAM-r")));
    QVERIFY(manager->cookieJar()->inherits("TrackingCookieJar"));
    // Nothing reports twice once the old replies complete.
    QTest::qWait(100);
    QCOMPARE(results.size(), 1);
    QCOMPARE(plainErrors.size(), 1);
    // The new manager works.
    QVERIFY(m_svc.reset());
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
}

void TestSession::explicitPortWarmsUpAConnection()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QSignalSpy connections(&server, &QTcpServer::newConnection);
    m_session->setServer(
            ServerInfo("W", "W", "W", QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()), false));
    const bool warmed = connections.wait(3000);
    m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
    QVERIFY(warmed);
    QCOMPARE(m_session->serverKey(), QStringLiteral("DEV"));
}

void TestSession::idleCheck_data()
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

void TestSession::idleCheck()
{
    QFETCH(bool, loggedIn);
    QFETCH(qint64, idleMs);
    QFETCH(bool, expired);
    m_session->setLoggedIn(loggedIn);
    m_session->setLastActivity(QDateTime::currentMSecsSinceEpoch() - idleMs);
    QCOMPARE(m_session->isClientSessionExpired(), expired);
    QVERIFY(qAbs(m_session->msecsSinceLastActivity() - idleMs) < 5000);
    m_session->setLoggedIn(false);
    m_session->setLastActivity(0);
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
