#include "net/JsonUtil.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

enum Getter { String, Int, Int64, Bool, Array, Object };

QJsonObject parse(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qFatal("test document does not parse: %s", text.constData());
    }
    return document.object();
}

// Runs one getter and returns its value as a variant (arrays and objects as their JSON text).
QVariant runGetter(Getter getter, const QJsonObject &object, const QString &key, bool required, bool *ok,
                   QString *error)
{
    switch (getter) {
    case String:
        return JsonUtil::getString(object, key, required, ok, error);
    case Int:
        return JsonUtil::getInt(object, key, required, ok, error);
    case Int64:
        return JsonUtil::getInt64(object, key, required, ok, error);
    case Bool:
        return JsonUtil::getBool(object, key, required, ok, error);
    case Array:
        return QJsonDocument(JsonUtil::getArray(object, key, required, ok, error)).toJson(QJsonDocument::Compact);
    case Object:
        return QJsonDocument(JsonUtil::getObject(object, key, required, ok, error)).toJson(QJsonDocument::Compact);
    }
    return QVariant();
}

QVariant defaultOf(Getter getter)
{
    switch (getter) {
    case String:
        return QString();
    case Int:
        return 0;
    case Int64:
        return qint64(0);
    case Bool:
        return false;
    case Array:
        return QByteArray("[]");
    case Object:
        return QByteArray("{}");
    }
    return QVariant();
}

const char *wrongTypeSuffix(Getter getter)
{
    switch (getter) {
    case String:
        return "': value is not a string";
    case Int:
    case Int64:
        return "': value is not a number";
    case Bool:
        return "': value is not a bool";
    case Array:
        return "': value is not a json array";
    case Object:
        return "': value is not a json object";
    }
    return "";
}

const QList<QPair<Getter, const char *>> &allGetters()
{
    static const QList<QPair<Getter, const char *>> getters = {
            {String, "string"}, {Int, "int"}, {Int64, "int64"}, {Bool, "bool"}, {Array, "array"}, {Object, "object"},
    };
    return getters;
}

// Each getter's accepted JSON type, as a member of this object.
const QByteArray kTyped = R"({"s":"text","n":42,"b":true,"a":[1,"x"],"o":{"k":"v"},"z":null})";

const char *acceptedKey(Getter getter)
{
    switch (getter) {
    case String:
        return "s";
    case Int:
    case Int64:
        return "n";
    case Bool:
        return "b";
    case Array:
        return "a";
    case Object:
        return "o";
    }
    return "";
}

} // namespace

Q_DECLARE_METATYPE(Getter)

class TestJsonUtil : public QObject
{
    Q_OBJECT

private slots:
    void getters_data();
    void getters();
    void numbers_data();
    void numbers();
    void okAndErrorAlwaysSet();
    void nullTargetsTolerated();
    void parseDocument_data();
    void parseDocument();
    void parseErrorCarriesParserRecord();
    void toObject_data();
    void toObject();
    void failedReaderKeepsItsFields();
};

