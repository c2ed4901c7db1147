#include "net/BigNum.h"
#include "net/CryptoPrimitives.h"

#include <openssl/hmac.h>

#include <QtTest>

namespace {

QByteArray pbkdf2(const QByteArray &password, const QByteArray &salt, unsigned int iterations)
{
    QByteArray out(32, '\0');
    if (!pbkdf2HmacSha256(password.constData(), password.size(), salt.constData(), salt.size(), iterations,
                          out.data())) {
        return QByteArray();
    }
    return out;
}

QByteArray hmacSha256(const QByteArray &key, const QByteArray &data)
{
    unsigned char out[32];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.constData(), key.size(), reinterpret_cast<const unsigned char *>(data.constData()),
         size_t(data.size()), out, &length);
    return QByteArray(reinterpret_cast<const char *>(out), int(length));
}

// Restores the real generator whatever a test does.
struct SourceGuard
{
    explicit SourceGuard(RandomSource source) { setRandomSourceForTesting(source); }
    ~SourceGuard() { setRandomSourceForTesting(nullptr); }
};

} // namespace

class TestCryptoPrimitives : public QObject
{
    Q_OBJECT
private slots:
    void pbkdf2Vectors_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<unsigned int>("iterations");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *password, const char *salt, unsigned int iterations, const char *expected) {
            QTest::addRow("%s/%s %u", password, salt, iterations)
                    << QByteArray(password) << QByteArray(salt) << iterations << QByteArray(expected);
        };
        // RFC 7914, section 11.
        row("passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
        row("Password", "NaCl", 80000, "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56");
        // The widely published HMAC-SHA-256 counterparts of RFC 6070.
        row("password", "salt", 1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
        row("password", "salt", 2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
        row("password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    }

    void pbkdf2Vectors()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(unsigned int, iterations);
        QFETCH(QByteArray, expected);
        QCOMPARE(pbkdf2(password, salt, iterations).toHex(), expected);
    }

    void pbkdf2OneIterationIsHmac()
    {
        // The reference HMAC first proves itself on RFC 4231, test case 2.
        QCOMPARE(hmacSha256("Jefe", "what do ya want for nothing?").toHex(),
                 QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));

        const QByteArray blockIndex = QByteArray::fromHex("00000001");
        for (const auto &pair : {qMakePair(QByteArray("pw"), QByteArray("s")), qMakePair(QByteArray(), QByteArray()),
                                 qMakePair(QByteArray(100, 'k'), QByteArray(64, '\x5a'))}) {
            QCOMPARE(pbkdf2(pair.first, pair.second, 1).toHex(), hmacSha256(pair.first, pair.second + blockIndex).toHex());
        }
        // The password is the exact bytes given: a zero byte inside counts, and so does the length.
        const QByteArray withZero("pass\0word", 9);
        const QByteArray saltWithZero("sa\0lt", 5);
        QCOMPARE(pbkdf2(withZero, saltWithZero, 4096).left(16).toHex(), QByteArray("89b69d0516f829893c696226650a8687"));

        // The short form runs 500 iterations.
        QByteArray byDefault(32, '\0');
        QVERIFY(pbkdf2HmacSha256("secret", 6, "pepper", 6, byDefault.data()));
        QCOMPARE(byDefault, pbkdf2("secret", "pepper", 500));
    }

    void pbkdf2Refusals()
    {
        const QByteArray untouched(32, '\x77');
        QByteArray out = untouched;
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", 4, 0u, out.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", -1, "salt", 4, 1u, out.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", -1, 1u, out.data()));
        QVERIFY(!pbkdf2HmacSha256(nullptr, 2, "salt", 4, 1u, out.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", 4, 1u, nullptr));
        QCOMPARE(out, untouched);
    }

    void randomBytes()
    {
        QByteArray first(64, '\0');
        QByteArray second(64, '\0');
        QVERIFY(::randomBytes(first.data(), first.size()));
        QVERIFY(::randomBytes(second.data(), second.size()));
        QVERIFY(first != QByteArray(64, '\0'));
        QVERIFY(first != second);

        char buffer[4] = {1, 2, 3, 4};
        QVERIFY(::randomBytes(buffer, 0));
        QCOMPARE(buffer[0], char(1));
        QVERIFY(!::randomBytes(buffer, -1));
        QVERIFY(!::randomBytes(nullptr, 4));
    }

    void failingSourceStopsCallers()
    {
        SourceGuard guard([](unsigned char *, int) { return false; });
        QByteArray iv(16, '\0');
        QVERIFY(!::randomBytes(iv.data(), iv.size()));
        BigNum number(QString("1234"));
        QVERIFY(!::randomBigNum(number, 32));
        QCOMPARE(number.toHex(), QString("1234"));
    }

    void randomBigNum()
    {
        {
            SourceGuard guard([](unsigned char *buffer, int n) {
                for (int i = 0; i < n; ++i) {
                    buffer[i] = static_cast<unsigned char>(i + 1);
                }
                return true;
            });
            BigNum number;
            QVERIFY(::randomBigNum(number, 4));
            // All n bytes, big-endian, unsigned.
            QCOMPARE(number.toHex(), QString("01020304"));
        }
        {
            // A secret of zero is degenerate, never a success.
            SourceGuard guard([](unsigned char *buffer, int n) { return memset(buffer, 0, size_t(n)) != nullptr; });
            BigNum number(QString("ff"));
            QVERIFY(!::randomBigNum(number, 32));
        }
        BigNum a;
        BigNum b;
        QVERIFY(::randomBigNum(a, 32));
        QVERIFY(::randomBigNum(b, 32));
        QVERIFY(a != b);
        BigNum refused;
        QVERIFY(!::randomBigNum(refused, 0));
    }
};

QTEST_GUILESS_MAIN(TestCryptoPrimitives)
#include "tst_cryptoprimitives.moc"
