#include "library/LibraryFileReadAhead.h"

#include "library/DescriptionFileReader.h"


#include <fcntl.h>
#include <unistd.h>

LibraryFileReadAhead::LibraryFileReadAhead(QString path)
    : m_path(std::move(path))
{
    m_reading = std::async(std::launch::async, [path = m_path] { return read(path); });
}

LibraryFileReadAhead::~LibraryFileReadAhead()
{
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

LibraryFileListing LibraryFileReadAhead::read(const QString &path)
{
    LibraryFileListing listing;
    DescriptionFileReader reader(
        [&listing](const QString &name, const XmlAttributes &attributes) {
            if (DescriptionFileReader::isNamed(name, QLatin1String("song"))) {
                listing.songs.push_back(PreviousLibraryFile::listedSongOf(attributes));
                return;
            }
            if (!DescriptionFileReader::isNamed(name, QLatin1String("albumcover")))
                return;
            if (std::optional<ListedCover> cover = PreviousArtworkFile::listedCoverOf(attributes))
                listing.covers.push_back(std::move(*cover));
        },
        [&listing](const ErrorRecord &) { listing.failed = true; });
    reader.readFile(path, &listing.fingerprint);
    return listing;
}
