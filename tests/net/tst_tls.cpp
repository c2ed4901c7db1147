#include "net/R7Session.h"
#include "net/Request.h"
#include "net/SslUtil.h"

#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QNetworkCookieJar>
#include <QRegularExpression>
#include <QSslCertificateExtension>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";

// Relays raw TCP from a second loopback address to the service, so that it is
// reached under an address its certificate does not name.
class Relay : public QTcpServer
{
public:
    explicit Relay(quint16 target)
        : m_target(target)
    {}

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *in = new QTcpSocket(this);
        in->setSocketDescriptor(handle);
        auto *out = new QTcpSocket(in);
        out->connectToHost(QHostAddress::LocalHost, m_target);
        connect(in, &QTcpSocket::readyRead, out, [in, out]() { out->write(in->readAll()); });
        connect(out, &QTcpSocket::readyRead, in, [in, out]() { in->write(out->readAll()); });
        connect(out, &QTcpSocket::disconnected, in, [in]() { in->disconnectFromHost(); });
        connect(in, &QTcpSocket::disconnected, in, &QObject::deleteLater);
    }

private:
    quint16 m_target;
};
} // namespace

class TestTls : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    DevService m_svc;
    DevService m_stranger; // its own CA, which nobody here trusts
    R7Session *m_session = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        QVERIFY2(m_stranger.start(), qPrintable(m_stranger.errorString()));
        QVERIFY(m_svc.trustTestCa());
        m_session = R7Session::instance();
        m_session->setServer(ServerInfo("DEVS", "DEVS", "Dev TLS", m_svc.httpsUrl(), true));
    }

    void httpsWithTheTestCa()
    {
        QList<Result<ClientVersionTO_v1>> results;
        m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
        QTRY_COMPARE(results.size(), 1);
        QCOMPARE(results.first().code(), EC_OK);
        QVERIFY(!results.first().payload().versionLatest().isEmpty());

        // The first sign-in step over TLS: the service's session cookie arrives.
        Request *r = Request::createPostForm("/login", QUrlQuery("step=0&client=SYNC&version=99.0.0"),
                                             "application/x-www-form-urlencoded");
        QSignalSpy ok(r, &Request::success);
        QUrlQuery reply;
        connect(r, &Request::success, this, [&]() { QVERIFY(r->parseFormResponse(reply)); });
        r->send(m_session);
        QVERIFY(ok.wait(10000));
        QCOMPARE(reply.queryItemValue("success"), QStringLiteral("true"));
        const QList<QNetworkCookie> cookies =
                m_session->networkAccessManager()->cookieJar()->cookiesForUrl(QUrl(m_svc.httpsUrl() + "/"));
        QCOMPARE(cookies.size(), 1);
        QCOMPARE(cookies.first().name(), QByteArray("JSESSIONID"));
        QCOMPARE(m_svc.requests().last().toObject().value("scheme").toString(), QStringLiteral("https"));
    }

    void certificateFailures_data()
    {
        QTest::addColumn<bool>("wrongHost");
        QTest::newRow("untrusted CA") << false;
        QTest::newRow("wrong host") << true;
    }
    void certificateFailures()
    {
        QFETCH(bool, wrongHost);
        Relay relay(quint16(m_svc.httpsPort()));
        if (wrongHost && !relay.listen(QHostAddress(QStringLiteral("127.0.0.2")))) {
            QSKIP("no second loopback address here");
        }
        QVERIFY(m_svc.reset() && m_stranger.reset());
        const QString url =
                wrongHost ? QStringLiteral("https://127.0.0.2:%1").arg(relay.serverPort()) : m_stranger.httpsUrl();
        m_session->setServer(ServerInfo("T", "T", "T", url, true));
        // Twice: nothing is remembered as an exception after the first failure.
        for (int attempt = 0; attempt < 2; ++attempt) {
            QSignalSpy sessionErrors(m_session, &R7Session::sslErrors);
            LogCapture log;
            Request *r = Request::createGet(kVersionPath);
            QSignalSpy errors(r, &Request::error);
            r->send(m_session);
            QVERIFY(errors.wait(10000));
            QCOMPARE(errors.first().at(0).value<ErrorCode>(), EC_SSL_HANDSHAKE);
            // Named in full when the reply itself saw the errors; a connection opened
            // in advance reports them to the session only.
            const QString message = errors.first().at(1).toString();
            QVERIFY2(message.startsWith(QLatin1String("network reply ssl errors: [#")) ||
                             message.contains(QLatin1String("[SslHandshakeFailedError:6]")),
                     qPrintable(message));
            if (attempt > 0) {
                break;
            }
            QSet<int> seen;
            for (const QList<QVariant> &args : sessionErrors) {
                for (const QSslError &e : args.at(3).value<QList<QSslError>>()) {
                    seen << int(e.error());
                }
            }
            QVERIFY(!seen.isEmpty() && (!wrongHost || seen.contains(QSslError::HostNameMismatch)));
            // Every " (Name:number)" item of the session's line carries the name of that number.
            const QStringList lines =
                    log.messages().filter(QStringLiteral("R7Session::on_networkAccessManagerSslErrors: SSL errors: ["));
            QVERIFY(!lines.isEmpty());
            auto it = QRegularExpression(QStringLiteral(" \\((\\w+):(-?\\d+)\\)")).globalMatch(lines.last());
            int n = 0;
            for (; it.hasNext(); ++n) {
                const auto m = it.next();
                QCOMPARE(m.captured(1), SslUtil::sslErrorName(m.captured(2).toInt()));
                QVERIFY(!m.captured(1).startsWith(QLatin1String("Unknown")));
            }
            QVERIFY(n > 0 && (lines.last().contains(QStringLiteral("[#%1]").arg(n)) ||
                              lines.last().contains(QStringLiteral("[%1]:").arg(n))));
            QVERIFY(!wrongHost || lines.last().contains(QStringLiteral(" (HostNameMismatch:22)")));
        }
        m_session->setServer(ServerInfo("DEVS", "DEVS", "Dev TLS", m_svc.httpsUrl(), true));
        QVERIFY(m_svc.requests().isEmpty() && m_stranger.requests().isEmpty());
    }

    void tls13OnlyService()
    {
        QVERIFY(m_svc.reset());
        QVERIFY(m_svc.control("tls", {{"min_version", "1.3"}}).value("ok").toBool());
        m_session->resetSession(); // no connection of an earlier handshake is reused
        m_session->setServer(ServerInfo("DEVS", "DEVS", "Dev TLS", m_svc.httpsUrl(), true));
        QList<Result<ClientVersionTO_v1>> results;
        m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
        QTRY_COMPARE(results.size(), 1);
        QVERIFY(m_svc.reset());
        QVERIFY2(results.first().isOk(), qPrintable(results.first().message()));
    }

    void namesAndLibrary()
    {
        QCOMPARE(SslUtil::sslErrorName(-1), QStringLiteral("UnspecifiedError"));
        QCOMPARE(SslUtil::sslErrorName(25), QStringLiteral("Unknown(25)"));
        // The framework's own names where they exist, except the historic lower-case "Sslv2".
        QCOMPARE(SslUtil::protocolName(1), QStringLiteral("Sslv2"));
        QCOMPARE(SslUtil::protocolName(8), QStringLiteral("Unknown(8)"));
        QCOMPARE(SslUtil::peerVerifyModeName(4), QStringLiteral("Undefined[4]"));

        const QString info = SslUtil::sslLibraryInfo();
        QVERIFY2(info.startsWith(QLatin1String("OpenSSL 3.")), qPrintable(info));
        const int open = info.indexOf(QLatin1String(" ["));
        QVERIFY(open > 0 && info.endsWith(QLatin1Char(']')));
        QCOMPARE(info.mid(open).count(QLatin1Char(';')), 3);
        // What the framework links is the same library.
        QVERIFY(QSslSocket::sslLibraryVersionString().startsWith(info.left(open)));
    }

    // The diagnostics of the connection check: a healthy service, an untrusted one, a plain-HTTP one.
    void connectionCheck()
    {
        const QList<QPair<QString, QStringList>> table{
                {m_svc.httpsUrl(),
                 {"SSL support: yes", "addresses for localhost: [", "encrypted: read peer certificate: START",
                  "encrypted: read peer certificate chain: END",
                  "encrypted: verify peer certificate chain: ", "!ssl_errors[", "encrypted: session cipher: "}},
                {m_stranger.httpsUrl(),
                 {"ssl_errors: read peer certificate: START", "'[enum:", "!encrypted", "ssl_errors["}},
                {m_svc.httpUrl(),
                 {"SSL library: OpenSSL 3.", "addresses for 127.0.0.1: [1] 127.0.0.1", "!config SSL protocol",
                  "Scheme not supported: http"}}};
        for (const auto &[url, lines] : table) {
            LogCapture log;
            SslUtil util;
            util.checkConnection(QStringLiteral("Connection Check: "), QUrl(url), m_session->sslConfiguration());
            QTRY_VERIFY(log.contains("Connection Check: " + lines.last())); // the last one ends the check
            for (const QString &line : lines) {
                QVERIFY2(log.contains(line.mid(line.startsWith('!'))) != line.startsWith('!'), qPrintable(line));
            }
            QVERIFY(util.socket());
            QTRY_COMPARE(util.socket()->state(), QAbstractSocket::UnconnectedState);
            // Only the version text of the library line.
            QCOMPARE(log.messages().filter(QRegularExpression("^Connection Check: SSL library: .* \\[")).size(), 0);
        }
    }
};

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
