#include "net/Codec.h"

#include <QtTest>

class TestCodec : public QObject
{
    Q_OBJECT
private slots:
    void hexToBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("all digits") << "0123456789abcdefABCDEF" << QByteArray::fromHex("0123456789abcdefabcdef");
        QTest::newRow("odd length") << "abc" << QByteArray::fromHex("0abc");
        QTest::newRow("no digits") << "zz" << QByteArray();
        QTest::newRow("blank inside, odd") << "12 34" << QByteArray::fromHex("012304");
        QTest::newRow("separators, even") << "12:34:" << QByteArray::fromHex("1234");
        QTest::newRow("non-latin skipped") << QString::fromUtf8("a\xc3\xa9"
                                                                "b")
                                           << QByteArray::fromHex("0a0b");
    }

    void hexToBytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(Codec::hexToBytes(text), expected);
    }

    void hexToBytesExact_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<bool>("expectedOk");

        // Lengths, blanks and separators at the cipher's level: tst_aescipher.
        const QString iv = "000102030405060708090a0b0c0d0e0f";
        QTest::newRow("iv") << iv << 16 << true;
        QTest::newRow("iv upper case") << iv.toUpper() << 16 << true;
        QTest::newRow("33 digits") << iv + "0" << 16 << false;
        QTest::newRow("32 characters with a non-digit") << "g" + iv.mid(1) << 16 << false;
        QTest::newRow("non-latin") << QString(iv.left(31)).append(QChar(0x00e9)) << 16 << false;
        QTest::newRow("zero bytes") << "" << 0 << true;
        QTest::newRow("negative count") << "" << -1 << false;
    }

    void hexToBytesExact()
    {
        QFETCH(QString, text);
        QFETCH(int, byteCount);
        QFETCH(bool, expectedOk);

        QByteArray out("untouched");
        QCOMPARE(Codec::hexToBytesExact(text, byteCount, &out), expectedOk);
        QCOMPARE(out, expectedOk ? QByteArray::fromHex(text.toLatin1()) : QByteArray("untouched"));
    }

    void bytesToHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");

        QTest::newRow("colon") << QByteArray::fromHex("000aff") << ":" << QString("00:0a:ff");
        QTest::newRow("none, lower case") << QByteArray::fromHex("abcdef80") << "" << QString("abcdef80");
        QTest::newRow("one byte, separator") << QByteArray::fromHex("7f") << ":" << QString("7f");
        QTest::newRow("long separator") << QByteArray::fromHex("0102") << ", " << QString("01, 02");
        QTest::newRow("empty") << QByteArray() << ":" << QString();
    }

    void bytesToHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        QCOMPARE(Codec::bytesToHex(bytes.constData(), bytes.size(), separator), expected);
        QCOMPARE(Codec::toHex(bytes, separator), expected);
        if (separator.isEmpty()) {
            QCOMPARE(Codec::hexToBytes(expected), bytes);
            QCOMPARE(Codec::hexToBytes(expected.toUpper()), bytes);
        }
    }

    void edgeInputs()
    {
        const char bytes[] = {1, 2};
        QCOMPARE(Codec::bytesToHex(bytes, 0, ":"), QString());
        QCOMPARE(Codec::bytesToHex(bytes, -5, ":"), QString());
        QCOMPARE(Codec::bytesToHex(nullptr, 2, ":"), QString());
        QCOMPARE(Codec::utf8ToHex(QString::fromUtf8("\xc3\xa9"), " "), QString("c3 a9"));
        QCOMPARE(Codec::utf8ToHex("", " "), QString());
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
