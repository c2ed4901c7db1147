#include "net/ClientVersionTO_v1.h"
#include "net/R7Session.h"
#include "net/Request.h"

#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTcpServer>
#include <QtTest>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";

// Waits for the request's one terminal signal and records everything it emitted.
struct Outcome
{
    explicit Outcome(Request *r)
        : errors(r, &Request::error)
        , successes(r, &Request::success)
        , guard(r)
    {}
    bool wait(int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (errors.isEmpty() && successes.isEmpty() && t.elapsed() < ms) {
            QTest::qWait(10);
        }
        return !errors.isEmpty() || !successes.isEmpty();
    }
    ErrorCode code() const { return errors.isEmpty() ? EC_OK : errors.first().at(0).value<ErrorCode>(); }
    QString message() const { return errors.isEmpty() ? QString() : errors.first().at(1).toString(); }
    QSignalSpy errors;
    QSignalSpy successes;
    QPointer<Request> guard;
};
} // namespace

class TestRequest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void queryAndHeadersGoOutSortedOnce();
    void xsrfHeaderOnlyWhenSet();
    void formBodyEncoding();
    void jsonBodyAndContentHeaders();
    void httpAndNetworkFailures_data();
    void httpAndNetworkFailures();
    void envelopeFailures_data();
    void envelopeFailures();
    void payloadDecoded();
    void payloadDecodeFailure();
    void connectionRefused();
    void unknownHost();
    void invalidUrlFailsBeforeSending();
    void stalledReplyTimesOut();
    void abortReportsAbortedOnce();
    void abortWithReason();
    void pausedTimerDoesNotRunOut();
    void completeUploadDoublesTheWait();
    void progressRestartsOnlyARunningTimer();
    void errorBodyIsNotHandedOutAsData();
    void formReplyKeepsItsText();
    void pathSegmentsAreEncoded_data();
    void pathSegmentsAreEncoded();
    void encodedIdReachesTheService();

private:
    QJsonObject lastRequest(const QString &path) const;
    int countRequests(const QString &path) const;
    QByteArray rawRequestLog() const;
    DevService m_svc;
    TestEnv *m_env = nullptr;
    R7Session *m_session = nullptr;
};

void TestRequest::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    m_session = R7Session::instance();
    m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
}

void TestRequest::init()
{
    QVERIFY(m_svc.reset());
    m_session->setXsrfToken(QByteArray());
}

void TestRequest::cleanupTestCase()
{
    delete m_env;
}

QJsonObject TestRequest::lastRequest(const QString &path) const
{
    const QJsonArray log = m_svc.requests();
    for (int i = log.size() - 1; i >= 0; --i) {
        const QJsonObject entry = log.at(i).toObject();
        if (entry.value("path").toString() == path) {
            return entry;
        }
    }
    return {};
}

void TestRequest::queryAndHeadersGoOutSortedOnce()
{
    Request *r = Request::createGet(kVersionPath);
    r->addQueryItem("zeta", "1");
    r->addQueryItem("alpha", "first");
    r->addQueryItem("mid", "x y");
    r->addQueryItem("alpha", "second");
    r->addHeader("X-Zulu", "z");
    r->addHeader("X-Alpha", "a1");
    r->addHeader("X-Alpha", "a2");
    Outcome out(r);
    QPointer<QNetworkReply> reply;
    connect(r, &Request::success, this, [&]() { reply = r->reply(); });
    r->send(m_session);
    QVERIFY(out.wait());
    QCOMPARE(out.successes.size(), 1);
    const QJsonObject entry = lastRequest(kVersionPath);
    const QJsonObject query = entry.value("query").toObject();
    QCOMPARE(query.size(), 3);
    QCOMPARE(query.value("alpha").toString(), QStringLiteral("second"));
    QCOMPARE(query.value("mid").toString(), QStringLiteral("x y"));
    const QJsonObject headers = entry.value("headers").toObject();
    QCOMPARE(headers.value("X-Alpha").toString(), QStringLiteral("a2"));
    QCOMPARE(headers.value("Accept").toString(), QStringLiteral("application/json"));

    // The order on the wire: the service's log keeps arrival order in its raw text.
    const QByteArray raw = rawRequestLog();
    const int q = raw.lastIndexOf("\"query\"");
    QVERIFY(q >= 0);
    const int a = raw.indexOf("\"alpha\"", q), m = raw.indexOf("\"mid\"", q), z = raw.indexOf("\"zeta\"", q);
    QVERIFY(a < m && m < z);
    const int h = raw.lastIndexOf("\"headers\"");
    const int ha = raw.indexOf("\"X-Alpha\"", h), hz = raw.indexOf("\"X-Zulu\"", h);
    QVERIFY(ha > h && hz > ha);
    QCOMPARE(raw.count("\"X-Alpha\""), 1);
}

