#include "net/AesCryptDevice.h"
#include "net/DownloadFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/evp.h>
#include <sys/stat.h>

#include <memory>

// Reference AES-256-CBC straight from OpenSSL, independent of the classes under test.
static QByteArray opensslCrypt(bool encrypt, const QByteArray &key, const QByteArray &iv, const QByteArray &in)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QByteArray out(in.size() + 32, '\0');
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    int n1 = 0, n2 = 0;
    const bool good =
            EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char *>(key.data()),
                              reinterpret_cast<const unsigned char *>(iv.data()), encrypt ? 1 : 0) == 1 &&
            EVP_CipherUpdate(ctx, o, &n1, reinterpret_cast<const unsigned char *>(in.data()), in.size()) == 1 &&
            EVP_CipherFinal_ex(ctx, o + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(good ? n1 + n2 : 0);
    return out;
}

static QByteArray pattern(int size, int seed = 7)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (char &c : data) {
        c = char((x = x * 1103515245u + 12345u) >> 24);
    }
    return data;
}

static const QByteArray kKey = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
static const QString kIv = QStringLiteral("000102030405060708090A0B0C0D0E0F");
static const QByteArray kIvBytes = QByteArray::fromHex(kIv.toLatin1());

static QByteArray encrypted(const QByteArray &plain)
{
    return opensslCrypt(true, kKey, kIvBytes, plain);
}

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

// The whole body in reads of `step` bytes; "<error>" once a read fails. Bounded, so a stall fails.
static QByteArray readAllInSteps(QIODevice &device, qint64 step)
{
    QByteArray all, chunk(int(step), '\0');
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

// Everything in a folder, hidden "~$" names included.
static QStringList entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot);
}

