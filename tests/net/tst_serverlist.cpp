#include "net/ServerList.h"

#include "core/AppInfo.h"
#include "tests/support/TestEnv.h"

#include <QSettings>
#include <QStringListModel>
#include <QtTest>

class TestServerList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void tables_data();
    void tables();
    void savedChoice_data();
    void savedChoice();
    void customUrlIsTakenUncheckedAndRemembered();
    void customUrlLastsOnlyForTheRun();
    void selectingSavesThePrefix();
    void lookupsAreExact();
    void equalEntriesAreStillDifferent();
    void nameModelFollowsTableOrder();
    void everyBuiltInAddressNamesItsPort();

private:
    static AppInfo infoFor(const char *brand);
    TestEnv *m_env = nullptr;
};

AppInfo TestServerList::infoFor(const char *brand)
{
    return AppInfo("Tessarvale", "tessarvale", "2.2.4", "0123456789abcdef0123456789abcdef01234567", "", "Varnel",
                   "varnel.example", "example.varnel", "https://www.varnel.example", "Tessarvale", 1, brand);
}

void TestServerList::initTestCase()
{
    m_env = new TestEnv();
    QVERIFY(m_env->isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
    QCoreApplication::setApplicationName(QStringLiteral("serverlist"));
}

void TestServerList::init()
{
    QSettings().clear();
}

void TestServerList::tables_data()
{
    QTest::addColumn<QString>("brand");
    QTest::addColumn<QStringList>("prefixes");
    QTest::newRow("varnel") << "varnel"
                            << QStringList{"PROD", "PRD2", "PRD3", "IT1", "IT2", "KT1", "LOCALDEV", "CUSTOM"};
    QTest::newRow("tamsel") << "tamsel" << QStringList{"TAPROD", "TATEST", "LOCALDEV", "CUSTOM"};
    QTest::newRow("sorel") << "sorel" << QStringList{"SOPROD", "SOTEST", "SODEV", "SONIGHTLY", "LOCALDEV", "CUSTOM"};
    QTest::newRow("unknown brand") << "other" << QStringList{"LOCALDEV", "CUSTOM"};
    QTest::newRow("brand keys are exact") << "Varnel" << QStringList{"LOCALDEV", "CUSTOM"};
}

void TestServerList::tables()
{
    QFETCH(QString, brand);
    QFETCH(QStringList, prefixes);
    const QByteArray b = brand.toLatin1();
    ServerList list(infoFor(b.constData()));
    QStringList got;
    for (const ServerInfo *s : list.servers()) {
        got << s->prefix();
    }
    QCOMPARE(got, prefixes);
    QCOMPARE(list.primaryServer().prefix(), prefixes.first());
    QCOMPARE(&list.currentServer(), &list.primaryServer());
    QVERIFY(list.isPrimarySelected());
    const ServerInfo *local = list.findByPrefix(QStringLiteral("LOCALDEV"));
    QVERIFY(local);
    QCOMPARE(local->group(), QStringLiteral("LDEV"));
    QCOMPARE(local->name(), QStringLiteral("LocalDev"));
    QCOMPARE(local->url(), QStringLiteral("http://localhost:8080"));
    QVERIFY(!local->ssl());
    const ServerInfo *custom = list.servers().last();
    QCOMPARE(custom->prefix(), QStringLiteral("CUSTOM"));
    QCOMPARE(custom->url(), QStringLiteral("http://127.0.0.1:8080"));
    QVERIFY(!custom->ssl());
}

void TestServerList::savedChoice_data()
{
    QTest::addColumn<QString>("brand");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("currentName");
    QTest::addColumn<bool>("primary");
    QTest::newRow("nothing saved") << "varnel" << QString() << "Tessarvale" << true;
    QTest::newRow("test server") << "varnel"
                                 << "IT2"
                                 << "Test IT2" << false;
    QTest::newRow("the primary itself") << "varnel"
                                        << "PROD"
                                        << "Tessarvale" << true;
    QTest::newRow("another brand's prefix") << "sorel"
                                            << "PROD"
                                            << "KestClient" << true;
    QTest::newRow("prefixes are case-sensitive") << "varnel"
                                                 << "it2"
                                                 << "Tessarvale" << true;
    QTest::newRow("local entry of any brand") << "tamsel"
                                              << "LOCALDEV"
                                              << "LocalDev" << false;
}

void TestServerList::savedChoice()
{
    QFETCH(QString, brand);
    QFETCH(QString, saved);
    QFETCH(QString, currentName);
    QFETCH(bool, primary);
    if (!saved.isNull()) {
        QSettings().setValue(QStringLiteral("net/server"), saved);
    }
    const QByteArray b = brand.toLatin1();
    ServerList list(infoFor(b.constData()));
    QCOMPARE(list.currentServer().name(), currentName);
    QCOMPARE(list.isPrimarySelected(), primary);
    // An unknown saved prefix is left as it was.
    QCOMPARE(QSettings().value(QStringLiteral("net/server")).toString(), saved);
}

void TestServerList::customUrlIsTakenUncheckedAndRemembered()
{
    ServerList list(infoFor("varnel"));
    list.setCustomServerUrl(QStringLiteral("not a url at all"));
    QCOMPARE(list.currentServer().prefix(), QStringLiteral("CUSTOM"));
    QCOMPARE(list.currentServer().url(), QStringLiteral("not a url at all"));
    QVERIFY(!list.isPrimarySelected());
    QCOMPARE(QSettings().value(QStringLiteral("net/server")).toString(), QStringLiteral("CUSTOM"));
}

void TestServerList::customUrlLastsOnlyForTheRun()
{
    {
        ServerList list(infoFor("varnel"));
        list.setCustomServerUrl(QStringLiteral("http://127.0.0.1:9999"));
    }
    ServerList again(infoFor("varnel"));
    QCOMPARE(again.currentServer().prefix(), QStringLiteral("CUSTOM"));
    QCOMPARE(again.currentServer().url(), QStringLiteral("http://127.0.0.1:8080"));
}

void TestServerList::selectingSavesThePrefix()
{
    ServerList list(infoFor("sorel"));
    ServerInfo *dev = list.findByPrefix(QStringLiteral("SODEV"));
    QVERIFY(dev);
    list.setSelectedServer(*dev);
    QCOMPARE(&list.currentServer(), dev);
    QCOMPARE(QSettings().value(QStringLiteral("net/server")).toString(), QStringLiteral("SODEV"));
    // A second call of the saved choice, as the application object makes it, keeps the entry.
    list.initSelectedServer();
    QCOMPARE(&list.currentServer(), dev);
}

void TestServerList::lookupsAreExact()
{
    ServerList list(infoFor("varnel"));
    QVERIFY(list.findByName(QStringLiteral("Test KT1")));
    QVERIFY(!list.findByName(QStringLiteral("test kt1")));
    QVERIFY(!list.findByPrefix(QString()));
    QVERIFY(!list.findByPrefix(QStringLiteral("SOPROD")));
    const ServerInfo *local = list.findByUrl(QStringLiteral("http://localhost:8080"));
    QVERIFY(local);
    QCOMPARE(local->prefix(), QStringLiteral("LOCALDEV"));
    QVERIFY(!list.findByUrl(QStringLiteral("http://localhost:8080/")));
}

void TestServerList::equalEntriesAreStillDifferent()
{
    ServerList list(infoFor("other"));
    // Make the custom entry a field-for-field twin of the primary one.
    ServerInfo &custom = *list.servers().last();
    QVERIFY(&custom != &list.primaryServer());
    list.setCustomServerUrl(list.primaryServer().url());
    QCOMPARE(list.currentServer().url(), list.primaryServer().url());
    QVERIFY(!list.isPrimarySelected());
}

void TestServerList::nameModelFollowsTableOrder()
{
    ServerList list(infoFor("tamsel"));
    QScopedPointer<QStringListModel> model(list.createServerNameModel());
    QVERIFY(model->parent() == nullptr);
    QCOMPARE(model->stringList(), (QStringList{"Brightdex", "Lumo Acceptance", "LocalDev", "Custom"}));
}

void TestServerList::everyBuiltInAddressNamesItsPort()
{
    for (const char *brand : {"varnel", "tamsel", "sorel"}) {
        ServerList list(infoFor(brand));
        for (const ServerInfo *s : list.servers()) {
            const QUrl url(s->url());
            QVERIFY2(url.isValid(), qPrintable(s->url()));
            QVERIFY2(url.port() > 0, qPrintable(s->url()));
            QVERIFY(url.path().isEmpty());
            if (s->ssl()) {
                QCOMPARE(url.scheme(), QStringLiteral("https"));
                QCOMPARE(url.port(), 443);
            } else {
                QCOMPARE(url.scheme(), QStringLiteral("http"));
                QCOMPARE(url.port(), 8080);
            }
        }
    }
}

QTEST_MAIN(TestServerList)
#include "tst_serverlist.moc"
