#pragma once

#include "net/KeychainBackend.h"

// The operating system's credential store through qtkeychain (the Secret Service on Linux).
// Each call runs one job and waits for it in a local event loop.
class SystemKeychainBackend : public KeychainBackend
{
public:
    Reply read(const QString &service, const QString &key, bool insecureFallback) override;
    Reply write(const QString &service, const QString &key, const QString &data, bool insecureFallback) override;

    static SystemKeychainBackend *instance();
};
