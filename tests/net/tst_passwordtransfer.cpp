#include "core/AppInfo.h"
#include "net/EmptyPasswordTO.h"
#include "net/EmptyPasswordsTO.h"
#include "net/LogoutTO_v1.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/SinglePasswordTO.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonObject entry(const QString &id, const QString &title)
{
    return QJsonObject{
            {"id", id}, {"title", title}, {"username", "u-" + title}, {"url", "w-" + title}, {"comment", "c"}};
}

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestPasswordTransfer : public QObject
{
    Q_OBJECT
private slots:
    void entryReads_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("errorPart"); // empty: the read succeeds
        QTest::newRow("full") << QByteArray(R"({"id":"5","title":"t","username":"u","url":"w","comment":"c"})") << "";
        QTest::newRow("numeric id") << QByteArray(R"({"id":5,"title":"t","username":"u","url":"","comment":""})")
                                    << "'id': value is not a string";
        QTest::newRow("no comment") << QByteArray(R"({"id":"5","title":"t","username":"u","url":""})")
                                    << "missing key: 'comment'";
    }

    void entryReads()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, errorPart);
        EmptyPasswordTO to;
        QVERIFY(to.fromJson(entry("1", "Before")));
        QString error;
        QCOMPARE(to.fromJson(parse(json), error), errorPart.isEmpty());
        QCOMPARE(to.error(), error);
        if (errorPart.isEmpty()) {
            QVERIFY(error.isEmpty());
            QCOMPARE(QStringList({to.id(), to.title(), to.username(), to.url(), to.comment()}),
                     QStringList({"5", "t", "u", "w", "c"}));
        } else {
            QVERIFY2(error.contains(errorPart), qPrintable(error));
            // All or nothing: the earlier values stay.
            QCOMPARE(QStringList({to.id(), to.title(), to.username(), to.url(), to.comment()}),
                     QStringList({"1", "Before", "u-Before", "w-Before", "c"}));
        }
    }

    void listReadsAndSorts()
    {
        const QJsonObject json{{"passwordsMax", 10.7},
                               {"passwords", QJsonArray{entry("1", "b"), entry("2", "B"), entry("3", "a")}}};
        EmptyPasswordsTO list;
        QString error;
        QVERIFY(list.fromJson(json, error));
        QVERIFY(error.isEmpty());
        QCOMPARE(list.passwordsMax(), 10);
        QCOMPARE(list.passwords().size(), 3);
        QCOMPARE(list.passwords().at(0).title(), QStringLiteral("B"));
        QCOMPARE(list.passwords().at(0).id(), QStringLiteral("2"));
        QCOMPARE(list.passwords().at(1).title(), QStringLiteral("a"));
        QCOMPARE(list.passwords().at(2).title(), QStringLiteral("b"));
    }

    void listFailures_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("entry without comment")
                << QByteArray(R"({"passwordsMax":9,"passwords":[{"id":"1","title":"t","username":"u","url":""}]})")
                << "missing key: 'comment'";
        QTest::newRow("element not an object")
                << QByteArray(R"({"passwordsMax":9,"passwords":[{"id":"2","title":"y","username":"u","url":"",)"
                              R"("comment":""},7]})")
                << "json value: is not a json object";
        QTest::newRow("max missing") << QByteArray(R"({"passwords":[]})") << "missing key: 'passwordsMax'";
        QTest::newRow("passwords not an array")
                << QByteArray(R"({"passwordsMax":3,"passwords":{}})") << "'passwords': value is not a json array";
    }

    void listFailures()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, errorPart);
        EmptyPasswordsTO list;
        QVERIFY(list.fromJson(QJsonObject{{"passwordsMax", 5}, {"passwords", QJsonArray{entry("1", "x")}}}));
        QString error;
        QVERIFY(!list.fromJson(parse(json), error));
        QVERIFY2(error.contains(errorPart), qPrintable(error));
        // The old content stays.
        QCOMPARE(list.passwordsMax(), 5);
        QCOMPARE(list.passwords().size(), 1);
        QCOMPARE(list.passwords().at(0).title(), QStringLiteral("x"));
    }

    void singleSecret()
    {
        SinglePasswordTO to;
        QVERIFY(to.fromJson(parse(R"({"id":"9","password":"00ff","transportIv":"0102"})")));
        QCOMPARE(to.id(), QStringLiteral("9"));
        QCOMPARE(to.password(), QStringLiteral("00ff"));
        QCOMPARE(to.transportIv(), QStringLiteral("0102"));
        QString error;
        QVERIFY(!to.fromJson(parse(R"({"id":"9","password":"11ee"})"), error));
        QVERIFY(error.contains("'transportIv'"));
        QCOMPARE(to.password(), QStringLiteral("00ff"));
    }

    void logoutReply_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("message");
        QTest::newRow("full") << QByteArray(R"({"success":false,"message":"bye"})") << true << false << "bye";
        QTest::newRow("no message") << QByteArray(R"({"success":true})") << true << true << "";
        QTest::newRow("success as text") << QByteArray(R"({"success":"true","message":"m"})") << false << true << "";
        QTest::newRow("success missing") << QByteArray(R"({"message":"m"})") << false << true << "";
    }

    void logoutReply()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        QFETCH(bool, success);
        QFETCH(QString, message);
        LogoutTO_v1 to;
        QString error;
        QCOMPARE(to.fromJson(parse(json), error), ok);
        QCOMPARE(error.isEmpty(), ok);
        QCOMPARE(to.success(), success);
        QCOMPARE(to.message(), message);
    }

    // What the password interface decides before anything goes out.
    void breachedIdsKeep64Bits()
    {
        const QJsonArray array =
                QJsonDocument::fromJson("[1001, 4294968297, 9007199254740993, \"7\", null, 3.9, -2, {}]").array();
        QCOMPARE(PasswordRI::readIdList(array), (QList<qint64>{1001, 4294968297LL, 9007199254740993LL, 0, 0, 3, -2, 0}));
    }

    void blankIdsSendNothing()
    {
        // An id of blanks would address the whole list; it is refused before a request exists.
        AppInfo info = AppInfo::forThisBuild();
        PasswordRI ri(&info, R7Session::instance());
        QList<ErrorCode> codes;
        ri.deletePassword("   ", [&](const EmptyResult &r) { codes << r.code(); });
        ri.updatePassword(PasswordTO(), [&](const Result<EmptyPasswordTO> &r) { codes << r.code(); });
        QCOMPARE(codes, (QList<ErrorCode>{EC_BAD_URL, EC_BAD_URL}));
    }
};

QTEST_GUILESS_MAIN(TestPasswordTransfer)
#include "tst_passwordtransfer.moc"
