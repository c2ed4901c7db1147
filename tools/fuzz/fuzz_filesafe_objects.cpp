// Feeds arbitrary bytes through the JSON document reader into every file-safe transfer object and
// checks what a successful read promises.
#include "net/FilesafeObjectsTO_v2.h"
#include "net/FilesafesTO_v2.h"
#include "tools/fuzz/FuzzInput.h"

#include <cstdlib>

int fuzzFilesafeObjects(const uint8_t *data, size_t size)
{
    QJsonObject json;
    QString error;
    if (!readFuzzJson(data, size, json, error)) {
        return 0;
    }
    FilesafesTO_v2 safes;
    if (safes.fromJson(json)) {
        for (int i = 1; i < safes.filesafes.size(); ++i) {
            if (safes.filesafes.at(i) < safes.filesafes.at(i - 1)) {
                abort(); // not sorted
            }
        }
        (void)safes.toString();
    } else if (safes.errorString().isEmpty()) {
        abort();
    }
    FilesafeObjectsTO_v2 objects;
    if (objects.fromJson(json)) {
        for (const FilesafeObject &object : objects.filesafeObjects) {
            if (!FilesafeObject::isSafePath(object.path) || object.path.contains(QChar(0))) {
                abort();
            }
            for (const QString &part : FilesafeObject::pathParts(object.path)) {
                if (part == QLatin1String("..") || part == QLatin1String(".")) {
                    abort();
                }
            }
            (void)object.fileName();
            (void)object.isBelow(objects.filesafeObjects.first());
        }
        (void)objects.toString();
    } else if (objects.errorString().isEmpty()) {
        abort();
    }
    // The records on their own, as the list readers call them.
    FilesafeTO_v2 safe;
    (void)safe.fromJson(json);
    FilesafeObject object;
    (void)object.fromJson(json);
    return 0;
}

TESSARVALE_FUZZ_ENTRY(fuzzFilesafeObjects)
