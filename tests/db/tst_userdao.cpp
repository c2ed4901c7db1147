#include "db/R7Database.h"
#include "db/UserDao.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

class TestUserDao : public QObject
{
    Q_OBJECT
private slots:
    void storeLogin_data()
    {
        QTest::addColumn<QString>("existing"); // values of a row already there, or none
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("server");
        QTest::addColumn<qint64>("keptId"); // 0: a new row
        const auto row = [](const char *tag, const char *existing, const char *name, const char *server, qint64 kept) {
            QTest::newRow(tag) << QString(existing) << QString(name) << QString(server) << kept;
        };
        row("first sign-in", "(7, 'eu', 'other', 1)", "alice", "eu", 0);
        row("second sign-in keeps a 64-bit id", "(4000000000, 'eu', 'alice', 1000)", "alice", "eu", 4000000000);
        row("same name on another server", "(7, 'eu', 'alice', 1)", "alice", "us", 0);
        row("name is case sensitive", "(7, 'eu', 'alice', 1)", "Alice", "eu", 0);
        row("quotes are data", "", "o'neil\"; DROP TABLE user; --", "eu", 0);
    }

    void storeLogin()
    {
        QFETCH(QString, existing);
        QFETCH(QString, name);
        QFETCH(QString, server);
        QFETCH(qint64, keptId);
        TestEnv env;
        TestDatabase db;
        db.open();
        if (!existing.isEmpty())
            QVERIFY(db.rawExec({"INSERT INTO user (id, server_id, account_name, last_login) VALUES " + existing}));
        const int rowsAfter = db.rawValue("SELECT count(*) FROM user").toInt() + (keptId ? 0 : 1);

        for (int signIn = 0; signIn < 2; ++signIn) {
            const qint64 before = QDateTime::currentMSecsSinceEpoch();
            const User user = UserDao::instance()->storeLogin(name, server);
            const qint64 after = QDateTime::currentMSecsSinceEpoch();
            if (keptId)
                QCOMPARE(user.id(), keptId);
            QCOMPARE(db.rawValue("SELECT count(*) FROM user").toInt(), rowsAfter);
            QCOMPARE(user.accountName() + "@" + user.serverId(), name + "@" + server);
            QVERIFY(user.lastLogin().toMSecsSinceEpoch() >= before && user.lastLogin().toMSecsSinceEpoch() <= after);
            // The returned id is the row that was written.
            QCOMPARE(db.rawColumn(QString("SELECT account_name || '@' || server_id || '@' || last_login FROM user WHERE "
                                          "id = %1")
                                          .arg(user.id())),
                     QStringList{name + "@" + server + "@" + QString::number(user.lastLogin().toMSecsSinceEpoch())});
            keptId = user.id(); // the second sign-in finds the row of the first
        }
    }
};

QTEST_GUILESS_MAIN(TestUserDao)
#include "tst_userdao.moc"
