#pragma once

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
