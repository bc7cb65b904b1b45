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

// The tracks the run would list: the whole library's or the members of the
// selected playlists ("Library" and "Music" excepted, as the library file
// leaves them out), DRM-protected ones not counted.
int tracksToPublish(MusicLibrary &library, bool entireLibrary);
// Those tracks' persistent IDs, in library order (in playlist order for a
// selection).
QStringList tracksToPublishIds(MusicLibrary &library, bool entireLibrary);

// The <Song> elements of the library file at `path`; 0 when there is none.
qint64 songsListedIn(const QString &path);

} // namespace EmptyLibraryGuard
