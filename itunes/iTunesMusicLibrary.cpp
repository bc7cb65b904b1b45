#include "itunes/iTunesMusicLibrary.h"

#include "itunes/MusicSourceLocator.h"
#include "itunes/iTunesAlbumCover.h"
#include "itunes/iTunesMusicPlaylist.h"
#include "itunes/iTunesMusicTrack.h"

#include <QDir>

#include <optional>

namespace {

ErrorRecord sourceError(const MusicSourceError &error)
{
    return ErrorRecord::withDescription(QStringLiteral("MusicSourceErrorDomain"), 2, error.message());
}

} // namespace

iTunesMusicLibrary::iTunesMusicLibrary() : m_homePath(QDir::homePath()) {}

QStringList iTunesMusicLibrary::acceptedExtensions()
{
    return {QStringLiteral("wav"),  QStringLiteral("wma"), QStringLiteral("mp3"),  QStringLiteral("mp4"),
            QStringLiteral("m4a"),  QStringLiteral("m4p"), QStringLiteral("aac"),  QStringLiteral("ogg"),
            QStringLiteral("oga"),  QStringLiteral("aiff"), QStringLiteral("aif"), QStringLiteral("aifc"),
            QStringLiteral("flac")};
}

void iTunesMusicLibrary::reportSourceProblems()
{
    if (!m_iTunes->openError().isNull())
        syncNotifyError(QStringLiteral("Cannot read the music library"), m_iTunes->openError());
    if (!m_iTunes->warnings().isEmpty())
        syncNotifyTitleWithMessage(Activity::Error, QStringLiteral("Some entries of the music library were left out"), m_iTunes->warnings());
    for (const QString &note : m_iTunes->notes())
        syncNotifyTitle(Activity::Log, note);
}

void iTunesMusicLibrary::loadiTunesLibrary()
{
    QHash<QString, QString> extensions;
    for (const QString &extension : acceptedExtensions())
        extensions.insert(extension, extension);
    m_validMusicFileExtensions = extensions;

    if (!m_iTunes)
        m_iTunes = MusicSourceLocator::open(m_musicSource, m_musicSourcePathMap, m_homePath, m_musicFolder);
    reportSourceProblems();

    // A failing source never ends the load: what was read stays, and the
    // playlists are still loaded.
    try {
        if (const std::shared_ptr<MusicSourcePlaylist> library = getiTunesLibrary()) {
            syncNotifyTitle(Activity::LoadStageStarts, QStringLiteral("Started Loading iTunes Library"));
            importTracks(*library);
            syncNotifyTitle(Activity::Log, QStringLiteral("Syncing %1 tracks").arg(tracks().size()));
            if (tracks().isEmpty() && m_iTunes && m_iTunes->listedTrackCount() > 0)
                syncNotifyTitleWithMessage(Activity::Error, QStringLiteral("No track of the music library could be loaded"),
                                           {QStringLiteral("The music library lists %1 tracks; none of them can be synced.")
                                                .arg(m_iTunes->listedTrackCount())});
            syncNotifyTitle(Activity::LoadStageEnds, QStringLiteral("Finished Loading iTunes Library"));
        }
    } catch (const MusicSourceError &error) {
        syncNotifyError(QStringLiteral("Cannot read the tracks of the music library"), sourceError(error));
    }
    syncNotifyTitle(Activity::LoadStageStarts, QStringLiteral("Started Loading iTunes Playlists"));
    try {
        importUserPlaylists();
    } catch (const MusicSourceError &error) {
        syncNotifyError(QStringLiteral("Cannot read the playlists of the music library"), sourceError(error));
    }
    syncNotifyTitle(Activity::Log, QStringLiteral("Syncing %1 playlists").arg(playlists().size()));
    syncNotifyTitle(Activity::LoadStageEnds, QStringLiteral("Finished Loading iTunes Playlists"));
}

std::shared_ptr<MusicSourcePlaylist> iTunesMusicLibrary::getiTunesLibrary()
{
    if (!m_iTunes)
        return nullptr;
    for (const std::shared_ptr<MusicSource> &source : m_iTunes->sources().get()) {
        if (!source || source->kind() != kLib)
            continue;
        const auto libraryPlaylists = source->libraryPlaylists().get();
        if (!libraryPlaylists.empty())
            return libraryPlaylists.front();
    }
    return nullptr;
}

