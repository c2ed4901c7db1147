#include "net/NetProxy.h"

#include "net/CredCrypt.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QAuthenticator>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

class TestNetProxy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QSettings().clear(); }
    void cleanupTestCase() { delete m_env; }

    void saveAndLoad_data();
    void saveAndLoad();
    void lookupsAreExact();
    void undecryptablePasswordIsNotLoaded();
    void removeOnlyTheNamedProxy();
    void settingsFileReadableByTheUserOnly();
    void texts();
    void systemProxyReport();

private:
    TestEnv *m_env = nullptr;
};

static void save(const QString &host, int port, const QString &user, const QString &password)
{
    NetProxy p;
    p.setUrl(host, port);
    p.setUser(user);
    p.setPassword(password);
    p.saveToSettings();
}

void TestNetProxy::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
    QCoreApplication::setApplicationName(QStringLiteral("netproxy"));
}

void TestNetProxy::saveAndLoad_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("reserved characters") << QString::fromUtf8("pä ss;w=rd");
    QTest::newRow("empty") << QString();
}

void TestNetProxy::saveAndLoad()
{
    QFETCH(QString, password);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    save("proxy.local", 8080, "alice", password);
    QSettings s;
    QCOMPARE(s.value("net/proxy_url").toString(), QStringLiteral("proxy.local:8080"));
    QCOMPARE(s.value("net/proxy_user").toString(), QStringLiteral("alice"));
    const QString stored = s.value("net/proxy_password").toString();
    QVERIFY(stored.size() >= 32); // at least one cipher block, never the text itself
    QString decrypted;
    QVERIFY(CredCrypt::decryptStored(stored, &decrypted));
    QCOMPARE(decrypted, password);
    QVERIFY(!stored.contains(QStringLiteral("ss;w")));
    const QDateTime created = s.value("net/proxy_created_ts").toDateTime();
    QVERIFY(created >= before && created <= QDateTime::currentDateTimeUtc().addSecs(1));

    NetProxy loaded;
    QVERIFY(loaded.loadFromSettings(QStringLiteral("proxy.local"), 8080));
    QCOMPARE(loaded.url(), QStringLiteral("proxy.local:8080"));
    QCOMPARE(loaded.user(), QStringLiteral("alice"));
    QCOMPARE(loaded.password(), password);
}

void TestNetProxy::lookupsAreExact()
{
    LogCapture log;
    NetProxy p;
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local:8080")));
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("proxy.local"), 8080));
    QVERIFY(QSettings().allKeys().isEmpty());
    QVERIFY(log.entries().isEmpty());

    save("proxy.local", 8080, "alice", "pw");
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local"), 3128));
    QVERIFY(!p.loadFromSettings(QStringLiteral("PROXY.local:8080")));
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("proxy.local"), 3128));
    QVERIFY(p.url().isEmpty() && p.user().isEmpty() && p.password().isEmpty());

    // Only one proxy is saved: the next replaces it.
    save("second.local", 3128, "bob", "two");
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local:8080")));
    QVERIFY(p.loadFromSettings(QStringLiteral("second.local:3128")));
    QCOMPARE(p.user(), QStringLiteral("bob"));
    QCOMPARE(p.password(), QStringLiteral("two"));
}

void TestNetProxy::undecryptablePasswordIsNotLoaded()
{
    save("proxy.local", 8080, "alice", "pw");
    QSettings().setValue("net/proxy_password", QStringLiteral("00112233445566778899aabbccddeeff"));
    LogCapture log;
    NetProxy p;
    p.setUrl("keep.local", 1);
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local:8080")));
    QVERIFY(log.contains("NetProxy::loadFromSettings: unable to load proxy settings"));
    QCOMPARE(p.url(), QStringLiteral("keep.local:1")); // unchanged
    // The keys stay until someone removes them.
    QCOMPARE(QSettings().value("net/proxy_url").toString(), QStringLiteral("proxy.local:8080"));
}

void TestNetProxy::removeOnlyTheNamedProxy()
{
    save("proxy.local", 8080, "alice", "pw");
    QSettings().setValue("net/server", "PROD");
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("other.local:8080")));
    QVERIFY(NetProxy::removeFromSettings(QStringLiteral("proxy.local:8080")));
    QCOMPARE(QSettings().allKeys(), QStringList{"net/server"}); // neighbours stay
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("proxy.local:8080")));
}

void TestNetProxy::settingsFileReadableByTheUserOnly()
{
    QSettings().setValue("app/sync_interval_minutes", 5);
    QSettings().sync();
    const QString file = QSettings().fileName();
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                        QFileDevice::ReadOther);
    save("proxy.local", 8080, "alice", "pw");
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(QFileInfo(file).permissions() & others, QFileDevice::Permissions());
    // A later write of another setting keeps it so.
    QSettings().setValue("app/log_level", "WARN");
    QSettings().sync();
    QCOMPARE(QFileInfo(file).permissions() & others, QFileDevice::Permissions());
}

void TestNetProxy::texts()
{
    QCOMPARE(NetProxy::proxyTypeName(0), QStringLiteral("DefaultProxy"));
    QCOMPARE(NetProxy::proxyTypeName(5), QStringLiteral("FtpCachingProxy"));
    QCOMPARE(NetProxy::proxyTypeName(6), QStringLiteral("Unknown(6)"));
    QCOMPARE(NetProxy::proxyTypeName(-1), QStringLiteral("Unknown(-1)"));
    QNetworkProxy p(QNetworkProxy::HttpProxy, "proxy.local", 3128);
    QCOMPARE(NetProxy::toString(p),
             QStringLiteral("proxy host: proxy.local port: 3128 type: HttpProxy caching: %1 transparent: %2")
                     .arg(p.isCachingProxy() ? "true" : "false", p.isTransparentProxy() ? "true" : "false"));
    QVERIFY(NetProxy::toString(QNetworkProxy(QNetworkProxy::HttpCachingProxy, "c.local", 80))
                    .contains(QLatin1String(" type: HttpCachingProxy caching: true")));
    QAuthenticator a;
    QCOMPARE(NetProxy::authenticatorToString(a), QStringLiteral("auth realm:'' options: none"));
    a.setOption("flag", true);
    QCOMPARE(NetProxy::authenticatorToString(a), QStringLiteral("auth realm:'' options [1]: ,flag:'true'"));
    QAuthenticator b;
    b.setOption("list", QStringList{"x"});
    QCOMPARE(NetProxy::authenticatorToString(b), QStringLiteral("auth realm:'' options [1]: ,list:(type:QStringList)"));
}

void TestNetProxy::systemProxyReport()
{
    for (const QByteArray &proxy : {QByteArray(), QByteArray("http://127.0.0.1:3128")}) {
        m_env->setVar("http_proxy", proxy);
        m_env->setVar("HTTP_PROXY", QByteArray());
        m_env->setVar("no_proxy", QByteArray());
        LogCapture log;
        NetProxy::checkNetworkProxy(QStringLiteral("http://sync.varnel.example:8080"));
        QVERIFY2(log.contains(proxy.isEmpty() ? "NetProxy::checkNetworkProxy: no system proxy required"
                                              : "NetProxy::checkNetworkProxy: system proxy[0 of 1]: type:HttpProxy(3) "
                                                "host:'127.0.0.1' port:3128 caching:"),
                 qPrintable(log.messages().join('|')));
    }
    m_env->setVar("http_proxy", QByteArray());
}

QTEST_MAIN(TestNetProxy)
#include "tst_netproxy.moc"
