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

// Relays raw TCP from a second loopback address to the service, so that it is reached under an
// address its certificate does not name.
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
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void httpsWithTheTestCa();
    void untrustedServerFails();
    void wrongHostFails();

    void errorNames_data();
    void errorNames();
    void otherNames();
    void libraryInfo();
    void dumpCertificate();
    void checkHealthyServer();
    void checkUntrustedServer();
    void checkOtherScheme();
    void checkUnresolvableHost();

private:
    struct Outcome
    {
        ErrorCode code = EC_OK;
        QString message;
    };
    Outcome run(const QString &serverUrl);
    static void verifyErrorItems(const QString &message);

    DevService m_svc;
    DevService m_stranger; // its own CA, which nobody here trusts
    TestEnv *m_env = nullptr;
    R7Session *m_session = nullptr;
};

void TestTls::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    QVERIFY2(m_stranger.start(), qPrintable(m_stranger.errorString()));
    QVERIFY(m_svc.trustTestCa());
    m_session = R7Session::instance();
    m_session->setServer(ServerInfo("DEVS", "DEVS", "Dev TLS", m_svc.httpsUrl(), true));
}

void TestTls::init()
{
    QVERIFY(m_svc.reset());
}

void TestTls::cleanupTestCase()
{
    delete m_env;
}

TestTls::Outcome TestTls::run(const QString &serverUrl)
{
    m_session->setServer(ServerInfo("T", "T", "T", serverUrl, serverUrl.startsWith("https")));
    Request *r = Request::createGet(kVersionPath);
    QSignalSpy errors(r, &Request::error);
    QSignalSpy successes(r, &Request::success);
    r->send(m_session);
    QElapsedTimer t;
    t.start();
    while (errors.isEmpty() && successes.isEmpty() && t.elapsed() < 10000) {
        QTest::qWait(10);
    }
    m_session->setServer(ServerInfo("DEVS", "DEVS", "Dev TLS", m_svc.httpsUrl(), true));
    Outcome o;
    if (!errors.isEmpty()) {
        o.code = errors.first().at(0).value<ErrorCode>();
        o.message = errors.first().at(1).toString();
    } else if (successes.isEmpty()) {
        o.code = EC_TIMEOUT;
    }
    return o;
}

// Every " (Name:number)" item carries the name the diagnostics give that number.
void TestTls::verifyErrorItems(const QString &message)
{
    QRegularExpression item(QStringLiteral(" \\((\\w+):(-?\\d+)\\)"));
    auto it = item.globalMatch(message);
    int n = 0;
    while (it.hasNext()) {
        const auto m = it.next();
        QCOMPARE(m.captured(1), SslUtil::sslErrorName(m.captured(2).toInt()));
        QVERIFY(!m.captured(1).startsWith(QLatin1String("Unknown")));
        ++n;
    }
    QVERIFY2(n > 0, qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("[#%1]").arg(n)) || message.contains(QStringLiteral("[%1]:").arg(n)));
}

// The failure as the request reports it: a handshake failure, named in full when the reply itself
// saw the certificate errors (a connection opened in advance reports them to the session only).
static void verifyHandshakeFailure(const QString &message)
{
    QVERIFY2(message.startsWith(QLatin1String("network reply ssl errors: [#")) ||
                     message.contains(QLatin1String("[SslHandshakeFailedError:6]")),
             qPrintable(message));
}

static QString sessionErrorLine(const LogCapture &log)
{
    QString line;
    for (const QString &m : log.messages()) {
        if (m.startsWith(QLatin1String("R7Session::on_networkAccessManagerSslErrors: SSL errors: ["))) {
            line = m;
        }
    }
    return line;
}

void TestTls::httpsWithTheTestCa()
{
    QList<Result<ClientVersionTO_v1>> results;
    m_session->getClientVersion([&](const Result<ClientVersionTO_v1> &r) { results << r; });
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first().code(), EC_OK);
    QVERIFY(!results.first().payload().versionLatest().isEmpty());

    // The first sign-in step over TLS: the service's session cookie arrives.
    QUrlQuery form;
    form.addQueryItem("step", "0");
    form.addQueryItem("client", "SYNC");
    form.addQueryItem("version", "99.0.0");
    Request *r = Request::createPostForm("/login", form, "application/x-www-form-urlencoded");
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

