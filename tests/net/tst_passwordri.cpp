#include "core/AppInfo.h"
#include "net/EncryptedData.h"
#include "net/LoginRI.h"
#include "net/PasswordCrypt.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

template<typename T>
struct Outcome
{
    int calls = 0;
    Result<T> result;
    ResultCallback<T> callback()
    {
        return [this](const Result<T> &r) {
            ++calls;
            result = r;
        };
    }
};

// Every password operation against the development service, in both path generations.
class TestPasswordRI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void listSortedWithMaximum_data() { generations(); }
    void listSortedWithMaximum();
    void singleSecretDecrypts_data() { generations(); }
    void singleSecretDecrypts();
    void idBeyond32Bits_data() { generations(); }
    void idBeyond32Bits();
    void createWithQuota_data() { generations(); }
    void createWithQuota();
    void updateCarriesIdInPathOnly_data() { generations(); }
    void updateCarriesIdInPathOnly();
    void deleteTrimsId_data() { generations(); }
    void deleteTrimsId();
    void breachedIds_data() { generations(); }
    void breachedIds();
    void breachedReplyWithoutIds_data() { generations(); }
    void breachedReplyWithoutIds();
    void listReplyWithoutComment_data() { generations(); }
    void listReplyWithoutComment();

private:
    void generations();
    bool prepare(int generation);
    bool signIn();
    QString base() const { return m_gen == 1 ? "/rest/loggedin/2/passwords" : "/api/sync/1/passwords"; }
    QJsonArray requestsTo(const QString &pattern);
    QJsonArray storedPasswords();
    QString storedId(const QString &title);
    SinglePasswordTO encrypted(const QString &secret);

    TestEnv *m_env = nullptr;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    int m_gen = 1;
    PasswordRI *m_ri = nullptr;
};

void TestPasswordRI::initTestCase()
{
    m_env = new TestEnv;
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
}

void TestPasswordRI::cleanupTestCase()
{
    AppInfo::publish(nullptr);
    delete m_ri;
    m_svc.stop();
    delete m_env;
}

bool TestPasswordRI::signIn()
{
    R7Session::instance()->setLoggedIn(false);
    R7Session::instance()->resetSession();
    UserCredUtil creds(&m_info);
    LoginRI login(&creds, &m_info, R7Session::instance());
    bool done = false;
    EmptyResult outcome;
    login.doLogin(DevService::demoUser(), DevService::demoPassword(), false, [&](const EmptyResult &r) {
        outcome = r;
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done && outcome.isOk();
}

void TestPasswordRI::generations()
{
    QTest::addColumn<int>("generation");
    QTest::newRow("older paths") << 1;
    QTest::newRow("newer paths") << 2;
}

// A fresh service state and sign-in for the generation; the newer one brings its anti-forgery token.
bool TestPasswordRI::prepare(int generation)
{
    m_gen = generation;
    if (!m_svc.reset()) {
        return false;
    }
    m_info.apiGeneration = generation;
    AppInfo::publish(&m_info);
    if (!signIn()) {
        return false;
    }
    delete m_ri;
    m_ri = new PasswordRI(&m_info, R7Session::instance());
    m_svc.requests(true);
    return true;
}

QJsonArray TestPasswordRI::requestsTo(const QString &pattern)
{
    const QRegularExpression re(pattern);
    QJsonArray out;
    for (const QJsonValue &v : m_svc.requests()) {
        if (re.match(v.toObject().value("path").toString()).hasMatch()) {
            out.append(v);
        }
    }
    return out;
}

QJsonArray TestPasswordRI::storedPasswords()
{
    for (const QJsonValue &v : m_svc.state().value("users").toArray()) {
        if (v.toObject().value("name").toString() == "demo") {
            return v.toObject().value("passwords").toArray();
        }
    }
    return {};
}

QString TestPasswordRI::storedId(const QString &title)
{
    for (const QJsonValue &v : storedPasswords()) {
        if (v.toObject().value("title").toString() == title) {
            return v.toObject().value("id").toString();
        }
    }
    return {};
}

SinglePasswordTO TestPasswordRI::encrypted(const QString &secret)
{
    PasswordCrypt crypt(R7Session::instance()->transportKey());
    QString error;
    const EncryptedBytes bytes = crypt.encryptPassword(secret.toUtf8(), &error);
    SinglePasswordTO to;
    to.setPassword(QString::fromLatin1(bytes.ciphertext.toHex()));
    to.setTransportIv(bytes.iv);
    return to;
}

void TestPasswordRI::listSortedWithMaximum()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    {
        Outcome<EmptyPasswordsTO> out;
        m_ri->getPasswords(out.callback());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
        QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
        QStringList titles;
        for (const EmptyPasswordTO &p : out.result.payload().passwords()) {
            titles << p.title();
        }
        QCOMPARE(titles, (QStringList{"Bank", "Mail", "Shop", "Wi-Fi at home"}));
        QCOMPARE(out.result.payload().passwordsMax(), 100);
        const QJsonArray log = requestsTo("passwords");
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().toObject().value("path").toString(), base());
        QCOMPARE(log.first().toObject().value("method").toString(), QString("GET"));
    }
}

