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

private:
    // Sends a request and waits for its end; the code it ended with (EC_OK on success).
    ErrorCode run(Request *r, int timeoutMs = 10000);
    int count(const QString &path) const;
    QJsonObject last(const QString &path) const;

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

ErrorCode TestSession::run(Request *r, int timeoutMs)
{
    QSignalSpy errors(r, &Request::error);
    QSignalSpy successes(r, &Request::success);
    r->send(m_session);
    QElapsedTimer t;
    t.start();
    while (errors.isEmpty() && successes.isEmpty() && t.elapsed() < timeoutMs) {
        QTest::qWait(10);
    }
    if (!errors.isEmpty()) {
        return errors.first().at(0).value<ErrorCode>();
    }
    return successes.isEmpty() ? EC_TIMEOUT : EC_OK;
}

int TestSession::count(const QString &path) const
{
    int n = 0;
    for (const QJsonValue &v : m_svc.requests()) {
        n += v.toObject().value("path").toString() == path ? 1 : 0;
    }
    return n;
}

QJsonObject TestSession::last(const QString &path) const
{
    const QJsonArray log = m_svc.requests();
    for (int i = log.size() - 1; i >= 0; --i) {
        if (log.at(i).toObject().value("path").toString() == path) {
            return log.at(i).toObject();
        }
    }
    return {};
}

static Request *stepZero()
{
    QUrlQuery form;
    form.addQueryItem("step", "0");
    form.addQueryItem("client", "SYNC");
    form.addQueryItem("version", "99.0.0");
    return Request::createPostForm("/login", form, "application/x-www-form-urlencoded");
}

void TestSession::cookieAfterStepZeroAndGoneAfterReset()
{
    QCOMPARE(run(stepZero()), EC_OK);
    const QJsonArray sessions = m_svc.state().value("sessions").toArray();
    QCOMPARE(sessions.size(), 1);
    const QString sid = sessions.first().toObject().value("sid").toString();
    QVERIFY(!sid.isEmpty());

    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QCOMPARE(last(kVersionPath).value("headers").toObject().value("Cookie").toString(), "JSESSIONID=" + sid);

    m_session->setLoggedIn(true);
    m_session->resetSession();
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QVERIFY(!last(kVersionPath).value("headers").toObject().contains("Cookie"));
    QVERIFY(m_session->isLoggedIn()); // a reset leaves the sign-in flag alone
    m_session->setLoggedIn(false);
}

void TestSession::cookieIsLoggedShortened()
{
    LogCapture log;
    QCOMPARE(run(stepZero()), EC_OK);
    const QString sid = m_svc.state().value("sessions").toArray().first().toObject().value("sid").toString();
    QVERIFY(sid.size() > 8);
    QVERIFY(log.contains("## R7Session: sid: s" + sid.left(8)));
    QVERIFY(log.contains("value:'" + sid.left(8) + "'"));
    // The whole value would let anyone with the log take over the session.
    QVERIFY(!log.contains(sid));
    QVERIFY(!log.contains(sid.mid(8)));
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
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}, {"count", 3}}) > 0);

    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(timeouts.size(), 1);
    QCOMPARE(timeouts.first().at(0).value<R7Session::SessionState>(), R7Session::SERVER_SESSION_TIMEOUT);
    QCOMPARE(int(timeouts.first().at(1).value<ErrorCode>()), validationCode);
    QCOMPARE(count(kValidationPath), 1);

    // A success re-arms the check: the next failure asks again.
    QCOMPARE(run(Request::createGet(kVersionPath)), EC_OK);
    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
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

    // The same run of failures: a later ordinary failure still asks once.
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}}) > 0);
    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(timeouts.size(), 1);
    QCOMPARE(count(kValidationPath), 1);
}

void TestSession::proxyFailureStartsNoValidation()
{
    QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
    m_session->requestFailed(EC_PROXY_AUTH);
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}}) > 0);
    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
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
    QCOMPARE(results.first().payload().versionCompatible(), QStringLiteral("2.1.0"));
    QCOMPARE(results.first().payload().versionLatest(), QStringLiteral("2.3.1"));
    QCOMPARE(results.first().payload().toString(),
             QStringLiteral("{name:'%1',version_compatible:'2.1.0',version_latest:'2.3.1'}")
                     .arg(results.first().payload().name()));
    QCOMPARE(count(kVersionPath), 1);
}

void TestSession::abortedValidationReportsNoTimeout()
{
    QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kValidationPath)}, {"stall", true}}) > 0);
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}}) > 0);
    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
    QTRY_COMPARE(count(kValidationPath), 1);
    // The user quits or cancels while the validation is under way.
    emit m_session->abort();
    QVERIFY(!timeouts.wait(300));
    // The run of failures goes on: no second validation until a success.
    QVERIFY(m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}}) > 0);
    QCOMPARE(run(Request::createGet(kFailPath)), EC_SERVICE_UNAVAILABLE);
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

    m_session->resetSession();
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_ABORTED);
    QCOMPARE(plainErrors.size(), 1);
    QCOMPARE(plainErrors.first().at(0).value<ErrorCode>(), EC_ABORTED);
    QVERIFY(oldManager); // discarded later, not at once
    QVERIFY(m_session->networkAccessManager() != oldManager.data());
    // Nothing reports twice once the old replies complete.
    QTest::qWait(100);
    QCOMPARE(results.size(), 1);
    QCOMPARE(plainErrors.size(), 1);
    // The new manager works.
    QVERIFY(m_svc.fault({{"clear", true}}) >= -1);
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
    QCOMPARE(m_session->serverUrl(), m_svc.httpUrl());
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
