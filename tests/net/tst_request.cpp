#include "net/ClientVersionTO_v1.h"
#include "net/R7Session.h"
#include "net/Request.h"

#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";
const char kVersionRe[] = "^/rest/public/1/version/sync$";

// Sends the request and records everything it emits.
struct Outcome
{
    Outcome(Request *r, ISession *session)
        : errors(r, &Request::error)
        , successes(r, &Request::success)
        , guard(r)
    {
        r->send(session);
    }
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

    void queryHeadersAndXsrf();
    void bodies_data();
    void bodies();
    void failures_data();
    void failures();
    void envelopeFailures_data();
    void envelopeFailures();
    void payload();
    void stalledReplyTimesOut();
    void abortReportsAbortedOnce();
    void abortWithReason();
    void pausedTimerIgnoresProgress();
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
    void useServer(const QString &url) { m_session->setServer(ServerInfo("X", "X", "X", url, false)); }
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
}

void TestRequest::init()
{
    QVERIFY(m_svc.reset());
    m_session->setXsrfToken(QByteArray());
    useServer(m_svc.httpUrl());
}

void TestRequest::cleanupTestCase()
{
    delete m_env;
}

QJsonObject TestRequest::lastRequest(const QString &path) const
{
    const QJsonArray log = m_svc.requests();
    for (int i = log.size() - 1; i >= 0; --i) {
        if (log.at(i).toObject().value("path").toString() == path) {
            return log.at(i).toObject();
        }
    }
    return {};
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

void TestRequest::queryHeadersAndXsrf()
{
    Request *r = Request::createGet(kVersionPath);
    r->addQueryItem("zeta", "1");
    r->addQueryItem("alpha", "first");
    r->addQueryItem("mid", "x y");
    r->addQueryItem("alpha", "second");
    r->addHeader("X-Zulu", "z");
    r->addHeader("X-Alpha", "a1");
    r->addHeader("X-Alpha", "a2");
    Outcome out(r, m_session);
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
    QVERIFY(!headers.contains("X-XSRF-TOKEN"));

    // The order on the wire: the service's log keeps arrival order in its raw text.
    const QByteArray raw = rawRequestLog();
    const int q = raw.lastIndexOf("\"query\"");
    const int a = raw.indexOf("\"alpha\"", q), m = raw.indexOf("\"mid\"", q), z = raw.indexOf("\"zeta\"", q);
    QVERIFY(q >= 0 && a < m && m < z);
    const int h = raw.lastIndexOf("\"headers\"");
    const int ha = raw.indexOf("\"X-Alpha\"", h), hz = raw.indexOf("\"X-Zulu\"", h);
    QVERIFY(ha > h && hz > ha);
    QCOMPARE(raw.count("\"X-Alpha\""), 1);

    for (const QByteArray &token : {QByteArray(""), QByteArray("tok-123")}) {
        m_session->setXsrfToken(token);
        Outcome o(Request::createGet(kVersionPath), m_session);
        QVERIFY(o.wait());
        const QJsonObject h = lastRequest(kVersionPath).value("headers").toObject();
        QCOMPARE(h.contains("X-XSRF-TOKEN"), !token.isEmpty());
        QCOMPARE(h.value("X-XSRF-TOKEN").toString().toLatin1(), token);
    }
}

void TestRequest::bodies_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("contentType");
    const QString json = R"({"n":3,"title":"t"})";
    QTest::newRow("form") << "form"
                          << "POST"
                          << "user=a%20b+c&step=0&sym=x%26y%3Dz%25"
                          << "application/x-www-form-urlencoded";
    QTest::newRow("post json") << "postJson"
                               << "POST" << json << "application/json";
    QTest::newRow("put json") << "putJson"
                              << "PUT" << json << "application/json";
    QTest::newRow("raw") << "raw"
                         << "POST"
                         << "Folder name"
                         << "text/plain; charset=UTF-8";
    QTest::newRow("delete") << "delete"
                            << "DELETE" << QString() << QString();
}

