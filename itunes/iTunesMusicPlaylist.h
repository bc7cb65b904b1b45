#pragma once

#include "itunes/MusicSourcePlaylist.h"
#include "library/Playlist.h"

#include <QMetaType>

#include <memory>
#include <vector>

using MusicSourceTracks = std::vector<std::shared_ptr<MusicSourceTrack>>;
Q_DECLARE_METATYPE(MusicSourceTracks)

// A Playlist that keeps the source's playlist and reads its members from it
// whenever the engine asks.
class iTunesMusicPlaylist : public Playlist {
public:
    // Replaces tracks() with the persistent IDs of every member, in playlist
    // order; an empty list without a source playlist or when the source fails.
    void getPlaylistTrackIDs() override;
    // The resolved member tracks as a MusicSourceTracks value, or none.
    QVariant getPlaylistTracks() override;

    QString archiveClassName() const override;
    QStringList archiveClassHierarchy() const override;
    // A factory for KeyedUnarchiver::registerClass: the playlist without a
    // source playlist.
    static KeyedCodablePtr decodeiTunesMusicPlaylist(KeyedUnarchiver &coder);

    const std::shared_ptr<MusicSourcePlaylist> &iTPlaylist() const { return m_iTPlaylist; }
    void setITPlaylist(std::shared_ptr<MusicSourcePlaylist> playlist) { m_iTPlaylist = std::move(playlist); }

private:
    std::shared_ptr<MusicSourcePlaylist> m_iTPlaylist;
};
