// Whole runs of the coordinator against the development service on loopback, with the
// application's message handler at its default level. A run is timed until its synchroniser is
// gone and what it held is freed, and the time spent waiting for the service (the safe list and
// the listing, from the request to the last byte of the reply) is told apart.
//
// A tree of `files` files is seeded on both sides (the service's seed command and the same files
// written here), so the first run only records the state of every file. Then the no-change run
// with a full listing and the no-change run on the event marker's short-cut, `repeats` times each,
// beside unison -batch, rclone bisync and find over the same tree between two local folders. Each
// run's peak memory above its start (VmHWM, reset before the run), its planning time and the longest
// time the event loop went unserved are taken from the run itself.
//
// The synchroniser pauses 100 ms at each change of activity, about ten times a run, whatever the
// tree's size. Each run counts its pauses and their time; the planning time is given without the
// pauses inside it, the run's time and its longest unserved loop with them and without.
//
// Separately, the first upload of `small` files, beside a minimal keep-alive client doing the same
// requests on the same session (bench/upload_loop.py), alternating, `repeats` times each; after each
// upload a full-listing no-change run gives the planning time at that size.
//
// Last, one file of 1 GiB: the engine's reader against a bare OpenSSL loop over the same file in
// the page cache (SHA-256, taking turns, three times each, medians), then its upload to a safe with
// room for it and a run that compares its content (same size, another time), each with the longest
// unserved loop: from the start of the upload to its first block sent, and during that plan.
//
// usage: bench_syncrun [files, default 100000] [small files, default 10000] [repeats, default 3]
// unison and rclone are installed with apt-get when missing (the bench runs as root or not at all).
#include "core/MessageHandler.h"
#include "sync/DeferredRelease.h"
#include "sync/LocalFileReader.h"
#include "tests/sync/SyncHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <malloc.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
qint64 statusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

// Gives freed memory back and starts the peak (VmHWM) afresh from the current size; the start.
qint64 resetPeak()
{
    malloc_trim(0);
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1) {
        std::fprintf(stderr, "cannot reset VmHWM: the peak is the process's own\n");
    }
    refs.close();
    return statusKiB("VmRSS:");
}

QString treePath(const QString &root, int i, int perFolder)
{
    return QStringLiteral("%1/d%2/f%3.txt").arg(root).arg(i / perFolder, 4, 10, QLatin1Char('0')).arg(i);
}

// The tree of the service's seed command: folder dNNNN holds 100 files, file i holds i as decimal
// text 40 times.
bool makeTree(const QString &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString path = treePath(root, i, 100);
        if (i % 100 == 0 && !QDir().mkpath(QFileInfo(path).absolutePath())) {
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(i).repeated(40)) <= 0) {
            return false;
        }
    }
    return true;
}

bool copyTree(const QString &from, const QString &to)
{
    return QDir().mkpath(to) && QProcess::execute("cp", {"-a", from + "/.", to}) == 0;
}

// Wall time of one external command, its output kept in `output`; -1 when it fails.
double timedMs(const QString &program, const QStringList &args, const QString &what, QByteArray *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    const bool done = p.waitForFinished(-1);
    const double ms = t.nsecsElapsed() / 1e6;
    const QByteArray out = p.readAll();
    if (output) {
        *output = out;
    }
    if (!done || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed (%d):\n%s\n", qPrintable(what), p.exitCode(), out.right(2000).constData());
        return -1;
    }
    return ms;
}

bool ensureTool(const QString &tool)
{
    if (!QStandardPaths::findExecutable(tool).isEmpty()) {
        return true;
    }
    QProcess::execute("apt-get", {"install", "-y", "-q", "--no-install-recommends", tool});
    return !QStandardPaths::findExecutable(tool).isEmpty();
}

