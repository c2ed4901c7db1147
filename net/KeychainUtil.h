#pragma once

#include <QString>

class AppInfo;
class KeychainBackend;

// One synchronous session with the credential store, under the application's name as service.
// Every call waits for the store in a local event loop: other events of the thread (timers,
// network replies) run meanwhile.
class KeychainUtil
{
public:
    explicit KeychainUtil(const AppInfo *appInfo);

    // The item's text; empty when there is none (code 1) or the store failed.
    QString value(const QString &key, int *errorCode = nullptr);
    // Returns the job's error code, 0 on success.
    int setValue(const QString &key, const QString &text);

    int error() const { return errorCode; }
    QString errorString() const { return errorText; }

    // Puts a backend in front of the system store for the whole process (null restores it).
    static void setBackend(KeychainBackend *backend);
    static KeychainBackend *backend();

private:
    bool insecureFallback = false;
    int errorCode = 0;
    QString errorText;
    const AppInfo *appInfo;
};
