#include "library/ReplacementOutput.h"

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

ReplacementOutput::ReplacementOutput(FileIO &output, const QString &previousPath)
    : m_output(output), m_previous(openPrevious(previousPath)), m_comparing(m_previous >= 0)
{
    if (m_comparing)
        m_buffer.resize(BufferSize);
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

// Ends the comparison: what matched so far is read again from the previous
// file and written to output, which then continues the new file.
void ReplacementOutput::copyMatchedStart()
{
    m_comparing = false;
    m_readErrno = 0;
    qint64 copied = 0;
    while (copied < m_matched) {
        const size_t wanted = size_t(std::min<qint64>(m_matched - copied, qint64(m_buffer.size())));
        const ssize_t got = ::pread(m_previous, m_buffer.data(), wanted, copied);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // Shrunk or unreadable since it was compared: the new file
            // cannot be completed from it.
            m_readErrno = got < 0 && errno != 0 ? errno : EIO;
            break;
        }
        m_output.fileWriteBytes(QByteArrayView(m_buffer.data(), got));
        copied += got;
    }
    ::close(m_previous);
    m_previous = -1;
    std::vector<char>().swap(m_buffer);
}
