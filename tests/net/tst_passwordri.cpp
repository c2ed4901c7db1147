#include "core/AppInfo.h"
#include "net/crypto/PasswordCrypt.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include "tests/net/DemoSignIn.h"
#include "tests/support/AwaitResult.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QtTest>

#include <memory>

// Every password operation against the development service, in both path generations.

class TestPasswordRI : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("older paths") << 1;
        QTest::newRow("newer paths") << 2;
    }

    void initTestCase()
    {
        m_env = new TestEnv;
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
    }

    // A fresh service state and sign-in for the generation; the newer one brings its anti-forgery token.
    void init()
    {
        QFETCH_GLOBAL(int, generation);
        QVERIFY(m_svc.reset());
        m_info.apiGeneration = generation;
        AppInfo::publish(&m_info);
        const EmptyResult signedIn = signInDemoFresh(&m_info);
        QVERIFY2(signedIn.isOk(), qPrintable(signedIn.message()));
        m_ri = std::make_unique<PasswordRI>(&m_info, R7Session::instance());
        m_svc.requests(true);
    }

    void cleanupTestCase()
    {
        AppInfo::publish(nullptr);
        m_ri.reset();
        m_svc.stop();
        delete m_env;
    }

    // Each operation's method, path and body on the wire; the round trips through the password controller's
    // tests check the contents.
    void operationsOnTheWire()
    {
        const auto list = awaitResult<EmptyPasswordsTO>([&](auto cb) { m_ri->getPasswords(cb); });
        QVERIFY2(list.isOk(), qPrintable(list.message()));
        QCOMPARE(list.payload().passwords().first().title(), QString("Bank"));
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(), "GET " + base());

        m_svc.requests(true);
        const SinglePasswordTO secret = encrypted("n3w-S3cret");
        PasswordTO entry;
        entry.setTitle("Forum");
        entry.setPassword(secret.password());
        entry.setTransportIv(secret.transportIv());
        const auto made = awaitResult<EmptyPasswordTO>([&](auto cb) { m_ri->createPassword(entry, cb); });
        QVERIFY2(made.isOk(), qPrintable(made.message()));
        QCOMPARE(stored("Forum").value("password").toString(), QString("n3w-S3cret"));
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(), "POST " + base());
        QCOMPARE(loggedBody().keys(), (QStringList{"comment", "password", "title", "transportIv", "url", "username"}));

        // The id travels in the path only.
        m_svc.requests(true);
        const QString id = made.payload().id();
        entry.setId(id);
        entry.setTitle("Forum 2");
        QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ri->updatePassword(entry, cb); }).isOk());
        QCOMPARE(stored("Forum 2").value("id").toString(), id);
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(), "PUT " + base() + "/" + id);
        QVERIFY(!loggedBody().contains("id"));

        // A deleted id is trimmed.
        m_svc.requests(true);
        QVERIFY(awaitResult<Nothing>([&](auto cb) { m_ri->deletePassword(" \t" + id + "  ", cb); }).isOk());
        QVERIFY(stored("Forum 2").isEmpty());
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(),
                 "DELETE " + base() + "/" + id);

        m_svc.requests(true);
        const auto breached = awaitResult<QList<qint64>>([&](auto cb) { m_ri->checkBreached(encrypted("x"), cb); });
        QVERIFY2(breached.isOk(), qPrintable(breached.message()));
        QCOMPARE(logged().value("path").toString(), base() + "/breached");
        QCOMPARE(loggedBody().keys(), (QStringList{"password", "transportIv"}));
    }

    void idsKeep64Bits()
    {
        // 2^32 + the id of a real entry: a 32-bit id would fetch that entry's secret.
        const qint64 id = stored("Wi-Fi at home").value("id").toString().toLongLong();
        QVERIFY(awaitResult<SinglePasswordTO>([&](auto cb) { m_ri->getSinglePassword(id, cb); }).isOk());
        m_svc.requests(true);
        const qint64 wide = (qint64(1) << 32) + id;
        QCOMPARE(awaitResult<SinglePasswordTO>([&](auto cb) { m_ri->getSinglePassword(wide, cb); }).code(),
                 EC_SERVICE_STATUS_10904);
        QCOMPARE(logged().value("path").toString(), base() + "/" + QString::number(wide));

        const QJsonArray array =
                QJsonDocument::fromJson("[1001, 4294968297, 9007199254740993, \"7\", null, 3.9, -2, {}]").array();
        QCOMPARE(PasswordRI::readIdList(array), (QList<qint64>{1001, 4294968297LL, 9007199254740993LL, 0, 0, 3, -2, 0}));
    }

    void idsOutsideTheirEntrySendNothing()
    {
        // Qt removes "." and ".." segments however they are encoded: "DELETE base/.." reaches the whole collection.
        const int before = m_svc.state().value("users").toArray().first().toObject().value("passwords").toArray().size();
        for (const char *id : {".", "..", "1/..", "1\r\nX: y"}) {
            QList<ErrorCode> codes;
            m_ri->deletePassword(id, [&](const EmptyResult &r) { codes << r.code(); });
            PasswordTO entry;
            entry.setId(id);
            m_ri->updatePassword(entry, [&](const Result<EmptyPasswordTO> &r) { codes << r.code(); });
            QCOMPARE(codes, (QList<ErrorCode>{EC_BAD_URL, EC_BAD_URL}));
        }
        // A deleted id is trimmed: one of blanks would address the whole list too; so would an update without id.
        QList<ErrorCode> codes;
        m_ri->deletePassword("   ", [&](const EmptyResult &r) { codes << r.code(); });
        m_ri->updatePassword(PasswordTO(), [&](const Result<EmptyPasswordTO> &r) { codes << r.code(); });
        QCOMPARE(codes, (QList<ErrorCode>{EC_BAD_URL, EC_BAD_URL}));
        QCOMPARE(awaitResult<EmptyPasswordsTO>([&](auto cb) { m_ri->getPasswords(cb); }).code(), EC_OK);
        QCOMPARE(logged().value("method").toString(), QString("GET"));
        QCOMPARE(m_svc.state().value("users").toArray().first().toObject().value("passwords").toArray().size(), before);
    }

    void malformedReplies()
    {
        m_svc.fault({{"path", "/breached$"}, {"body", "{\"status\":0,\"data\":{\"ids\":[1]}}"}});
        const auto noIds = awaitResult<QList<qint64>>([&](auto cb) { m_ri->checkBreached(encrypted("x"), cb); });
        QCOMPARE(noIds.code(), EC_BAD_RESPONSE);
        QCOMPARE(noIds.message(), QString("Response data: json object: missing key: 'password-ids'"));

        m_svc.fault({{"path", "passwords$"},
                     {"body", "{\"status\":0,\"data\":{\"passwordsMax\":3,\"passwords\":[{\"id\":\"1\",\"title\":\"t\","
                              "\"username\":\"u\",\"url\":\"\"}]}}"}});
        const auto noComment = awaitResult<EmptyPasswordsTO>([&](auto cb) { m_ri->getPasswords(cb); });
        QCOMPARE(noComment.code(), EC_BAD_RESPONSE);
        QCOMPARE(noComment.message(), QString("Response data: json object: missing key: 'comment'"));
    }
