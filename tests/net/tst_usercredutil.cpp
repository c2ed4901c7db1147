// Saved credentials on the real Secret Service of the test session (gnome-keyring over D-Bus),
// with a backend in front of it that can make single reads or writes fail.
#include "core/AppInfo.h"
#include "net/CredCrypt.h"
#include "net/KeychainBackend.h"
#include "net/KeychainUtil.h"
#include "net/SystemKeychainBackend.h"
#include "net/UserCredUtil.h"
#include "tests/support/LogCapture.h"

#include <QCoreApplication>
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
    TestUserCredUtil();

private slots:
    void init();
    void cleanup();

    void storeCreatesItemWithOneEntry();
    void deviceKeyBesidePassword();
    void emptyPasswordStoredAsEmpty();
    void pairsAreCaseSensitiveAndAppended();
    void clearKeepsEntry();
    void clearWithoutItemOrPair();
    void damagedItemIsNeverOverwritten_data();
    void damagedItemIsNeverOverwritten();
    void itemWithoutListMember();
    void duplicatePairs();
    void emptyServerOrUserTouchNothing();
    void failingStoreCodes_data();
    void failingStoreCodes();
    void failedEncryptionKeepsItem();
    void missingItemIsNotLogged();
    void secretsStayOutOfTheLog();
    void migrationHasNothingToMove();

private:
    QString item();
    void setItem(const QString &text);
    QJsonArray entries();

    QByteArray m_appName;
    std::unique_ptr<AppInfo> m_info;
    ScriptedBackend m_backend;
};

TestUserCredUtil::TestUserCredUtil()
{
    // Names of their own, so that runs and parallel tests never share an item.
    m_appName = "tessarvale-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
}

void TestUserCredUtil::init()
{
    // A fresh item name per test function.
    m_appName = m_appName.left(16) + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    m_info.reset(new AppInfo("Tessarvale", m_appName.constData(), "2.2.4", "", "", "Varnel", "varnel.example",
                             "example.varnel", "https://www.varnel.example", "Tessarvale", 1, "varnel"));
    m_backend = ScriptedBackend();
    KeychainUtil::setBackend(&m_backend);
}

void TestUserCredUtil::cleanup()
{
    KeychainUtil::setBackend(nullptr);
    UserCredUtil::setEncryptor(nullptr);
}

QString TestUserCredUtil::item()
{
    KeychainUtil keychain(m_info.get());
    return keychain.value(m_info->credentialListName());
}

void TestUserCredUtil::setItem(const QString &text)
{
    KeychainUtil keychain(m_info.get());
    QCOMPARE(keychain.setValue(m_info->credentialListName(), text), 0);
}

QJsonArray TestUserCredUtil::entries()
{
    return QJsonDocument::fromJson(item().toUtf8()).object().value("uclist").toArray();
}

void TestUserCredUtil::storeCreatesItemWithOneEntry()
{
    UserCredUtil util(m_info.get());
    KeychainUtil probe(m_info.get());
    int code = -1;
    QVERIFY(probe.value(m_info->credentialListName(), &code).isEmpty());
    QCOMPARE(code, 1);

    QVERIFY(util.storePassword("srv1", "alice", QString::fromUtf8("pä55 word")));
    const QString text = item();
    // Compact serialisation.
    QVERIFY(!text.contains('\n'));
    const QJsonArray list = entries();
    QCOMPARE(list.size(), 1);
    const QJsonObject e = list.at(0).toObject();
    QCOMPARE(e.value("server").toString(), QStringLiteral("srv1"));
    QCOMPARE(e.value("name").toString(), QStringLiteral("alice"));
    QVERIFY(!e.contains("dkey"));
    QVERIFY(e.value("pw").toString() != QString::fromUtf8("pä55 word"));
    QCOMPARE(decrypt(e.value("pw").toString()), QString::fromUtf8("pä55 word"));
    QCOMPARE(util.retrievePassword("srv1", "alice"), QString::fromUtf8("pä55 word"));
    QVERIFY(util.retrieveDeviceKeyValue("srv1", "alice").isEmpty());
}

