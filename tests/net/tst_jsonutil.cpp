// The JSON readers and the results they feed.
#include "net/JsonUtil.h"
#include "net/Result.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

enum Getter { String, Int, Int64, Bool, Array, Object };

struct GetterInfo
{
    const char *name;
    const char *acceptedKey; // member of kTyped holding this getter's type
    const char *wrongTypeSuffix;
    QVariant byDefault;
    QVariant accepted; // the value read from acceptedKey
};

const GetterInfo kGetters[] = {
        {"string", "s", "': value is not a string", QString(), QString("text")},
        {"int", "n", "': value is not a number", 0, 42},
        {"int64", "n", "': value is not a number", qint64(0), qint64(42)},
        {"bool", "b", "': value is not a bool", false, true},
        {"array", "a", "': value is not a json array", QByteArray("[]"), QByteArray(R"([1,"x"])")},
        {"object", "o", "': value is not a json object", QByteArray("{}"), QByteArray(R"({"k":"v"})")},
};

const QByteArray kTyped = R"({"s":"text","n":42,"b":true,"a":[1,"x"],"o":{"k":"v"},"z":null})";

QJsonObject parse(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

// Arrays and objects come back as their compact JSON text.
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

class Receiver : public QObject
{
    Q_OBJECT
public:
    void on_finished(const Result<int> &result) { received.append(result.code()); }
    void on_empty(const EmptyResult &result) { received.append(result.code()); }

    QList<ErrorCode> received;
};

class DerivedReceiver : public Receiver
{
    Q_OBJECT
};

} // namespace

Q_DECLARE_METATYPE(Getter)

class TestJsonUtil : public QObject
{
    Q_OBJECT
private slots:
    void getters_data()
    {
        QTest::addColumn<Getter>("getter");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("required");
        QTest::addColumn<bool>("expectedOk");
        QTest::addColumn<QString>("expectedError");
        QTest::addColumn<QVariant>("expectedValue"); // invalid: the getter's default

        const QVariant byDefault;
        for (int g = String; g <= Object; ++g) {
            const Getter getter = Getter(g);
            const GetterInfo &info = kGetters[g];
            const QByteArray name = info.name;
            const QString wrong = QString::fromLatin1(info.wrongTypeSuffix);
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
            QTest::newRow(name + " value") << getter << kTyped << info.acceptedKey << true << true << "" << info.accepted;
            // A present value of the wrong type fails, required or not (alternately).
            bool required = false;
            for (const char *other : {"s", "n", "b", "a", "o"}) {
                if (qstrcmp(other, info.acceptedKey) != 0) {
                    required = !required;
                    QTest::newRow(name + " wrong type " + other)
                            << getter << kTyped << other << required << false
                            << "json object: key '" + QString(other) + wrong << byDefault;
                }
            }
        }

        QTest::newRow("int of numeric text") << Int << QByteArray(R"({"n":"12"})") << "n" << true << false
                                             << "json object: key 'n': value is not a number" << byDefault;
        QTest::newRow("bool of 1") << Bool << QByteArray(R"({"b":1})") << "b" << true << false
                                   << "json object: key 'b': value is not a bool" << byDefault;
    }

    void getters()
    {
        QFETCH(Getter, getter);
        QFETCH(QByteArray, json);
        QFETCH(QString, key);
        QFETCH(bool, required);
        QFETCH(bool, expectedOk);
        QFETCH(QString, expectedError);
        QFETCH(QVariant, expectedValue);

        // Readers share one ok/error pair across calls: both must be overwritten every time.
        bool ok = !expectedOk;
        QString error = QStringLiteral("stale");
        const QVariant value = runGetter(getter, parse(json), key, required, &ok, &error);
        QCOMPARE(ok, expectedOk);
        QCOMPARE(error, expectedError);
        QCOMPARE(value, expectedValue.isValid() ? expectedValue : kGetters[getter].byDefault);
    }

    void numbers_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<bool>("intOk");
        QTest::addColumn<int>("intValue");
        QTest::addColumn<bool>("int64Ok");
        QTest::addColumn<qint64>("int64Value");

        QTest::newRow("-3.9 truncates") << QByteArray("-3.9") << true << -3 << true << qint64(-3);
        QTest::newRow("int min") << QByteArray("-2147483648") << true << int(-2147483647 - 1) << true
                                 << qint64(-2147483648LL);
        QTest::newRow("int max + 1") << QByteArray("2147483648") << false << 0 << true << qint64(2147483648LL);
        QTest::newRow("int min - 1") << QByteArray("-2147483649") << false << 0 << true << qint64(-2147483649LL);
        // Beyond 2^53 a double no longer holds every integer; sizes and times must not be rounded.
        QTest::newRow("2^53 + 1") << QByteArray("9007199254740993") << false << 0 << true << qint64(9007199254740993LL);
        QTest::newRow("int64 min") << QByteArray("-9223372036854775808") << false << 0 << true
                                   << qint64(-9223372036854775807LL - 1);
        QTest::newRow("int64 max + 1") << QByteArray("9223372036854775808") << false << 0 << false << qint64(0);
        QTest::newRow("-1e300") << QByteArray("-1e300") << false << 0 << false << qint64(0);
    }

    void numbers()
    {
        QFETCH(QByteArray, number);
        QFETCH(bool, intOk);
        QFETCH(int, intValue);
        QFETCH(bool, int64Ok);
        QFETCH(qint64, int64Value);

        const QJsonObject object = parse("{\"n\":" + number + "}");
        const QString outOfRange("json object: key 'n': value is out of range");
        bool ok = false;
        QString error;
        QCOMPARE(JsonUtil::getInt(object, "n", true, &ok, &error), intValue);
        QCOMPARE(ok, intOk);
        QCOMPARE(error, intOk ? QString() : outOfRange);
        QCOMPARE(JsonUtil::getInt64(object, "n", true, &ok, &error), int64Value);
        QCOMPARE(ok, int64Ok);
        QCOMPARE(error, int64Ok ? QString() : outOfRange);
    }

    // Results: delivered while the receiver lives, dropped once it is gone.
    void deliveredWhileReceiverLives()
    {
        // A slot inherited from a base class, bound on the derived receiver.
        DerivedReceiver derived;
        bindResult(&derived, &Receiver::on_empty)(EmptyResult(EC_ABORTED, "Aborted"));
        bindResult(&derived, &Receiver::on_finished)(Result<int>(3));
        QCOMPARE(derived.received, (QList<ErrorCode>{EC_ABORTED, EC_OK}));
    }

    // Run under AddressSanitizer: a call that reached the freed receiver would abort here.
    void droppedAfterReceiverDeleted()
    {
        auto *receiver = new Receiver;
        const ResultCallback<int> callback = bindResult(receiver, &Receiver::on_finished);
        const ResultCallback<Nothing> empty = bindResult(receiver, &Receiver::on_empty);
        delete receiver;
        callback(Result<int>(1));
        empty(EmptyResult(EC_TIMEOUT, "Timeout"));
        bindResult(static_cast<Receiver *>(nullptr), &Receiver::on_finished)(Result<int>(2));

        // A callable bound to a context object is dropped once the context is gone.
        auto *context = new QObject;
        int sum = 0;
        const ResultCallback<int> toContext =
                bindResult<int>(context, [&sum](const Result<int> &r) { sum += r.payload(); });
        toContext(Result<int>(5));
        delete context;
        toContext(Result<int>(7));
        QCOMPARE(sum, 5);
    }
};

QTEST_GUILESS_MAIN(TestJsonUtil)
#include "tst_jsonutil.moc"
