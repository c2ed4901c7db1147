// Planning of a setting whose files are all unchanged (local scan, last state and listing hold the
// same 10,000 or 100,000 files in folders of 100), beside the least any per-path planner does:
// the union of the keys, three look-ups and one action appended per path.
// Counters: bytes_per_path = heap held by the finished plan; peak_per_path = the heap's highest
// point while planning, above where it stood before, per path; snapshots_per_path = heap held by
// the three snapshots (bench/HeapCounter.h counts).
#include "sync/ProgressInfo.h"
#include "sync/SyncPlanner.h"
#include "sync/SyncState.h"
#include "sync/Syncher.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include "bench/HeapCounter.h"

#include <benchmark/benchmark.h>

namespace {

const QString kSum = QStringLiteral("sha256:9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");

struct Snapshots
{
    SyncState local{QStringLiteral("/home/u/Sync/"), 7};
    SyncState last{QStringLiteral("/home/u/Sync/"), 7};
    SyncState remote{QStringLiteral("/Projects"), 7};
};

Snapshots makeSnapshots(int n)
{
    Snapshots s;
    const QDateTime lt = QDateTime::fromMSecsSinceEpoch(1480000000000LL);
    const QDateTime rt = QDateTime::fromMSecsSinceEpoch(1480000005000LL);
    for (int i = 0; i < n; ++i) {
        const QString id = QStringLiteral("obj-%1").arg(i);
        const QString path = QStringLiteral("folder-%1/report-%2.docx").arg(i / 100).arg(i);
        s.local.add(FsObject(QString(), path, 1000 + i, lt, QDateTime(), QString(), QStringLiteral("f"), QString()));
        s.last.add(FsObject(id, path, 1000 + i, lt, rt, QStringLiteral("rcud"), QStringLiteral("f"), kSum));
        s.remote.add(FsObject(id, path, 1000 + i, QDateTime(), rt, QStringLiteral("rcud"), QStringLiteral("f"), kSum));
        if (i % 100 == 0) {
            const QString dir = QStringLiteral("folder-%1").arg(i / 100);
            const QString dirId = QStringLiteral("dir-%1").arg(i / 100);
            s.local.add(FsObject(QString(), dir, 4096, lt, QDateTime(), QString(), QStringLiteral("d"), QString()));
            s.last.add(FsObject(dirId, dir, 4096, lt, rt, QStringLiteral("rcud"), QStringLiteral("d"), QString()));
            s.remote.add(
                    FsObject(dirId, dir, 0, QDateTime(), rt, QStringLiteral("rcud"), QStringLiteral("d"), QString()));
        }
    }
    // As the listing's analysis hands it over: checked for names equal under case folding.
    s.remote.findCaseCollisions();
    return s;
}

SyncSetting settingOf()
{
    SyncSetting setting;
    setting.setId(7);
    setting.setLocalDir(QStringLiteral("/home/u/Sync/"));
    setting.setRemoteDir(QStringLiteral("/Projects"));
    setting.setSafeName(QStringLiteral("Private"));
    return setting;
}

Syncher *s_syncher = nullptr;

void BM_Planner_Unchanged(benchmark::State &state)
{
    const int n = int(state.range(0));
    const long long empty = s_heap;
    const Snapshots s = makeSnapshots(n);
    const double snapshotBytes = double(s_heap - empty);
    const SyncSetting setting = settingOf();
    double planBytes = 0;
    double peakBytes = 0;
    for (auto _ : state) {
        SyncPlanner planner(setting);
        planner.setRequest([](bool ok, int activity, const QString &message, SyncAction *action) {
            return s_syncher->Request(ok, activity, message, action);
        });
        planner.setStopCheck([] { return s_syncher->isStopRequested(); });
        planner.setCountActions([](const QList<SyncAction> &plan) { s_syncher->countActions(plan); });
        const long long before = s_heap;
        s_peak = before;
        QList<SyncAction> plan = planner.build(s.local, s.last, s.remote);
        planBytes = double(s_heap - before);
        peakBytes = double(s_peak - before);
        if (plan.size() != n + n / 100)
            state.SkipWithError("plan of the wrong size");
        benchmark::DoNotOptimize(plan);
        state.PauseTiming();
        plan.clear();
        state.ResumeTiming();
    }
    state.counters["bytes_per_path"] = planBytes / (n + n / 100);
    state.counters["peak_per_path"] = peakBytes / (n + n / 100);
    state.counters["snapshots_per_path"] = snapshotBytes / (n + n / 100);
    state.counters["ns_per_path"] = benchmark::Counter(
            double(n + n / 100), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The union of the keys of the three snapshots, each once, in no particular order.
QStringList unionOfKeys(const SyncState &last, const SyncState &local, const SyncState &remote)
{
    // Each key once, found by look-ups in the states already there rather than by a set of its own.
    const QHash<QString, FsObject> &s = last.objects();
    const QHash<QString, FsObject> &l = local.objects();
    const QHash<QString, FsObject> &r = remote.objects();
    QStringList all;
    all.reserve(qMax(s.size(), qMax(l.size(), r.size())));
    for (auto it = s.constBegin(); it != s.constEnd(); ++it)
        all.append(it.key());
    if (!l.isSharedWith(s)) {
        for (auto it = l.constBegin(); it != l.constEnd(); ++it) {
            if (!s.contains(it.key()))
                all.append(it.key());
        }
    }
    if (!r.isSharedWith(s) && !r.isSharedWith(l)) {
        for (auto it = r.constBegin(); it != r.constEnd(); ++it) {
            if (!s.contains(it.key()) && !l.contains(it.key()))
                all.append(it.key());
        }
    }
    return all;
}

void BM_Reference_Lookups(benchmark::State &state)
{
    const int n = int(state.range(0));
    const Snapshots s = makeSnapshots(n);
    const SyncSetting setting = settingOf();
    for (auto _ : state) {
        const QStringList paths = unionOfKeys(s.last, s.local, s.remote);
        QList<SyncAction> plan;
        plan.reserve(paths.size());
        for (const QString &path : paths) {
            const FsObject l = s.local.get(path);
            const FsObject t = s.last.get(path);
            const FsObject r = s.remote.get(path);
            SyncAction action;
            action.setSyncSetting(setting);
            action.setName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
            action.setLocalSize(l.size());
            action.setRemoteSize(r.size() + t.size());
            plan.append(action);
        }
        benchmark::DoNotOptimize(plan);
        state.PauseTiming();
        plan.clear();
        state.ResumeTiming();
    }
    state.counters["ns_per_path"] = benchmark::Counter(
            double(n + n / 100), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_Planner_Unchanged)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Lookups)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // As in a running client at its usual level: no per-path debug lines.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    // The pump as in production, less the 100 ms pauses on a change of activity (three per plan),
    // which only give the views time and are not planning work.
    Syncher::setPumpTiming(500, 0);
    Syncher syncher(nullptr, nullptr);
    s_syncher = &syncher;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
