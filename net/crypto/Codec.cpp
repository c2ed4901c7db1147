#include "net/crypto/Codec.h"

namespace {

int nibble(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

} // namespace

QByteArray Codec::hexToBytes(const QString &text)
{
    // An odd length implies a leading zero digit; the count of the digits themselves decides
    // whether a last lone nibble remains.
    const QString source = (text.size() % 2 != 0) ? QLatin1Char('0') + text : text;
    QByteArray bytes;
    bytes.reserve(source.size() / 2);
    int count = 0;
    unsigned accumulator = 0;
    for (const QChar c : source) {
        const int value = nibble(c);
        if (value < 0) {
            continue;
        }
        accumulator = ((accumulator << 4) | static_cast<unsigned>(value)) & 0xffu;
        ++count;
        if (count % 2 == 0) {
            bytes.append(static_cast<char>(accumulator));
            accumulator = 0;
        }
    }
    if (count % 2 != 0) {
        bytes.append(static_cast<char>(accumulator));
    }
    return bytes;
}

bool Codec::hexToBytesExact(const QString &text, int byteCount, QByteArray *out)
{
    if (byteCount < 0 || text.size() != 2 * byteCount) {
        return false;
    }
    QByteArray bytes(byteCount, '\0');
    for (int i = 0; i < byteCount; ++i) {
        const int high = nibble(text.at(2 * i));
        const int low = nibble(text.at(2 * i + 1));
        if (high < 0 || low < 0) {
            return false;
        }
        bytes[i] = static_cast<char>((high << 4) | low);
    }
    if (out) {
        *out = bytes;
    }
    return true;
}

QString Codec::bytesToHex(const void *data, int length, const QString &separator)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    if (!data || length < 1) {
        return text;
    }
    text.reserve(length * (2 + separator.size()));
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (int i = 0; i < length; ++i) {
        if (!text.isEmpty()) {
            text.append(separator);
        }
        text.append(QLatin1Char(digits[bytes[i] >> 4]));
        text.append(QLatin1Char(digits[bytes[i] & 0x0f]));
    }
    return text;
}

QString Codec::toHex(const QByteArray &bytes, const QString &separator)
{
    return bytesToHex(bytes.constData(), bytes.size(), separator);
}

QString Codec::utf8ToHex(const QString &text, const QString &separator)
{
    return toHex(text.toUtf8(), separator);
}