int TestRequest::countRequests(const QString &path) const
{
    int n = 0;
    for (const QJsonValue &v : m_svc.requests()) {
        n += v.toObject().value("path").toString() == path ? 1 : 0;
    }
    return n;
}

QByteArray TestRequest::rawRequestLog() const
{
    // The control reply as text: a decoded JSON object would sort its keys.
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_svc.httpPort()));
    if (!socket.waitForConnected(5000)) {
        return {};
    }
    socket.write("POST /__control/requests HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n"
                 "Connection: close\r\n\r\n{}");
    QByteArray all;
    while (socket.waitForReadyRead(5000)) {
        all += socket.readAll();
    }
    return all;
}

void TestRequest::xsrfHeaderOnlyWhenSet()
{
    for (const QByteArray &token : {QByteArray(), QByteArray(""), QByteArray("tok-123")}) {
        m_session->setXsrfToken(token);
        Request *r = Request::createGet(kVersionPath);
        Outcome out(r);
        r->send(m_session);
        QVERIFY(out.wait());
        const QJsonObject headers = lastRequest(kVersionPath).value("headers").toObject();
        if (token.isEmpty()) {
            QVERIFY(!headers.contains("X-XSRF-TOKEN"));
        } else {
            QCOMPARE(headers.value("X-XSRF-TOKEN").toString().toLatin1(), token);
        }
    }
}

void TestRequest::formBodyEncoding()
{
    QUrlQuery form;
    form.addQueryItem("user", "a b+c");
    form.addQueryItem("step", "0");
    form.addQueryItem("sym", "x&y=z%");
    Request *r = Request::createPostForm("/login", form, "application/x-www-form-urlencoded");
    Outcome out(r);
    r->send(m_session);
    QVERIFY(out.wait());
    const QJsonObject entry = lastRequest("/login");
    QCOMPARE(entry.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(entry.value("body").toString(), QStringLiteral("user=a%20b+c&step=0&sym=x%26y%3Dz%25"));
    const QJsonObject headers = entry.value("headers").toObject();
    QCOMPARE(headers.value("Content-Type").toString(), QStringLiteral("application/x-www-form-urlencoded"));
    QCOMPARE(headers.value("Content-Length").toString().toInt(), entry.value("body").toString().size());
}

void TestRequest::jsonBodyAndContentHeaders()
{
    const QJsonObject doc{{"title", "t"}, {"n", 3}};
    for (int put = 0; put < 2; ++put) {
        Request *r = put ? Request::createPutJson("/rest/public/1/echo", QJsonDocument(doc))
                         : Request::createPostJson("/rest/public/1/echo", QJsonDocument(doc));
        Outcome out(r);
        r->send(m_session);
        QVERIFY(out.wait());
        const QJsonObject entry = lastRequest("/rest/public/1/echo");
        QCOMPARE(entry.value("method").toString(), QString(put ? "PUT" : "POST"));
        const QByteArray body = entry.value("body").toString().toUtf8();
        QCOMPARE(QJsonDocument::fromJson(body).object(), doc);
        QVERIFY(body.contains('\n')); // the indented form
        const QJsonObject headers = entry.value("headers").toObject();
        QCOMPARE(headers.value("Content-Type").toString(), QStringLiteral("application/json"));
        QCOMPARE(headers.value("Content-Length").toString().toInt(), body.size());
    }
    Request *raw = Request::createPostRaw("/rest/public/1/raw", "Folder name", "text/plain; charset=UTF-8");
    Outcome out(raw);
    raw->send(m_session);
    QVERIFY(out.wait());
    const QJsonObject entry = lastRequest("/rest/public/1/raw");
    QCOMPARE(entry.value("body").toString(), QStringLiteral("Folder name"));
    QCOMPARE(entry.value("headers").toObject().value("Content-Type").toString(),
             QStringLiteral("text/plain; charset=UTF-8"));
    Request *del = Request::createDelete("/rest/public/1/thing");
    Outcome outDel(del);
    del->send(m_session);
    QVERIFY(outDel.wait());
    QCOMPARE(lastRequest("/rest/public/1/thing").value("method").toString(), QStringLiteral("DELETE"));
}

void TestRequest::httpAndNetworkFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("404") << 404 << int(EC_NETWORK) << "; HTTP: 404";
    QTest::newRow("500") << 500 << int(EC_NETWORK) << "; HTTP: 500";
    QTest::newRow("503") << 503 << int(EC_SERVICE_UNAVAILABLE) << "ServiceUnavailableError:403]; HTTP: 503";
    QTest::newRow("302") << 302 << int(EC_HTTP_REDIRECT) << "HTTP status: 302";
    QTest::newRow("301") << 301 << int(EC_HTTP_REDIRECT) << "HTTP status: 301";
}

