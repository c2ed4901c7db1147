// The cryptographic building blocks and the transfer streams built on them, each against published
// vectors or an independent OpenSSL call.
#include "net/AesCryptDevice.h"
#include "net/DownloadFile.h"
#include "net/crypto/AesCipher.h"
#include "net/crypto/BigNum.h"
#include "net/crypto/CipherCalculator.h"
#include "net/crypto/CredCrypt.h"
#include "net/crypto/CryptoPrimitives.h"
#include "net/crypto/DigestCalculator.h"
#include "net/crypto/PasswordCrypt.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {

// NIST SP 800-38A, F.2.5 (CBC-AES256.Encrypt).
const QString kNistKey = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const QString kNistIv = "000102030405060708090a0b0c0d0e0f";
const QByteArray kNistPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                                  "ae2d8a571e03ac9c9eb76fac45af8e51"
                                                  "30c81c46a35ce411e5fbc1191a0a52ef"
                                                  "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray kNistCipher = QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"
                                                   "9cfc4e967edb808d679f777bc6702c7d"
                                                   "39f23369a9d9bacfa530e26304231461"
                                                   "b2eb05e2c39be9fcda6c19078c6a9d1b");
// CBC continues from the last NIST block over a full block of padding (sixteen 0x10 bytes).
const QByteArray kPaddingBlock = QByteArray::fromHex("3f461796d6b0d6b2e0c2a72b4d80e644");
const QByteArray kWhole = kNistCipher + kPaddingBlock;
const QByteArray kKey = QByteArray::fromHex(kNistKey.toLatin1());
const QByteArray kIv = QByteArray::fromHex(kNistIv.toLatin1());

// FIPS 180-2 appendix B and the empty message.
const QByteArray kSha256Abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const QByteArray kSha256Empty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const QByteArray kSha256TwoBlocks = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
const char kTwoBlockMessage[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

QByteArray finalHex(DigestCalculator &calculator)
{
    unsigned char out[32];
    calculator.final(out);
    return QByteArray(reinterpret_cast<const char *>(out), sizeof out).toHex();
}

QByteArray pbkdf2(const QByteArray &password, const QByteArray &salt, unsigned int iterations)
{
    QByteArray out(32, '\0');
    if (!pbkdf2HmacSha256(password.constData(), password.size(), salt.constData(), salt.size(), iterations,
                          out.data())) {
        return QByteArray();
    }
    return out;
}

// Restores the real generator whatever a test does.
struct SourceGuard
{
    explicit SourceGuard(RandomSource source) { setRandomSourceForTesting(source); }
    ~SourceGuard() { setRandomSourceForTesting(nullptr); }
};

// AES-256-CBC with PKCS#7 straight through OpenSSL, independent of the classes under test; empty on failure.
QByteArray openssl(bool encrypt, const QByteArray &key, const QByteArray &iv, const QByteArray &in)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QByteArray out(in.size() + 32, '\0');
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    int n1 = 0, n2 = 0;
    const bool ok =
            EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char *>(key.data()),
                              reinterpret_cast<const unsigned char *>(iv.data()), encrypt ? 1 : 0) == 1 &&
            EVP_CipherUpdate(ctx, o, &n1, reinterpret_cast<const unsigned char *>(in.data()), in.size()) == 1 &&
            EVP_CipherFinal_ex(ctx, o + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(ok ? n1 + n2 : 0);
    return out;
}

// The stored format: values already saved on users' machines were written under exactly this
// key and IV, so the cipher must keep them.
QByteArray referenceEncrypt(const QByteArray &plain)
{
    return openssl(true, QByteArray::fromHex("1f49f49976be7ce4f7bf11df3b7f9fa8100ea70a87da3f7302c525b95deaa9a5"),
                   QByteArray::fromHex("5b0fec94449910b74ebd84a113a46733"), plain);
}

const QString key = QStringLiteral("d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9");
const QString zeroLedKey = QStringLiteral("00acc289410b4173c45984de422ceec42e88928106fa9c9a83406a991a538a82");
const QString secret = QString::fromUtf8("pässwörd €");
// The secret above under each key and the NIST IV, by an independent AES-256-CBC.
const QString secretCipher = QStringLiteral("55ebf64c660d0b80fcac9129c020e056");
const QString secretCipherZeroLed = QStringLiteral("77b1919f98171f321f3c7c3f4e88ccea");

QByteArray pattern(int size, int seed = 7)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (char &c : data) {
        c = char((x = x * 1103515245u + 12345u) >> 24);
    }
    return data;
}

