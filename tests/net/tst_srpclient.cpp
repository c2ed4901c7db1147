#include "net/crypto/BigNum.h"
#include "net/crypto/CryptoPrimitives.h"
#include "net/SrpClient.h"
#include "net/SrpContext.h"

#include <QCryptographicHash>
#include <QtTest>

#include <openssl/bn.h>

// Known values: the RFC 5054 user, salt and client secret, with a server value B, run through this
// protocol's variant (SHA-256, k = 3, shortest-byte hashing) by an independent calculation.
namespace vec {
const QString user = QStringLiteral("alice");
const QString password = QStringLiteral("password123");
const QString salt = QStringLiteral("beb25379d1a8581eb5a727673a2441ee");
const QString a = QStringLiteral("60975527035cf2ad1989806f0407210bc81edc04e2762a56afd529ddda2d4393");
const QString B = QStringLiteral(
        "493aba068f9a69f71f20e7e6cdfccc2053e5d9578dbe81cd7490189023ad4ad5bbcab20e4405392fc260c5ca66c468be882f37459bcc89"
        "12530d74069c0cc1af0323dad79e9df69a680cf245fe0563467dac3671f4d91ae2fb10552ce6fc0a55dbebdfb11d27a52112842ae971f8"
        "479bd0e67370052fb81b40583805fd35ea8a");
const QString x = QStringLiteral("65ac38dff8bc34ae0f259e91fbd0f4ca2fa43081c9050cec7cac20d015f303");
const QString u = QStringLiteral("9daeb4e909fa37eee5690e2749ffefac05f9b79ccdf5a6cb132890e0018f798d");
const QString K = QStringLiteral("d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9");
const QString M1 = QStringLiteral("e67e990564ce3fa65579cb78bcb6bef4e528734ea70f3972b403bf404de334a6");
const QString M2 = QStringLiteral("548aea79799e5d14c3f87e83a4823368e8ed7d526d0b7462cdf6810b68635326");
const QString userKey = QStringLiteral(
        "f6cf1f0da09e69f76864b0d91b18b82d3f7c186faabe23f24bcbafb52360a464e1b9394e9a71c5adc5830907f95428df");
const QString tanAb12 = QStringLiteral("2446288a6ee3cc517cae218efd27d0ff");
const QString nextFromAb12 = QStringLiteral("181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07");
const QString renewed = QStringLiteral("69f1ba6e31d3e16a95b0d32c7f3185b1c675b33db8236338ec822f7d6d8f9dfd");
const QString deviceName = QStringLiteral("2cb5c7ba60d406e94e584517a33c50dc");
// RFC 5054, Appendix B.
const QString rfcA = QStringLiteral(
        "61d5e490f6f1b79547b0704c436f523dd0e560f0c64115bb72557ec44352e8903211c04692272d8b2d1a5358a2cf1b6e0bfcf99f921530"
        "ec8e39356179eae45e42ba92aeaced825171e1e8b9af6d9c03e1327f44be087ef06530e69f66615261eef54073ca11cf5858f0edfdfe15"
        "efeab349ef5d76988a3672fac47b0769447b");
const QString rfcX = QStringLiteral("94b7555aabe9127cc58ccf4993db6cf84d16c124");
const QString rfcV = QStringLiteral(
        "7e273de8696ffc4f4e337d05b4b375beb0dde1569e8fa00a9886d8129bada1f1822223ca1a605b530e379ba4729fdc59f105b4787e5186"
        "f5c671085a1447b52a48cf1970b4fb6f8400bbf4cebfbb168152e08ab5ea53d15c1aff87b2b9da6e04e058ad51cc72bfc9033b564e2648"
        "0d78e955a5e29e7ab245db2be315e2099afb");
// The same exchange with the password "password24" gives a K whose first byte is zero.
const QString shortPassword = QStringLiteral("password24");
const QString shortK = QStringLiteral("acc289410b4173c45984de422ceec42e88928106fa9c9a83406a991a538a82");
const QString shortUserKey = QStringLiteral(
        "58e8747e9050dcb41a7865b8a8bbff7fe15faf0f11b4c3fbea5417c5dc3ad67204669772128777a9860a5ba25cc3e235");
const QString shortTan = QStringLiteral("63040a06781d23d410ccc0bc12d41890");
const QString shortNext = QStringLiteral("2434dd067d9ad08d9438c6edf0cbe7d20b61b6ec55477c2c9a2291c260dc34aa");
} // namespace vec

namespace {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// Runs the exchange up to K with the vector's secret, salt and B; false if K was refused.
bool exchange(SrpClient &client, const QString &user, const QString &password, QString &kText, QString &error,
              const QString &salt = vec::salt)
{
    client.initWithSecret(user, password, vec::a);
    QString aText;
    if (!client.computeA(aText, error) || aText != vec::rfcA) {
        qFatal("A must not depend on user or password");
    }
    client.setB(vec::B);
    client.setSalt(salt);
    return client.computeSessionKey(kText, error);
}

} // namespace

class TestSrpClient : public QObject
{
    Q_OBJECT
private slots:
    void rfcGroupAndValues()
    {
        const SrpContext ctx(vec::user, vec::password);
        QCOMPARE(BN_check_prime(ctx.N().bn(), ctx.N().ctx(), nullptr), 1);
        BigNum A;
        QVERIFY(ctx.computeA(BigNum(vec::a), A));
        QCOMPARE(A.toHex(), vec::rfcA);
        // v = g^x mod N with the RFC's x: the same modular exponentiation that gives A.
        BigNum v;
        QVERIFY(ctx.computeA(BigNum(vec::rfcX), v));
        QCOMPARE(v.toHex(), vec::rfcV);
    }

