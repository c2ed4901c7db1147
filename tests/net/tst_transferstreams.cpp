#include "net/AesCryptDevice.h"
#include "net/DownloadFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/evp.h>


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

class TestTransferStreams : public QObject
{
    Q_OBJECT
private slots:
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
