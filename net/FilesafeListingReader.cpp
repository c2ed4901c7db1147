#include "net/FilesafeListingReader.h"

#include "net/Request.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <cstring>
#include <limits>
#include <vector>

namespace {

// Deeper documents go the general way, which knows the document reader's own limit.
constexpr size_t kMaxDepth = 512;

// The keys of one listed object, in the order of its fields.
enum Field { ObjectId, Path, Size, Mtime, Access, Type, Checksum, FieldCount };
const char *const kFieldNames[FieldCount] = {"object_id", "path", "size", "mtime", "access", "type", "checksum"};

bool isKey(const char *text, rapidjson::SizeType length, const char *key)
{
    return length == std::strlen(key) && std::memcmp(text, key, length) == 0;
}

// Receives the reader's events. Every answer it is not sure of is a refusal (false): the reader
// then stops and the general way decides.
class ListingHandler
{
public:
    explicit ListingHandler(bool refuseUnsafePaths)
        : m_refuseUnsafePaths(refuseUnsafePaths)
    {}

    bool complete() const { return m_statusSeen && m_status == 0 && m_listSeen; }
    QList<FilesafeObject> takeObjects() { return std::move(m_objects); }

    bool Null() { return skippedValue(); }
    bool Bool(bool) { return skippedValue(); }
    bool Int(int value) { return integer(value); }
    bool Uint(unsigned value) { return integer(value); }
    bool Int64(int64_t value) { return integer(value); }
    bool Uint64(uint64_t value)
    {
        if (value > uint64_t(std::numeric_limits<qint64>::max()))
            return skippedValue();
        return integer(qint64(value));
    }
    // Fractions, exponents and integers beyond 64 bits: the document reader's conversions decide.
    bool Double(double) { return false; }
    bool RawNumber(const char *, rapidjson::SizeType, bool) { return false; }

    bool String(const char *text, rapidjson::SizeType length, bool)
    {
        Slot slot = None;
        if (!takeSlot(&slot))
            return false;
        if (slot == None || slot == Message)
            return true;
        const int field = slot - FirstField;
        if (field < 0 || field == Size)
            return false;
        QString value;
        if (field == Type && length == 1 && (text[0] == 'f' || text[0] == 'd')) {
            static const QString file = QStringLiteral("f");
            static const QString dir = QStringLiteral("d");
            value = text[0] == 'f' ? file : dir;
        } else if (field == Access && m_accessSeen && m_access == QByteArray::fromRawData(text, int(length))) {
            // The same letters on every object: one text for all of them.
            value = m_accessText;
        } else if (!toText(text, length, &value)) {
            return false;
        }
        if (field == Access && !(m_accessSeen && value.constData() == m_accessText.constData())) {
            m_access = QByteArray(text, int(length));
            m_accessText = value;
            m_accessSeen = true;
        }
        switch (field) {
        case ObjectId:
            m_object.objectId = std::move(value);
            break;
        case Path:
            if (m_refuseUnsafePaths && !FilesafeObject::isSafePath(value))
                return false;
            m_object.path = std::move(value);
            break;
        case Mtime:
            m_object.mtime = std::move(value);
            break;
        case Access:
            m_object.access = std::move(value);
            break;
        case Type:
            m_object.type = std::move(value);
            break;
        default:
            m_object.checksum = std::move(value);
            break;
        }
        return true;
    }

    bool Key(const char *text, rapidjson::SizeType length, bool)
    {
        m_slot = None;
        switch (m_stack.back()) {
        case Root:
            m_rootKeys = true;
            if (isKey(text, length, "status"))
                return claim(Status, &m_statusSeen);
            if (isKey(text, length, "message"))
                return claim(Message, &m_messageSeen);
            if (isKey(text, length, "data"))
                return claim(Data, &m_dataSeen);
            return true;
        case DataObject:
            if (isKey(text, length, "filesafe_objects"))
                return claim(ListSlot, &m_listSeen);
            return true;
        case Element:
            for (int field = 0; field < FieldCount; ++field) {
                if (isKey(text, length, kFieldNames[field])) {
                    if (m_fieldsSeen & (1u << field))
                        return false; // which of the two counts is the document reader's
                    m_fieldsSeen |= 1u << field;
                    m_slot = Slot(FirstField + field);
                    return true;
                }
            }
            return true;
        default:
            return true;
        }
    }

    bool StartObject()
    {
        if (m_stack.size() >= kMaxDepth)
            return false;
        if (m_stack.empty()) {
            m_stack.push_back(Root);
            return true;
        }
        const Container top = m_stack.back();
        if (top == Skipped || ((top == Root || top == DataObject || top == Element) && m_slot == None)) {
            m_stack.push_back(Skipped);
            return true;
        }
        if (top == List) {
            m_object = FilesafeObject();
            m_fieldsSeen = 0;
            m_stack.push_back(Element);
            return true;
        }
        const Slot slot = m_slot;
        m_slot = None;
        if (slot == Data) {
            m_stack.push_back(DataObject);
            return true;
        }
        return false;
    }

