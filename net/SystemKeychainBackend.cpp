#include "net/SystemKeychainBackend.h"

#include <QEventLoop>

#include <qt5keychain/keychain.h>

#include <memory>

namespace {

KeychainBackend::Reply run(QKeychain::Job &job)
{
    // qtkeychain starts a job through a queued call, so finished cannot arrive before exec().
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    KeychainBackend::Reply reply;
    reply.code = static_cast<int>(job.error());
    reply.errorText = job.errorString();
    return reply;
}

} // namespace

KeychainBackend::Reply SystemKeychainBackend::read(const QString &service, const QString &key, bool insecureFallback)
{
    QKeychain::ReadPasswordJob job(service);
    job.setAutoDelete(false);
    job.setInsecureFallback(insecureFallback);
    job.setKey(key);
    Reply reply = run(job);
    if (reply.code == 0) {
        reply.data = job.textData();
    }
    return reply;
}

KeychainBackend::Reply SystemKeychainBackend::write(const QString &service, const QString &key, const QString &data,
                                                    bool insecureFallback)
{
    QKeychain::WritePasswordJob job(service);
    job.setAutoDelete(false);
    job.setInsecureFallback(insecureFallback);
    job.setKey(key);
    job.setTextData(data);
    return run(job);
}

SystemKeychainBackend *SystemKeychainBackend::instance()
{
    static SystemKeychainBackend backend;
    return &backend;
}