void TestRequest::bodies()
{
    QFETCH(QString, kind);
    QFETCH(QString, method);
    QFETCH(QString, body);
    QFETCH(QString, contentType);
    const QString path = "/rest/public/1/" + kind;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    QUrlQuery form;
    form.addQueryItem("user", "a b+c");
    form.addQueryItem("step", "0");
    form.addQueryItem("sym", "x&y=z%");
    Request *r = kind == "form"       ? Request::createPostForm(path, form, contentType)
                 : kind == "postJson" ? Request::createPostJson(path, doc)
                 : kind == "putJson"  ? Request::createPutJson(path, doc)
                 : kind == "raw"      ? Request::createPostRaw(path, body.toUtf8(), contentType)
                                      : Request::createDelete(path);
    Outcome out(r, m_session);
    QVERIFY(out.wait());
    const QJsonObject entry = lastRequest(path);
    QCOMPARE(entry.value("method").toString(), method);
    const QString sent = entry.value("body").toString();
    if (doc.isObject()) {
        QCOMPARE(QJsonDocument::fromJson(sent.toUtf8()), doc);
        QVERIFY(sent.contains('\n')); // the indented form
    } else {
        QCOMPARE(sent, body);
    }
    const QJsonObject headers = entry.value("headers").toObject();
    QCOMPARE(headers.value("Content-Type").toString(), contentType);
    if (!body.isEmpty()) {
        QCOMPARE(headers.value("Content-Length").toString().toInt(), sent.toUtf8().size());
    }
}

void TestRequest::failures_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("404") << QString() << kVersionPath << 404 << int(EC_NETWORK) << "; HTTP: 404";
    QTest::newRow("500") << QString() << kVersionPath << 500 << int(EC_NETWORK) << "; HTTP: 500";
    QTest::newRow("503") << QString() << kVersionPath << 503 << int(EC_SERVICE_UNAVAILABLE)
                         << "ServiceUnavailableError:403]; HTTP: 503";
    QTest::newRow("302") << QString() << kVersionPath << 302 << int(EC_HTTP_REDIRECT) << "HTTP status: 302";
    QTest::newRow("301") << QString() << kVersionPath << 301 << int(EC_HTTP_REDIRECT) << "HTTP status: 301";
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()) << kVersionPath << 0
                             << int(EC_CONNECTION_REFUSED) << "ConnectionRefusedError:1]; HTTP: 0";
    // Longer than any DNS name: the resolver refuses it itself, no query leaves the machine.
    QTest::newRow("unknown host") << "http://" + QString("abcdefghij.").repeated(26) + "invalid:8080" << kVersionPath
                                  << 0 << int(EC_HOST_NOT_FOUND) << "HostNotFoundError:3]";
    // Without its slash the path runs into the port.
    QTest::newRow("invalid url") << QString() << "99/version" << 0 << int(EC_BAD_URL) << "URL: ";
}

void TestRequest::failures()
{
    QFETCH(QString, server);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(int, code);
    QFETCH(QString, fragment);
    if (status) {
        QVERIFY(m_svc.fault({{"path", kVersionRe}, {"http_status", status}}) > 0);
    }
    if (!server.isEmpty()) {
        useServer(server);
    }
    Outcome out(Request::createGet(path), m_session);
    if (code == EC_BAD_URL) {
        QCOMPARE(out.errors.size(), 1); // inside send, before anything goes out
    }
    QVERIFY(out.wait());
    QCOMPARE(out.successes.size(), 0);
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(int(out.code()), code);
    QVERIFY2(out.message().contains(fragment), qPrintable(out.message()));
    if (code == EC_HTTP_REDIRECT) {
        QCOMPARE(out.message(), fragment);
    } else if (code != EC_BAD_URL) {
        QVERIFY(out.message().startsWith(QLatin1String("Network error: ")));
    }
    QTRY_VERIFY(out.guard.isNull()); // deleted after reporting
    useServer(m_svc.httpUrl());
    // A redirect is not followed; an invalid URL sends nothing at all.
    QCOMPARE(countRequests(kVersionPath), status ? 1 : 0);
}

void TestRequest::envelopeFailures_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("10904") << QJsonObject{{"envelope_status", 10904}, {"message", "gone"}}
                           << int(EC_SERVICE_STATUS_10904) << "Response status: code:10904 message: gone";
    QTest::newRow("10907") << QJsonObject{{"envelope_status", 10907}, {"message", "full"}} << int(EC_QUOTA_EXCEEDED)
                           << "Response status: code:10907 message: full";
    QTest::newRow("10910") << QJsonObject{{"envelope_status", 10910}} << int(EC_SERVICE_STATUS_10910) << "code:10910";
    QTest::newRow("10911") << QJsonObject{{"envelope_status", 10911}} << int(EC_SERVICE_STATUS_10911) << "code:10911";
    QTest::newRow("other") << QJsonObject{{"envelope_status", 10400}, {"message", "bad"}} << int(EC_SERVICE_STATUS)
                           << "Response status: code:10400 message: bad";
    QTest::newRow("empty body") << QJsonObject{{"body", "empty"}} << int(EC_EMPTY_RESPONSE)
                                << "Received empty response";
    QTest::newRow("204 without body") << QJsonObject{{"http_status", 204}, {"body", "empty"}} << int(EC_EMPTY_RESPONSE)
                                      << "Received empty response";
    QTest::newRow("malformed") << QJsonObject{{"body", "malformed"}} << int(EC_BAD_RESPONSE)
                               << "Bad response: json document parse error: ";
    QTest::newRow("array") << QJsonObject{{"body", "[1,2]"}} << int(EC_BAD_RESPONSE)
                           << "Bad response: json document is not an object";
    QTest::newRow("no status") << QJsonObject{{"body", R"({"message":"m"})"}} << int(EC_BAD_RESPONSE)
                               << "Bad response: json object: missing key: 'status'";
    QTest::newRow("data not an object") << QJsonObject{{"body", R"({"status":0,"data":[]})"}} << int(EC_BAD_RESPONSE)
                                        << "Bad response: json object: key 'data'";
    QTest::newRow("payload incomplete") << QJsonObject{{"body",
                                                        R"({"status":0,"data":{"name":"n","version_latest":"2"}})"}}
                                        << int(EC_BAD_RESPONSE)
                                        << "Response data: json object: missing key: 'version_compatible'";
}