void TestRequest::httpAndNetworkFailures()
{
    QFETCH(int, status);
    QFETCH(int, code);
    QFETCH(QString, fragment);
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"http_status", status}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    Outcome out(r);
    r->send(m_session);
    QVERIFY(out.wait());
    QCOMPARE(out.successes.size(), 0);
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(int(out.code()), code);
    QVERIFY2(out.message().contains(fragment), qPrintable(out.message()));
    if (code != EC_HTTP_REDIRECT) {
        QVERIFY(out.message().startsWith(QLatin1String("Network error: ")));
    } else {
        QCOMPARE(out.message(), fragment); // not followed: the exact message
    }
    QTRY_VERIFY(out.guard.isNull()); // deleted after reporting
    // The redirect target was never asked for.
    QVERIFY(lastRequest("/moved").isEmpty());
}

void TestRequest::envelopeFailures_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("fragment");
    const QString p = "^/rest/public/1/version/sync$";
    QTest::newRow("10904") << QJsonObject{{"path", p}, {"envelope_status", 10904}, {"message", "gone"}}
                           << int(EC_SERVICE_STATUS_10904) << "Response status: code:10904 message: gone";
    QTest::newRow("10907") << QJsonObject{{"path", p}, {"envelope_status", 10907}, {"message", "full"}}
                           << int(EC_QUOTA_EXCEEDED) << "Response status: code:10907 message: full";
    QTest::newRow("10910") << QJsonObject{{"path", p}, {"envelope_status", 10910}} << int(EC_SERVICE_STATUS_10910)
                           << "code:10910";
    QTest::newRow("10911") << QJsonObject{{"path", p}, {"envelope_status", 10911}} << int(EC_SERVICE_STATUS_10911)
                           << "code:10911";
    QTest::newRow("other") << QJsonObject{{"path", p}, {"envelope_status", 10400}, {"message", "bad"}}
                           << int(EC_SERVICE_STATUS) << "Response status: code:10400 message: bad";
    QTest::newRow("empty body") << QJsonObject{{"path", p}, {"body", "empty"}} << int(EC_EMPTY_RESPONSE)
                                << "Received empty response";
    QTest::newRow("204 without body") << QJsonObject{{"path", p}, {"http_status", 204}, {"body", "empty"}}
                                      << int(EC_EMPTY_RESPONSE) << "Received empty response";
    QTest::newRow("malformed") << QJsonObject{{"path", p}, {"body", "malformed"}} << int(EC_BAD_RESPONSE)
                               << "Bad response: json document parse error: ";
    QTest::newRow("array") << QJsonObject{{"path", p}, {"body", "[1,2]"}} << int(EC_BAD_RESPONSE)
                           << "Bad response: json document is not an object";
    QTest::newRow("no status") << QJsonObject{{"path", p}, {"body", "{\"message\":\"m\"}"}} << int(EC_BAD_RESPONSE)
                               << "Bad response: json object: missing key: 'status'";
    QTest::newRow("data not an object") << QJsonObject{{"path", p}, {"body", "{\"status\":0,\"data\":[]}"}}
                                        << int(EC_BAD_RESPONSE) << "Bad response: json object: key 'data'";
}

void TestRequest::envelopeFailures()
{
    QFETCH(QJsonObject, fault);
    QFETCH(int, code);
    QFETCH(QString, fragment);
    QVERIFY(m_svc.fault(fault) > 0);
    QList<EmptyResult> results;
    Request *r = Request::createGet(kVersionPath);
    Outcome out(r);
    sendJsonRequest<Nothing>(r, m_session, [&](const EmptyResult &res) { results << res; });
    QVERIFY(out.wait());
    QTRY_VERIFY(out.guard.isNull());
    // HTTP-level success first, then the envelope's failure: one callback only.
    QCOMPARE(out.successes.size(), 1);
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(results.size(), 1);
    QCOMPARE(int(results.first().code()), code);
    QVERIFY2(results.first().message().contains(fragment), qPrintable(results.first().message()));
}

