#include "db/R7Database.h"
#include "db/UserDao.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

class TestUserDao : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstSignInAddsRow();
    void secondSignInKeepsId();
    void sameNameOnTwoServers();
    void nameIsCaseSensitive();
    void quotesAreData();

private:
    int rowCount() { return m_db->rawValue("SELECT count(*) FROM user").toInt(); }
    TestEnv *m_env = nullptr;
    TestDatabase *m_db = nullptr;
};

void TestUserDao::init()
{
    m_env = new TestEnv;
    m_db = new TestDatabase;
    m_db->open();
}

void TestUserDao::cleanup()
{
    delete m_db;
    delete m_env;
}

void TestUserDao::firstSignInAddsRow()
{
    QVERIFY(m_db->rawExec({"INSERT INTO user (server_id, account_name, last_login) VALUES ('eu', 'other', 1)"}));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const User user = UserDao::instance()->storeLogin("alice", "eu");
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(rowCount(), 2);
    QCOMPARE(user.id(), m_db->rawValue("SELECT id FROM user WHERE account_name = 'alice'").toLongLong());
    QVERIFY(user.id() > 1);
    QCOMPARE(user.accountName(), QStringLiteral("alice"));
    QCOMPARE(user.serverId(), QStringLiteral("eu"));
    QVERIFY(user.lastLogin().isValid());
    QVERIFY(user.lastLogin().toMSecsSinceEpoch() >= before && user.lastLogin().toMSecsSinceEpoch() <= after);
    QCOMPARE(m_db->rawValue("SELECT last_login FROM user WHERE account_name = 'alice'").toLongLong(),
             user.lastLogin().toMSecsSinceEpoch());
}

void TestUserDao::secondSignInKeepsId()
{
    QVERIFY(m_db->rawExec({"INSERT INTO user (id, server_id, account_name, last_login) VALUES (4000000000, 'eu', "
                           "'alice', 1000)"}));
    const User user = UserDao::instance()->storeLogin("alice", "eu");
    QCOMPARE(user.id(), qint64(4000000000)); // beyond 32 bits
    QCOMPARE(rowCount(), 1);
    QVERIFY(user.lastLogin().toMSecsSinceEpoch() > 1000);
    const User again = UserDao::instance()->storeLogin("alice", "eu");
    QCOMPARE(again.id(), user.id());
    QCOMPARE(rowCount(), 1);
    QVERIFY(again.lastLogin() >= user.lastLogin());
}

void TestUserDao::sameNameOnTwoServers()
{
    const User eu = UserDao::instance()->storeLogin("alice", "eu");
    const User us = UserDao::instance()->storeLogin("alice", "us");
    QVERIFY(eu.id() > 0 && us.id() > 0);
    QVERIFY(eu.id() != us.id());
    QCOMPARE(us.serverId(), QStringLiteral("us"));
    QCOMPARE(rowCount(), 2);
}

void TestUserDao::nameIsCaseSensitive()
{
    const User lower = UserDao::instance()->storeLogin("alice", "eu");
    const User upper = UserDao::instance()->storeLogin("Alice", "eu");
    QVERIFY(lower.id() != upper.id());
    QCOMPARE(upper.accountName(), QStringLiteral("Alice"));
    QCOMPARE(rowCount(), 2);
}

void TestUserDao::quotesAreData()
{
    const User user = UserDao::instance()->storeLogin("o'neil\"; DROP TABLE user; --", "eu");
    QVERIFY(user.id() > 0);
    QCOMPARE(user.accountName(), QStringLiteral("o'neil\"; DROP TABLE user; --"));
    QCOMPARE(rowCount(), 1);
}

QTEST_GUILESS_MAIN(TestUserDao)
#include "tst_userdao.moc"
