#pragma once

#include <QByteArray>
#include <QString>

// Bytes to hexadecimal text and back. Written: two lower-case digits per byte with an optional
// separator between bytes. Read: either case; hexToBytes skips every other character.
class Codec
{
public:
    Codec() = delete;

    static QByteArray hexToBytes(const QString &text);
    // The strict reader for keys and IVs: true only when the text is exactly 2 * byteCount
    // hexadecimal digits and nothing else; out is left alone otherwise.
    static bool hexToBytesExact(const QString &text, int byteCount, QByteArray *out);

    static QString bytesToHex(const void *data, int length, const QString &separator = QString());
    static QString toHex(const QByteArray &bytes, const QString &separator = QString());
    static QString utf8ToHex(const QString &text, const QString &separator = QString());
};
