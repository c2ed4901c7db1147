#include "core/FileUtil.h"
#include "tests/support/LogCapture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

class TestFileUtil : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void checkSum_data();
    void checkSum();
    void checkSumById();
    void checkSumOfUnreadableFileIsEmptyAndLogged();
    void algorithmFromName_data();
    void algorithmFromName();

    void rotateKeepsNumberedCopies();
    void rotateOnceReplacesOlderCopy();
    void rotateWithCountBelowOneDoesNothing();
    void deleteRotatedStopsAtGap();
    void deleteRotatedReportsFailure();
    void moveRotatedFiles();
    void deleteFile();

    void moveFile();
    void moveFileNeverOverwrites();
    void moveFileRefusesUnusableEnds();
    void moveFileToDirectory();
    void moveAcrossFileSystems();

    void drivePrefixes_data();
    void drivePrefixes();
    void isSameDrive_data();
    void isSameDrive();

    void describeFile();
    void countLines_data();
    void countLines();
    void waitProcessingEvents();

private:
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    static void write(const QString &file, const QByteArray &content);
    static QByteArray read(const QString &file);
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestFileUtil::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestFileUtil::write(const QString &file, const QByteArray &content)
{
    QFile f(file);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
    QCOMPARE(f.write(content), qint64(content.size()));
}

QByteArray TestFileUtil::read(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return QByteArray("<missing>");
    }
    return f.readAll();
}

void TestFileUtil::checkSum_data()
{
    QTest::addColumn<QString>("algorithm");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    // Published digests of "" and "abc" (RFC 1321, FIPS 180).
    QTest::newRow("md5 empty") << "md5" << QByteArray() << "md5:d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("md5 abc") << "md5" << QByteArray("abc") << "md5:900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("sha1 abc") << "sha1" << QByteArray("abc") << "sha1:a9993e364706816aba3e25717850c26c9cd0d89d";
    QTest::newRow("sha256 abc") << "sha256" << QByteArray("abc")
                                << "sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    QTest::newRow("sha256 empty") << "sha256" << QByteArray()
                                  << "sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("sha512 abc") << "sha512" << QByteArray("abc")
                                << "sha512:ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                                   "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";
    // One million "a" (FIPS 180): more than any single read.
    QTest::newRow("sha1 million a") << "sha1" << QByteArray(1000000, 'a')
                                    << "sha1:34aa973cd4c4daa4f61eeb2bdbad27316534016f";
    QTest::newRow("upper case name") << "SHA256" << QByteArray("abc") << "";
    QTest::newRow("unknown name") << "crc32" << QByteArray("abc") << "";
    QTest::newRow("empty name") << "" << QByteArray("abc") << "";
}

void TestFileUtil::checkSum()
{
    QFETCH(QString, algorithm);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString file = path(QStringLiteral("data.bin"));
    write(file, content);
    QCOMPARE(FileUtil::calculateCheckSum(algorithm, file), expected);
}

void TestFileUtil::checkSumById()
{
    const QString file = path(QStringLiteral("abc"));
    write(file, "abc");
    QCOMPARE(FileUtil::calculateCheckSum(int(FileUtil::Md5), file),
             QStringLiteral("md5:900150983cd24fb0d6963f7d28e17f72"));
    QVERIFY(FileUtil::calculateCheckSum(0, file).isEmpty());
    QVERIFY(FileUtil::calculateCheckSum(5, file).isEmpty());
    QVERIFY(FileUtil::calculateCheckSum(-1, file).isEmpty());
}

void TestFileUtil::checkSumOfUnreadableFileIsEmptyAndLogged()
{
    LogCapture log;
    const QString missing = path(QStringLiteral("missing.bin"));
    QVERIFY(FileUtil::calculateCheckSum(QStringLiteral("sha256"), missing).isEmpty());
    QVERIFY(log.contains(QStringLiteral("FileUtil::calculateCheckSum: Failed to open local file '%1'").arg(missing)));
    // An unknown algorithm returns before looking at the file.
    log.clear();
    QVERIFY(FileUtil::calculateCheckSum(QStringLiteral("md4"), missing).isEmpty());
    QVERIFY(log.entries().isEmpty());
}

void TestFileUtil::algorithmFromName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("id");
    QTest::newRow("md5") << "md5" << 1;
    QTest::newRow("sha1") << "sha1" << 2;
    QTest::newRow("sha256") << "sha256" << 3;
    QTest::newRow("sha512") << "sha512" << 4;
    QTest::newRow("MD5") << "MD5" << 0;
    QTest::newRow("sha-256") << "sha-256" << 0;
    QTest::newRow("padded") << " sha1" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestFileUtil::algorithmFromName()
{
    QFETCH(QString, name);
    QFETCH(int, id);
    QCOMPARE(FileUtil::checkSumAlgorithmFromName(name), id);
}

