#include "net/FilesafeObject.h"
#include "net/FilesafeObjectsTO_v2.h"
#include "net/FilesafeTO_v2.h"
#include "net/FilesafesTO_v2.h"
#include "sync/FsObject.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

static QJsonObject safeJson(const QString &id, const QString &type, const QString &name)
{
    return QJsonObject{{"safe_id", id},
                       {"safe_type", type},
                       {"safe_name", name},
                       {"access", "rcud"},
                       {"storage_quota", double(5368709120LL)},
                       {"storage_used", 1234},
                       {"expiry_date", "2030-01-01"},
                       {"has_trash", true},
                       {"root_folder_id", "root-" + id},
                       {"role_type", 2},
                       {"last_event", "ev-" + id},
                       {"last_mod", "2026-12-01 10:00:00"}};
}

static QJsonObject objectJson(const QString &id, const QString &path, const QString &type = "f")
{
    return QJsonObject{
            {"object_id", id},  {"path", path}, {"size", double(6000000000LL)}, {"mtime", "2026-11-30 08:15:00"},
            {"access", "rcud"}, {"type", type}, {"checksum", "md5:0123"}};
}

static QJsonObject objectList(const QJsonArray &objects)
{
    return QJsonObject{{"filesafe_objects", objects}};
}

class TestFilesafeTO : public QObject
{
    Q_OBJECT
private slots:
    void safeRefusedKeepsOld_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: the key is missing
        QTest::addColumn<QString>("error");
        // The last key read: every other was taken before the failure.
        QTest::newRow("last_mod missing") << "last_mod" << QJsonValue(QJsonValue::Undefined)
                                          << "json object: missing key: 'last_mod'";
        QTest::newRow("has_trash number") << "has_trash" << QJsonValue(1) << "json object: key 'has_trash'";
        QTest::newRow("name null") << "safe_name" << QJsonValue(QJsonValue::Null) << "json object: key 'safe_name'";
    }

    void safeRefusedKeepsOld()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, error);
        FilesafeTO_v2 safe;
        QVERIFY(safe.fromJson(safeJson("old", "PRIVATE", "Old")));
        QJsonObject json = safeJson("new", "INBOX", "New");
        value.isUndefined() ? void(json.remove(key)) : void(json.insert(key, value));
        QVERIFY(!safe.fromJson(json));
        QVERIFY2(safe.errorString().startsWith(error), qPrintable(safe.errorString()));
        // Nothing of the failed read was taken over, not even the keys read before the bad one.
        QCOMPARE(safe.safeId + safe.type + safe.name + safe.lastEvent, QString("oldPRIVATEOldev-old"));
        QCOMPARE(safe.storageQuota, 5368709120LL); // beyond 32 bits
    }

    void objectUnsafePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("top") << "/" << true;
        QTest::newRow("trailing slash") << "/a/b/" << true;
        QTest::newRow("dots inside a name") << "/a/..b/c..d/.e" << true;
        QTest::newRow("parent at start") << "/../etc/passwd" << false;
        QTest::newRow("parent inside") << "/a/../../b" << false;
        QTest::newRow("current") << "/a/./b" << false;
        QTest::newRow("empty element") << "/a//b" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("nul") << QString("/a") + QChar(0) + QString("b") << false;
    }

    void objectUnsafePath()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        FilesafeObject object;
        QCOMPARE(object.fromJson(objectJson("o", path)), accepted);
        QCOMPARE(object.objectId.isEmpty(), !accepted);
    }

    void objectListAllOrNothing()
    {
        FilesafeObjectsTO_v2 list;
        QVERIFY(list.fromJson(objectList({objectJson("1", "/a", "d")})));
        // One unsafe path refuses the whole listing; the earlier one stays.
        QVERIFY(!list.fromJson(objectList({objectJson("2", "/b", "d"), objectJson("3", "/b/../../x")})));
        QVERIFY(!list.fromJson(objectList({objectJson("4", "/c"), 5})));
        QVERIFY(!list.fromJson(QJsonObject{{"filesafe_objects", "nope"}}));
        QCOMPARE(list.filesafeObjects.size(), 1);
        QCOMPARE(list.filesafeObjects.first().objectId, QString("1"));
        // The synchroniser's reader keeps the unsafe path for its own check, but nothing malformed.
        QString error;
        QVERIFY(list.fromJsonKeepingUnsafePaths(objectList({objectJson("2", "/b"), objectJson("3", "/b/../../x")}), error));
        QCOMPARE(list.filesafeObjects.value(1).path, QString("/b/../../x"));
        QVERIFY(!list.fromJsonKeepingUnsafePaths(objectList({objectJson("4", "/c"), 5}), error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(list.filesafeObjects.size(), 2);

        // The same for the list of safes.
        FilesafesTO_v2 safes;
        QVERIFY(safes.fromJson(QJsonObject{{"filesafes", QJsonArray{safeJson("a", "PRIVATE", "A")}}}));
        QJsonObject broken = safeJson("c", "INBOX", "C");
        broken.remove("last_mod");
        QVERIFY(!safes.fromJson(QJsonObject{{"filesafes", QJsonArray{safeJson("x", "PRIVATE", "X"), broken}}}));
        QCOMPARE(safes.filesafes.size(), 1);
        QCOMPARE(safes.filesafes.first().safeId, QString("a"));
    }

    void pathRelations_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("relation"); // 2: direct child, 1: further below (or itself), 0: neither
        QTest::addColumn<QString>("name");
        QTest::newRow("double slashes, trailing slash") << "/a//b/" << QString("/a") << 2 << "b";
        QTest::newRow("grandchild") << "/a/b/c" << QString("/a") << 1 << "c";
        QTest::newRow("top level under root") << "/a" << QString("/") << 2 << "a";
        QTest::newRow("root under nothing") << "/" << QString("/") << 0 << "";
        QTest::newRow("prefix is not a parent") << "/ab/c" << QString("/a") << 0 << "c";
        QTest::newRow("case differs") << "/A/b" << QString("/a") << 0 << "b";
    }

    void pathRelations()
    {
        QFETCH(QString, path);
        QFETCH(QString, other);
        QFETCH(int, relation);
        QFETCH(QString, name);
        FilesafeObject object, upper;
        object.path = path;
        upper.path = other;
        QCOMPARE(object.isDirectChildOf(other), relation == 2);
        QCOMPARE(object.isDirectChildOf(upper), relation == 2);
        QCOMPARE(object.isBelow(upper), relation > 0);
        QCOMPARE(object.fileName(), name);
    }

    void toFsObject()
    {
        FilesafeObject object;
        // "e" + combining acute accent: the record holds the composed form.
        QJsonObject json = objectJson("o9", QString("/Caf") + QChar('e') + QChar(0x0301) + ".txt");
        json.insert("mtime", "2026-11-30 08:15:00 +0100");
        QVERIFY(object.fromJson(json));
        const FsObject fs = object.toFsObject();
        QCOMPARE(fs.objectId(), QString("o9"));
        QCOMPARE(fs.path(), QString("/Caf") + QChar(0x00e9) + ".txt");
        QCOMPARE(fs.size(), 6000000000LL);
        QVERIFY(fs.localMtime().isNull());
        QCOMPARE(fs.remoteMtime().toUTC(), QDateTime(QDate(2026, 11, 30), QTime(7, 15), Qt::UTC));
        QCOMPARE(fs.access() + fs.type() + fs.checksum(), QString("rcudfmd5:0123"));
    }
};

QTEST_GUILESS_MAIN(TestFilesafeTO)
#include "tst_filesafeto.moc"
