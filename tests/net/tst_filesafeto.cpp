#include "net/FilesafeObject.h"
#include "net/FilesafeObjectsTO_v2.h"
#include "net/FilesafeTO_v2.h"
#include "net/FilesafesTO_v2.h"
#include "sync/FsObject.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestFilesafeTO : public QObject
{
    Q_OBJECT

private slots:
    void safeReadsEveryKey();
    void safeMissingKey_data();
    void safeMissingKey();
    void safeWrongTypes_data();
    void safeWrongTypes();
    void safeListFailureKeepsOldList();
    void safeListSort();
    void safeListSortCaseAndUnknown();
    void safeAccess();
    void safeLogText();
    void objectReadsEveryKey();
    void objectMissingKey_data();
    void objectMissingKey();
    void objectUnsafePath_data();
    void objectUnsafePath();
    void objectListKeepsOrderAndCounts();
    void objectListRefusesUnsafePath();
    void objectListNonObjectElement();
    void pathRelations_data();
    void pathRelations();
    void fileName_data();
    void fileName();
    void objectLogText();
    void toFsObject();
};

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

static QJsonObject objectJson(const QString &id, const QString &path, const QString &type)
{
    return QJsonObject{
            {"object_id", id},  {"path", path}, {"size", double(6000000000LL)}, {"mtime", "2026-11-30 08:15:00"},
            {"access", "rcud"}, {"type", type}, {"checksum", "md5:0123"}};
}

void TestFilesafeTO::safeReadsEveryKey()
{
    FilesafeTO_v2 safe;
    QVERIFY2(safe.fromJson(safeJson("s1", "TEAMSAFE", "Team")), qPrintable(safe.errorString()));
    QCOMPARE(safe.safeId, QString("s1"));
    QCOMPARE(safe.type, QString("TEAMSAFE"));
    QCOMPARE(safe.name, QString("Team"));
    QCOMPARE(safe.access, QString("rcud"));
    QCOMPARE(safe.storageQuota, 5368709120LL); // beyond 32 bits
    QCOMPARE(safe.storageUsed, 1234LL);
    QCOMPARE(safe.expiryDate, QString("2030-01-01"));
    QCOMPARE(safe.hasTrash, true);
    QCOMPARE(safe.rootFolderId, QString("root-s1"));
    QCOMPARE(safe.roleType, 2);
    QCOMPARE(safe.lastEvent, QString("ev-s1"));
    QCOMPARE(safe.lastMod, QString("2026-12-01 10:00:00"));
    QVERIFY(safe.errorString().isEmpty());
}

void TestFilesafeTO::safeMissingKey_data()
{
    QTest::addColumn<QString>("key");
    for (const char *key : {"safe_id", "safe_type", "safe_name", "access", "storage_quota", "storage_used",
                            "expiry_date", "has_trash", "root_folder_id", "role_type", "last_event", "last_mod"}) {
        QTest::newRow(key) << QString(key);
    }
}

void TestFilesafeTO::safeMissingKey()
{
    QFETCH(QString, key);
    FilesafeTO_v2 safe;
    QVERIFY(safe.fromJson(safeJson("old", "PRIVATE", "Old")));
    QJsonObject json = safeJson("new", "INBOX", "New");
    json.remove(key);
    QVERIFY(!safe.fromJson(json));
    QCOMPARE(safe.errorString(), "json object: missing key: '" + key + "'");
    // Nothing of the failed read was taken over, not even the keys read before the missing one.
    QCOMPARE(safe.safeId, QString("old"));
    QCOMPARE(safe.type, QString("PRIVATE"));
    QCOMPARE(safe.name, QString("Old"));
    QCOMPARE(safe.lastEvent, QString("ev-old"));
}