void TestPasswordRI::singleSecretDecrypts()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    {
        const QString id = storedId("Wi-Fi at home");
        Outcome<SinglePasswordTO> out;
        m_ri->getSinglePassword(id.toLongLong(), out.callback());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
        QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
        QCOMPARE(out.result.payload().id(), id);
        PasswordCrypt crypt(R7Session::instance()->transportKey());
        QString error;
        const EncryptedData data(out.result.payload().password(), out.result.payload().transportIv());
        QCOMPARE(crypt.decryptPassword(data, &error), QString::fromUtf8("Küchentisch-42"));
        QCOMPARE(requestsTo("passwords").first().toObject().value("path").toString(), base() + "/" + id);
    }
}

void TestPasswordRI::idBeyond32Bits()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    // 2^32 + the id of a real entry: a 32-bit id would fetch that entry's secret.
    const qint64 real = storedId("Bank").toLongLong();
    const qint64 wide = (qint64(1) << 32) + real;
    Outcome<SinglePasswordTO> out;
    m_ri->getSinglePassword(wide, out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_SERVICE_STATUS_10904);
    QCOMPARE(requestsTo("passwords").first().toObject().value("path").toString(), base() + "/" + QString::number(wide));
}

void TestPasswordRI::createWithQuota()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    {
        const SinglePasswordTO secret = encrypted("n3w-S3cret");
        PasswordTO entry;
        entry.setTitle("Forum");
        entry.setUsername("me");
        entry.setUrl("https://forum.example");
        entry.setPassword(secret.password());
        entry.setTransportIv(secret.transportIv());
        Outcome<EmptyPasswordTO> out;
        m_ri->createPassword(entry, out.callback());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
        QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
        QCOMPARE(out.result.payload().title(), QString("Forum"));
        const QString id = storedId("Forum");
        QCOMPARE(out.result.payload().id(), id);
        for (const QJsonValue &v : storedPasswords()) {
            if (v.toObject().value("id").toString() == id) {
                QCOMPARE(v.toObject().value("password").toString(), QString("n3w-S3cret"));
                QCOMPARE(v.toObject().value("comment").toString(), QString());
            }
        }
        const QJsonObject logged = requestsTo("passwords").first().toObject();
        QCOMPARE(logged.value("method").toString(), QString("POST"));
        QCOMPARE(logged.value("path").toString(), base());
        const QJsonObject body = QJsonDocument::fromJson(logged.value("body").toString().toUtf8()).object();
        QCOMPARE(body.keys(), (QStringList{"comment", "password", "title", "transportIv", "url", "username"}));

        // The account's maximum reached: 21.
        m_svc.control("user", {{"name", "demo"}, {"passwords_max", 5}});
        Outcome<EmptyPasswordTO> refused;
        m_ri->createPassword(entry, refused.callback());
        QTRY_COMPARE_WITH_TIMEOUT(refused.calls, 1, 10000);
        QCOMPARE(refused.result.code(), EC_QUOTA_EXCEEDED);
        QCOMPARE(storedPasswords().size(), 5);
    }
}

