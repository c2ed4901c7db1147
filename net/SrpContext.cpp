#include "net/SrpContext.h"

#include "net/crypto/DigestCalculator.h"

#include <openssl/bn.h>

#include <array>

// RFC 5054, Appendix A, the 1024-bit group.
const char *const SrpContext::groupPrimeHex =
        "eeaf0ab9adb38dd69c33f80afa8fc5e86072618775ff3c0b9ea2314c9c256576d674df7496ea81d3383b4813d692c6e0"
        "e0d5d8e250b98be48e495c1d6089dad15dc7d7b46154d6b6ce8ef4ad69b15d4982559b297bcf1885c529f566660e57ec"
        "68edbc3c05726cc02fd4cbf4976eaa9afd5138fe8376435b9fc61d2fc0eb06e3";

namespace {

using Digest = std::array<unsigned char, 32>;

struct CtxGuard
{
    BN_CTX *ctx = BN_CTX_new();
    ~CtxGuard() { BN_CTX_free(ctx); }
};

} // namespace

SrpContext::SrpContext(const QString &userName, const QString &password)
    : m_N(groupPrimeHex)
    , m_g(2)
    , m_k(3)
    , m_I(userName)
    , m_P(password)
    , m_digest(EVP_get_digestbyname("SHA256"))
{}

bool SrpContext::computeA(const BigNum &a, BigNum &A) const
{
    CtxGuard tmp;
    if (!tmp.ctx) {
        return false;
    }
    return BN_mod_exp(A.bn(), m_g.bn(), a.bn(), m_N.bn(), tmp.ctx) == 1;
}

bool SrpContext::computeX(BigNum &x, const BigNum &s) const
{
    if (BN_is_zero(s.bn()) || m_I.isEmpty() || m_P.isEmpty()) {
        return false;
    }
    DigestCalculator inner(m_digest);
    inner.update(m_I);
    inner.update(":");
    inner.update(m_P);
    Digest userHash{};
    inner.final(userHash.data());

    DigestCalculator outer(m_digest);
    outer.update(s);
    outer.update(userHash.data(), static_cast<int>(userHash.size()));
    outer.finalToBigNum(x);
    return true;
}

bool SrpContext::hash2(BigNum &u, const BigNum &A, const BigNum &B) const
{
    DigestCalculator h(m_digest);
    h.update(A);
    h.update(B);
    h.finalToBigNum(u);
    return true;
}

bool SrpContext::computeS(BigNum &S, const BigNum &a, const BigNum &B, const BigNum &x, const BigNum &u) const
{
    CtxGuard tmp;
    if (!tmp.ctx) {
        return false;
    }
    BigNum t;
    BigNum e;
    if (!BN_mod_exp(t.bn(), m_g.bn(), x.bn(), m_N.bn(), tmp.ctx)) {
        return false;
    }
    if (!BN_mod_mul(t.bn(), m_k.bn(), t.bn(), m_N.bn(), tmp.ctx)) {
        return false;
    }
    if (!BN_mod_sub(t.bn(), B.bn(), t.bn(), m_N.bn(), tmp.ctx)) {
        return false;
    }
    if (!BN_mod_mul(e.bn(), u.bn(), x.bn(), m_N.bn(), tmp.ctx)) {
        return false;
    }
    if (!BN_mod_add(e.bn(), a.bn(), e.bn(), m_N.bn(), tmp.ctx)) {
        return false;
    }
    return BN_mod_exp(S.bn(), t.bn(), e.bn(), m_N.bn(), tmp.ctx) == 1;
}

bool SrpContext::hash1(BigNum &K, const BigNum &S) const
{
    DigestCalculator h(m_digest);
    h.update(S);
    h.finalToBigNum(K);
    return true;
}

bool SrpContext::computeM1(BigNum &M1, const BigNum &s, const BigNum &A, const BigNum &B, const BigNum &K) const
{
    Digest hN{};
    Digest hg{};
    Digest hI{};
    {
        DigestCalculator h(m_digest);
        h.update(m_N);
        h.final(hN.data());
        h.update(m_g);
        h.final(hg.data());
        h.update(m_I);
        h.final(hI.data());
    }
    Digest mixed{};
    for (size_t i = 0; i < mixed.size(); ++i) {
        mixed[i] = hN[i] ^ hg[i];
    }
    DigestCalculator h(m_digest);
    h.update(mixed.data(), static_cast<int>(mixed.size()));
    h.update(hI.data(), static_cast<int>(hI.size()));
    h.update(s);
    h.update(A);
    h.update(B);
    h.update(K);
    h.finalToBigNum(M1);
    return true;
}

bool SrpContext::hash3(BigNum &r, const BigNum &p, const BigNum &q, const BigNum &t) const
{
    DigestCalculator h(m_digest);
    h.update(p);
    h.update(q);
    h.update(t);
    h.finalToBigNum(r);
    return true;
}

bool SrpContext::isDegenerateB(const BigNum &B) const
{
    CtxGuard tmp;
    BigNum rem;
    if (!tmp.ctx || !BN_nnmod(rem.bn(), B.bn(), m_N.bn(), tmp.ctx)) {
        return true;
    }
    return BN_is_zero(rem.bn());
}
