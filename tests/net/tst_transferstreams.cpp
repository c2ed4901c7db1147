#include "net/AesCryptDevice.h"
#include "net/DownloadFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/evp.h>
#include <sys/stat.h>

// Reference AES-256-CBC straight from OpenSSL, independent of the classes under test.
static QByteArray opensslCrypt(bool encrypt, const QByteArray &key, const QByteArray &iv, const QByteArray &in,
                               bool *ok = nullptr)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QByteArray out(in.size() + 32, '\0');
    int n1 = 0, n2 = 0;
    bool good = EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char *>(key.data()),
                                  reinterpret_cast<const unsigned char *>(iv.data()), encrypt ? 1 : 0) == 1;
    good = good && EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char *>(out.data()), &n1,
                                    reinterpret_cast<const unsigned char *>(in.data()), in.size()) == 1;
    good = good && EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char *>(out.data()) + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (ok) {
        *ok = good;
    }
    out.resize(good ? n1 + n2 : 0);
    return out;
}

static QByteArray pattern(int size, int seed = 7)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = char(x >> 24);
    }
    return data;
}

static const QByteArray kKey = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
static const QString kIv = QStringLiteral("000102030405060708090A0B0C0D0E0F");
static const QByteArray kIvBytes = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");

// A source whose reads fail, as a file on a failing disk does.
class FailingSource : public QIODevice
{
public:
    bool isSequential() const override { return false; }
    qint64 size() const override { return 4096; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64) override { return -1; }
};

static QByteArray readAllInSteps(QIODevice &device, qint64 step)
{
    QByteArray all;
    QByteArray chunk(int(step), '\0');
    for (int guard = 0; guard < 1000000; ++guard) {
        const qint64 n = device.read(chunk.data(), step);
        if (n < 0) {
            return QByteArray("<error>");
        }
        if (n == 0) {
            break;
        }
        all.append(chunk.constData(), int(n));
    }
    return all;
}

class TestTransferStreams : public QObject
{
    Q_OBJECT

private slots:
    void ciphertextMatchesOpenssl_data();
    void ciphertextMatchesOpenssl();
    void openModes();
    void rewindRestartsEncryption();
    void failedSourceReadFails();
    void sourceShrinksAfterOpen();
    void sourceGrowsAfterOpen();
    void badIvRefusesOpen();

    void downloadRoundTrip_data();
    void downloadRoundTrip();
    void initRefusesBadIv_data();
    void initRefusesBadIv();
    void finishWithoutInit();
    void finishRefusesDamagedCiphertext_data();
    void finishRefusesDamagedCiphertext();
    void replaceFailureKeepsDestination();
    void removeAfterReplaceLeavesNameAlone();
    void destroyedMidwayLeavesNoFile();
    void replacedFileMode_data();
    void replacedFileMode();
};

void TestTransferStreams::ciphertextMatchesOpenssl_data()
{
    QTest::addColumn<int>("plainSize");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("cipherSize");
    QTest::newRow("empty") << 0 << 16384 << 16;
    QTest::newRow("15 bytes") << 15 << 16384 << 16;
    QTest::newRow("16 bytes") << 16 << 16384 << 32;
    QTest::newRow("17 bytes") << 17 << 16384 << 32;
    QTest::newRow("100 KB by 100") << 100000 << 100 << 100000 / 16 * 16 + 16;
    QTest::newRow("100 KB by 16384") << 100000 << 16384 << 100000 / 16 * 16 + 16;
    QTest::newRow("4 KB by 1") << 4099 << 1 << 4112;
    QTest::newRow("1 byte by 7") << 1 << 7 << 16;
    QTest::newRow("3 MB in one read") << 3 * 1024 * 1024 + 5 << 8 * 1024 * 1024 << 3 * 1024 * 1024 + 16;
}

