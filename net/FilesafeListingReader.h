#pragma once

#include "net/ErrorCode.h"
#include "net/FilesafeObjectsTO_v2.h"

#include <QByteArray>
#include <QString>

// The reply to an object listing, read from its body in one pass straight into the objects: a
// listing of 100,000 objects never becomes a JSON document beside its body.
//
// The one-pass reader answers only for a successful listing of the usual shape. Everything else
// (a failure of any kind, a service status, a shape it does not take, such as a duplicate key or a
// number with a fraction) goes the general way, through the JSON document, so that every answer,
// failures and their texts included, is the general reader's.
class FilesafeListingReader
{
public:
    FilesafeListingReader() = delete;

    // True with the objects in the service's order when the body is such a listing; false and
    // nothing changed otherwise. With refuseUnsafePaths a path FilesafeObject::isSafePath refuses
    // leaves the body to the general way (which fails it).
    static bool read(const QByteArray &body, bool refuseUnsafePaths, FilesafeObjectsTO_v2 *listing);

    // The listing, or the general reader's failure (code and message); the body is released.
    static bool decode(QByteArray &body, bool refuseUnsafePaths, FilesafeObjectsTO_v2 &listing, ErrorCode &code,
                       QString &message);
    // The general way alone: the document, the envelope and the list's own reader.
    static bool decodeGeneral(QByteArray &body, bool refuseUnsafePaths, FilesafeObjectsTO_v2 &listing, ErrorCode &code,
                              QString &message);
};