double median(QList<double> values)
{
    values.removeAll(-1);
    if (values.isEmpty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The largest interval between two ticks of a 10 ms timer while it runs, with the synchroniser's
// pauses in it and without them.
class GapMeter
{
public:
    GapMeter()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_lastPaused = Syncher::pausedMs();
        m_maxGap = 0;
        m_maxGapLessPauses = 0;
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        tick();
    }
    qint64 maxGap() const { return m_maxGap; }
    qint64 maxGapLessPauses() const { return m_maxGapLessPauses; }

private:
    void tick()
    {
        const qint64 now = m_clock.elapsed();
        const double paused = Syncher::pausedMs();
        m_maxGap = std::max(m_maxGap, now - m_last);
        m_maxGapLessPauses = std::max(m_maxGapLessPauses, now - m_last - qRound64(paused - m_lastPaused));
        m_last = now;
        m_lastPaused = paused;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_lastPaused = 0;
    qint64 m_maxGap = 0;
    qint64 m_maxGapLessPauses = 0;
};

// Called with every progress report of a timed run.
std::function<void(const ProgressInfo &)> s_progressHook;

struct Run
{
    QString end = QStringLiteral("none");
    int failed = 0;
    int transfers = 0; // uploads, downloads, creations and deletions
    double ms = 0;
    double planMs = -1;   // less the pauses inside it
    double serviceMs = 0; // waiting for the safe list and the listing
    qint64 peakKiB = 0;   // above the run's start
    qint64 maxGapMs = 0;
    qint64 maxGapLessPausesMs = 0;
    int pauses = 0;
    double pauseMs = 0;
};

// One run of the coordinator over every setting. Nothing of the run is kept: the actions are
// counted as they are reported at the end.
Run timedRun(SyncHarness &h)
{
    Run run;
    GapMeter gaps;
    QElapsedTimer t;
    qint64 planStarted = -1;
    double planPausedMs = 0;
    qint64 listingAsked = -1;
    bool ended = false;
    bool finished = false;
    QPointer<Syncher> syncher;
    // A waiting event loop, as in the application: a loop that polls would take the processor from
    // the network thread and the service.
    QEventLoop loop;
    // Over once the synchroniser is gone and nothing it held waits to be freed.
    const auto maybeEnd = [&]() {
        if (finished && syncher.isNull() && DeferredRelease::instance()->pending() == 0 && !ended) {
            ended = true;
            loop.quit();
        }
    };
    const auto end = [&](const QString &how) {
        run.end = how;
        finished = true;
        maybeEnd();
    };
    const QMetaObject::Connection drained =
            QObject::connect(DeferredRelease::instance(), &DeferredRelease::drained, maybeEnd);
    // The service's replies of a run: the safe list (asked at the start) and the listing.
    const QMetaObject::Connection replies = QObject::connect(
            R7Session::instance()->networkAccessManager(), &QNetworkAccessManager::finished, [&](QNetworkReply *reply) {
                const QString path = reply->url().path();
                if (path.endsWith(QLatin1String("/filesafe/info"))) {
                    run.serviceMs += t.nsecsElapsed() / 1e6;
                } else if (path.contains(QLatin1String("/filesafe/info/")) && listingAsked >= 0) {
                    run.serviceMs += (t.nsecsElapsed() - listingAsked) / 1e6;
                    listingAsked = -1;
                }
            });
    const qint64 start = resetPeak();
    {
        MultiSyncher ms(h.dao(), h.ri());
        // Nothing is deleted on either side in these runs: a question would be a fault.
        ms.setLargeDeleteQuestion([](const QString &, int, bool) { return false; });
        QObject::connect(&ms, &MultiSyncher::syncFinished, [&](int, int nFailed, const QList<SyncAction> &list) {
            run.failed = nFailed;
            for (const SyncAction &a : list) {
                const int type = a.action();
                run.transfers += type >= SyncAction::CreateLocalDir && type != SyncAction::UpdateLocalFile ? 1 : 0;
            }
            end(QStringLiteral("finished"));
        });
        QObject::connect(&ms, &MultiSyncher::syncCanceled, [&] { end(QStringLiteral("canceled")); });
        QObject::connect(&ms, &MultiSyncher::sessionTimeout, [&] { end(QStringLiteral("timeout")); });
        QObject::connect(&ms, &MultiSyncher::startSyncSafe, [&]() {
            syncher = ms.findChild<Syncher *>();
            QObject::connect(syncher, &QObject::destroyed, maybeEnd);
        });
        QObject::connect(&ms, &MultiSyncher::syncProgress, [&](bool, const ProgressInfo &pi) {
            if (s_progressHook) {
                s_progressHook(pi);
            }
            if (pi.activity == ProgressInfo::Activity_GetRemoteObjects_Started && listingAsked < 0 &&
                pi.message.startsWith(QLatin1String("Get remote"))) {
                listingAsked = t.nsecsElapsed();
            }
            if (pi.activity == ProgressInfo::Activity_BuildSyncActions_Started && planStarted < 0) {
                planStarted = t.nsecsElapsed();
                planPausedMs = Syncher::pausedMs();
            } else if (pi.activity == ProgressInfo::Activity_BuildSyncActions_Finished && planStarted >= 0 &&
                       run.planMs < 0) {
                run.planMs = (t.nsecsElapsed() - planStarted) / 1e6 - (Syncher::pausedMs() - planPausedMs);
            }
        });
        const int pausesBefore = Syncher::pauseCount();
        const double pausedBefore = Syncher::pausedMs();
        t.start();
        gaps.start();
        QTimer::singleShot(4 * 3600 * 1000, &loop, [&] { end(QStringLiteral("none")); });
        ms.requestSync(h.settings());
        if (!ended) {
            loop.exec();
        }
        run.ms = t.nsecsElapsed() / 1e6;
        gaps.stop();
        run.maxGapMs = gaps.maxGap();
        run.maxGapLessPausesMs = gaps.maxGapLessPauses();
        run.pauses = Syncher::pauseCount() - pausesBefore;
        run.pauseMs = Syncher::pausedMs() - pausedBefore;
    }
    QObject::disconnect(drained);
    QObject::disconnect(replies);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    run.peakKiB = statusKiB("VmHWM:") - start;
    return run;
}

void print(const char *what, int files, const Run &r)
{
    std::printf("%s, %d files: %s, %d failed, %d transfers, %.0f ms (service %.0f ms, %d pauses %.0f ms, "
                "less pauses %.0f ms), planning %.1f ms less pauses, peak +%lld KiB (%.0f B a file), longest "
                "unserved loop %lld ms (%lld ms less pauses)\n",
                what, files, qPrintable(r.end), r.failed, r.transfers, r.ms, r.serviceMs, r.pauses, r.pauseMs,
                r.ms - r.pauseMs, r.planMs, static_cast<long long>(r.peakKiB), r.peakKiB * 1024.0 / std::max(files, 1),
                static_cast<long long>(r.maxGapMs), static_cast<long long>(r.maxGapLessPausesMs));
    std::fflush(stdout);
}

QString sessionCookie(const QString &url)
{
    for (const QNetworkCookie &c : R7Session::instance()->networkAccessManager()->cookieJar()->cookiesForUrl(url)) {
        if (c.name() == "JSESSIONID") {
            return QString::fromLatin1(c.value());
        }
    }
    return QString();
}

// The reference upload of a tree into the current setting's (fresh) safe; files a second, -1 on failure.
double referenceUpload(SyncHarness &h, const QString &tree)
{
    const QString url = h.svc().httpUrl();
    const QString root = h.svc().control("safe", {{"safe_id", h.safeId()}})
                                 .value("safe")
                                 .toObject()
                                 .value("root_folder_id")
                                 .toString();
    QByteArray out;
    const double ms = timedMs("python3",
                              {TestEnv::sourcePath("bench/upload_loop.py"), url, sessionCookie(url),
                               R7Session::instance()->transportKey(), root, tree},
                              "upload_loop", &out);
    for (const QByteArray &line : out.split('\n')) {
        if (ms >= 0 && line.startsWith("RESULT ")) {
            return QJsonDocument::fromJson(line.mid(7)).object().value("reference_files_per_second").toDouble(-1);
        }
    }
    return -1;
}

void clearMarker(SyncHarness &h)
{
    SyncSettingsDao::instance()->updateLastSync(h.settings().value(0).id(), QString());
}

constexpr qint64 kLargeFile = qint64(1) << 30;

// Pseudo-random bytes, so that nothing along the way gains from zeros; read once into the page cache.
bool writeLargeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint64 x = 0x9e3779b97f4a7c15ULL;
    for (qint64 done = 0; done < kLargeFile; done += block.size()) {
        for (int i = 0; i + 8 <= block.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(block.data() + i, &x, 8);
        }
        if (file.write(block) != block.size()) {
            return false;
        }
    }
    file.close();
    QFile warm(path);
    if (!warm.open(QIODevice::ReadOnly)) {
        return false;
    }
    while (!warm.read(1 << 20).isEmpty()) {
    }
    return true;
}

// The floor: read(2) in the reader's chunks straight into EVP's SHA-256; the hex digest, or empty.
QString bareDigest(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return QString();
    }
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    const std::unique_ptr<char[]> buffer(new char[size_t(LocalFileReader::ChunkSize)]);
    bool ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), size_t(LocalFileReader::ChunkSize));
        if (n <= 0) {
            ok = ok && n == 0;
            break;
        }
        ok = ok && EVP_DigestUpdate(ctx, buffer.get(), size_t(n)) == 1;
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && EVP_DigestFinal_ex(ctx, out, &length) == 1;
    EVP_MD_CTX_free(ctx);
    ::close(fd);
    return ok ? QStringLiteral("sha256:") +
                           QString::fromLatin1(QByteArray(reinterpret_cast<char *>(out), int(length)).toHex())
              : QString();
}