void TestRequest::envelopeFailures()
{
    QFETCH(QJsonObject, fault);
    QFETCH(int, code);
    QFETCH(QString, fragment);
    fault.insert("path", kVersionRe);
    QVERIFY(m_svc.fault(fault) > 0);
    QList<Result<ClientVersionTO_v1>> results;
    Request *r = Request::createGet(kVersionPath);
    QSignalSpy successes(r, &Request::success);
    QSignalSpy errors(r, &Request::error);
    QPointer<Request> guard(r);
    sendJsonRequest<ClientVersionTO_v1>(r, m_session, [&](const Result<ClientVersionTO_v1> &res) { results << res; });
    QTRY_VERIFY(guard.isNull());
    // HTTP-level success first, then the envelope's failure: one callback only.
    QCOMPARE(successes.size(), 1);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(results.size(), 1);
    QCOMPARE(int(results.first().code()), code);
    QVERIFY2(results.first().message().contains(fragment), qPrintable(results.first().message()));
    QVERIFY(results.first().payload().name().isEmpty());
}

void TestRequest::payload()
{
    QList<Result<ClientVersionTO_v1>> results;
    sendJsonRequest<ClientVersionTO_v1>(Request::createGet(kVersionPath), m_session,
                                        [&](const Result<ClientVersionTO_v1> &res) { results << res; });
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_OK);
    const QJsonObject version = m_svc.state().value("version").toObject();
    QCOMPARE(results.first().payload().name(), version.value("name").toString());
    QCOMPARE(results.first().payload().versionCompatible(), version.value("version_compatible").toString());
    QCOMPARE(results.first().payload().versionLatest(), version.value("version_latest").toString());
}