void TestUserCredUtil::deviceKeyBesidePassword()
{
    UserCredUtil util(m_info.get());
    const QString dk = QStringLiteral("181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07");
    QVERIFY(util.storePassword("srv1", "alice", "pw1"));
    QVERIFY(util.storeDeviceKeyValue("srv1", "alice", dk));
    const QJsonArray list = entries();
    QCOMPARE(list.size(), 1);
    QCOMPARE(decrypt(list.at(0).toObject().value("pw").toString()), QStringLiteral("pw1"));
    QCOMPARE(decrypt(list.at(0).toObject().value("dkey").toString()), dk);
    QCOMPARE(util.retrieveDeviceKeyValue("srv1", "alice"), dk);
    QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("pw1"));

    // A DeviceKey value for a new pair makes an entry with an empty password.
    QVERIFY(util.storeDeviceKeyValue("srv1", "bob", dk));
    QCOMPARE(entries().at(1).toObject().value("pw").toString(), QString());
    QVERIFY(util.retrievePassword("srv1", "bob").isEmpty());
    QCOMPARE(util.retrieveDeviceKeyValue("srv1", "bob"), dk);
}

void TestUserCredUtil::emptyPasswordStoredAsEmpty()
{
    UserCredUtil util(m_info.get());
    QVERIFY(util.storePassword("srv1", "alice", "pw1"));
    QVERIFY(util.storePassword("srv1", "alice", QString()));
    const QJsonObject e = entries().at(0).toObject();
    QVERIFY(e.contains("pw"));
    QCOMPARE(e.value("pw").toString(), QString());
    LogCapture log;
    QVERIFY(util.retrievePassword("srv1", "alice").isEmpty());
    QVERIFY(log.contains("UserCredUtil::retrievePassword: Keychain entry contained no password (for s:'srv1', "
                         "u:'alice')"));
}

void TestUserCredUtil::pairsAreCaseSensitiveAndAppended()
{
    UserCredUtil util(m_info.get());
    QVERIFY(util.storePassword("srv1", "alice", "a"));
    QVERIFY(util.storePassword("srv1", "Alice", "b"));
    QVERIFY(util.storePassword("srv2", "alice", "c"));
    QVERIFY(util.storePassword("srv1", "alice", "d"));
    const QJsonArray list = entries();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0).toObject().value("name").toString(), QStringLiteral("alice"));
    QCOMPARE(list.at(1).toObject().value("name").toString(), QStringLiteral("Alice"));
    QCOMPARE(list.at(2).toObject().value("server").toString(), QStringLiteral("srv2"));
    QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("d"));
    QCOMPARE(util.retrievePassword("srv1", "Alice"), QStringLiteral("b"));
    QCOMPARE(util.retrievePassword("srv2", "alice"), QStringLiteral("c"));
    LogCapture log;
    QVERIFY(util.retrievePassword("srv3", "alice").isEmpty());
    QVERIFY(log.contains("UserCredUtil::retrievePassword: Keychain entry not found (for s:'srv3', u:'alice')"));
}

void TestUserCredUtil::clearKeepsEntry()
{
    UserCredUtil util(m_info.get());
    QVERIFY(util.storePassword("srv1", "alice", "pw"));
    QVERIFY(util.storeDeviceKeyValue("srv1", "alice", "00ff"));
    QVERIFY(util.clearDeviceKeyValue("srv1", "alice"));
    QJsonObject e = entries().at(0).toObject();
    QVERIFY(!e.contains("dkey"));
    QCOMPARE(decrypt(e.value("pw").toString()), QStringLiteral("pw"));
    QVERIFY(util.clearPassword("srv1", "alice"));
    const QJsonArray list = entries();
    QCOMPARE(list.size(), 1);
    e = list.at(0).toObject();
    QCOMPARE(e.value("pw").toString(), QString());
    QVERIFY(!e.contains("dkey"));
    QCOMPARE(e.value("name").toString(), QStringLiteral("alice"));
}

