// Arbitrary bytes through the JSON document reader into every password transfer object.
#include "net/EmptyPasswordTO.h"
#include "net/EmptyPasswordsTO.h"
#include "net/JsonUtil.h"
#include "net/SinglePasswordTO.h"

#include <cstdlib>

int fuzzPasswordObjects(const uint8_t *data, size_t size)
{
    bool ok = false;
    QString error;
    const QJsonObject json = JsonUtil::parseDocument(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), &ok, &error);
    if (!ok) {
        return 0;
    }
    EmptyPasswordsTO list;
    QString listError;
    if (list.fromJson(json, listError)) {
        for (int i = 1; i < list.passwords().size(); ++i) {
            if (list.passwords().at(i).title() < list.passwords().at(i - 1).title()) {
                abort(); // not sorted by title
            }
        }
    } else if (listError.isEmpty()) {
        abort();
    }
    EmptyPasswordTO entry;
    QString entryError;
    if (!entry.fromJson(json, entryError) && entryError.isEmpty()) {
        abort();
    }
    SinglePasswordTO single;
    QString singleError;
    if (!single.fromJson(json, singleError) && singleError.isEmpty()) {
        abort();
    }
    return 0;
}

// tst_fuzzregressions replays the kept inputs through the same function.
#ifndef TESSARVALE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzPasswordObjects(data, size);
}
#endif
