#include "core/StringUtil.h"

#include <QtTest>

#include <ctime>

// Runs in Europe/Berlin (set in main before any date is used) so that the spring-forward gap of
// 2021-03-28 02:00-03:00 and the CET/CEST offsets are known.

class TestStringUtil : public QObject
{
    Q_OBJECT
private slots:
    void parseTimestamp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expectedUtc"); // ISO text, empty for an invalid result
        const auto row = [](const char *tag, const char *text, const char *expectedUtc) {
            QTest::newRow(tag) << QString(text) << QString(expectedUtc);
        };
        row("four-digit offset", "2016-11-25 14:47:07 +0100", "2016-11-25T13:47:07Z");
        row("two-digit offset", "2016-11-25 14:47:07 +01", "2016-11-25T13:47:07Z");
        row("negative with minutes", "2016-11-25 14:47:07 -0230", "2016-11-25T17:17:07Z");
        row("text between stamp and offset", "2016-11-25 14:47:07 CET +0200", "2016-11-25T12:47:07Z");
        row("utc inside the local gap", "2021-03-28 02:30:00 +0000", "2021-03-28T02:30:00Z");
        row("offset clock time inside the local gap", "2021-03-28 02:30:00 +0100", "2021-03-28T01:30:00Z");
        row("local time inside the gap", "2021-03-28 02:30:00", "");
        row("local winter time", "2016-11-25 14:47:07", "2016-11-25T13:47:07Z");
        row("three digits are no offset", "2016-11-25 14:47:07 +012", "2016-11-25T13:47:07Z");
        row("T separator", "2016-11-25T14:47:07 +0100", "");
        row("30 February", "2016-02-30 14:47:07", "");
        row("not at the start", " 2016-11-25 14:47:07 +0100", "");
        row("empty", "", "");
    }

    void parseTimestamp()
    {
        QFETCH(QString, text);
        QFETCH(QString, expectedUtc);
        const QDateTime parsed = StringUtil::parseTimestamp(text);
        if (expectedUtc.isEmpty()) {
            QVERIFY2(!parsed.isValid(), qPrintable(parsed.toString(Qt::ISODate)));
            return;
        }
        QVERIFY(parsed.isValid());
        QCOMPARE(parsed.toUTC(), QDateTime::fromString(expectedUtc, Qt::ISODate));
    }

    void utcTimestampRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("winter") << QDateTime(QDate(2016, 11, 25), QTime(14, 47, 7), Qt::LocalTime);
        QTest::newRow("utc in the local gap") << QDateTime(QDate(2021, 3, 28), QTime(1, 30, 0), Qt::UTC);
        // 02:30 local happens twice on 2021-10-31; both moments must survive.
        QTest::newRow("first of the repeated hour") << QDateTime(QDate(2021, 10, 31), QTime(0, 30, 0), Qt::UTC);
        QTest::newRow("second of the repeated hour") << QDateTime(QDate(2021, 10, 31), QTime(1, 30, 0), Qt::UTC);
    }

    void utcTimestampRoundTrip()
    {
        QFETCH(QDateTime, moment);
        const QString text = StringUtil::toUtcTimestamp(moment);
        QVERIFY(text.endsWith(QLatin1String(" +0000")));
        QCOMPARE(StringUtil::parseTimestamp(text).toMSecsSinceEpoch(), moment.toMSecsSinceEpoch());
    }

    void timestampTexts()
    {
        const QDateTime summerLocal(QDate(2021, 7, 1), QTime(12, 0, 5), Qt::LocalTime);
        QCOMPARE(StringUtil::toUtcTimestamp(summerLocal), QStringLiteral("2021-07-01 10:00:05 +0000"));
        QCOMPARE(StringUtil::toTimestamp(summerLocal), QStringLiteral("2021-07-01 12:00:05"));
        QVERIFY(StringUtil::toUtcTimestamp(QDateTime()).isEmpty());
        QVERIFY(StringUtil::toTimestamp(QDateTime()).isEmpty());

        // Read back: without an offset the time is local; with one the clock fields stay as written.
        const QDateTime local = StringUtil::parseTimestamp(QStringLiteral("2016-11-25 14:47:07"));
        QCOMPARE(local.timeSpec(), Qt::LocalTime);
        QCOMPARE(local.time(), QTime(14, 47, 7));
        const QDateTime withOffset = StringUtil::parseTimestamp(QStringLiteral("2016-11-25 14:47:07 +0130"));
        QCOMPARE(withOffset.offsetFromUtc(), 90 * 60);
        QCOMPARE(withOffset.time(), QTime(14, 47, 7));
    }

    void isVersionGreater_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("greater");
        const auto row = [](const char *a, const char *b, bool greater) {
            QTest::addRow("%s > %s", a, b) << QString(a) << QString(b) << greater;
        };
        row("2.2.4", "2.2.4", false);
        row("3", "2.9.9", true);
        row("2.2.4.0", "2.2.4", true); // a trailing zero makes it greater
        row("2.2", "2.2.0", false);
        row("2.10", "2.9", true); // numeric, not textual
        row("2.010", "2.9", true);
        row("2.x", "2.0", false); // a non-number counts as zero
        row("2..1", "2.0", true); // an empty field between the dots still counts
        row("2.4294967296", "2.4294967295", true);
    }

    void isVersionGreater()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, greater);
        QCOMPARE(StringUtil::isVersionGreater(a, b), greater);
    }

    void escapeNonPrintable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        const QString accented = QString::fromUtf8("Grüße von Čapek.txt");
        QTest::newRow("accented name unchanged") << accented << accented;
        QTest::newRow("tab") << "a\tb" << QStringLiteral("a\\u0009b");
        QTest::newRow("line feed") << "line\nforged" << QStringLiteral("line\\u000aforged");
        QTest::newRow("delete") << QString(QChar(0x7f)) << "\\u007f";
        QTest::newRow("format: right-to-left override") << QString(QChar(0x202e)) << "\\u202e";
        QTest::newRow("unassigned") << QString(QChar(0x0378)) << "\\u0378";
        QTest::newRow("surrogate pair escaped per half") << QString::fromUtf8("\xF0\x9F\x98\x80") << "\\ud83d\\ude00";
        QTest::newRow("blanks stay") << QString::fromUtf8(" \xC2\xA0 ") << QString::fromUtf8(" \xC2\xA0 ");
        QTest::newRow("empty") << QString() << "";
    }

    void escapeNonPrintable()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(StringUtil::escapeNonPrintable(text), escaped);
    }

    void elideMiddle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exactly max") << "abcdefghij" << 10 << "abcde...fghij";
        QTest::newRow("shorter than max") << "abcdefghij" << 11 << "abcdefghij";
        QTest::newRow("odd max") << "abcdefghij" << 7 << "abc...hij";
        QTest::newRow("zero") << "abc" << 0 << "...";
        QTest::newRow("negative") << "abc" << -4 << "...";
    }

    void elideMiddle()
    {
        QFETCH(QString, text);
        QFETCH(int, max);
        QFETCH(QString, expected);
        QCOMPARE(StringUtil::elideMiddle(text, max), expected);
    }

    void utf8Hex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("perCharacter");
        QTest::addColumn<QString>("expected");
        const QString mixed = QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC\n");
        QTest::newRow("per byte") << mixed << false << "61 c3 a9 e2 82 ac 0a";
        QTest::newRow("per character") << mixed << true << "61 c3a9 e282ac 0a";
        QTest::newRow("astral per character") << QString::fromUtf8("\xF0\x9F\x98\x80x") << true << "f09f9880 78";
        QTest::newRow("empty") << "" << true << "";
    }

    void utf8Hex()
    {
        QFETCH(QString, text);
        QFETCH(bool, perCharacter);
        QFETCH(QString, expected);
        QCOMPARE(StringUtil::utf8Hex(text, QStringLiteral(" "), perCharacter), expected);
        QCOMPARE(StringUtil::splitUtf8(text, perCharacter),
                 expected.isEmpty() ? QStringList() : expected.split(QLatin1Char(' ')));
    }

    void editDistance_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("distance");
        const auto row = [](const char *a, const char *b, int distance) {
            QTest::addRow("'%s' '%s'", a, b) << QString(a) << QString(b) << distance;
        };
        row("", "abcd", 4);
        row("secret", "secret", 0);
        row("kitten", "sitting", 3);
        row("Password", "password", 1); // case counts
        row("ab", "ba", 2);             // a transposition is two edits
    }

    void editDistance()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, distance);
        QCOMPARE(StringUtil::editDistance(a, b), distance);
        QCOMPARE(StringUtil::editDistance(b, a), distance);
    }

    void normalizedComparison()
    {
        const QString composed = QString(QChar(0x00e9));                // é
        const QString decomposed = QStringLiteral("e") + QChar(0x0301); // e + combining acute
        QVERIFY(composed != decomposed);
        QVERIFY(StringUtil::equalsNormalized(composed, decomposed));
        QVERIFY(!StringUtil::lessNormalized(composed, decomposed));
        QVERIFY(!StringUtil::lessNormalized(decomposed, composed));
        // Decomposed, "e" + U+0301 would sort before "f"; composed, U+00E9 sorts after it.
        QVERIFY(StringUtil::lessNormalized(QStringLiteral("f"), decomposed));
        QVERIFY(!StringUtil::lessNormalized(decomposed, QStringLiteral("f")));
    }

    void joinNumbers()
    {
        QCOMPARE(StringUtil::joinNumbers({}, QStringLiteral(",")), QString());
        QCOMPARE(StringUtil::joinNumbers({1, -2, 30}, QStringLiteral(", ")), QStringLiteral("1, -2, 30"));
        QCOMPARE(StringUtil::joinNumbers({4, 5}, QChar(';')), QStringLiteral("4;5"));
    }
};

int main(int argc, char *argv[])
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    TestStringUtil test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_stringutil.moc"
