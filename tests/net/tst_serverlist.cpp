#include "net/ServerList.h"

#include "core/AppInfo.h"
#include "tests/support/TestEnv.h"

#include <QSettings>
#include <QtTest>

static AppInfo infoFor(const QString &brand)
{
    return AppInfo("Tessarvale", "tessarvale", "2.2.4", "0123456789abcdef0123456789abcdef01234567", "", "Varnel",
                   "varnel.example", "example.varnel", "https://www.varnel.example", "Tessarvale", 1,
                   brand.toLatin1().constData());
}

class TestServerList : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("VarnelTest"));
        QCoreApplication::setApplicationName(QStringLiteral("serverlist"));
    }
    void init() { QSettings().clear(); }
    void tables_data()
    {
        QTest::addColumn<QString>("brand");
        QTest::addColumn<QStringList>("prefixes");
        QTest::newRow("varnel") << "varnel"
                                << QStringList{"PROD", "PRD2", "PRD3", "IT1", "IT2", "KT1", "LOCALDEV", "CUSTOM"};
        QTest::newRow("tamsel") << "tamsel" << QStringList{"TAPROD", "TATEST", "LOCALDEV", "CUSTOM"};
        QTest::newRow("sorel") << "sorel"
                               << QStringList{"SOPROD", "SOTEST", "SODEV", "SONIGHTLY", "LOCALDEV", "CUSTOM"};
        QTest::newRow("brand keys are exact") << "Varnel" << QStringList{"LOCALDEV", "CUSTOM"};
    }
    void tables()
    {
        QFETCH(QString, brand);
        QFETCH(QStringList, prefixes);
        ServerList list(infoFor(brand));
        QStringList got;
        for (const ServerInfo *s : list.servers()) {
            got << s->prefix();
            // Every address names its port and nothing more.
            const QUrl url(s->url());
            QVERIFY2(url.isValid() && url.path().isEmpty(), qPrintable(s->url()));
            QCOMPARE(url.scheme(), QString(s->ssl() ? "https" : "http"));
            QCOMPARE(url.port(), s->ssl() ? 443 : 8080);
        }
        QCOMPARE(got, prefixes);
        QCOMPARE(list.currentServer().prefix(), prefixes.first());
        QCOMPARE(list.findByPrefix(QStringLiteral("LOCALDEV"))->url(), QStringLiteral("http://localhost:8080"));
    }
    void savedChoice_data()
    {
        QTest::addColumn<QString>("brandAndSaved");
        QTest::addColumn<bool>("primary");
        QTest::addColumn<QString>("currentName");
        QTest::newRow("test server") << "varnel:IT2" << false << "Test IT2";
        QTest::newRow("the primary itself") << "varnel:PROD" << true << "Tessarvale";
        QTest::newRow("another brand's prefix") << "sorel:PROD" << true << "KestClient";
        QTest::newRow("prefixes are case-sensitive") << "varnel:it2" << true << "Tessarvale";
        QTest::newRow("local entry of any brand") << "tamsel:LOCALDEV" << false << "LocalDev";
    }
    void savedChoice()
    {
        QFETCH(QString, brandAndSaved);
        QFETCH(bool, primary);
        QFETCH(QString, currentName);
        const QString saved = brandAndSaved.section(':', 1);
        if (!saved.isEmpty()) {
            QSettings().setValue(QStringLiteral("net/server"), saved);
        }
        ServerList list(infoFor(brandAndSaved.section(':', 0, 0)));
        QCOMPARE(list.currentServer().name(), currentName);
        QCOMPARE(list.isPrimarySelected(), primary);
        // An unknown saved prefix is left as it was.
        QCOMPARE(QSettings().value(QStringLiteral("net/server")).toString(), saved);
    }
    void customUrlIsTakenUncheckedForTheRunOnly()
    {
        {
            ServerList list(infoFor("other"));
            // Even a field-for-field twin of the primary entry is not the primary.
            list.setCustomServerUrl(list.primaryServer().url());
            QVERIFY(!list.isPrimarySelected());
            list.setCustomServerUrl(QStringLiteral("not a url at all"));
            QCOMPARE(list.currentServer().prefix(), QStringLiteral("CUSTOM"));
            QCOMPARE(list.currentServer().url(), QStringLiteral("not a url at all"));
            QCOMPARE(QSettings().value(QStringLiteral("net/server")).toString(), QStringLiteral("CUSTOM"));
        }
        ServerList again(infoFor("other"));
        QCOMPARE(again.currentServer().prefix(), QStringLiteral("CUSTOM"));
        QCOMPARE(again.currentServer().url(), QStringLiteral("http://127.0.0.1:8080"));
    }
};

QTEST_MAIN(TestServerList)
#include "tst_serverlist.moc"
