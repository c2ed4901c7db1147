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
    void init();
    void cleanupTestCase();

    void nothingSaved();
    void saveAndLoad();
    void portIsPartOfTheKey();
    void savingReplacesTheOtherProxy();
    void undecryptablePasswordIsNotLoaded();
    void emptyPasswordIsSavedLikeAnyOther();
    void removeOnlyTheNamedProxy();
    void settingsFileReadableByTheUserOnly();
    void typeNames_data();
    void typeNames();
    void proxyText();
    void authenticatorText();
    void systemProxyReport();

private:
    static NetProxy make(const QString &host, int port, const QString &user, const QString &password);
    TestEnv *m_env = nullptr;
};

void TestNetProxy::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
    QCoreApplication::setApplicationName(QStringLiteral("netproxy"));
}

void TestNetProxy::init()
{
    QSettings().clear();
}

void TestNetProxy::cleanupTestCase()
{
    delete m_env;
}

NetProxy TestNetProxy::make(const QString &host, int port, const QString &user, const QString &password)
{
    NetProxy p;
    p.setUrl(host, port);
    p.setUser(user);
    p.setPassword(password);
    return p;
}

void TestNetProxy::nothingSaved()
{
    LogCapture log;
    NetProxy p;
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local:8080")));
    QVERIFY(p.url().isEmpty() && p.user().isEmpty() && p.password().isEmpty());
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("proxy.local"), 8080));
    QVERIFY(QSettings().allKeys().isEmpty());
    QVERIFY(log.entries().isEmpty());
}

void TestNetProxy::saveAndLoad()
{
    const NetProxy saved = make("proxy.local", 8080, "alice", QString::fromUtf8("pä ss;w=rd"));
    QCOMPARE(saved.url(), QStringLiteral("proxy.local:8080"));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    saved.saveToSettings();
    QSettings s;
    QCOMPARE(s.value("net/proxy_url").toString(), QStringLiteral("proxy.local:8080"));
    QCOMPARE(s.value("net/proxy_user").toString(), QStringLiteral("alice"));
    const QString stored = s.value("net/proxy_password").toString();
    QString decrypted;
    QVERIFY(CredCrypt::decryptStored(stored, &decrypted));
    QCOMPARE(decrypted, saved.password());
    QVERIFY(!stored.contains(QStringLiteral("ss;w")));
    const QDateTime created = s.value("net/proxy_created_ts").toDateTime();
    QVERIFY(created >= before && created <= QDateTime::currentDateTimeUtc().addSecs(1));

    NetProxy loaded;
    QVERIFY(loaded.loadFromSettings(QStringLiteral("proxy.local"), 8080));
    QCOMPARE(loaded.url(), saved.url());
    QCOMPARE(loaded.user(), saved.user());
    QCOMPARE(loaded.password(), saved.password());
}

void TestNetProxy::portIsPartOfTheKey()
{
    make("proxy.local", 8080, "alice", "pw").saveToSettings();
    NetProxy p;
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local"), 3128));
    QVERIFY(!p.loadFromSettings(QStringLiteral("PROXY.local:8080"))); // exact comparison
    QVERIFY(p.user().isEmpty());
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("proxy.local"), 3128));
    QCOMPARE(QSettings().value("net/proxy_url").toString(), QStringLiteral("proxy.local:8080"));
}

void TestNetProxy::savingReplacesTheOtherProxy()
{
    make("first.local", 8080, "alice", "one").saveToSettings();
    make("second.local", 3128, "bob", "two").saveToSettings();
    NetProxy p;
    QVERIFY(!p.loadFromSettings(QStringLiteral("first.local:8080")));
    QVERIFY(p.loadFromSettings(QStringLiteral("second.local:3128")));
    QCOMPARE(p.user(), QStringLiteral("bob"));
    QCOMPARE(p.password(), QStringLiteral("two"));
}

void TestNetProxy::undecryptablePasswordIsNotLoaded()
{
    make("proxy.local", 8080, "alice", "pw").saveToSettings();
    QSettings().setValue("net/proxy_password", QStringLiteral("00112233445566778899aabbccddeeff"));
    LogCapture log;
    NetProxy p = make("keep.local", 1, "keep", "keep");
    QVERIFY(!p.loadFromSettings(QStringLiteral("proxy.local:8080")));
    QVERIFY(log.contains("NetProxy::loadFromSettings: unable to load proxy settings"));
    QCOMPARE(p.user(), QStringLiteral("keep")); // unchanged
    QCOMPARE(p.url(), QStringLiteral("keep.local:1"));
    // The keys stay until someone removes them.
    QCOMPARE(QSettings().value("net/proxy_url").toString(), QStringLiteral("proxy.local:8080"));
}

