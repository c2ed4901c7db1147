// Arbitrary bytes through the JSON document reader into every password transfer object.
#include "net/EmptyPasswordTO.h"
#include "net/EmptyPasswordsTO.h"
#include "net/SinglePasswordTO.h"
#include "tools/fuzz/FuzzInput.h"

#include <cstdlib>

int fuzzPasswordObjects(const uint8_t *data, size_t size)
{
    QJsonObject json;
    QString error;
    if (!readFuzzJson(data, size, json, error)) {
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

TESSARVALE_FUZZ_ENTRY(fuzzPasswordObjects)
