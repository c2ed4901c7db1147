#include "net/KeychainUtil.h"

#include "core/AppInfo.h"
#include "core/StringUtil.h"
#include "net/KeychainBackend.h"
#include "net/SystemKeychainBackend.h"

#include <QtGlobal>

namespace {

KeychainBackend *s_backend = nullptr;

const int EntryNotFound = 1;

} // namespace

KeychainUtil::KeychainUtil(const AppInfo *info)
    : appInfo(info)
{}

void KeychainUtil::setBackend(KeychainBackend *b)
{
    s_backend = b;
}

KeychainBackend *KeychainUtil::backend()
{
    return s_backend ? s_backend : SystemKeychainBackend::instance();
}

QString KeychainUtil::value(const QString &key, int *code)
{
    errorCode = 0;
    errorText.clear();
    const KeychainBackend::Reply reply = backend()->read(QString::fromUtf8(appInfo->appName), key, insecureFallback);
    errorCode = reply.code;
    errorText = reply.errorText;
    if (code) {
        *code = errorCode;
    }
    if (errorCode == 0) {
        return reply.data;
    }
    if (errorCode != EntryNotFound) {
        qWarning("KeychainUtil::value: key:'%s' Error: [%d] %s", qUtf8Printable(StringUtil::escapeNonPrintable(key)),
                 errorCode, qUtf8Printable(errorText));
    }
    return QString();
}

int KeychainUtil::setValue(const QString &key, const QString &text)
{
    errorCode = 0;
    errorText.clear();
    const KeychainBackend::Reply reply =
            backend()->write(QString::fromUtf8(appInfo->appName), key, text, insecureFallback);
    errorCode = reply.code;
    errorText = reply.errorText;
    if (errorCode != 0) {
        qWarning("KeychainUtil::setValue: key:'%s' Error: [%d] %s", qUtf8Printable(StringUtil::escapeNonPrintable(key)),
                 errorCode, qUtf8Printable(errorText));
    }
    return errorCode;
}
