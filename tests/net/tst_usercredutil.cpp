// Saved credentials on the real Secret Service of the test session (gnome-keyring over D-Bus),
// with a backend in front of it that can make single reads or writes fail.
#include "core/AppInfo.h"
#include "net/crypto/CredCrypt.h"
#include "net/KeychainBackend.h"
#include "net/KeychainUtil.h"
#include "net/SystemKeychainBackend.h"
#include "net/UserCredUtil.h"
#include "tests/support/LogCapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <QtTest>

namespace {

// Passes everything to the system store, counts the calls, and fails the next ones on request.
class ScriptedBackend : public KeychainBackend
{
public:
    int reads = 0;
    int writes = 0;
    int failReadCode = 0;
    int failWriteCode = 0;

    Reply read(const QString &service, const QString &key, bool insecureFallback) override
    {
        ++reads;
        if (failReadCode) {
            return Reply{failReadCode, QStringLiteral("scripted read failure"), QString()};
        }
        return SystemKeychainBackend::instance()->read(service, key, insecureFallback);
    }
    Reply write(const QString &service, const QString &key, const QString &data, bool insecureFallback) override
    {
        ++writes;
        if (failWriteCode) {
            return Reply{failWriteCode, QStringLiteral("scripted write failure"), QString()};
        }
        return SystemKeychainBackend::instance()->write(service, key, data, insecureFallback);
    }
};

bool failingEncryptor(const QString &, QString *)
{
    return false;
}

QString decrypt(const QString &hex)
{
    QString plain;
    return CredCrypt::decryptStored(hex, &plain) ? plain : QStringLiteral("<undecryptable>");
}

} // namespace

