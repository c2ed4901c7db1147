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

#include <functional>

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
    int relayed = 0;

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
            if (end < 0) {
                return;
            }
            disconnect(*conn);
            handleHead(client, *buffer, end);
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

private:
    void handleHead(QTcpSocket *client, const QByteArray &data, int end)
    {
        QList<QByteArray> lines = data.left(end).split('\n');
        QByteArray auth;
        QList<QByteArray> kept;
        for (int i = 0; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            if (i > 0 && line.toLower().startsWith("proxy-authorization:")) {
                auth = line.mid(line.indexOf(':') + 1).trimmed();
                continue;
            }
            if (i > 0 && line.toLower().startsWith("proxy-connection:")) {
                continue;
            }
            kept << line;
        }
        if (auth != m_expected) {
            ++challenges;
            client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                          "Proxy-Authenticate: Basic realm=\"loopback-test\"\r\n"
                          "Content-Length: 0\r\nConnection: close\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        ++relayed;
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
    void cleanup();
    void cleanupTestCase();

    void savedCredentialsAccepted();
    void refusedSavedCredentialsRemovedAndUserAsked();
    void cancelResetsTheSession();
    void newCredentialsSavedOnlyAfterSuccess();
    void laterDemandsGetNoCredentials();

private:
    ErrorCode run(int timeoutMs = 10000);
    void saveCredentials(const QString &user, const QString &password);
    QString savedUrl() const { return QSettings().value("net/proxy_url").toString(); }

    DevService m_svc;
    TestEnv *m_env = nullptr;
    AuthProxy *m_proxy = nullptr;
    R7Session *m_session = nullptr;
    QString m_proxyKey;
    std::function<void(QAuthenticator *, bool *)> m_answer;
    int m_questions = 0;
    QStringList m_order;
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
    // The proxy, not this process, reaches the service behind the name.
    m_session->setServer(
            ServerInfo("DEV", "DEV", "Dev", QStringLiteral("http://service.test:%1").arg(m_svc.httpPort()), false));
    connect(m_session, &R7Session::pause, this, [this]() { m_order << "pause"; });
    connect(m_session, &R7Session::resume, this, [this]() { m_order << "resume"; });
    connect(m_session, &R7Session::proxyAuthenticationRequired, this,
            [this](QNetworkProxy proxy, QAuthenticator *auth, bool *canceled) {
                ++m_questions;
                m_order << "question";
                QCOMPARE(proxy.hostName(), QStringLiteral("127.0.0.1"));
                QCOMPARE(int(proxy.port()), int(m_proxy->serverPort()));
                if (m_answer) {
                    m_answer(auth, canceled);
                } else {
                    *canceled = true;
                }
            });
}

void TestProxy::init()
{
    QVERIFY(m_svc.reset());
    QSettings().clear();
    m_session->resetSession();
    m_proxy->challenges = 0;
    m_proxy->relayed = 0;
    m_questions = 0;
    m_order.clear();
    m_answer = nullptr;
}

void TestProxy::cleanup()
{
    m_answer = nullptr;
}

void TestProxy::cleanupTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    delete m_proxy;
    delete m_env;
}

ErrorCode TestProxy::run(int timeoutMs)
{
    Request *r = Request::createGet(kVersionPath);
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

void TestProxy::saveCredentials(const QString &user, const QString &password)
{
    NetProxy p;
    p.setUrl(QStringLiteral("127.0.0.1"), m_proxy->serverPort());
    p.setUser(user);
    p.setPassword(password);
    p.saveToSettings();
    QCOMPARE(savedUrl(), m_proxyKey);
}

void TestProxy::savedCredentialsAccepted()
{
    saveCredentials("puser", "p@ss word");
    QCOMPARE(run(), EC_OK);
    QCOMPARE(m_questions, 0);
    QCOMPARE(m_proxy->challenges, 1);
    QVERIFY(m_proxy->relayed >= 1);
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    QCOMPARE(savedUrl(), m_proxyKey);
    // The service saw the request through the proxy.
    QCOMPARE(m_svc.requests().last().toObject().value("path").toString(), QString(kVersionPath));
}

void TestProxy::refusedSavedCredentialsRemovedAndUserAsked()
{
    saveCredentials("puser", "outdated");
    LogCapture log;
    QString savedAtQuestion = QStringLiteral("unset");
    m_answer = [&](QAuthenticator *auth, bool *) {
        savedAtQuestion = savedUrl();
        auth->setUser("puser");
        auth->setPassword("p@ss word");
    };
    QCOMPARE(run(), EC_OK);
    QVERIFY(log.contains("Previous proxy auth from settings did not work"));
    QVERIFY(savedAtQuestion.isEmpty()); // removed before the user was asked
    QCOMPARE(m_questions, 1);
    QCOMPARE(m_order, (QStringList{"pause", "question", "resume"}));
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    NetProxy loaded;
    QVERIFY(loaded.loadFromSettings(m_proxyKey));
    QCOMPARE(loaded.user(), QStringLiteral("puser"));
    QCOMPARE(loaded.password(), QStringLiteral("p@ss word"));
}

void TestProxy::cancelResetsTheSession()
{
    QPointer<QNetworkAccessManager> before = m_session->networkAccessManager();
    m_answer = [](QAuthenticator *, bool *canceled) { *canceled = true; };
    QCOMPARE(run(), EC_PROXY_AUTH);
    QCOMPARE(m_questions, 1);
    QVERIFY(m_session->networkAccessManager() != before.data());
    QVERIFY(m_session->networkAccessManager()->objectName().startsWith(QLatin1String("NAM-r")));
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_NONE);
    QVERIFY(savedUrl().isEmpty());
    QCOMPARE(m_svc.requests().size(), 0);
}

void TestProxy::newCredentialsSavedOnlyAfterSuccess()
{
    int asked = 0;
    m_answer = [&](QAuthenticator *auth, bool *canceled) {
        ++asked;
        QVERIFY(savedUrl().isEmpty());
        if (asked == 1) {
            auth->setUser("puser");
            auth->setPassword("wrong");
        } else {
            *canceled = true;
        }
    };
    QCOMPARE(run(), EC_PROXY_AUTH);
    QCOMPARE(asked, 2); // refused once, asked again, then canceled
    QVERIFY(savedUrl().isEmpty());

    asked = 0;
    m_answer = [&](QAuthenticator *auth, bool *) {
        ++asked;
        QVERIFY(savedUrl().isEmpty());
        auth->setUser("puser");
        auth->setPassword("p@ss word");
    };
    QCOMPARE(run(), EC_OK);
    QCOMPARE(asked, 1);
    QCOMPARE(savedUrl(), m_proxyKey);
    QCOMPARE(QSettings().value("net/proxy_user").toString(), QStringLiteral("puser"));
    // The password is not stored as typed.
    QVERIFY(!QSettings().value("net/proxy_password").toString().contains("p@ss"));
}

void TestProxy::laterDemandsGetNoCredentials()
{
    saveCredentials("puser", "p@ss word");
    QCOMPARE(run(), EC_OK);
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    QAuthenticator auth;
    m_session->on_proxyAuthenticationRequired(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", 1), &auth);
    QVERIFY(auth.user().isEmpty());
    QVERIFY(auth.password().isEmpty());
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
    QCOMPARE(m_questions, 0);
    // Only a reset opens the dialogue again.
    m_session->resetSession();
    QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_NONE);
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
