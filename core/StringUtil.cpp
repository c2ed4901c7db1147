#include "core/StringUtil.h"

#include <QAtomicInt>
#include <QHash>
#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <limits>

namespace {

const QRegularExpression &timestampHead()
{
    static const QRegularExpression re(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}"));
    return re;
}

// Four digits ("+0100") or, as some senders write it, two ("+01").
const QRegularExpression &zoneOffset()
{
    static const QRegularExpression re(QStringLiteral("([+-])(\\d\\d)(\\d\\d)?$"));
    return re;
}

const QString kTimestampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool isPrintable(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
        return false;
    default:
        return true;
    }
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

QString StringUtil::toUtcTimestamp(const QDateTime &dateTime)
{
    if (!dateTime.isValid()) {
        return QString();
    }
    return dateTime.toUTC().toString(kTimestampFormat) + QStringLiteral(" +0000");
}

QString StringUtil::toTimestamp(const QDateTime &dateTime)
{
    if (!dateTime.isValid()) {
        return QString();
    }
    return dateTime.toLocalTime().toString(kTimestampFormat);
}

namespace {

constexpr qint64 kEpochJulianDay = 2440588;
constexpr qint64 kMsPerDay = 86400000;

// The value of two ASCII digits at i, or -1.
int twoDigits(const QChar *c, int i)
{
    const ushort a = c[i].unicode();
    const ushort b = c[i + 1].unicode();
    if (a < '0' || a > '9' || b < '0' || b > '9') {
        return -1;
    }
    return (a - '0') * 10 + (b - '0');
}

} // namespace

namespace {

// A stamp of the common shapes read at its fixed positions: false when the text has another shape
// (the general rules then decide); an invalid date or time leaves date or time invalid.
bool readCommonStamp(const QString &text, QDate *date, QTime *time, bool *hasOffset, int *offset)
{
    const int n = text.size();
    // "yyyy-MM-dd HH:mm:ss", optionally followed by " +hhmm".
    if (n != 19 && n != 25) {
        return false;
    }
    const QChar *c = text.constData();
    const int y1 = twoDigits(c, 0);
    const int y2 = twoDigits(c, 2);
    const int month = twoDigits(c, 5);
    const int day = twoDigits(c, 8);
    const int hour = twoDigits(c, 11);
    const int minute = twoDigits(c, 14);
    const int second = twoDigits(c, 17);
    if (y1 < 0 || y2 < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || c[4] != QLatin1Char('-') ||
        c[7] != QLatin1Char('-') || c[10] != QLatin1Char(' ') || c[13] != QLatin1Char(':') ||
        c[16] != QLatin1Char(':')) {
        return false;
    }
    *hasOffset = n == 25;
    *offset = 0;
    if (n == 25) {
        const int oh = twoDigits(c, 21);
        const int om = twoDigits(c, 23);
        if (c[19] != QLatin1Char(' ') || (c[20] != QLatin1Char('+') && c[20] != QLatin1Char('-')) || oh < 0 || om < 0) {
            return false;
        }
        *offset = (c[20] == QLatin1Char('-') ? -1 : 1) * (oh * 60 + om) * 60;
    }
    *date = QDate(y1 * 100 + y2, month, day);
    *time = QTime(hour, minute, second);
    return true;
}

// The local zone's offset from UTC per hour of clock time, for the hours in which it does not
// change: the C library reads the zone file again at every local-time conversion. Per thread, and
// forgotten when the generation moves on.
QAtomicInt s_offsetGeneration;
constexpr int kNoPlainOffset = std::numeric_limits<int>::min();

struct LocalOffsets
{
    int generation = -1;
    QHash<qint64, int> byHour;
};

int plainOffsetOfHour(const QDate &date, int hour)
{
    thread_local LocalOffsets offsets;
    const int generation = s_offsetGeneration.loadRelaxed();
    if (offsets.generation != generation) {
        offsets.byHour.clear();
        offsets.generation = generation;
    }
    const qint64 key = date.toJulianDay() * 24 + hour;
    auto it = offsets.byHour.constFind(key);
    if (it == offsets.byHour.constEnd()) {
        const QDateTime first(date, QTime(hour, 0, 0), Qt::LocalTime);
        const QDateTime last(date, QTime(hour, 59, 59), Qt::LocalTime);
        const bool plain = first.isValid() && last.isValid() && first.offsetFromUtc() == last.offsetFromUtc();
        it = offsets.byHour.insert(key, plain ? first.offsetFromUtc() : kNoPlainOffset);
    }
    return it.value();
}

} // namespace

// Listings bring one stamp per object: the common shapes are read at their fixed positions,
// without the parser's own local-time work; anything else takes the general path.
QDateTime StringUtil::parseTimestamp(const QString &text)
{
    QDate date;
    QTime time;
    bool hasOffset = false;
    int offset = 0;
    if (!readCommonStamp(text, &date, &time, &hasOffset, &offset)) {
        return parseTimestampGeneral(text);
    }
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    if (hasOffset) {
        return QDateTime(date, time, Qt::OffsetFromUTC, offset);
    }
    const QDateTime local(date, time, Qt::LocalTime);
    return local.isValid() ? local : QDateTime();
}

QDateTime StringUtil::parseTimestampUtc(const QString &text)
{
    QDate date;
    QTime time;
    bool hasOffset = false;
    int offset = 0;
    if (!readCommonStamp(text, &date, &time, &hasOffset, &offset)) {
        const QDateTime parsed = parseTimestampGeneral(text);
        return parsed.isValid() ? parsed.toUTC() : QDateTime();
    }
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    if (!hasOffset) {
        offset = plainOffsetOfHour(date, time.hour());
        if (offset == kNoPlainOffset) {
            // The hour of a change of offset: as the C library decides it.
            const QDateTime local(date, time, Qt::LocalTime);
            return local.isValid() ? local.toUTC() : QDateTime();
        }
    }
    const qint64 clockMs = (date.toJulianDay() - kEpochJulianDay) * kMsPerDay + time.msecsSinceStartOfDay();
    return QDateTime::fromMSecsSinceEpoch(clockMs - qint64(offset) * 1000, Qt::UTC);
}

void StringUtil::forgetLocalOffsets()
{
    s_offsetGeneration.fetchAndAddRelaxed(1);
}

QDateTime StringUtil::parseTimestampGeneral(const QString &text)
{
    const QRegularExpressionMatch head = timestampHead().match(text);
    if (!head.hasMatch()) {
        return QDateTime();
    }
    const QString stamp = head.captured(0);
    const QDate date = QDate::fromString(stamp.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(stamp.mid(11), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }

    // The offset's digits can only follow the head, never overlap it.
    const QRegularExpressionMatch offset = zoneOffset().match(text);
    if (offset.hasMatch() && offset.capturedStart(0) >= stamp.size()) {
        const int sign = offset.captured(1) == QLatin1String("-") ? -1 : 1;
        const int hours = offset.captured(2).toInt();
        const int minutes = offset.capturedLength(3) > 0 ? offset.captured(3).toInt() : 0;
        // Built from the offset directly: the clock time need not exist in the local zone
        // (spring-forward gap) to be a valid moment elsewhere.
        return QDateTime(date, time, Qt::OffsetFromUTC, sign * (hours * 60 + minutes) * 60);
    }

    const QDateTime local(date, time, Qt::LocalTime);
    return local.isValid() ? local : QDateTime();
}

bool StringUtil::equalsNormalized(const QString &a, const QString &b)
{
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

bool StringUtil::lessNormalized(const QString &a, const QString &b)
{
    return a.normalized(QString::NormalizationForm_C) < b.normalized(QString::NormalizationForm_C);
}

bool StringUtil::isVersionGreater(const QString &a, const QString &b)
{
    const QStringList partsA = a.split(QLatin1Char('.'));
    const QStringList partsB = b.split(QLatin1Char('.'));
    for (int i = 0; i < partsA.size(); ++i) {
        if (i >= partsB.size()) {
            return true;
        }
        bool ok = false;
        qulonglong numberA = partsA.at(i).toULongLong(&ok);
        if (!ok) {
            numberA = 0;
        }
        qulonglong numberB = partsB.at(i).toULongLong(&ok);
        if (!ok) {
            numberB = 0;
        }
        if (numberA != numberB) {
            return numberA > numberB;
        }
    }
    return false;
}

QString StringUtil::joinNumbers(const QList<int> &numbers, const QString &separator)
{
    QStringList texts;
    texts.reserve(numbers.size());
    for (int n : numbers) {
        texts << QString::number(n);
    }
    return texts.join(separator);
}

QString StringUtil::escapeNonPrintable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isPrintable(c)) {
            out += c;
        } else {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

QString StringUtil::elideMiddle(const QString &text, int max)
{
    // A negative maximum would make left()/right() return the whole text.
    const int half = std::max(max, 0) / 2;
    if (text.size() >= max) {
        return text.left(half) + QStringLiteral("...") + text.right(half);
    }
    return text;
}

QStringList StringUtil::splitUtf8(const QString &text, bool perCharacter)
{
    QStringList out;
    if (!perCharacter) {
        const QByteArray bytes = text.toUtf8();
        out.reserve(bytes.size());
        for (char byte : bytes) {
            out << hexOf(QByteArray(1, byte));
        }
        return out;
    }
    for (int i = 0; i < text.size(); ++i) {
        // A surrogate pair is one character in UTF-8; its halves alone have no encoding.
        int length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            length = 2;
        }
        out << hexOf(text.mid(i, length).toUtf8());
        i += length - 1;
    }
    return out;
}

QString StringUtil::utf8Hex(const QString &text, const QString &separator, bool perCharacter)
{
    return splitUtf8(text, perCharacter).join(separator);
}

int StringUtil::editDistance(const QString &a, const QString &b)
{
    QVector<int> previous(b.size() + 1);
    QVector<int> current(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (int i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int substitution = previous[j - 1] + (a.at(i - 1) == b.at(j - 1) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}
