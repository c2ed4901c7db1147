// The reply envelope {"status", "message", "data"} and the small replies read beside it (version
// query, sign-out), from arbitrary bytes through the document reader.
#include "net/ClientVersionTO_v1.h"
#include "net/LogoutTO_v1.h"
#include "net/Request.h"
#include "net/ResponseTO.h"
#include "tools/fuzz/FuzzInput.h"

#include <cstdlib>

int fuzzEnvelope(const uint8_t *data, size_t size)
{
    QJsonObject json;
    QString error;
    if (!readFuzzJson(data, size, json, error)) {
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

TESSARVALE_FUZZ_ENTRY(fuzzEnvelope)