void TestFilesafeTO::safeWrongTypes_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("has_trash number") << "has_trash" << QJsonValue(1);
    QTest::newRow("has_trash string") << "has_trash" << QJsonValue("true");
    QTest::newRow("has_trash null") << "has_trash" << QJsonValue(QJsonValue::Null);
    QTest::newRow("quota string") << "storage_quota" << QJsonValue("100");
    QTest::newRow("role string") << "role_type" << QJsonValue("1");
    QTest::newRow("id number") << "safe_id" << QJsonValue(7);
    QTest::newRow("name null") << "safe_name" << QJsonValue(QJsonValue::Null);
}

void TestFilesafeTO::safeWrongTypes()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QJsonObject json = safeJson("s", "PRIVATE", "n");
    json.insert(key, value);
    FilesafeTO_v2 safe;
    QVERIFY(!safe.fromJson(json));
    QVERIFY2(safe.errorString().startsWith("json object: key '" + key + "'"), qPrintable(safe.errorString()));
    QVERIFY(safe.safeId.isEmpty());
}

void TestFilesafeTO::safeListFailureKeepsOldList()
{
    FilesafesTO_v2 list;
    QVERIFY(list.fromJson(QJsonObject{{"filesafes", QJsonArray{safeJson("a", "PRIVATE", "A")}}}));
    QCOMPARE(list.filesafes.size(), 1);

    QJsonObject broken = safeJson("c", "INBOX", "C");
    broken.remove("last_mod");
    QVERIFY(!list.fromJson(QJsonObject{
            {"filesafes", QJsonArray{safeJson("x", "PRIVATE", "X"), safeJson("y", "INBOX", "Y"), broken}}}));
    QCOMPARE(list.errorString(), QString("json object: missing key: 'last_mod'"));
    QCOMPARE(list.filesafes.size(), 1);
    QCOMPARE(list.filesafes.first().safeId, QString("a"));

    QVERIFY(!list.fromJson(QJsonObject{{"other", 1}}));
    QCOMPARE(list.errorString(), QString("json object: missing key: 'filesafes'"));
    QVERIFY(!list.fromJson(QJsonObject{{"filesafes", QJsonObject{{"a", 1}}}}));
    QCOMPARE(list.filesafes.size(), 1);

    QVERIFY(list.fromJson(QJsonObject{{"filesafes", QJsonArray{}}}));
    QVERIFY(list.filesafes.isEmpty());
}

void TestFilesafeTO::safeListSort()
{
    FilesafesTO_v2 list;
    QVERIFY(list.fromJson(
            QJsonObject{{"filesafes", QJsonArray{safeJson("1", "INBOX", "i"), safeJson("2", "PRIVATE", "p"),
                                                 safeJson("3", "TEAMSAFE", "b"), safeJson("4", "ARCHIVE", "z"),
                                                 safeJson("5", "TEAMSAFE", "a"), safeJson("6", "MAIL_IN", "m")}}}));
    QStringList order;
    for (const FilesafeTO_v2 &safe : list.filesafes) {
        order << safe.safeId;
    }
    QCOMPARE(order, (QStringList{"2", "5", "3", "6", "1", "4"}));
}

void TestFilesafeTO::safeListSortCaseAndUnknown()
{
    FilesafeTO_v2 zeta, alpha;
    QVERIFY(zeta.fromJson(safeJson("z", "TEAMSAFE", "Zeta")));
    QVERIFY(alpha.fromJson(safeJson("a", "TEAMSAFE", "alpha")));
    QVERIFY(zeta < alpha); // upper case sorts before lower case
    QVERIFY(!(alpha < zeta));

    // Unknown types order by type text only; names do not count.
    FilesafeTO_v2 archiveB, archiveA, backup;
    QVERIFY(archiveB.fromJson(safeJson("1", "ARCHIVE", "b")));
    QVERIFY(archiveA.fromJson(safeJson("2", "ARCHIVE", "a")));
    QVERIFY(backup.fromJson(safeJson("3", "BACKUP", "0")));
    QVERIFY(!(archiveB < archiveA));
    QVERIFY(!(archiveA < archiveB));
    QVERIFY(archiveB < backup);
    QCOMPARE(FilesafeTO_v2::typeRank("private"), 0);
    QCOMPARE(FilesafeTO_v2::typeRank("PRIVATE"), 4);

    FilesafeTO_v2 sameIdOtherName;
    QVERIFY(sameIdOtherName.fromJson(safeJson("z", "INBOX", "Other")));
    QVERIFY(zeta == sameIdOtherName);
    QVERIFY(zeta != alpha);
}

