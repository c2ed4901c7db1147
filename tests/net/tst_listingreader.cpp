#include "net/FilesafeListingReader.h"
#include "tools/fuzz/FuzzInput.h"

#include <QtTest>

// The listing's one-pass reader beside the general reader (document, envelope, list reader): the
// same answer for every body, the one-pass reader taking the usual listings itself.

static QByteArray object(const QByteArray &id, const QByteArray &path, const QByteArray &rest = QByteArray())
{
    return "{\"object_id\":\"" + id + "\",\"path\":\"" + path +
           "\",\"size\":12,\"mtime\":\"2026-01-01 10:00:00\",\"access\":\"rcud\",\"type\":\"f\",\"checksum\":"
           "\"sha256:ab\"" +
           rest + "}";
}

static QByteArray envelope(const QByteArray &objects, const QByteArray &outside = QByteArray())
{
    return "{\"status\":0,\"message\":\"\",\"data\":{\"filesafe_objects\":[" + objects + "]}" + outside + "}";
}

class TestListingReader : public QObject
{
    Q_OBJECT

private slots:
    void sameAnswer_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("onepass"); // taken by the one-pass reader, either mode

        const QByteArray two = object("o1", "/a/b.txt") + "," + object("o2", "/a");
        QTest::newRow("listing") << envelope(two) << true;
        QTest::newRow("empty list") << envelope("") << true;
        QTest::newRow("keys in any order, extra keys")
                << QByteArray("{\"data\":{\"x\":[1,{\"y\":[]}],\"filesafe_objects\":[" +
                              object("o1", "/a", ",\"extra\":{\"deep\":[null,true]}") + "]},\"status\":0,\"z\":1}")
                << true;
        QTest::newRow("escapes, non-ASCII, pair")
                << envelope(object("o\\u00e9", "/\\u00c4/\\ud83d\\ude00 \\\"q\\\"\\/\\t.txt") + "," +
                            object("o2", QByteArray("/\xc3\xa9t\xc3\xa9")))
                << true;
        QTest::newRow("whitespace") << QByteArray(" \r\n\t") + envelope(two) + " \n" << true;
        QTest::newRow("size beyond 2^53") << envelope(object("o1", "/a").replace("12", "9007199254740993")) << true;
        QTest::newRow("negative size") << envelope(object("o1", "/a").replace("12", "-5")) << true;
        QTest::newRow("access and type vary")
                << envelope(object("o1", "/a") + "," +
                            object("o2", "/b").replace("rcud", "r").replace("\"f\"", "\"x\""))
                << true;

        // Left to the general reader, which answers.
        QTest::newRow("unsafe path") << envelope(object("o1", "/a/../b")) << false;
        QTest::newRow("size with a fraction") << envelope(object("o1", "/a").replace("12", "12.0")) << false;
        QTest::newRow("size out of range")
                << envelope(object("o1", "/a").replace("12", "9223372036854775808")) << false;
        QTest::newRow("size as text") << envelope(object("o1", "/a").replace("12", "\"12\"")) << false;
        QTest::newRow("missing key") << envelope(object("o1", "/a").replace("\"mtime\"", "\"mtim\"")) << false;
        QTest::newRow("null value") << envelope(object("o1", "/a").replace("\"rcud\"", "null")) << false;
        QTest::newRow("duplicate key") << envelope(object("o1", "/a", ",\"path\":\"/b\"")) << false;
        QTest::newRow("duplicate status") << envelope(two, ",\"status\":3") << false;
        QTest::newRow("element not an object") << envelope(object("o1", "/a") + ",[]") << false;
        QTest::newRow("list not an array") << QByteArray("{\"status\":0,\"data\":{\"filesafe_objects\":{}}}") << false;
        QTest::newRow("no list") << QByteArray("{\"status\":0,\"data\":{\"other\":[]}}") << false;
        QTest::newRow("no data") << QByteArray("{\"status\":0}") << false;
        QTest::newRow("message not text") << envelope(two).replace("\"message\":\"\"", "\"message\":null") << false;
        QTest::newRow("service status") << QByteArray("{\"status\":10904,\"message\":\"gone\"}") << false;
        // An error reply with a list is no listing: synchronised against, it would delete local files.
        QTest::newRow("service status with a list")
                << envelope(two).replace("\"status\":0,\"message\":\"\"", "\"status\":10904,\"message\":\"gone\"")
                << false;
        QTest::newRow("service status with an empty list")
                << envelope("").replace("\"status\":0", "\"status\":3") << false;
        QTest::newRow("no status") << envelope(two).replace("\"status\":0,", "") << false;
        QTest::newRow("status with a fraction") << envelope(two).replace("\"status\":0", "\"status\":0.5") << false;
        QTest::newRow("truncated") << envelope(two).left(60) << false;
        QTest::newRow("trailing text") << envelope(two) + "x" << false;
        QTest::newRow("NUL after the document") << envelope(two) + QByteArray(1, '\0') << false;
        QTest::newRow("invalid UTF-8") << envelope(object("o1", "/a\xff")) << false;
        QTest::newRow("lone low surrogate") << envelope(object("o1", "/a\\udc00")) << false;
        QTest::newRow("lone high surrogate") << envelope(object("o1", "/a\\ud800")) << false;
        QTest::newRow("underflow elsewhere") << envelope(two, ",\"n\":1e-400") << false;
        QTest::newRow("top level array") << QByteArray("[" + envelope(two) + "]") << false;
        QTest::newRow("empty object") << QByteArray("{}") << false;
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf") + envelope(two) << false;
        QTest::newRow("deep nesting") << envelope(two, ",\"n\":" + QByteArray(600, '[') + QByteArray(600, ']'))
                                      << false;
    }

    void sameAnswer()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, onepass);
        for (const bool refuseUnsafePaths : {true, false}) {
            bool fastOk = false;
            const QString problem = listingDisagreement(body, refuseUnsafePaths, &fastOk);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            // The unsafe path is the one row whose answer depends on the mode.
            QCOMPARE(fastOk, onepass || (!refuseUnsafePaths && QTest::currentDataTag() == QByteArray("unsafe path")));
        }
    }

    // The texts every object shares are one text.
    void repeatedTextsShared()
    {
        FilesafeObjectsTO_v2 listing;
        QVERIFY(FilesafeListingReader::read(envelope(object("o1", "/a") + "," + object("o2", "/b")), true, &listing));
        const FilesafeObject &a = listing.filesafeObjects.at(0);
        const FilesafeObject &b = listing.filesafeObjects.at(1);
        QCOMPARE(a.access.constData(), b.access.constData());
        QCOMPARE(a.type.constData(), b.type.constData());
    }
};

QTEST_GUILESS_MAIN(TestListingReader)
#include "tst_listingreader.moc"