void TestNetProxy::emptyPasswordIsSavedLikeAnyOther()
{
    make("proxy.local", 8080, "alice", QString()).saveToSettings();
    const QString stored = QSettings().value("net/proxy_password").toString();
    QCOMPARE(stored.size(), 32); // one cipher block
    NetProxy p;
    QVERIFY(p.loadFromSettings(QStringLiteral("proxy.local:8080")));
    QVERIFY(p.password().isEmpty());
    QCOMPARE(p.user(), QStringLiteral("alice"));
}

void TestNetProxy::removeOnlyTheNamedProxy()
{
    make("proxy.local", 8080, "alice", "pw").saveToSettings();
    QSettings().setValue("net/server", "PROD");
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("other.local:8080")));
    QVERIFY(NetProxy::removeFromSettings(QStringLiteral("proxy.local:8080")));
    QSettings s;
    for (const char *key : {"net/proxy_url", "net/proxy_user", "net/proxy_password", "net/proxy_created_ts"}) {
        QVERIFY2(!s.contains(QLatin1String(key)), key);
    }
    QCOMPARE(s.value("net/server").toString(), QStringLiteral("PROD")); // neighbours stay
    QVERIFY(!NetProxy::removeFromSettings(QStringLiteral("proxy.local:8080")));
}

void TestNetProxy::settingsFileReadableByTheUserOnly()
{
    QSettings().setValue("app/sync_interval_minutes", 5);
    QSettings().sync();
    const QString file = QSettings().fileName();
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                        QFileDevice::ReadOther);
    make("proxy.local", 8080, "alice", "pw").saveToSettings();
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(QFileInfo(file).permissions() & others, QFileDevice::Permissions());
    // A later write of another setting keeps it so.
    {
        QSettings s;
        s.setValue("app/log_level", "WARN");
    }
    QCOMPARE(QFileInfo(file).permissions() & others, QFileDevice::Permissions());
}

void TestNetProxy::typeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << "DefaultProxy";
    QTest::newRow("1") << 1 << "Socks5Proxy";
    QTest::newRow("2") << 2 << "NoProxy";
    QTest::newRow("3") << 3 << "HttpProxy";
    QTest::newRow("4") << 4 << "HttpCachingProxy";
    QTest::newRow("5") << 5 << "FtpCachingProxy";
    QTest::newRow("6") << 6 << "Unknown(6)";
    QTest::newRow("-1") << -1 << "Unknown(-1)";
}

void TestNetProxy::typeNames()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QCOMPARE(NetProxy::proxyTypeName(type), name);
}

void TestNetProxy::proxyText()
{
    QNetworkProxy p(QNetworkProxy::HttpProxy, "proxy.local", 3128);
    QCOMPARE(NetProxy::toString(p),
             QStringLiteral("proxy host: proxy.local port: 3128 type: HttpProxy caching: %1 transparent: %2")
                     .arg(p.isCachingProxy() ? "true" : "false", p.isTransparentProxy() ? "true" : "false"));
    QNetworkProxy caching(QNetworkProxy::HttpCachingProxy, "c.local", 80);
    QVERIFY(NetProxy::toString(caching).contains(QLatin1String(" type: HttpCachingProxy caching: true")));
}

void TestNetProxy::authenticatorText()
{
    QAuthenticator none;
    QCOMPARE(NetProxy::authenticatorToString(none), QStringLiteral("auth realm:'' options: none"));
    QAuthenticator a;
    a.setOption("flag", true);
    const QString text = NetProxy::authenticatorToString(a);
    QCOMPARE(text, QStringLiteral("auth realm:'' options [1]: ,flag:'true'"));
    QAuthenticator b;
    b.setOption("list", QStringList{"x"});
    QCOMPARE(NetProxy::authenticatorToString(b), QStringLiteral("auth realm:'' options [1]: ,list:(type:QStringList)"));
    QAuthenticator c;
    c.setOption("n", 7);
    QCOMPARE(NetProxy::authenticatorToString(c), QStringLiteral("auth realm:'' options [1]: ,n:'7'"));
}

void TestNetProxy::systemProxyReport()
{
    {
        m_env->setVar("http_proxy", QByteArray());
        m_env->setVar("HTTP_PROXY", QByteArray());
        m_env->setVar("no_proxy", QByteArray());
        LogCapture log;
        NetProxy::checkNetworkProxy(QStringLiteral("http://sync.varnel.example:8080"));
        QVERIFY(log.contains("NetProxy::checkNetworkProxy: no system proxy required"));
    }
    m_env->setVar("http_proxy", "http://127.0.0.1:3128");
    LogCapture log;
    NetProxy::checkNetworkProxy(QStringLiteral("http://sync.varnel.example:8080"));
    QVERIFY2(log.contains("NetProxy::checkNetworkProxy: system proxy[0 of 1]: type:HttpProxy(3) host:'127.0.0.1' "
                          "port:3128 caching:"),
             qPrintable(log.messages().join('|')));
    m_env->setVar("http_proxy", QByteArray());
}

QTEST_MAIN(TestNetProxy)
#include "tst_netproxy.moc"