int iTunesMusicLibrary::importTracks(const MusicSourcePlaylist &libraryPlaylist)
{
    const int total = libraryPlaylist.tracks().count();
    syncNotifyTitle(Activity::Log, QStringLiteral("Starting to import tracks from iTunes"));
    albumCovers() = AlbumCoverMap();
    tracks() = TrackMap();
    tracks().reserve(qMax(total, 0));
    sortedTracks() = QStringList();
    sortedTracks().reserve(qMax(total, 0));
    syncNotifyTitle(Activity::Log, QStringLiteral("Importing %1 tracks from iTunes").arg(total));
    if (total < 1)
        return int(tracks().size());

    int index = 0;
    // The extension table looked up once per run of tracks of one type.
    bool lookedUp = false;
    QString lookedUpType;
    std::optional<QString> acceptedType;
    for (int start = 0; start < total; start += BatchSize) {
        const int length = start + BatchSize <= total ? BatchSize : total - start;
        const auto batch = libraryPlaylist.tracks().subarrayWithRange(start, length).get();
        syncNotifyTitle(Activity::Log, QStringLiteral("Importing tracks %1 to %2").arg(start).arg(start + length));
        for (const std::shared_ptr<MusicSourceTrack> &trackObject : batch) {
            syncNotifyProgress(Activity::LoadProgress, std::nullopt, index, total);
            ++index;
            const std::shared_ptr<iTunesMusicTrack> track = iTunesMusicTrack::initWithiTunesTrack(trackObject);
            if (!track)
                continue;
            // The type is the location's extension in lower case.
            if (!lookedUp || track->type() != lookedUpType) {
                lookedUp = true;
                lookedUpType = track->type();
                const auto validType = m_validMusicFileExtensions.constFind(lookedUpType);
                acceptedType = validType == m_validMusicFileExtensions.cend() ? std::nullopt : std::optional<QString>(validType.key());
            }
            if (!acceptedType) {
                syncNotifyTitle(Activity::Log, QStringLiteral("Skipping non-supported music item: %1.%2")
                                       .arg(track->title(), iTunesMusicTrack::pathExtension(track->location())));
                continue;
            }
            // Equal strings shared with the tables instead of one per track.
            track->setType(*acceptedType);
            // One song per persistent ID: a later track under an ID already
            // taken (two spellings of one file name) is passed over.
            std::shared_ptr<Track> &slot = tracks()[track->persistentId()];
            if (slot) {
                syncNotifyTitleWithMessage(Activity::Error, QStringLiteral("A track was left out: an earlier one has its persistent ID"),
                                           {QStringLiteral("%1 (persistent ID %2)").arg(track->location(), track->persistentId())});
                continue;
            }
            slot = track;
            sortedTracks().append(track->persistentId());
            // A track at the top of the file system has no album identifier
            // and so no cover entry.
            if (track->albumID().isNull())
                continue;
            if (const auto known = albumCovers().constFind(track->albumID()); known != albumCovers().cend()) {
                track->setAlbumID(known.key());
                continue;
            }
            // Whether it has artwork is looked up when asked (available()).
            auto cover = std::make_shared<iTunesAlbumCover>();
            cover->setStatus(1);
            cover->setTrack(trackObject);
            albumCovers().insert(track->albumID(), cover);
        }
    }
    return int(tracks().size());
}

int iTunesMusicLibrary::importUserPlaylists()
{
    playlists() = PlaylistMap();
    if (!m_iTunes)
        return 0;
    for (const std::shared_ptr<MusicSource> &source : m_iTunes->sources().get()) {
        if (!source || source->kind() != kLib)
            continue;
        for (const std::shared_ptr<MusicSourcePlaylist> &userPlaylist : source->userPlaylists().get()) {
            if (!userPlaylist)
                continue;
            if (userPlaylist->name() == QLatin1String("Library") || userPlaylist->name() == QLatin1String("Music"))
                continue;
            auto playlist = std::make_shared<iTunesMusicPlaylist>();
            playlist->setName(userPlaylist->name());
            playlist->setPersistentId(userPlaylist->persistentID());
            playlist->setITPlaylist(userPlaylist);
            playlists().insert(playlist->persistentId(), playlist);
        }
    }
    return int(playlists().size());
}
