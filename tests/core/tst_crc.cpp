#include "core/Crc.h"
#include "tests/support/LogCapture.h"

#include <QtTest>

static quint64 reflect(quint64 value, int width)
{
    quint64 out = 0;
    for (int i = 0; i < width; ++i) {
        if (value & (quint64(1) << i)) {
            out |= quint64(1) << (width - 1 - i);
        }
    }
    return out;
}

class TestCrc : public QObject
{
    Q_OBJECT
private slots:
    void checkValues_data()
    {
        // Published parameters and check values of "123456789" from the catalogue of parametrised
        // CRC algorithms. The calculator is reflected and has no final XOR; algorithms that are not
        // reflected are computed over bit-reversed bytes and the register reversed back, which is the
        // same polynomial division read the other way.
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint64>("init");
        QTest::addColumn<bool>("refin");
        QTest::addColumn<bool>("refout");
        QTest::addColumn<quint64>("xorout");
        QTest::addColumn<quint64>("check");

        const quint64 ones64 = ~quint64(0);
        auto row = [](const char *algorithm, const char *name, quint64 init, bool refin, bool refout, quint64 xorout,
                      quint64 check) {
            QTest::newRow(algorithm) << QString::fromLatin1(name) << init << refin << refout << xorout << check;
        };
        row("CRC-4/G-704", "CRC-4(CCITT)", 0x0, true, true, 0x0, 0x7);
        row("CRC-4/INTERLAKEN", "CRC-4(CCITT)", 0xf, false, false, 0xf, 0xb);
        row("CRC-5/G-704", "CRC-5(Bluetooth)", 0x00, true, true, 0x00, 0x07);
        row("CRC-5/USB", "CRC-5(USB)", 0x1f, true, true, 0x1f, 0x19);
        row("CRC-8/DVB-S2", "CRC-8", 0x00, false, false, 0x00, 0xbc);
        row("CRC-8/ROHC", "CRC-8(ATM)", 0xff, true, true, 0x00, 0xd0);
        row("CRC-8/SMBUS", "CRC-8(ATM)", 0x00, false, false, 0x00, 0xf4);
        row("CRC-8/MAXIM-DOW", "CRC-8(Dallas)", 0x00, true, true, 0x00, 0xa1);
        row("CRC-8/SAE-J1850", "CRC-8(SAE J1850)", 0xff, false, false, 0xff, 0x4b);
        row("CRC-8/TECH-3250", "CRC-8(SAE J1850)", 0xff, true, true, 0x00, 0x97);
        row("CRC-10/ATM", "CRC-10", 0x000, false, false, 0x000, 0x199);
        row("CRC-12/DECT", "CRC-12(Telekommunication)", 0x000, false, false, 0x000, 0xf5b);
        row("CRC-12/UMTS", "CRC-12(Telekommunication)", 0x000, false, true, 0x000, 0xdaf);
        row("CRC-15/CAN", "CRC-15(CAN)", 0x0000, false, false, 0x0000, 0x059e);
        row("CRC-16/KERMIT", "CRC-16(CCITT)", 0x0000, true, true, 0x0000, 0x2189);
        row("CRC-16/IBM-SDLC", "CRC-16(CCITT)", 0xffff, true, true, 0xffff, 0x906e);
        row("CRC-16/MCRF4XX", "CRC-16(CCITT)", 0xffff, true, true, 0x0000, 0x6f91);
        row("CRC-16/IBM-3740", "CRC-16(CCITT)", 0xffff, false, false, 0x0000, 0x29b1);
        row("CRC-16/XMODEM", "CRC-16(CCITT)", 0x0000, false, false, 0x0000, 0x31c3);
        row("CRC-16/ARC", "CRC-16(IBM)", 0x0000, true, true, 0x0000, 0xbb3d);
        row("CRC-16/MODBUS", "CRC-16(IBM)", 0xffff, true, true, 0x0000, 0x4b37);
        row("CRC-16/UMTS", "CRC-16(IBM)", 0x0000, false, false, 0x0000, 0xfee8);
        row("CRC-24/OPENPGP", "CRC-24(IETF RFC2440)", 0xb704ce, false, false, 0x000000, 0x21cf02);
        row("CRC-32/ISO-HDLC", "CRC-32(IEEE)", 0xffffffff, true, true, 0xffffffff, 0xcbf43926);
        row("CRC-32/JAMCRC", "CRC-32(IEEE)", 0xffffffff, true, true, 0x00000000, 0x340bc6d9);
        row("CRC-32/BZIP2", "CRC-32(IEEE)", 0xffffffff, false, false, 0xffffffff, 0xfc891918);
        row("CRC-32/MPEG-2", "CRC-32(IEEE)", 0xffffffff, false, false, 0x00000000, 0x0376e6e7);
        row("CRC-64/GO-ISO", "CRC-64(ISO 3309)", ones64, true, true, ones64, 0xb90956c775a41001);
        row("CRC-64/XZ", "CRC-64(ECMA-182)", ones64, true, true, ones64, 0x995dc9bbdf1939fa);
        row("CRC-64/ECMA-182", "CRC-64(ECMA-182)", 0, false, false, 0, 0x6c40df5f0b497347);
        row("CRC-64/WE", "CRC-64(ECMA-182)", ones64, false, false, ones64, 0x62ec59e3f1a4f00a);
    }

