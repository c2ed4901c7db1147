#include "net/UserCred.h"
#include "net/UserCredList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestUserCredList : public QObject
{
    Q_OBJECT

private slots:
    void entryRoundTrip();
    void entryReadIsAllOrNothing();
    void validity();
    void readDocument_data();
    void readDocument();
    void failedReadKeepsList();
    void findTakesFirst();
    void replaceKeepsFirstPosition();
    void replaceUnknownChangesNothing();
};

void TestUserCredList::entryRoundTrip()
{
    const UserCred withKey("s", "n", "aa", "bb");
    QJsonObject json = withKey.toJson();
    QCOMPARE(json.keys(), (QStringList{"dkey", "name", "pw", "server"}));
    UserCred back;
    QVERIFY(back.fromJson(json));
    QCOMPARE(back.server(), QStringLiteral("s"));
    QCOMPARE(back.name(), QStringLiteral("n"));
    QCOMPARE(back.password(), QStringLiteral("aa"));
    QCOMPARE(back.dkey(), QStringLiteral("bb"));

    const UserCred noKey("s", "n", "", "");
    json = noKey.toJson();
    QVERIFY(!json.contains("dkey"));
    QVERIFY(json.value("pw").isString());
}

void TestUserCredList::entryReadIsAllOrNothing()
{
    UserCred entry("s", "n", "aa", "bb");
    QVERIFY(!entry.fromJson(QJsonObject{{"server", "t"}, {"name", "m"}, {"pw", "cc"}, {"dkey", 5}}));
    QVERIFY(entry.error().contains("'dkey'"));
    QCOMPARE(entry.server(), QStringLiteral("s"));
    QCOMPARE(entry.password(), QStringLiteral("aa"));
    QVERIFY(!entry.fromJson(QJsonObject{{"server", "t"}, {"pw", "cc"}}));
    QVERIFY(entry.error().contains("missing key: 'name'"));
}

void TestUserCredList::validity()
{
    QVERIFY(!UserCred().isValid());
    QVERIFY(!UserCred("", "n", "", "").isValid());
    QVERIFY(!UserCred("s", "", "", "").isValid());
    QVERIFY(UserCred("s", "n", "", "").isValid());
}

void TestUserCredList::readDocument_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("two") << QByteArray(R"({"uclist":[{"server":"a","name":"b","pw":""},)"
                                       R"({"server":"c","name":"d","pw":"ee","dkey":"ff"}]})")
                         << true << 2 << "";
    QTest::newRow("no list member") << QByteArray(R"({"x":1})") << true << 0 << "";
    QTest::newRow("empty list") << QByteArray(R"({"uclist":[]})") << true << 0 << "";
    QTest::newRow("empty object") << QByteArray("{}") << false << 0 << "json document is an empty object";
    QTest::newRow("not json") << QByteArray("{\"uclist\"") << false << 0 << "json document parse error: ";
    QTest::newRow("list not an array") << QByteArray(R"({"uclist":{}})") << false << 0 << "is not a json array";
    QTest::newRow("bad entry") << QByteArray(R"({"uclist":[{"server":"a","name":"b"}]})") << false << 0
                               << "missing key: 'pw'";
}

void TestUserCredList::readDocument()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, count);
    QFETCH(QString, errorPart);
    UserCredList list;
    QCOMPARE(list.fromJsonDocument(bytes), ok);
    QCOMPARE(list.entries().size(), count);
    if (ok) {
        // What is read is written back the same way.
        UserCredList again;
        QVERIFY(again.fromJsonDocument(list.toJsonDocument(QJsonDocument::Compact)));
        QCOMPARE(again.toJson(), list.toJson());
    } else {
        QVERIFY2(list.error().contains(errorPart), qPrintable(list.error()));
    }
}

void TestUserCredList::failedReadKeepsList()
{
    UserCredList list;
    QVERIFY(list.fromJsonDocument(R"({"uclist":[{"server":"a","name":"b","pw":"1"}]})"));
    QVERIFY(!list.fromJsonDocument(R"({"uclist":[{"server":"c","name":"d","pw":"2"},7]})"));
    QCOMPARE(list.entries().size(), 1);
    QCOMPARE(list.entries().at(0).server(), QStringLiteral("a"));
}

void TestUserCredList::findTakesFirst()
{
    UserCredList list;
    list.append(UserCred("s", "n", "1", ""));
    list.append(UserCred("s", "N", "2", ""));
    list.append(UserCred("s", "n", "3", ""));
    QCOMPARE(list.find("s", "n").password(), QStringLiteral("1"));
    QCOMPARE(list.find("s", "N").password(), QStringLiteral("2"));
    QVERIFY(!list.find("S", "n").isValid());
    QVERIFY(!list.find("", "").isValid());
}

void TestUserCredList::replaceKeepsFirstPosition()
{
    UserCredList list;
    list.append(UserCred("x", "y", "0", ""));
    list.append(UserCred("s", "n", "1", ""));
    list.append(UserCred("a", "b", "2", ""));
    list.append(UserCred("s", "n", "3", ""));
    QVERIFY(list.replace(UserCred("s", "n", "new", "dk")));
    QCOMPARE(list.entries().size(), 3);
    QCOMPARE(list.entries().at(0).server(), QStringLiteral("x"));
    QCOMPARE(list.entries().at(1).password(), QStringLiteral("new"));
    QCOMPARE(list.entries().at(1).dkey(), QStringLiteral("dk"));
    QCOMPARE(list.entries().at(2).server(), QStringLiteral("a"));
}

void TestUserCredList::replaceUnknownChangesNothing()
{
    UserCredList list;
    list.append(UserCred("s", "n", "1", ""));
    const QJsonObject before = list.toJson();
    QVERIFY(!list.replace(UserCred("s", "other", "2", "")));
    QCOMPARE(list.toJson(), before);
}

QTEST_GUILESS_MAIN(TestUserCredList)
#include "tst_usercredlist.moc"
