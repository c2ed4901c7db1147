// AES-256-CBC throughput of CipherCalculator against OpenSSL's own EVP loop on the same buffer,
// both fed 64 KiB at a time the way the transfer streams feed them.
#include "net/crypto/CipherCalculator.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QList>

namespace {

const int kChunk = 64 * 1024;
const int kTotal = 4 * 1024 * 1024;

const QByteArray &key()
{
    static const QByteArray bytes = [] {
        QByteArray k(32, '\0');
        RAND_bytes(reinterpret_cast<unsigned char *>(k.data()), k.size());
        return k;
    }();
    return bytes;
}

const QByteArray &iv()
{
    static const QByteArray bytes(16, '\x42');
    return bytes;
}

const QByteArray &plain()
{
    static const QByteArray bytes = [] {
        QByteArray p(kTotal, '\0');
        RAND_bytes(reinterpret_cast<unsigned char *>(p.data()), p.size());
        return p;
    }();
    return bytes;
}

const QByteArray &cipherText()
{
    static const QByteArray bytes = [] {
        CipherCalculator calculator;
        if (!calculator.encryptInit(EVP_aes_256_cbc(), key(), iv()) || !calculator.encryptUpdate(plain()) ||
            !calculator.encryptFinal()) {
            abort();
        }
        return calculator.takeResult();
    }();
    return bytes;
}

// The chunks as the streams hold them: separate byte arrays, shared with the source (no copy).
QList<QByteArray> chunksOf(const QByteArray &data)
{
    QList<QByteArray> chunks;
    for (int offset = 0; offset < data.size(); offset += kChunk) {
        chunks.append(QByteArray::fromRawData(data.constData() + offset, qMin(kChunk, data.size() - offset)));
    }
    return chunks;
}

void BM_CipherCalculatorEncrypt(benchmark::State &state)
{
    const QList<QByteArray> chunks = chunksOf(plain());
    for (auto _ : state) {
        CipherCalculator calculator;
        bool ok = calculator.encryptInit(EVP_aes_256_cbc(), key(), iv());
        for (const QByteArray &chunk : chunks) {
            ok = ok && calculator.encryptUpdate(chunk);
            const QByteArray out = calculator.takeResult();
            benchmark::DoNotOptimize(out.constData());
        }
        ok = ok && calculator.encryptFinal();
        benchmark::DoNotOptimize(calculator.takeResult());
        if (!ok) {
            state.SkipWithError("encryption failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * qint64(plain().size()));
}

void BM_EvpEncrypt(benchmark::State &state)
{
    const QByteArray &input = plain();
    std::vector<unsigned char> out(kChunk + 32);
    const auto *in = reinterpret_cast<const unsigned char *>(input.constData());
    for (auto _ : state) {
        EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
        int written = 0;
        bool ok = EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                                     reinterpret_cast<const unsigned char *>(key().constData()),
                                     reinterpret_cast<const unsigned char *>(iv().constData())) == 1;
        for (int offset = 0; ok && offset < input.size(); offset += kChunk) {
            ok = EVP_EncryptUpdate(context, out.data(), &written, in + offset, qMin(kChunk, input.size() - offset)) ==
                 1;
            benchmark::DoNotOptimize(out.data());
        }
        ok = ok && EVP_EncryptFinal_ex(context, out.data(), &written) == 1;
        benchmark::ClobberMemory();
        EVP_CIPHER_CTX_free(context);
        if (!ok) {
            state.SkipWithError("encryption failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * qint64(input.size()));
}

void BM_CipherCalculatorDecrypt(benchmark::State &state)
{
    const QList<QByteArray> chunks = chunksOf(cipherText());
    for (auto _ : state) {
        CipherCalculator calculator;
        bool ok = calculator.decryptInit(EVP_aes_256_cbc(), key(), iv());
        for (const QByteArray &chunk : chunks) {
            ok = ok && calculator.decryptUpdate(chunk);
            const QByteArray out = calculator.takeResult();
            benchmark::DoNotOptimize(out.constData());
        }
        ok = ok && calculator.decryptFinal();
        benchmark::DoNotOptimize(calculator.takeResult());
        if (!ok) {
            state.SkipWithError("decryption failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * qint64(cipherText().size()));
}

void BM_EvpDecrypt(benchmark::State &state)
{
    const QByteArray &input = cipherText();
    std::vector<unsigned char> out(kChunk + 128);
    const auto *in = reinterpret_cast<const unsigned char *>(input.constData());
    for (auto _ : state) {
        EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
        int written = 0;
        bool ok = EVP_DecryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                                     reinterpret_cast<const unsigned char *>(key().constData()),
                                     reinterpret_cast<const unsigned char *>(iv().constData())) == 1;
        for (int offset = 0; ok && offset < input.size(); offset += kChunk) {
            ok = EVP_DecryptUpdate(context, out.data(), &written, in + offset, qMin(kChunk, input.size() - offset)) ==
                 1;
            benchmark::DoNotOptimize(out.data());
        }
        ok = ok && EVP_DecryptFinal_ex(context, out.data(), &written) == 1;
        benchmark::ClobberMemory();
        EVP_CIPHER_CTX_free(context);
        if (!ok) {
            state.SkipWithError("decryption failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * qint64(input.size()));
}

} // namespace

// Interleaved so that both sides of each pair see the same machine conditions.
BENCHMARK(BM_EvpEncrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CipherCalculatorEncrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvpDecrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CipherCalculatorDecrypt)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
