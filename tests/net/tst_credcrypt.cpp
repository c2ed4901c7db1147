#include "net/CredCrypt.h"

#include <openssl/evp.h>

#include <QRegularExpression>
#include <QtTest>

namespace {

// The stored format: values already saved on users' machines were written under exactly this
// key and IV, so the cipher must keep them.
const QByteArray kStoredKey = QByteArray::fromHex("1f49f49976be7ce4f7bf11df3b7f9fa8100ea70a87da3f7302c525b95deaa9a5");
const QByteArray kStoredIv = QByteArray::fromHex("5b0fec94449910b74ebd84a113a46733");

// AES-256-CBC with PKCS#7 straight through OpenSSL, as an earlier installation would have written.
QByteArray referenceEncrypt(const QByteArray &plain)
{
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    QByteArray out(plain.size() + 16, '\0');
    int length = 0;
    int last = 0;
    const auto *key = reinterpret_cast<const unsigned char *>(kStoredKey.constData());
    const auto *iv = reinterpret_cast<const unsigned char *>(kStoredIv.constData());
    auto *target = reinterpret_cast<unsigned char *>(out.data());
    const bool ok = EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key, iv) == 1 &&
                    EVP_EncryptUpdate(context, target, &length,
                                      reinterpret_cast<const unsigned char *>(plain.constData()), plain.size()) == 1 &&
                    EVP_EncryptFinal_ex(context, target + length, &last) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok) {
        qFatal("reference encryption failed");
    }
    out.resize(length + last);
    return out;
}

} // namespace

class TestCredCrypt : public QObject
{
    Q_OBJECT

private slots:
    void storedFormat_data();
    void storedFormat();
    void emptyIsOneBlock();
    void deterministic();
    void badPaddingLeavesOutput();
    void nullOutput();
};

void TestCredCrypt::storedFormat_data()
{
    QTest::addColumn<QString>("plain");
    QTest::newRow("empty") << QString();
    QTest::newRow("password") << "hunter2";
    QTest::newRow("unicode") << QString::fromUtf8("p\xc3\xa4ss \xe2\x82\xac \xf0\x9f\x94\x91");
    QTest::newRow("one block") << "0123456789abcdef";
    QTest::newRow("device value") << QString(64, QChar('d'));
}

void TestCredCrypt::storedFormat()
{
    QFETCH(QString, plain);
    const QString expected = QString::fromLatin1(referenceEncrypt(plain.toUtf8()).toHex());

    QString encrypted;
    QVERIFY(CredCrypt::encryptStored(plain, &encrypted));
    QCOMPARE(encrypted, expected);
    QVERIFY(QRegularExpression("^([0-9a-f]{32})+$").match(encrypted).hasMatch());

    QString decrypted("stale");
    QVERIFY(CredCrypt::decryptStored(expected, &decrypted));
    QCOMPARE(decrypted, plain);
}

void TestCredCrypt::emptyIsOneBlock()
{
    QString encrypted;
    QVERIFY(CredCrypt::encryptStored(QString(), &encrypted));
    QCOMPARE(encrypted.size(), 32);
}

void TestCredCrypt::deterministic()
{
    QString first;
    QString second;
    QVERIFY(CredCrypt::encryptStored("same secret", &first));
    QVERIFY(CredCrypt::encryptStored("same secret", &second));
    QCOMPARE(first, second);
    QString other;
    QVERIFY(CredCrypt::encryptStored("same secreT", &other));
    QVERIFY(other != first);
}

void TestCredCrypt::badPaddingLeavesOutput()
{
    // Ciphertext of a block ending in 0x02 0x03: its padding byte 3 is not repeated.
    QByteArray block(16, 'x');
    block[14] = 2;
    block[15] = 3;
    const QByteArray padded = referenceEncrypt(block);
    const QString badLastBlock = QString::fromLatin1(padded.left(16).toHex());

    QString out("untouched");
    QVERIFY(!CredCrypt::decryptStored(badLastBlock, &out));
    QCOMPARE(out, QString("untouched"));
    QVERIFY(!CredCrypt::decryptStored(QString(), &out));
    QVERIFY(!CredCrypt::decryptStored(badLastBlock.left(30), &out));
    QCOMPARE(out, QString("untouched"));
    // The whole ciphertext, padding block included, decrypts.
    QVERIFY(CredCrypt::decryptStored(QString::fromLatin1(padded.toHex()), &out));
    QCOMPARE(out.toLatin1(), block);
}

void TestCredCrypt::nullOutput()
{
    QVERIFY(!CredCrypt::encryptStored("x", nullptr));
    QString encrypted;
    QVERIFY(CredCrypt::encryptStored("x", &encrypted));
    QVERIFY(!CredCrypt::decryptStored(encrypted, nullptr));
}

QTEST_GUILESS_MAIN(TestCredCrypt)
#include "tst_credcrypt.moc"
