#include "library/MusicLibrary.h"

#include "library/ArtworkFileWriter.h"
#include "library/LibraryFileReadAhead.h"
#include "library/LibraryFileWriter.h"
#include "library/PreviousArtworkFile.h"
#include "library/PreviousLibraryFile.h"
#include "library/SyncStage.h"
#include "library/TrackCopier.h"

MusicLibrary::MusicLibrary()
    : m_validateFileNameCharacterSet(createValidFilenameCharacterSet())
{
    qRegisterMetaType<Notify>();
}

MusicLibrary::~MusicLibrary() = default;

SyncStage MusicLibrary::stage()
{
    return SyncStage{*this, m_counters, m_reports, m_sharePaths};
}

// The stages ------------------------------------------------------------------

bool MusicLibrary::syncTracks(const QString &path)
{
    PreviousLibraryFile reader(stage());
    const std::unique_ptr<LibraryFileReadAhead> readAhead = std::move(m_libraryFileReadAhead);
    const bool read = reader.read(path, readAhead.get());
    m_parsingError = reader.parsingError();
    m_previousLibraryFile = reader.fingerprint();
    return read;
}

void MusicLibrary::setLibraryFileReadAhead(std::unique_ptr<LibraryFileReadAhead> readAhead)
{
    m_libraryFileReadAhead = std::move(readAhead);
}

bool MusicLibrary::writeXMLTracks(const QString &libraryId, const QString &libName)
{
    LibraryFileWriter writer(stage(), [this]() -> const TrackDestinations & { return planTrackDestinations(); },
                             m_stopRequested, &m_previousLibraryFile);
    return writer.write(libraryId, libName, m_syncVersion);
}

bool MusicLibrary::syncAlbumCovers(const QString &path)
{
    PreviousArtworkFile reader(stage());
    const bool read = reader.read(path);
    m_parsingError = reader.parsingError();
    m_previousArtworkFile = reader.fingerprint();
    return read;
}

bool MusicLibrary::writeXMLAlbumCovers()
{
    return ArtworkFileWriter(stage(), &m_previousArtworkFile).write();
}

QString MusicLibrary::convertToValidString(const QString &text)
{
    return LibraryFileWriter::escapedAttribute(text);
}

// Tracks ----------------------------------------------------------------------

bool MusicLibrary::copyTrack(Track &track)
{
    return TrackCopier(stage()).copyTrack(track);
}

CharacterSet MusicLibrary::createValidFilenameCharacterSet()
{
    CharacterSet permitted;
    permitted.addRange(u'0', u'9');
    permitted.addRange(u'A', u'Z');
    permitted.addRange(u'a', u'z');
    permitted.addCharacters(u"~`!@#$%^&()-_+={}[];',. ");
    return permitted.inverted();
}

QString MusicLibrary::validateFileName(const QString &name) const
{
    return TrackDestinations::withoutCharacters(m_validateFileNameCharacterSet, name);
}

const TrackDestinations &MusicLibrary::planTrackDestinations()
{
    m_destinations = std::make_unique<TrackDestinations>(m_validateFileNameCharacterSet, m_sharePaths.cpyBasePath);
    m_destinations->plan(tracks(), sortedTracks());
    return *m_destinations;
}

std::optional<TrackDestinations::Destination> MusicLibrary::trackDestination(const Track &track) const
{
    if (!m_destinations)
        return std::nullopt;
    return m_destinations->destinationOf(track);
}