void TestFilesafeTO::safeAccess()
{
    FilesafeTO_v2 safe;
    QJsonObject json = safeJson("s", "PRIVATE", "n");
    for (const auto &row : {std::make_pair("rcud", true), std::make_pair("durc", true), std::make_pair("rcu", false),
                            std::make_pair("RCUD", false), std::make_pair("xdxcxuxr", true)}) {
        json.insert("access", row.first);
        QVERIFY(safe.fromJson(json));
        QCOMPARE(safe.hasFullAccess(), row.second);
    }

    QJsonObject first = safeJson("dup", "PRIVATE", "a");
    QJsonObject second = safeJson("dup", "PRIVATE", "b");
    first.insert("access", "r");
    second.insert("access", "rc");
    FilesafesTO_v2 list;
    QVERIFY(list.fromJson(QJsonObject{{"filesafes", QJsonArray{first, second}}}));
    QCOMPARE(list.accessOf("dup"), QString("rc"));
    QCOMPARE(list.accessOf("none"), QString());
}

void TestFilesafeTO::safeLogText()
{
    FilesafeTO_v2 safe;
    QJsonObject json = safeJson("s1", "PRIVATE", "Mine %1");
    json.insert("has_trash", false);
    QVERIFY(safe.fromJson(json));
    QCOMPARE(safe.toString(),
             QString("{safeId:'s1',type:'PRIVATE',name:'Mine %1',access:'rcud',storageQuota:'5368709120',"
                     "storageUsed:'1234',expiry_date:'2030-01-01',hasTrash:'0',rootFolderId:'root-s1',"
                     "roleType:'2',last_event:'ev-s1',last_mod:'2026-12-01 10:00:00'}"));
    FilesafesTO_v2 list;
    QVERIFY(list.fromJson(QJsonObject{{"filesafes", QJsonArray{json, safeJson("s2", "INBOX", "x")}}}));
    const QString text = list.toString();
    QVERIFY(text.startsWith("filesafes:[{safeId:'s1'"));
    QVERIFY(text.contains("'}'{safeId:'s2'"));
    QVERIFY(text.endsWith("'}]"));
}

void TestFilesafeTO::objectReadsEveryKey()
{
    FilesafeObject object;
    QVERIFY2(object.fromJson(objectJson("o1", "/docs/a b.txt", "f")), qPrintable(object.errorString()));
    QCOMPARE(object.objectId, QString("o1"));
    QCOMPARE(object.path, QString("/docs/a b.txt"));
    QCOMPARE(object.size, 6000000000LL);
    QCOMPARE(object.mtime, QString("2026-11-30 08:15:00"));
    QCOMPARE(object.access, QString("rcud"));
    QCOMPARE(object.type, QString("f"));
    QCOMPARE(object.checksum, QString("md5:0123"));
}

void TestFilesafeTO::objectMissingKey_data()
{
    QTest::addColumn<QString>("key");
    for (const char *key : {"object_id", "path", "size", "mtime", "access", "type", "checksum"}) {
        QTest::newRow(key) << QString(key);
    }
}

void TestFilesafeTO::objectMissingKey()
{
    QFETCH(QString, key);
    FilesafeObject object;
    QVERIFY(object.fromJson(objectJson("old", "/old", "d")));
    QJsonObject json = objectJson("new", "/new", "f");
    json.remove(key);
    QVERIFY(!object.fromJson(json));
    QCOMPARE(object.errorString(), "json object: missing key: '" + key + "'");
    QCOMPARE(object.objectId, QString("old"));
    QCOMPARE(object.path, QString("/old"));
    QCOMPARE(object.type, QString("d"));
}