// A sink in `dir` fed the encryption of `plain` and finished.
static std::unique_ptr<DownloadFile> finishedSink(const QTemporaryDir &dir, const QByteArray &plain)
{
    auto file = std::make_unique<DownloadFile>(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
    if (!file->initDecryption(kIv) || !file->appendChunk(encrypted(plain)) || !file->finish()) {
        return nullptr;
    }
    return file;
}

class TestTransferStreams : public QObject
{
    Q_OBJECT
private slots:
    void ciphertextMatchesOpenssl_data()
    {
        QTest::addColumn<int>("plainSize");
        QTest::addColumn<int>("step");
        QTest::newRow("empty") << 0 << 16384;
        QTest::newRow("4 KB by 1") << 4099 << 1;
        QTest::newRow("3 MB in one read") << 3 * 1024 * 1024 + 5 << 8 * 1024 * 1024;
    }

    void ciphertextMatchesOpenssl()
    {
        QFETCH(int, plainSize);
        QFETCH(int, step);
        const QByteArray plain = pattern(plainSize);
        const qint64 cipherSize = plainSize / 16 * 16 + 16;
        QBuffer source;
        source.setData(plain);
        AesCryptDevice device(kKey, kIv, &source);
        // The length is known before the body exists (Content-Length), and Qt must not buffer the body.
        QCOMPARE(device.size(), cipherSize);
        QVERIFY(!device.isSequential());
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(device.size(), cipherSize);
        QCOMPARE(readAllInSteps(device, step), encrypted(plain));
        QVERIFY(device.atEnd());
    }

    void rewindRestartsEncryption()
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
        const QByteArray first = readAllInSteps(device, 4096);
        QCOMPARE(first, encrypted(plain));
        QCOMPARE(first.left(1000), part);
        // A rewind after the end sends the whole body again, padding block included.
        QVERIFY(device.reset());
        QCOMPARE(readAllInSteps(device, 333), first);
    }

    void failedSourceReadFails()
    {
        FailingSource source;
        AesCryptDevice device(kKey, kIv, &source);
        QVERIFY(device.open(QIODevice::ReadOnly));
        char buffer[64];
        QCOMPARE(device.read(buffer, sizeof buffer), qint64(-1));
    }

    void sourceShrinksAfterOpen()
    {
        // (A source that grows is checked end to end in the upload tests.)
        QTemporaryDir dir;
        QFile file(dir.filePath("source.bin"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(pattern(100000)), qint64(100000));
        file.close();
        QFile source(file.fileName());
        AesCryptDevice device(kKey, kIv, &source);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(device.size(), qint64(100000 / 16 * 16 + 16));
        QVERIFY(QFile::resize(file.fileName(), 30000));
        // The announced length cannot be delivered: the body fails instead of stalling or ending short.
        QCOMPARE(readAllInSteps(device, 16384), QByteArray("<error>"));
    }

    void badIvRefused_data()
    {
        QTest::addColumn<QString>("iv");
        QTest::newRow("31") << "000102030405060708090a0b0c0d0e0";
        QTest::newRow("empty") << "";
    }

    void badIvRefused()
    {
        QFETCH(QString, iv);
        QBuffer source;
        source.setData("abc");
        AesCryptDevice device(kKey, iv, &source);
        QVERIFY(!device.open(QIODevice::ReadOnly));

        QTemporaryDir dir;
        DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
        QVERIFY(!file.initDecryption(iv));
        QVERIFY(!file.isDecrypting());
        QVERIFY(!file.appendChunk("0123456789abcdef"));
        QVERIFY(!file.finish());
        QVERIFY(!file.replace(dir.filePath("x")));
        QCOMPARE(entries(dir), QStringList());
    }

    void downloadRoundTrip()
    {
        const int chunk = 999;
        QTemporaryDir dir;
        const QString dest = dir.filePath("dest.txt");
        QFile old(dest);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old content") == 11);
        old.close();

        const QByteArray plain = pattern(100001, 11);
        const QByteArray cipher = encrypted(plain);
        DownloadFile file(dir.path() + "/~$tessarvale_XXXXXX.tessarvale", kKey);
        QVERIFY(file.initDecryption(kIv.toLower()));
        const QString tmp = file.filePath();
        QVERIFY2(QFileInfo(tmp).fileName().startsWith("~$tessarvale_") && tmp.endsWith(".tessarvale"), qPrintable(tmp));
        QCOMPARE(QFileInfo(tmp).absolutePath(), QFileInfo(dest).absolutePath());
        for (int pos = 0; pos < cipher.size(); pos += chunk) {
            QVERIFY(file.appendChunk(cipher.mid(pos, chunk)));
            // Whatever was decrypted so far is on the disk.
            QCOMPARE(QFileInfo(tmp).size(), file.plainSize());
        }
        QVERIFY(file.appendChunk(QByteArray())); // an empty read is allowed
        QVERIFY(file.finish());
        QCOMPARE(QFile(dest).size(), qint64(11)); // untouched until the replace
        QVERIFY(file.replace(dest));
        QFile result(dest);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), plain);
        QCOMPARE(entries(dir), QStringList{"dest.txt"});
    }

    void finishRefusesDamagedCiphertext_data()
    {
        QTest::addColumn<QByteArray>("cipher");
        const QByteArray good = encrypted(pattern(100, 5));
        QByteArray badPadding = good;
        badPadding[badPadding.size() - 1] = char(badPadding.at(badPadding.size() - 1) ^ 0x55);
        QTest::newRow("length not a multiple of 16") << good.left(good.size() - 3);
        QTest::newRow("bad padding") << badPadding;
        QTest::newRow("other key") << opensslCrypt(true, QByteArray(32, 'k'), kIvBytes, pattern(100, 5));
    }

    void finishRefusesDamagedCiphertext()
    {
        QFETCH(QByteArray, cipher);
        QTemporaryDir dir;
        DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
        QVERIFY(file.initDecryption(kIv));
        QVERIFY(file.appendChunk(cipher));
        QVERIFY(!file.finish());
        QVERIFY(!file.replace(dir.filePath("dest")));
        QVERIFY(file.removeFile());
        QCOMPARE(entries(dir), QStringList());
    }

    void replacedFileMode_data()
    {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("existingMode"); // -1: no file there yet
        QTest::addColumn<int>("expected");
        QTest::newRow("new file, umask 027") << 027 << -1 << 0640;
        QTest::newRow("replaced file keeps 0604") << 022 << 0604 << 0604;
        QTest::newRow("set-id bits not carried") << 022 << 04755 << 0755;
    }

    void replacedFileMode()
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
        const auto file = finishedSink(dir, "content");
        const bool replaced = file && file->replace(dir.filePath("dest"));
        ::umask(previous);
        QVERIFY(replaced);
        struct stat st;
        QCOMPARE(::stat(dest.constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), expected);
    }

    void temporaryFileLifetime()
    {
        QTemporaryDir dir;
        {
            DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
            QVERIFY(file.initDecryption(kIv));
            QVERIFY(file.appendChunk(encrypted(pattern(1000)).left(512)));
            QVERIFY(QFile::exists(file.filePath()));
        }
        QCOMPARE(entries(dir), QStringList()); // destroyed midway: no half file left
    }
};

QTEST_GUILESS_MAIN(TestTransferStreams)
#include "tst_transferstreams.moc"
