#include "library/ReplacementOutput.h"

#include "library/FileFingerprint.h"
#include "library/ShareFiles.h"
#include "share/FileIO.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t BufferSize = 256 * 1024;

// The previous file read-only, only when it is a regular file: a link, a
// folder or a device under the final name gets a whole new file, as before.
int openPrevious(const QString &path)
{
    const int descriptor = ::open(path.toUtf8().constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

ReplacementOutput::ReplacementOutput(FileIO &output, const QString &previousPath, const FileFingerprint *previousRead)
    : m_output(output), m_previous(openPrevious(previousPath)), m_comparing(m_previous >= 0)
{
    if (!m_comparing)
        return;
    if (previousRead && previousRead->identifies(m_previous)) {
        m_fingerprint = previousRead;
        m_buffer.reserve(size_t(FileFingerprint::ChunkSize));
    } else {
        m_buffer.resize(BufferSize);
    }
}

ReplacementOutput::~ReplacementOutput()
{
    if (m_previous >= 0)
        ::close(m_previous);
}

void ReplacementOutput::write(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_comparing && m_fingerprint) {
        writeByFingerprint(bytes);
        return;
    }
    if (m_comparing) {
        if (matchesPrevious(bytes)) {
            m_matched += bytes.size();
            return;
        }
        copyMatchedStart();
    }
    m_output.fileWriteBytes(bytes);
}

void ReplacementOutput::writeString(const QString &text)
{
    write(FileIO::utf8WithoutNul(text));
}

bool ReplacementOutput::repeatsPrevious()
{
    if (!m_comparing)
        return false;
    if (m_fingerprint) {
        if (repeatsFingerprint()) {
            m_comparing = false;
            return true;
        }
        copyMatchedStart();
        return false;
    }
    // The previous file must end where the new one does.
    if (m_bufferPosition == m_bufferEnd && !refill() && m_readErrno == 0) {
        m_comparing = false;
        return true;
    }
    m_readErrno = 0;
    copyMatchedStart();
    return false;
}

bool ReplacementOutput::fileHolds(const QString &path, QByteArrayView bytes)
{
    FileIO unused;
    ReplacementOutput comparison(unused, path);
    if (!comparison.m_comparing || !comparison.matchesPrevious(bytes))
        return false;
    // The file must end where bytes do; nothing is copied either way.
    return comparison.m_bufferPosition == comparison.m_bufferEnd && !comparison.refill()
        && comparison.m_readErrno == 0;
}

bool ReplacementOutput::matchesPrevious(QByteArrayView bytes)
{
    qsizetype compared = 0;
    while (compared < bytes.size()) {
        if (m_bufferPosition == m_bufferEnd && !refill())
            return false;
        const size_t length = std::min(size_t(bytes.size() - compared), m_bufferEnd - m_bufferPosition);
        if (std::memcmp(bytes.data() + compared, m_buffer.data() + m_bufferPosition, length) != 0)
            return false;
        m_bufferPosition += length;
        compared += qsizetype(length);
    }
    return true;
}

// The next piece of the previous file; false at its end or on a read error
// (m_readErrno), either of which ends the comparison.
bool ReplacementOutput::refill()
{
    for (;;) {
        const ssize_t got = ::read(m_previous, m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            m_readErrno = errno != 0 ? errno : EIO;
        m_bufferPosition = 0;
        m_bufferEnd = got > 0 ? size_t(got) : 0;
        return got > 0;
    }
}

void ReplacementOutput::writeByFingerprint(QByteArrayView bytes)
{
    const qsizetype chunkSize = FileFingerprint::ChunkSize;
    while (!bytes.isEmpty()) {
        const qsizetype wanted = std::min(chunkSize - qsizetype(m_buffer.size()), bytes.size());
        m_buffer.insert(m_buffer.end(), bytes.data(), bytes.data() + wanted);
        bytes = bytes.sliced(wanted);
        if (qsizetype(m_buffer.size()) < chunkSize)
            return;
        if (!chunkMatches(qsizetype(m_matched / chunkSize), QByteArrayView(m_buffer.data(), chunkSize))) {
            copyMatchedStart();
            m_output.fileWriteBytes(bytes);
            return;
        }
        m_matched += chunkSize;
        m_buffer.clear();
    }
}

bool ReplacementOutput::chunkMatches(qsizetype index, QByteArrayView chunk) const
{
    const std::vector<FileFingerprint::ChunkHash> &hashes = m_fingerprint->chunkHashes();
    // A chunk of the previous file has its full size unless it is the last.
    const qint64 start = qint64(index) * FileFingerprint::ChunkSize;
    const qint64 previousLength = std::min<qint64>(FileFingerprint::ChunkSize, m_fingerprint->size() - start);
    return index < qsizetype(hashes.size()) && previousLength == chunk.size()
        && FileFingerprint::hashOf(chunk) == hashes[size_t(index)];
}

bool ReplacementOutput::repeatsFingerprint() const
{
    const qsizetype chunks = qsizetype(m_fingerprint->chunkHashes().size());
    const qsizetype complete = qsizetype(m_matched / FileFingerprint::ChunkSize);
    if (m_matched + qint64(m_buffer.size()) != m_fingerprint->size())
        return false;
    if (m_buffer.empty())
        return complete == chunks;
    return complete + 1 == chunks
        && chunkMatches(complete, QByteArrayView(m_buffer.data(), qsizetype(m_buffer.size())));
}

// Ends the comparison: what matched so far is read again from the previous
// file and written to output, which then continues the new file.
void ReplacementOutput::copyMatchedStart()
{
    m_comparing = false;
    m_readErrno = 0;
    // With a fingerprint the buffer holds the new file's current chunk,
    // written after the start; the start is read through a buffer of its own.
    std::vector<char> pending;
    if (m_fingerprint) {
        pending.swap(m_buffer);
        m_buffer.resize(size_t(FileFingerprint::ChunkSize));
    }
    qint64 copied = 0;
    while (copied < m_matched && m_readErrno == 0) {
        const size_t wanted = size_t(std::min<qint64>(m_matched - copied, qint64(m_buffer.size())));
        const ssize_t got = ShareFiles::readAt(m_previous, m_buffer.data(), wanted, copied);
        if (got <= 0) {
            // Shrunk or unreadable since it was compared: the new file
            // cannot be completed from it.
            m_readErrno = got < 0 && errno != 0 ? errno : EIO;
            break;
        }
        const QByteArrayView piece(m_buffer.data(), got);
        // Read in whole chunks from a chunk's start: each piece is one.
        if (m_fingerprint && (size_t(got) != wanted
                              || !chunkMatches(qsizetype(copied / FileFingerprint::ChunkSize), piece))) {
            m_readErrno = ESTALE;
            break;
        }
        m_output.fileWriteBytes(piece);
        copied += got;
    }
    ::close(m_previous);
    m_previous = -1;
    std::vector<char>().swap(m_buffer);
    if (m_fingerprint && m_readErrno == 0)
        m_output.fileWriteBytes(QByteArrayView(pending.data(), qsizetype(pending.size())));
    m_fingerprint = nullptr;
}
