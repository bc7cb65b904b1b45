#pragma once

#include "itunes/ResolvedMusicTrack.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// What a library export holds, as read: tracks in the order of the "Tracks"
// dictionary, playlists with the track IDs they name.
struct ExportLibraryContents {
    struct Playlist {
        QString name;
        QString persistentID;
        bool master = false;
        std::vector<qint64> trackIDs;
    };

    std::vector<std::shared_ptr<ResolvedMusicTrack>> tracks;
    QHash<qint64, qsizetype> trackIndexByID; // "Track ID" -> index in tracks
    std::vector<Playlist> playlists;
};
