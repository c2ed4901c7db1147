#pragma once

#include "net/FilesafeListingReader.h"
#include "net/FilesafeObject.h"
#include "net/JsonUtil.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <cstdint>

// The fuzzer's bytes through the JSON document reader, as a reply body would go; false with the
// reader's error text for bytes it refuses.
inline bool readFuzzJson(const uint8_t *data, size_t size, QJsonObject &json, QString &error)
{
    bool ok = false;
    json = JsonUtil::parseDocument(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), &ok,
                                   &error);
    return ok;
}

// Two lists of listed objects alike in every field and in order.
inline bool sameObjects(const QList<FilesafeObject> &a, const QList<FilesafeObject> &b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (int i = 0; i < a.size(); ++i) {
        const FilesafeObject &x = a.at(i);
        const FilesafeObject &y = b.at(i);
        if (x.objectId != y.objectId || x.path != y.path || x.size != y.size || x.mtime != y.mtime ||
            x.access != y.access || x.type != y.type || x.checksum != y.checksum) {
            return false;
        }
    }
    return true;
}

// The listing's one-pass reader against the general reader on one body: whatever the one-pass
// reader takes, the general reader takes alike; the decoding the interface uses answers as the
// general reader does and releases the body. The problem found, or an empty text.
inline QString listingDisagreement(const QByteArray &bytes, bool refuseUnsafePaths, bool *onePass = nullptr)
{
    FilesafeObjectsTO_v2 general;
    ErrorCode generalCode = EC_OK;
    QString generalMessage;
    QByteArray generalBody = bytes;
    const bool generalOk =
            FilesafeListingReader::decodeGeneral(generalBody, refuseUnsafePaths, general, generalCode, generalMessage);
    FilesafeObjectsTO_v2 fast;
    const bool fastOk = FilesafeListingReader::read(bytes, refuseUnsafePaths, &fast);
    if (onePass) {
        *onePass = fastOk;
    }
    if (fastOk && (!generalOk || !sameObjects(fast.filesafeObjects, general.filesafeObjects))) {
        return QStringLiteral("one-pass reader took what the general reader answers with: ") + generalMessage;
    }
    FilesafeObjectsTO_v2 decoded;
    ErrorCode code = EC_OK;
    QString message;
    QByteArray body = bytes;
    const bool ok = FilesafeListingReader::decode(body, refuseUnsafePaths, decoded, code, message);
    if (ok != generalOk || code != generalCode || message != generalMessage ||
        !sameObjects(decoded.filesafeObjects, general.filesafeObjects)) {
        return QStringLiteral("decoded: %1 %2, general reader: %3 %4")
                .arg(code)
                .arg(message)
                .arg(generalCode)
                .arg(generalMessage);
    }
    if (!body.isEmpty()) {
        return QStringLiteral("body kept after decoding");
    }
    return QString();
}

// tst_fuzzregressions links every target into one binary and replays the kept inputs through the
// target functions, so there the libFuzzer entry point is left out.
#ifdef TESSARVALE_FUZZ_REPLAY
#define TESSARVALE_FUZZ_ENTRY(function)
#else
#define TESSARVALE_FUZZ_ENTRY(function)                                                                                \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)                                            \
    {                                                                                                                  \
        return function(data, size);                                                                                   \
    }
#endif