void TestFileUtil::rotateKeepsNumberedCopies()
{
    const QString log = path(QStringLiteral("app.log"));
    write(log, "current");
    write(log + ".1", "one");
    write(log + ".2", "two");
    FileUtil::rotateFile(log, 3);
    QVERIFY(!QFile::exists(log));
    QCOMPARE(read(log + ".1"), QByteArray("current"));
    QCOMPARE(read(log + ".2"), QByteArray("one"));
    QCOMPARE(read(log + ".3"), QByteArray("two"));
    QVERIFY(!QFile::exists(log + ".4"));
}

void TestFileUtil::rotateOnceReplacesOlderCopy()
{
    const QString log = path(QStringLiteral("app.log"));
    write(log, "current");
    write(log + ".1", "older");
    FileUtil::rotateFile(log, 1);
    QVERIFY(!QFile::exists(log));
    QCOMPARE(read(log + ".1"), QByteArray("current"));
    QVERIFY(!QFile::exists(log + ".2"));
}

void TestFileUtil::rotateWithCountBelowOneDoesNothing()
{
    const QString log = path(QStringLiteral("app.log"));
    write(log, "current");
    write(log + ".1", "older");
    FileUtil::rotateFile(log, 0);
    FileUtil::rotateFile(log, -2);
    QCOMPARE(read(log), QByteArray("current"));
    QCOMPARE(read(log + ".1"), QByteArray("older"));
}

void TestFileUtil::deleteRotatedStopsAtGap()
{
    const QString log = path(QStringLiteral("app.log"));
    write(log, "current");
    write(log + ".1", "1");
    write(log + ".3", "3");
    QVERIFY(FileUtil::deleteRotatedFiles(log));
    QVERIFY(!QFile::exists(log + ".1"));
    QVERIFY(QFile::exists(log + ".3"));
    QCOMPARE(read(log), QByteArray("current"));
    // Nothing to delete is success too.
    QVERIFY(FileUtil::deleteRotatedFiles(path(QStringLiteral("none.log"))));
}

void TestFileUtil::deleteRotatedReportsFailure()
{
    // A non-empty folder in place of a rotation cannot be deleted as a file.
    const QString log = path(QStringLiteral("app\tx.log"));
    write(log + ".1", "1");
    QVERIFY(QDir().mkpath(log + ".2/inner"));
    write(log + ".3", "3");
    LogCapture capture;
    QVERIFY(!FileUtil::deleteRotatedFiles(log));
    QVERIFY(!QFile::exists(log + ".1"));
    QVERIFY(QFile::exists(log + ".3"));
    const QString escaped = path(QStringLiteral("app\\u0009x.log.2"));
    QVERIFY2(
            capture.contains(QStringLiteral("FileUtil::deleteRotatedFiles: Failed to delete file '%1': ").arg(escaped)),
            qPrintable(capture.messages().join('\n')));
}

void TestFileUtil::moveRotatedFiles()
{
    const QString log = path(QStringLiteral("app.log"));
    const QString target = path(QStringLiteral("old"));
    write(log, "current");
    write(log + ".1", "1");
    write(log + ".2", "2");
    QVERIFY(!FileUtil::moveRotatedFiles(log, target)); // folder missing
    QVERIFY(QFile::exists(log + ".1"));
    QVERIFY(QDir().mkpath(target));
    QVERIFY(FileUtil::moveRotatedFiles(log, target));
    QCOMPARE(read(target + "/app.log.1"), QByteArray("1"));
    QCOMPARE(read(target + "/app.log.2"), QByteArray("2"));
    QVERIFY(!QFile::exists(log + ".1"));
    QCOMPARE(read(log), QByteArray("current"));
    QVERIFY(!QFile::exists(target + "/app.log"));

    // A rotation already present in the folder is not overwritten; the move stops there.
    write(log + ".1", "new");
    LogCapture capture;
    QVERIFY(!FileUtil::moveRotatedFiles(log, target));
    QCOMPARE(read(target + "/app.log.1"), QByteArray("1"));
    QCOMPARE(read(log + ".1"), QByteArray("new"));
    QVERIFY(capture.contains(QStringLiteral("FileUtil::moveRotatedFiles")));
}

void TestFileUtil::deleteFile()
{
    const QString file = path(QStringLiteral("f"));
    QVERIFY(!FileUtil::deleteFile(file));
    write(file, "x");
    QVERIFY(FileUtil::deleteFile(file));
    QVERIFY(!QFile::exists(file));
}

