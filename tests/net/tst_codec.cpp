#include "net/Codec.h"

#include <QRandomGenerator>
#include <QtTest>

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void hexToBytes_data();
    void hexToBytes();
    void hexToBytesExact_data();
    void hexToBytesExact();
    void bytesToHex_data();
    void bytesToHex();
    void bytesToHexOfNothing();
    void utf8ToHex();
    void roundTrip();
};

void TestCodec::hexToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("00ff") << "00ff" << QByteArray::fromHex("00ff");
    QTest::newRow("mixed case") << "0A1b" << QByteArray::fromHex("0a1b");
    QTest::newRow("odd length") << "abc" << QByteArray::fromHex("0abc");
    QTest::newRow("one digit") << "f" << QByteArray::fromHex("0f");
    QTest::newRow("no digits") << "zz" << QByteArray();
    QTest::newRow("blank inside, odd") << "12 34" << QByteArray::fromHex("012304");
    QTest::newRow("separators, even") << "12:34:" << QByteArray::fromHex("1234");
    QTest::newRow("all digits") << "0123456789abcdefABCDEF" << QByteArray::fromHex("0123456789abcdefabcdef");
    QTest::newRow("non-latin skipped") << QString::fromUtf8("a\xc3\xa9"
                                                            "b")
                                       << QByteArray::fromHex("0a0b");
}

void TestCodec::hexToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(Codec::hexToBytes(text), expected);
}

void TestCodec::hexToBytesExact_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("expectedOk");
    QTest::addColumn<QByteArray>("expected");

    const QString iv = "000102030405060708090a0b0c0d0e0f";
    QTest::newRow("iv") << iv << 16 << true << QByteArray::fromHex(iv.toLatin1());
    QTest::newRow("iv upper case") << iv.toUpper() << 16 << true << QByteArray::fromHex(iv.toLatin1());
    QTest::newRow("31 digits") << iv.left(31) << 16 << false << QByteArray();
    QTest::newRow("33 digits") << iv + "0" << 16 << false << QByteArray();
    QTest::newRow("32 characters with a blank") << iv.left(31) + " " << 16 << false << QByteArray();
    QTest::newRow("32 characters with a non-digit") << "g" + iv.mid(1) << 16 << false << QByteArray();
    QTest::newRow("separators") << "00:01:02:03:04:05:06:07" << 16 << false << QByteArray();
    QTest::newRow("non-latin") << QString(iv.left(31)).append(QChar(0x00e9)) << 16 << false << QByteArray();
    QTest::newRow("zero bytes") << "" << 0 << true << QByteArray();
    QTest::newRow("negative count") << "" << -1 << false << QByteArray();
}

void TestCodec::hexToBytesExact()
{
    QFETCH(QString, text);
    QFETCH(int, byteCount);
    QFETCH(bool, expectedOk);
    QFETCH(QByteArray, expected);

    const QByteArray untouched("untouched");
    QByteArray out = untouched;
    QCOMPARE(Codec::hexToBytesExact(text, byteCount, &out), expectedOk);
    QCOMPARE(out, expectedOk ? expected : untouched);
}

void TestCodec::bytesToHex_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("colon") << QByteArray::fromHex("000aff") << ":"
                           << "00:0a:ff";
    QTest::newRow("none") << QByteArray::fromHex("000aff") << ""
                          << "000aff";
    QTest::newRow("one byte, separator") << QByteArray::fromHex("7f") << ":"
                                         << "7f";
    QTest::newRow("long separator") << QByteArray::fromHex("0102") << ", "
                                    << "01, 02";
    QTest::newRow("high bytes lower case") << QByteArray::fromHex("abcdef80") << ""
                                           << "abcdef80";
    QTest::newRow("empty") << QByteArray() << ":"
                           << "";
}

void TestCodec::bytesToHex()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(Codec::bytesToHex(bytes.constData(), bytes.size(), separator), expected);
    QCOMPARE(Codec::toHex(bytes, separator), expected);
}

void TestCodec::bytesToHexOfNothing()
{
    const char bytes[] = {1, 2};
    QCOMPARE(Codec::bytesToHex(bytes, 0, ":"), QString());
    QCOMPARE(Codec::bytesToHex(bytes, -5, ":"), QString());
    QCOMPARE(Codec::bytesToHex(nullptr, 2, ":"), QString());
}

void TestCodec::utf8ToHex()
{
    QCOMPARE(Codec::utf8ToHex(QString::fromUtf8("\xc3\xa9"), " "), QString("c3 a9"));
    QCOMPARE(Codec::utf8ToHex("Ab", ""), QString("4162"));
    QCOMPARE(Codec::utf8ToHex("", " "), QString());
}

void TestCodec::roundTrip()
{
    QRandomGenerator generator(20261206);
    for (int length : {0, 1, 2, 15, 16, 17, 255, 1000}) {
        QByteArray bytes(length, '\0');
        for (char &b : bytes) {
            b = static_cast<char>(generator.bounded(256));
        }
        const QString text = Codec::toHex(bytes, "");
        QCOMPARE(text.size(), 2 * length);
        QCOMPARE(text, QString::fromLatin1(bytes.toHex()));
        QCOMPARE(Codec::hexToBytes(text), bytes);
        QCOMPARE(Codec::hexToBytes(text.toUpper()), bytes);
        QByteArray exact;
        QVERIFY(Codec::hexToBytesExact(text, length, &exact));
        QCOMPARE(exact, bytes);
    }
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
