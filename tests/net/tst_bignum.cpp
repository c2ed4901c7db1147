#include "net/BigNum.h"
#include "net/R7Exception.h"

#include <QtTest>

class TestBigNum : public QObject
{
    Q_OBJECT

private slots:
    void fromHexText_data();
    void fromHexText();
    void toHexForm_data();
    void toHexForm();
    void smallIntegers();
    void comparison();
    void exceptionCarriesMessage();
};

void TestBigNum::fromHexText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedHex");
    QTest::newRow("upper") << "0A"
                           << "0a";
    QTest::newRow("lower") << "0a"
                           << "0a";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no digits") << "xyz"
                               << "";
    QTest::newRow("leading digits only") << "1fzz12"
                                         << "1f";
    QTest::newRow("odd length") << "abc"
                                << "0abc";
    QTest::newRow("leading zero bytes dropped") << "0000ff"
                                                << "ff";
    QTest::newRow("minus sign is not a digit") << "-5"
                                               << "";
    QTest::newRow("long") << "00112233445566778899aabbccddeeff"
                          << "112233445566778899aabbccddeeff";
}

void TestBigNum::fromHexText()
{
    QFETCH(QString, text);
    QFETCH(QString, expectedHex);
    const BigNum fromQString(text);
    const QByteArray latin = text.toLatin1();
    const BigNum fromChars(latin.constData());
    QCOMPARE(fromQString.toHex(), expectedHex);
    QCOMPARE(fromChars.toHex(), expectedHex);
    QVERIFY(BN_is_negative(fromQString.bn()) == 0);
}

void TestBigNum::toHexForm_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expectedHex");
    QTest::newRow("zero") << 0 << "";
    QTest::newRow("one") << 1 << "01";
    QTest::newRow("255") << 255 << "ff";
    QTest::newRow("256") << 256 << "0100";
    QTest::newRow("4095") << 4095 << "0fff";
    QTest::newRow("65536") << 65536 << "010000";
}

void TestBigNum::toHexForm()
{
    QFETCH(int, value);
    QFETCH(QString, expectedHex);
    const BigNum n(value);
    QCOMPARE(n.toHex(), expectedHex);
    // The text form reads back to the same number.
    QVERIFY(BigNum(n.toHex()) == n);
}

void TestBigNum::smallIntegers()
{
    QVERIFY(BigNum(10) == BigNum("0A"));
    QVERIFY(BigNum(10) == BigNum(QStringLiteral("0a")));
    QVERIFY(BigNum() == BigNum(0));
    QVERIFY(BN_is_zero(BigNum().bn()));
    // Negative integers have no place in the protocol; they are taken as zero, not wrapped around.
    QVERIFY(BigNum(-3) == BigNum());
}

void TestBigNum::comparison()
{
    const BigNum a("ffffffffffffffffffffffffffffffffff");
    const BigNum b(QStringLiteral("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"));
    const BigNum c("fffffffffffffffffffffffffffffffffe");
    QVERIFY(a == b);
    QVERIFY(!(a == c));
    QVERIFY(a != c);
}

void TestBigNum::exceptionCarriesMessage()
{
    try {
        throw R7Exception("BN_new failed");
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("BN_new failed"));
        return;
    }
    QFAIL("not caught as a runtime error");
}

QTEST_GUILESS_MAIN(TestBigNum)
#include "tst_bignum.moc"