// The engine's reader with a pump as the synchroniser's: the event loop served every 500 ms.
QString engineDigest(const QString &path)
{
    QElapsedTimer turn;
    turn.start();
    QString sum;
    const LocalFileReader::Answer answer = LocalFileReader::checksum(
            QFileInfo(path).absolutePath(), path, QStringLiteral("sha256"),
            [&turn]() {
                if (turn.elapsed() >= 500) {
                    QCoreApplication::processEvents();
                    turn.restart();
                }
                return true;
            },
            &sum);
    return answer == LocalFileReader::Read ? sum : QString();
}

// MB/s (10^6 bytes) of one digest of the large file; -1 when it fails or differs from `expected`.
double digestRate(const std::function<QString()> &digest, const QString &expected)
{
    QElapsedTimer t;
    t.start();
    const QString sum = digest();
    const double seconds = t.nsecsElapsed() / 1e9;
    if (sum.isEmpty() || (!expected.isEmpty() && sum != expected)) {
        std::fprintf(stderr, "large file digest failed or differs: %s\n", qPrintable(sum));
        return -1;
    }
    return kLargeFile / 1e6 / seconds;
}

// The longest unserved loop while a run does one thing: from `from` (true for the report that starts
// it) to `to` (true for the report that ends it).
struct Window
{
    std::function<bool(const ProgressInfo &)> from;
    std::function<bool(const ProgressInfo &)> to;
    bool seen = false;
    bool closed = false;
    qint64 maxGap = -1;
    qint64 maxGapLessPauses = -1;
};