void TestFilesafeTO::objectUnsafePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("top") << "/" << true;
    QTest::newRow("plain") << "/a/b.txt" << true;
    QTest::newRow("relative") << "a/b" << true;
    QTest::newRow("trailing slash") << "/a/b/" << true;
    QTest::newRow("dots inside a name") << "/a/..b/c..d/.e" << true;
    QTest::newRow("three dots") << "/a/..." << true;
    QTest::newRow("parent at start") << "/../etc/passwd" << false;
    QTest::newRow("parent inside") << "/a/../../b" << false;
    QTest::newRow("parent at end") << "/a/.." << false;
    QTest::newRow("bare parent") << ".." << false;
    QTest::newRow("current") << "/a/./b" << false;
    QTest::newRow("bare current") << "." << false;
    QTest::newRow("empty element") << "/a//b" << false;
    QTest::newRow("two slashes") << "//" << false;
    QTest::newRow("leading two slashes") << "//a" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("nul") << QString("/a") + QChar(0) + QString("b") << false;
}

void TestFilesafeTO::objectUnsafePath()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    FilesafeObject object;
    QCOMPARE(FilesafeObject::isSafePath(path), accepted);
    QCOMPARE(object.fromJson(objectJson("o", path, "f")), accepted);
    if (!accepted) {
        QVERIFY(object.errorString().contains("'path'"));
        QVERIFY(object.objectId.isEmpty());
    }
}

void TestFilesafeTO::objectListKeepsOrderAndCounts()
{
    FilesafeObjectsTO_v2 list;
    QVERIFY(list.fromJson(
            QJsonObject{{"filesafe_objects", QJsonArray{objectJson("3", "/z", "f"), objectJson("1", "/a", "d"),
                                                        objectJson("2", "/a/m", "f"), objectJson("4", "/b", "F")}}}));
    QStringList order;
    for (const FilesafeObject &object : list.filesafeObjects) {
        order << object.objectId;
    }
    QCOMPARE(order, (QStringList{"3", "1", "2", "4"}));
    QCOMPARE(list.countByType("f"), 2);
    QCOMPARE(list.countByType("d"), 1);
    QCOMPARE(list.countByType("F"), 1);
    QCOMPARE(list.countByType("x"), 0);
}

void TestFilesafeTO::objectListRefusesUnsafePath()
{
    FilesafeObjectsTO_v2 list;
    QVERIFY(list.fromJson(QJsonObject{{"filesafe_objects", QJsonArray{objectJson("1", "/a", "d")}}}));
    QVERIFY(!list.fromJson(QJsonObject{
            {"filesafe_objects", QJsonArray{objectJson("2", "/b", "d"), objectJson("3", "/b/../../x", "f")}}}));
    QVERIFY(list.errorString().contains("'path'"));
    QCOMPARE(list.filesafeObjects.size(), 1);
    QCOMPARE(list.filesafeObjects.first().objectId, QString("1"));
}

void TestFilesafeTO::objectListNonObjectElement()
{
    FilesafeObjectsTO_v2 list;
    QVERIFY(!list.fromJson(QJsonObject{{"filesafe_objects", QJsonArray{objectJson("1", "/a", "d"), 5}}}));
    QCOMPARE(list.errorString(), QString("json value: is not a json object"));
    QVERIFY(list.filesafeObjects.isEmpty());
    QVERIFY(!list.fromJson(QJsonObject{{"filesafe_objects", "nope"}}));
    QVERIFY(list.errorString().startsWith("json object: key 'filesafe_objects'"));
}

