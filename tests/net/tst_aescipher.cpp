#include "net/AesCipher.h"

#include <QtTest>

namespace {

// NIST SP 800-38A, F.2.5 (CBC-AES256.Encrypt).
const QString kNistKey = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const QString kNistIv = "000102030405060708090a0b0c0d0e0f";
const QByteArray kNistPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                                  "ae2d8a571e03ac9c9eb76fac45af8e51"
                                                  "30c81c46a35ce411e5fbc1191a0a52ef"
                                                  "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray kNistCipher = QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"
                                                   "9cfc4e967edb808d679f777bc6702c7d"
                                                   "39f23369a9d9bacfa530e26304231461"
                                                   "b2eb05e2c39be9fcda6c19078c6a9d1b");
// CBC continues from the last NIST block over a full block of padding (sixteen 0x10 bytes).
const QByteArray kPaddingBlock = QByteArray::fromHex("3f461796d6b0d6b2e0c2a72b4d80e644");
const QByteArray kWhole = kNistCipher + kPaddingBlock;

// Every operation must fail and leave its output as it was.
void verifyAllRefused(const AesCipher &cipher, const QString &iv)
{
    QByteArray bytes("untouched");
    QVERIFY(!cipher.encrypt(kNistPlain, bytes, iv));
    QVERIFY(!cipher.decrypt(kWhole, bytes, iv));
    QCOMPARE(bytes, QByteArray("untouched"));
    QString text("untouched");
    QVERIFY(!cipher.encryptString("secret", text, iv));
    QVERIFY(!cipher.decryptHexToString(kWhole.toHex(), text, iv));
    QCOMPARE(text, QString("untouched"));
}

} // namespace

class TestAesCipher : public QObject
{
    Q_OBJECT
private slots:
    void nistVector()
    {
        for (const bool upper : {false, true}) {
            const AesCipher cipher(upper ? kNistKey.toUpper() : kNistKey);
            const QString iv = upper ? kNistIv.toUpper() : kNistIv;
            QByteArray encrypted;
            QVERIFY(cipher.encrypt(kNistPlain, encrypted, iv));
            QCOMPARE(encrypted.toHex(), kWhole.toHex());
            QByteArray decrypted;
            QVERIFY(cipher.decrypt(encrypted, decrypted, iv));
            QCOMPARE(decrypted.toHex(), kNistPlain.toHex());
        }
    }

    void badPaddingFails()
    {
        const AesCipher cipher(kNistKey);
        // The 64 NIST bytes alone: the last plaintext block ends in 0x10 but is no padding block.
        QByteArray bytes("untouched");
        QVERIFY(!cipher.decrypt(kNistCipher, bytes, kNistIv));
        QCOMPARE(bytes, QByteArray("untouched"));
        QString text("untouched");
        QVERIFY(!cipher.decryptHexToString(kNistCipher.toHex(), text, kNistIv));
        // Not a whole number of blocks, and nothing at all, never decrypt.
        QVERIFY(!cipher.decryptHexToString(kWhole.toHex().chopped(2), text, kNistIv));
        QVERIFY(!cipher.decryptHexToString(QString(), text, kNistIv));
        QCOMPARE(text, QString("untouched"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("15 bytes") << "fifteen bytes!!";
        QTest::newRow("one block exactly") << "0123456789abcdef";
        QTest::newRow("umlauts and emoji") << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                                "e \xf0\x9f\x94\x91");
        QTest::newRow("long") << QString(1000, QChar('z'));
    }

    void roundTrip()
    {
        QFETCH(QString, text);
        const AesCipher cipher(kNistKey);
        const QByteArray plain = text.toUtf8();
        QByteArray encrypted;
        QVERIFY(cipher.encrypt(plain, encrypted, kNistIv));
        QCOMPARE(encrypted.size(), (plain.size() / 16 + 1) * 16);
        QByteArray decrypted("stale");
        QVERIFY(cipher.decrypt(encrypted, decrypted, kNistIv));
        QCOMPARE(decrypted, plain);

        // The text form is the same ciphertext of the UTF-8 bytes, in lower-case digits.
        QString hex;
        QVERIFY(cipher.encryptString(text, hex, kNistIv));
        QCOMPARE(hex, QString::fromLatin1(encrypted.toHex()));
        QString back("stale");
        QVERIFY(cipher.decryptHexToString(hex.toUpper(), back, kNistIv));
        QCOMPARE(back, text);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("iv");
        QTest::newRow("iv of 31 characters") << kNistKey << kNistIv.left(31);
        QTest::newRow("iv of 33 characters") << kNistKey << kNistIv + "0";
        QTest::newRow("empty iv") << kNistKey << QString();
        QTest::newRow("iv of 32 characters, one not hexadecimal") << kNistKey << kNistIv.left(31) + "g";
        QTest::newRow("iv of 32 characters with a blank") << kNistKey << " " + kNistIv.mid(1);
        QTest::newRow("iv of 16 bytes with separators") << kNistKey << "00:01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f";
        QTest::newRow("key of 31 bytes") << kNistKey.left(62) << kNistIv;
        QTest::newRow("key of 33 bytes") << kNistKey + "00" << kNistIv;
        QTest::newRow("empty key") << QString() << kNistIv;
        QTest::newRow("key of 63 digits") << kNistKey.left(63) << kNistIv;
        QTest::newRow("key of 64 characters, one not hexadecimal") << kNistKey.left(63) + "x" << kNistIv;
        QTest::newRow("key of 32 bytes with blanks") << kNistKey.left(32) + " " + kNistKey.mid(32) << kNistIv;
    }

    void refused()
    {
        QFETCH(QString, key);
        QFETCH(QString, iv);
        const AesCipher cipher(key);
        QCOMPARE(cipher.key.isEmpty(), key != kNistKey);
        verifyAllRefused(cipher, iv);
    }

    void keyOfWrongLengthSetByHand()
    {
        // Refused as well, not read past.
        AesCipher shortKey(kNistKey);
        shortKey.key.chop(1);
        verifyAllRefused(shortKey, kNistIv);
    }
};

QTEST_GUILESS_MAIN(TestAesCipher)
#include "tst_aescipher.moc"
