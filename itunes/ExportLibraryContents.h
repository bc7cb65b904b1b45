#pragma once

#include "itunes/ResolvedMusicTrack.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// What a library export holds, as read: tracks in the order of the "Tracks"
// dictionary, playlists with the track IDs they name.
struct ExportLibraryContents {
    struct Playlist {
        QString name;
        QString persistentID;
        std::optional<qint64> playlistID; // "Playlist ID"
        bool master = false;
        std::vector<qint64> trackIDs;
    };

    std::vector<std::shared_ptr<ResolvedMusicTrack>> tracks;
    QHash<qint64, qsizetype> trackIndexByID; // "Track ID" -> index in tracks
    std::vector<Playlist> playlists;
    int listedTrackCount = 0;     // entries of "Tracks", kept or left out
    QString libraryPersistentID; // "Library Persistent ID"; empty when absent
    QString musicFolder;         // "Music Folder" as exported (a file URL); empty when absent
    // "Track ID"s of the tracks that came without a "Persistent ID" (the
    // reader gives them derived ones once the whole export is read).
    std::vector<qint64> tracksWithoutPersistentID;
};
