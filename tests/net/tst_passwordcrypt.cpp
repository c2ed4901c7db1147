#include "net/CryptoPrimitives.h"
#include "net/PasswordCrypt.h"

#include <QtTest>

#include <openssl/evp.h>

namespace {
const QString key = QStringLiteral("d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9");
const QString zeroLedKey = QStringLiteral("00acc289410b4173c45984de422ceec42e88928106fa9c9a83406a991a538a82");
const QString iv = QStringLiteral("000102030405060708090a0b0c0d0e0f");
const QString secret = QString::fromUtf8("pässwörd €");
// The secret above under each key and iv, by an independent AES-256-CBC.
const QString secretCipher = QStringLiteral("55ebf64c660d0b80fcac9129c020e056");
const QString secretCipherZeroLed = QStringLiteral("77b1919f98171f321f3c7c3f4e88ccea");
const QString decryptFailure = QStringLiteral("Error encrypting data! [AES encryption/decryption: 31]");

// Decrypts with OpenSSL directly, so that a fault shared by both directions of our cipher shows.
QByteArray opensslDecrypt(const QByteArray &keyBytes, const QByteArray &ivBytes, const QByteArray &cipher)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QByteArray out(cipher.size() + 32, '\0');
    int n1 = 0, n2 = 0;
    bool ok = EVP_DecryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr,
                                 reinterpret_cast<const unsigned char *>(keyBytes.constData()),
                                 reinterpret_cast<const unsigned char *>(ivBytes.constData())) == 1 &&
              EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char *>(out.data()), &n1,
                                reinterpret_cast<const unsigned char *>(cipher.constData()), cipher.size()) == 1 &&
              EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char *>(out.data()) + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    return ok ? out.left(n1 + n2) : QByteArray();
}
} // namespace

class TestPasswordCrypt : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();
    void encryptsUnderTheTransportKey();
    void freshIvEachTime();
    void decryptsKnownCiphertext_data();
    void decryptsKnownCiphertext();
    void decryptFailures_data();
    void decryptFailures();
    void successLeavesErrorTextAlone();
    void failedRandomDrawEncryptsNothing();
};

void TestPasswordCrypt::sizes_data()
{
    QTest::addColumn<int>("plainBytes");
    QTest::addColumn<int>("cipherBytes");
    QTest::newRow("empty") << 0 << 16;
    QTest::newRow("15") << 15 << 16;
    QTest::newRow("16") << 16 << 32;
    QTest::newRow("33") << 33 << 48;
}

void TestPasswordCrypt::sizes()
{
    QFETCH(int, plainBytes);
    QFETCH(int, cipherBytes);
    const PasswordCrypt crypt(key);
    QString error;
    const EncryptedBytes out = crypt.encryptPassword(QByteArray(plainBytes, 'x'), &error);
    QVERIFY(error.isEmpty());
    QCOMPARE(out.ciphertext.size(), cipherBytes);
    QCOMPARE(out.iv.size(), 32);
    QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(out.iv).hasMatch());
}

void TestPasswordCrypt::encryptsUnderTheTransportKey()
{
    const PasswordCrypt crypt(key);
    QString error;
    const EncryptedBytes out = crypt.encryptPassword(secret.toUtf8(), &error);
    QVERIFY(error.isEmpty());
    const QByteArray plain =
            opensslDecrypt(QByteArray::fromHex(key.toLatin1()), QByteArray::fromHex(out.iv.toLatin1()), out.ciphertext);
    QCOMPARE(QString::fromUtf8(plain), secret);
    // And back through our own decryption, as the wire form.
    const QString back =
            crypt.decryptPassword(EncryptedData(QString::fromLatin1(out.ciphertext.toHex()), out.iv), &error);
    QVERIFY(error.isEmpty());
    QCOMPARE(back, secret);
}

void TestPasswordCrypt::freshIvEachTime()
{
    const PasswordCrypt crypt(key);
    QString error;
    const EncryptedBytes one = crypt.encryptPassword("same", &error);
    const EncryptedBytes two = crypt.encryptPassword("same", &error);
    QVERIFY(error.isEmpty());
    QVERIFY(one.iv != two.iv);
    QVERIFY(one.ciphertext != two.ciphertext);
}

void TestPasswordCrypt::decryptsKnownCiphertext_data()
{
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<QString>("cipher");
    QTest::newRow("plain key") << key << secretCipher;
    QTest::newRow("key with a leading zero byte") << zeroLedKey << secretCipherZeroLed;
    QTest::newRow("upper-case digits") << key << secretCipher.toUpper();
}

void TestPasswordCrypt::decryptsKnownCiphertext()
{
    QFETCH(QString, keyText);
    QFETCH(QString, cipher);
    const PasswordCrypt crypt(keyText);
    QString error;
    QCOMPARE(crypt.decryptPassword(EncryptedData(cipher, iv), &error), secret);
    QVERIFY(error.isEmpty());
}

void TestPasswordCrypt::decryptFailures_data()
{
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<QString>("ivText");
    QTest::newRow("iv of 30 digits") << key << secretCipher << iv.left(30);
    QTest::newRow("iv of 34 digits") << key << secretCipher << iv + "00";
    QTest::newRow("wrong key") << zeroLedKey << secretCipher << iv;
    QTest::newRow("cut ciphertext") << key << secretCipher.left(30) << iv;
}

void TestPasswordCrypt::decryptFailures()
{
    QFETCH(QString, keyText);
    QFETCH(QString, cipher);
    QFETCH(QString, ivText);
    const PasswordCrypt crypt(keyText);
    QString error;
    const QString out = crypt.decryptPassword(EncryptedData(cipher, ivText), &error);
    QVERIFY(out.isEmpty());
    QCOMPARE(error, decryptFailure);
}

void TestPasswordCrypt::successLeavesErrorTextAlone()
{
    const PasswordCrypt crypt(key);
    QString error = QStringLiteral("earlier");
    crypt.encryptPassword("x", &error);
    QCOMPARE(error, QStringLiteral("earlier"));
    crypt.decryptPassword(EncryptedData(secretCipher, iv), &error);
    QCOMPARE(error, QStringLiteral("earlier"));
}

static bool failingSource(unsigned char *, int)
{
    return false;
}

void TestPasswordCrypt::failedRandomDrawEncryptsNothing()
{
    const PasswordCrypt crypt(key);
    QString error;
    setRandomSourceForTesting(&failingSource);
    const EncryptedBytes out = crypt.encryptPassword("secret", &error);
    setRandomSourceForTesting(nullptr);
    QCOMPARE(error, QStringLiteral("Error encrypting data! [AES encryption/decryption: 30]"));
    QVERIFY(out.ciphertext.isEmpty());
    QVERIFY(out.iv.isEmpty());
}

QTEST_GUILESS_MAIN(TestPasswordCrypt)
#include "tst_passwordcrypt.moc"