void TestFileUtil::moveFile()
{
    const QString source = path(QStringLiteral("a.txt"));
    const QString target = path(QStringLiteral("sub/b.txt"));
    write(source, "payload");
    QVERIFY(QDir().mkpath(path(QStringLiteral("sub"))));
    QVERIFY(FileUtil::moveFile(source, target));
    QVERIFY(!QFile::exists(source));
    QCOMPARE(read(target), QByteArray("payload"));
}

void TestFileUtil::moveFileNeverOverwrites()
{
    const QString source = path(QStringLiteral("a.txt"));
    const QString target = path(QStringLiteral("b.txt"));
    write(source, "new");
    write(target, "old");
    QVERIFY(!FileUtil::moveFile(source, target));
    QCOMPARE(read(source), QByteArray("new"));
    QCOMPARE(read(target), QByteArray("old"));
    // A dangling link is a name in use as well.
    const QString link = path(QStringLiteral("link"));
    QVERIFY(QFile::link(path(QStringLiteral("nowhere")), link));
    QVERIFY(!FileUtil::moveFile(source, link));
    QCOMPARE(read(source), QByteArray("new"));
}

void TestFileUtil::moveFileRefusesUnusableEnds()
{
    const QString source = path(QStringLiteral("a.txt"));
    QVERIFY(!FileUtil::moveFile(source, path(QStringLiteral("b.txt")))); // no source
    write(source, "x");
    QVERIFY(!FileUtil::moveFile(source, path(QStringLiteral("nodir/b.txt")))); // no parent
    write(path(QStringLiteral("plain")), "y");
    QVERIFY(!FileUtil::moveFile(source, path(QStringLiteral("plain/b.txt")))); // parent is a file
    QVERIFY(QDir().mkpath(path(QStringLiteral("folder"))));
    QVERIFY(!FileUtil::moveFile(path(QStringLiteral("folder")), path(QStringLiteral("folder2")))); // not a file
    QVERIFY(QFile::exists(source));
    QVERIFY(QFileInfo(path(QStringLiteral("folder"))).isDir());
}

void TestFileUtil::moveFileToDirectory()
{
    const QString source = path(QStringLiteral("a.txt"));
    const QString dir = path(QStringLiteral("dest"));
    write(source, "x");
    QVERIFY(!FileUtil::moveFileToDirectory(source, dir)); // no directory
    write(dir, "file, not a folder");
    QVERIFY(!FileUtil::moveFileToDirectory(source, dir));
    QVERIFY(QFile::remove(dir));
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(FileUtil::moveFileToDirectory(source, dir));
    QCOMPARE(read(dir + "/a.txt"), QByteArray("x"));
    QVERIFY(!QFile::exists(source));
    // Existing file of the same name in the directory stays.
    write(source, "y");
    QVERIFY(!FileUtil::moveFileToDirectory(source, dir));
    QCOMPARE(read(dir + "/a.txt"), QByteArray("x"));
    QCOMPARE(read(source), QByteArray("y"));
}

static dev_t deviceOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(0);
}

void TestFileUtil::moveAcrossFileSystems()
{
    // /dev/shm is tmpfs; the temporary folder is usually on the disk.
    if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        QSKIP("no writable /dev/shm");
    }
    QTemporaryDir other(QStringLiteral("/dev/shm/tst_fileutil-XXXXXX"));
    QVERIFY(other.isValid());
    if (deviceOf(other.path()) == deviceOf(m_dir->path())) {
        QSKIP("the temporary folder and /dev/shm are on one file system");
    }

    const QByteArray content = QByteArray(3 * 1024 * 1024 + 17, 'z') + "end";
    const QString source = path(QStringLiteral("big.bin"));
    write(source, content);
    QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString target = other.path() + "/moved.bin";
    QVERIFY(FileUtil::moveFile(source, target));
    QVERIFY(!QFile::exists(source));
    QCOMPARE(read(target), content);
    QVERIFY(QFileInfo(target).permissions() & QFile::ExeOwner);

    // And back into a folder, refusing to overwrite a file of the same name there.
    const QString back = other.path() + "/big.bin";
    QVERIFY(QFile::rename(target, back));
    write(source, "occupied");
    QVERIFY(!FileUtil::moveFileToDirectory(back, m_dir->path()));
    QCOMPARE(read(source), QByteArray("occupied"));
    QCOMPARE(read(back), content);
    QVERIFY(QFile::remove(source));
    QVERIFY(FileUtil::moveFileToDirectory(back, m_dir->path()));
    QCOMPARE(read(source), content);
    QVERIFY(!QFile::exists(back));
}

