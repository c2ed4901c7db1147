// Throughput of the upload and download streams without a network, beside OpenSSL's own
// AES-256-CBC loop over the same 256 MiB in the same run.
#include "net/AesCryptDevice.h"
#include "net/DownloadFile.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <unistd.h>

namespace {
constexpr int kTotal = 256 * 1024 * 1024;
const QByteArray kKey = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray kIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QString kIvText = QStringLiteral("000102030405060708090a0b0c0d0e0f");

const QByteArray &plainData()
{
    static const QByteArray data = [] {
        QByteArray d(kTotal, Qt::Uninitialized);
        quint32 x = 12345;
        for (int i = 0; i < d.size(); ++i) {
            x = x * 1103515245u + 12345u;
            d[i] = char(x >> 24);
        }
        return d;
    }();
    return data;
}

QByteArray opensslOneShot(bool encrypt, const QByteArray &in)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QByteArray out(in.size() + 32, Qt::Uninitialized);
    int n1 = 0, n2 = 0;
    EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char *>(kKey.data()),
                      reinterpret_cast<const unsigned char *>(kIv.data()), encrypt ? 1 : 0);
    EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char *>(out.data()), &n1,
                     reinterpret_cast<const unsigned char *>(in.data()), in.size());
    EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char *>(out.data()) + n1, &n2);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(n1 + n2);
    return out;
}

const QByteArray &cipherData()
{
    static const QByteArray data = opensslOneShot(true, plainData());
    return data;
}

// OpenSSL's own loop: chunk-sized updates into one reused buffer.
void opensslLoop(benchmark::State &state, bool encrypt, const QByteArray &in, QFile *sink)
{
    const int chunk = int(state.range(0));
    QByteArray out(chunk + 32, Qt::Uninitialized);
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    for (auto _ : state) {
        EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
        EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char *>(kKey.data()),
                          reinterpret_cast<const unsigned char *>(kIv.data()), encrypt ? 1 : 0);
        if (sink) {
            sink->resize(0);
            sink->seek(0);
        }
        for (int pos = 0; pos < in.size(); pos += chunk) {
            int n = 0;
            EVP_CipherUpdate(ctx, o, &n, reinterpret_cast<const unsigned char *>(in.data()) + pos,
                             std::min(chunk, in.size() - pos));
            if (sink) {
                sink->write(out.constData(), n);
                sink->flush();
            }
            benchmark::DoNotOptimize(o);
        }
        int n = 0;
        EVP_CipherFinal_ex(ctx, o, &n);
        if (sink) {
            sink->write(out.constData(), n);
            sink->flush();
            // The download sink makes its file durable before the rename; the reference does the same.
            ::fsync(sink->handle());
        }
        EVP_CIPHER_CTX_free(ctx);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

void BM_OpensslEncrypt(benchmark::State &state)
{
    opensslLoop(state, true, plainData(), nullptr);
}

void BM_AesCryptDevice(benchmark::State &state)
{
    const int chunk = int(state.range(0));
    QByteArray out(chunk, Qt::Uninitialized);
    for (auto _ : state) {
        QBuffer source;
        source.setData(plainData());
        AesCryptDevice device(kKey, kIvText, &source);
        device.open(QIODevice::ReadOnly);
        qint64 total = 0;
        for (qint64 n; (n = device.read(out.data(), chunk)) > 0;) {
            total += n;
        }
        if (total != device.size()) {
            state.SkipWithError("short ciphertext");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kTotal);
}

void BM_OpensslDecrypt(benchmark::State &state)
{
    opensslLoop(state, false, cipherData(), nullptr);
}

void BM_OpensslDecryptToFile(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile sink(dir.filePath("sink"));
    sink.open(QIODevice::ReadWrite);
    opensslLoop(state, false, cipherData(), &sink);
}

void BM_DownloadFile(benchmark::State &state)
{
    const int chunk = int(state.range(0));
    const QByteArray &in = cipherData();
    QTemporaryDir dir;
    for (auto _ : state) {
        DownloadFile file(dir.path() + QStringLiteral("/~$bench_XXXXXX.tessarvale"), kKey);
        file.initDecryption(kIvText);
        for (int pos = 0; pos < in.size(); pos += chunk) {
            file.appendChunk(QByteArray::fromRawData(in.constData() + pos, std::min(chunk, in.size() - pos)));
        }
        if (!file.finish() || file.plainSize() != kTotal) {
            state.SkipWithError("decryption failed");
        }
        file.removeFile();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kTotal);
}
} // namespace

BENCHMARK(BM_OpensslEncrypt)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AesCryptDevice)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpensslDecrypt)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpensslDecryptToFile)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownloadFile)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
