#include "db/FileObjectDao.h"
#include "db/R7Database.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QtTest>

class TestFileObjectDao : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        m_db.reset(new TestDatabase);
        m_db->open();
    }
    void cleanup()
    {
        m_db.reset();
        m_env.reset();
    }
    void roundTrip_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QDateTime>("local");
        QTest::addColumn<QDateTime>("remote");
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(1480000000123LL);
        const QDateTime after2038 = QDateTime::fromMSecsSinceEpoch(4102444800001LL);
        QTest::newRow("plain file") << "a/b/c.txt" << qint64(12) << "f" << time << after2038;
        QTest::newRow("folder, unknown times") << "a/b" << qint64(0) << "d" << QDateTime() << QDateTime();
        QTest::newRow("epoch is a real time")
                << "e" << qint64(0) << "f" << QDateTime::fromMSecsSinceEpoch(0) << QDateTime::fromMSecsSinceEpoch(0);
        QTest::newRow("beyond 4 GiB") << "big.iso" << (qint64(5) << 30) << "f" << time << time;
        QTest::newRow("quotes and semicolons") << "it's \"x\"; DROP TABLE fs_object;--" << qint64(1) << "f" << time << time;
        QTest::newRow("umlaut") << QString::fromUtf8("\xc3\x84rger/\xc3\xb6.txt") << qint64(2) << "f" << time << time;
    }

    void roundTrip()
    {
        QFETCH(QString, path);
        QFETCH(qint64, size);
        QFETCH(QString, type);
        QFETCH(QDateTime, local);
        QFETCH(QDateTime, remote);
        QVERIFY(FileObjectDao::instance()->loadAll(4).isEmpty());
        FileObjectDao::instance()->store(FsObject("obj-1", path, size, local, remote, "rcud", type, "sha256:00ff"), 4);
        const FsObject loaded = FileObjectDao::instance()->loadByPath(4, path);
        QCOMPARE(QStringList({loaded.objectId(), loaded.path(), loaded.type(), loaded.checksum(), loaded.access()}),
                 QStringList({"obj-1", path, type, "sha256:00ff", ""})); // access is not stored
        QCOMPARE(loaded.size(), size);
        // The same instants (or none), whatever the zone they are read in.
        QCOMPARE(loaded.localMtime(), local);
        QCOMPARE(loaded.remoteMtime(), remote);
        const QHash<QString, FsObject> all = FileObjectDao::instance()->loadAll(4);
        QCOMPARE(all.keys(), QList<QString>{path});
        QCOMPARE(all.value(path).remoteMtime(), remote);
    }

    void lookUpsAndRemovalStayInTheirSetting()
    {
        const qint64 wide = (qint64(1) << 32) + 5; // must not collapse onto setting 5
        store("a", 5);
        store("b", wide);
        store("c", 6);
        QCOMPARE(pathsOf(5), QStringList{"a"});
        QCOMPARE(pathsOf(wide), QStringList{"b"});
        QVERIFY(FileObjectDao::instance()->loadByPath(5, "b").isNull());
        QVERIFY(FileObjectDao::instance()->loadByPath(6, "a").isNull());
        FileObjectDao::instance()->remove("a", 6); // another setting's path: nothing goes
        QCOMPARE(pathsOf(5), QStringList{"a"});
        for (const QString path : {"A", "a/", ""})
            QVERIFY2(FileObjectDao::instance()->loadByPath(5, path).isNull(), qPrintable(path));

        // Duplicate rows of a path: one is read, all are removed.
        store("dup", 3, 1);
        store("dup", 3, 2);
        store("other", 3, 7);
        QCOMPARE(pathsOf(3), QStringList({"dup", "other"}));
        const qint64 size = FileObjectDao::instance()->loadByPath(3, "dup").size();
        QVERIFY(size == 1 || size == 2);
        FileObjectDao::instance()->remove("dup", 3);
        QCOMPARE(m_db->rawValue("SELECT count(*) FROM fs_object WHERE path = 'dup'").toInt(), 0);
        QCOMPARE(FileObjectDao::instance()->loadByPath(3, "other").size(), 7);
    }

    void lookUpsUseTheIndex()
    {
        for (const QString statement : {"SELECT object_id FROM fs_object WHERE setting_id = 1 AND path = 'x'",
                                        "DELETE FROM fs_object WHERE setting_id = 1 AND path = 'x'",
                                        "SELECT object_id FROM fs_object WHERE setting_id = 1"}) {
            QSqlQuery query;
            QVERIFY(query.exec("EXPLAIN QUERY PLAN " + statement));
            QStringList plan;
            while (query.next())
                plan << query.value(3).toString();
            QVERIFY2(QRegularExpression("USING (COVERING )?INDEX fs_object_setting_path").match(plan.join(' ')).hasMatch(),
                     qPrintable(statement + ": " + plan.join(" | ")));
        }
    }
private:
    static void store(const QString &path, qint64 setting, qint64 size = 3)
    {
        FileObjectDao::instance()->store(FsObject("oid-" + path, path, size, QDateTime::fromMSecsSinceEpoch(1),
                                                  QDateTime::fromMSecsSinceEpoch(2), "rcud", "f", "sha256:0a1b"),
                                         setting);
    }
    static QStringList pathsOf(qint64 setting)
    {
        QStringList paths = FileObjectDao::instance()->loadAll(setting).keys();
        paths.sort();
        return paths;
    }
    QScopedPointer<TestEnv> m_env;
    QScopedPointer<TestDatabase> m_db;
};

QTEST_GUILESS_MAIN(TestFileObjectDao)
#include "tst_fileobjectdao.moc"
