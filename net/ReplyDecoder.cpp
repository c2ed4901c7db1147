#include "net/ReplyDecoder.h"

#include <zlib.h>

struct ReplyDecoder::Inflater
{
    z_stream stream{};
    bool initialised = false;
    bool ended = false;
    bool anyInput = false;
    bool triedRaw = false;

    bool init(int windowBits)
    {
        end();
        stream = z_stream{};
        initialised = inflateInit2(&stream, windowBits) == Z_OK;
        return initialised;
    }
    void end()
    {
        if (initialised) {
            inflateEnd(&stream);
            initialised = false;
        }
    }
    ~Inflater() { end(); }
};

ReplyDecoder::ReplyDecoder() = default;

ReplyDecoder::~ReplyDecoder() = default;

bool ReplyDecoder::begin(const QByteArray &contentEncoding)
{
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity") {
        m_compressed = false;
        return true;
    }
    if (encoding != "gzip" && encoding != "x-gzip" && encoding != "deflate") {
        m_errorText = QStringLiteral("unsupported content encoding '%1'").arg(QString::fromLatin1(encoding.left(40)));
        return false;
    }
    m_compressed = true;
    m_inflater = std::make_unique<Inflater>();
    // 32 added to the window bits: a gzip or a zlib header, whichever the stream has.
    if (!m_inflater->init(MAX_WBITS + 32)) {
        m_errorText = QStringLiteral("cannot start decompression");
        return false;
    }
    return true;
}

ReplyDecoder::Status ReplyDecoder::feed(const QByteArray &in, QByteArray &out, qint64 limit)
{
    if (!m_compressed) {
        if (out.size() + qint64(in.size()) > limit) {
            m_errorText = QStringLiteral("reply body larger than %1 bytes").arg(limit);
            return TooLarge;
        }
        out.append(in);
        return Decoded;
    }
    return inflateInto(in, out, limit);
}

ReplyDecoder::Status ReplyDecoder::inflateInto(const QByteArray &in, QByteArray &out, qint64 limit)
{
    Inflater &z = *m_inflater;
    if (z.ended || in.isEmpty()) {
        return Decoded; // bytes after the end of the stream are ignored
    }
    const bool firstInput = !z.anyInput;
    z.anyInput = true;
    z.stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.stream.avail_in = uInt(in.size());
    char buffer[64 * 1024];
    while (z.stream.avail_in > 0) {
        z.stream.next_out = reinterpret_cast<Bytef *>(buffer);
        z.stream.avail_out = sizeof buffer;
        const int ret = inflate(&z.stream, Z_NO_FLUSH);
        if (ret == Z_DATA_ERROR && firstInput && !z.triedRaw && z.stream.total_out == 0) {
            // Some servers send "deflate" without the zlib header.
            z.triedRaw = true;
            if (!z.init(-MAX_WBITS)) {
                m_errorText = QStringLiteral("cannot start decompression");
                return Corrupt;
            }
            z.stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
            z.stream.avail_in = uInt(in.size());
            continue;
        }
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) {
            m_errorText = QStringLiteral("corrupt compressed body (%1)").arg(ret);
            return Corrupt;
        }
        const qint64 produced = qint64(sizeof buffer) - z.stream.avail_out;
        if (out.size() + produced > limit) {
            m_errorText = QStringLiteral("reply body larger than %1 bytes").arg(limit);
            return TooLarge;
        }
        out.append(buffer, int(produced));
        if (ret == Z_STREAM_END) {
            z.ended = true;
            break;
        }
        if (ret == Z_BUF_ERROR && produced == 0) {
            break; // no progress without more input
        }
    }
    return Decoded;
}

bool ReplyDecoder::complete() const
{
    return !m_compressed || !m_inflater->anyInput || m_inflater->ended;
}
