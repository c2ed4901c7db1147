#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

class TestFileObjectDao : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptySetting();
    void roundTrip_data();
    void roundTrip();
    void unknownTimesStayUnknown();
    void settingsAreSeparate();
    void duplicateRowsAndRemove();
    void missingPathIsNull();
    void storeLogsRowId();
    void lookUpsUseTheIndex_data();
    void lookUpsUseTheIndex();
    void batchRollsBackAsOne();

private:
    static FsObject sample(const QString &path, qint64 size = 3)
    {
        return FsObject("oid-" + path, path, size, QDateTime::fromMSecsSinceEpoch(1480000000123LL),
                        QDateTime::fromMSecsSinceEpoch(1480000000999LL), "rcud", "f", "sha256:0a1b");
    }
    TestEnv *m_env = nullptr;
    TestDatabase *m_db = nullptr;
};

void TestFileObjectDao::init()
{
    m_env = new TestEnv;
    m_db = new TestDatabase;
    m_db->open();
}

void TestFileObjectDao::cleanup()
{
    delete m_db;
    delete m_env;
}

void TestFileObjectDao::emptySetting()
{
    QVERIFY(FileObjectDao::instance()->loadAll(1).isEmpty());
    QCOMPARE(FileObjectDao::instance(), FileObjectDao::instance());
}

void TestFileObjectDao::roundTrip_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("type");
    QTest::newRow("plain file") << "a/b/c.txt" << qint64(12) << "f";
    QTest::newRow("folder") << "a/b" << qint64(0) << "d";
    QTest::newRow("beyond 4 GiB") << "big.iso" << (qint64(5) << 30) << "f";
    QTest::newRow("quotes and semicolons") << "it's \"x\"; DROP TABLE fs_object;--" << qint64(1) << "f";
    QTest::newRow("umlaut") << QString::fromUtf8("\xc3\x84rger/\xc3\xb6.txt") << qint64(2) << "f";
}

void TestFileObjectDao::roundTrip()
{
    QFETCH(QString, path);
    QFETCH(qint64, size);
    QFETCH(QString, type);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(1480000000123LL);
    const QDateTime remote = QDateTime::fromMSecsSinceEpoch(4102444800001LL); // after 2038
    const FsObject stored("obj-1", path, size, local, remote, "rcud", type, "sha256:00ff");
    FileObjectDao::instance()->store(stored, 4);
    const FsObject loaded = FileObjectDao::instance()->loadByPath(4, path);
    QCOMPARE(loaded.objectId(), QStringLiteral("obj-1"));
    QCOMPARE(loaded.path(), path);
    QCOMPARE(loaded.size(), size);
    QCOMPARE(loaded.localMtime().toMSecsSinceEpoch(), local.toMSecsSinceEpoch());
    QCOMPARE(loaded.remoteMtime().toMSecsSinceEpoch(), remote.toMSecsSinceEpoch());
    QCOMPARE(loaded.localMtime(), local); // the same instant, whatever the zone it is read in
    QCOMPARE(loaded.type(), type);
    QCOMPARE(loaded.checksum(), QStringLiteral("sha256:00ff"));
    QCOMPARE(loaded.access(), QString()); // not stored
    const QHash<QString, FsObject> all = FileObjectDao::instance()->loadAll(4);
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.value(path).objectId(), QStringLiteral("obj-1"));
    QCOMPARE(m_db->rawValue("SELECT count(*) FROM fs_object").toInt(), 1);
}

void TestFileObjectDao::unknownTimesStayUnknown()
{
    FileObjectDao::instance()->store(FsObject("", "x", 0, QDateTime(), QDateTime(), "", "d", ""), 2);
    const FsObject loaded = FileObjectDao::instance()->loadByPath(2, "x");
    QVERIFY(loaded.isValid());
    QVERIFY(!loaded.localMtime().isValid());
    QVERIFY(!loaded.remoteMtime().isValid());
    // A stored epoch is a real time and comes back as one.
    FileObjectDao::instance()->store(
            FsObject("", "y", 0, QDateTime::fromMSecsSinceEpoch(0), QDateTime::fromMSecsSinceEpoch(0), "", "f", ""), 2);
    QCOMPARE(FileObjectDao::instance()->loadByPath(2, "y").localMtime(), QDateTime::fromMSecsSinceEpoch(0));
}