void TestRequest::payloadDecoded()
{
    QList<Result<ClientVersionTO_v1>> results;
    Request *r = Request::createGet(kVersionPath);
    sendJsonRequest<ClientVersionTO_v1>(r, m_session, [&](const Result<ClientVersionTO_v1> &res) { results << res; });
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_OK);
    const QJsonObject version = m_svc.state().value("version").toObject();
    QCOMPARE(results.first().payload().name(), version.value("name").toString());
    QCOMPARE(results.first().payload().versionCompatible(), version.value("version_compatible").toString());
    QCOMPARE(results.first().payload().versionLatest(), version.value("version_latest").toString());
}

void TestRequest::payloadDecodeFailure()
{
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"},
                         {"body", "{\"status\":0,\"data\":{\"name\":\"n\",\"version_latest\":\"2\"}}"}}) > 0);
    QList<Result<ClientVersionTO_v1>> results;
    Request *r = Request::createGet(kVersionPath);
    sendJsonRequest<ClientVersionTO_v1>(r, m_session, [&](const Result<ClientVersionTO_v1> &res) { results << res; });
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_BAD_RESPONSE);
    QCOMPARE(results.first().message(),
             QStringLiteral("Response data: json object: missing key: 'version_compatible'"));
    QVERIFY(results.first().payload().name().isEmpty());
}

void TestRequest::connectionRefused()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    m_session->setServer(ServerInfo("X", "X", "X", QStringLiteral("http://127.0.0.1:%1").arg(port), false));
    Request *r = Request::createGet(kVersionPath);
    Outcome out(r);
    r->send(m_session);
    const bool done = out.wait();
    m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
    QVERIFY(done);
    QCOMPARE(out.code(), EC_CONNECTION_REFUSED);
    QVERIFY2(out.message().contains("ConnectionRefusedError:1]; HTTP: 0"), qPrintable(out.message()));
}

void TestRequest::unknownHost()
{
    // A name longer than any DNS name is refused by the resolver itself: no query leaves the machine.
    QString host;
    for (int i = 0; i < 26; ++i) {
        host += QStringLiteral("abcdefghij.");
    }
    host += QStringLiteral("invalid");
    m_session->setServer(ServerInfo("X", "X", "X", QStringLiteral("http://%1:8080").arg(host), false));
    Request *r = Request::createGet(kVersionPath);
    Outcome out(r);
    r->send(m_session);
    const bool done = out.wait();
    m_session->setServer(ServerInfo("DEV", "DEV", "Dev", m_svc.httpUrl(), false));
    QVERIFY(done);
    QCOMPARE(out.code(), EC_HOST_NOT_FOUND);
    QVERIFY2(out.message().contains("HostNotFoundError:3]"), qPrintable(out.message()));
}

void TestRequest::invalidUrlFailsBeforeSending()
{
    // Without its slash the path runs into the port.
    Request *r = Request::createGet(QStringLiteral("99/version"));
    Outcome out(r);
    r->send(m_session);
    // Reported inside send, nothing on the wire.
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(out.code(), EC_BAD_URL);
    QVERIFY(out.message().startsWith(QLatin1String("URL: ")));
    QVERIFY(out.message().size() > 5);
    QTRY_VERIFY(out.guard.isNull());
    QCOMPARE(m_svc.requests().size(), 0);
}

void TestRequest::stalledReplyTimesOut()
{
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    r->setTimeout(300);
    Outcome out(r);
    r->send(m_session);
    QVERIFY(out.wait());
    QCOMPARE(out.code(), EC_TIMEOUT);
    QCOMPARE(out.message(), QStringLiteral("Timeout"));
    QTRY_VERIFY(out.guard.isNull());
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(out.successes.size(), 0);
}

