// The cryptographic building blocks, each against published vectors or an independent OpenSSL call.
#include "net/AesCipher.h"
#include "net/BigNum.h"
#include "net/CipherCalculator.h"
#include "net/Codec.h"
#include "net/CredCrypt.h"
#include "net/CryptoPrimitives.h"
#include "net/DigestCalculator.h"
#include "net/PasswordCrypt.h"

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

// Every operation must fail and leave its output as it was.
void verifyAllRefused(const AesCipher &cipher, const QString &iv)
{
    QByteArray bytes("untouched");
    QVERIFY(!cipher.encrypt(kNistPlain, bytes, iv));
    QVERIFY(!cipher.decrypt(kWhole, bytes, iv));
    QCOMPARE(bytes, QByteArray("untouched"));
    QString text("untouched");
    QVERIFY(!cipher.encryptString("secret", text, iv));
    QVERIFY(!cipher.decryptHexToString(kWhole.toHex(), text, iv));
    QCOMPARE(text, QString("untouched"));
}

// The same NIST vector as raw bytes.
const QByteArray kKey = QByteArray::fromHex(kNistKey.toLatin1());
const QByteArray kIv = QByteArray::fromHex(kNistIv.toLatin1());
const QByteArray &kPlain = kNistPlain;
const QByteArray &kCipher = kWhole;

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

// An independent one-shot digest to compare against.
QByteArray oneShotHex(const QByteArray &message)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(message.constData(), size_t(message.size()), out, &length, EVP_sha256(), nullptr) != 1) {
        qFatal("EVP_Digest failed");
    }
    return QByteArray(reinterpret_cast<const char *>(out), int(length)).toHex();
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

QByteArray hmacSha256(const QByteArray &key, const QByteArray &data)
{
    unsigned char out[32];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.constData(), key.size(), reinterpret_cast<const unsigned char *>(data.constData()),
         size_t(data.size()), out, &length);
    return QByteArray(reinterpret_cast<const char *>(out), int(length));
}

// Restores the real generator whatever a test does.
struct SourceGuard
{
    explicit SourceGuard(RandomSource source) { setRandomSourceForTesting(source); }
    ~SourceGuard() { setRandomSourceForTesting(nullptr); }
};

// The stored format: values already saved on users' machines were written under exactly this
// key and IV, so the cipher must keep them.
const QByteArray kStoredKey = QByteArray::fromHex("1f49f49976be7ce4f7bf11df3b7f9fa8100ea70a87da3f7302c525b95deaa9a5");
const QByteArray kStoredIv = QByteArray::fromHex("5b0fec94449910b74ebd84a113a46733");

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

// As an earlier installation would have written a stored secret.
QByteArray referenceEncrypt(const QByteArray &plain)
{
    return openssl(true, kStoredKey, kStoredIv, plain);
}

const QString key = QStringLiteral("d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9");
const QString zeroLedKey = QStringLiteral("00acc289410b4173c45984de422ceec42e88928106fa9c9a83406a991a538a82");
const QString iv = QStringLiteral("000102030405060708090a0b0c0d0e0f");
const QString secret = QString::fromUtf8("pässwörd €");
// The secret above under each key and iv, by an independent AES-256-CBC.
const QString secretCipher = QStringLiteral("55ebf64c660d0b80fcac9129c020e056");
const QString secretCipherZeroLed = QStringLiteral("77b1919f98171f321f3c7c3f4e88ccea");

