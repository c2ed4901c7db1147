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
    void encryptsUnderTheTransportKey()
    {
        const PasswordCrypt crypt(key);
        QString error = QStringLiteral("earlier");
        const EncryptedBytes out = crypt.encryptPassword(secret.toUtf8(), &error);
        // A success leaves the caller's error text alone.
        QCOMPARE(error, QStringLiteral("earlier"));
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(out.iv).hasMatch());
        QCOMPARE(out.ciphertext.size(), 16);
        const QByteArray plain =
                opensslDecrypt(QByteArray::fromHex(key.toLatin1()), QByteArray::fromHex(out.iv.toLatin1()), out.ciphertext);
        QCOMPARE(QString::fromUtf8(plain), secret);

        // A fresh IV each time.
        const EncryptedBytes again = crypt.encryptPassword(secret.toUtf8(), &error);
        QVERIFY(again.iv != out.iv);
        QVERIFY(again.ciphertext != out.ciphertext);
        QCOMPARE(crypt.encryptPassword(QByteArray(16, 'x'), &error).ciphertext.size(), 32);
    }

    void decrypts_data()
    {
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QString>("ivText");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain key") << key << secretCipher << iv << true;
        QTest::newRow("key with a leading zero byte") << zeroLedKey << secretCipherZeroLed << iv << true;
        QTest::newRow("upper-case digits") << key << secretCipher.toUpper() << iv.toUpper() << true;
        QTest::newRow("iv of 30 digits") << key << secretCipher << iv.left(30) << false;
        QTest::newRow("iv of 34 digits") << key << secretCipher << iv + "00" << false;
        QTest::newRow("wrong key") << zeroLedKey << secretCipher << iv << false;
        QTest::newRow("cut ciphertext") << key << secretCipher.left(30) << iv << false;
    }

    void decrypts()
    {
        QFETCH(QString, keyText);
        QFETCH(QString, cipher);
        QFETCH(QString, ivText);
        QFETCH(bool, ok);
        QString error = QStringLiteral("earlier");
        const QString out = PasswordCrypt(keyText).decryptPassword(EncryptedData(cipher, ivText), &error);
        QCOMPARE(out, ok ? secret : QString());
        QCOMPARE(error,
                 ok ? QStringLiteral("earlier") : QStringLiteral("Error encrypting data! [AES encryption/decryption: 31]"));
    }

    void failedRandomDrawEncryptsNothing()
    {
        QString error;
        setRandomSourceForTesting([](unsigned char *, int) { return false; });
        const EncryptedBytes out = PasswordCrypt(key).encryptPassword("secret", &error);
        setRandomSourceForTesting(nullptr);
        QCOMPARE(error, QStringLiteral("Error encrypting data! [AES encryption/decryption: 30]"));
        QVERIFY(out.ciphertext.isEmpty());
        QVERIFY(out.iv.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPasswordCrypt)
#include "tst_passwordcrypt.moc"