void TestRequest::abortReportsAbortedOnce()
{
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"stall", true}, {"count", 2}}) > 0);
    Request *a = Request::createGet(kVersionPath);
    Request *b = Request::createGet(kVersionPath);
    Outcome outA(a), outB(b);
    a->send(m_session);
    b->send(m_session);
    QTRY_COMPARE(countRequests(kVersionPath), 2);
    emit m_session->abort();
    // Reported synchronously, before the reply's own completion could claim a generic error.
    QCOMPARE(outA.errors.size(), 1);
    QCOMPARE(outB.errors.size(), 1);
    QCOMPARE(outA.code(), EC_ABORTED);
    QCOMPARE(outA.message(), QStringLiteral("Aborted"));
    QCOMPARE(outB.code(), EC_ABORTED);
    QTRY_VERIFY(outA.guard.isNull() && outB.guard.isNull());
    QCOMPARE(outA.errors.size(), 1);
    QCOMPARE(outA.successes.size() + outB.successes.size(), 0);
}

void TestRequest::abortWithReason()
{
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    Outcome out(r);
    r->send(m_session);
    QTRY_COMPARE(countRequests(kVersionPath), 1);
    r->abortWithError(EC_CLIENT, QStringLiteral("Unable to decrypt download file."));
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(out.code(), EC_CLIENT);
    QCOMPARE(out.message(), QStringLiteral("Aborted: Unable to decrypt download file."));
    // A later abort or time-out of the same request says nothing more.
    if (out.guard) {
        out.guard->abort();
        out.guard->onTimeout();
    }
    QTRY_VERIFY(out.guard.isNull());
    QCOMPARE(out.errors.size(), 1);
}

void TestRequest::pausedTimerDoesNotRunOut()
{
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    r->setTimeout(200);
    Outcome out(r);
    r->send(m_session);
    emit m_session->pause();
    QVERIFY(!out.errors.wait(700));
    QElapsedTimer t;
    t.start();
    emit m_session->resume();
    QVERIFY(out.wait());
    QCOMPARE(out.code(), EC_TIMEOUT);
    QVERIFY(t.elapsed() >= 150); // the full time-out again after resuming
}

void TestRequest::completeUploadDoublesTheWait()
{
    // The service answers 1200 ms after it has the body; the time-out is 800 ms, doubled once the
    // whole body is out.
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/upload$"}, {"delay_ms", 1200}, {"http_status", 404}}) > 0);
    Request *r =
            Request::createPostRaw("/rest/public/1/upload", QByteArray(256 * 1024, 'u'), "application/octet-stream");
    r->setTimeout(800);
    QList<QPair<qint64, qint64>> progress;
    r->setUploadProgressCallback([&](qint64 done, qint64 all) { progress << qMakePair(done, all); });
    Outcome out(r);
    r->send(m_session);
    QVERIFY(out.wait());
    QVERIFY(progress.contains(qMakePair(qint64(256 * 1024), qint64(256 * 1024))));
    // The service's answer arrived: not a time-out.
    QCOMPARE(out.code(), EC_NETWORK);
    QVERIFY(out.message().contains("HTTP: 404"));

    // Without a progress callback the single time-out applies.
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/upload$"}, {"delay_ms", 1200}, {"http_status", 404}}) > 0);
    Request *plain = Request::createPostRaw("/rest/public/1/upload", QByteArray(1024, 'u'), "application/octet-stream");
    plain->setTimeout(800);
    Outcome outPlain(plain);
    plain->send(m_session);
    QVERIFY(outPlain.wait());
    QCOMPARE(outPlain.code(), EC_TIMEOUT);
}

void TestRequest::progressRestartsOnlyARunningTimer()
{
    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    r->setTimeout(300);
    Outcome out(r);
    r->send(m_session);
    // The whole body is through: twice the time-out.
    r->restartTimer(10, 10);
    QVERIFY(!out.errors.wait(450));
    // Smaller progress afterwards: back to the single time-out, which still runs out.
    r->restartTimer(5, 10);
    QVERIFY(out.wait(2000));
    QCOMPARE(out.code(), EC_TIMEOUT);

    QVERIFY(m_svc.fault({{"path", "^/rest/public/1/version/sync$"}, {"stall", true}}) > 0);
    Request *paused = Request::createGet(kVersionPath);
    paused->setTimeout(200);
    Outcome outPaused(paused);
    paused->send(m_session);
    emit m_session->pause();
    // Progress while paused does not start the stopped timer again.
    paused->restartTimer(1, 10);
    paused->restartTimer(0, 0);
    QVERIFY(!outPaused.errors.wait(500));
    emit m_session->resume();
    QVERIFY(outPaused.wait(2000));
    QCOMPARE(outPaused.code(), EC_TIMEOUT);
}

