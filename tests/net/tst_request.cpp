#include "net/ClientVersionTO_v1.h"
#include "net/NetProxy.h"
#include "net/R7Session.h"
#include "net/Request.h"
#include "net/SslUtil.h"
#include "net/crypto/CredCrypt.h"

#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QAuthenticator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

#include <functional>
#include <memory>
#include <utility>

#include <sys/resource.h>
#include <zlib.h>

namespace {
const char kPath[] = "/rest/public/1/version/sync";
const char kPathRe[] = "^/rest/public/1/version/sync$";
const char kValidationPath[] = "/rest/loggedin/1/clientvalidation/loggedin";
const char kFailPath[] = "/rest/public/1/failing";

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
        return QTest::qWaitFor([this]() { return !errors.isEmpty() || !successes.isEmpty(); }, ms);
    }
    ErrorCode code() const { return errors.isEmpty() ? EC_OK : errors.first().at(0).value<ErrorCode>(); }
    QSignalSpy errors;
    QSignalSpy successes;
    QPointer<Request> guard;
};

// Answers every request on loopback with one 200 reply: the head, then the body as the source
// hands it out, 1 MiB at a time as the socket drains, so that no side holds it whole.
class ReplyServer : public QTcpServer
{
public:
    ReplyServer(QByteArray head, std::function<QByteArray()> source)
        : m_head(std::move(head))
        , m_source(std::move(source))
    {
        listen(QHostAddress::LocalHost);
    }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        auto request = std::make_shared<QByteArray>();
        auto feed = [this, socket]() {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < (1 << 20)) {
                const QByteArray chunk = m_source();
                if (chunk.isEmpty()) {
                    return;
                }
                socket->write(chunk);
            }
        };
        connect(socket, &QTcpSocket::readyRead, socket, [socket, request, feed, this]() {
            *request += socket->readAll();
            if (request->contains("\r\n\r\n")) {
                request->clear();
                socket->write(m_head);
                feed();
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    QByteArray m_head;
    std::function<QByteArray()> m_source;
};

const QByteArray kEnvelope = R"({"status":0,"data":{}})";

// A JSON envelope followed by blanks, `size` bytes in all, in pieces of at most 1 MiB.
std::function<QByteArray()> envelopePieces(qint64 size)
{
    auto sent = std::make_shared<qint64>(0);
    return [sent, size]() {
        QByteArray piece = *sent == 0 ? kEnvelope : QByteArray(int(qMin<qint64>(size - *sent, 1 << 20)), ' ');
        *sent += piece.size();
        return piece;
    };
}

// The same text, gzip-compressed.
QByteArray gzipped(qint64 size)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 9, Z_DEFAULT_STRATEGY);
    const auto next = envelopePieces(size);
    QByteArray out;
    char buffer[64 * 1024];
    for (QByteArray in = next();; in = next()) {
        const int flush = in.isEmpty() ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef *>(in.data());
        z.avail_in = uInt(in.size());
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, int(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) {
            break;
        }
    }
    deflateEnd(&z);
    return out;
}

qint64 peakMemoryBytes()
{
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

// A forwarding HTTP proxy on loopback that demands Basic credentials before it
// relays a connection to the development service (which takes a proxy request's absolute target as it is).
class AuthProxy : public QTcpServer
{
public:
    AuthProxy(quint16 upstreamPort, const QByteArray &credentials)
        : m_upstreamPort(upstreamPort)
        , m_expected("\r\nProxy-Authorization: Basic " + credentials.toBase64() + "\r\n")
    {}
    int challenges = 0;

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *client = new QTcpSocket(this);
        client->setSocketDescriptor(handle);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        auto head = std::make_shared<QByteArray>();
        auto conn = std::make_shared<QMetaObject::Connection>();
        *conn = connect(client, &QTcpSocket::readyRead, this, [this, client, head, conn]() {
            *head += client->readAll();
            const int end = head->indexOf("\r\n\r\n");
            if (end < 0) {
                return;
            }
            disconnect(*conn);
            if (!head->left(end + 2).contains(m_expected)) {
                ++challenges;
                client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                              "Proxy-Authenticate: Basic realm=\"loopback-test\"\r\n"
                              "Content-Length: 0\r\nConnection: close\r\n\r\n");
                client->disconnectFromHost();
                return;
            }
            auto *upstream = new QTcpSocket(client);
            upstream->connectToHost(QHostAddress::LocalHost, m_upstreamPort);
            upstream->write(*head);
            connect(client, &QTcpSocket::readyRead, upstream, [=]() { upstream->write(client->readAll()); });
            connect(upstream, &QTcpSocket::readyRead, client, [=]() { client->write(upstream->readAll()); });
            connect(upstream, &QTcpSocket::disconnected, client, [=]() { client->disconnectFromHost(); });
            connect(client, &QTcpSocket::disconnected, upstream, [=]() { upstream->disconnectFromHost(); });
        });
    }