void TestFilesafeTO::pathRelations_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("directChild");
    QTest::addColumn<bool>("below");
    QTest::newRow("child of /a") << "/a/b"
                                 << "/a" << true << true;
    QTest::newRow("child of a/") << "/a/b"
                                 << "a/" << true << true;
    QTest::newRow("double slashes") << "/a//b/"
                                    << "/a" << true << true;
    QTest::newRow("grandchild") << "/a/b/c"
                                << "/a" << false << true;
    QTest::newRow("itself") << "/a"
                            << "/a" << false << true;
    QTest::newRow("top level under root") << "/a"
                                          << "/" << true << true;
    QTest::newRow("deep under root") << "/a/b"
                                     << "/" << false << true;
    QTest::newRow("root under nothing") << "/"
                                        << "/" << false << false;
    QTest::newRow("root under a") << "/"
                                  << "/a" << false << false;
    QTest::newRow("prefix is not a parent") << "/ab/c"
                                            << "/a" << false << false;
    QTest::newRow("case differs") << "/A/b"
                                  << "/a" << false << false;
    QTest::newRow("above") << "/a"
                           << "/a/b" << false << false;
    QTest::newRow("sibling") << "/b/c"
                             << "/a" << false << false;
}

void TestFilesafeTO::pathRelations()
{
    QFETCH(QString, path);
    QFETCH(QString, other);
    QFETCH(bool, directChild);
    QFETCH(bool, below);
    FilesafeObject object, upper;
    object.path = path;
    upper.path = other;
    QCOMPARE(object.isDirectChildOf(other), directChild);
    QCOMPARE(object.isDirectChildOf(upper), directChild);
    QCOMPARE(object.isBelow(upper), below);
}

void TestFilesafeTO::fileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("file") << "/a/b.txt"
                          << "b.txt";
    QTest::newRow("trailing slash") << "/a/b/"
                                    << "b";
    QTest::newRow("root") << "/"
                          << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no slash") << "name"
                              << "name";
}

void TestFilesafeTO::fileName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    FilesafeObject object;
    object.path = path;
    QCOMPARE(object.fileName(), name);
}

void TestFilesafeTO::objectLogText()
{
    FilesafeObjectsTO_v2 list;
    QVERIFY(list.fromJson(
            QJsonObject{{"filesafe_objects", QJsonArray{objectJson("1", "/a", "d"), objectJson("2", "/a/x", "f")}}}));
    QCOMPARE(list.filesafeObjects.first().toString(),
             QString("{objectId:'1',path:'/a',size:'6000000000',mtime:'2026-11-30 08:15:00',access:'rcud',"
                     "type:'d',checksum:'md5:0123'}"));
    QVERIFY(list.toString().startsWith("filesafe_objects:[{objectId:'1'"));
    QVERIFY(list.toString().contains("'},{objectId:'2'"));
}

void TestFilesafeTO::toFsObject()
{
    FilesafeObject object;
    // "e" + combining acute accent: the record holds the composed form.
    QJsonObject json = objectJson("o9", QString("/Caf") + QChar('e') + QChar(0x0301) + ".txt", "f");
    json.insert("mtime", "2026-11-30 08:15:00 +0100");
    QVERIFY(object.fromJson(json));
    const FsObject fs = object.toFsObject();
    QCOMPARE(fs.objectId(), QString("o9"));
    QCOMPARE(fs.path(), QString("/Caf") + QChar(0x00e9) + ".txt");
    QCOMPARE(fs.size(), 6000000000LL);
    QVERIFY(fs.localMtime().isNull());
    QCOMPARE(fs.remoteMtime().toUTC(), QDateTime(QDate(2026, 11, 30), QTime(7, 15), Qt::UTC));
    QCOMPARE(fs.access(), QString("rcud"));
    QCOMPARE(fs.type(), QString("f"));
    QCOMPARE(fs.checksum(), QString("md5:0123"));
}

QTEST_GUILESS_MAIN(TestFilesafeTO)
#include "tst_filesafeto.moc"