void TestFileObjectDao::settingsAreSeparate()
{
    const qint64 wide = (qint64(1) << 32) + 5; // must not collapse onto setting 5
    FileObjectDao::instance()->store(sample("a"), 5);
    FileObjectDao::instance()->store(sample("b"), wide);
    FileObjectDao::instance()->store(sample("c"), 6);
    QCOMPARE(FileObjectDao::instance()->loadAll(5).keys(), QList<QString>{"a"});
    QCOMPARE(FileObjectDao::instance()->loadAll(wide).keys(), QList<QString>{"b"});
    QVERIFY(FileObjectDao::instance()->loadByPath(5, "b").isNull());
    QVERIFY(FileObjectDao::instance()->loadByPath(6, "a").isNull());
    FileObjectDao::instance()->remove("a", 6); // another setting's path: nothing goes
    QCOMPARE(FileObjectDao::instance()->loadAll(5).size(), 1);
}

void TestFileObjectDao::duplicateRowsAndRemove()
{
    FileObjectDao::instance()->store(sample("dup", 1), 3);
    FileObjectDao::instance()->store(sample("dup", 2), 3);
    FileObjectDao::instance()->store(sample("other", 7), 3);
    QCOMPARE(m_db->rawValue("SELECT count(*) FROM fs_object WHERE path = 'dup'").toInt(), 2);
    const QHash<QString, FsObject> all = FileObjectDao::instance()->loadAll(3);
    QCOMPARE(all.size(), 2);
    QVERIFY(all.contains("dup"));
    const qint64 size = FileObjectDao::instance()->loadByPath(3, "dup").size();
    QVERIFY(size == 1 || size == 2);
    FileObjectDao::instance()->remove("dup", 3);
    QCOMPARE(m_db->rawValue("SELECT count(*) FROM fs_object WHERE path = 'dup'").toInt(), 0);
    QVERIFY(FileObjectDao::instance()->loadByPath(3, "dup").isNull());
    QCOMPARE(FileObjectDao::instance()->loadByPath(3, "other").size(), 7);
}

void TestFileObjectDao::missingPathIsNull()
{
    FileObjectDao::instance()->store(sample("a/b"), 1);
    QVERIFY(FileObjectDao::instance()->loadByPath(1, "a").isNull());
    QVERIFY(FileObjectDao::instance()->loadByPath(1, "A/B").isNull()); // exact comparison
    QVERIFY(FileObjectDao::instance()->loadByPath(1, "").isNull());
}

void TestFileObjectDao::storeLogsRowId()
{
    // Rows ever inserted count, also deleted ones.
    for (int i = 0; i < 16; ++i)
        FileObjectDao::instance()->store(sample(QString::number(i)), 1);
    QVERIFY(m_db->rawExec({"DELETE FROM fs_object"}));
    LogCapture log;
    FileObjectDao::instance()->store(sample(QString::fromUtf8("new\x01line")), 9);
    QVERIFY2(log.contains("FileObjectDao::store: insert into fs_object: oid:17 syncsettings[s9] path:'new\\u0001line'"),
             qPrintable(log.messages().join('\n')));
}

void TestFileObjectDao::lookUpsUseTheIndex_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("look-up") << "SELECT object_id FROM fs_object WHERE setting_id = 1 AND path = 'x'";
    QTest::newRow("delete") << "DELETE FROM fs_object WHERE setting_id = 1 AND path = 'x'";
    QTest::newRow("whole setting") << "SELECT object_id FROM fs_object WHERE setting_id = 1";
}

void TestFileObjectDao::lookUpsUseTheIndex()
{
    QFETCH(QString, statement);
    QSqlQuery query;
    QVERIFY(query.exec("EXPLAIN QUERY PLAN " + statement));
    QStringList details;
    while (query.next())
        details << query.value(3).toString();
    QVERIFY2(details.join(' ').contains("USING INDEX fs_object_setting_path") ||
                     details.join(' ').contains("USING COVERING INDEX fs_object_setting_path"),
             qPrintable(details.join(" | ")));
}

void TestFileObjectDao::batchRollsBackAsOne()
{
    R7Database *database = R7Database::instance();
    FileObjectDao::instance()->store(sample("kept"), 1);
    QVERIFY(database->transaction());
    for (int i = 0; i < 50; ++i)
        FileObjectDao::instance()->store(sample(QString("batch/%1").arg(i)), 1);
    QVERIFY(database->transaction()); // another store's own transaction inside the batch
    FileObjectDao::instance()->remove("kept", 1);
    QVERIFY(database->rollback());
    QCOMPARE(FileObjectDao::instance()->loadAll(1).size(), 51);
    QVERIFY(database->rollback());
    QCOMPARE(FileObjectDao::instance()->loadAll(1).keys(), QList<QString>{"kept"});
}

QTEST_GUILESS_MAIN(TestFileObjectDao)
#include "tst_fileobjectdao.moc"