void TestJsonUtil::getters_data()
{
    QTest::addColumn<Getter>("getter");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("required");
    QTest::addColumn<bool>("expectedOk");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<QVariant>("expectedValue"); // invalid: the getter's default

    const QVariant byDefault;
    for (const auto &g : allGetters()) {
        const Getter getter = g.first;
        const QByteArray name = g.second;
        const QString wrong = QString::fromLatin1(wrongTypeSuffix(getter));
        for (bool required : {true, false}) {
            const QByteArray req = required ? " required" : " optional";
            QTest::newRow(name + req + " on empty object")
                    << getter << QByteArray("{}") << "s" << required << false << "json object is empty" << byDefault;
            QTest::newRow(name + req + " null value")
                    << getter << kTyped << "z" << required << false << "json object: key 'z" + wrong << byDefault;
        }
        QTest::newRow(name + " required missing")
                << getter << kTyped << "missing" << true << false << "json object: missing key: 'missing'" << byDefault;
        QTest::newRow(name + " optional missing") << getter << kTyped << "missing" << false << true << "" << byDefault;
        // Every other member has a type this getter refuses.
        for (const char *other : {"s", "n", "b", "a", "o"}) {
            if (QByteArray(other) == acceptedKey(getter) || (getter == Int && QByteArray(other) == "n")) {
                continue;
            }
            QTest::newRow(name + " wrong type " + other) << getter << kTyped << other << true << false
                                                         << "json object: key '" + QString(other) + wrong << byDefault;
        }
    }

    QTest::newRow("string value") << String << kTyped << "s" << true << true << "" << QVariant(QString("text"));
    QTest::newRow("string empty") << String << QByteArray(R"({"s":""})") << "s" << true << true << ""
                                  << QVariant(QString(""));
    QTest::newRow("string of number") << String << QByteArray(R"({"id":12})") << "id" << false << false
                                      << "json object: key 'id': value is not a string" << byDefault;
    QTest::newRow("int value") << Int << kTyped << "n" << true << true << "" << QVariant(42);
    QTest::newRow("int of numeric text") << Int << QByteArray(R"({"n":"12"})") << "n" << true << false
                                         << "json object: key 'n': value is not a number" << byDefault;
    QTest::newRow("int64 value") << Int64 << kTyped << "n" << true << true << "" << QVariant(qint64(42));
    QTest::newRow("bool true") << Bool << kTyped << "b" << true << true << "" << QVariant(true);
    QTest::newRow("bool false") << Bool << QByteArray(R"({"b":false})") << "b" << true << true << "" << QVariant(false);
    QTest::newRow("bool of 1") << Bool << QByteArray(R"({"b":1})") << "b" << true << false
                               << "json object: key 'b': value is not a bool" << byDefault;
    QTest::newRow("array value") << Array << kTyped << "a" << true << true << "" << QVariant(QByteArray(R"([1,"x"])"));
    QTest::newRow("object value") << Object << kTyped << "o" << true << true << ""
                                  << QVariant(QByteArray(R"({"k":"v"})"));
    QTest::newRow("empty nested object") << Object << QByteArray(R"({"o":{}})") << "o" << true << true << ""
                                         << QVariant(QByteArray("{}"));
}

void TestJsonUtil::getters()
{
    QFETCH(Getter, getter);
    QFETCH(QByteArray, json);
    QFETCH(QString, key);
    QFETCH(bool, required);
    QFETCH(bool, expectedOk);
    QFETCH(QString, expectedError);
    QFETCH(QVariant, expectedValue);

    bool ok = !expectedOk;
    QString error = QStringLiteral("stale");
    const QVariant value = runGetter(getter, parse(json), key, required, &ok, &error);
    QCOMPARE(ok, expectedOk);
    QCOMPARE(error, expectedError);
    QCOMPARE(value, expectedValue.isValid() ? expectedValue : defaultOf(getter));
}

void TestJsonUtil::numbers_data()
{
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<bool>("intOk");
    QTest::addColumn<int>("intValue");
    QTest::addColumn<bool>("int64Ok");
    QTest::addColumn<qint64>("int64Value");

    QTest::newRow("3.9 truncates") << QByteArray("3.9") << true << 3 << true << qint64(3);
    QTest::newRow("-3.9 truncates") << QByteArray("-3.9") << true << -3 << true << qint64(-3);
    QTest::newRow("-0.5") << QByteArray("-0.5") << true << 0 << true << qint64(0);
    QTest::newRow("exponent") << QByteArray("1e3") << true << 1000 << true << qint64(1000);
    QTest::newRow("int max") << QByteArray("2147483647") << true << 2147483647 << true << qint64(2147483647);
    QTest::newRow("int min") << QByteArray("-2147483648") << true << int(-2147483647 - 1) << true
                             << qint64(-2147483648LL);
    QTest::newRow("int max + 1") << QByteArray("2147483648") << false << 0 << true << qint64(2147483648LL);
    QTest::newRow("int min - 1") << QByteArray("-2147483649") << false << 0 << true << qint64(-2147483649LL);
    QTest::newRow("2^31 as fraction") << QByteArray("2147483648.5") << false << 0 << true << qint64(2147483648LL);
    // Beyond 2^53 a double no longer holds every integer; sizes and times must not be rounded.
    QTest::newRow("2^53 + 1") << QByteArray("9007199254740993") << false << 0 << true << qint64(9007199254740993LL);
    QTest::newRow("-(2^53 + 1)") << QByteArray("-9007199254740993") << false << 0 << true
                                 << qint64(-9007199254740993LL);
    QTest::newRow("int64 max") << QByteArray("9223372036854775807") << false << 0 << true
                               << qint64(9223372036854775807LL);
    QTest::newRow("int64 min") << QByteArray("-9223372036854775808") << false << 0 << true
                               << qint64(-9223372036854775807LL - 1);
    QTest::newRow("int64 max + 1") << QByteArray("9223372036854775808") << false << 0 << false << qint64(0);
    QTest::newRow("1e20") << QByteArray("1e20") << false << 0 << false << qint64(0);
    QTest::newRow("-1e300") << QByteArray("-1e300") << false << 0 << false << qint64(0);
}

