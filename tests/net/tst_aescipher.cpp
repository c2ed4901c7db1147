#include "net/AesCipher.h"

#include <QRegularExpression>
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

enum Operation { Encrypt, Decrypt, EncryptString, DecryptHexToString };

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestAesCipher : public QObject
{
    Q_OBJECT

private slots:
    void nistVector();
    void nistBytesAloneFailPadding();
    void paddedLengths_data();
    void paddedLengths();
    void refusedIvs_data();
    void refusedIvs();
    void refusedKeys_data();
    void refusedKeys();
    void upperCaseIvAndKey();
    void ivOnlyGarblesFirstBlock();
    void stringRoundTrip_data();
    void stringRoundTrip();
    void encryptStringWritesLowerHex();
    void badPaddingFails();
};

void TestAesCipher::nistVector()
{
    const AesCipher cipher(kNistKey);
    QCOMPARE(cipher.key, QByteArray::fromHex(kNistKey.toLatin1()));
    QByteArray encrypted;
    QVERIFY(cipher.encrypt(kNistPlain, encrypted, kNistIv));
    QCOMPARE(encrypted.size(), 80);
    QCOMPARE(encrypted.toHex(), (kNistCipher + kPaddingBlock).toHex());
    QByteArray decrypted;
    QVERIFY(cipher.decrypt(encrypted, decrypted, kNistIv));
    QCOMPARE(decrypted.toHex(), kNistPlain.toHex());
}

void TestAesCipher::nistBytesAloneFailPadding()
{
    // The last NIST plaintext block does not end in valid padding.
    const AesCipher cipher(kNistKey);
    QByteArray output("untouched");
    QVERIFY(!cipher.decrypt(kNistCipher, output, kNistIv));
    QCOMPARE(output, QByteArray("untouched"));
}

void TestAesCipher::paddedLengths_data()
{
    QTest::addColumn<int>("plainLength");
    QTest::addColumn<int>("cipherLength");
    QTest::newRow("empty") << 0 << 16;
    QTest::newRow("1") << 1 << 16;
    QTest::newRow("15") << 15 << 16;
    QTest::newRow("16") << 16 << 32;
    QTest::newRow("17") << 17 << 32;
    QTest::newRow("64") << 64 << 80;
    QTest::newRow("1000") << 1000 << 1008;
}

void TestAesCipher::paddedLengths()
{
    QFETCH(int, plainLength);
    QFETCH(int, cipherLength);
    const AesCipher cipher(kNistKey);
    const QByteArray plain(plainLength, 'p');
    QByteArray encrypted;
    QVERIFY(cipher.encrypt(plain, encrypted, kNistIv));
    QCOMPARE(encrypted.size(), cipherLength);
    QByteArray decrypted("stale");
    QVERIFY(cipher.decrypt(encrypted, decrypted, kNistIv));
    QCOMPARE(decrypted, plain);
}

void TestAesCipher::refusedIvs_data()
{
    QTest::addColumn<QString>("iv");
    QTest::newRow("31 characters") << kNistIv.left(31);
    QTest::newRow("33 characters") << kNistIv + "0";
    QTest::newRow("empty") << QString();
    QTest::newRow("32 characters, one not hexadecimal") << kNistIv.left(31) + "g";
    QTest::newRow("32 characters with a blank") << " " + kNistIv.mid(1);
    QTest::newRow("16 bytes with separators") << "00:01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f";
    QTest::newRow("64 characters") << kNistIv + kNistIv;
}

void TestAesCipher::refusedIvs()
{
    QFETCH(QString, iv);
    const AesCipher cipher(kNistKey);

    QByteArray bytes("untouched");
    QVERIFY(!cipher.encrypt(kNistPlain, bytes, iv));
    QCOMPARE(bytes, QByteArray("untouched"));
    QVERIFY(!cipher.decrypt(kNistCipher + kPaddingBlock, bytes, iv));
    QCOMPARE(bytes, QByteArray("untouched"));

    QString text("untouched");
    QVERIFY(!cipher.encryptString("secret", text, iv));
    QCOMPARE(text, QString("untouched"));
    QVERIFY(!cipher.decryptHexToString((kNistCipher + kPaddingBlock).toHex(), text, iv));
    QCOMPARE(text, QString("untouched"));
}

void TestAesCipher::refusedKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("31 bytes") << kNistKey.left(62);
    QTest::newRow("33 bytes") << kNistKey + "00";
    QTest::newRow("16 bytes") << kNistKey.left(32);
    QTest::newRow("empty") << QString();
    QTest::newRow("63 digits") << kNistKey.left(63);
    QTest::newRow("64 characters, one not hexadecimal") << kNistKey.left(63) + "x";
    QTest::newRow("32 bytes with blanks") << kNistKey.left(32) + " " + kNistKey.mid(32);
}