// Decrypts with OpenSSL directly, so that a fault shared by both directions of our cipher shows.
QByteArray opensslDecrypt(const QByteArray &keyBytes, const QByteArray &ivBytes, const QByteArray &cipher)
{
    return openssl(false, keyBytes, ivBytes, cipher);
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
    }

    void badPaddingFails()
    {
        const AesCipher cipher(kNistKey);
        // The 64 NIST bytes alone: the last plaintext block ends in 0x10 but is no padding block.
        QByteArray bytes("untouched");
        QVERIFY(!cipher.decrypt(kNistCipher, bytes, kNistIv));
        QCOMPARE(bytes, QByteArray("untouched"));
        QString text("untouched");
        QVERIFY(!cipher.decryptHexToString(kNistCipher.toHex(), text, kNistIv));
        // Not a whole number of blocks, and nothing at all, never decrypt.
        QVERIFY(!cipher.decryptHexToString(kWhole.toHex().chopped(2), text, kNistIv));
        QVERIFY(!cipher.decryptHexToString(QString(), text, kNistIv));
        QCOMPARE(text, QString("untouched"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("15 bytes") << "fifteen bytes!!";
        QTest::newRow("one block exactly") << "0123456789abcdef";
        QTest::newRow("umlauts and emoji") << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                                "e \xf0\x9f\x94\x91");
        QTest::newRow("long") << QString(1000, QChar('z'));
    }

    void roundTrip()
    {
        QFETCH(QString, text);
        const AesCipher cipher(kNistKey);
        const QByteArray plain = text.toUtf8();
        QByteArray encrypted;
        QVERIFY(cipher.encrypt(plain, encrypted, kNistIv));
        QCOMPARE(encrypted.size(), (plain.size() / 16 + 1) * 16);
        QByteArray decrypted("stale");
        QVERIFY(cipher.decrypt(encrypted, decrypted, kNistIv));
        QCOMPARE(decrypted, plain);

        // The text form is the same ciphertext of the UTF-8 bytes, in lower-case digits.
        QString hex;
        QVERIFY(cipher.encryptString(text, hex, kNistIv));
        QCOMPARE(hex, QString::fromLatin1(encrypted.toHex()));
        QString back("stale");
        QVERIFY(cipher.decryptHexToString(hex.toUpper(), back, kNistIv));
        QCOMPARE(back, text);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("iv");
        QTest::newRow("iv of 31 characters") << kNistKey << kNistIv.left(31);
        QTest::newRow("iv of 33 characters") << kNistKey << kNistIv + "0";
        QTest::newRow("empty iv") << kNistKey << QString();
        QTest::newRow("iv of 32 characters, one not hexadecimal") << kNistKey << kNistIv.left(31) + "g";
        QTest::newRow("iv of 32 characters with a blank") << kNistKey << " " + kNistIv.mid(1);
        QTest::newRow("iv of 16 bytes with separators") << kNistKey << "00:01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f";
        QTest::newRow("key of 31 bytes") << kNistKey.left(62) << kNistIv;
        QTest::newRow("key of 33 bytes") << kNistKey + "00" << kNistIv;
        QTest::newRow("empty key") << QString() << kNistIv;
        QTest::newRow("key of 63 digits") << kNistKey.left(63) << kNistIv;
        QTest::newRow("key of 64 characters, one not hexadecimal") << kNistKey.left(63) + "x" << kNistIv;
        QTest::newRow("key of 32 bytes with blanks") << kNistKey.left(32) + " " + kNistKey.mid(32) << kNistIv;
    }

    void refused()
    {
        QFETCH(QString, key);
        QFETCH(QString, iv);
        const AesCipher cipher(key);
        QCOMPARE(cipher.key.isEmpty(), key != kNistKey);
        verifyAllRefused(cipher, iv);
    }

    void keyOfWrongLengthSetByHand()
    {
        // Refused as well, not read past.
        AesCipher shortKey(kNistKey);
        shortKey.key.chop(1);
        verifyAllRefused(shortKey, kNistIv);
    }

    // CipherCalculator.
    void chunked_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("drainEachChunk");
        for (int chunk : {1, 16, 100}) {
            QTest::newRow(qPrintable(QString("%1-byte chunks").arg(chunk))) << chunk << false;
            QTest::newRow(qPrintable(QString("%1-byte chunks, drained").arg(chunk))) << chunk << true;
        }
    }

    void chunked()
    {
        QFETCH(int, chunk);
        QFETCH(bool, drainEachChunk);

        for (const bool encrypting : {true, false}) {
            const QByteArray &input = encrypting ? kPlain : kCipher;
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
            QCOMPARE(output.toHex(), (encrypting ? kCipher : kPlain).toHex());
            QCOMPARE(calculator.takeResult(), QByteArray());
        }
    }

    void refusedKeysAndIvs_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("iv");
        QTest::newRow("31-byte key") << kKey.left(31) << kIv;
        QTest::newRow("33-byte key") << kKey + '\0' << kIv;
        QTest::newRow("empty key") << QByteArray() << kIv;
        QTest::newRow("15-byte IV") << kKey << kIv.left(15);
        QTest::newRow("17-byte IV") << kKey << kIv + '\0';
        QTest::newRow("empty IV") << kKey << QByteArray();
    }

    void refusedKeysAndIvs()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, iv);
        // Nothing was set up, so nothing can be produced afterwards.
        CipherCalculator encryptor;
        QVERIFY(!encryptor.encryptInit(EVP_aes_256_cbc(), key, iv));
        QVERIFY(!encryptor.encryptUpdate(kPlain));
        QVERIFY(!encryptor.encryptFinal());
        QCOMPARE(encryptor.takeResult(), QByteArray());
        CipherCalculator decryptor;
        QVERIFY(!decryptor.decryptInit(EVP_aes_256_cbc(), key, iv));
        QVERIFY(!decryptor.decryptUpdate(kCipher));
        QVERIFY(!decryptor.decryptFinal());
        QCOMPARE(decryptor.takeResult(), QByteArray());
    }

    void misuseFails()
    {
        CipherCalculator calculator;
        QVERIFY(!calculator.encryptInit(nullptr, kKey, kIv));
        QVERIFY(!calculator.encryptUpdate(kPlain));
        QVERIFY(!calculator.decryptFinal());

        // A context set up for one direction refuses the other.
        QVERIFY(calculator.encryptInit(EVP_aes_256_cbc(), kKey, kIv));
        QVERIFY(!calculator.decryptUpdate(kCipher));
        QCOMPARE(calculator.takeResult(), QByteArray());

        // A failed padding check keeps what the updates released; the last block was held back for it.
        QVERIFY(calculator.decryptInit(EVP_aes_256_cbc(), kKey, kIv));
        QVERIFY(calculator.decryptUpdate(kCipher.left(64)));
        QVERIFY(!calculator.decryptFinal());
        QCOMPARE(calculator.takeResult().toHex(), kPlain.left(48).toHex());
    }

    // DigestCalculator.
    void publishedVectors_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("abc") << QByteArray("abc") << 3 << kSha256Abc;
        QTest::newRow("abc by byte") << QByteArray("abc") << 1 << kSha256Abc;
        QTest::newRow("empty") << QByteArray() << 1 << kSha256Empty;
        QTest::newRow("two blocks") << QByteArray(kTwoBlockMessage) << 56 << kSha256TwoBlocks;
        QTest::newRow("two blocks in 5s") << QByteArray(kTwoBlockMessage) << 5 << kSha256TwoBlocks;
    }

    void publishedVectors()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, chunk);
        QFETCH(QByteArray, expected);
        // The sign-in looks the digest up by name.
        DigestCalculator calculator(EVP_get_digestbyname("SHA256"));
        calculator.update(message.constData(), 0);
        for (int offset = 0; offset < message.size(); offset += chunk) {
            const QByteArray part = message.mid(offset, chunk);
            calculator.update(part.constData(), part.size());
        }
        QCOMPARE(finalHex(calculator), expected);
        // A final starts the next message fresh; one without any update is the empty message.
        QCOMPARE(finalHex(calculator), kSha256Empty);
        calculator.update(message.constData(), message.size());
        BigNum number;
        calculator.finalToBigNum(number);
        QVERIFY(number == BigNum(QString::fromLatin1(expected)));
    }

    void feedingOverloads()
    {
        DigestCalculator calculator(EVP_sha256());
        calculator.update("a");
        calculator.update(QString("b"));
        calculator.update("c", 1);
        QCOMPARE(finalHex(calculator), kSha256Abc);

        // Texts enter as UTF-8, stopping at the first zero byte; data with its length does not stop.
        const QString umlaut = QString::fromUtf8("\xc3\xa4"
                                                 "b");
        calculator.update(umlaut);
        QCOMPARE(finalHex(calculator), oneShotHex(umlaut.toUtf8()));
        calculator.update(QString("ab") + QChar(0) + "cd");
        QCOMPARE(finalHex(calculator), oneShotHex("ab"));
        const char withZero[] = {'a', 'b', '\0', 'c'};
        calculator.update(withZero, 4);
        QCOMPARE(finalHex(calculator), oneShotHex(QByteArray(withZero, 4)));
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("zero adds nothing") << "0" << QByteArray();
        QTest::newRow("no padding to whole bytes") << "abc" << QByteArray::fromHex("0abc");
        QTest::newRow("leading zero bytes dropped") << "0000ff00" << QByteArray::fromHex("ff00");
        QTest::newRow("high bit set, no sign byte") << "80" << QByteArray::fromHex("80");
    }

    void numbers()
    {
        QFETCH(QString, hex);
        QFETCH(QByteArray, bytes);
        DigestCalculator calculator(EVP_sha256());
        calculator.update(BigNum(hex));
        QCOMPARE(finalHex(calculator), oneShotHex(bytes));
    }

    // Random numbers, PBKDF2, HMAC.
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

    void pbkdf2OneIterationIsHmac()
    {
        // The reference HMAC first proves itself on RFC 4231, test case 2.
        QCOMPARE(hmacSha256("Jefe", "what do ya want for nothing?").toHex(),
                 QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));

        const QByteArray blockIndex = QByteArray::fromHex("00000001");
        for (const auto &pair : {qMakePair(QByteArray("pw"), QByteArray("s")), qMakePair(QByteArray(), QByteArray()),
                                 qMakePair(QByteArray(100, 'k'), QByteArray(64, '\x5a'))}) {
            QCOMPARE(pbkdf2(pair.first, pair.second, 1).toHex(), hmacSha256(pair.first, pair.second + blockIndex).toHex());
        }
        // The password is the exact bytes given: a zero byte inside counts, and so does the length.
        const QByteArray withZero("pass\0word", 9);
        const QByteArray saltWithZero("sa\0lt", 5);
        QCOMPARE(pbkdf2(withZero, saltWithZero, 4096).left(16).toHex(), QByteArray("89b69d0516f829893c696226650a8687"));

        // The short form runs 500 iterations.
        QByteArray byDefault(32, '\0');
        QVERIFY(pbkdf2HmacSha256("secret", 6, "pepper", 6, byDefault.data()));
        QCOMPARE(byDefault, pbkdf2("secret", "pepper", 500));
    }

    void pbkdf2Refusals()
    {
        const QByteArray untouched(32, '\x77');
        QByteArray out = untouched;
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", 4, 0u, out.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", -1, "salt", 4, 1u, out.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", -1, 1u, out.data()));
        QVERIFY(!pbkdf2HmacSha256(nullptr, 2, "salt", 4, 1u, out.data()));
        QVERIFY(!pbkdf2HmacSha256("pw", 2, "salt", 4, 1u, nullptr));
        QCOMPARE(out, untouched);
    }

    void randomBytes()
    {
        QByteArray first(64, '\0');
        QByteArray second(64, '\0');
        QVERIFY(::randomBytes(first.data(), first.size()));
        QVERIFY(::randomBytes(second.data(), second.size()));
        QVERIFY(first != QByteArray(64, '\0'));
        QVERIFY(first != second);

        char buffer[4] = {1, 2, 3, 4};
        QVERIFY(::randomBytes(buffer, 0));
        QCOMPARE(buffer[0], char(1));
        QVERIFY(!::randomBytes(buffer, -1));
        QVERIFY(!::randomBytes(nullptr, 4));
    }

    void failingSourceStopsCallers()
    {
        SourceGuard guard([](unsigned char *, int) { return false; });
        QByteArray iv(16, '\0');
        QVERIFY(!::randomBytes(iv.data(), iv.size()));
        BigNum number(QString("1234"));
        QVERIFY(!::randomBigNum(number, 32));
        QCOMPARE(number.toHex(), QString("1234"));
    }

    void randomBigNum()
    {
        {
            SourceGuard guard([](unsigned char *buffer, int n) {
                for (int i = 0; i < n; ++i) {
                    buffer[i] = static_cast<unsigned char>(i + 1);
                }
                return true;
            });
            BigNum number;
            QVERIFY(::randomBigNum(number, 4));
            // All n bytes, big-endian, unsigned.
            QCOMPARE(number.toHex(), QString("01020304"));
        }
        {
            // A secret of zero is degenerate, never a success.
            SourceGuard guard([](unsigned char *buffer, int n) { return memset(buffer, 0, size_t(n)) != nullptr; });
            BigNum number(QString("ff"));
            QVERIFY(!::randomBigNum(number, 32));
        }
        BigNum a;
        BigNum b;
        QVERIFY(::randomBigNum(a, 32));
        QVERIFY(::randomBigNum(b, 32));
        QVERIFY(a != b);
        BigNum refused;
        QVERIFY(!::randomBigNum(refused, 0));
    }

    // The stored-secret cipher.
    void storedFormat_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty") << QString();
        QTest::newRow("password") << "hunter2";
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
    }

    void refusals()
    {
        // Ciphertext of a block ending in 0x02 0x03: its padding byte 3 is not repeated.
        QByteArray block(16, 'x');
        block[14] = 2;
        block[15] = 3;
        const QString badLastBlock = QString::fromLatin1(referenceEncrypt(block).left(16).toHex());
        QString out("untouched");
        QVERIFY(!CredCrypt::decryptStored(badLastBlock, &out));
        QVERIFY(!CredCrypt::decryptStored(QString(), &out));
        QVERIFY(!CredCrypt::decryptStored(badLastBlock.left(30), &out));
        QCOMPARE(out, QString("untouched"));

        QVERIFY(!CredCrypt::encryptStored("x", nullptr));
        QVERIFY(CredCrypt::encryptStored("x", &out));
        QVERIFY(!CredCrypt::decryptStored(out, nullptr));
    }

    // PasswordCrypt.
    void encryptsUnderTheTransportKey()
    {
        const PasswordCrypt crypt(key);
        QString error = QStringLiteral("earlier");
        const EncryptedBytes out = crypt.encryptPassword(secret.toUtf8(), &error);
        // A success leaves the caller's error text alone.
        QCOMPARE(error, QStringLiteral("earlier"));
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(out.iv).hasMatch());
        QCOMPARE(out.ciphertext.size(), 16);
        const QByteArray plain =
                opensslDecrypt(QByteArray::fromHex(key.toLatin1()), QByteArray::fromHex(out.iv.toLatin1()), out.ciphertext);
        QCOMPARE(QString::fromUtf8(plain), secret);

        // A fresh IV each time.
        const EncryptedBytes again = crypt.encryptPassword(secret.toUtf8(), &error);
        QVERIFY(again.iv != out.iv);
        QVERIFY(again.ciphertext != out.ciphertext);
        QCOMPARE(crypt.encryptPassword(QByteArray(16, 'x'), &error).ciphertext.size(), 32);
    }

    void decrypts_data()
    {
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QString>("ivText");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain key") << key << secretCipher << iv << true;
        QTest::newRow("key with a leading zero byte") << zeroLedKey << secretCipherZeroLed << iv << true;
        QTest::newRow("upper-case digits") << key << secretCipher.toUpper() << iv.toUpper() << true;
        QTest::newRow("iv of 30 digits") << key << secretCipher << iv.left(30) << false;
        QTest::newRow("iv of 34 digits") << key << secretCipher << iv + "00" << false;
        QTest::newRow("wrong key") << zeroLedKey << secretCipher << iv << false;
        QTest::newRow("cut ciphertext") << key << secretCipher.left(30) << iv << false;
    }

    void decrypts()
    {
        QFETCH(QString, keyText);
        QFETCH(QString, cipher);
        QFETCH(QString, ivText);
        QFETCH(bool, ok);
        QString error = QStringLiteral("earlier");
        const QString out = PasswordCrypt(keyText).decryptPassword(EncryptedData(cipher, ivText), &error);
        QCOMPARE(out, ok ? secret : QString());
        QCOMPARE(error,
                 ok ? QStringLiteral("earlier") : QStringLiteral("Error encrypting data! [AES encryption/decryption: 31]"));
    }

    void failedRandomDrawEncryptsNothing()
    {
        QString error;
        setRandomSourceForTesting([](unsigned char *, int) { return false; });
        const EncryptedBytes out = PasswordCrypt(key).encryptPassword("secret", &error);
        setRandomSourceForTesting(nullptr);
        QCOMPARE(error, QStringLiteral("Error encrypting data! [AES encryption/decryption: 30]"));
        QVERIFY(out.ciphertext.isEmpty());
        QVERIFY(out.iv.isEmpty());
    }

    // BigNum.
    void fromHexText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expectedHex");
        QTest::newRow("empty") << "" << QString();
        QTest::newRow("leading digits only") << "1fzz12" << QString("1f");
        QTest::newRow("odd length") << "abc" << QString("0abc");
        QTest::newRow("leading zero bytes dropped")
                << "00112233445566778899aabbccddeeff" << QString("112233445566778899aabbccddeeff");
        QTest::newRow("minus sign is not a digit") << "-5" << QString();
    }

    void fromHexText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expectedHex);
        const BigNum fromQString(text);
        const QByteArray latin = text.toLatin1();
        QCOMPARE(fromQString.toHex(), expectedHex);
        QCOMPARE(BigNum(latin.constData()).toHex(), expectedHex);
        QVERIFY(BN_is_negative(fromQString.bn()) == 0);
        QVERIFY(BigNum(expectedHex) == fromQString);
    }

    void integers()
    {
        QCOMPARE(BigNum(0).toHex(), QString());
        QCOMPARE(BigNum(4095).toHex(), QString("0fff"));
        QCOMPARE(BigNum(65536).toHex(), QString("010000"));
        QVERIFY(BigNum() == BigNum(0));
        // Negative integers have no place in the protocol; they are taken as zero, not wrapped around.
        QVERIFY(BigNum(-3) == BigNum());
        QVERIFY(BigNum("fffffffffffffffffffffffffffffffffe") != BigNum(QString("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF")));
        QVERIFY(!(BigNum(255) == BigNum(256)));
    }

    // Codec.
    void hexToBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("all digits") << "0123456789abcdefABCDEF" << QByteArray::fromHex("0123456789abcdefabcdef");
        QTest::newRow("odd length") << "abc" << QByteArray::fromHex("0abc");
        QTest::newRow("blank inside, odd") << "12 34" << QByteArray::fromHex("012304");
        QTest::newRow("separators, even") << "12:34:" << QByteArray::fromHex("1234");
        QTest::newRow("non-latin skipped") << QString::fromUtf8("a\xc3\xa9"
                                                                "b")
                                           << QByteArray::fromHex("0a0b");
    }

    void hexToBytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(Codec::hexToBytes(text), expected);
    }

    void hexToBytesExact_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<bool>("expectedOk");

        // Lengths, blanks and separators at the cipher's level: see the AesCipher tests.
        const QString iv = "000102030405060708090a0b0c0d0e0f";
        QTest::newRow("iv") << iv << 16 << true;
        QTest::newRow("33 digits") << iv + "0" << 16 << false;
        QTest::newRow("32 characters with a non-digit") << "g" + iv.mid(1) << 16 << false;
        QTest::newRow("non-latin") << QString(iv.left(31)).append(QChar(0x00e9)) << 16 << false;
        QTest::newRow("zero bytes") << "" << 0 << true;
        QTest::newRow("negative count") << "" << -1 << false;
    }

    void hexToBytesExact()
    {
        QFETCH(QString, text);
        QFETCH(int, byteCount);
        QFETCH(bool, expectedOk);

        QByteArray out("untouched");
        QCOMPARE(Codec::hexToBytesExact(text, byteCount, &out), expectedOk);
        QCOMPARE(out, expectedOk ? QByteArray::fromHex(text.toLatin1()) : QByteArray("untouched"));
    }

    void bytesToHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");

        QTest::newRow("colon") << QByteArray::fromHex("000aff") << ":" << QString("00:0a:ff");
        QTest::newRow("none, lower case") << QByteArray::fromHex("abcdef80") << "" << QString("abcdef80");
        QTest::newRow("long separator") << QByteArray::fromHex("0102") << ", " << QString("01, 02");
    }

    void bytesToHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        QCOMPARE(Codec::bytesToHex(bytes.constData(), bytes.size(), separator), expected);
        QCOMPARE(Codec::toHex(bytes, separator), expected);
        if (separator.isEmpty()) {
            QCOMPARE(Codec::hexToBytes(expected), bytes);
            QCOMPARE(Codec::hexToBytes(expected.toUpper()), bytes);
        }
    }

    void edgeInputs()
    {
        const char bytes[] = {1, 2};
        QCOMPARE(Codec::bytesToHex(bytes, 0, ":"), QString());
        QCOMPARE(Codec::bytesToHex(bytes, -5, ":"), QString());
        QCOMPARE(Codec::bytesToHex(nullptr, 2, ":"), QString());
        QCOMPARE(Codec::utf8ToHex(QString::fromUtf8("\xc3\xa9"), " "), QString("c3 a9"));
        QCOMPARE(Codec::utf8ToHex("", " "), QString());
    }
};

QTEST_GUILESS_MAIN(TestCrypto)
#include "tst_crypto.moc"
