// Whole runs of the coordinator against the development service on loopback: the first run of a
// tree, the no-change run (the event marker short-cut) and the no-change run with a full listing,
// beside unison and rclone bisync over the same tree between two local folders, and `find`.
// Also the first run of a smaller tree (files per second), the peak memory per file and the
// longest time the event loop went unserved during the runs.
// usage: bench_syncrun [files, default 100000] [small files, default 10000]
// unison and rclone are installed with apt-get when missing (the bench runs as root or not at all).
#include "tests/sync/SyncHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
qint64 vmHwmKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

// 100 files a folder, a few hundred bytes each, all different.
bool makeTree(const QString &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString dir = QStringLiteral("%1/d%2").arg(root).arg(i / 100, 4, 10, QLatin1Char('0'));
        if (i % 100 == 0 && !QDir().mkpath(dir)) {
            return false;
        }
        QFile file(QStringLiteral("%1/f%2.txt").arg(dir).arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(i).repeated(40)) <= 0) {
            return false;
        }
    }
    return true;
}

bool copyTree(const QString &from, const QString &to)
{
    return QProcess::execute("cp", {"-a", from + "/.", to}) == 0;
}

// Wall time of one external command; -1 when it fails.
double timedMs(const QString &program, const QStringList &args, const QString &what)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed (%d):\n%s\n", qPrintable(what), p.exitCode(),
                     p.readAll().right(2000).constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

bool ensureTool(const QString &tool)
{
    if (!QStandardPaths::findExecutable(tool).isEmpty()) {
        return true;
    }
    QProcess::execute("apt-get", {"install", "-y", "-q", "--no-install-recommends", tool});
    return !QStandardPaths::findExecutable(tool).isEmpty();
}

// The largest interval between two ticks of a 10 ms timer while it runs.
class GapMeter
{
public:
    GapMeter()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_maxGap = std::max(m_maxGap, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    qint64 maxGap() const { return m_maxGap; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
};

struct Run {
    QString end;
    int failed = 0;
    double ms = 0;
};

Run timedRun(SyncHarness &h, GapMeter &gaps)
{
    QElapsedTimer t;
    t.start();
    gaps.start();
    const SyncHarness::Outcome out = h.run(true, {}, 4 * 3600 * 1000);
    gaps.stop();
    return {out.end, out.nFailed, t.nsecsElapsed() / 1e6};
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int smallFiles = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;

    SyncHarness h;
    if (!h.start()) {
        std::fprintf(stderr, "devservice: %s\n", qPrintable(h.error()));
        return 1;
    }
    // The harness shortens the pump for tests; the bench runs with the product's timing.
    Syncher::setPumpTiming(500);
    Request::setTimeoutCap(60000);
    GapMeter smallGaps;
    GapMeter gaps;

    // The small tree first: files per second of a first run.
    if (!h.newSetting() || !makeTree(h.localDir(), smallFiles)) {
        std::fprintf(stderr, "small tree: %s\n", qPrintable(h.error()));
        return 1;
    }
    const Run small = timedRun(h, smallGaps);
    std::printf("first run, %d files: %s, %d failed, %.0f ms\n", smallFiles, qPrintable(small.end), small.failed,
                small.ms);

    if (!h.newSetting() || !makeTree(h.localDir(), files)) {
        std::fprintf(stderr, "tree: %s\n", qPrintable(h.error()));
        return 1;
    }
    const qint64 base = vmHwmKiB();
    const Run first = timedRun(h, gaps);
    std::printf("first run, %d files: %s, %d failed, %.0f ms\n", files, qPrintable(first.end), first.failed, first.ms);
    // The first run's own uploads moved the safe's last-event marker past the one it stored: the
    // run after it lists the service in full, and only the one after that may take the short-cut.
    const SyncSetting setting = h.settings().value(0);
    SyncSettingsDao::instance()->updateLastSync(setting.id(), QString());
    const Run listing = timedRun(h, gaps);
    std::printf("no-change run, full listing: %s, %.0f ms\n", qPrintable(listing.end), listing.ms);
    const Run noChange = timedRun(h, gaps);
    std::printf("no-change run: %s, %.0f ms\n", qPrintable(noChange.end), noChange.ms);
    const qint64 peak = vmHwmKiB();
    const double bytesPerFile = double(peak - base) * 1024.0 / files;
    std::printf("VmHWM %lld KiB before the runs, %lld KiB after: %.0f bytes a file\n",
                static_cast<long long>(base), static_cast<long long>(peak), bytesPerFile);
    const qint64 maxGap = std::max(gaps.maxGap(), smallGaps.maxGap());
    std::printf("longest unserved event loop: %lld ms\n", static_cast<long long>(maxGap));

    // The references, on a copy of the same tree between two local folders.
    QTemporaryDir refs;
    const QString a = refs.filePath("a"), b = refs.filePath("b");
    QDir().mkpath(a);
    QDir().mkpath(b);
    copyTree(h.localDir(), a);
    const double findMs = timedMs("find", {a, "-type", "f"}, "find");
    double unisonMs = -1, rcloneMs = -1;
    if (ensureTool("unison")) {
        const QString ub = refs.filePath("ub");
        QDir().mkpath(ub);
        const QStringList args = {a, ub, "-batch", "-auto", "-silent", "-perms", "0",
                                   "-fastcheck", "true"};
        if (timedMs("unison", args, "unison first run") >= 0) {
            unisonMs = timedMs("unison", args, "unison");
        }
    }
    if (ensureTool("rclone")) {
        const QString cache = refs.filePath("rclone-cache");
        const QStringList common = {"--config", refs.filePath("rclone.conf"), "--cache-dir", cache,
                                    "--max-delete", "100"};
        if (timedMs("rclone", QStringList{"bisync", a, b, "--resync"} + common, "rclone first run") >= 0) {
            rcloneMs = timedMs("rclone", QStringList{"bisync", a, b} + common, "rclone");
        }
    }
    std::printf("find %.0f ms, unison %.0f ms, rclone bisync %.0f ms\n", findMs, unisonMs, rcloneMs);

    const double filesPerSecond = small.ms > 0 ? smallFiles * 1000.0 / small.ms : 0;
    std::printf("RESULT {\"files\": %d, \"first_run_ms\": %.1f, \"no_change_ms\": %.1f, \"full_listing_ms\": %.1f, "
                "\"unison_ms\": %.1f, \"rclone_ms\": %.1f, \"find_ms\": %.1f}\n",
                files, first.ms, noChange.ms, listing.ms, unisonMs, rcloneMs, findMs);
    std::printf("RESULT {\"small_files\": %d, \"small_first_run_ms\": %.1f, \"files_per_second\": %.1f}\n", smallFiles,
                small.ms, filesPerSecond);
    std::printf("RESULT {\"bytes_per_file\": %.1f, \"base_kib\": %lld, \"peak_kib\": %lld}\n", bytesPerFile,
                static_cast<long long>(base), static_cast<long long>(peak));
    std::printf("RESULT {\"max_loop_gap_ms\": %lld}\n", static_cast<long long>(maxGap));
    const bool ok = small.end == "finished" && first.end == "finished" && noChange.end == "finished" &&
                    listing.end == "finished" && small.failed == 0 && first.failed == 0;
    return ok ? 0 : 1;
}
