#include "core/FileUtil.h"
#include "net/crypto/DigestCalculator.h"
#include "tests/support/LogCapture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

static void write(const QString &file, const QByteArray &content)
{
    QFile f(file);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
    QCOMPARE(f.write(content), qint64(content.size()));
}

static QByteArray read(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("-");
}

// The contents of a log and its rotations .1 to .4, "-" for a missing file.
static QByteArray rotations(const QString &log)
{
    QByteArrayList out{read(log)};
    for (int i = 1; i <= 4; ++i)
        out << read(log + '.' + QString::number(i));
    return out.join(',');
}

static void writeRotations(const QString &log, const QByteArray &state)
{
    const QByteArrayList contents = state.split(',');
    for (int i = 0; i < contents.size(); ++i) {
        if (contents.at(i) != "-")
            write(i == 0 ? log : log + '.' + QString::number(i), contents.at(i));
    }
}

static dev_t deviceOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(0);
}

class TestFileUtil : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void checkSum_data()
    {
        QTest::addColumn<QString>("algorithm");
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("digestFails");
        // Published digests of "", "abc" and one million "a" (RFC 1321, FIPS 180).
        const QByteArray abc("abc");
        QTest::newRow("md5 abc") << "md5" << 1 << abc << "md5:900150983cd24fb0d6963f7d28e17f72" << false;
        QTest::newRow("sha256 empty") << "sha256" << 3 << QByteArray()
                                      << "sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"
                                      << false;
        QTest::newRow("sha512 abc") << "sha512" << 4 << abc
                                    << "sha512:ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                                       "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"
                                    << false;
        // More than any single read.
        QTest::newRow("sha1 million a") << "sha1" << 2 << QByteArray(1000000, 'a')
                                        << "sha1:34aa973cd4c4daa4f61eeb2bdbad27316534016f" << false;
        // A digest that cannot start is no checksum: never the zeros nor the digest of a part.
        QTest::newRow("sha256 failed initialisation") << "sha256" << 3 << QByteArray(3000000, 'z') << "" << true;
        for (const char *unknown : {"SHA256", "sha-256", ""})
            QTest::addRow("name '%s'", unknown) << unknown << 0 << abc << "" << false;
    }

    void checkSum()
    {
        QFETCH(QString, algorithm);
        QFETCH(int, id);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QFETCH(bool, digestFails);
        const QString file = path(QStringLiteral("data.bin"));
        write(file, content);
        QCOMPARE(FileUtil::checkSumAlgorithmFromName(algorithm), id);
        {
            LogCapture failed;
            DigestCalculator::setFailInitialisation(digestFails);
            const QString byName = FileUtil::calculateCheckSum(algorithm, file);
            const QString byId = FileUtil::calculateCheckSum(id, file);
            DigestCalculator::setFailInitialisation(false);
            QCOMPARE(byName, expected);
            QCOMPARE(byId, expected);
            QCOMPARE(failed.count(QStringLiteral("Failed to read local file '%1'").arg(file)), digestFails ? 2 : 0);
        }
        // An unreadable file gives no checksum, and says which file.
        LogCapture log;
        QVERIFY(FileUtil::calculateCheckSum(algorithm, file + "-gone").isEmpty());
        QCOMPARE(log.count(QStringLiteral("Failed to open local file '%1-gone'").arg(file)), id ? 1 : 0);
        // A read that fails after the open (the first read of this file fails with EIO) gives none
        // either: never the digest of what was read before.
        QCOMPARE(FileUtil::calculateCheckSum(algorithm, "/proc/self/mem"), QString());
        QCOMPARE(log.count("Failed to read local file '/proc/self/mem'"), id ? 1 : 0);
    }

    void rotate_data()
    {
        QTest::addColumn<QByteArray>("before"); // log,.1,.2,...
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("three kept") << QByteArray("current,one,two") << 3 << QByteArray("-,current,one,two,-");
        QTest::newRow("one kept") << QByteArray("current,older") << 1 << QByteArray("-,current,-,-,-");
        QTest::newRow("zero") << QByteArray("current,older") << 0 << QByteArray("current,older,-,-,-");
    }

    void rotate()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, count);
        const QString log = path(QStringLiteral("app.log"));
        writeRotations(log, before);
        FileUtil::rotateFile(log, count);
        QTEST(rotations(log), "after");
    }

    void deleteRotatedFiles()
    {
        const QString log = path(QStringLiteral("app.log"));
        writeRotations(log, "current,1,-,3");
        QVERIFY(FileUtil::deleteRotatedFiles(log));
        QCOMPARE(rotations(log), QByteArray("current,-,-,3,-")); // stops at the gap

        // A non-empty folder in place of a rotation cannot be deleted as a file; its name is
        // logged escaped.
        const QString odd = path(QStringLiteral("app\tx.log"));
        writeRotations(odd, "-,1,-,3");
        QVERIFY(QDir().mkpath(odd + ".2/inner"));
        LogCapture capture;
        QVERIFY(!FileUtil::deleteRotatedFiles(odd));
        QCOMPARE(rotations(odd), QByteArray("-,-,-,3,-"));
        QVERIFY(capture.contains("Failed to delete file '" + path(QStringLiteral("app\\u0009x.log.2'"))));
    }

    void moveRotatedFiles()
    {
        const QString log = path(QStringLiteral("app.log"));
        const QString target = path(QStringLiteral("old"));
        writeRotations(log, "current,1,2");
        QVERIFY(QDir().mkpath(target));
        QVERIFY(FileUtil::moveRotatedFiles(log, target));
        QCOMPARE(rotations(target + "/app.log"), QByteArray("-,1,2,-,-"));
        QCOMPARE(rotations(log), QByteArray("current,-,-,-,-"));

        // A rotation already present in the folder is not overwritten; the move stops there.
        write(log + ".1", "new");
        QVERIFY(!FileUtil::moveRotatedFiles(log, target));
        QCOMPARE(read(target + "/app.log.1"), QByteArray("1"));
        QCOMPARE(read(log + ".1"), QByteArray("new"));
    }

    void moveFile()
    {
        const QString source = path(QStringLiteral("a.txt"));
        QVERIFY(!FileUtil::moveFile(source, path(QStringLiteral("b.txt")))); // no source
        write(source, "new");
        QVERIFY(QDir().mkpath(path(QStringLiteral("folder"))));
        write(path(QStringLiteral("plain")), "y");
        write(path(QStringLiteral("taken")), "old");
        QVERIFY(QFile::link(path(QStringLiteral("nowhere")), path(QStringLiteral("link"))));
        // Never overwrites, not even a dangling link; needs a parent folder and a file to move.
        for (const char *target : {"taken", "link", "nodir/b.txt", "plain/b.txt"})
            QVERIFY2(!FileUtil::moveFile(source, path(QLatin1String(target))), target);
        QVERIFY(!FileUtil::moveFile(path(QStringLiteral("folder")), path(QStringLiteral("folder2"))));
        QVERIFY(!FileUtil::moveFileToDirectory(source, path(QStringLiteral("plain"))));
        QCOMPARE(read(source), QByteArray("new"));
        QCOMPARE(read(path(QStringLiteral("taken"))), QByteArray("old"));

        QVERIFY(FileUtil::moveFile(source, path(QStringLiteral("folder/b.txt"))));
        QVERIFY(!QFile::exists(source));
        QCOMPARE(read(path(QStringLiteral("folder/b.txt"))), QByteArray("new"));
    }

    void moveAcrossFileSystems()
    {
        // /dev/shm is tmpfs; the temporary folder is usually on the disk.
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            QSKIP("no writable /dev/shm");
        QTemporaryDir other(QStringLiteral("/dev/shm/tst_fileutil-XXXXXX"));
        QVERIFY(other.isValid());
        if (deviceOf(other.path()) == deviceOf(m_dir->path()))
            QSKIP("the temporary folder and /dev/shm are on one file system");

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

    void drivePrefixes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<bool>("driveOnly");
        QTest::newRow("D:/data") << "D:/data" << "D" << false;
        QTest::newRow("md 5:x") << "md 5:x" << "" << false;
        // A checksum without its value.
        QTest::newRow("sha256:") << "sha256:" << "sha256" << true;
    }

    void drivePrefixes()
    {
        QFETCH(QString, path);
        QTEST(FileUtil::driveName(path), "drive");
        QTEST(FileUtil::isDriveOnly(path), "driveOnly");
    }
private:
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    QScopedPointer<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestFileUtil)
#include "tst_fileutil.moc"