    bool EndObject(rapidjson::SizeType)
    {
        const Container closed = m_stack.back();
        m_stack.pop_back();
        m_slot = None;
        switch (closed) {
        case Root:
            return m_rootKeys;
        case DataObject:
            return m_listSeen;
        case Element:
            if (m_fieldsSeen != (1u << FieldCount) - 1)
                return false;
            m_objects.append(m_object);
            return true;
        default:
            return true;
        }
    }

    bool StartArray()
    {
        if (m_stack.size() >= kMaxDepth || m_stack.empty() || m_stack.back() == List)
            return false;
        if (m_stack.back() == Skipped || m_slot == None) {
            m_stack.push_back(Skipped);
            return true;
        }
        const Slot slot = m_slot;
        m_slot = None;
        if (slot == ListSlot && m_stack.back() == DataObject) {
            m_stack.push_back(List);
            return true;
        }
        return false;
    }

    bool EndArray(rapidjson::SizeType)
    {
        m_stack.pop_back();
        m_slot = None;
        return true;
    }

private:
    enum Container { Root, DataObject, List, Element, Skipped };
    // FirstField + a Field names the field a value is for.
    enum Slot : int { None, Status, Message, Data, ListSlot, FirstField };

    bool claim(Slot slot, bool *seen)
    {
        if (*seen)
            return false; // a duplicate key: which one counts is the document reader's
        *seen = true;
        m_slot = slot;
        return true;
    }

    // Where a value that is not a container goes: None for one that is not read. False for a value
    // where only an object may stand (the top, an element of the list).
    bool takeSlot(Slot *slot)
    {
        if (m_stack.empty() || m_stack.back() == List)
            return false;
        *slot = m_stack.back() == Skipped ? None : m_slot;
        m_slot = None;
        return true;
    }

    // A value that is read only when it has the type the general reader expects.
    bool skippedValue()
    {
        Slot slot = None;
        return takeSlot(&slot) && slot == None;
    }

    bool integer(qint64 value)
    {
        Slot slot = None;
        if (!takeSlot(&slot))
            return false;
        if (slot == None)
            return true;
        if (slot == Status) {
            if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
                return false;
            m_status = int(value);
            return true;
        }
        if (slot == FirstField + Size) {
            m_object.size = value;
            return true;
        }
        return false;
    }

    // The reader checked the encoding of the body; a text made from an escaped lone low surrogate
    // (the reader writes it as three bytes that are not UTF-8) is left to the general way.
    static bool toText(const char *text, rapidjson::SizeType length, QString *out)
    {
        const char *end = text + length;
        for (const char *p = text; (p = static_cast<const char *>(std::memchr(p, '\xed', size_t(end - p)))); ++p) {
            if (p + 1 < end && static_cast<unsigned char>(p[1]) >= 0xa0)
                return false;
        }
        *out = QString::fromUtf8(text, int(length));
        return true;
    }

    const bool m_refuseUnsafePaths;
    std::vector<Container> m_stack;
    Slot m_slot = None;
    bool m_rootKeys = false;
    bool m_statusSeen = false;
    bool m_messageSeen = false;
    bool m_dataSeen = false;
    bool m_listSeen = false;
    int m_status = -1;
    unsigned m_fieldsSeen = 0;
    FilesafeObject m_object;
    QList<FilesafeObject> m_objects;
    bool m_accessSeen = false;
    QByteArray m_access;
    QString m_accessText;
};

} // namespace

bool FilesafeListingReader::read(const QByteArray &body, bool refuseUnsafePaths, FilesafeObjectsTO_v2 *listing)
{
    // Iterative: the depth of a document costs heap, never the stack.
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag;
    rapidjson::MemoryStream stream(body.constData(), size_t(body.size()));
    rapidjson::Reader reader;
    ListingHandler handler(refuseUnsafePaths);
    if (reader.Parse<kFlags>(stream, handler).IsError() || !handler.complete())
        return false;
    // The reader takes a NUL byte for the end of the text; the document reader does not.
    if (stream.Tell() != size_t(body.size()))
        return false;
    listing->filesafeObjects = handler.takeObjects();
    return true;
}

bool FilesafeListingReader::decode(QByteArray &body, bool refuseUnsafePaths, FilesafeObjectsTO_v2 &listing,
                                   ErrorCode &code, QString &message)
{
    if (read(body, refuseUnsafePaths, &listing)) {
        body = QByteArray();
        return true;
    }
    return decodeGeneral(body, refuseUnsafePaths, listing, code, message);
}

bool FilesafeListingReader::decodeGeneral(QByteArray &body, bool refuseUnsafePaths, FilesafeObjectsTO_v2 &listing,
                                          ErrorCode &code, QString &message)
{
    const auto decodeList = [refuseUnsafePaths](const QJsonObject &data, FilesafeObjectsTO_v2 &out,
                                                QString &errorText) {
        return refuseUnsafePaths ? out.fromJson(data, errorText) : out.fromJsonKeepingUnsafePaths(data, errorText);
    };
    return decodeJsonBody(body, decodeList, listing, code, message);
}
