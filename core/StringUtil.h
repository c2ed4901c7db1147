#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// Static helpers on texts, time stamps and version numbers. The time-stamp formats are stored in
// synchronisation records and exchanged with the service; keep them stable.
class StringUtil
{
public:
    StringUtil() = delete;

    // "yyyy-MM-dd HH:mm:ss +0000" in UTC; the empty text for an invalid date-time.
    static QString toUtcTimestamp(const QDateTime &dateTime);
    // "yyyy-MM-dd HH:mm:ss" in local time; the empty text for an invalid date-time.
    static QString toTimestamp(const QDateTime &dateTime);
    // "yyyy-MM-dd HH:mm:ss" at the start of the text, with an optional trailing zone offset
    // ("+0100" or "+01"); a null date-time when the text holds no valid time stamp.
    static QDateTime parseTimestamp(const QString &text);
    // The same by the general rules alone; parseTimestamp takes it for every text whose shape it
    // does not know.
    static QDateTime parseTimestampGeneral(const QString &text);
    // The moment parseTimestamp reads, as a UTC date-time; for the stamps of a listing, where a
    // local-time conversion per stamp would ask the C library for the zone each time. The local
    // zone's offsets are taken once per hour of clock time until forgetLocalOffsets.
    static QDateTime parseTimestampUtc(const QString &text);
    // The next stamps take the zone's offsets afresh (the zone may have changed).
    static void forgetLocalOffsets();

    static bool equalsNormalized(const QString &a, const QString &b);
    static bool lessNormalized(const QString &a, const QString &b);

    // Dotted version order: numbers compare numerically, a longer version with equal leading
    // parts is greater.
    static bool isVersionGreater(const QString &a, const QString &b);

    static QString joinNumbers(const QList<int> &numbers, const QString &separator);

    // Writes control, format, surrogate, private-use and unassigned characters as "\uxxxx",
    // so that user texts cannot break or forge log lines.
    static QString escapeNonPrintable(const QString &text);

    static QString elideMiddle(const QString &text, int max);

    // Lower-case hex of the UTF-8 bytes: one entry per character or one per byte.
    static QStringList splitUtf8(const QString &text, bool perCharacter);
    static QString utf8Hex(const QString &text, const QString &separator, bool perCharacter);

    // Levenshtein distance over UTF-16 code units.
    static int editDistance(const QString &a, const QString &b);
};
