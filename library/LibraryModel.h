#pragma once

#include "library/AlbumCover.h"
#include "library/Playlist.h"
#include "library/Track.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class SyncReports;

// The music library in memory: tracks, playlists and album covers, and which
// of them a run syncs.
//
// Ownership: the records are held by std::shared_ptr in the maps; the model
// owns them jointly with whoever else keeps a pointer (the music source's
// loader, a playlist picker), so a record stays valid while anyone holds it,
// and subclasses of Track, Playlist and AlbumCover are stored as such.
// The tracks are only looked up by identifier (sortedTracks gives their
// order), so they are hashed; the other maps are ordered by key, which is
// the enumeration order wherever the engine walks a map (playlists in the
// library file, covers in the artwork file).
class LibraryModel {
public:
    using TrackMap = QHash<QString, std::shared_ptr<Track>>;
    using PlaylistMap = QMap<QString, std::shared_ptr<Playlist>>;
    using AlbumCoverMap = QMap<QString, std::shared_ptr<AlbumCover>>;
    // Track persistent identifier mapped to itself; only the keys matter.
    using TrackIdMap = QMap<QString, QString>;

    LibraryModel() = default;
    virtual ~LibraryModel();
    LibraryModel(const LibraryModel &) = delete;
    LibraryModel &operator=(const LibraryModel &) = delete;

    // The identifiers of the tracks of every selected playlist (reports
    // Activity::Playlist for each selected playlist).
    TrackIdMap tracksOfSelectedPlaylists(const SyncReports &reports) const;
    // What a selected playlist adds to a selected-playlists run, expanding
    // it first: its member IDs, none for "Library" and "Music".
    static QStringList syncedMembersOf(Playlist &playlist);
    // The covers of the tracks in tracksToSync(), keyed by album identifier.
    AlbumCoverMap getAlbumCoverToSync() const;

    const TrackMap &tracks() const { return m_tracks; }
    TrackMap &tracks() { return m_tracks; }
    void setTracks(const TrackMap &value) { m_tracks = value; }
    // The tracks' identifiers in library order: the order of the library file.
    const QStringList &sortedTracks() const { return m_sortedTracks; }
    QStringList &sortedTracks() { return m_sortedTracks; }
    void setSortedTracks(const QStringList &value) { m_sortedTracks = value; }
    const PlaylistMap &playlists() const { return m_playlists; }
    PlaylistMap &playlists() { return m_playlists; }
    void setPlaylists(const PlaylistMap &value) { m_playlists = value; }
    const AlbumCoverMap &albumCovers() const { return m_albumCovers; }
    AlbumCoverMap &albumCovers() { return m_albumCovers; }
    void setAlbumCovers(const AlbumCoverMap &value) { m_albumCovers = value; }

    // Whether a run syncs every track, or only those of the selected playlists.
    bool syncCompleteMusicLibrary() const { return m_syncCompleteMusicLibrary; }
    void setSyncCompleteMusicLibrary(bool value) { m_syncCompleteMusicLibrary = value; }
    // The tracks a selected-playlists run syncs, set when it writes the
    // library file; none when the whole library is synced.
    const std::optional<TrackIdMap> &tracksToSync() const { return m_tracksToSync; }
    void setTracksToSync(const std::optional<TrackIdMap> &value) { m_tracksToSync = value; }

private:
    TrackMap m_tracks;
    QStringList m_sortedTracks;
    PlaylistMap m_playlists;
    AlbumCoverMap m_albumCovers;
    bool m_syncCompleteMusicLibrary = false;
    std::optional<TrackIdMap> m_tracksToSync;
};
