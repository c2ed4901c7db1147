#include "net/BigNum.h"
#include "net/R7Exception.h"

#include <QtTest>

class TestBigNum : public QObject
{
    Q_OBJECT
private slots:
    void fromHexText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expectedHex");
        QTest::newRow("upper") << "0A" << QString("0a");
        QTest::newRow("empty") << "" << QString();
        QTest::newRow("no digits") << "xyz" << QString();
        QTest::newRow("leading digits only") << "1fzz12" << QString("1f");
        QTest::newRow("odd length") << "abc" << QString("0abc");
        QTest::newRow("leading zero bytes dropped")
                << "00112233445566778899aabbccddeeff" << QString("112233445566778899aabbccddeeff");
        QTest::newRow("minus sign is not a digit") << "-5" << QString();
    }

    void fromHexText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expectedHex);
        const BigNum fromQString(text);
        const QByteArray latin = text.toLatin1();
        QCOMPARE(fromQString.toHex(), expectedHex);
        QCOMPARE(BigNum(latin.constData()).toHex(), expectedHex);
        QVERIFY(BN_is_negative(fromQString.bn()) == 0);
        QVERIFY(BigNum(expectedHex) == fromQString);
    }

    void integers()
    {
        QCOMPARE(BigNum(0).toHex(), QString());
        QCOMPARE(BigNum(4095).toHex(), QString("0fff"));
        QCOMPARE(BigNum(65536).toHex(), QString("010000"));
        QVERIFY(BigNum() == BigNum(0));
        // Negative integers have no place in the protocol; they are taken as zero, not wrapped around.
        QVERIFY(BigNum(-3) == BigNum());
        QVERIFY(BigNum("fffffffffffffffffffffffffffffffffe") != BigNum(QString("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF")));
        QVERIFY(!(BigNum(255) == BigNum(256)));

        try {
            throw R7Exception("BN_new failed");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("BN_new failed"));
        }
    }
};

QTEST_GUILESS_MAIN(TestBigNum)
#include "tst_bignum.moc"
