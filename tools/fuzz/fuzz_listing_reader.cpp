// The listing's one-pass reader against the general reader (document, envelope, list reader) on
// arbitrary bytes: whatever the one-pass reader takes, the general reader takes alike, object for
// object; and the decoding the interface uses answers as the general reader does.
#include "net/FilesafeListingReader.h"
#include "tools/fuzz/FuzzInput.h"

#include <cstdlib>

int fuzzListingReader(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (const bool refuseUnsafePaths : {true, false}) {
        FilesafeObjectsTO_v2 general;
        ErrorCode generalCode = EC_OK;
        QString generalMessage;
        QByteArray generalBody = bytes;
        const bool generalOk = FilesafeListingReader::decodeGeneral(generalBody, refuseUnsafePaths, general,
                                                                    generalCode, generalMessage);
        FilesafeObjectsTO_v2 fast;
        if (FilesafeListingReader::read(bytes, refuseUnsafePaths, &fast) &&
            (!generalOk || !sameObjects(fast.filesafeObjects, general.filesafeObjects))) {
            abort();
        }
        FilesafeObjectsTO_v2 decoded;
        ErrorCode code = EC_OK;
        QString message;
        QByteArray body = bytes;
        const bool ok = FilesafeListingReader::decode(body, refuseUnsafePaths, decoded, code, message);
        if (ok != generalOk || code != generalCode || message != generalMessage ||
            !sameObjects(decoded.filesafeObjects, general.filesafeObjects)) {
            abort();
        }
    }
    return 0;
}

TESSARVALE_FUZZ_ENTRY(fuzzListingReader)
