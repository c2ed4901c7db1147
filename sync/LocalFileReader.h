#pragma once

#include <QString>

#include <functional>

// Whole-file checksums of local files for the synchroniser, which runs on the window's thread: the
// file is read in chunks and the pump is served between them, so the window answers however large
// the file. Only a regular file is read; a FIFO or a device in its place neither blocks the open
// nor is read.
class LocalFileReader
{
public:
    LocalFileReader() = delete;

    enum Answer {
        Read,
        // No checksum: missing, not a regular file, a link, a read error, an unknown algorithm or
        // a failed digest.
        Unreadable,
        // The pump said to stop: the caller returns at once and touches nothing of its run.
        Stopped,
    };
    // Served between two chunks; false ends the read with Stopped.
    using Pump = std::function<bool()>;

    static constexpr qint64 ChunkSize = qint64(1) << 20;

    // Test hook, called after each chunk (with the bytes read so far) before the pump.
    using ChunkHook = std::function<void(qint64 done)>;
    static void setChunkHook(ChunkHook hook);

    // The file at `path` below `base`, reached without following a link at any element.
    static Answer checksum(const QString &base, const QString &path, const QString &algorithm, const Pump &pump,
                           QString *sum);
    // The file `name` in the open folder.
    static Answer checksumAt(int folder, const QString &name, const QString &algorithm, const Pump &pump, QString *sum);
    // An open regular file from its start, whatever its offset (which is left as it is).
    static Answer checksumOf(int fd, const QString &algorithm, const Pump &pump, QString *sum);
};
