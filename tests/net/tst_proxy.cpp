#include "net/NetProxy.h"
#include "net/R7Session.h"
#include "net/Request.h"

#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";

// A forwarding HTTP proxy on loopback that demands Basic credentials before it relays a connection
// to the development service.
class AuthProxy : public QTcpServer
{
public:
    AuthProxy(quint16 upstreamPort, const QByteArray &user, const QByteArray &password)
        : m_upstreamPort(upstreamPort)
        , m_expected("Basic " + (user + ':' + password).toBase64())
    {}
    int challenges = 0;

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *client = new QTcpSocket(this);
        client->setSocketDescriptor(handle);
        auto buffer = std::make_shared<QByteArray>();
        auto conn = std::make_shared<QMetaObject::Connection>();
        *conn = connect(client, &QTcpSocket::readyRead, this, [this, client, buffer, conn]() {
            *buffer += client->readAll();
            const int end = buffer->indexOf("\r\n\r\n");
            if (end >= 0) {
                disconnect(*conn);
                handleHead(client, *buffer, end);
            }
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

private:
    void handleHead(QTcpSocket *client, const QByteArray &data, int end)
    {
        QList<QByteArray> kept;
        QByteArray auth;
        for (const QByteArray &raw : data.left(end).split('\n')) {
            const QByteArray line = raw.trimmed();
            if (line.toLower().startsWith("proxy-authorization:")) {
                auth = line.mid(line.indexOf(':') + 1).trimmed();
            } else if (!line.toLower().startsWith("proxy-connection:")) {
                kept << line;
            }
        }
        if (auth != m_expected) {
            ++challenges;
            client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                          "Proxy-Authenticate: Basic realm=\"loopback-test\"\r\n"
                          "Content-Length: 0\r\nConnection: close\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        // "GET http://host:port/path HTTP/1.1" -> "GET /path HTTP/1.1"
        QList<QByteArray> first = kept.first().split(' ');
        if (first.size() == 3 && first.at(1).startsWith("http://")) {
            const int slash = first.at(1).indexOf('/', 7);
            first[1] = slash < 0 ? QByteArray("/") : first.at(1).mid(slash);
            kept[0] = first.join(' ');
        }
        auto *upstream = new QTcpSocket(client);
        upstream->connectToHost(QHostAddress::LocalHost, m_upstreamPort);
        upstream->write(kept.join("\r\n") + "\r\n\r\n" + data.mid(end + 4));
        connect(client, &QTcpSocket::readyRead, upstream, [client, upstream]() { upstream->write(client->readAll()); });
        connect(upstream, &QTcpSocket::readyRead, client, [client, upstream]() { client->write(upstream->readAll()); });
        connect(upstream, &QTcpSocket::disconnected, client, [client]() { client->disconnectFromHost(); });
        connect(client, &QTcpSocket::disconnected, upstream, [upstream]() { upstream->disconnectFromHost(); });
    }

    quint16 m_upstreamPort;
    QByteArray m_expected;
};
} // namespace

class TestProxy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void savedCredentialsAccepted();
    void refusedSavedCredentialsRemovedAndUserAsked();
    void cancelResetsTheSession();
    void newCredentialsSavedOnlyAfterSuccess();

private:
    ErrorCode run();
    QString savedUrl() const { return QSettings().value("net/proxy_url").toString(); }

    DevService m_svc;
    TestEnv *m_env = nullptr;
    AuthProxy *m_proxy = nullptr;
    R7Session *m_session = nullptr;
    QString m_proxyKey;
    QStringList m_order;   // pause / question(saved url at that moment) / resume
    QStringList m_answers; // the password typed at each question; none left: cancel
};

void TestProxy::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
    QCoreApplication::setApplicationName(QStringLiteral("proxytest"));
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    m_proxy = new AuthProxy(quint16(m_svc.httpPort()), "puser", "p@ss word");
    QVERIFY(m_proxy->listen(QHostAddress::LocalHost));
    m_proxyKey = QStringLiteral("127.0.0.1:%1").arg(m_proxy->serverPort());
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", m_proxy->serverPort()));
    m_session = R7Session::instance();
    // Loopback names bypass the proxy; the proxy, not this process, reaches the service behind this one.
    m_session->setServer(
            ServerInfo("DEV", "DEV", "Dev", QStringLiteral("http://service.test:%1").arg(m_svc.httpPort()), false));
    connect(m_session, &R7Session::pause, this, [this]() { m_order << "pause"; });
    connect(m_session, &R7Session::resume, this, [this]() { m_order << "resume"; });
    connect(m_session, &R7Session::proxyAuthenticationRequired, this,
            [this](QNetworkProxy proxy, QAuthenticator *auth, bool *canceled) {
                m_order << "question(" + savedUrl() + ")";
                QCOMPARE(int(proxy.port()), int(m_proxy->serverPort()));
                const QString password = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
                *canceled = password.isEmpty();
                if (!password.isEmpty()) {
                    auth->setUser("puser");
                    auth->setPassword(password);
                }
            });
}

