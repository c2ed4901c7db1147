// A listing reply of 10,000 and 100,000 objects (the development service's shape) decoded the way
// the file-safe interface does it, beside the general way through the JSON document.
// Counters per object: body_bytes = the reply body; list_bytes = heap held by the decoded list;
// peak_bytes = the heap's highest point while decoding, above where it stood with the body alone.
#include "bench/HeapCounter.h"
#include "net/FilesafeListingReader.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

QByteArray listingBody(int n)
{
    QByteArray body = "{\"status\":0,\"message\":\"\",\"data\":{\"filesafe_objects\":[";
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            body += ',';
        const bool folder = i % 101 == 0;
        body += "{\"object_id\":\"" + QByteArray::number(1000000 + i) + "\",\"path\":\"/Projects/d" +
                QByteArray::number(i / 101) + (folder ? QByteArray() : "/f" + QByteArray::number(i) + ".txt") +
                "\",\"size\":" + QByteArray::number(folder ? 0 : 40 + i % 7) +
                ",\"mtime\":\"2026-01-01 10:00:00\",\"access\":\"rcud\",\"type\":\"" + (folder ? "d" : "f") +
                "\",\"checksum\":\"" +
                (folder ? QByteArray() : "sha256:" + QByteArray::number(qHash(i), 16).repeated(8)) + "\"}";
    }
    return body + "]}}";
}

template<bool OnePass>
void decodeListing(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QByteArray body = listingBody(n);
    double listBytes = 0;
    double peakBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QByteArray reply = body;
        reply.detach(); // as the request hands over its own buffer
        const long long before = s_heap;
        s_peak = before;
        state.ResumeTiming();
        FilesafeObjectsTO_v2 listing;
        ErrorCode code = EC_OK;
        QString message;
        const bool ok = OnePass ? FilesafeListingReader::decode(reply, false, listing, code, message)
                                : FilesafeListingReader::decodeGeneral(reply, false, listing, code, message);
        if (!ok || listing.filesafeObjects.size() != n)
            state.SkipWithError("listing not read");
        benchmark::DoNotOptimize(listing);
        state.PauseTiming();
        // The body is released by now: what is held is the list.
        listBytes = double(s_heap - before + body.size());
        peakBytes = double(s_peak - before);
        listing = FilesafeObjectsTO_v2();
        state.ResumeTiming();
    }
    state.counters["body_bytes"] = double(body.size()) / n;
    state.counters["list_bytes"] = listBytes / n;
    state.counters["peak_bytes"] = peakBytes / n;
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * body.size());
}

void BM_Listing_OnePass(benchmark::State &state)
{
    decodeListing<true>(state);
}

void BM_Reference_Document(benchmark::State &state)
{
    decodeListing<false>(state);
}

} // namespace

BENCHMARK(BM_Listing_OnePass)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Document)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
