// The listing's one-pass reader against the general reader (document, envelope, list reader) on
// arbitrary bytes: whatever the one-pass reader takes, the general reader takes alike, object for
// object; and the decoding the interface uses answers as the general reader does.
#include "tools/fuzz/FuzzInput.h"

#include <cstdlib>

int fuzzListingReader(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (const bool refuseUnsafePaths : {true, false}) {
        if (!listingDisagreement(bytes, refuseUnsafePaths).isEmpty()) {
            abort();
        }
    }
    return 0;
}

TESSARVALE_FUZZ_ENTRY(fuzzListingReader)
