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
        row("two-digit offset", "2016-11-25 14:47:07 +03", "2016-11-25T11:47:07Z");
        row("negative with minutes", "2016-11-25 14:47:07 -0230", "2016-11-25T17:17:07Z");
        row("text between stamp and offset", "2016-11-25 14:47:07 CET +0200", "2016-11-25T12:47:07Z");
        row("utc inside the local gap", "2021-03-28 02:30:00 +0000", "2021-03-28T02:30:00Z");
        row("offset clock time inside the local gap", "2021-03-28 02:30:00 +0100", "2021-03-28T01:30:00Z");
        row("local time inside the gap", "2021-03-28 02:30:00", "");
        row("local winter time", "2016-11-25 14:47:07", "2016-11-25T13:47:07Z");
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

    // The fixed-position reading gives what the general rules give, on every shape (the test runs
    // in Europe/Berlin: 2021-03-28 02:00-03:00 does not exist there, 2021-10-31 02:00-03:00 twice).
    void parseTimestampAsGeneral_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text :
             {"2016-11-25 14:47:07 +0100", "2016-11-25 14:47:07 -0230", "2016-11-25 14:47:07 +0000",
              "2016-11-25 14:47:07 -0000", "2016-11-25 14:47:07 +1400", "2016-11-25 14:47:07 +9959",
              "2016-11-25 14:47:07", "2016-07-01 00:00:00", "2021-03-28 02:30:00", "2021-03-28 02:30:00 +0100",
              "2021-03-28 02:30:00 +0200", "2021-03-28 01:59:59", "2021-03-28 03:00:00", "2021-10-31 02:30:00",
              "2021-10-31 02:30:00 +0100", "2020-02-29 12:00:00", "2019-02-29 12:00:00 +0000",
              "2016-13-25 14:47:07", "2016-00-25 14:47:07 +0100", "2016-11-00 14:47:07", "2016-11-31 14:47:07",
              "2016-11-25 24:00:00", "2016-11-25 23:60:00 +0100", "2016-11-25 23:59:60", "0000-01-01 00:00:00",
              "0099-01-01 00:00:00 +0000", "9999-12-31 23:59:59 -1200", "2016-11-25T14:47:07", "2016-11-25 14:47:07 +03",
              "2016-11-25 14:47:07 +010", "2016-11-25 14:47:07+0100", "2016-11-25 14:47:07 CET +0200",
              "2016-11-25 14:47:07 +0100\n", "2016-11-25 14:47:07 x0100", "2016-11-25 14:47:07 +01a0",
              "2016-11-25 14:47:07  0100", "2016-11-25 14:4a:07", "2016/11/25 14:47:07", " 2016-11-25 14:47:07",
              "2016-11-25 14:47:0", "", "x"}) {
            QTest::newRow(text) << QString::fromLatin1(text);
        }
        // Digits of other scripts are no digits here.
        QTest::newRow("arabic-indic year") << (QString(4, QChar(0x0662)) + "-11-25 14:47:07 +0100");
        QTest::newRow("full-width offset") << ("2016-11-25 14:47:07 +" + QString(4, QChar(0xff10)));
    }

    void parseTimestampAsGeneral()
    {
        QFETCH(QString, text);
        const QDateTime fast = StringUtil::parseTimestamp(text);
        const QDateTime general = StringUtil::parseTimestampGeneral(text);
        QCOMPARE(fast.isValid(), general.isValid());
        QCOMPARE(StringUtil::parseTimestampUtc(text).isValid(), general.isValid());
        QCOMPARE(fast.isNull(), general.isNull());
        if (!general.isValid())
            return;
        QCOMPARE(fast.toMSecsSinceEpoch(), general.toMSecsSinceEpoch());
        QCOMPARE(fast.timeSpec(), general.timeSpec());
        QCOMPARE(fast.offsetFromUtc(), general.offsetFromUtc());
        QCOMPARE(fast.date(), general.date());
        QCOMPARE(fast.time(), general.time());
        // The moment alone, in UTC, without a zone look-up per stamp.
        const QDateTime utc = StringUtil::parseTimestampUtc(text);
        QCOMPARE(utc.timeSpec(), Qt::UTC);
        QCOMPARE(utc.toMSecsSinceEpoch(), general.toMSecsSinceEpoch());
    }

    void utcTimestampRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("moment");
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

    void isVersionGreater_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("greater");
        const auto row = [](const char *a, const char *b, bool greater) {
            QTest::addRow("%s > %s", a, b) << QString(a) << QString(b) << greater;
        };
        row("3", "2.9.9", true);
        row("2.2.4.0", "2.2.4", true); // a trailing zero makes it greater
        row("2.2", "2.2.0", false);
        row("2.10", "2.9", true); // numeric, not textual
        row("2.x", "2.0", false); // a non-number counts as zero
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
        QTest::newRow("line feed") << "line\nforged" << QStringLiteral("line\\u000aforged");
        QTest::newRow("delete") << QString(QChar(0x7f)) << "\\u007f";
        QTest::newRow("format: right-to-left override") << QString(QChar(0x202e)) << "\\u202e";
        QTest::newRow("surrogate pair escaped per half") << QString::fromUtf8("\xF0\x9F\x98\x80") << "\\ud83d\\ude00";
        QTest::newRow("blanks stay") << QString::fromUtf8(" \xC2\xA0 ") << QString::fromUtf8(" \xC2\xA0 ");
    }

    void escapeNonPrintable()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(StringUtil::escapeNonPrintable(text), escaped);
    }

    void elideMiddle()
    {
        QCOMPARE(StringUtil::elideMiddle(QStringLiteral("abcdefghij"), 10), QStringLiteral("abcde...fghij"));
        QCOMPARE(StringUtil::elideMiddle(QStringLiteral("abcdefghij"), 7), QStringLiteral("abc...hij"));
        QCOMPARE(StringUtil::elideMiddle(QStringLiteral("abc"), 0), QStringLiteral("..."));
    }

    void normalizedComparison()
    {
        const QString composed = QString(QChar(0x00e9));                // é
        const QString decomposed = QStringLiteral("e") + QChar(0x0301); // e + combining acute
        QVERIFY(StringUtil::equalsNormalized(composed, decomposed));
        QVERIFY(!StringUtil::lessNormalized(composed, decomposed));
        // Decomposed, "e" + U+0301 would sort before "f"; composed, U+00E9 sorts after it.
        QVERIFY(StringUtil::lessNormalized(QStringLiteral("f"), decomposed));
        QVERIFY(!StringUtil::lessNormalized(decomposed, QStringLiteral("f")));
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