    void knownExchange()
    {
        const SrpContext ctx(vec::user, vec::password);
        BigNum number;
        QVERIFY(ctx.computeX(number, BigNum(vec::salt)));
        QCOMPARE(number.toHex(), vec::x);
        QVERIFY(ctx.hash2(number, BigNum(vec::rfcA), BigNum(vec::B)));
        QCOMPARE(number.toHex(), vec::u);
        QVERIFY(ctx.hash3(number, BigNum(vec::rfcA), BigNum(vec::M1), BigNum(vec::K)));
        QCOMPARE(number.toHex(), vec::M2);

        SrpClient client;
        QString kText, m1Text, error;
        QVERIFY2(exchange(client, vec::user, vec::password, kText, error), qPrintable(error));
        QVERIFY(client.checkServerValue(error));
        QCOMPARE(kText, vec::K);
        QCOMPARE(client.keyHex(), vec::K);
        QVERIFY(client.computeM1(m1Text, error));
        QCOMPARE(m1Text, vec::M1);
        client.setM2(vec::M2);
        QVERIFY(client.serverProof() == BigNum(vec::M2));

        QCOMPARE(client.tanIv(), vec::rfcA.mid(0, 32));
        QCOMPARE(client.userKeyIv(), vec::rfcA.mid(32, 32));
        QCOMPARE(client.deviceIv(), vec::rfcA.mid(64, 32));
        QCOMPARE(hex(client.encryptWithDerivedKey()), vec::userKey);
        QCOMPARE(hex(client.encryptTanValue(QStringLiteral("ab12"))), vec::tanAb12);
        QCOMPARE(hex(client.encryptDeviceName(QStringLiteral("Test-PC"))), vec::deviceName);
        // The DeviceKey chain starts from the upper-cased code's bytes; either case of digits reads the same.
        QCOMPARE(client.nextDeviceKeyValue(QStringLiteral("41423132")), vec::nextFromAb12);
        QCOMPARE(client.nextDeviceKeyValue(vec::nextFromAb12.toUpper()), vec::renewed);
        // Repeated step-3 derivations use the same A and K.
        QCOMPARE(hex(client.encryptWithDerivedKey()), vec::userKey);

        // The user name is lower-cased before hashing; the password is hashed as typed.
        SrpClient upperUser;
        QVERIFY(exchange(upperUser, QStringLiteral("ALICE"), vec::password, kText, error));
        QCOMPARE(upperUser.userName(), QStringLiteral("alice"));
        QCOMPARE(kText, vec::K);
        QVERIFY(upperUser.computeM1(m1Text, error));
        QCOMPARE(m1Text, vec::M1);
        SrpClient upperPassword;
        QVERIFY(exchange(upperPassword, vec::user, vec::password.toUpper(), kText, error));
        QVERIFY(kText != vec::K);
    }

    void shortSessionKeyKeepsFullAesKey()
    {
        SrpClient client;
        QString kText, error;
        QVERIFY(exchange(client, vec::user, vec::shortPassword, kText, error));
        // The text form drops the zero byte (hashes and HMAC keep using it) ...
        QCOMPARE(kText, vec::shortK);
        // ... while every AES key is the whole digest.
        QCOMPARE(client.keyHex(), QStringLiteral("00") + vec::shortK);
        QCOMPARE(hex(client.encryptWithDerivedKey()), vec::shortUserKey);
        QCOMPARE(hex(client.encryptTanValue(QStringLiteral("ab12"))), vec::shortTan);
        QCOMPARE(client.nextDeviceKeyValue(QStringLiteral("41423132")), vec::shortNext);
    }

    void numbersHashedWithoutPadding()
    {
        // A B whose top byte is zero enters u with 127 bytes.
        const QString shortB = QStringLiteral("00") + vec::B.mid(2);
        const SrpContext ctx(vec::user, vec::password);
        BigNum u;
        QVERIFY(ctx.hash2(u, BigNum(vec::rfcA), BigNum(shortB)));
        const QByteArray bBytes = QByteArray::fromHex(shortB.toLatin1()).mid(1);
        const QByteArray expected =
                QCryptographicHash::hash(QByteArray::fromHex(vec::rfcA.toLatin1()) + bBytes, QCryptographicHash::Sha256);
        QCOMPARE(u.toHex().rightJustified(64, QLatin1Char('0')), hex(expected));
    }

    void secretDraws()
    {
        // A failed or zero draw would make A = 1 and the exchange independent of the password.
        const RandomSource failing = [](unsigned char *, int) { return false; };
        const RandomSource zero = [](unsigned char *buffer, int n) { return memset(buffer, 0, size_t(n)) != nullptr; };
        for (RandomSource source : {failing, zero}) {
            setRandomSourceForTesting(source);
            SrpClient client;
            const bool drawn = client.init(vec::user, vec::password);
            setRandomSourceForTesting(nullptr);
            QVERIFY(!drawn);
            QString aText = QStringLiteral("untouched"), error;
            QVERIFY(!client.computeA(aText, error));
            QCOMPARE(aText, QStringLiteral("untouched"));
            QCOMPARE(error, QStringLiteral("Failed to calculate public A (code:24)"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSrpClient)
#include "tst_srpclient.moc"
