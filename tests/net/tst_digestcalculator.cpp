#include "net/BigNum.h"
#include "net/DigestCalculator.h"

#include <QtTest>

namespace {

// FIPS 180-2 appendix B and the empty message.
const QByteArray kSha256Abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const QByteArray kSha256Empty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const QByteArray kSha256TwoBlocks = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
const char kTwoBlockMessage[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

QByteArray finalHex(DigestCalculator &calculator)
{
    unsigned char out[32];
    calculator.final(out);
    return QByteArray(reinterpret_cast<const char *>(out), sizeof out).toHex();
}

// An independent one-shot digest to compare against.
QByteArray oneShotHex(const QByteArray &message)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(message.constData(), size_t(message.size()), out, &length, EVP_sha256(), nullptr) != 1) {
        qFatal("EVP_Digest failed");
    }
    return QByteArray(reinterpret_cast<const char *>(out), int(length)).toHex();
}

} // namespace

class TestDigestCalculator : public QObject
{
    Q_OBJECT
private slots:
    void publishedVectors_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("abc") << QByteArray("abc") << 3 << kSha256Abc;
        QTest::newRow("abc by byte") << QByteArray("abc") << 1 << kSha256Abc;
        QTest::newRow("empty") << QByteArray() << 1 << kSha256Empty;
        QTest::newRow("two blocks") << QByteArray(kTwoBlockMessage) << 56 << kSha256TwoBlocks;
        QTest::newRow("two blocks in 5s") << QByteArray(kTwoBlockMessage) << 5 << kSha256TwoBlocks;
    }

    void publishedVectors()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, chunk);
        QFETCH(QByteArray, expected);
        // The sign-in looks the digest up by name.
        DigestCalculator calculator(EVP_get_digestbyname("SHA256"));
        calculator.update(message.constData(), 0);
        for (int offset = 0; offset < message.size(); offset += chunk) {
            const QByteArray part = message.mid(offset, chunk);
            calculator.update(part.constData(), part.size());
        }
        QCOMPARE(finalHex(calculator), expected);
        // A final starts the next message fresh; one without any update is the empty message.
        QCOMPARE(finalHex(calculator), kSha256Empty);
        calculator.update(message.constData(), message.size());
        BigNum number;
        calculator.finalToBigNum(number);
        QVERIFY(number == BigNum(QString::fromLatin1(expected)));
    }

    void feedingOverloads()
    {
        DigestCalculator calculator(EVP_sha256());
        calculator.update("a");
        calculator.update(QString("b"));
        calculator.update("c", 1);
        QCOMPARE(finalHex(calculator), kSha256Abc);

        // Texts enter as UTF-8, stopping at the first zero byte; data with its length does not stop.
        const QString umlaut = QString::fromUtf8("\xc3\xa4"
                                                 "b");
        calculator.update(umlaut);
        QCOMPARE(finalHex(calculator), oneShotHex(umlaut.toUtf8()));
        calculator.update(QString("ab") + QChar(0) + "cd");
        QCOMPARE(finalHex(calculator), oneShotHex("ab"));
        const char withZero[] = {'a', 'b', '\0', 'c'};
        calculator.update(withZero, 4);
        QCOMPARE(finalHex(calculator), oneShotHex(QByteArray(withZero, 4)));
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("zero adds nothing") << "0" << QByteArray();
        QTest::newRow("no padding to whole bytes") << "abc" << QByteArray::fromHex("0abc");
        QTest::newRow("leading zero bytes dropped") << "0000ff00" << QByteArray::fromHex("ff00");
        QTest::newRow("high bit set, no sign byte") << "80" << QByteArray::fromHex("80");
    }

    void numbers()
    {
        QFETCH(QString, hex);
        QFETCH(QByteArray, bytes);
        DigestCalculator calculator(EVP_sha256());
        calculator.update(BigNum(hex));
        QCOMPARE(finalHex(calculator), oneShotHex(bytes));
    }
};

QTEST_GUILESS_MAIN(TestDigestCalculator)
#include "tst_digestcalculator.moc"