void TestJsonUtil::numbers()
{
    QFETCH(QByteArray, number);
    QFETCH(bool, intOk);
    QFETCH(int, intValue);
    QFETCH(bool, int64Ok);
    QFETCH(qint64, int64Value);

    const QJsonObject object = parse("{\"n\":" + number + "}");
    bool ok = false;
    QString error;
    QCOMPARE(JsonUtil::getInt(object, "n", true, &ok, &error), intValue);
    QCOMPARE(ok, intOk);
    QCOMPARE(error, intOk ? QString() : QString("json object: key 'n': value is out of range"));
    QCOMPARE(JsonUtil::getInt64(object, "n", true, &ok, &error), int64Value);
    QCOMPARE(ok, int64Ok);
    QCOMPARE(error, int64Ok ? QString() : QString("json object: key 'n': value is out of range"));
}

void TestJsonUtil::okAndErrorAlwaysSet()
{
    // A reader passes one error target to every call; a success must clear what a previous
    // failure left there, and a failure must clear a previous ok.
    const QJsonObject object = parse(kTyped);
    for (const auto &g : allGetters()) {
        bool ok = true;
        QString error;
        runGetter(g.first, object, "missing", true, &ok, &error);
        QVERIFY2(!ok, g.second);
        QVERIFY2(!error.isEmpty(), g.second);
        runGetter(g.first, object, acceptedKey(g.first), true, &ok, &error);
        QVERIFY2(ok, g.second);
        QVERIFY2(error.isEmpty(), g.second);
    }
}

void TestJsonUtil::nullTargetsTolerated()
{
    const QJsonObject object = parse(kTyped);
    QCOMPARE(JsonUtil::getString(object, "s", true, nullptr, nullptr), QString("text"));
    QCOMPARE(JsonUtil::getInt(object, "missing", true, nullptr, nullptr), 0);
    QVERIFY(JsonUtil::parseDocument("[", nullptr, nullptr).isEmpty());
    QVERIFY(JsonUtil::toObject(QJsonValue(1), nullptr, nullptr).isEmpty());
}

void TestJsonUtil::parseDocument_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("expectedOk");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<QStringList>("expectedKeys");

    QTest::newRow("object") << QByteArray(R"({"status":0,"data":{}})") << true << "" << QStringList{"data", "status"};
    QTest::newRow("array") << QByteArray("[1,2]") << false << "json document is not an object" << QStringList();
    QTest::newRow("empty array") << QByteArray("[]") << false << "json document is not an object" << QStringList();
    QTest::newRow("empty object") << QByteArray("{}") << false << "json document is an empty object" << QStringList();
    QTest::newRow("empty object with blanks")
            << QByteArray(" { } ") << false << "json document is an empty object" << QStringList();
}

void TestJsonUtil::parseDocument()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, expectedOk);
    QFETCH(QString, expectedError);
    QFETCH(QStringList, expectedKeys);

    bool ok = !expectedOk;
    QString error = "stale";
    const QJsonObject object = JsonUtil::parseDocument(text, &ok, &error);
    QCOMPARE(ok, expectedOk);
    QCOMPARE(error, expectedError);
    QCOMPARE(object.keys(), expectedKeys);
}