private:
    quint16 m_upstreamPort;
    QByteArray m_expected;
};

void saveProxy(const QString &host, int port, const QString &user, const QString &password)
{
    NetProxy p;
    p.setUrl(host, port);
    p.setUser(user);
    p.setPassword(password);
    p.saveToSettings();
}
} // namespace

class TestRequest : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    DevService m_svc;
    R7Session *m_session = nullptr;
    AuthProxy *m_proxy = nullptr;
    QString m_proxyKey;
    QStringList m_order;   // pause / question(the saved proxy at that moment) / resume
    QStringList m_answers; // the password typed at each question; none left: cancel

    QList<QJsonObject> requestsTo(const QString &path) const
    {
        QList<QJsonObject> found;
        for (const QJsonValue &v : m_svc.requests()) {
            if (v.toObject().value("path").toString() == path) {
                found << v.toObject();
            }
        }
        return found;
    }
    void useServer(const QString &url)
    {
        m_session->setServer(ServerInfo("X", "X", "X", url, url.startsWith(QLatin1String("https:"))));
    }
    Request *stalled(int timeoutMs = 0)
    {
        m_svc.fault({{"path", kPathRe}, {"stall", true}});
        Request *r = Request::createGet(kPath);
        if (timeoutMs) {
            r->setTimeout(timeoutMs);
        }
        return r;
    }

    // Sends a request and waits for its end; the code it ended with (EC_OK on success).
    ErrorCode run(Request *r)
    {
        Outcome out(r, m_session);
        return out.wait() ? out.code() : EC_TIMEOUT;
    }
    ErrorCode runOk() { return run(Request::createGet(kPath)); }
    ErrorCode runFailing()
    {
        m_svc.fault({{"path", QString("^%1$").arg(kFailPath)}, {"http_status", 503}});
        return run(Request::createGet(kFailPath));
    }
    QString sid() const { return m_svc.state().value("sessions").toArray().first().toObject().value("sid").toString(); }
    QString savedProxyUrl() const { return QSettings().value("net/proxy_url").toString(); }
    // Through the proxy; loopback names bypass it, so the service goes by another name behind it.
    void useProxy()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", m_proxy->serverPort()));
        useServer(QStringLiteral("http://service.test:%1").arg(m_svc.httpPort()));
    }
    ErrorCode runStepZero()
    {
        return run(Request::createPostForm("/login", QUrlQuery("step=0&client=SYNC&version=99.0.0"),
                                           "application/x-www-form-urlencoded"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        QVERIFY(m_svc.trustTestCa());
        QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
        QCoreApplication::setApplicationName(QStringLiteral("requesttest"));
        m_session = R7Session::instance();
        m_proxy = new AuthProxy(quint16(m_svc.httpPort()), "puser:p@ss word");
        QVERIFY(m_proxy->listen(QHostAddress::LocalHost));
        m_proxyKey = QStringLiteral("127.0.0.1:%1").arg(m_proxy->serverPort());
        connect(m_session, &R7Session::pause, this, [this]() { m_order << "pause"; });
        connect(m_session, &R7Session::resume, this, [this]() { m_order << "resume"; });
        connect(m_session, &R7Session::proxyAuthenticationRequired, this,
                [this](QNetworkProxy, QAuthenticator *auth, bool *canceled) {
                    m_order << "question(" + savedProxyUrl() + ")";
                    *canceled = m_answers.isEmpty();
                    if (!*canceled) {
                        auth->setUser("puser");
                        auth->setPassword(m_answers.takeFirst());
                    }
                });
    }
    void cleanupTestCase() { delete m_proxy; }
    void init()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        QSettings().clear();
        m_proxy->challenges = 0;
        QVERIFY(m_svc.reset());
        m_session->setXsrfToken(QByteArray());
        useServer(m_svc.httpUrl());
        // A success between tests re-arms the validation for the next one.
        m_session->resetSession();
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(m_svc.reset());
        m_order.clear();
    }

    void queryHeadersAndXsrf()
    {
        Request *r = Request::createGet(kPath);
        for (const char *kv : {"zeta=1", "alpha=first", "mid=x y", "alpha=second"}) {
            r->addQueryItem(QString(kv).section('=', 0, 0), QString(kv).section('=', 1));
        }
        r->addHeader("X-Zulu", "z");
        r->addHeader("X-Alpha", "a1");
        r->addHeader("X-Alpha", "a2");
        QCOMPARE(run(r), EC_OK);
        const QJsonObject entry = requestsTo(kPath).last();
        QCOMPARE(entry.value("query").toObject(), (QJsonObject{{"alpha", "second"}, {"mid", "x y"}, {"zeta", "1"}}));
        QCOMPARE(entry.value("headers").toObject().value("X-Alpha").toString(), QStringLiteral("a2"));

        // The order on the wire, from the raw text of the service's log (decoded JSON sorts keys).
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_svc.httpPort()));
        QVERIFY(socket.waitForConnected(5000));
        socket.write("POST /__control/requests HTTP/1.1\r\nHost: "
                     "127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                     "Connection: close\r\n\r\n{}");
        QByteArray raw;
        while (socket.waitForReadyRead(5000)) {
            raw += socket.readAll();
        }
        const int q = raw.lastIndexOf("\"query\""), h = raw.lastIndexOf("\"headers\"");
        QVERIFY(q >= 0 && raw.indexOf("\"alpha\"", q) < raw.indexOf("\"mid\"", q));
        QVERIFY(raw.indexOf("\"mid\"", q) < raw.indexOf("\"zeta\"", q));
        QVERIFY(h >= 0 && raw.indexOf("\"X-Alpha\"", h) < raw.indexOf("\"X-Zulu\"", h));

        // The anti-forgery header only when a token is set.
        QVERIFY(!entry.value("headers").toObject().contains("X-XSRF-TOKEN"));
        m_session->setXsrfToken("tok-123");
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(requestsTo(kPath).last().value("headers").toObject().value("X-XSRF-TOKEN").toString(),
                 QStringLiteral("tok-123"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        const QString none;
        QTest::newRow("404") << none << kPath << 404 << int(EC_NETWORK);
        QTest::newRow("503") << none << kPath << 503 << int(EC_SERVICE_UNAVAILABLE);
        QTest::newRow("302") << none << kPath << 302 << int(EC_HTTP_REDIRECT);
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()) << kPath << 0
                                 << int(EC_CONNECTION_REFUSED);
        // Longer than any DNS name: the resolver refuses it itself, no query leaves the machine.
        QTest::newRow("unknown host") << "http://" + QString("abcdefghij.").repeated(26) + "invalid:8080" << kPath << 0
                                      << int(EC_HOST_NOT_FOUND);
        // Without its slash the path runs into the port.
        QTest::newRow("invalid url") << none << "99/version" << 0 << int(EC_BAD_URL);
    }
    void failures()
    {
        QFETCH(QString, server);
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(int, code);
        if (status) {
            QVERIFY(m_svc.fault({{"path", kPathRe}, {"http_status", status}}) > 0);
        }
        if (!server.isEmpty()) {
            useServer(server);
        }
        Outcome out(Request::createGet(path), m_session);
        QVERIFY(out.wait());
        QCOMPARE(int(out.code()), code);
        QTRY_VERIFY(out.guard.isNull()); // deleted after reporting, once
        QCOMPARE(out.errors.size() + out.successes.size(), 1);
        // A redirect is not followed; an invalid URL sends nothing at all.
        QCOMPARE(requestsTo(kPath).size(), status ? 1 : 0);
    }

    void envelope_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("code");
        auto status = [](int s) { return QJsonObject{{"envelope_status", s}, {"message", "m"}}; };
        auto body = [](const char *b) { return QJsonObject{{"body", b}}; };
        QTest::newRow("ok") << QJsonObject() << int(EC_OK);
        QTest::newRow("10904") << status(10904) << int(EC_SERVICE_STATUS_10904);
        QTest::newRow("10907") << status(10907) << int(EC_QUOTA_EXCEEDED);
        QTest::newRow("10910") << status(10910) << int(EC_SERVICE_STATUS_10910);
        QTest::newRow("10911") << status(10911) << int(EC_SERVICE_STATUS_10911);
        QTest::newRow("other") << status(10400) << int(EC_SERVICE_STATUS);
        QTest::newRow("empty body") << body("empty") << int(EC_EMPTY_RESPONSE);
        QTest::newRow("204 without body") << QJsonObject{{"http_status", 204}, {"body", "empty"}}
                                          << int(EC_EMPTY_RESPONSE);
        QTest::newRow("malformed") << body("malformed") << int(EC_BAD_RESPONSE);
        QTest::newRow("no status") << body(R"({"message":"m"})") << int(EC_BAD_RESPONSE);
        QTest::newRow("payload incomplete")
                << body(R"({"status":0,"data":{"name":"n","version_latest":"2"}})") << int(EC_BAD_RESPONSE);
    }
    void envelope()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(int, code);
        if (!fault.isEmpty()) {
            fault.insert("path", kPathRe);
            QVERIFY(m_svc.fault(fault) > 0);
        }
        QList<Result<ClientVersionTO_v1>> results;
        Request *r = Request::createGet(kPath);
        QPointer<Request> guard(r);
        sendJsonRequest<ClientVersionTO_v1>(r, m_session,
                                            [&](const Result<ClientVersionTO_v1> &res) { results << res; });
        QTRY_VERIFY(guard.isNull());
        // HTTP-level success first, then the envelope's failure: one callback only.
        QCOMPARE(results.size(), 1);
        QCOMPARE(int(results.first().code()), code);
        QCOMPARE(results.first().payload().versionCompatible().isEmpty(), code != EC_OK);
    }

    void abortReportsOnce()
    {
        Outcome a(stalled(), m_session), c(stalled(), m_session);
        QTRY_COMPARE(requestsTo(kPath).size(), 2);
        c.guard->abortWithError(EC_CLIENT, QStringLiteral("Unable to decrypt download file."));
        emit m_session->abort();
        // Reported synchronously, before the reply's own completion could claim a generic error.
        QCOMPARE(a.code(), EC_ABORTED);
        QCOMPARE(c.code(), EC_CLIENT);
        // A later abort or time-out of the same request says nothing more.
        if (a.guard) {
            a.guard->abort();
            a.guard->onTimeout();
        }
        QTRY_VERIFY(a.guard.isNull() && c.guard.isNull());
        QCOMPARE(a.errors.size() + c.errors.size(), 2);
        QCOMPARE(a.successes.size() + c.successes.size(), 0);
    }

    void timerFollowsPauseAndProgress()
    {
        Request *r = stalled(200);
        Outcome out(r, m_session);
        emit m_session->pause();
        // Progress while paused does not start the stopped timer again.
        r->restartTimer(1, 10);
        r->restartTimer(0, 0);
        QVERIFY(!out.errors.wait(700));
        emit m_session->resume();
        QVERIFY(out.wait());
        QCOMPARE(out.code(), EC_TIMEOUT);

        Request *s = stalled(300);
        Outcome run(s, m_session);
        s->restartTimer(10, 10); // the whole body is through: twice the time-out
        QVERIFY(!run.errors.wait(450));
        s->restartTimer(5, 10); // back to the single time-out, which still runs out
        QVERIFY(run.wait(2000));
        QCOMPARE(run.code(), EC_TIMEOUT);
    }

    void formReplyKeepsItsText()
    {
        m_svc.fault({{"path", "^/login$"}, {"body", "success=true; spaced = v ;salt=abc\n"}});
        Request *r = Request::createPostForm("/login", QUrlQuery("step=0"), "application/x-www-form-urlencoded");
        QUrlQuery form;
        connect(r, &Request::success, this, [&]() { QVERIFY(r->parseFormResponse(form)); });
        QCOMPARE(run(r), EC_OK);
        // Neither trimmed nor cut at the line break.
        QCOMPARE(form.queryItemValue(" spaced ", QUrl::FullyDecoded), QStringLiteral(" v "));
        QCOMPARE(form.queryItemValue("salt", QUrl::FullyDecoded), QStringLiteral("abc\n"));
    }

    void controlCharactersInHeadersSendNothing()
    {
        // Qt sends a header value as it stands: a line break in it would forge a header.
        Request *r = Request::createGet(kPath);
        r->addHeader("X-Destination", "1\r\nX-Injected: yes");
        Outcome fromCaller(r, m_session);
        QCOMPARE(fromCaller.errors.size(), 1); // inside send
        QCOMPARE(fromCaller.code(), EC_BAD_URL);
        m_session->setXsrfToken("tok\nX-Injected: yes"); // the token comes from the service
        Outcome fromService(Request::createGet(kPath), m_session);
        m_session->setXsrfToken(QByteArray());
        QCOMPARE(fromService.errors.size(), 1);
        QCOMPARE(fromService.code(), EC_BAD_URL);
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(requestsTo(kPath).size(), 1);
    }

    void replyBodyCap_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<qint64>("size"); // decoded
        QTest::addColumn<int>("code");
        const qint64 cap = Request::MaxReplyBodySize;
        QTest::newRow("40 MB, as a listing of 100,000 objects") << QByteArray() << qint64(40000000) << int(EC_OK);
        QTest::newRow("plain over the cap") << QByteArray() << cap + 1 << int(EC_BAD_RESPONSE);
        QTest::newRow("gzip") << QByteArray("gzip") << qint64(100000) << int(EC_OK);
        QTest::newRow("gzip bomb") << QByteArray("gzip") << qint64(512) * 1024 * 1024 << int(EC_BAD_RESPONSE);
        QTest::newRow("encoding never asked for") << QByteArray("br") << qint64(1000) << int(EC_BAD_RESPONSE);
    }
    void replyBodyCap()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(qint64, size);
        QFETCH(int, code);
        auto source = envelopePieces(size);
        qint64 length = size;
        if (encoding == "gzip") {
            auto whole = std::make_shared<QByteArray>(gzipped(size));
            length = whole->size();
            source = [whole]() { return std::exchange(*whole, QByteArray()); };
        }
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n";
        if (!encoding.isEmpty()) {
            head += "Content-Encoding: " + encoding + "\r\n";
        }
        head += "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
        ReplyServer server(head, source);
        QVERIFY(server.isListening());
        useServer(QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()));

        const qint64 peakBefore = peakMemoryBytes();
        Request *r = Request::createGet(kPath);
        int parsed = -1;
        connect(r, &Request::success, this, [&]() {
            ResponseTO envelope;
            parsed = r->parseJsonResponse(envelope);
        });
        Outcome out(r, m_session);
        QVERIFY(out.wait(60000));
        QCOMPARE(int(out.code()), code);
        QCOMPARE(parsed, code == EC_OK ? 1 : -1);
        // Stopped while arriving: nothing near the offered size was ever held. (AddressSanitizer keeps
        // freed blocks for a while, so the peak says nothing there.)
        const qint64 grown = peakMemoryBytes() - peakBefore;
