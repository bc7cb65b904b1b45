#include "library/PreviousLibraryFile.h"

#include "library/DescriptionFileReader.h"
#include "library/LibraryFileReadAhead.h"
#include "library/PreviousArtworkFile.h"
#include "library/TrackDestinations.h"

#include <charconv>

namespace {

std::optional<qint64> sizeOf(const XmlAttributes &attributes)
{
    for (const XmlAttributes::Entry &entry : attributes.entries()) {
        if (!entry.prefix.isEmpty() || entry.localName != "Size")
            continue;
        qint64 size = 0;
        const char *const end = entry.value.data() + entry.value.size();
        const auto [stop, error] = std::from_chars(entry.value.data(), end, size);
        return error == std::errc() && stop == end ? std::optional<qint64>(size) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

ListedSong PreviousLibraryFile::listedSongOf(const XmlAttributes &attributes)
{
    const std::optional<QString> location = attributes.value("Location");
    return ListedSong{attributes.value("ID"), location ? TrackDestinations::listedPathOfLocation(*location) : QString(),
                      sizeOf(attributes)};
}

void PreviousLibraryFile::takeSong(ListedSong &&song)
{
    const LibraryModel::TrackMap &tracks = m_stage.model.tracks();
    const auto found = song.id ? tracks.constFind(*song.id) : tracks.constEnd();
    // A track listed at another size than its file has now was changed since
    // it was copied (ripped again, its tags rewritten): the copy on the share
    // is not that file any more. It is copied as a new track, under a name of
    // its own beside the old copy, so that what the server plays is what the
    // library file says.
    if (found != tracks.constEnd() && found.value() && song.size && *song.size != 0 && found.value()->size() != 0
        && *song.size != found.value()->size())
        return;
    if (found != tracks.constEnd() && found.value()) {
        found.value()->setStatus(0);
        found.value()->setListedPath(std::move(song.listedPath));
        ++m_stage.counters.numTracksUnchanged;
    } else {
        ++m_stage.counters.numTracksDeleted;
    }
}

void PreviousLibraryFile::takeElement(const QString &name, const XmlAttributes &attributes)
{
    takeListed(
        name, attributes, [this](ListedSong &&song) { takeSong(std::move(song)); },
        [this](ListedCover &&cover) { PreviousArtworkFile::takeListedCover(m_stage.model, m_stage.counters, cover); });
}

bool PreviousLibraryFile::takenFromReadAhead(const QString &path, LibraryFileReadAhead *readAhead)
{
    if (!readAhead || readAhead->path() != path)
        return false;
    std::optional<LibraryFileListing> listing = readAhead->take();
    if (!listing)
        return false;
    for (ListedSong &song : listing->songs)
        takeSong(std::move(song));
    for (const ListedCover &cover : listing->covers)
        PreviousArtworkFile::takeListedCover(m_stage.model, m_stage.counters, cover);
    m_fingerprint = std::move(listing->fingerprint);
    return true;
}

bool PreviousLibraryFile::read(const QString &path, LibraryFileReadAhead *readAhead)
{
    SyncCounters &counters = m_stage.counters;
    counters.numTracksProcessed = int(m_stage.model.tracks().size());
    counters.numTracksDeleted = 0;
    counters.numTracksUnchanged = 0;
    m_stage.reports.syncNotifyTitle(Activity::SyncStageStarts, QStringLiteral("Synchronizing Music Tracks"));
    m_parsingError.reset();
    if (!takenFromReadAhead(path, readAhead)) {
        DescriptionFileReader reader(
            [this](const QString &name, const XmlAttributes &attributes) { takeElement(name, attributes); },
            [this](const ErrorRecord &error) {
                if (!m_parsingError)
                    m_parsingError = error;
            });
        reader.readFile(path, &m_fingerprint);
    }
    counters.numTracksAdded = counters.numTracksProcessed - counters.numTracksUnchanged;
    if (m_parsingError)
        m_stage.reports.syncNotifyError(QStringLiteral("Error parsing Music Tracks XML file"), *m_parsingError);
    else
        m_stage.reports.syncNotifyTitle(Activity::ReadFinished, QStringLiteral("Finished Synchronizing Music Tracks"));
    return !m_parsingError;
}
