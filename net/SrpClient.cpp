#include "net/SrpClient.h"

#include "net/crypto/AesCipher.h"
#include "net/crypto/Codec.h"
#include "net/crypto/CryptoPrimitives.h"
#include "net/SrpContext.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/hmac.h>

namespace {

const int ErrPubA = 24;
const int ErrSessionKey = 25;
const int ErrM1 = 26;

QString codeText(const char *text, int code)
{
    return QString::fromLatin1(text).arg(code);
}

} // namespace

SrpClient::SrpClient() = default;

SrpClient::~SrpClient()
{
    reset();
}

void SrpClient::reset()
{
    context.reset();
    // The texts hold the password; overwrite before release.
    password.fill(QChar(0));
    password.clear();
    userNameLower.clear();
}

void SrpClient::setup(const QString &userName, const QString &pw)
{
    reset();
    userNameLower = userName.toLower();
    password = pw;
    context = std::make_unique<SrpContext>(userNameLower, password);
}

bool SrpClient::init(const QString &userName, const QString &pw)
{
    setup(userName, pw);
    return randomBigNum(m_a, 32);
}

void SrpClient::initWithSecret(const QString &userName, const QString &pw, const QString &secretHex)
{
    setup(userName, pw);
    const BigNum a(secretHex);
    BN_copy(m_a.bn(), a.bn());
}

bool SrpClient::computeA(QString &aText, QString &error)
{
    // Without a drawn secret A would be 1 and the exchange would not depend on the password.
    if (!context || BN_is_zero(m_a.bn()) || !context->computeA(m_a, m_A)) {
        error = codeText("Failed to calculate public A (code:%1)", ErrPubA);
        return false;
    }
    aText = m_A.toHex();
    return true;
}

void SrpClient::setB(const QString &hex)
{
    const BigNum value(hex);
    BN_copy(m_B.bn(), value.bn());
}

void SrpClient::setSalt(const QString &hex)
{
    const BigNum value(hex);
    BN_copy(m_s.bn(), value.bn());
}

void SrpClient::setM2(const QString &hex)
{
    const BigNum value(hex);
    BN_copy(m_M2.bn(), value.bn());
}

bool SrpClient::checkServerValue(QString &error) const
{
    if (!context) {
        error = QStringLiteral("Invalid server value B");
        return false;
    }
    if (context->isDegenerateB(m_B)) {
        error = QStringLiteral("Invalid server value B");
        return false;
    }
    BigNum u;
    context->hash2(u, m_A, m_B);
    if (BN_is_zero(u.bn())) {
        error = QStringLiteral("Invalid server value B (u = 0)");
        return false;
    }
    return true;
}

bool SrpClient::computeSessionKey(QString &kText, QString &error)
{
    if (!context) {
        error = codeText("Failed to calculate X (code:%1)", ErrSessionKey);
        return false;
    }
    if (!context->computeX(m_x, m_s)) {
        error = codeText("Failed to calculate X (code:%1)", ErrSessionKey);
        return false;
    }
    if (!context->hash2(m_u, m_A, m_B)) {
        error = codeText("Failed to calculate U (code:%1)", ErrSessionKey);
        return false;
    }
    if (!context->computeS(m_S, m_a, m_B, m_x, m_u)) {
        error = codeText("Failed to calculate S (code:%1)", ErrSessionKey);
        return false;
    }
    if (!context->hash1(m_K, m_S)) {
        error = codeText("Failed to calculate K (code:%1)", ErrSessionKey);
        return false;
    }
    kText = m_K.toHex();
    return true;
}

bool SrpClient::computeM1(QString &m1Text, QString &error)
{
    if (!context || !context->computeM1(m_M1, m_s, m_A, m_B, m_K)) {
        error = codeText("Failed to calculate M1 (code:%1)", ErrM1);
        return false;
    }
    m1Text = m_M1.toHex();
    return true;
}

QString SrpClient::keyHex() const
{
    // K is a SHA-256 digest; its shortest form loses leading zero bytes (one K in 256), which
    // would make a short AES key. The key is the digest itself.
    return m_K.toHex().rightJustified(64, QLatin1Char('0'));
}

QString SrpClient::ivSlice(int from) const
{
    return m_A.toHex().mid(from, 32);
}

QString SrpClient::tanIv() const
{
    return ivSlice(0);
}

QString SrpClient::userKeyIv() const
{
    return ivSlice(32);
}

QString SrpClient::deviceIv() const
{
    return ivSlice(64);
}

QByteArray SrpClient::encryptWithIv(const QByteArray &plain, const QString &iv) const
{
    const AesCipher cipher(keyHex());
    QByteArray out;
    if (!cipher.encrypt(plain, out, iv)) {
        return QByteArray();
    }
    return out;
}

QByteArray SrpClient::encryptWithDerivedKey() const
{
    // The salt goes in as its text form read back: a salt sent with leading zero bytes loses them,
    // as it does on the service's side.
    const QByteArray salt = Codec::hexToBytes(saltHex());
    const QByteArray pw = password.toUtf8();
    unsigned char derived[32];
    if (!pbkdf2HmacSha256(pw.constData(), pw.size(), reinterpret_cast<const unsigned char *>(salt.constData()),
                          salt.size(), derived)) {
        return QByteArray();
    }
    const QByteArray key(reinterpret_cast<const char *>(derived), sizeof(derived));
    OPENSSL_cleanse(derived, sizeof(derived));
    return encryptWithIv(key, userKeyIv());
}

QByteArray SrpClient::encryptTanValue(const QString &text) const
{
    return encryptWithIv(text.toUtf8(), tanIv());
}

QByteArray SrpClient::encryptDeviceName(const QString &text) const
{
    return encryptWithIv(text.toUtf8(), deviceIv());
}

QString SrpClient::nextDeviceKeyValue(const QString &hex) const
{
    // The HMAC key is K's shortest form, as the service keys it.
    const QByteArray key = Codec::hexToBytes(QString::fromLatin1(m_K.toHex().toLatin1()));
    const QByteArray message = Codec::hexToBytes(QString::fromLatin1(hex.toLatin1()));
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macLength = 0;
    if (!HMAC(EVP_sha256(), key.constData(), key.size(), reinterpret_cast<const unsigned char *>(message.constData()),
              static_cast<size_t>(message.size()), mac, &macLength)) {
        return QString();
    }
    return Codec::bytesToHex(mac, static_cast<int>(macLength), QString());
}
