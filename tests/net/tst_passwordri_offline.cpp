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

QTEST_GUILESS_MAIN(TestPasswordRIOffline)
#include "tst_passwordri_offline.moc"
