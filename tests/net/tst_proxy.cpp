#include "net/crypto/CredCrypt.h"
#include "net/NetProxy.h"
#include "net/R7Session.h"
#include "net/Request.h"

#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QAuthenticator>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {
const char kVersionPath[] = "/rest/public/1/version/sync";

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
} // namespace

static void save(const QString &host, int port, const QString &user, const QString &password)
{
    NetProxy p;
    p.setUrl(host, port);
    p.setUser(user);
    p.setPassword(password);
    p.saveToSettings();
}

class TestProxy : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    DevService m_svc;
    AuthProxy *m_proxy = nullptr;
    R7Session *m_session = nullptr;
    QString m_proxyKey;
    QStringList m_order;   // pause / question(the saved proxy at that moment) / resume
    QStringList m_answers; // the password typed at each question; none left: cancel

    ErrorCode run()
    {
        Request *r = Request::createGet(kVersionPath);
        QSignalSpy errors(r, &Request::error), successes(r, &Request::success);
        r->send(m_session);
        (void)QTest::qWaitFor([&]() { return !errors.isEmpty() || !successes.isEmpty(); }, 10000);
        return !errors.isEmpty() ? errors.first().at(0).value<ErrorCode>() : successes.isEmpty() ? EC_TIMEOUT : EC_OK;
    }
    QString savedUrl() const { return QSettings().value("net/proxy_url").toString(); }
private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
        QCoreApplication::setApplicationName(QStringLiteral("proxytest"));
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        m_proxy = new AuthProxy(quint16(m_svc.httpPort()), "puser:p@ss word");
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
                    *canceled = m_answers.isEmpty();
                    if (!*canceled) {
                        auth->setUser("puser");
                        auth->setPassword(m_answers.takeFirst());
                    }
                });
    }
    void init()
    {
        QVERIFY(m_svc.reset());
        QSettings().clear();
        m_session->resetSession();
        m_proxy->challenges = 0;
        m_order.clear();
    }
    void cleanupTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        delete m_proxy;
    }

    void savedCredentialsAccepted()
    {
        save("127.0.0.1", m_proxy->serverPort(), "puser", "p@ss word");
        QCOMPARE(run(), EC_OK);
        QVERIFY(m_order.isEmpty()); // nobody asked
        QCOMPARE(m_proxy->challenges, 1);
        QCOMPARE(m_session->proxyAuthState(), R7Session::PROXYAUTH_SUCCESS);
        QCOMPARE(m_svc.requests().last().toObject().value("path").toString(), QString(kVersionPath));

        // Later demands get nothing; only a reset opens the dialogue again.
        QAuthenticator auth;
        m_session->on_proxyAuthenticationRequired(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", 1), &auth);
        QVERIFY(auth.user().isEmpty() && auth.password().isEmpty());
        QVERIFY(m_order.isEmpty());
    }

    void refusedSavedCredentialsRemovedAndUserAsked()
    {
        save("127.0.0.1", m_proxy->serverPort(), "puser", "outdated");
        m_answers << "p@ss word";
        QCOMPARE(run(), EC_OK);
        // Removed before the user was asked.
        QCOMPARE(m_order, (QStringList{"pause", "question()", "resume"}));
        NetProxy loaded;
        QVERIFY(loaded.loadFromSettings(m_proxyKey));
        QCOMPARE(loaded.user() + ":" + loaded.password(), QStringLiteral("puser:p@ss word"));
    }

    void cancelResetsTheSession()
    {
        QPointer<QNetworkAccessManager> before = m_session->networkAccessManager();
        QCOMPARE(run(), EC_PROXY_AUTH);
        QCOMPARE(m_order.count("question()"), 1);
        QVERIFY(m_session->networkAccessManager() != before.data());
        QVERIFY(savedUrl().isEmpty());
        QCOMPARE(m_svc.requests().size(), 0);
    }

    void newCredentialsSavedOnlyAfterSuccess()
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
    }

    // The saved proxy credential itself: never the text as typed.
    void saveAndLoad()
    {
        const QString password = QString::fromUtf8("pä ss;w=rd");
        save("proxy.local", 8080, "alice", password);
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
    void settingsFileReadableByTheUserOnly()
    {
        QSettings().setValue("app/sync_interval_minutes", 5);
        QSettings().sync();
        const QString file = QSettings().fileName();
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                            QFileDevice::ReadOther);
        save("proxy.local", 8080, "alice", "pw");
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(QFileInfo(file).permissions() & others, QFileDevice::Permissions());
    }
};

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
