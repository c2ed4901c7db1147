#include "core/AppInfo.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// What the password interface decides before anything goes out.
class TestPasswordRIOffline : public QObject
{
    Q_OBJECT

private slots:
    void basePathPerGeneration();
    void castsToInterface();
    void breachedIdsKeep64Bits();
    void blankIdsSendNothing();
};

void TestPasswordRIOffline::basePathPerGeneration()
{
    AppInfo info = AppInfo::forThisBuild();
    info.apiGeneration = 1;
    PasswordRI older(&info, R7Session::instance());
    QCOMPARE(older.basePath(), QString("/rest/loggedin/2/passwords"));
    AppInfo newer = info;
    newer.apiGeneration = 2;
    PasswordRI ri(&newer, R7Session::instance());
    QCOMPARE(ri.basePath(), QString("/api/sync/1/passwords"));
    newer.apiGeneration = 0;
    QCOMPARE(ri.basePath(), QString("/api/sync/1/passwords"));
}

void TestPasswordRIOffline::castsToInterface()
{
    AppInfo info = AppInfo::forThisBuild();
    PasswordRI ri(&info, R7Session::instance());
    QObject *object = &ri;
    QCOMPARE(qobject_cast<IPasswordRI *>(object), static_cast<IPasswordRI *>(&ri));
    QCOMPARE(QString(ri.metaObject()->className()), QString("PasswordRI"));
}

void TestPasswordRIOffline::breachedIdsKeep64Bits()
{
    const QJsonArray array =
            QJsonDocument::fromJson("[1001, 4294968297, 9007199254740993, \"7\", null, 3.9, -2, {}]").array();
    const QList<qint64> ids = PasswordRI::readIdList(array);
    QCOMPARE(ids, (QList<qint64>{1001, 4294968297LL, 9007199254740993LL, 0, 0, 3, -2, 0}));
    QVERIFY(PasswordRI::readIdList(QJsonArray()).isEmpty());
}

void TestPasswordRIOffline::blankIdsSendNothing()
{
    // An id of blanks would address the whole list; it is refused before a request exists.
    AppInfo info = AppInfo::forThisBuild();
    PasswordRI ri(&info, R7Session::instance());
    int calls = 0;
    EmptyResult outcome;
    ri.deletePassword("   ", [&](const EmptyResult &r) {
        ++calls;
        outcome = r;
    });
    QCOMPARE(calls, 1);
    QCOMPARE(outcome.code(), EC_BAD_URL);
    PasswordTO noId;
    Result<EmptyPasswordTO> updated;
    ri.updatePassword(noId, [&](const Result<EmptyPasswordTO> &r) {
        ++calls;
        updated = r;
    });
    QCOMPARE(calls, 2);
    QCOMPARE(updated.code(), EC_BAD_URL);
}

QTEST_GUILESS_MAIN(TestPasswordRIOffline)
#include "tst_passwordri_offline.moc"