Run runWithin(SyncHarness &h, Window *window)
{
    GapMeter gaps;
    const auto report = [&](const ProgressInfo &pi) {
        if (!window->seen && window->from(pi)) {
            window->seen = true;
            gaps.start();
        } else if (window->seen && !window->closed && window->to(pi)) {
            window->closed = true;
            gaps.stop();
            window->maxGap = gaps.maxGap();
            window->maxGapLessPauses = gaps.maxGapLessPauses();
        }
    };
    s_progressHook = report;
    const Run run = timedRun(h);
    s_progressHook = nullptr;
    return run;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int smallFiles = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    const int repeats = std::max(1, argc > 3 ? QByteArray(argv[3]).toInt() : 3);

    SyncHarness h;
    if (!h.start()) {
        std::fprintf(stderr, "devservice: %s\n", qPrintable(h.error()));
        return 1;
    }
    // The harness shortens the pump and leaves out its pauses for tests; the bench runs with the
    // product's timing, and logs as the client does: its handler at the default level, into a log file.
    Syncher::setPumpTiming(500, 100);
    QTemporaryDir logDir;
    static AppInfo logged = h.db().appInfo();
    logged.apiGeneration = 1;
    logged.logPath = logDir.filePath(QStringLiteral("client.log"));
    AppInfo::publish(&logged);
    setLogLevel(LOG_LEVEL_WARN);
    installMessageHandler(messageHandler);
    Request::setTimeoutCap(120000);
    bool ok = true;

    // The first upload of the small tree, ours and the reference's in turn, each into a safe of its own.
    QTemporaryDir smallTree;
    if (!makeTree(smallTree.path(), smallFiles)) {
        std::fprintf(stderr, "cannot write the small tree\n");
        return 1;
    }
    QList<double> ours, reference, smallPlan, uploadPauseMs;
    qint64 smallGap = 0, smallGapLessPauses = 0;
    for (int i = 0; i < repeats; ++i) {
        if (!h.newSetting() || !copyTree(smallTree.path(), h.localDir())) {
            std::fprintf(stderr, "small tree: %s\n", qPrintable(h.error()));
            return 1;
        }
        const Run upload = timedRun(h);
        print("first upload", smallFiles, upload);
        ok = ok && upload.end == "finished" && upload.failed == 0;
        ours << (upload.ms > 0 ? smallFiles * 1000.0 / upload.ms : -1);
        uploadPauseMs << upload.pauseMs;
        smallGap = std::max(smallGap, upload.maxGapMs);
        smallGapLessPauses = std::max(smallGapLessPauses, upload.maxGapLessPausesMs);
        clearMarker(h);
        const Run listing = timedRun(h);
        print("no-change run, full listing", smallFiles, listing);
        smallPlan << listing.planMs;

        if (!h.newSetting()) {
            return 1;
        }
        reference << referenceUpload(h, smallTree.path());
        std::printf("reference upload, %d files: %.0f files/s\n", smallFiles, reference.last());
        std::fflush(stdout);
    }

    // The large tree, seeded on both sides.
    if (!h.newSetting()) {
        return 1;
    }
    QElapsedTimer seedTime;
    seedTime.start();
    const QJsonObject seeded = h.svc().control("seed", {{"safe_id", h.safeId()}, {"files", files}}, 600000);
    if (!seeded.value("ok").toBool() || !makeTree(h.localDir(), files)) {
        std::fprintf(stderr, "seed: %s\n", qPrintable(QJsonDocument(seeded).toJson(QJsonDocument::Compact)));
        return 1;
    }
    std::printf("seeded %d files on both sides in %.1f s\n", files, seedTime.elapsed() / 1000.0);
    const Run first = timedRun(h);
    print("first run", files, first);
    // It only recorded the state of every file: no transfer, and a row for each.
    const int recorded =
            h.db().rawValue(QStringLiteral("SELECT COUNT(*) FROM fs_object WHERE setting_id = %1 AND type = 'f'")
                                    .arg(h.settings().value(0).id()))
                    .toInt();
    std::printf("first run recorded %d files\n", recorded);
    ok = ok && first.end == "finished" && first.failed == 0 && first.transfers == 0 && recorded == files;
    // The references work between the same tree and a copy of it (the folders already agree); neither
    // writes into the trees on a run without changes. Their first runs come before the rounds, and each
    // round runs ours and theirs in turn, so that a change of the machine's load meets both.
    QTemporaryDir refs;
    const QString a = h.localDir(), b = refs.filePath("b");
    copyTree(a, b);
    QList<double> findMs, unisonMs, rcloneMs;
    double unisonFirstMs = -1;
    const QStringList unisonArgs = {a, b, "-batch", "-auto", "-silent", "-perms", "0", "-fastcheck", "true"};
    if (ensureTool("unison")) {
        unisonFirstMs = timedMs("unison", unisonArgs, "unison first run");
    }
    const QStringList rcloneCommon = {"--config",     refs.filePath("rclone.conf"),
                                      "--cache-dir",  refs.filePath("rclone-cache"),
                                      "--max-delete", "100"};
    const bool rclone = ensureTool("rclone") &&
                        timedMs("rclone", QStringList{"bisync", a, b, "--resync"} + rcloneCommon, "rclone first run") >= 0;

    QList<double> listingMs, noChangeMs, bigPlan, listingServiceMs, noChangeServiceMs, roundGaps;
    QList<double> listingPauseMs, noChangePauseMs, roundGapsLessPauses;
    qint64 peakKiB = first.peakKiB, bigGap = first.maxGapMs, listingPeak = 0, noChangePeak = 0;
    qint64 bigGapLessPauses = first.maxGapLessPausesMs;
    for (int i = 0; i < repeats; ++i) {
        clearMarker(h);
        const Run listing = timedRun(h);
        print("no-change run, full listing", files, listing);
        const Run noChange = timedRun(h);
        print("no-change run, short-cut", files, noChange);
        ok = ok && listing.end == "finished" && noChange.end == "finished" && listing.transfers == 0 &&
             noChange.transfers == 0;
        listingMs << listing.ms;
        noChangeMs << noChange.ms;
        listingServiceMs << listing.serviceMs;
        noChangeServiceMs << noChange.serviceMs;
        listingPauseMs << listing.pauseMs;
        noChangePauseMs << noChange.pauseMs;
        bigPlan << listing.planMs;
        listingPeak = std::max(listingPeak, listing.peakKiB);
        noChangePeak = std::max(noChangePeak, noChange.peakKiB);
        bigGap = std::max({bigGap, listing.maxGapMs, noChange.maxGapMs});
        roundGaps << double(std::max(listing.maxGapMs, noChange.maxGapMs));
        bigGapLessPauses = std::max({bigGapLessPauses, listing.maxGapLessPausesMs, noChange.maxGapLessPausesMs});
        roundGapsLessPauses << double(std::max(listing.maxGapLessPausesMs, noChange.maxGapLessPausesMs));

        findMs << timedMs("find", {a, "-type", "f"}, "find");
        if (unisonFirstMs >= 0) {
            unisonMs << timedMs("unison", unisonArgs, "unison");
        }
        if (rclone) {
            rcloneMs << timedMs("rclone", QStringList{"bisync", a, b} + rcloneCommon, "rclone");
        }
        std::printf("round %d: unison %.0f ms, find %.0f ms\n", i + 1, unisonMs.value(i, -1), findMs.last());
        std::fflush(stdout);
    }
    peakKiB = std::max({peakKiB, listingPeak, noChangePeak});
    std::printf("find %.0f ms, unison %.0f ms (first run %.0f ms), rclone bisync %.0f ms (medians)\n", median(findMs),
                median(unisonMs), unisonFirstMs, median(rcloneMs));

    // The runs' times with their pauses; each pause figure is the median of the runs' sums of pauses.
    std::printf("RESULT {\"files\": %d, \"repeats\": %d, \"first_run_ms\": %.1f, \"no_change_ms\": %.1f, "
                "\"full_listing_ms\": %.1f, \"unison_ms\": %.1f, \"unison_first_ms\": %.1f, \"rclone_ms\": %.1f, "
                "\"find_ms\": %.1f, \"first_run_pause_ms\": %.1f, \"no_change_pause_ms\": %.1f, "
                "\"full_listing_pause_ms\": %.1f}\n",
                files, repeats, first.ms, median(noChangeMs), median(listingMs), median(unisonMs), unisonFirstMs,
                median(rcloneMs), median(findMs), first.pauseMs, median(noChangePauseMs), median(listingPauseMs));
    std::printf("RESULT {\"small_files\": %d, \"files_per_second\": %.1f, \"reference_files_per_second\": %.1f, "
                "\"small_upload_pause_ms\": %.1f}\n",
                smallFiles, median(ours), median(reference), median(uploadPauseMs));
    std::printf("RESULT {\"bytes_per_file\": %.1f, \"first_run_bytes_per_file\": %.1f, "
                "\"full_listing_bytes_per_file\": %.1f, \"no_change_bytes_per_file\": %.1f}\n",
                peakKiB * 1024.0 / files, first.peakKiB * 1024.0 / files, listingPeak * 1024.0 / files,
                noChangePeak * 1024.0 / files);
    std::printf("RESULT {\"plan_ms\": %.1f, \"small_plan_ms\": %.1f}\n", median(bigPlan), median(smallPlan));
    // The client's share: the run less its waiting for the service, per run, then the median.
    QList<double> listingClientMs;
    for (int i = 0; i < listingMs.size(); ++i) {
        listingClientMs << listingMs[i] - listingServiceMs[i];
    }
    std::printf("RESULT {\"full_listing_service_ms\": %.1f, \"full_listing_client_ms\": %.1f, "
                "\"no_change_service_ms\": %.1f}\n",
                median(listingServiceMs), median(listingClientMs), median(noChangeServiceMs));
    std::printf("RESULT {\"max_loop_gap_ms\": %lld, \"median_loop_gap_ms\": %.0f, \"small_max_loop_gap_ms\": %lld, "
                "\"max_loop_gap_less_pauses_ms\": %lld, \"median_loop_gap_less_pauses_ms\": %.0f, "
                "\"small_max_loop_gap_less_pauses_ms\": %lld}\n",
                static_cast<long long>(bigGap), median(roundGaps), static_cast<long long>(smallGap),
                static_cast<long long>(bigGapLessPauses), median(roundGapsLessPauses),
                static_cast<long long>(smallGapLessPauses));

    // One large file: its digest, its upload and a plan that compares its content.
    QTemporaryDir large;
    const QString largePath = large.filePath(QStringLiteral("large.bin"));
    if (!writeLargeFile(largePath)) {
        std::fprintf(stderr, "cannot write the large file\n");
        return 1;
    }
    const QString expected = bareDigest(largePath);
    QList<double> engineRates, bareRates;
    for (int i = 0; i < 3; ++i) {
        engineRates << digestRate([&]() { return engineDigest(largePath); }, expected);
        bareRates << digestRate([&]() { return bareDigest(largePath); }, expected);
        std::printf("large file digest, round %d: engine reader %.0f MB/s, bare EVP loop %.0f MB/s\n", i + 1,
                    engineRates.last(), bareRates.last());
    }
    ok = ok && !expected.isEmpty() && !engineRates.contains(-1) && !bareRates.contains(-1);
    std::printf("RESULT {\"file_digest_mb_s\": %.0f, \"openssl_digest_mb_s\": %.0f}\n", median(engineRates),
                median(bareRates));

    // A safe with room for it; the file itself, linked into the setting's folder.
    if (!h.newSetting({{"storage_quota", double(4 * kLargeFile)}}) ||
        ::link(QFile::encodeName(largePath).constData(), QFile::encodeName(h.localPath("large.bin")).constData()) !=
                0) {
        std::fprintf(stderr, "large file setting: %s\n", qPrintable(h.error()));
        return 1;
    }
    Window upload;
    upload.from = [](const ProgressInfo &pi) {
        return pi.activity == ProgressInfo::Activity_ProcessSyncActions_Progress &&
               pi.actionType == SyncAction::UploadFile;
    };
    upload.to = [](const ProgressInfo &pi) { return pi.message == QLatin1String("Uploading ...") && pi.bytesDone > 0; };
    const Run uploaded = runWithin(h, &upload);
    print("large file upload", 1, uploaded);
    const bool uploadOk =
            uploaded.end == "finished" && uploaded.failed == 0 && uploaded.transfers == 1 && upload.closed;
    // Same size, another time: the plan reads the whole file.
    const struct timespec times[2] = {{0, UTIME_OMIT}, {QDateTime::currentSecsSinceEpoch() - 100, 123456789}};
    Window compare;
    compare.from = [](const ProgressInfo &pi) {
        return pi.activity == ProgressInfo::Activity_BuildSyncActions_Started;
    };
    compare.to = [](const ProgressInfo &pi) { return pi.activity == ProgressInfo::Activity_BuildSyncActions_Finished; };
    Run compared;
    bool compareOk = false;
    const QString timeBefore =
            h.db().rawValue(QStringLiteral("SELECT local_mtime FROM fs_object WHERE path = 'large.bin'")).toString();
    if (uploadOk && ::utimensat(AT_FDCWD, QFile::encodeName(largePath).constData(), times, 0) == 0) {
        compared = runWithin(h, &compare);
        print("large file compared", 1, compared);
        // Found alike: the state row takes the new time, nothing is transferred.
        const QString timeAfter =
                h.db().rawValue(QStringLiteral("SELECT local_mtime FROM fs_object WHERE path = 'large.bin'"))
                        .toString();
        compareOk = compared.end == "finished" && compared.failed == 0 && compared.transfers == 0 && compare.closed &&
                    timeAfter != timeBefore;
        if (!compareOk) {
            std::fprintf(stderr, "large file compare: %s, %d failed, state time %s -> %s\n", qPrintable(compared.end),
                         compared.failed, qPrintable(timeBefore), qPrintable(timeAfter));
        }
    }
    // A failed run gives no figure.
    if (uploadOk) {
        std::printf(
                "RESULT {\"large_upload_max_loop_gap_ms\": %lld, \"large_upload_max_loop_gap_less_pauses_ms\": %lld}\n",
                static_cast<long long>(upload.maxGap), static_cast<long long>(upload.maxGapLessPauses));
    } else {
        std::fprintf(stderr, "large file upload failed: %s, %d failed\n", qPrintable(uploaded.end), uploaded.failed);
    }
    if (compareOk) {
        std::printf("RESULT {\"large_compare_max_loop_gap_ms\": %lld, \"large_compare_max_loop_gap_less_pauses_ms\": "
                    "%lld}\n",
                    static_cast<long long>(compare.maxGap), static_cast<long long>(compare.maxGapLessPauses));
    }
    ok = ok && uploadOk && compareOk;
    return ok ? 0 : 1;
}