void TestTls::untrustedServerFails()
{
    QSignalSpy sessionErrors(m_session, &R7Session::sslErrors);
    LogCapture log;
    const Outcome first = run(m_stranger.httpsUrl());
    QCOMPARE(first.code, EC_SSL_HANDSHAKE);
    verifyHandshakeFailure(first.message);
    QVERIFY(sessionErrors.size() >= 1);
    verifyErrorItems(sessionErrorLine(log));
    // Nothing was remembered as an exception.
    const Outcome again = run(m_stranger.httpsUrl());
    QCOMPARE(again.code, EC_SSL_HANDSHAKE);
    QVERIFY(m_stranger.requests().isEmpty());
}

void TestTls::wrongHostFails()
{
    Relay relay(quint16(m_svc.httpsPort()));
    if (!relay.listen(QHostAddress(QStringLiteral("127.0.0.2")))) {
        QSKIP("no second loopback address here");
    }
    QSignalSpy sessionErrors(m_session, &R7Session::sslErrors);
    LogCapture log;
    const Outcome o = run(QStringLiteral("https://127.0.0.2:%1").arg(relay.serverPort()));
    QCOMPARE(o.code, EC_SSL_HANDSHAKE);
    verifyHandshakeFailure(o.message);
    bool mismatch = false;
    for (const QList<QVariant> &args : sessionErrors) {
        for (const QSslError &e : args.at(3).value<QList<QSslError>>()) {
            mismatch |= e.error() == QSslError::HostNameMismatch;
        }
    }
    QVERIFY(mismatch);
    QVERIFY(sessionErrorLine(log).contains(QStringLiteral(" (HostNameMismatch:22)")));
    QVERIFY(m_svc.requests().isEmpty());
}

void TestTls::errorNames_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("name");
    QTest::newRow("-1") << -1 << "UnspecifiedError";
    QTest::newRow("0") << 0 << "NoError";
    QTest::newRow("1") << 1 << "UnableToGetIssuerCertificate";
    QTest::newRow("9") << 9 << "SelfSignedCertificate";
    QTest::newRow("11") << 11 << "UnableToGetLocalIssuerCertificate";
    QTest::newRow("22") << 22 << "HostNameMismatch";
    QTest::newRow("24") << 24 << "CertificateBlacklisted";
    QTest::newRow("25") << 25 << "Unknown(25)";
    QTest::newRow("99") << 99 << "Unknown(99)";
    QTest::newRow("-2") << -2 << "Unknown(-2)";
}

void TestTls::errorNames()
{
    QFETCH(int, value);
    QFETCH(QString, name);
    QCOMPARE(SslUtil::sslErrorName(value), name);
}

void TestTls::otherNames()
{
    // The framework's own names where they exist, except the historic lower-case "Sslv2".
    QCOMPARE(SslUtil::protocolName(1), QStringLiteral("Sslv2"));
    QCOMPARE(SslUtil::protocolName(-1), QStringLiteral("UnknownProtocol"));
    QCOMPARE(SslUtil::protocolName(QSsl::TlsV1_2), QStringLiteral("TlsV1_2"));
    QCOMPARE(SslUtil::protocolName(7), QStringLiteral("SecureProtocols"));
    QCOMPARE(SslUtil::protocolName(8), QStringLiteral("Unknown(8)"));
    QCOMPARE(SslUtil::peerVerifyModeName(QSslSocket::AutoVerifyPeer), QStringLiteral("AutoVerifyPeer"));
    QCOMPARE(SslUtil::peerVerifyModeName(0), QStringLiteral("VerifyNone"));
    QCOMPARE(SslUtil::peerVerifyModeName(4), QStringLiteral("Undefined[4]"));
    QCOMPARE(SslUtil::sslModeName(QSslSocket::SslClientMode), QStringLiteral("SslClientMode"));
    QCOMPARE(SslUtil::sslModeName(-1), QStringLiteral("Undefined[-1]"));
}

void TestTls::libraryInfo()
{
    const QString info = SslUtil::sslLibraryInfo();
    QVERIFY2(info.startsWith(QLatin1String("OpenSSL 3.")), qPrintable(info));
    const int open = info.indexOf(QLatin1String(" ["));
    QVERIFY(open > 0);
    QVERIFY(info.endsWith(QLatin1Char(']')));
    QCOMPARE(info.mid(open).count(QLatin1Char(';')), 3);
    // What the framework links is the same library.
    QVERIFY(QSslSocket::sslLibraryVersionString().startsWith(info.left(open)));
}