void TestProxy::init()
{
    QVERIFY(m_svc.reset());
    QSettings().clear();
    m_session->resetSession();
    m_proxy->challenges = 0;
    m_order.clear();
    m_answers.clear();
}

void TestProxy::cleanupTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    delete m_proxy;
    delete m_env;
}

ErrorCode TestProxy::run()
{
    Request *r = Request::createGet(kVersionPath);
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

static void saveCredentials(quint16 port, const QString &password)
{
    NetProxy p;
    p.setUrl(QStringLiteral("127.0.0.1"), port);
    p.setUser("puser");
    p.setPassword(password);
    p.saveToSettings();
}

void TestProxy::savedCredentialsAccepted()
{
    saveCredentials(m_proxy->serverPort(), "p@ss word");
    QCOMPARE(run(), EC_OK);
    QVERIFY(m_order.isEmpty()); // nobody asked
    QCOMPARE(m_proxy->challenges, 1);
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    QCOMPARE(savedUrl(), m_proxyKey);
    QCOMPARE(m_svc.requests().last().toObject().value("path").toString(), QString(kVersionPath));

    // Later demands get nothing; only a reset opens the dialogue again.
    QAuthenticator auth;
    m_session->on_proxyAuthenticationRequired(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", 1), &auth);
    QVERIFY(auth.user().isEmpty() && auth.password().isEmpty());
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    QVERIFY(m_order.isEmpty());
    m_session->resetSession();
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_NONE);
}

void TestProxy::refusedSavedCredentialsRemovedAndUserAsked()
{
    saveCredentials(m_proxy->serverPort(), "outdated");
    LogCapture log;
    m_answers << "p@ss word";
    QCOMPARE(run(), EC_OK);
    QVERIFY(log.contains("Previous proxy auth from settings did not work"));
    // Removed before the user was asked.
    QCOMPARE(m_order, (QStringList{"pause", "question()", "resume"}));
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    NetProxy loaded;
    QVERIFY(loaded.loadFromSettings(m_proxyKey));
    QCOMPARE(loaded.user(), QStringLiteral("puser"));
    QCOMPARE(loaded.password(), QStringLiteral("p@ss word"));
}

void TestProxy::cancelResetsTheSession()
{
    QPointer<QNetworkAccessManager> before = m_session->networkAccessManager();
    QCOMPARE(run(), EC_PROXY_AUTH);
    QCOMPARE(m_order.count("question()"), 1);
    QVERIFY(m_session->networkAccessManager() != before.data());
    QVERIFY(m_session->networkAccessManager()->objectName().startsWith(QLatin1String("NAM-r")));
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_NONE);
    QVERIFY(savedUrl().isEmpty());
    QCOMPARE(m_svc.requests().size(), 0);
}

void TestProxy::newCredentialsSavedOnlyAfterSuccess()
{
    m_answers << "wrong"; // refused once, asked again, then canceled
    QCOMPARE(run(), EC_PROXY_AUTH);
    QCOMPARE(m_order.count("question()"), 2);
    QVERIFY(savedUrl().isEmpty());

    m_order.clear();
    m_answers << "p@ss word";
    QCOMPARE(run(), EC_OK);
    QCOMPARE(m_order.count("question()"), 1);
    QCOMPARE(savedUrl(), m_proxyKey);
    QCOMPARE(QSettings().value("net/proxy_user").toString(), QStringLiteral("puser"));
    // The password is not stored as typed.
    QVERIFY(!QSettings().value("net/proxy_password").toString().contains("p@ss"));
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
