// Arbitrary reply bodies and IV headers through the download sink: it must refuse or decrypt,
// never crash, and never leave its temporary file behind after removeFile.
#include "net/DownloadFile.h"
#include "tools/fuzz/FuzzInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

int fuzzDownloadStream(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    if (size < 1) {
        return 0;
    }
    // First byte: length of the IV text; then the IV text; then chunk sizes interleaved with data.
    const size_t ivLength = std::min<size_t>(data[0], size - 1);
    const QString iv = QString::fromLatin1(reinterpret_cast<const char *>(data + 1), int(ivLength));
    size_t pos = 1 + ivLength;
    DownloadFile file(dir.path() + QStringLiteral("/~$fuzz_XXXXXX.tessarvale"),
                      QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"));
    if (!file.initDecryption(iv)) {
        return 0;
    }
    while (pos < size) {
        const size_t chunk = std::min<size_t>(data[pos] + 1u, size - pos - 1);
        ++pos;
        if (!file.appendChunk(QByteArray(reinterpret_cast<const char *>(data + pos), int(chunk)))) {
            break;
        }
        pos += chunk;
    }
    if (file.finish() && file.plainSize() != QFileInfo(file.filePath()).size()) {
        abort();
    }
    const QString tmp = file.filePath();
    file.removeFile();
    if (QFile::exists(tmp)) {
        abort();
    }
    return 0;
}

TESSARVALE_FUZZ_ENTRY(fuzzDownloadStream)
