#pragma once

#include "xml/XmlPushParser.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <ctime>
#include <sys/types.h>
#include <vector>

// What one read of a file found: the file's identity (device, inode, size,
// modification and change times) and a 128-bit hash of every piece of
// ChunkSize bytes, taken as the bytes go by. A stage that reads a file the
// run will write again keeps its fingerprint, so the writer can tell an
// unchanged file without reading it a second time (over SMB, a second trip
// for every byte).
class FileFingerprint : public XmlPushParser::FileObserver {
public:
    static constexpr qsizetype ChunkSize = 256 * 1024;
    using ChunkHash = std::array<size_t, 2>;

    // Starts a new fingerprint of the file with this status.
    void opened(const struct stat &info) override;
    void bytesRead(QByteArrayView bytes) override { add(bytes); }
    void endReached() override;

    // The bytes of the stream, in order; the hash of a chunk is taken when
    // it is complete (or at the end).
    void add(QByteArrayView bytes);
    // True once the whole file was read, every byte of it seen.
    bool isComplete() const { return m_complete; }
    // Whether the open file descriptor is, by its status now, still the file
    // this fingerprint was taken of, unchanged since.
    bool identifies(int descriptor) const;

    qint64 size() const { return m_size; }
    const std::vector<ChunkHash> &chunkHashes() const { return m_chunks; }
    static ChunkHash hashOf(QByteArrayView chunk);

private:
    void hashChunk(QByteArrayView chunk);

    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        timespec modified{};
        timespec changed{};
        bool operator==(const Identity &other) const;
    };
    static Identity identityOf(const struct stat &info);

    Identity m_identity;
    bool m_opened = false;
    bool m_complete = false;
    qint64 m_size = 0;
    std::vector<ChunkHash> m_chunks;
    // The start of a chunk that is not yet complete.
    QByteArray m_pending;
};
