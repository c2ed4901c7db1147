#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslError>
#include <QtTest>

// The launcher and the TLS chain as the client's tests rely on them: Qt reaches both ports, the test
// CA is trusted only once it has been added, and the control endpoint answers synchronously.
class TestDevService : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    DevService m_svc;

    struct Answer
    {
        QNetworkReply::NetworkError error;
        int status;
        QByteArray body;
        QList<int> sslErrors;
    };

    Answer get(const QString &url)
    {
        QNetworkAccessManager nam;
        Answer a{QNetworkReply::TimeoutError, 0, {}, {}};
        QScopedPointer<QNetworkReply> reply(nam.get(QNetworkRequest{QUrl(url)}));
        connect(reply.data(), &QNetworkReply::sslErrors, this, [&a](const QList<QSslError> &errors) {
            for (const QSslError &e : errors)
                a.sslErrors << int(e.error());
        });
        if (QSignalSpy(reply.data(), &QNetworkReply::finished).wait(10000)) {
            a.error = reply->error();
            a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            a.body = reply->readAll();
        }
        return a;
    }

private slots:
    void initTestCase() { QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString())); }

    void plainHttpAndTheControlEndpoint()
    {
        const Answer a = get(m_svc.httpUrl() + "/rest/public/1/version/sync");
        QCOMPARE(a.error, QNetworkReply::NoError);
        const QJsonObject doc = QJsonDocument::fromJson(a.body).object();
        QCOMPARE(doc.value("status").toInt(-1), 0);
        QVERIFY(!doc.value("data").toObject().value("version_latest").toString().isEmpty());

        QVERIFY(m_svc.reset());
        QVERIFY(m_svc.fault({{"path", "^/rest/public/"}, {"http_status", 503}, {"count", 1}}) > 0);
        QCOMPARE(get(m_svc.httpUrl() + "/rest/public/1/version/sync").status, 503);
        QCOMPARE(get(m_svc.httpUrl() + "/rest/public/1/version/sync").status, 200); // count 1: only once
        const QJsonArray log = m_svc.requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).toObject().value("status").toInt(), 503);
        QCOMPARE(log.at(1).toObject().value("path").toString(), QStringLiteral("/rest/public/1/version/sync"));
        QVERIFY(m_svc.reset());
        QVERIFY(m_svc.requests().isEmpty());

        const QJsonObject refused = m_svc.control(QStringLiteral("no-such-command"));
        QCOMPARE(refused.value("ok").toBool(true), false);
        QVERIFY(!refused.value("error").toString().isEmpty());
        bool demo = false;
        for (const QJsonValue &u : m_svc.state().value("users").toArray())
            demo = demo || u.toObject().value("name").toString() == DevService::demoUser();
        QVERIFY(demo);
        QVERIFY(m_svc.state().value("safes").toArray().size() >= 2);
    }

    // The service's certificate is trusted only once the test CA is added; then it names the
    // loopback address as well as "localhost".
    void httpsOnceTheCaIsTrusted()
    {
        const QString path = QStringLiteral(":%1/api/sync/1/public/version").arg(m_svc.httpsPort());
        QCOMPARE(get("https://localhost" + path).error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY(m_svc.trustTestCa());
        const Answer a = get("https://localhost" + path);
        QCOMPARE(a.error, QNetworkReply::NoError);
        QCOMPARE(QJsonDocument::fromJson(a.body).object().value("status").toInt(-1), 0);
        QCOMPARE(get("https://127.0.0.1" + path).error, QNetworkReply::NoError);
    }

    void brokenCertificatesFail_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<int>("expected");
        QTest::newRow("wrong host") << "wrong_host" << int(QSslError::HostNameMismatch);
        QTest::newRow("self-signed") << "self_signed" << int(QSslError::SelfSignedCertificate);
        QTest::newRow("expired") << "expired" << int(QSslError::CertificateExpired);
    }

    // Certificates that must fail even with the test CA trusted.
    void brokenCertificatesFail()
    {
        QFETCH(QString, certificate);
        QFETCH(int, expected);
        QVERIFY(m_svc.trustTestCa());
        QVERIFY(m_svc.control("tls", {{"certificate", certificate}}).value("ok").toBool());
        const Answer a = get(m_svc.httpsUrl() + "/api/sync/1/public/version");
        QCOMPARE(a.error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY2(a.sslErrors.contains(expected), qPrintable(QStringLiteral("errors seen: %1").arg(a.sslErrors.size())));
        QVERIFY(m_svc.reset());
    }
};

QTEST_GUILESS_MAIN(TestDevService)
#include "tst_devservice.moc"