void TestTls::dumpCertificate()
{
    SslUtil util;
    QCOMPARE(util.dumpCertificate(QSslCertificate()), QStringList{"null"});
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(m_svc.caCertificatePath());
    QCOMPARE(certs.size(), 1);
    const QSslCertificate &ca = certs.first();
    const QStringList lines = util.dumpCertificate(ca);
    QCOMPARE(lines.size(), 18 + ca.extensions().size());
    QCOMPARE(lines.at(1), "subject:  CN: '" + ca.subjectInfo(QSslCertificate::CommonName).join(',') + "'");
    QCOMPARE(lines.at(7), "issuer:   CN: '" + ca.issuerInfo(QSslCertificate::CommonName).join(',') + "'");
    QVERIFY(lines.at(12).startsWith(QLatin1String("snr:  '")));
    QCOMPARE(lines.at(17), "sha1: '" + QString::fromLatin1(ca.digest(QCryptographicHash::Sha1).toHex()) + "'");
    QVERIFY(lines.last().startsWith(QLatin1String("ext: oid:'")));
}

void TestTls::checkHealthyServer()
{
    LogCapture log;
    SslUtil util;
    util.checkConnection(QStringLiteral("Connection Check: "), QUrl(m_svc.httpsUrl()), m_session->sslConfiguration());
    QTRY_VERIFY(log.contains("Connection Check: encrypted: session cipher: "));
    QVERIFY(log.contains("Connection Check: SSL support: yes"));
    QVERIFY(log.contains("Connection Check: addresses for localhost: ["));
    QVERIFY(log.contains("Connection Check: encrypted: read peer certificate: START"));
    QVERIFY(log.contains("Connection Check: encrypted: read peer certificate chain: END"));
    QVERIFY(log.contains("Connection Check: encrypted: verify peer certificate chain: "));
    QVERIFY(!log.contains("ssl_errors["));
    // Only the version text of the library line.
    for (const QString &m : log.messages()) {
        if (m.startsWith(QLatin1String("Connection Check: SSL library: "))) {
            QVERIFY(!m.contains(QLatin1String(" [")));
        }
    }
    QTRY_COMPARE(util.socket()->state(), QAbstractSocket::UnconnectedState);
}

void TestTls::checkUntrustedServer()
{
    LogCapture log;
    SslUtil util;
    util.checkConnection(QStringLiteral("Connection Check: "), QUrl(m_stranger.httpsUrl()),
                         m_session->sslConfiguration());
    QTRY_VERIFY(log.contains("Connection Check: ssl_errors["));
    QString line;
    for (const QString &m : log.messages()) {
        if (m.startsWith(QLatin1String("Connection Check: ssl_errors["))) {
            line = m;
        }
    }
    QVERIFY2(QRegularExpression(QStringLiteral("'[^']+'\\[enum:\\d+\\]")).match(line).hasMatch(), qPrintable(line));
    QVERIFY(log.contains("Connection Check: ssl_errors: read peer certificate: START"));
    QTRY_COMPARE(util.socket()->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!log.contains("Connection Check: encrypted"));
}

void TestTls::checkOtherScheme()
{
    LogCapture log;
    SslUtil util;
    util.checkConnection(QStringLiteral("Connection Check: "), QUrl(m_svc.httpUrl()), m_session->sslConfiguration());
    QVERIFY(log.contains("Connection Check: SSL support: yes"));
    QVERIFY(log.contains("Connection Check: SSL library: OpenSSL 3."));
    QVERIFY(log.contains("Connection Check: addresses for 127.0.0.1: [1] 127.0.0.1"));
    QVERIFY(log.contains("Connection Check: Scheme not supported: http"));
    QVERIFY(!log.contains("config SSL protocol"));
    QVERIFY(util.socket());
    QCOMPARE(util.socket()->state(), QAbstractSocket::UnconnectedState);
}

void TestTls::checkUnresolvableHost()
{
    // Longer than any DNS name: the resolver refuses it without asking a server.
    QString host;
    for (int i = 0; i < 26; ++i) {
        host += QStringLiteral("abcdefghij.");
    }
    host += QStringLiteral("invalid");
    LogCapture log;
    SslUtil util;
    util.checkConnection(QStringLiteral("Connection Check: "), QUrl(QStringLiteral("https://%1:443").arg(host)),
                         m_session->sslConfiguration());
    bool warned = false;
    for (const LogCapture::Entry &e : log.entries()) {
        warned |= e.type == QtWarningMsg &&
                  e.text.startsWith(QLatin1String("Connection Check: Failed to get host info: "));
    }
    QVERIFY(warned);
    // It still tries.
    QVERIFY(log.contains("Connection Check: peer verify mode: "));
}

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
