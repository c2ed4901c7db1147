#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// Undoes the content encoding of a reply as it arrives, never holding more than a given number of
// decoded bytes: a few kilobytes of gzip can stand for gigabytes, so the size is checked while
// inflating, not after.
class ReplyDecoder
{
public:
    enum Status {
        Decoded,
        TooLarge,
        Corrupt,
    };

    ReplyDecoder();
    ~ReplyDecoder();
    ReplyDecoder(const ReplyDecoder &) = delete;
    ReplyDecoder &operator=(const ReplyDecoder &) = delete;

    // The reply's Content-Encoding; false for one we cannot undo.
    bool begin(const QByteArray &contentEncoding);
    // Appends what `in` decodes to to `out`; stops before `out` would exceed `limit`.
    Status feed(const QByteArray &in, QByteArray &out, qint64 limit);
    // False when a compressed body ended before its stream did.
    bool complete() const;
    const QString &errorText() const { return m_errorText; }

private:
    struct Inflater;
    Status inflateInto(const QByteArray &in, QByteArray &out, qint64 limit);

    std::unique_ptr<Inflater> m_inflater;
    bool m_compressed = false;
    QString m_errorText;
};