void TestJsonUtil::parseErrorCarriesParserRecord()
{
    for (const QByteArray &text :
         {QByteArray(R"({"a":1)"), QByteArray(R"({"a" 1})"), QByteArray(""), QByteArray(R"({"a":"x)")}) {
        QJsonParseError parser;
        QJsonDocument::fromJson(text, &parser);
        QVERIFY(parser.error != QJsonParseError::NoError);
        const QString expected = QString("json document parse error: %1 (code=%2, pos=%3)")
                                         .arg(parser.errorString())
                                         .arg(int(parser.error))
                                         .arg(parser.offset);
        bool ok = true;
        QString error;
        QVERIFY(JsonUtil::parseDocument(text, &ok, &error).isEmpty());
        QVERIFY(!ok);
        QCOMPARE(error, expected);
    }
    // One fixed instance in full, so the wording cannot drift along with the code.
    bool ok = true;
    QString error;
    JsonUtil::parseDocument(R"({"a" 1})", &ok, &error);
    QVERIFY(error.startsWith("json document parse error: "));
    QVERIFY(error.endsWith(QString(" (code=%1, pos=6)").arg(int(QJsonParseError::MissingNameSeparator))));
}

void TestJsonUtil::toObject_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("expectedOk");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<int>("expectedSize");

    const QJsonArray array = parse(R"({"a":[{"x":1},2,null,"s",[],{}]})").value("a").toArray();
    QTest::newRow("object element") << array.at(0) << true << "" << 1;
    QTest::newRow("number element") << array.at(1) << false << "json value: is not a json object" << 0;
    QTest::newRow("null element") << array.at(2) << false << "json value: is not a json object" << 0;
    QTest::newRow("string element") << array.at(3) << false << "json value: is not a json object" << 0;
    QTest::newRow("array element") << array.at(4) << false << "json value: is not a json object" << 0;
    QTest::newRow("empty object element") << array.at(5) << true << "" << 0;
    QTest::newRow("past the end") << array.at(6) << false << "json value: undefinded" << 0;
    QTest::newRow("undefined") << QJsonValue(QJsonValue::Undefined) << false << "json value: undefinded" << 0;
}

void TestJsonUtil::toObject()
{
    QFETCH(QJsonValue, value);
    QFETCH(bool, expectedOk);
    QFETCH(QString, expectedError);
    QFETCH(int, expectedSize);

    bool ok = !expectedOk;
    QString error = "stale";
    const QJsonObject object = JsonUtil::toObject(value, &ok, &error);
    QCOMPARE(ok, expectedOk);
    QCOMPARE(error, expectedError);
    QCOMPARE(object.size(), expectedSize);
}

namespace {

// A reader written the way every transfer object reads itself.
struct SampleRecord
{
    QString name = "old name";
    qint64 size = -1;
    bool shared = true;
    QString error;

    bool fromJson(const QJsonObject &object)
    {
        bool ok = false;
        const QString newName = JsonUtil::getString(object, "name", true, &ok, &error);
        if (!ok) {
            return false;
        }
        const qint64 newSize = JsonUtil::getInt64(object, "size", true, &ok, &error);
        if (!ok) {
            return false;
        }
        const bool newShared = JsonUtil::getBool(object, "shared", true, &ok, &error);
        if (!ok) {
            return false;
        }
        name = newName;
        size = newSize;
        shared = newShared;
        return true;
    }
};

} // namespace

void TestJsonUtil::failedReaderKeepsItsFields()
{
    SampleRecord record;
    QVERIFY(!record.fromJson(parse(R"({"name":"new","size":12,"shared":"yes"})")));
    QCOMPARE(record.error, QString("json object: key 'shared': value is not a bool"));
    QCOMPARE(record.name, QString("old name"));
    QCOMPARE(record.size, qint64(-1));
    QCOMPARE(record.shared, true);

    QVERIFY(record.fromJson(parse(R"({"name":"new","size":9007199254740993,"shared":false})")));
    QCOMPARE(record.error, QString());
    QCOMPARE(record.name, QString("new"));
    QCOMPARE(record.size, qint64(9007199254740993LL));
    QCOMPARE(record.shared, false);
}

QTEST_GUILESS_MAIN(TestJsonUtil)
#include "tst_jsonutil.moc"
