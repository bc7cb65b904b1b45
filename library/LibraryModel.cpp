#include "library/LibraryModel.h"

#include "library/SyncReports.h"

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

LibraryModel::~LibraryModel()
{
    // The tracks go in the order of their memory rather than the hash's:
    // at 100,000 tracks a walk in hash order misses the cache on nearly
    // every track and string it frees.
    std::vector<std::shared_ptr<Track>> tracks;
    try {
        tracks.reserve(size_t(m_tracks.size()));
    } catch (const std::bad_alloc &) {
        return; // they go in hash order then
    }
    for (auto entry = m_tracks.begin(); entry != m_tracks.end(); ++entry)
        tracks.push_back(std::move(entry.value()));
    m_tracks.clear();
    std::sort(tracks.begin(), tracks.end(), [](const std::shared_ptr<Track> &left, const std::shared_ptr<Track> &right) {
        return std::less<const Track *>()(left.get(), right.get());
    });
}

LibraryModel::TrackIdMap LibraryModel::tracksOfSelectedPlaylists(const SyncReports &reports) const
{
    TrackIdMap result;
    const PlaylistMap playlists = m_playlists;
    for (const std::shared_ptr<Playlist> &playlist : playlists) {
        if (!playlist || !playlist->isSelected())
            continue;
        reports.syncNotifyTitle(Activity::Playlist, playlist->name());
        for (const QString &trackId : syncedMembersOf(*playlist)) {
            if (!result.contains(trackId))
                result.insert(trackId, trackId);
        }
    }
    return result;
}

QStringList LibraryModel::syncedMembersOf(Playlist &playlist)
{
    if (playlist.name() == u"Library" || playlist.name() == u"Music")
        return {};
    if (!playlist.isExpanded()) {
        playlist.setIsExpanded(true);
        playlist.getPlaylistTrackIDs();
    }
    return playlist.tracks().value_or(QStringList());
}

LibraryModel::AlbumCoverMap LibraryModel::getAlbumCoverToSync() const
{
    AlbumCoverMap result;
    if (!m_tracksToSync)
        return result;
    for (auto entry = m_tracksToSync->constKeyValueBegin(); entry != m_tracksToSync->constKeyValueEnd(); ++entry) {
        const std::shared_ptr<Track> track = m_tracks.value(entry->first);
        if (!track || track->albumID().isNull())
            continue;
        if (result.contains(track->albumID()))
            continue;
        const auto cover = m_albumCovers.constFind(track->albumID());
        if (cover != m_albumCovers.constEnd())
            result.insert(track->albumID(), cover.value());
    }
    return result;
}