#ifndef __SANITIZE_ADDRESS__
        QVERIFY2(grown < 2 * Request::MaxReplyBodySize, qPrintable(QString::number(grown)));
#else
        Q_UNUSED(grown)
#endif
    }

    void serviceTextIsLoggedOnOneLine()
    {
        const QString forged = "no\n[2026-01-01T00:00:00.000]  4242 INFO Login successful for user 'admin'";
        m_svc.fault({{"path", kPathRe}, {"envelope_status", 10400}, {"message", forged}});
        LogCapture log;
        Request *r = Request::createGet(kPath);
        connect(r, &Request::success, this, [r]() {
            ResponseTO envelope;
            r->parseJsonResponse(envelope);
        });
        Outcome out(r, m_session);
        QVERIFY(out.wait());
        QCOMPARE(out.code(), EC_SERVICE_STATUS);
        QVERIFY(log.contains("Login successful for user 'admin'"));
        for (const QString &message : log.messages()) {
            QVERIFY2(!message.contains('\n') && !message.contains('\r'), qPrintable(message));
        }
    }

    void pathSegments()
    {
        const QList<QPair<QString, QString>> table{
                {"AZaz09-._~", "AZaz09-._~"}, {"a?b#c", "a%3Fb%23c"}, {"a b%", "a%20b%25"}, {"ä", "%C3%A4"}};
        for (const auto &row : table) {
            QCOMPARE(Request::pathSegment(row.first), row.second);
        }
        Outcome out(Request::createDelete("/rest/public/1/items/" + Request::pathSegment("x/../y?z")), m_session);
        QVERIFY(out.wait());
        // One segment, still encoded on arrival, and no query split off. (Its 404 starts a validation.)
        const QList<QJsonObject> sent = requestsTo(QStringLiteral("/rest/public/1/items/x%2F..%2Fy%3Fz"));
        QCOMPARE(sent.size(), 1);
        QVERIFY(sent.first().value("query").toObject().isEmpty());
    }

    // The session: cookie, validation, resets, time-outs.
    void cookieAfterStepZeroAndGoneAfterReset()
    {
        LogCapture log;
        QCOMPARE(runStepZero(), EC_OK);
        const QString value = sid();
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(m_svc.requests().last().toObject().value("headers").toObject().value("Cookie").toString(),
                 "JSESSIONID=" + value);
        // Logged shortened only.
        QVERIFY(value.size() > 8 && log.contains(value.left(8)));
        QVERIFY(!log.contains(value.mid(8)));

        m_session->resetSession();
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(!m_svc.requests().last().toObject().value("headers").toObject().contains("Cookie"));
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
        QCOMPARE(int(timeouts.first().at(1).value<ErrorCode>()), validationCode);
        QCOMPARE(requestsTo(kValidationPath).size(), 1);

        // A success re-arms the check: the next failure asks again.
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QTRY_COMPARE(requestsTo(kValidationPath).size(), 2);
    }

    void quotaFailureStartsNoValidation()
    {
        QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
        m_svc.fault({{"path", QString("^%1$").arg(kPath)}, {"envelope_status", 10907}});
        const auto quota = awaitResult<Nothing>(
                [&](auto cb) { sendJsonRequest<Nothing>(Request::createGet(kPath), m_session, cb); });
        QCOMPARE(quota.code(), EC_QUOTA_EXCEEDED);
        // A validation would have been started at once, before this next exchange.
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(!timeouts.wait(300));
        QCOMPARE(requestsTo(kValidationPath).size(), 0);
    }

    void abortedValidationReportsNoTimeout()
    {
        QSignalSpy timeouts(m_session, &R7Session::sessionTimeout);
        m_svc.fault({{"path", QString("^%1$").arg(kValidationPath)}, {"stall", true}});
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QTRY_COMPARE(requestsTo(kValidationPath).size(), 1);
        // The user quits or cancels while the validation is under way.
        emit m_session->abort();
        QVERIFY(!timeouts.wait(300));
        // The run of failures goes on: no second validation until a success.
        QCOMPARE(runFailing(), EC_SERVICE_UNAVAILABLE);
        QCOMPARE(requestsTo(kValidationPath).size(), 1);
    }

    void resetEndsPendingRequestsWithAReport()
    {
        QList<Result<ClientVersionTO_v1>> results;
        m_svc.fault({{"path", QString("^%1$").arg(kPath)}, {"stall", true}, {"count", 2}});
        m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
        Request *plain = Request::createGet(kPath);
        QSignalSpy plainErrors(plain, &Request::error);
        plain->send(m_session);
        QTRY_COMPARE(requestsTo(kPath).size(), 2);

        m_session->resetSession();
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.last().code(), EC_ABORTED);
        QCOMPARE(plainErrors.size(), 1);
        QCOMPARE(plainErrors.first().at(0).value<ErrorCode>(), EC_ABORTED);
        // Nothing reports twice once the old replies complete; the new manager works.
        QVERIFY(m_svc.reset());
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(results.size() + plainErrors.size(), 2);
    }

    // TLS: the test CA is trusted, certificate errors are never ignored.
    void httpsWithTheTestCaOverTls13()
    {
        QVERIFY(m_svc.control("tls", {{"min_version", "1.3"}}).value("ok").toBool());
        m_session->resetSession(); // no connection of an earlier handshake is reused
        useServer(m_svc.httpsUrl());
        // The first sign-in step: the service's session cookie arrives.
        QCOMPARE(runStepZero(), EC_OK);
        const QList<QNetworkCookie> cookies =
                m_session->networkAccessManager()->cookieJar()->cookiesForUrl(QUrl(m_svc.httpsUrl() + "/"));
        QCOMPARE(cookies.size(), 1);
        QCOMPARE(m_svc.requests().last().toObject().value("scheme").toString(), QStringLiteral("https"));
    }

    void certificateFailures_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::newRow("untrusted") << "self_signed";
        QTest::newRow("wrong host") << "wrong_host";
    }
    void certificateFailures()
    {
        QFETCH(QString, certificate);
        QVERIFY(m_svc.control("tls", {{"certificate", certificate}}).value("ok").toBool());
        m_session->resetSession();
        useServer(m_svc.httpsUrl());
        LogCapture log;
        // Twice: nothing is remembered as an exception after the first failure.
        for (int attempt = 0; attempt < 2; ++attempt) {
            QCOMPARE(runOk(), EC_SSL_HANDSHAKE);
        }
        // Every " (Name:number)" item of the session's line carries the name of that number.
        const QStringList lines =
                log.messages().filter(QStringLiteral("R7Session::on_networkAccessManagerSslErrors: SSL errors: ["));
        QVERIFY(!lines.isEmpty());
        int n = 0;
        for (auto it = QRegularExpression(QStringLiteral(" \\((\\w+):(-?\\d+)\\)")).globalMatch(lines.first());
             it.hasNext(); ++n) {
            const auto m = it.next();
            QCOMPARE(m.captured(1), SslUtil::sslErrorName(m.captured(2).toInt()));
        }
        QVERIFY(n > 0);
        QVERIFY(m_svc.requests().isEmpty());
    }

    // The authenticating proxy: a saved credential, the user's answer, a cancel.
    void proxySavedCredentialsAccepted()
    {
        useProxy();
        saveProxy("127.0.0.1", m_proxy->serverPort(), "puser", "p@ss word");
        QCOMPARE(runOk(), EC_OK);
        QVERIFY(m_order.isEmpty()); // nobody asked
        QCOMPARE(m_proxy->challenges, 1);
        // Later demands get nothing; only a reset opens the dialogue again.
        QAuthenticator auth;
        m_session->on_proxyAuthenticationRequired(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", 1), &auth);
        QVERIFY(auth.user().isEmpty() && auth.password().isEmpty());
    }

    void proxyRefusedSavedCredentialsRemovedAndUserAsked()
    {
        useProxy();
        saveProxy("127.0.0.1", m_proxy->serverPort(), "puser", "outdated");
        m_answers << "p@ss word";
        QCOMPARE(runOk(), EC_OK);
        // Removed before the user was asked.
        QCOMPARE(m_order, (QStringList{"pause", "question()", "resume"}));
        NetProxy loaded;
        QVERIFY(loaded.loadFromSettings(m_proxyKey));
        QCOMPARE(loaded.user() + ":" + loaded.password(), QStringLiteral("puser:p@ss word"));
    }

    void proxyCancelResetsTheSession()
    {
        useProxy();
        QPointer<QNetworkAccessManager> before = m_session->networkAccessManager();
        QCOMPARE(runOk(), EC_PROXY_AUTH);
        QVERIFY(m_session->networkAccessManager() != before.data());
        QCOMPARE(m_svc.requests().size(), 0);
    }

    void proxyNewCredentialsSavedOnlyAfterSuccess()
    {
        useProxy();
        m_answers << "wrong"; // refused once, asked again, then canceled
        QCOMPARE(runOk(), EC_PROXY_AUTH);
        QCOMPARE(m_order.count("question()"), 2);
        QVERIFY(savedProxyUrl().isEmpty());
        m_answers << "p@ss word";
        QCOMPARE(runOk(), EC_OK);
        QCOMPARE(savedProxyUrl(), m_proxyKey);
    }

    // The saved proxy credential itself: never the text as typed, in a file only the user reads.
    void proxyCredentialStored()
    {
        QSettings().setValue("app/sync_interval_minutes", 5);
        QSettings().sync();
        const QString file = QSettings().fileName();
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        const QString password = QString::fromUtf8("pä ss;w=rd");
        saveProxy("proxy.local", 8080, "alice", password);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(QFileInfo(file).permissions() & ~(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::Permissions());
        QString decrypted;
        QVERIFY(CredCrypt::decryptStored(QSettings().value("net/proxy_password").toString(), &decrypted));
        QCOMPARE(decrypted, password);
        NetProxy loaded;
        QVERIFY(loaded.loadFromSettings(QStringLiteral("proxy.local"), 8080));
        QCOMPARE(loaded.url() + loaded.user() + loaded.password(), "proxy.local:8080alice" + password);

        // One that cannot be decrypted is not loaded.
        QSettings().setValue("net/proxy_password", QStringLiteral("00112233445566778899aabbccddeeff"));
        NetProxy p;
        p.setUrl("keep.local", 1);
        QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local:8080")));
        QCOMPARE(p.url(), QStringLiteral("keep.local:1")); // unchanged
    }
};

QTEST_MAIN(TestRequest)
#include "tst_request.moc"
