#include "core/Crc.h"

#include <QStringList>
#include <QtDebug>

#include <algorithm>
#include <iterator>

namespace {

const int kMaxWidth = 64;
const int kBitArraySize = 256;

// Name, line break, exponents (highest first).
const char *const kNamedPolynomials[] = {
        "Userdefined\n",
        "CRC-4(CCITT)\n4+1+0",
        "CRC-5(Bluetooth)\n5+4+2+0",
        "CRC-5(USB)\n5+2+0",
        "CRC-8\n8+7+6+4+2+0",
        "CRC-8(ATM)\n8+2+1+0",
        "CRC-8(CCITT)\n8+7+3+2+1",
        "CRC-8(Dallas)\n8+5+4+0",
        "CRC-8(SAE J1850)\n8+4+3+2+0",
        "CRC-10\n10+9+5+4+1+0",
        "CRC-12(Telekommunication)\n12+11+3+2+1+0",
        "CRC-15(CAN)\n15+14+10+8+7+4+3+0",
        "CRC-16(CCITT)\n16+12+5+0",
        "CRC-16(IBM)\n16+15+2+0",
        "CRC-16(XModem)\n16+15+10+3",
        "CRC-24(IETF RFC2440)\n24+23+18+17+14+11+10+7+6+5+4+3+1+0",
        "CRC-32(IEEE)\n32+26+23+22+16+12+11+10+8+7+5+4+2+1+0",
        "CRC-32(Castagnoli)\n32+28+27+26+25+23+22+20+19+18+14+13+11+10+9+8+6+1",
        "CRC-32(Koopman)\n32+30+29+28+26+20+19+17+16+15+11+10+7+6+4+2+1+0",
        "CRC-64(ISO 3309)\n64+4+3+1+0",
        "CRC-64(ECMA-182)\n64+62+57+55+54+53+52+47+46+45+40+39+38+37+35+33+32+31+29+27+24+23+22+21+19+17+13+12+10+9+7+"
        "4+1+0",
};

} // namespace

Crc::Crc()
{
    reset();
    for (const char *entry : kNamedPolynomials) {
        const QString text = QString::fromLatin1(entry, int(qstrnlen(entry, 256)));
        const int lineBreak = text.indexOf(QLatin1Char('\n'));
        if (lineBreak < 0) {
            m_names.insert(text.trimmed(), QString());
        } else {
            m_names.insert(text.left(lineBreak).trimmed(), text.mid(lineBreak + 1).trimmed());
        }
    }
}

void Crc::reset()
{
    m_polynomial = QBitArray();
    m_register = 0;
    m_initialValue = 0xFFFFFFFF;
    m_mask = 0;
    m_reflected = 0;
    m_width = 0;
    std::fill(std::begin(m_table), std::end(m_table), 0);
}

void Crc::setPolynomial(const QString &exponents)
{
    const QStringList parts = exponents.split(QLatin1Char('+'));
    reset();

    QBitArray bits(kBitArraySize);
    int width = 0;
    for (const QString &part : parts) {
        const QString trimmed = part.trimmed();
        bool ok = true;
        const uint exponent = trimmed.isEmpty() ? 0u : trimmed.toUInt(&ok);
        // The register holds 64 bits; anything beyond would also leave the bit array.
        if (!ok || exponent > uint(kMaxWidth)) {
            qWarning("Crc::setPolynomial: Refused exponent '%s' in '%s' (numbers from 0 to %d)",
                     qUtf8Printable(trimmed), qUtf8Printable(exponents), kMaxWidth);
            return;
        }
        width = qMax(width, int(exponent));
        bits.setBit(int(exponent));
    }

    bits.resize(width); // drops the implied highest term
    m_polynomial = bits;
    m_width = quint8(width);
    // A shift by the full 64 bits would be undefined.
    m_mask = width >= kMaxWidth ? ~quint64(0) : (quint64(1) << width) - 1;
    for (int k = 0; k < width; ++k) {
        if (bits.testBit(k)) {
            m_reflected |= quint64(1) << (width - 1 - k);
        }
    }
    for (int v = 0; v < 256; ++v) {
        quint64 c = quint64(v);
        for (int i = 0; i < 8; ++i) {
            c = (c & 1) ? (c >> 1) ^ m_reflected : c >> 1;
        }
        m_table[v] = c & m_mask;
    }
}

quint64 Crc::update(quint8 byte)
{
    m_register = ((m_register >> 8) ^ m_table[(m_register ^ byte) & 0xFF]) & m_mask;
    return m_register;
}

quint64 Crc::update(const QByteArray &bytes)
{
    for (char c : bytes) {
        update(quint8(c));
    }
    return m_register;
}

quint64 Crc::calculate(const QByteArray &bytes)
{
    m_register = m_initialValue;
    return update(bytes);
}
