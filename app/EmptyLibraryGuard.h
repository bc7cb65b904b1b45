#pragma once

#include <QString>
#include <QStringList>

class MusicLibrary;

// What keeps a run from wiping the server's library: before anything is
// written, the tracks the run would list are counted, and so are the songs
// of the library file already on the share. A run listing none in place of
// a file listing some is almost always a music disk that is not mounted or
// a selection that names nothing.
namespace EmptyLibraryGuard {

// Whether the run would list any track: of the whole library or among the
// members of the selected playlists ("Library" and "Music" excepted, as the
// library file leaves them out), DRM-protected ones not counted.
bool hasTrackToPublish(MusicLibrary &library, bool entireLibrary);
// The persistent IDs of the tracks the run would list, in library order (in
// playlist order for a selection).
QStringList tracksToPublishIds(MusicLibrary &library, bool entireLibrary);

// The <Song> elements of the library file at `path`; 0 when there is none.
qint64 songsListedIn(const QString &path);

} // namespace EmptyLibraryGuard
