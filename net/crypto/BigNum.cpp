#include "net/crypto/BigNum.h"

#include "net/crypto/R7Exception.h"

#include <openssl/crypto.h>

#include <cctype>

BigNum::BigNum()
{
    init();
}

BigNum::BigNum(int value)
{
    init();
    BN_set_word(m_bn, static_cast<BN_ULONG>(value < 0 ? 0 : value));
}

BigNum::BigNum(const char *hex)
{
    init();
    setHex(QByteArray(hex ? hex : ""));
}

BigNum::BigNum(const QString &hex)
{
    init();
    setHex(hex.toUtf8());
}

BigNum::~BigNum()
{
    BN_CTX_free(m_ctx);
    BN_clear_free(m_bn);
}

void BigNum::init()
{
    m_bn = BN_new();
    if (!m_bn) {
        throw R7Exception("BN_new failed");
    }
    m_ctx = BN_CTX_new();
    if (!m_ctx) {
        BN_free(m_bn);
        m_bn = nullptr;
        throw R7Exception("BN_CTX_new failed");
    }
}

void BigNum::setHex(const QByteArray &hex)
{
    // BN_hex2bn stops at the first character that is not a digit; it leaves the number as it was
    // when there is none, which for a fresh number is zero. A leading '-' would make it negative,
    // and the numbers of this protocol never are: only the digits themselves are passed on.
    int digits = 0;
    while (digits < hex.size() && isxdigit(static_cast<unsigned char>(hex.at(digits)))) {
        ++digits;
    }
    if (digits == 0) {
        BN_zero(m_bn);
        return;
    }
    const QByteArray leading = hex.left(digits);
    BIGNUM *result = m_bn;
    if (!BN_hex2bn(&result, leading.constData())) {
        BN_zero(m_bn);
    }
}

QString BigNum::toHex() const
{
    char *raw = BN_bn2hex(m_bn);
    if (!raw) {
        return QString();
    }
    QString text = QString::fromLatin1(raw).toLower();
    OPENSSL_free(raw);
    if (text.startsWith(QLatin1Char('0')) && text.size() % 2 == 1) {
        text.remove(0, 1);
    }
    return text;
}

bool BigNum::operator==(const BigNum &other) const
{
    return BN_cmp(m_bn, other.m_bn) == 0;
}
