// Peak memory of the client while it uploads and downloads one large file through the development
// service: reports VmHWM (the process's resident high-water mark) before and after each transfer.
// usage: bench_transfermemory [MiB, default 1024]
#include "core/AppInfo.h"
#include "net/FilesafeRI.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

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

template<typename Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    return done();
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 size = mib * 1024 * 1024;
    TestEnv env;
    DevService svc;
    if (!svc.start()) {
        std::fprintf(stderr, "devservice: %s\n", qPrintable(svc.errorString()));
        return 1;
    }
    AppInfo info = AppInfo::forThisBuild();
    R7Session *session = R7Session::instance();
    session->setServer(ServerInfo("LOCALDEV", "dev", "dev", svc.httpUrl(), false));
    UserCredUtil creds(&info);
    LoginRI login(&creds, &info, session);
    bool signedIn = false;
    login.doLogin(DevService::demoUser(), DevService::demoPassword(), false,
                  [&](const EmptyResult &r) { signedIn = r.isOk(); });
    if (!waitFor([&] { return signedIn; }, 20000)) {
        std::fprintf(stderr, "sign-in failed\n");
        return 1;
    }
    QString safeId, rootId;
    for (const QJsonValue &v : svc.state().value("safes").toArray()) {
        if (v.toObject().value("owner").toString() == "demo" &&
            v.toObject().value("safe_type").toString() == "PRIVATE") {
            safeId = v.toObject().value("safe_id").toString();
            rootId = v.toObject().value("root_folder_id").toString();
        }
    }
    svc.control("safe", {{"safe_id", safeId}, {"storage_quota", double(size * 4)}});

    QTemporaryDir dir;
    const QString source = dir.filePath("large.bin");
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray block(1024 * 1024, 'a');
        for (qint64 written = 0; written < size; written += block.size()) {
            block[0] = char(written >> 20);
            file.write(block);
        }
    }
    FilesafeRI ri(&info, session);
    const qint64 base = vmHwmKiB();

    QElapsedTimer timer;
    timer.start();
    bool uploaded = false;
    QString objectId;
    ri.sendRemoteFileAction(
            QString(), source, rootId,
            [&](const Result<FilesafeObjectsTO_v2> &r) {
                uploaded = true;
                if (!r.isOk()) {
                    std::fprintf(stderr, "upload: %d %s\n", r.code(), qPrintable(r.message()));
                } else {
                    objectId = r.payload().filesafeObjects.first().objectId;
                }
            },
            nullptr);
    waitFor([&] { return uploaded; }, 3600000);
    const qint64 afterUpload = vmHwmKiB();
    const qint64 uploadMs = timer.restart();

    bool downloaded = false;
    qint64 received = -1;
    ri.downloadFile(
            objectId, dir.filePath("back.bin"), size,
            [&](const Result<qint64> &r) {
                downloaded = true;
                received = r.isOk() ? r.payload() : -1;
                if (!r.isOk()) {
                    std::fprintf(stderr, "download: %d %s\n", r.code(), qPrintable(r.message()));
                }
            },
            nullptr);
    waitFor([&] { return downloaded; }, 3600000);
    const qint64 afterDownload = vmHwmKiB();
    const qint64 downloadMs = timer.elapsed();

    std::printf("file: %lld MiB\n", static_cast<long long>(mib));
    std::printf("VmHWM before transfers: %lld KiB\n", static_cast<long long>(base));
    std::printf("upload: %s in %lld ms, VmHWM %lld KiB (+%lld KiB)\n", objectId.isEmpty() ? "FAILED" : "ok",
                static_cast<long long>(uploadMs), static_cast<long long>(afterUpload),
                static_cast<long long>(afterUpload - base));
    std::printf("download: %s in %lld ms, VmHWM %lld KiB (+%lld KiB)\n", received == size ? "ok" : "FAILED",
                static_cast<long long>(downloadMs), static_cast<long long>(afterDownload),
                static_cast<long long>(afterDownload - base));
    // One line for scripts/bench.
    std::printf("RESULT {\"mib\": %lld, \"upload_ok\": %s, \"download_ok\": %s, \"upload_ms\": %lld, "
                "\"download_ms\": %lld, \"base_kib\": %lld, \"upload_growth_kib\": %lld, "
                "\"download_growth_kib\": %lld}\n",
                static_cast<long long>(mib), objectId.isEmpty() ? "false" : "true", received == size ? "true" : "false",
                static_cast<long long>(uploadMs), static_cast<long long>(downloadMs), static_cast<long long>(base),
                static_cast<long long>(afterUpload - base), static_cast<long long>(afterDownload - base));
    return objectId.isEmpty() || received != size ? 1 : 0;
}