    void checkValues()
    {
        QFETCH(QString, name);
        QFETCH(quint64, init);
        QFETCH(bool, refin);
        QFETCH(bool, refout);
        QFETCH(quint64, xorout);
        QFETCH(quint64, check);

        Crc crc;
        QVERIFY(crc.polynomials().contains(name));
        crc.setPolynomial(crc.polynomials().value(name));
        const int width = crc.width();
        QVERIFY(width > 0);

        QByteArray data("123456789");
        if (!refin) {
            for (char &c : data) {
                c = char(reflect(quint8(c), 8));
            }
        }
        crc.setInitialValue(reflect(init, width));
        // Calculated in two pieces, as files are.
        crc.calculate(data.left(4));
        const quint64 reg = crc.update(data.mid(4));
        const quint64 result = (refout ? reg : reflect(reg, width)) ^ xorout;
        QCOMPARE(QString::number(result, 16), QString::number(check, 16));
    }

    void namedPolynomials()
    {
        Crc crc;
        const QMap<QString, QString> &names = crc.polynomials();
        QCOMPARE(names.size(), 21);
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            // Each name states its width, the highest exponent listed first; the empty list
            // ("Userdefined") gives width 0 and a calculator that stays 0.
            const int stated = it.value().section(QLatin1Char('+'), 0, 0).toInt();
            crc.setPolynomial(it.value());
            QCOMPARE(crc.width(), stated);
            QVERIFY(stated ? it.key().startsWith(QStringLiteral("CRC-%1").arg(stated)) : !crc.calculate("any"));
        }
    }

    void exponentAbove64IsRefused_data()
    {
        QTest::addColumn<QString>("exponents");
        QTest::newRow("65") << "65+1+0";
        QTest::newRow("beyond the bit array") << "300+0";
        QTest::newRow("not a number") << "16+x+0";
    }

    void exponentAbove64IsRefused()
    {
        QFETCH(QString, exponents);
        Crc crc;
        crc.setPolynomial(QStringLiteral("16+12+5+0"));
        crc.setInitialValue(0);
        LogCapture log;
        crc.setPolynomial(exponents);
        QCOMPARE(log.count(QStringLiteral("Crc::setPolynomial")), 1);
        // Reset, not half set and not the previous polynomial.
        QCOMPARE(crc.width(), 0);
        QCOMPARE(crc.initialValue(), quint64(0xFFFFFFFF));
        QCOMPARE(crc.calculate("123456789"), quint64(0));
    }
};

QTEST_GUILESS_MAIN(TestCrc)
#include "tst_crc.moc"
