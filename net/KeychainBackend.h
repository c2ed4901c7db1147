#pragma once

#include <QString>

// What KeychainUtil needs of the credential store: one synchronous read and one synchronous write
// of a text item, answered with qtkeychain's error code and text. The system store is the only
// backend in the product; tests put one in front of it to make the store fail on demand.
class KeychainBackend
{
public:
    struct Reply
    {
        int code = 0;
        QString errorText;
        QString data;
    };

    virtual ~KeychainBackend();

    virtual Reply read(const QString &service, const QString &key, bool insecureFallback) = 0;
    virtual Reply write(const QString &service, const QString &key, const QString &data, bool insecureFallback) = 0;
};