void TestPasswordRI::updateCarriesIdInPathOnly()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    {
        const QString id = storedId("Shop");
        const SinglePasswordTO secret = encrypted("changed!");
        PasswordTO entry;
        entry.setId(id);
        entry.setTitle("Shop 2");
        entry.setPassword(secret.password());
        entry.setTransportIv(secret.transportIv());
        Outcome<EmptyPasswordTO> out;
        m_ri->updatePassword(entry, out.callback());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
        QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
        QCOMPARE(storedId("Shop 2"), id);
        const QJsonObject logged = requestsTo("passwords").first().toObject();
        QCOMPARE(logged.value("method").toString(), QString("PUT"));
        QCOMPARE(logged.value("path").toString(), base() + "/" + id);
        const QJsonObject body = QJsonDocument::fromJson(logged.value("body").toString().toUtf8()).object();
        QVERIFY(!body.contains("id"));
        QCOMPARE(body.value("title").toString(), QString("Shop 2"));
    }
}

void TestPasswordRI::deleteTrimsId()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    {
        const QString id = storedId("Mail");
        Outcome<Nothing> out;
        m_ri->deletePassword(" \t" + id + "  ", out.callback());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
        QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
        QVERIFY(storedId("Mail").isEmpty());
        const QJsonObject logged = requestsTo("passwords").first().toObject();
        QCOMPARE(logged.value("method").toString(), QString("DELETE"));
        QCOMPARE(logged.value("path").toString(), base() + "/" + id);
    }
}

void TestPasswordRI::breachedIds()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    {
        Outcome<QList<qint64>> out;
        m_ri->checkBreached(encrypted("correct horse battery staple"), out.callback());
        QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
        QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
        QList<qint64> ids = out.result.payload();
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, (QList<qint64>{storedId("Mail").toLongLong(), storedId("Shop").toLongLong()}));
        const QJsonObject logged = requestsTo("breached").first().toObject();
        QCOMPARE(logged.value("path").toString(), base() + "/breached");
        const QJsonObject body = QJsonDocument::fromJson(logged.value("body").toString().toUtf8()).object();
        QCOMPARE(body.keys(), (QStringList{"password", "transportIv"}));

        Outcome<QList<qint64>> none;
        m_ri->checkBreached(encrypted("nobody uses this"), none.callback());
        QTRY_COMPARE_WITH_TIMEOUT(none.calls, 1, 10000);
        QVERIFY2(none.result.isOk(), qPrintable(none.result.message()));
        QVERIFY(none.result.payload().isEmpty());
    }
}

void TestPasswordRI::breachedReplyWithoutIds()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    m_svc.fault({{"path", "/breached$"}, {"body", "{\"status\":0,\"data\":{\"ids\":[1]}}"}});
    Outcome<QList<qint64>> out;
    m_ri->checkBreached(encrypted("x"), out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_BAD_RESPONSE);
    QCOMPARE(out.result.message(), QString("Response data: json object: missing key: 'password-ids'"));

    m_svc.fault({{"path", "/breached$"}, {"http_status", 503}});
    Outcome<QList<qint64>> unavailable;
    m_ri->checkBreached(encrypted("x"), unavailable.callback());
    QTRY_COMPARE_WITH_TIMEOUT(unavailable.calls, 1, 10000);
    QCOMPARE(unavailable.result.code(), EC_SERVICE_UNAVAILABLE);
    QVERIFY(unavailable.result.payload().isEmpty());
}

void TestPasswordRI::listReplyWithoutComment()
{
    QFETCH(int, generation);
    QVERIFY(prepare(generation));
    m_svc.fault({{"path", "passwords$"},
                 {"body", "{\"status\":0,\"data\":{\"passwordsMax\":3,\"passwords\":[{\"id\":\"1\",\"title\":\"t\","
                          "\"username\":\"u\",\"url\":\"\"}]}}"}});
    Outcome<EmptyPasswordsTO> out;
    m_ri->getPasswords(out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_BAD_RESPONSE);
    QCOMPARE(out.result.message(), QString("Response data: json object: missing key: 'comment'"));
}

QTEST_MAIN(TestPasswordRI)
#include "tst_passwordri.moc"
