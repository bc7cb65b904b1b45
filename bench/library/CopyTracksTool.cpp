// Copies every file of a folder into <share>/Music/Artist/Album/ through
// copyTrack, as a sync run copies new tracks; prints the seconds it took.
// Usage: copy_tracks_tool <source folder> <music folder>
#include "library/MusicLibrary.h"
#include "library/Track.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: copy_tracks_tool <source folder> <music folder>\n");
        return 2;
    }
    const QDir source(QString::fromUtf8(argv[1]));
    MusicLibrary library;
    library.sharePaths().cpyBasePath = QString::fromUtf8(argv[2]);
    const QStringList names = source.entryList(QDir::Files, QDir::Name);
    QElapsedTimer timer;
    timer.start();
    int failures = 0;
    for (const QString &name : names) {
        Track track;
        track.setLocation(source.filePath(name));
        track.setArtistPath(QStringLiteral("Artist"));
        track.setAlbumPath(QStringLiteral("Album"));
        track.setSongPath(name);
        track.setStatus(1);
        if (!library.copyTrack(track))
            ++failures;
    }
    std::printf("%.4f\n", double(timer.nsecsElapsed()) / 1e9);
    if (library.counters().numTracksCopied != names.size() - failures || failures != 0) {
        std::fprintf(stderr, "copied %d of %lld files\n", library.counters().numTracksCopied, qlonglong(names.size()));
        return 1;
    }
    return 0;
}
