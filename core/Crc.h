#pragma once

#include <QBitArray>
#include <QByteArray>
#include <QMap>
#include <QString>

// Table-driven CRC of any width up to 64 bits, processing bytes least-significant bit first
// (the reflected form), without a final XOR. The polynomial is given as its exponents ("16+12+5+0").
class Crc
{
public:
    Crc();

    void reset();
    // Refuses exponents above 64 and parts that are no numbers: the calculator then stays reset.
    void setPolynomial(const QString &exponents);

    // Set after the polynomial: setting a polynomial resets it to 0xFFFFFFFF.
    void setInitialValue(quint64 value) { m_initialValue = value; }
    quint64 initialValue() const { return m_initialValue; }

    quint64 update(quint8 byte);
    quint64 update(const QByteArray &bytes);
    // Loads the register with the initial value (unmasked) and processes the bytes.
    quint64 calculate(const QByteArray &bytes);

    // The named generator polynomials: name -> exponent list.
    const QMap<QString, QString> &polynomials() const { return m_names; }

    int width() const { return m_width; }
    quint64 mask() const { return m_mask; }
    quint64 reflectedPolynomial() const { return m_reflected; }
    quint64 value() const { return m_register; }

private:
    QBitArray m_polynomial;
    quint64 m_register = 0;
    quint64 m_initialValue = 0xFFFFFFFF;
    quint64 m_mask = 0;
    quint64 m_reflected = 0;
    quint8 m_width = 0;
    quint64 m_table[256] = {};
    QMap<QString, QString> m_names;
};
