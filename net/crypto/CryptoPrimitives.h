#pragma once

class BigNum;

// Draws n bytes from the cryptographically strong generator. True only when all n bytes were
// drawn; on false the buffer must not be used (callers stop, never sending a zero IV or salt).
[[nodiscard]] bool randomBytes(void *buffer, int n);

// Sets the number to n random bytes read as an unsigned big-endian integer. False when the draw
// failed (the number is left as it was) or the result is zero.
[[nodiscard]] bool randomBigNum(BigNum &number, int n);

// PBKDF2 with HMAC-SHA-256 and one output block: writes 32 bytes to derivedKey. The password is
// taken as the exact bytes given. False (derivedKey untouched) for no iterations, negative
// lengths, or when the computation fails.
[[nodiscard]] bool pbkdf2HmacSha256(const void *password, int passwordLength, const void *salt, int saltLength,
                                    unsigned int iterations, void *derivedKey);
[[nodiscard]] bool pbkdf2HmacSha256(const void *password, int passwordLength, const void *salt, int saltLength,
                                    void *derivedKey);

// Test hook: replaces the generator behind randomBytes and randomBigNum; nullptr restores
// OpenSSL's. The source returns whether it filled all n bytes.
using RandomSource = bool (*)(unsigned char *buffer, int n);
void setRandomSourceForTesting(RandomSource source);