void TestRequest::errorBodyIsNotHandedOutAsData()
{
    const QString path = "/rest/public/1/download";
    for (int status : {404, 200}) {
        QVERIFY(m_svc.fault({{"path", "^/rest/public/1/download$"},
                             {"http_status", status},
                             {"body", "content-or-error-page"}}) > 0);
        Request *r = Request::createGet(path);
        QByteArray data;
        r->setReadyReadCallback([&]() {
            QByteArray chunk;
            r->readAvailable(chunk, true);
            data += chunk;
        });
        r->setDownloadProgressCallback([](qint64, qint64) {});
        Outcome out(r);
        r->send(m_session);
        QVERIFY(out.wait());
        if (status == 200) {
            QCOMPARE(out.successes.size(), 1);
            QCOMPARE(data, QByteArray("content-or-error-page"));
        } else {
            QCOMPARE(out.code(), EC_NETWORK);
            QVERIFY(data.isEmpty());
        }
    }
}

void TestRequest::formReplyKeepsItsText()
{
    QVERIFY(m_svc.fault({{"path", "^/login$"}, {"body", "success=true; spaced = v ;salt=abc\n"}}) > 0);
    Request *r = Request::createPostForm("/login", QUrlQuery("step=0"), "application/x-www-form-urlencoded");
    QUrlQuery form;
    bool parsed = false;
    connect(r, &Request::success, this, [&]() { parsed = r->parseFormResponse(form); });
    Outcome out(r);
    r->send(m_session);
    QVERIFY(out.wait());
    QVERIFY(parsed);
    QCOMPARE(form.queryItemValue("success"), QStringLiteral("true"));
    QVERIFY(!form.hasQueryItem("spaced"));
    QCOMPARE(form.queryItemValue(" spaced ", QUrl::FullyDecoded), QStringLiteral(" v "));
    QCOMPARE(form.queryItemValue("salt", QUrl::FullyDecoded), QStringLiteral("abc\n"));

    QVERIFY(m_svc.fault({{"path", "^/login$"}, {"body", "empty"}}) > 0);
    Request *empty = Request::createPostForm("/login", QUrlQuery("step=0"), "application/x-www-form-urlencoded");
    bool emptyParsed = true;
    connect(empty, &Request::success, this, [&]() {
        QUrlQuery f;
        emptyParsed = empty->parseFormResponse(f);
    });
    Outcome outEmpty(empty);
    empty->send(m_session);
    QVERIFY(outEmpty.wait());
    QTRY_COMPARE(outEmpty.errors.size(), 1);
    QVERIFY(!emptyParsed);
    QCOMPARE(outEmpty.code(), EC_EMPTY_RESPONSE);
}

void TestRequest::pathSegmentsAreEncoded_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("segment");
    QTest::newRow("unreserved unchanged") << "AZaz09-._~"
                                          << "AZaz09-._~";
    QTest::newRow("uuid") << "3f2504e0-4f89-11d3-9a0c-0305e82c3301"
                          << "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
    QTest::newRow("slash") << "a/b"
                           << "a%2Fb";
    QTest::newRow("query and fragment") << "a?b#c"
                                        << "a%3Fb%23c";
    QTest::newRow("blank and percent") << "a b%"
                                       << "a%20b%25";
    QTest::newRow("dot segment") << ".."
                                 << "%2E%2E";
    QTest::newRow("single dot") << "."
                                << "%2E";
    QTest::newRow("dots inside") << "a..b"
                                 << "a..b";
    QTest::newRow("non-ascii") << QString::fromUtf8("ä") << "%C3%A4";
}

void TestRequest::pathSegmentsAreEncoded()
{
    QFETCH(QString, id);
    QFETCH(QString, segment);
    QCOMPARE(Request::pathSegment(id), segment);
}

void TestRequest::encodedIdReachesTheService()
{
    const QString id = QStringLiteral("x/../y?z");
    Request *r = Request::createDelete("/rest/public/1/items/" + Request::pathSegment(id));
    Outcome out(r);
    r->send(m_session);
    QVERIFY(out.wait());
    const QJsonArray log = m_svc.requests();
    QVERIFY(!log.isEmpty());
    const QJsonObject entry = log.last().toObject();
    QCOMPARE(entry.value("method").toString(), QStringLiteral("DELETE"));
    // One segment, still encoded on arrival, and no query split off.
    QCOMPARE(entry.value("path").toString(), QStringLiteral("/rest/public/1/items/x%2F..%2Fy%3Fz"));
    QVERIFY(entry.value("query").toObject().isEmpty());
}

QTEST_MAIN(TestRequest)
#include "tst_request.moc"