QByteArray encrypted(const QByteArray &plain)
{
    return openssl(true, kKey, kIv, plain);
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
QByteArray readAllInSteps(QIODevice &device, qint64 step)
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
QStringList entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class TestCrypto : public QObject
{
    Q_OBJECT

private slots:
    // AesCipher.
    void nistVector()
    {
        for (const bool upper : {false, true}) {
            const AesCipher cipher(upper ? kNistKey.toUpper() : kNistKey);
            const QString iv = upper ? kNistIv.toUpper() : kNistIv;
            QByteArray encrypted;
            QVERIFY(cipher.encrypt(kNistPlain, encrypted, iv));
            QCOMPARE(encrypted.toHex(), kWhole.toHex());
            QByteArray decrypted;
            QVERIFY(cipher.decrypt(encrypted, decrypted, iv));
            QCOMPARE(decrypted.toHex(), kNistPlain.toHex());
        }
        // The 64 NIST bytes alone: the last plaintext block ends in 0x10 but is no padding block.
        const AesCipher cipher(kNistKey);
        QByteArray bytes("untouched");
        QVERIFY(!cipher.decrypt(kNistCipher, bytes, kNistIv));
        QCOMPARE(bytes, QByteArray("untouched"));
        QString text("untouched");
        QVERIFY(!cipher.decryptHexToString(kWhole.toHex().chopped(2), text, kNistIv));
        QCOMPARE(text, QString("untouched"));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("iv");
        QTest::newRow("iv of 31 characters") << kNistKey << kNistIv.left(31);
        QTest::newRow("iv of 32 characters, one not hexadecimal") << kNistKey << kNistIv.left(31) + "g";
        QTest::newRow("iv of 16 bytes with separators") << kNistKey << "00:01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f";
        QTest::newRow("key of 31 bytes") << kNistKey.left(62) << kNistIv;
        QTest::newRow("key of 32 bytes with blanks") << kNistKey.left(32) + " " + kNistKey.mid(32) << kNistIv;
    }

    void refused()
    {
        QFETCH(QString, key);
        QFETCH(QString, iv);
        // Every operation fails and leaves its output as it was.
        const AesCipher cipher(key);
        QByteArray bytes("untouched");
        QVERIFY(!cipher.encrypt(kNistPlain, bytes, iv));
        QVERIFY(!cipher.decrypt(kWhole, bytes, iv));
        QCOMPARE(bytes, QByteArray("untouched"));
        QString text("untouched");
        QVERIFY(!cipher.encryptString("secret", text, iv));
        QVERIFY(!cipher.decryptHexToString(kWhole.toHex(), text, iv));
        QCOMPARE(text, QString("untouched"));
    }

    // CipherCalculator.
    void chunked_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("drainEachChunk");
        QTest::newRow("1-byte chunks") << 1 << false;
        QTest::newRow("16-byte chunks, drained") << 16 << true;
        QTest::newRow("100-byte chunks, drained") << 100 << true;
    }

    void chunked()
    {
        QFETCH(int, chunk);
        QFETCH(bool, drainEachChunk);
        for (const bool encrypting : {true, false}) {
            const QByteArray &input = encrypting ? kNistPlain : kWhole;
            CipherCalculator calculator;
            QVERIFY(encrypting ? calculator.encryptInit(EVP_aes_256_cbc(), kKey, kIv)
                               : calculator.decryptInit(EVP_aes_256_cbc(), kKey, kIv));
            QByteArray output;
            for (int offset = 0; offset < input.size(); offset += chunk) {
                const QByteArray part = input.mid(offset, chunk);
                QVERIFY(encrypting ? calculator.encryptUpdate(part) : calculator.decryptUpdate(part));
                if (drainEachChunk) {
                    output += calculator.takeResult();
                }
            }
            QVERIFY(encrypting ? calculator.encryptFinal() : calculator.decryptFinal());
            output += calculator.takeResult();
            QCOMPARE(output.toHex(), (encrypting ? kWhole : kNistPlain).toHex());
        }
    }

    void refusedKeysAndIvs_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("iv");
        QTest::newRow("31-byte key") << kKey.left(31) << kIv;
        QTest::newRow("15-byte IV") << kKey << kIv.left(15);
    }

    void refusedKeysAndIvs()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, iv);
        // Refused before OpenSSL reads past the short array.
        CipherCalculator calculator;
        QVERIFY(!calculator.encryptInit(EVP_aes_256_cbc(), key, iv));
        QVERIFY(!calculator.decryptInit(EVP_aes_256_cbc(), key, iv));
        QVERIFY(!calculator.encryptUpdate(kNistPlain));
    }

    // DigestCalculator, PBKDF2, HMAC.
    void sha256Vectors_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("abc") << QByteArray("abc") << 3 << kSha256Abc;
        QTest::newRow("empty") << QByteArray() << 1 << kSha256Empty;
        QTest::newRow("two blocks in 5s") << QByteArray(kTwoBlockMessage) << 5 << kSha256TwoBlocks;
    }

    void sha256Vectors()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, chunk);
        QFETCH(QByteArray, expected);
        // The sign-in looks the digest up by name.
        DigestCalculator calculator(EVP_get_digestbyname("SHA256"));
        for (int offset = 0; offset < message.size(); offset += chunk) {
            const QByteArray part = message.mid(offset, chunk);
            calculator.update(part.constData(), part.size());
        }
        QCOMPARE(finalHex(calculator), expected);
        // A final starts the next message fresh; one without any update is the empty message.
        QCOMPARE(finalHex(calculator), kSha256Empty);
    }

    void pbkdf2Vectors_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<unsigned int>("iterations");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *password, const char *salt, unsigned int iterations, const char *expected) {
            QTest::addRow("%s/%s %u", password, salt, iterations)
                    << QByteArray(password) << QByteArray(salt) << iterations << QByteArray(expected);
        };
        // RFC 7914, section 11.
        row("passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
        row("Password", "NaCl", 80000, "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56");
        // The widely published HMAC-SHA-256 counterparts of RFC 6070.
        row("password", "salt", 1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
        row("password", "salt", 2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
        row("password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    }

    void pbkdf2Vectors()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(unsigned int, iterations);
        QFETCH(QByteArray, expected);
        QCOMPARE(pbkdf2(password, salt, iterations).toHex(), expected);
    }

    void hmacAndPbkdf2Refusals()
    {
        // RFC 4231, test case 2.
        unsigned char out[32];
        unsigned int length = 0;
        HMAC(EVP_sha256(), "Jefe", 4, reinterpret_cast<const unsigned char *>("what do ya want for nothing?"), 28, out,
             &length);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), int(length)).toHex(),
                 QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));

        const QByteArray untouched(32, '\x77');
        QByteArray derived = untouched;
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", 4, 0u, derived.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", -1, "salt", 4, 1u, derived.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", -1, 1u, derived.data()));
        QCOMPARE(derived, untouched);
    }

    // Random numbers: a failed or degenerate draw stops the caller.
    void failingSourceStopsCallers()
    {
        {
            SourceGuard guard([](unsigned char *, int) { return false; });
            QByteArray iv(16, '\0');
            QVERIFY(!::randomBytes(iv.data(), iv.size()));
            BigNum number(QString("1234"));
            QVERIFY(!::randomBigNum(number, 32));
            QCOMPARE(number.toHex(), QString("1234"));
            QString error;
            const EncryptedBytes out = PasswordCrypt(key).encryptPassword("secret", &error);
            QCOMPARE(error, QStringLiteral("Error encrypting data! [AES encryption/decryption: 30]"));
            QVERIFY(out.ciphertext.isEmpty() && out.iv.isEmpty());
        }
        // A secret of zero is degenerate, never a success.
        SourceGuard guard([](unsigned char *buffer, int n) { return memset(buffer, 0, size_t(n)) != nullptr; });
        BigNum number(QString("ff"));
        QVERIFY(!::randomBigNum(number, 32));
    }

    // The stored-secret cipher.
    void storedFormat_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty") << QString();
        QTest::newRow("unicode") << QString::fromUtf8("p\xc3\xa4ss \xe2\x82\xac \xf0\x9f\x94\x91");
        QTest::newRow("one block") << "0123456789abcdef";
    }

    void storedFormat()
    {
        QFETCH(QString, plain);
        const QString expected = QString::fromLatin1(referenceEncrypt(plain.toUtf8()).toHex());
        QString encrypted;
        QVERIFY(CredCrypt::encryptStored(plain, &encrypted));
        QCOMPARE(encrypted, expected);
        QString decrypted("stale");
        QVERIFY(CredCrypt::decryptStored(expected.toUpper(), &decrypted));
        QCOMPARE(decrypted, plain);

        // Ciphertext of a block ending in 0x02 0x03: its padding byte 3 is not repeated.
        QByteArray block(16, 'x');
        block[14] = 2;
        block[15] = 3;
        const QString badLastBlock = QString::fromLatin1(referenceEncrypt(block).left(16).toHex());
        QString out("untouched");
        QVERIFY(!CredCrypt::decryptStored(badLastBlock, &out));
        QVERIFY(!CredCrypt::decryptStored(badLastBlock.left(30), &out));
        QCOMPARE(out, QString("untouched"));
    }

    // PasswordCrypt.
    void passwordCrypt_data()
    {
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QString>("ivText");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain key") << key << secretCipher << kNistIv << true;
        QTest::newRow("key with a leading zero byte") << zeroLedKey << secretCipherZeroLed << kNistIv << true;
        QTest::newRow("upper-case digits") << key << secretCipher.toUpper() << kNistIv.toUpper() << true;
        QTest::newRow("iv of 30 digits") << key << secretCipher << kNistIv.left(30) << false;
        QTest::newRow("wrong key") << zeroLedKey << secretCipher << kNistIv << false;
    }

    void passwordCrypt()
    {
        QFETCH(QString, keyText);
        QFETCH(QString, cipher);
        QFETCH(QString, ivText);
        QFETCH(bool, ok);
        const PasswordCrypt crypt(keyText);
        QString error;
        QCOMPARE(crypt.decryptPassword(EncryptedData(cipher, ivText), &error), ok ? secret : QString());
        QCOMPARE(error.isEmpty(), ok);
        if (ok) {
            // Encryption draws a fresh IV each time; OpenSSL reads what it wrote.
            const EncryptedBytes a = crypt.encryptPassword(secret.toUtf8(), &error);
            const EncryptedBytes b = crypt.encryptPassword(secret.toUtf8(), &error);
            QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(a.iv).hasMatch() && a.iv != b.iv);
            QCOMPARE(openssl(false, QByteArray::fromHex(keyText.toLatin1()), QByteArray::fromHex(a.iv.toLatin1()),
                             a.ciphertext),
                     secret.toUtf8());
        }
    }

    // The upload body: encrypts as it is read.
    void rewindRestartsEncryption()
    {
        const QByteArray plain = pattern(50000, 3);
        QBuffer source;
        source.setData(plain);
        AesCryptDevice device(kKey, kNistIv, &source);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QByteArray part(1000, '\0');
        QCOMPARE(device.read(part.data(), 1000), qint64(1000));
        QVERIFY(!device.seek(10)); // no other position than the start
        QVERIFY(device.seek(0));
        const QByteArray first = readAllInSteps(device, 4096);
        QCOMPARE(first, encrypted(plain));
        // A rewind after the end sends the whole body again, padding block included.
        QVERIFY(device.reset());
        QCOMPARE(readAllInSteps(device, 333), first);
    }

    void failedOrShrinkingSourceFails()
    {
        FailingSource failing;
        AesCryptDevice broken(kKey, kNistIv, &failing);
        QVERIFY(broken.open(QIODevice::ReadOnly));
        char buffer[64];
        QCOMPARE(broken.read(buffer, sizeof buffer), qint64(-1));

        // (A source that grows is checked end to end in the upload tests.)
        QTemporaryDir dir;
        QFile file(dir.filePath("source.bin"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(pattern(100000)), qint64(100000));
        file.close();
        QFile source(file.fileName());
        AesCryptDevice device(kKey, kNistIv, &source);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(device.size(), qint64(100000 / 16 * 16 + 16));
        QVERIFY(QFile::resize(file.fileName(), 30000));
        // The announced length cannot be delivered: the body fails instead of stalling or ending short.
        QCOMPARE(readAllInSteps(device, 16384), QByteArray("<error>"));
    }

    void badIvRefusedByTheStreams()
    {
        const QString iv = kNistIv.left(31);
        QBuffer source;
        source.setData("abc");
        AesCryptDevice device(kKey, iv, &source);
        QVERIFY(!device.open(QIODevice::ReadOnly));

        QTemporaryDir dir;
        DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
        QVERIFY(!file.initDecryption(iv));
        QCOMPARE(entries(dir), QStringList());
    }

    // The download sink (its round trip runs end to end in the interface tests).
    void finishRefusesDamagedCiphertext_data()
    {
        QTest::addColumn<QByteArray>("cipher");
        const QByteArray good = encrypted(pattern(100, 5));
        QByteArray badPadding = good;
        badPadding[badPadding.size() - 1] = char(badPadding.at(badPadding.size() - 1) ^ 0x55);
        QTest::newRow("length not a multiple of 16") << good.left(good.size() - 3);
        QTest::newRow("bad padding") << badPadding;
    }

    void finishRefusesDamagedCiphertext()
    {
        QFETCH(QByteArray, cipher);
        QTemporaryDir dir;
        DownloadFile file(dir.path() + "/~$t_XXXXXX.tessarvale", kKey);
        QVERIFY(file.initDecryption(kNistIv));
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
            QVERIFY(file.initDecryption(kNistIv));
            QVERIFY(file.appendChunk(encrypted(pattern(1000)).left(512)));
            QVERIFY(QFile::exists(file.filePath()));
        }
        QCOMPARE(entries(dir), QStringList()); // destroyed midway: no half file left
    }
};

QTEST_GUILESS_MAIN(TestCrypto)
#include "tst_crypto.moc"
