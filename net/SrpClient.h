#pragma once

#include "net/crypto/BigNum.h"

#include <QByteArray>
#include <QString>

#include <memory>

class SrpContext;

// The SRP state of one sign-in and the derivations made with its session key K.
class SrpClient
{
public:
    SrpClient();
    ~SrpClient();

    SrpClient(const SrpClient &) = delete;
    SrpClient &operator=(const SrpClient &) = delete;

    // Keeps the lower-cased name and the password and draws the secret a. False when no secret
    // could be drawn.
    bool init(const QString &userName, const QString &password);
    // The same with a given secret, for checks against known values.
    void initWithSecret(const QString &userName, const QString &password, const QString &secretHex);

    bool computeA(QString &aText, QString &error);
    void setB(const QString &hex);
    void setSalt(const QString &hex);
    void setM2(const QString &hex);

    // Refuses a B that is 0 mod N or that makes u zero; either would let anyone who sees the
    // exchange compute K without the password.
    bool checkServerValue(QString &error) const;

    bool computeSessionKey(QString &kText, QString &error);
    bool computeM1(QString &m1Text, QString &error);

    // K as an AES-256 key: all 32 bytes of the digest, leading zero bytes kept.
    QString keyHex() const;

    QByteArray encryptWithDerivedKey() const;
    QByteArray encryptTanValue(const QString &text) const;
    QByteArray encryptDeviceName(const QString &text) const;
    QString nextDeviceKeyValue(const QString &hex) const;

    QString saltHex() const { return m_s.toHex(); }
    QString tanIv() const;
    QString userKeyIv() const;
    QString deviceIv() const;

    const QString &userName() const { return userNameLower; }
    const BigNum &serverProof() const { return m_M2; }

private:
    void reset();
    void setup(const QString &userName, const QString &password);
    QByteArray encryptWithIv(const QByteArray &plain, const QString &iv) const;
    QString ivSlice(int from) const;

    std::unique_ptr<SrpContext> context;
    QString userNameLower;
    QString password;
    BigNum m_a;
    BigNum m_A;
    BigNum m_s;
    BigNum m_B;
    BigNum m_M1;
    BigNum m_M2;
    BigNum m_x;
    BigNum m_u;
    BigNum m_S;
    BigNum m_K;
};