void TestTransferStreams::ciphertextMatchesOpenssl()
{
    QFETCH(int, plainSize);
    QFETCH(int, step);
    QFETCH(int, cipherSize);
    const QByteArray plain = pattern(plainSize);
    QBuffer *source = new QBuffer;
    source->setData(plain);
    AesCryptDevice device(kKey, kIv, source);
    source->setParent(&device);
    QCOMPARE(device.size(), qint64(cipherSize));
    QVERIFY(!device.isSequential());
    QVERIFY(device.open(QIODevice::ReadOnly));
    QCOMPARE(device.size(), qint64(cipherSize));
    const QByteArray cipher = readAllInSteps(device, step);
    QCOMPARE(cipher.size(), cipherSize);
    QCOMPARE(cipher, opensslCrypt(true, kKey, kIvBytes, plain));
    QVERIFY(device.atEnd());
    char byte;
    QCOMPARE(device.read(&byte, 1), qint64(0));
}

void TestTransferStreams::openModes()
{
    QBuffer source;
    source.setData("abc");
    AesCryptDevice device(kKey, kIv, &source);
    QVERIFY(!device.open(QIODevice::ReadWrite));
    QVERIFY(!source.isOpen());
    // A source opened already must be open in the mode asked for.
    QVERIFY(source.open(QIODevice::WriteOnly));
    QVERIFY(!device.open(QIODevice::ReadOnly));
    source.close();
    QVERIFY(source.open(QIODevice::ReadOnly));
    QVERIFY(device.open(QIODevice::ReadOnly));
    QVERIFY(!device.open(QIODevice::ReadOnly)); // already open
    QCOMPARE(device.write("xyz", 3), qint64(-1));
    device.close();
    QVERIFY(!source.isOpen());

    QFile missing(QDir::tempPath() + "/does-not-exist-" + QString::number(QCoreApplication::applicationPid()));
    AesCryptDevice onMissing(kKey, kIv, &missing);
    QVERIFY(!onMissing.open(QIODevice::ReadOnly));
}

void TestTransferStreams::rewindRestartsEncryption()
{
    const QByteArray plain = pattern(50000, 3);
    QBuffer source;
    source.setData(plain);
    AesCryptDevice device(kKey, kIv, &source);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QByteArray part(1000, '\0');
    QCOMPARE(device.read(part.data(), 1000), qint64(1000));
    QVERIFY(!device.seek(10)); // no other position than the start
    QVERIFY(device.seek(0));
    QCOMPARE(device.pos(), qint64(0));
    const QByteArray first = readAllInSteps(device, 4096);
    QCOMPARE(first, opensslCrypt(true, kKey, kIvBytes, plain));
    QCOMPARE(first.left(1000), part);
    // A rewind after the end sends the whole body again, padding block included.
    QVERIFY(device.reset());
    QCOMPARE(readAllInSteps(device, 333), first);
}

void TestTransferStreams::failedSourceReadFails()
{
    FailingSource *source = new FailingSource;
    AesCryptDevice device(kKey, kIv, source);
    source->setParent(&device);
    QVERIFY(device.open(QIODevice::ReadOnly));
    char buffer[64];
    QCOMPARE(device.read(buffer, sizeof buffer), qint64(-1));
}

void TestTransferStreams::sourceShrinksAfterOpen()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("shrinks.bin");
    QFile writer(path);
    QVERIFY(writer.open(QIODevice::WriteOnly));
    writer.write(pattern(100000));
    writer.close();

    QFile source(path);
    AesCryptDevice device(kKey, kIv, &source);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QCOMPARE(device.size(), qint64(100000 / 16 * 16 + 16));
    QVERIFY(QFile::resize(path, 30000));
    // The announced length cannot be delivered: the body fails instead of stalling or ending short.
    QCOMPARE(readAllInSteps(device, 16384), QByteArray("<error>"));
}

void TestTransferStreams::sourceGrowsAfterOpen()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("grows.bin");
    const QByteArray plain = pattern(70000);
    QFile writer(path);
    QVERIFY(writer.open(QIODevice::WriteOnly));
    writer.write(plain);
    writer.flush();

    QFile source(path);
    AesCryptDevice device(kKey, kIv, &source);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const qint64 announced = device.size();
    writer.write(pattern(50000, 9));
    writer.close();
    QCOMPARE(device.size(), announced);
    const QByteArray cipher = readAllInSteps(device, 16384);
    QCOMPARE(qint64(cipher.size()), announced);
    QCOMPARE(opensslCrypt(false, kKey, kIvBytes, cipher), plain);
}