void TestRequest::stalledReplyTimesOut()
{
    QVERIFY(m_svc.fault({{"path", kVersionRe}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    r->setTimeout(300);
    Outcome out(r, m_session);
    QVERIFY(out.wait());
    QCOMPARE(out.code(), EC_TIMEOUT);
    QCOMPARE(out.message(), QStringLiteral("Timeout"));
    QTRY_VERIFY(out.guard.isNull());
    QCOMPARE(out.errors.size(), 1);
    QCOMPARE(out.successes.size(), 0);
}

void TestRequest::abortReportsAbortedOnce()
{
    QVERIFY(m_svc.fault({{"path", kVersionRe}, {"stall", true}, {"count", 2}}) > 0);
    Outcome a(Request::createGet(kVersionPath), m_session), b(Request::createGet(kVersionPath), m_session);
    QTRY_COMPARE(countRequests(kVersionPath), 2);
    emit m_session->abort();
    // Reported synchronously, before the reply's own completion could claim a generic error.
    QCOMPARE(a.errors.size(), 1);
    QCOMPARE(b.errors.size(), 1);
    QCOMPARE(a.message(), QStringLiteral("Aborted"));
    QCOMPARE(b.code(), EC_ABORTED);
    QTRY_VERIFY(a.guard.isNull() && b.guard.isNull());
    QCOMPARE(a.errors.size() + b.errors.size(), 2);
    QCOMPARE(a.successes.size() + b.successes.size(), 0);
}

void TestRequest::abortWithReason()
{
    QVERIFY(m_svc.fault({{"path", kVersionRe}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    Outcome out(r, m_session);
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

void TestRequest::pausedTimerIgnoresProgress()
{
    QVERIFY(m_svc.fault({{"path", kVersionRe}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    r->setTimeout(200);
    Outcome out(r, m_session);
    emit m_session->pause();
    // Progress while paused does not start the stopped timer again.
    r->restartTimer(1, 10);
    r->restartTimer(0, 0);
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
    // whole body is out. Without a progress callback the single time-out applies.
    for (const int size : {256 * 1024, 0}) {
        QVERIFY(m_svc.fault({{"path", "^/rest/public/1/upload$"}, {"delay_ms", 1200}, {"http_status", 404}}) > 0);
        Request *r = Request::createPostRaw("/rest/public/1/upload", QByteArray(qMax(size, 1024), 'u'),
                                            "application/octet-stream");
        r->setTimeout(800);
        QList<QPair<qint64, qint64>> progress;
        if (size) {
            r->setUploadProgressCallback([&](qint64 done, qint64 all) { progress << qMakePair(done, all); });
        }
        Outcome out(r, m_session);
        QVERIFY(out.wait());
        QCOMPARE(out.code(), size ? EC_NETWORK : EC_TIMEOUT); // EC_NETWORK: the service's 404 arrived
        QCOMPARE(progress.contains(qMakePair(qint64(size), qint64(size))), size > 0);
    }
}

void TestRequest::progressRestartsOnlyARunningTimer()
{
    QVERIFY(m_svc.fault({{"path", kVersionRe}, {"stall", true}}) > 0);
    Request *r = Request::createGet(kVersionPath);
    r->setTimeout(300);
    Outcome out(r, m_session);
    // The whole body is through: twice the time-out.
    r->restartTimer(10, 10);
    QVERIFY(!out.errors.wait(450));
    // Smaller progress afterwards: back to the single time-out, which still runs out.
    r->restartTimer(5, 10);
    QVERIFY(out.wait(2000));
    QCOMPARE(out.code(), EC_TIMEOUT);
}

void TestRequest::errorBodyIsNotHandedOutAsData()
{
    for (int status : {404, 200}) {
        QVERIFY(m_svc.fault({{"path", "^/rest/public/1/download$"}, {"http_status", status}, {"body", "page"}}) > 0);
        Request *r = Request::createGet("/rest/public/1/download");
        QByteArray data;
        r->setReadyReadCallback([&]() {
            QByteArray chunk;
            r->readAvailable(chunk, true);
            data += chunk;
        });
        r->setDownloadProgressCallback([](qint64, qint64) {});
        Outcome out(r, m_session);
        QVERIFY(out.wait());
        QCOMPARE(out.code(), status == 200 ? EC_OK : EC_NETWORK);
        QCOMPARE(data, QByteArray(status == 200 ? "page" : ""));
    }
}

void TestRequest::formReplyKeepsItsText()
{
    for (const char *body : {"success=true; spaced = v ;salt=abc\n", "empty"}) {
        QVERIFY(m_svc.fault({{"path", "^/login$"}, {"body", body}}) > 0);
        Request *r = Request::createPostForm("/login", QUrlQuery("step=0"), "application/x-www-form-urlencoded");
        QUrlQuery form;
        int parsed = -1;
        connect(r, &Request::success, this, [&]() { parsed = r->parseFormResponse(form); });
        Outcome out(r, m_session);
        QVERIFY(out.wait());
        if (qstrcmp(body, "empty") == 0) {
            QTRY_COMPARE(out.errors.size(), 1);
            QCOMPARE(parsed, 0);
            QCOMPARE(out.code(), EC_EMPTY_RESPONSE);
            continue;
        }
        QCOMPARE(parsed, 1);
        // Neither trimmed nor cut at the line break.
        QCOMPARE(form.queryItemValue("success"), QStringLiteral("true"));
        QVERIFY(!form.hasQueryItem("spaced"));
        QCOMPARE(form.queryItemValue(" spaced ", QUrl::FullyDecoded), QStringLiteral(" v "));
        QCOMPARE(form.queryItemValue("salt", QUrl::FullyDecoded), QStringLiteral("abc\n"));
    }
}

void TestRequest::pathSegmentsAreEncoded_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("segment");
    QTest::newRow("unreserved") << "AZaz09-._~"
                                << "AZaz09-._~";
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
    Outcome out(Request::createDelete("/rest/public/1/items/" + Request::pathSegment("x/../y?z")), m_session);
    QVERIFY(out.wait());
    const QJsonObject entry = m_svc.requests().last().toObject();
    QCOMPARE(entry.value("method").toString(), QStringLiteral("DELETE"));
    // One segment, still encoded on arrival, and no query split off.
    QCOMPARE(entry.value("path").toString(), QStringLiteral("/rest/public/1/items/x%2F..%2Fy%3Fz"));
    QVERIFY(entry.value("query").toObject().isEmpty());
}

QTEST_MAIN(TestRequest)
#include "tst_request.moc"
