#include "net/UserCred.h"
#include "net/UserCredList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestUserCredList : public QObject
{
    Q_OBJECT
private slots:
    void entryRoundTrip()
    {
        UserCred entry("s", "n", "aa", "bb");
        QCOMPARE(entry.toJson().keys(), (QStringList{"dkey", "name", "pw", "server"}));
        UserCred back;
        QVERIFY(back.fromJson(entry.toJson()));
        QCOMPARE(back.toJson(), entry.toJson());
        const QJsonObject noKey = UserCred("s", "n", "", "").toJson();
        QVERIFY(!noKey.contains("dkey"));
        QVERIFY(noKey.value("pw").isString());

        // All or nothing.
        QVERIFY(!entry.fromJson(QJsonObject{{"server", "t"}, {"name", "m"}, {"pw", "cc"}, {"dkey", 5}}));
        QVERIFY(entry.error().contains("'dkey'"));
        QCOMPARE(entry.toJson(), back.toJson());

        QVERIFY(!UserCred().isValid());
        QVERIFY(!UserCred("", "n", "", "").isValid());
        QVERIFY(!UserCred("s", "", "", "").isValid());
        QVERIFY(UserCred("s", "n", "", "").isValid());
    }

    void readDocument_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("two") << QByteArray(R"({"uclist":[{"server":"a","name":"b","pw":""},)"
                                           R"({"server":"c","name":"d","pw":"ee","dkey":"ff"}]})")
                             << true << 2 << "";
        QTest::newRow("no list member") << QByteArray(R"({"x":1})") << true << 0 << "";
        QTest::newRow("not json") << QByteArray("{\"uclist\"") << false << 1 << "json document parse error: ";
        QTest::newRow("list not an array") << QByteArray(R"({"uclist":{}})") << false << 1 << "is not a json array";
        QTest::newRow("good entry, then not an object")
                << QByteArray(R"({"uclist":[{"server":"c","name":"d","pw":"2"},7]})") << false << 1
                << "is not a json object";
    }

    void readDocument()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ok);
        QFETCH(int, count);
        QFETCH(QString, errorPart);
        UserCredList list;
        QVERIFY(list.fromJsonDocument(R"({"uclist":[{"server":"old","name":"b","pw":"1"}]})"));
        QCOMPARE(list.fromJsonDocument(bytes), ok);
        QCOMPARE(list.entries().size(), count);
        if (ok) {
            // What is read is written back the same way.
            UserCredList again;
            QVERIFY(again.fromJsonDocument(list.toJsonDocument(QJsonDocument::Compact)));
            QCOMPARE(again.toJson(), list.toJson());
        } else {
            QVERIFY2(list.error().contains(errorPart), qPrintable(list.error()));
            // A failed read keeps the list.
            QCOMPARE(list.entries().at(0).server(), QStringLiteral("old"));
        }
    }

    void findAndReplace()
    {
        UserCredList list;
        list.append(UserCred("x", "y", "0", ""));
        list.append(UserCred("s", "n", "1", ""));
        list.append(UserCred("s", "N", "2", ""));
        list.append(UserCred("s", "n", "3", ""));
        QCOMPARE(list.find("s", "n").password(), QStringLiteral("1"));
        QCOMPARE(list.find("s", "N").password(), QStringLiteral("2"));
        QVERIFY(!list.find("S", "n").isValid());
        QVERIFY(!list.find("", "").isValid());

        const QJsonObject before = list.toJson();
        QVERIFY(!list.replace(UserCred("s", "other", "2", "")));
        QCOMPARE(list.toJson(), before);

        // The first of duplicate pairs takes the new value; the others go.
        QVERIFY(list.replace(UserCred("s", "n", "new", "dk")));
        QCOMPARE(list.entries().size(), 3);
        QCOMPARE(list.entries().at(0).server(), QStringLiteral("x"));
        QCOMPARE(list.entries().at(1).password(), QStringLiteral("new"));
        QCOMPARE(list.entries().at(1).dkey(), QStringLiteral("dk"));
        QCOMPARE(list.entries().at(2).name(), QStringLiteral("N"));
    }
};

QTEST_GUILESS_MAIN(TestUserCredList)
#include "tst_usercredlist.moc"
