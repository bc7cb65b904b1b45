#include "library/LibraryFileReadAhead.h"

#include "library/DescriptionFileReader.h"

#include <system_error>

#include <fcntl.h>
#include <unistd.h>

LibraryFileReadAhead::LibraryFileReadAhead(QString path)
    : m_path(std::move(path))
{
    try {
        m_reading = std::async(std::launch::async, [this, path = m_path] { return read(path, &m_cancelled); });
    } catch (const std::system_error &) {
        // No thread to be had: the run reads the file itself.
    }
}

LibraryFileReadAhead::~LibraryFileReadAhead()
{
    m_cancelled = true;
    if (m_reading.valid())
        m_reading.wait();
}

std::optional<LibraryFileListing> LibraryFileReadAhead::take()
{
    if (!m_reading.valid())
        return std::nullopt;
    LibraryFileListing listing = m_reading.get();
    if (listing.failed || !listing.fingerprint.isComplete())
        return std::nullopt;
    const int descriptor = ::open(m_path.toUtf8().constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    const bool unchanged = listing.fingerprint.identifies(descriptor);
    ::close(descriptor);
    if (!unchanged)
        return std::nullopt;
    return listing;
}

namespace {

struct ReadCancelled {};

} // namespace

LibraryFileListing LibraryFileReadAhead::read(const QString &path, const std::atomic<bool> *cancelled)
{
    LibraryFileListing listing;
    DescriptionFileReader reader(
        [&listing, cancelled](const QString &name, const XmlAttributes &attributes) {
            // Unwinds out of the parse, which stops it (see XmlPushParser).
            if (cancelled && cancelled->load(std::memory_order_relaxed))
                throw ReadCancelled{};
            PreviousLibraryFile::takeListed(
                name, attributes, [&listing](ListedSong &&song) { listing.songs.push_back(std::move(song)); },
                [&listing](ListedCover &&cover) { listing.covers.push_back(std::move(cover)); });
        },
        [&listing](const ErrorRecord &) { listing.failed = true; });
    try {
        reader.readFile(path, &listing.fingerprint);
    } catch (const ReadCancelled &) {
        return LibraryFileListing{{}, {}, {}, true};
    }
    return listing;
}
