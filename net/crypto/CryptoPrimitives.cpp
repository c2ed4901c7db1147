#include "net/crypto/CryptoPrimitives.h"

#include "net/crypto/BigNum.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <vector>

namespace {

const unsigned int kDefaultIterations = 500;
const int kDerivedKeyLength = 32;

RandomSource g_randomSource = nullptr;

} // namespace

void setRandomSourceForTesting(RandomSource source)
{
    g_randomSource = source;
}

bool randomBytes(void *buffer, int n)
{
    if (n < 0 || (n > 0 && !buffer)) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    auto *bytes = static_cast<unsigned char *>(buffer);
    if (g_randomSource) {
        return g_randomSource(bytes, n);
    }
    // RAND_bytes itself says whether the bytes were drawn; the generator's general status does not.
    return RAND_bytes(bytes, n) == 1;
}

bool randomBigNum(BigNum &number, int n)
{
    if (n <= 0) {
        return false;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(n), 0);
    bool ok = randomBytes(bytes.data(), n) && BN_bin2bn(bytes.data(), n, number.bn()) != nullptr;
    OPENSSL_cleanse(bytes.data(), bytes.size());
    return ok && !BN_is_zero(number.bn());
}

bool pbkdf2HmacSha256(const void *password, int passwordLength, const void *salt, int saltLength,
                      unsigned int iterations, void *derivedKey)
{
    // OpenSSL reads a length of -1 as "zero-terminated"; lengths here are always explicit.
    if (iterations == 0 || iterations > static_cast<unsigned int>(INT_MAX) || passwordLength < 0 || saltLength < 0 ||
        (passwordLength > 0 && !password) || (saltLength > 0 && !salt) || !derivedKey) {
        return false;
    }
    static const unsigned char empty = 0;
    unsigned char key[kDerivedKeyLength];
    const int ok =
            PKCS5_PBKDF2_HMAC(password ? static_cast<const char *>(password) : reinterpret_cast<const char *>(&empty),
                              passwordLength, salt ? static_cast<const unsigned char *>(salt) : &empty, saltLength,
                              static_cast<int>(iterations), EVP_sha256(), kDerivedKeyLength, key);
    if (ok != 1) {
        OPENSSL_cleanse(key, sizeof key);
        return false;
    }
    memcpy(derivedKey, key, sizeof key);
    OPENSSL_cleanse(key, sizeof key);
    return true;
}

bool pbkdf2HmacSha256(const void *password, int passwordLength, const void *salt, int saltLength, void *derivedKey)
{
    return pbkdf2HmacSha256(password, passwordLength, salt, saltLength, kDefaultIterations, derivedKey);
}
