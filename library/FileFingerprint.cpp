#include "library/FileFingerprint.h"

#include <QHash>

#include <sys/stat.h>

namespace {

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool FileFingerprint::Identity::operator==(const Identity &other) const
{
    return device == other.device && inode == other.inode && size == other.size
        && sameTime(modified, other.modified) && sameTime(changed, other.changed);
}

FileFingerprint::Identity FileFingerprint::identityOf(const struct stat &info)
{
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

void FileFingerprint::opened(const struct stat &info)
{
    m_identity = identityOf(info);
    m_opened = true;
    m_complete = false;
    m_size = 0;
    m_chunks.clear();
    m_pending.clear();
}

FileFingerprint::ChunkHash FileFingerprint::hashOf(QByteArrayView chunk)
{
    // Two independent seeds: an accidental match of a changed chunk is then
    // out of reach, and Qt's hash of bytes runs at memory speed.
    return {qHashBits(chunk.data(), size_t(chunk.size()), 0x9e3779b97f4a7c15u),
            qHashBits(chunk.data(), size_t(chunk.size()), 0xc2b2ae3d27d4eb4fu)};
}

void FileFingerprint::hashChunk(QByteArrayView chunk)
{
    m_chunks.push_back(hashOf(chunk));
}

void FileFingerprint::add(QByteArrayView bytes)
{
    m_size += bytes.size();
    if (!m_pending.isEmpty()) {
        const qsizetype wanted = std::min(ChunkSize - m_pending.size(), bytes.size());
        m_pending.append(bytes.first(wanted));
        bytes = bytes.sliced(wanted);
        if (m_pending.size() < ChunkSize)
            return;
        hashChunk(m_pending);
        m_pending.clear();
    }
    while (bytes.size() >= ChunkSize) {
        hashChunk(bytes.first(ChunkSize));
        bytes = bytes.sliced(ChunkSize);
    }
    m_pending.append(bytes);
}

void FileFingerprint::endReached()
{
    if (!m_opened)
        return;
    if (!m_pending.isEmpty())
        hashChunk(m_pending);
    m_pending.clear();
    // Only a file read to its end as it stood when opened counts.
    m_complete = m_size == qint64(m_identity.size);
}

bool FileFingerprint::identifies(int descriptor) const
{
    struct stat info {};
    return m_complete && ::fstat(descriptor, &info) == 0 && identityOf(info) == m_identity;
}