private:
    QString base() const { return m_info.apiGeneration == 1 ? "/rest/loggedin/2/passwords" : "/api/sync/1/passwords"; }
    // The one request to the password paths, as the service logged it.
    QJsonObject logged()
    {
        const QJsonArray all = m_svc.requests();
        QJsonArray mine;
        for (const QJsonValue &v : all) {
            if (v.toObject().value("path").toString().contains("passwords")) {
                mine.append(v);
            }
        }
        return mine.size() == 1 ? mine.first().toObject() : QJsonObject{{"count", mine.size()}};
    }
    QJsonObject loggedBody() { return QJsonDocument::fromJson(logged().value("body").toString().toUtf8()).object(); }
    QJsonObject stored(const QString &title)
    {
        for (const QJsonValue &user : m_svc.state().value("users").toArray()) {
            if (user.toObject().value("name").toString() == "demo") {
                for (const QJsonValue &v : user.toObject().value("passwords").toArray()) {
                    if (v.toObject().value("title").toString() == title) {
                        return v.toObject();
                    }
                }
            }
        }
        return {};
    }

    SinglePasswordTO encrypted(const QString &secret)
    {
        PasswordCrypt crypt(R7Session::instance()->transportKey());
        QString error;
        const EncryptedBytes bytes = crypt.encryptPassword(secret.toUtf8(), &error);
        SinglePasswordTO to;
        to.setPassword(QString::fromLatin1(bytes.ciphertext.toHex()));
        to.setTransportIv(bytes.iv);
        return to;
    }

    TestEnv *m_env = nullptr;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    std::unique_ptr<PasswordRI> m_ri;
};

QTEST_MAIN(TestPasswordRI)
#include "tst_passwordri.moc"
