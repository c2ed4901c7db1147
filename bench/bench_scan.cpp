// The local scan of a synchronised folder beside find(1) on the same tree, in one run: a tree of
// 100,000 files in 1,000 folders (by default), both warm, each timed several times (median).
// Also the scan's memory: the process's resident high-water mark above the level before the scan
// (reset through /proc/self/clear_refs) and the heap the finished snapshot holds, per file.
// usage: bench_scan [folders, default 1000] [files per folder, default 100] [rounds, default 5]
#include "sync/SyncState.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

namespace {

qint64 statusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int folders = argc > 1 ? atoi(argv[1]) : 1000;
    const int perFolder = argc > 2 ? atoi(argv[2]) : 100;
    const int rounds = argc > 3 ? atoi(argv[3]) : 5;

    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/Safe");
    for (int d = 0; d < folders; ++d) {
        // Names of a realistic length, a few levels deep.
        const QString folder =
                QStringLiteral("%1/projects-%2/section-%3/folder-%4").arg(root).arg(d % 10).arg(d % 100).arg(d);
        QDir().mkpath(folder);
        for (int f = 0; f < perFolder; ++f) {
            QFile file(QStringLiteral("%1/document-%2-report.txt").arg(folder).arg(f));
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            file.write("x");
        }
    }
    const int files = folders * perFolder;

    auto runFind = [&root]() {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start(QStringLiteral("find"), {root, QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\n")});
        find.waitForFinished(-1);
    };
    runFind(); // warm the caches for both

    std::vector<double> ours, reference;
    int count = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        runFind();
        reference.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        SyncState state(root, 1);
        count = state.scanLocal([]() { return true; });
        ours.push_back(t.nsecsElapsed() / 1e6);
    }

    malloc_trim(0);
    const size_t heapBefore = mallinfo2().uordblks;
    const qint64 rssBefore = statusKiB("VmRSS:");
    const bool peakReset = resetPeak();
    SyncState kept(root, 1);
    kept.scanLocal();
    const qint64 peak = statusKiB("VmHWM:");
    const size_t heapAfter = mallinfo2().uordblks;

    const double oursMs = median(ours);
    const double findMs = median(reference);
    std::printf("tree: %d files in %d folders (%d objects scanned)\n", files, folders, count);
    std::printf("scan: %.1f ms   find -printf: %.1f ms   ratio: %.2f (median of %d)\n", oursMs, findMs, oursMs / findMs,
                rounds);
    std::printf("snapshot heap: %.0f bytes per file\n", double(heapAfter - heapBefore) / files);
    if (peakReset)
        std::printf("scan peak above start: %.0f bytes per file (VmHWM %lld KiB, VmRSS before %lld KiB)\n",
                    double(peak - rssBefore) * 1024 / files, peak, rssBefore);
    else
        std::printf("scan peak: not measured (/proc/self/clear_refs not writable)\n");
    // One line for scripts/bench.
    std::printf("RESULT {\"files\": %d, \"scan_ms\": %.3f, \"find_ms\": %.3f, \"heap_per_file\": %.1f, "
                "\"peak_per_file\": %.1f}\n",
                files, oursMs, findMs, double(heapAfter - heapBefore) / files,
                peakReset ? double(peak - rssBefore) * 1024 / files : -1.0);
    return 0;
}