void TestAesCipher::refusedKeys()
{
    QFETCH(QString, key);
    const AesCipher cipher(key);
    QVERIFY(cipher.key.isEmpty());

    QByteArray bytes("untouched");
    QVERIFY(!cipher.encrypt(kNistPlain, bytes, kNistIv));
    QVERIFY(!cipher.decrypt(kNistCipher + kPaddingBlock, bytes, kNistIv));
    QCOMPARE(bytes, QByteArray("untouched"));
    QString text("untouched");
    QVERIFY(!cipher.encryptString("secret", text, kNistIv));
    QVERIFY(!cipher.decryptHexToString((kNistCipher + kPaddingBlock).toHex(), text, kNistIv));
    QCOMPARE(text, QString("untouched"));

    // A key set by hand to the wrong length is refused as well, not read past.
    AesCipher shortKey(kNistKey);
    shortKey.key.chop(1);
    QVERIFY(!shortKey.encrypt(kNistPlain, bytes, kNistIv));
    QCOMPARE(bytes, QByteArray("untouched"));
}

void TestAesCipher::upperCaseIvAndKey()
{
    QByteArray lower;
    QByteArray upper;
    QVERIFY(AesCipher(kNistKey).encrypt(kNistPlain, lower, kNistIv));
    QVERIFY(AesCipher(kNistKey.toUpper()).encrypt(kNistPlain, upper, kNistIv.toUpper()));
    QCOMPARE(upper, lower);
    QCOMPARE(upper.left(64), kNistCipher);
}

void TestAesCipher::ivOnlyGarblesFirstBlock()
{
    const AesCipher cipher(kNistKey);
    QByteArray decrypted;
    QVERIFY(cipher.decrypt(kNistCipher + kPaddingBlock, decrypted, "ffffffffffffffffffffffffffffffff"));
    QCOMPARE(decrypted.size(), kNistPlain.size());
    QVERIFY(decrypted.left(16) != kNistPlain.left(16));
    QCOMPARE(decrypted.mid(16), kNistPlain.mid(16));
}

void TestAesCipher::stringRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii") << "correct horse battery staple";
    QTest::newRow("umlauts and emoji") << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                            "e \xf0\x9f\x94\x91");
    QTest::newRow("one block exactly") << "0123456789abcdef";
    QTest::newRow("long") << QString(5000, QChar('z'));
}

void TestAesCipher::stringRoundTrip()
{
    QFETCH(QString, text);
    const AesCipher cipher(kNistKey);
    QString hex;
    QVERIFY(cipher.encryptString(text, hex, kNistIv));
    QCOMPARE(hex.size(), 2 * (text.toUtf8().size() / 16 + 1) * 16);
    QString back("stale");
    QVERIFY(cipher.decryptHexToString(hex, back, kNistIv));
    QCOMPARE(back, text);
    QVERIFY(cipher.decryptHexToString(hex.toUpper(), back, kNistIv.toUpper()));
    QCOMPARE(back, text);
}

void TestAesCipher::encryptStringWritesLowerHex()
{
    const AesCipher cipher(kNistKey);
    const QString text = QString::fromUtf8("p\xc3\xa4ssw\xc3\xb6rd");
    QString hex;
    QVERIFY(cipher.encryptString(text, hex, kNistIv));
    QVERIFY(QRegularExpression("^([0-9a-f]{2})+$").match(hex).hasMatch());
    // The UTF-8 bytes are what is encrypted, and every ciphertext byte becomes two digits.
    QByteArray bytes;
    QVERIFY(cipher.encrypt(text.toUtf8(), bytes, kNistIv));
    QCOMPARE(hex, QString::fromLatin1(bytes.toHex()));
}

void TestAesCipher::badPaddingFails()
{
    const AesCipher cipher(kNistKey);
    QString text("untouched");
    // The last NIST plaintext block ends in 0x10 but is not sixteen 0x10 bytes.
    QVERIFY(!cipher.decryptHexToString(QString::fromLatin1(kNistCipher.toHex()), text, kNistIv));
    // The padding block without its chaining block decrypts to a block whose padding does not check.
    QVERIFY(!cipher.decryptHexToString(QString::fromLatin1(kPaddingBlock.toHex()), text,
                                       "00000000000000000000000000000000"));
    // Not a whole number of blocks, and nothing at all, never decrypt.
    const QString whole = QString::fromLatin1((kNistCipher + kPaddingBlock).toHex());
    QVERIFY(!cipher.decryptHexToString(whole.left(whole.size() - 2), text, kNistIv));
    QVERIFY(!cipher.decryptHexToString(QString(), text, kNistIv));
    QCOMPARE(text, QString("untouched"));
}

QTEST_GUILESS_MAIN(TestAesCipher)
#include "tst_aescipher.moc"