void TestTransferStreams::badIvRefusesOpen()
{
    for (const QString &iv : {QString("000102030405060708090a0b0c0d0e0"), QString("000102030405060708090a0b0c0d0e0f0"),
                              QString("zz0102030405060708090a0b0c0d0e0f"), QString()}) {
        QBuffer source;
        source.setData("abc");
        AesCryptDevice device(kKey, iv, &source);
        QVERIFY2(!device.open(QIODevice::ReadOnly), qPrintable(iv));
    }
}

void TestTransferStreams::downloadRoundTrip_data()
{
    QTest::addColumn<int>("plainSize");
    QTest::addColumn<int>("chunk");
    QTest::newRow("empty") << 0 << 16;
    QTest::newRow("one block") << 16 << 5;
    QTest::newRow("odd chunks") << 100001 << 999;
    QTest::newRow("whole at once") << 65536 << 1000000;
}

void TestTransferStreams::downloadRoundTrip()
{
    QFETCH(int, plainSize);
    QFETCH(int, chunk);
    QTemporaryDir dir;
    const QString dest = dir.filePath("dest.txt");
    QFile old(dest);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();

    const QByteArray plain = pattern(plainSize, 11);
    const QByteArray cipher = opensslCrypt(true, kKey, kIvBytes, plain);
    DownloadFile file(dir.path() + "/~$tessarvale_XXXXXX.tessarvale", kKey);
    QVERIFY(!file.isDecrypting());
    QVERIFY(file.initDecryption(kIv.toLower()));
    QVERIFY(file.isDecrypting());
    const QString tmp = file.filePath();
    QVERIFY2(QFileInfo(tmp).fileName().startsWith("~$tessarvale_"), qPrintable(tmp));
    QVERIFY(tmp.endsWith(".tessarvale"));
    QCOMPARE(QFileInfo(tmp).absolutePath(), QFileInfo(dest).absolutePath());
    QVERIFY(QFile::exists(tmp));
    for (int pos = 0; pos < cipher.size(); pos += chunk) {
        QVERIFY(file.appendChunk(cipher.mid(pos, chunk)));
        // Whatever was decrypted so far is on the disk.
        QCOMPARE(QFileInfo(tmp).size(), file.plainSize());
    }
    QVERIFY(file.appendChunk(QByteArray())); // an empty read is allowed
    QVERIFY(file.finish());
    QCOMPARE(file.plainSize(), qint64(plainSize));
    QCOMPARE(QFile(dest).size(), qint64(11)); // untouched until the replace
    QVERIFY(file.replace(dest));
    QVERIFY(!QFile::exists(tmp));
    QFile result(dest);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), plain);
    QVERIFY(!file.removeFile());
    QVERIFY(QFile::exists(dest));
}

void TestTransferStreams::initRefusesBadIv_data()
{
    QTest::addColumn<QString>("iv");
    QTest::newRow("31") << "000102030405060708090a0b0c0d0e0";
    QTest::newRow("33") << "000102030405060708090a0b0c0d0e0f0";
    QTest::newRow("non-hex") << "000102030405060708090a0b0c0d0e0g";
    QTest::newRow("blanks") << "00010203 405060708090a0b0c0d0e0f";
    QTest::newRow("empty") << "";
}

void TestTransferStreams::initRefusesBadIv()
{
    QFETCH(QString, iv);
    QTemporaryDir dir;
    DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    QVERIFY(!file.initDecryption(iv));
    QVERIFY(!file.isDecrypting());
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty());
    QVERIFY(!file.appendChunk("0123456789abcdef"));
    QVERIFY(!file.finish());
}

void TestTransferStreams::finishWithoutInit()
{
    QTemporaryDir dir;
    DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    QVERIFY(!file.finish());
    QVERIFY(!file.replace(dir.filePath("x")));
    QVERIFY(!QFile::exists(dir.filePath("x")));
}

void TestTransferStreams::finishRefusesDamagedCiphertext_data()
{
    QTest::addColumn<QByteArray>("cipher");
    const QByteArray good = opensslCrypt(true, kKey, kIvBytes, pattern(100, 5));
    QByteArray badPadding = good;
    badPadding[badPadding.size() - 1] = char(badPadding.at(badPadding.size() - 1) ^ 0x55);
    QTest::newRow("length not a multiple of 16") << good.left(good.size() - 3);
    QTest::newRow("bad padding") << badPadding;
    QTest::newRow("other key") << opensslCrypt(true, QByteArray(32, 'k'), kIvBytes, pattern(100, 5));
    QTest::newRow("nothing") << QByteArray();
}