void TestUserCredUtil::clearWithoutItemOrPair()
{
    UserCredUtil util(m_info.get());
    QVERIFY(util.clearPassword("srv1", "alice"));
    QVERIFY(util.clearDeviceKeyValue("srv1", "alice"));
    QCOMPARE(m_backend.writes, 0);
    QVERIFY(util.storePassword("srv1", "alice", "pw"));
    const QString before = item();
    const int writes = m_backend.writes;
    QVERIFY(util.clearPassword("srv1", "nobody"));
    QCOMPARE(m_backend.writes, writes);
    QCOMPARE(item(), before);
    // An empty item text counts as no item.
    setItem(QString());
    const int writesAfterEmpty = m_backend.writes;
    QVERIFY(util.clearPassword("srv1", "alice"));
    QCOMPARE(m_backend.writes, writesAfterEmpty);
}

void TestUserCredUtil::damagedItemIsNeverOverwritten_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("why");
    QTest::newRow("not json") << "{\"uclist\": ["
                              << "json document parse error";
    QTest::newRow("empty object") << "{}"
                                  << "json document is an empty object";
    QTest::newRow("array") << "[1,2]"
                           << "json document is not an object";
    QTest::newRow("entry without pw") << R"({"uclist":[{"server":"srv1","name":"alice"}]})"
                                      << "'pw'";
    QTest::newRow("element not an object") << R"({"uclist":[3]})"
                                           << "is not a json object";
}

void TestUserCredUtil::damagedItemIsNeverOverwritten()
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
    const QString parseWarning =
            QStringLiteral("UserCredUtil::storePassword: Failed to parse keychain entry (data len: %1, error msg:'")
                    .arg(content.size());
    QVERIFY2(log.contains(parseWarning), qPrintable(log.messages().join('\n')));
    QVERIFY(log.contains(why));
    QVERIFY(log.contains("UserCredUtil::clearPassword: Failed to parse keychain entry"));
    QVERIFY(log.contains("UserCredUtil::retrievePassword: Failed to parse keychain entry"));
}

void TestUserCredUtil::itemWithoutListMember()
{
    setItem(R"({"other":1})");
    UserCredUtil util(m_info.get());
    QVERIFY(util.retrievePassword("srv1", "alice").isEmpty());
    QVERIFY(util.storePassword("srv1", "alice", "pw"));
    QCOMPARE(entries().size(), 1);
    QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("pw"));
}

void TestUserCredUtil::duplicatePairs()
{
    QString first, second;
    QVERIFY(CredCrypt::encryptStored("first", &first));
    QVERIFY(CredCrypt::encryptStored("second", &second));
    setItem(QStringLiteral(R"({"uclist":[{"server":"s","name":"n","pw":"%1"},{"server":"x","name":"y","pw":""},)"
                           R"({"server":"s","name":"n","pw":"%2"}]})")
                    .arg(first, second));
    UserCredUtil util(m_info.get());
    QCOMPARE(util.retrievePassword("s", "n"), QStringLiteral("first"));
    QVERIFY(util.storeDeviceKeyValue("s", "n", "0a0b"));
    const QJsonArray list = entries();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).toObject().value("name").toString(), QStringLiteral("n"));
    QCOMPARE(decrypt(list.at(0).toObject().value("pw").toString()), QStringLiteral("first"));
    QCOMPARE(decrypt(list.at(0).toObject().value("dkey").toString()), QStringLiteral("0a0b"));
    QCOMPARE(list.at(1).toObject().value("server").toString(), QStringLiteral("x"));
}

void TestUserCredUtil::emptyServerOrUserTouchNothing()
{
    UserCredUtil util(m_info.get());
    const QStringList servers{QString(), "srv"};
    const QStringList users{"alice", QString()};
    for (int i = 0; i < 2; ++i) {
        const QString s = servers.at(i);
        const QString u = users.at(i);
        QVERIFY(!util.storePassword(s, u, "pw"));
        QVERIFY(!util.storeDeviceKeyValue(s, u, "00"));
        QVERIFY(!util.clearPassword(s, u));
        QVERIFY(!util.clearDeviceKeyValue(s, u));
        QVERIFY(util.retrievePassword(s, u).isEmpty());
        QVERIFY(util.retrieveDeviceKeyValue(s, u).isEmpty());
    }
    QCOMPARE(m_backend.reads, 0);
    QCOMPARE(m_backend.writes, 0);
}

