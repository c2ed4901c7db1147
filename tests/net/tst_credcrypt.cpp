#include "net/CredCrypt.h"

#include <openssl/evp.h>

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
    auto *target = reinterpret_cast<unsigned char *>(out.data());
    const bool ok = EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                                       reinterpret_cast<const unsigned char *>(kStoredKey.constData()),
                                       reinterpret_cast<const unsigned char *>(kStoredIv.constData())) == 1 &&
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
    void storedFormat_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty") << QString();
        QTest::newRow("password") << "hunter2";
        QTest::newRow("unicode") << QString::fromUtf8("p\xc3\xa4ss \xe2\x82\xac \xf0\x9f\x94\x91");
        QTest::newRow("one block") << "0123456789abcdef";
    }

    void storedFormat()
    {
        QFETCH(QString, plain);
        const QString expected = QString::fromLatin1(referenceEncrypt(plain.toUtf8()).toHex());
        QString encrypted;
        QVERIFY(CredCrypt::encryptStored(plain, &encrypted));
        QCOMPARE(encrypted, expected);
        QString decrypted("stale");
        QVERIFY(CredCrypt::decryptStored(expected.toUpper(), &decrypted));
        QCOMPARE(decrypted, plain);
    }

    void refusals()
    {
        // Ciphertext of a block ending in 0x02 0x03: its padding byte 3 is not repeated.
        QByteArray block(16, 'x');
        block[14] = 2;
        block[15] = 3;
        const QString badLastBlock = QString::fromLatin1(referenceEncrypt(block).left(16).toHex());
        QString out("untouched");
        QVERIFY(!CredCrypt::decryptStored(badLastBlock, &out));
        QVERIFY(!CredCrypt::decryptStored(QString(), &out));
        QVERIFY(!CredCrypt::decryptStored(badLastBlock.left(30), &out));
        QCOMPARE(out, QString("untouched"));

        QVERIFY(!CredCrypt::encryptStored("x", nullptr));
        QVERIFY(CredCrypt::encryptStored("x", &out));
        QVERIFY(!CredCrypt::decryptStored(out, nullptr));
    }
};

QTEST_GUILESS_MAIN(TestCredCrypt)
#include "tst_credcrypt.moc"
