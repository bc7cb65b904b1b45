#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// The stored "SelectedPlaylists" value: a keyed archive whose root maps
// playlist persistent IDs to playlist objects. Only the keys carry meaning.
class SelectedPlaylistsArchive {
public:
    // The persistent IDs of the archive's map; empty for no data or data
    // that cannot be restored.
    static QSet<QString> restoreIds(const QByteArray &data);
};