void TestUserCredUtil::failingStoreCodes_data()
{
    QTest::addColumn<int>("code");
    // qtkeychain's codes after "entry not found".
    QTest::newRow("could not delete") << 2;
    QTest::newRow("access denied by user") << 3;
    QTest::newRow("access denied") << 4;
    QTest::newRow("no backend") << 5;
    QTest::newRow("not implemented") << 6;
    QTest::newRow("other") << 7;
}

void TestUserCredUtil::failingStoreCodes()
{
    QFETCH(int, code);
    UserCredUtil util(m_info.get());
    QVERIFY(util.storePassword("srv1", "alice", "pw"));
    const QString before = item();

    // A failing read: nothing is written, nothing retrieved.
    m_backend.failReadCode = code;
    const int writes = m_backend.writes;
    {
        LogCapture log;
        QVERIFY(!util.storePassword("srv1", "alice", "new"));
        QVERIFY(!util.clearPassword("srv1", "alice"));
        QVERIFY(util.retrievePassword("srv1", "alice").isEmpty());
        QCOMPARE(m_backend.writes, writes);
        QVERIFY(log.contains(QStringLiteral("KeychainUtil::value: key:'%1' Error: [%2] scripted read failure")
                                     .arg(m_info->credentialListName())
                                     .arg(code)));
        QVERIFY(log.contains(QStringLiteral("UserCredUtil::storePassword: Failed to get keychain entry (key: '%1', "
                                            "error: [%2]'scripted read failure')")
                                     .arg(m_info->credentialListName())
                                     .arg(code)));
        KeychainUtil keychain(m_info.get());
        int got = 0;
        QVERIFY(keychain.value(m_info->credentialListName(), &got).isEmpty());
        QCOMPARE(got, code);
        QCOMPARE(keychain.error(), code);
        QCOMPARE(keychain.errorString(), QStringLiteral("scripted read failure"));
    }
    m_backend.failReadCode = 0;

    // A failing write.
    m_backend.failWriteCode = code;
    {
        LogCapture log;
        QVERIFY(!util.storePassword("srv1", "alice", "new"));
        QVERIFY(!util.clearPassword("srv1", "alice"));
        QVERIFY(log.contains(QStringLiteral("KeychainUtil::setValue: key:'%1' Error: [%2] scripted write failure")
                                     .arg(m_info->credentialListName())
                                     .arg(code)));
        QVERIFY(log.contains(QStringLiteral("UserCredUtil::storePassword: Failed to write keychain entry (for "
                                            "s'srv1', u:'alice') error: [%1] 'scripted write failure')")
                                     .arg(code)));
        KeychainUtil keychain(m_info.get());
        QCOMPARE(keychain.setValue(m_info->credentialListName(), "x"), code);
        QCOMPARE(keychain.error(), code);
    }
    m_backend.failWriteCode = 0;
    QCOMPARE(item(), before);
    QCOMPARE(util.retrievePassword("srv1", "alice"), QStringLiteral("pw"));
}

void TestUserCredUtil::failedEncryptionKeepsItem()
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
    // Storing an empty value needs no encryption and still works.
    QVERIFY(util.storePassword("srv1", "alice", QString()));
    UserCredUtil::setEncryptor(nullptr);
    QCOMPARE(util.retrieveDeviceKeyValue("srv1", "alice"), QStringLiteral("0102"));
}

void TestUserCredUtil::missingItemIsNotLogged()
{
    UserCredUtil util(m_info.get());
    LogCapture log;
    QVERIFY(util.retrievePassword("srv1", "alice").isEmpty());
    QVERIFY(!log.contains("KeychainUtil::value"));
    QVERIFY(!log.contains("Failed to get keychain entry"));
}

void TestUserCredUtil::secretsStayOutOfTheLog()
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

void TestUserCredUtil::migrationHasNothingToMove()
{
    LogCapture log;
    QVERIFY(UserCredUtil::migrateFromRegistry(m_info.get()));
    QVERIFY(log.contains("Credentials not stored or already migrated."));
    QCOMPARE(m_backend.writes, 0);
}

QTEST_GUILESS_MAIN(TestUserCredUtil)
#include "tst_usercredutil.moc"
