#include "net/CipherCalculator.h"

#include <QtTest>

namespace {

// NIST SP 800-38A, F.2.5, followed by the PKCS#7 block our encryption appends.
const QByteArray kKey = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray kIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray kPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                              "ae2d8a571e03ac9c9eb76fac45af8e51"
                                              "30c81c46a35ce411e5fbc1191a0a52ef"
                                              "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray kCipher = QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"
                                               "9cfc4e967edb808d679f777bc6702c7d"
                                               "39f23369a9d9bacfa530e26304231461"
                                               "b2eb05e2c39be9fcda6c19078c6a9d1b"
                                               "3f461796d6b0d6b2e0c2a72b4d80e644");

} // namespace

class TestCipherCalculator : public QObject
{
    Q_OBJECT
private slots:
    void chunked_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("drainEachChunk");
        for (int chunk : {1, 16, 100}) {
            QTest::newRow(qPrintable(QString("%1-byte chunks").arg(chunk))) << chunk << false;
            QTest::newRow(qPrintable(QString("%1-byte chunks, drained").arg(chunk))) << chunk << true;
        }
    }

    void chunked()
    {
        QFETCH(int, chunk);
        QFETCH(bool, drainEachChunk);

        for (const bool encrypting : {true, false}) {
            const QByteArray &input = encrypting ? kPlain : kCipher;
            CipherCalculator calculator;
            QVERIFY(encrypting ? calculator.encryptInit(EVP_aes_256_cbc(), kKey, kIv)
                               : calculator.decryptInit(EVP_aes_256_cbc(), kKey, kIv));
            QByteArray output;
            for (int offset = 0; offset < input.size(); offset += chunk) {
                const QByteArray part = input.mid(offset, chunk);
                QVERIFY(encrypting ? calculator.encryptUpdate(part) : calculator.decryptUpdate(part));
                if (drainEachChunk) {
                    output += calculator.takeResult();
                }
            }
            QVERIFY(encrypting ? calculator.encryptFinal() : calculator.decryptFinal());
            output += calculator.takeResult();
            QCOMPARE(output.toHex(), (encrypting ? kCipher : kPlain).toHex());
            QCOMPARE(calculator.takeResult(), QByteArray());
        }
    }

    void refusedKeysAndIvs_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("iv");
        QTest::newRow("31-byte key") << kKey.left(31) << kIv;
        QTest::newRow("33-byte key") << kKey + '\0' << kIv;
        QTest::newRow("empty key") << QByteArray() << kIv;
        QTest::newRow("15-byte IV") << kKey << kIv.left(15);
        QTest::newRow("17-byte IV") << kKey << kIv + '\0';
        QTest::newRow("empty IV") << kKey << QByteArray();
    }

    void refusedKeysAndIvs()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, iv);
        // Nothing was set up, so nothing can be produced afterwards.
        CipherCalculator encryptor;
        QVERIFY(!encryptor.encryptInit(EVP_aes_256_cbc(), key, iv));
        QVERIFY(!encryptor.encryptUpdate(kPlain));
        QVERIFY(!encryptor.encryptFinal());
        QCOMPARE(encryptor.takeResult(), QByteArray());
        CipherCalculator decryptor;
        QVERIFY(!decryptor.decryptInit(EVP_aes_256_cbc(), key, iv));
        QVERIFY(!decryptor.decryptUpdate(kCipher));
        QVERIFY(!decryptor.decryptFinal());
        QCOMPARE(decryptor.takeResult(), QByteArray());
    }

    void misuseFails()
    {
        CipherCalculator calculator;
        QVERIFY(!calculator.encryptInit(nullptr, kKey, kIv));
        QVERIFY(!calculator.encryptUpdate(kPlain));
        QVERIFY(!calculator.decryptFinal());

        // A context set up for one direction refuses the other.
        QVERIFY(calculator.encryptInit(EVP_aes_256_cbc(), kKey, kIv));
        QVERIFY(!calculator.decryptUpdate(kCipher));
        QCOMPARE(calculator.takeResult(), QByteArray());

        // A failed padding check keeps what the updates released; the last block was held back for it.
        QVERIFY(calculator.decryptInit(EVP_aes_256_cbc(), kKey, kIv));
        QVERIFY(calculator.decryptUpdate(kCipher.left(64)));
        QVERIFY(!calculator.decryptFinal());
        QCOMPARE(calculator.takeResult().toHex(), kPlain.left(48).toHex());
    }
};

QTEST_GUILESS_MAIN(TestCipherCalculator)
#include "tst_ciphercalculator.moc"