void TestTransferStreams::finishRefusesDamagedCiphertext()
{
    QFETCH(QByteArray, cipher);
    QTemporaryDir dir;
    DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    QVERIFY(file.initDecryption(kIv));
    QVERIFY(file.appendChunk(cipher));
    QVERIFY(!file.finish());
    QVERIFY(!file.replace(dir.filePath("dest")));
    QVERIFY(file.removeFile());
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty());
}

void TestTransferStreams::replaceFailureKeepsDestination()
{
    QTemporaryDir dir;
    // A folder that holds a file cannot be replaced by a file.
    const QString dest = dir.filePath("busy");
    QVERIFY(QDir(dir.path()).mkdir("busy"));
    QFile inside(dest + "/keep.txt");
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.write("keep");
    inside.close();

    DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    QVERIFY(file.initDecryption(kIv));
    QVERIFY(file.appendChunk(opensslCrypt(true, kKey, kIvBytes, "new")));
    QVERIFY(file.finish());
    QVERIFY(!file.replace(dest));
    QVERIFY(QFile::exists(dest + "/keep.txt"));
    QVERIFY(file.removeFile());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
}

void TestTransferStreams::removeAfterReplaceLeavesNameAlone()
{
    QTemporaryDir dir;
    DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    QVERIFY(file.initDecryption(kIv));
    QVERIFY(file.appendChunk(opensslCrypt(true, kKey, kIvBytes, "data")));
    QVERIFY(file.finish());
    const QString tmp = file.filePath();
    QVERIFY(file.replace(dir.filePath("dest")));
    // Another transfer may reuse the freed temporary name; it is not ours to remove.
    QFile other(tmp);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    QVERIFY(!file.removeFile());
    QVERIFY(QFile::exists(tmp));
}

void TestTransferStreams::destroyedMidwayLeavesNoFile()
{
    QTemporaryDir dir;
    {
        DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
        QVERIFY(file.initDecryption(kIv));
        QVERIFY(file.appendChunk(opensslCrypt(true, kKey, kIvBytes, pattern(1000)).left(512)));
        QVERIFY(QFile::exists(file.filePath()));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    // A replaced file stays where it went.
    {
        DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
        QVERIFY(file.initDecryption(kIv));
        QVERIFY(file.appendChunk(opensslCrypt(true, kKey, kIvBytes, "kept")));
        QVERIFY(file.finish());
        QVERIFY(file.replace(dir.filePath("kept.txt")));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"kept.txt"});
}

void TestTransferStreams::replacedFileMode_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("existingMode"); // -1: no file there yet
    QTest::addColumn<int>("expected");
    QTest::newRow("new file, umask 022") << 022 << -1 << 0644;
    QTest::newRow("new file, umask 027") << 027 << -1 << 0640;
    QTest::newRow("new file, umask 0") << 0 << -1 << 0666;
    QTest::newRow("replaced file keeps 0604") << 022 << 0604 << 0604;
    QTest::newRow("replaced file keeps 0755") << 077 << 0755 << 0755;
    QTest::newRow("set-id bits not carried") << 022 << 04755 << 0755;
}

void TestTransferStreams::replacedFileMode()
{
    QFETCH(int, umask);
    QFETCH(int, existingMode);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QByteArray dest = QFile::encodeName(dir.filePath("dest"));
    if (existingMode >= 0) {
        QFile old(dir.filePath("dest"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        QCOMPARE(::chmod(dest.constData(), mode_t(existingMode)), 0);
    }
    const mode_t previous = ::umask(mode_t(umask));
    DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    const bool replaced = file.initDecryption(kIv) && file.appendChunk(opensslCrypt(true, kKey, kIvBytes, "content")) &&
                          file.finish() && file.replace(dir.filePath("dest"));
    ::umask(previous);
    QVERIFY(replaced);
    struct stat st;
    QCOMPARE(::stat(dest.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), expected);
}

QTEST_GUILESS_MAIN(TestTransferStreams)
#include "tst_transferstreams.moc"