void TestFileUtil::drivePrefixes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("driveOnly");
    QTest::newRow("windows path") << "D:/data"
                                  << "D" << false;
    QTest::newRow("drive alone") << "D:"
                                 << "D" << true;
    QTest::newRow("drive and slash") << "D:/"
                                     << "D" << false;
    QTest::newRow("unix path") << "/data"
                               << "" << false;
    QTest::newRow("empty") << ""
                           << "" << true;
    QTest::newRow("checksum") << "sha256:ab12"
                              << "sha256" << false;
    QTest::newRow("checksum without value") << "sha256:"
                                            << "sha256" << true;
    QTest::newRow("two colons") << "a:b:"
                                << "a" << false;
    QTest::newRow("colon first") << ":abc"
                                 << "" << false;
    QTest::newRow("blank before colon") << "md 5:x"
                                        << "" << false;
    QTest::newRow("no colon") << "sha256"
                              << "" << false;
}

void TestFileUtil::drivePrefixes()
{
    QFETCH(QString, path);
    QFETCH(QString, drive);
    QFETCH(bool, driveOnly);
    QCOMPARE(FileUtil::driveName(path), drive);
    QCOMPARE(FileUtil::isDriveOnly(path), driveOnly);
}

void TestFileUtil::isSameDrive_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("same drive") << "D:/a"
                                << "D:/b" << true;
    QTest::newRow("case differs") << "D:/a"
                                  << "d:/b" << false;
    QTest::newRow("no prefixes") << "/a"
                                 << "/b" << false;
    QTest::newRow("one prefix") << "D:/a"
                                << "/b" << false;
    QTest::newRow("same algorithm") << "sha256:00"
                                    << "sha256:ff" << true;
    QTest::newRow("other algorithm") << "sha256:00"
                                     << "sha1:00" << false;
    QTest::newRow("prefix of the other") << "sha:00"
                                         << "sha256:00" << false;
}

void TestFileUtil::isSameDrive()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(FileUtil::isSameDrive(a, b), same);
    QCOMPARE(FileUtil::isSameDrive(b, a), same);
}

void TestFileUtil::describeFile()
{
    const QString file = path(QString::fromUtf8("\xC3\xA4.txt")); // ä.txt
    write(file, "abc");
    const QStringList existing = FileUtil::describeFile(file);
    QVERIFY2(existing.contains(QStringLiteral("exists")), qPrintable(existing.join(' ')));
    for (const char *word : {"readable", "writable", "!executable", "isfile", "!isdir", "!hidden", "!issymlink",
                             "!isbundle", "size=3", "rawname=c3a42e747874"}) {
        QVERIFY2(existing.contains(QString::fromLatin1(word)), word);
    }
    // The volume comes first, the raw name last.
    QVERIFY(existing.first().startsWith(QLatin1String("vol='")));
    QCOMPARE(existing.last(), QStringLiteral("rawname=c3a42e747874"));

    const QStringList folder = FileUtil::describeFile(m_dir->path());
    QVERIFY(folder.contains(QStringLiteral("isdir")));
    QVERIFY(folder.contains(QStringLiteral("!isfile")));

    const QStringList missing = FileUtil::describeFile(path(QStringLiteral("gone")));
    QVERIFY(missing.contains(QStringLiteral("!exists")));
    QVERIFY(!missing.contains(QStringLiteral("exists")));
    QCOMPARE(missing.last(), QStringLiteral("rawname=676f6e65"));
}

void TestFileUtil::countLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("one without line break") << QByteArray("a") << 1;
    QTest::newRow("three") << QByteArray("a\nb\nc") << 3;
    QTest::newRow("trailing line break") << QByteArray("a\nb\n") << 2;
    QTest::newRow("empty lines") << QByteArray("\n\n\n") << 3;
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << 2;
}

void TestFileUtil::countLines()
{
    QFETCH(QByteArray, content);
    QFETCH(int, lines);
    const QString file = path(QStringLiteral("lines.txt"));
    write(file, content);
    QCOMPARE(FileUtil::countLines(file), lines);
    QCOMPARE(FileUtil::countLines(path(QStringLiteral("missing.txt"))), 0);
}

void TestFileUtil::waitProcessingEvents()
{
    bool ran = false;
    QTimer::singleShot(0, this, [&ran] { ran = true; });
    FileUtil::waitProcessingEvents(0);
    QVERIFY(!ran);

    QElapsedTimer elapsed;
    elapsed.start();
    FileUtil::waitProcessingEvents(250);
    QVERIFY(ran);
    QVERIFY(elapsed.elapsed() >= 250);

    // A timer due after the first 100 ms slice still fires within the wait.
    bool late = false;
    QTimer::singleShot(150, this, [&late] { late = true; });
    FileUtil::waitProcessingEvents(220);
    QVERIFY(late);
}

QTEST_GUILESS_MAIN(TestFileUtil)
#include "tst_fileutil.moc"
