#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

#include <memory>

class KeyedUnarchiver;
class Playlist;

// The stored "SelectedPlaylists" value: a keyed archive whose root maps
// playlist persistent IDs to playlist objects. Only the keys carry meaning.
class SelectedPlaylistsArchive {
public:
    using PlaylistMap = QMap<QString, std::shared_ptr<Playlist>>;

    // The persistent IDs of the archive's map; empty for no data or data
    // that cannot be restored.
    static QSet<QString> restoreIds(const QByteArray &data);
    // The archive's map; a value that is not a playlist becomes a playlist
    // holding only its key. Empty for no data or data that cannot be restored.
    static PlaylistMap restore(const QByteArray &data);
    // The archive of map (null playlists are archived as "$null").
    static QByteArray archive(const PlaylistMap &map);

    // The playlist classes an archive of this kind may hold.
    static void registerPlaylistClasses(KeyedUnarchiver &unarchiver);
};
