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

#include <tuple>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";
const char kValidationPath[] = "/rest/loggedin/1/clientvalidation/loggedin";
const char kFailPath[] = "/rest/public/1/failing";
} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    DevService m_svc;
    R7Session *m_session = nullptr;

    // Sends a request and waits for its end; the code it ended with (EC_OK on success).
    ErrorCode run(Request *r)
    {
        QSignalSpy errors(r, &Request::error), successes(r, &Request::success);
        r->send(m_session);
        (void)QTest::qWaitFor([&]() { return !errors.isEmpty() || !successes.isEmpty(); }, 10000);
        return !errors.isEmpty() ? errors.first().at(0).value<ErrorCode>() : successes.isEmpty() ? EC_TIMEOUT : EC_OK;
    }
    ErrorCode runOk() { return run(Request::createGet(kVersionPath)); }
    ErrorCode runFailing()
    {
        m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}});
        return run(Request::createGet(kFailPath));
    }
    int count(const QString &path) const
    {
        int n = 0;
        for (const QJsonValue &v : m_svc.requests()) {
            n += v.toObject().value("path").toString() == path ? 1 : 0;
        }
        return n;
    }
    QString sid() const { return m_svc.state().value("sessions").toArray().first().toObject().value("sid").toString(); }
    ErrorCode runStepZero()
    {
        return run(Request::createPostForm("/login", QUrlQuery("step=0&client=SYNC&version=99.0.0"),
                                           "application/x-www-form-urlencoded"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        m_session = R7Session::instance();
        m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
    }
    void init()
    {
        // A success between tests re-arms the validation for the next one.
        QVERIFY(m_svc.reset());
        m_session->resetSession();
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(m_svc.reset());
    }

    void cookieAfterStepZeroAndGoneAfterReset()
    {
        QCOMPARE(runStepZero(), EC_OK);
        QCOMPARE(m_svc.state().value("sessions").toArray().size(), 1);
        const QString cookie = "JSESSIONID=" + sid();
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(m_svc.requests().last().toObject().value("headers").toObject().value("Cookie").toString(), cookie);

        m_session->setLoggedIn(true);
        m_session->setTransportKey(QStringLiteral("00ff"));
        m_session->setXsrfToken("tok");
        m_session->resetSession();
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(!m_svc.requests().last().toObject().value("headers").toObject().contains("Cookie"));
        // A reset leaves the sign-in alone.
        QVERIFY(m_session->isLoggedIn());
        QCOMPARE(m_session->transportKey(), QStringLiteral("00ff"));
        QCOMPARE(m_session->xsrfToken(), QByteArray("tok"));
        m_session->setLoggedIn(false);
        m_session->setTransportKey(QString());
        m_session->setXsrfToken(QByteArray());
    }

    void cookieIsLoggedShortened()
    {
        LogCapture log;
        QCOMPARE(runStepZero(), EC_OK);
        const QString value = sid();
        QVERIFY(value.size() > 8);
        QVERIFY(log.contains("## R7Session: sid: s" + value.left(8)));
        QVERIFY(log.contains("value:'" + value.left(8) + "'"));
        QVERIFY(!log.contains(value.mid(8)));
    }

    void oneValidationPerRunOfFailures_data()
    {
        QTest::addColumn<QString>("unauthenticated");
        QTest::addColumn<int>("validationCode");
        QTest::newRow("HTTP 401") << "http401" << int(EC_NETWORK);
        QTest::newRow("envelope") << "envelope" << int(EC_SERVICE_STATUS);
    }
    void oneValidationPerRunOfFailures()
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
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QTRY_COMPARE(timeouts.size(), 2);
        QCOMPARE(count(kValidationPath), 2);
    }

    void quotaAndProxyFailuresStartNoValidation()
    {
        QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
        m_svc.fault({{"path", QString("^%1$").arg(kVersionPath)}, {"envelope_status", 10907}});
        QList<EmptyResult> results;
        sendJsonRequest<Nothing>(Request::createGet(kVersionPath), m_session,
                                 [&](const EmptyResult &r) { results << r; });
        QTRY_COMPARE(results.size(), 1);
        QCOMPARE(results.first().code(), EC_QUOTA_EXCEEDED);
        // A validation would have been started at once, before this next exchange.
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(!timeouts.wait(300));
        QCOMPARE(count(kValidationPath), 0);

        // A refused proxy opens the run of failures, so the next failure in it asks nothing either.
        m_session->requestFailed(EC_PROXY_AUTH);
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(!timeouts.wait(300));
        QCOMPARE(count(kValidationPath), 0);
        QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_NONE);
    }

    void abortedValidationReportsNoTimeout()
    {
        QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
        m_svc.fault({{"path", QString("^%1$").arg(kValidationPath)}, {"stall", true}});
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QTRY_COMPARE(count(kValidationPath), 1);
        // The user quits or cancels while the validation is under way.
        emit m_session->abort();
        QVERIFY(!timeouts.wait(300));
        // The run of failures goes on: no second validation until a success.
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(count(kValidationPath), 1);
        QCOMPARE(timeouts.size(), 0);
    }

    void resetEndsPendingRequestsWithAReport()
    {
        QVERIFY(m_svc.control("version", {{"version_compatible", "2.1.0"}, {"version_latest", "2.3.1"}})
                        .value("ok")
                        .toBool());
        QList<Result<ClientVersionTO_v1>> results;
        m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
        QTRY_COMPARE(results.size(), 1);
        QCOMPARE(results.first().payload().toString(),
                 QStringLiteral("{name:'%1',version_compatible:'2.1.0',version_latest:'2.3.1'}")
                         .arg(results.first().payload().name()));

        m_svc.fault({{"path", QString("^%1$").arg(kVersionPath)}, {"stall", true}, {"count", 2}});
        m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
        Request *plain = Request::createGet(kVersionPath);
        QSignalSpy plainErrors(plain, &Request::error);
        plain->send(m_session);
        QTRY_COMPARE(count(kVersionPath), 3);
        QPointer<QNetworkAccessManager> oldManager = m_session->networkAccessManager();

        m_session->resetSession();
        QCOMPARE(results.size(), 2);
        QCOMPARE(results.last().code(), EC_ABORTED);
        QCOMPARE(plainErrors.size(), 1);
        QCOMPARE(plainErrors.first().at(0).value<ErrorCode>(), EC_ABORTED);
        QVERIFY(oldManager); // discarded later, not at once
        QNetworkAccessManager *manager = m_session->networkAccessManager();
        QVERIFY(manager != oldManager.data());
        QVERIFY(manager->objectName().startsWith(QLatin1String("NAM-r")));
        QVERIFY(manager->cookieJar()->inherits("TrackingCookieJar"));
        // Nothing reports twice once the old replies complete; the new manager works.
        QVERIFY(m_svc.reset());
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(results.size() + plainErrors.size(), 3);
    }

    void explicitPortWarmsUpAConnection()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QSignalSpy connections(&server, &QTcpServer::newConnection);
        m_session->setServer(
                ServerInfo("W", "W", "W", QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()), false));
        const bool warmed = connections.wait(3000);
        m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
        QVERIFY(warmed);
    }

    void idleCheck()
    {
        const qint64 limit = 2147483647;
        // signed in, idle for, expired
        const QList<std::tuple<bool, qint64, bool>> table{{false, limit + 10000, false},
                                                          {true, 1000, false},
                                                          {true, limit - 60000, false},
                                                          {true, limit + 10000, true},
                                                          {true, -3600000, false}}; // clock set back
        for (const auto &[loggedIn, idleMs, expired] : table) {
            m_session->setLoggedIn(loggedIn);
            m_session->setLastActivity(QDateTime::currentMSecsSinceEpoch() - idleMs);
            QCOMPARE(m_session->isClientSessionExpired(), expired);
            QVERIFY(qAbs(m_session->msecsSinceLastActivity() - idleMs) < 5000);
        }
        m_session->setLoggedIn(false);
        m_session->setLastActivity(0);
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
