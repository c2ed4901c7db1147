// The reply envelope {"status", "message", "data"} and the small replies read beside it (version
// query, sign-out), from arbitrary bytes through the document reader.
#include "net/ClientVersionTO_v1.h"
#include "net/JsonUtil.h"
#include "net/LogoutTO_v1.h"
#include "net/Request.h"
#include "net/ResponseTO.h"

#include <cstdlib>

int fuzzEnvelope(const uint8_t *data, size_t size)
{
    bool ok = false;
    QString error;
    const QJsonObject json = JsonUtil::parseDocument(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), &ok, &error);
    if (!ok) {
        if (error.isEmpty()) {
            abort();
        }
        return 0;
    }
    ResponseTO envelope;
    if (envelope.fromJson(json)) {
        (void)Request::mapServiceStatus(envelope.status());
        if (envelope.status() != 0 && !envelope.data().isEmpty()) {
            abort(); // data is only read for a successful status
        }
        ClientVersionTO_v1 version;
        QString versionError;
        (void)version.fromJson(envelope.data(), versionError);
        LogoutTO_v1 logout;
        QString logoutError;
        (void)logout.fromJson(envelope.data(), logoutError);
    } else if (envelope.errorText().isEmpty()) {
        abort();
    }
    return 0;
}

// tst_fuzzregressions replays the kept inputs through the same function.
#ifndef TESSARVALE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzEnvelope(data, size);
}
#endif
