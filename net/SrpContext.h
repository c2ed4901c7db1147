#pragma once

#include "net/crypto/BigNum.h"

#include <QString>

#include <openssl/evp.h>

// The group, hash and formulas of the sign-in's SRP-6 variant: the 1024-bit group of RFC 5054,
// SHA-256, k = 3, u = H(A, B) without padding, and every number hashed as its shortest bytes.
// The service computes the same way, so none of these choices can change on one side only.
class SrpContext
{
public:
    SrpContext(const QString &userName, const QString &password);

    SrpContext(const SrpContext &) = delete;
    SrpContext &operator=(const SrpContext &) = delete;

    // A = g^a mod N.
    bool computeA(const BigNum &a, BigNum &A) const;
    // x = H(s, H(I ":" P)); refused (x untouched) without a salt, a user name or a password.
    bool computeX(BigNum &x, const BigNum &s) const;
    // u = H(A, B).
    bool hash2(BigNum &u, const BigNum &A, const BigNum &B) const;
    // S = (B - k g^x)^(a + u x) mod N.
    bool computeS(BigNum &S, const BigNum &a, const BigNum &B, const BigNum &x, const BigNum &u) const;
    // K = H(S).
    bool hash1(BigNum &K, const BigNum &S) const;
    // M1 = H(H(N) xor H(g), H(I), s, A, B, K).
    bool computeM1(BigNum &M1, const BigNum &s, const BigNum &A, const BigNum &B, const BigNum &K) const;
    // r = H(p, q, t): the value a server proof H(A, M1, K) would be compared with.
    bool hash3(BigNum &r, const BigNum &p, const BigNum &q, const BigNum &t) const;

    // True when B mod N is zero: such a B makes S predictable without the password.
    bool isDegenerateB(const BigNum &B) const;

    const BigNum &N() const { return m_N; }
    const BigNum &g() const { return m_g; }
    const BigNum &k() const { return m_k; }
    const EVP_MD *digest() const { return m_digest; }

    static const char *const groupPrimeHex;

private:
    BigNum m_N;
    BigNum m_g;
    BigNum m_k;
    QString m_I;
    QString m_P;
    const EVP_MD *m_digest;
};
