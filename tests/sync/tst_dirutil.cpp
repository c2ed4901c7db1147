#include "core/AppInfo.h"
#include "sync/DirUtil.h"
#include "sync/FolderIcon.h"
#include "tests/support/TestEnv.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QtTest>

// Stands in for the desktop's file manager on the test's own session bus.
class FileManagerService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList &uris, const QString &) { shown += uris; }
};

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void openUrl(const QUrl &url) { opened << url; }
};

class TestDirUtil : public QObject
{
    Q_OBJECT

private slots:
    void uniqueFolderPath()
    {
        QTemporaryDir dir;
        QCOMPARE(DirUtil::uniqueFolderPath(dir.path(), "a.b:c"), dir.path() + "/a_b_c");
        QVERIFY(QDir(dir.path()).mkdir("a_b_c"));
        QCOMPARE(DirUtil::uniqueFolderPath(dir.path(), "a.b:c"), dir.path() + "/a_b_c_2");
        QFile blocker(dir.path() + "/a_b_c_2");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QCOMPARE(DirUtil::uniqueFolderPath(dir.path(), "a\\b/c"), dir.path() + "/a_b_c_3");
    }

    void pathsOverlap_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("overlap");
        QTest::newRow("inside") << "/data" << "/data/sub" << true;
        QTest::newRow("outside") << "/data/sub/" << "/data" << true;
        QTest::newRow("prefix only") << "/data" << "/database" << false;
        QTest::newRow("same") << "/data/" << "/data" << true;
    }

    void pathsOverlap()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(DirUtil::pathsOverlap(a, b), "overlap");
    }

    void showNeverOpensAFile()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus");
        QTemporaryDir dir;
        const QString file = dir.path() + "/run-me.sh";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        UrlRecorder urls;
        QDesktopServices::setUrlHandler("file", &urls, "openUrl");

        // Without a file manager on the bus, the folder is opened, not the file.
        DirUtil::showInGraphicalShell(file);
        QTRY_COMPARE(urls.opened, QList<QUrl>{QUrl::fromLocalFile(dir.path())});

        FileManagerService service;
        QVERIFY(bus.registerObject("/org/freedesktop/FileManager1", &service, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService("org.freedesktop.FileManager1"));
        DirUtil::showInGraphicalShell(file);
        QTRY_COMPARE(service.shown, QStringList{QUrl::fromLocalFile(file).toString()});
        bus.unregisterService("org.freedesktop.FileManager1");
        bus.unregisterObject("/org/freedesktop/FileManager1");
        QDesktopServices::unsetUrlHandler("file");
    }

    void folderIconWritesNothingIntoTheFolder()
    {
        QTemporaryDir dir;
        const AppInfo info = AppInfo::forThisBuild();
        const FolderIcon icon(&info);
        for (const QByteArray &path : {qgetenv("PATH"), QByteArray()}) {
            TestEnv env;
            env.setVar("PATH", path);
            icon.set(dir.path());
            icon.remove(dir.path());
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        }
    }
};

QTEST_MAIN(TestDirUtil)
#include "tst_dirutil.moc"