class TestUserCredUtil : public QObject
{
    Q_OBJECT
public:
    TestUserCredUtil()
    {
        // Names of their own, so that runs and parallel tests never share an item.
        m_appName = "tessarvale-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    }
private slots:
    void init()
    {
        // A fresh item name per test function.
        m_appName = m_appName.left(16) + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
        m_info.reset(new AppInfo("Tessarvale", m_appName.constData(), "2.2.4", "", "", "Varnel", "varnel.example",
                                 "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel"));
        m_backend = ScriptedBackend();
        KeychainUtil::setBackend(&m_backend);
    }

    void cleanup()
    {
        KeychainUtil::setBackend(nullptr);
        UserCredUtil::setEncryptor(nullptr);
    }

    void storeRetrieveAndClear()
    {
        UserCredUtil util(m_info.get());
        const QString password = QString::fromUtf8("pä55 word");
        const QString dk = QStringLiteral("181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07");
        QVERIFY(util.storePassword("srv1", "alice", password));
        QVERIFY(util.storeDeviceKeyValue("srv1", "alice", dk));
        // Stored encrypted, never as typed.
        QCOMPARE(decrypt(entry(0).value("pw").toString()), password);
        QCOMPARE(decrypt(entry(0).value("dkey").toString()), dk);

        // Pairs are case-sensitive and appended.
        QVERIFY(util.storePassword("srv1", "Alice", "b"));
        QVERIFY(util.storePassword("srv1", "alice", "d"));
        QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("d"));
        QCOMPARE(util.retrievePassword("srv1", "Alice"), QStringLiteral("b"));
        QCOMPARE(util.retrieveDeviceKeyValue("srv1", "alice"), dk);

        // Clearing empties a value and keeps the entry; clearing an unknown pair writes nothing.
        QVERIFY(util.clearDeviceKeyValue("srv1", "alice"));
        QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("d"));
        QVERIFY(util.retrieveDeviceKeyValue("srv1", "alice").isEmpty());
        const int writes = m_backend.writes;
        QVERIFY(util.clearPassword("srv1", "nobody"));
        QCOMPARE(m_backend.writes, writes);
    }

    void damagedItemIsNeverOverwritten_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("why");
        QTest::newRow("not json") << "{\"uclist\": [" << QString("json document parse error");
        QTest::newRow("empty object") << "{}" << QString("json document is an empty object");
        QTest::newRow("entry without pw") << R"({"uclist":[{"server":"srv1","name":"alice"}]})" << QString("'pw'");
        QTest::newRow("element not an object") << R"({"uclist":[3]})" << QString("is not a json object");
    }

    void damagedItemIsNeverOverwritten()
    {
        QFETCH(QString, content);
        QFETCH(QString, why);
        setItem(content);
        UserCredUtil util(m_info.get());
        const int writes = m_backend.writes;
        LogCapture log;
        QVERIFY(!util.storePassword("srv1", "alice", "pw"));
        QVERIFY(!util.storeDeviceKeyValue("srv1", "alice", "00ff"));
        QVERIFY(!util.clearPassword("srv1", "alice"));
        QVERIFY(util.retrievePassword("srv1", "alice").isEmpty());
        QCOMPARE(m_backend.writes, writes);
        QCOMPARE(item(), content);
        QVERIFY2(log.contains(why), qPrintable(log.messages().join('\n')));
    }

    void failingStore()
    {
        const int code = 3; // qtkeychain's "access denied by user"
        UserCredUtil util(m_info.get());
        QVERIFY(util.storePassword("srv1", "alice", "pw"));
        const QString before = item();
        const QString itemName = m_info->credentialListName();
        KeychainUtil keychain(m_info.get());

        // A failing read: nothing is written; the store's code reaches the caller.
        m_backend.failReadCode = code;
        const int writes = m_backend.writes;
        QVERIFY(!util.storePassword("srv1", "alice", "new"));
        QVERIFY(!util.clearPassword("srv1", "alice"));
        QCOMPARE(m_backend.writes, writes);
        int got = 0;
        QVERIFY(keychain.value(itemName, &got).isEmpty());
        QCOMPARE(got, code);
        m_backend.failReadCode = 0;

        m_backend.failWriteCode = code;
        QVERIFY(!util.storePassword("srv1", "alice", "new"));
        QCOMPARE(keychain.setValue(itemName, "x"), code);
        m_backend.failWriteCode = 0;
        QCOMPARE(item(), before);
        QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("pw"));
    }

    void failedEncryptionKeepsItem()
    {
        UserCredUtil util(m_info.get());
        QVERIFY(util.storePassword("srv1", "alice", "kept"));
        QVERIFY(util.storeDeviceKeyValue("srv1", "alice", "0102"));
        const QString before = item();
        const int writes = m_backend.writes;
        UserCredUtil::setEncryptor(&failingEncryptor);
        QVERIFY(!util.storePassword("srv1", "alice", "replacement"));
        QVERIFY(!util.storeDeviceKeyValue("srv1", "alice", "0304"));
        QVERIFY(!util.storePassword("srv1", "newcomer", "pw"));
        QCOMPARE(m_backend.writes, writes);
        QCOMPARE(item(), before);
    }

    void secretsStayOutOfTheLog()
    {
        UserCredUtil util(m_info.get());
        const QString secret = QStringLiteral("S3cr3t-Valu3");
        LogCapture log;
        QVERIFY(util.storePassword("srv1", "alice", secret));
        QVERIFY(util.storeDeviceKeyValue("srv1", "alice", "abcdef0123"));
        m_backend.failWriteCode = 7;
        QVERIFY(!util.storePassword("srv1", "alice", secret));
        m_backend.failWriteCode = 0;
        UserCredUtil::setEncryptor(&failingEncryptor);
        QVERIFY(!util.storePassword("srv1", "alice", secret));
        UserCredUtil::setEncryptor(nullptr);
        QCOMPARE(util.retrievePassword("srv1", "alice"), secret);
        QString encrypted;
        QVERIFY(CredCrypt::encryptStored(secret, &encrypted));
        for (const QString &line : log.messages()) {
            QVERIFY2(!line.contains(secret) && !line.contains("abcdef0123") && !line.contains(encrypted), qPrintable(line));
        }
    }

private:
    QString item()
    {
        KeychainUtil keychain(m_info.get());
        return keychain.value(m_info->credentialListName());
    }

    void setItem(const QString &text)
    {
        KeychainUtil keychain(m_info.get());
        QCOMPARE(keychain.setValue(m_info->credentialListName(), text), 0);
    }

    QJsonObject entry(int index)
    {
        return QJsonDocument::fromJson(item().toUtf8()).object().value("uclist").toArray().at(index).toObject();
    }

    QByteArray m_appName;
    std::unique_ptr<AppInfo> m_info;
    ScriptedBackend m_backend;
};

QTEST_GUILESS_MAIN(TestUserCredUtil)
#include "tst_usercredutil.moc"
