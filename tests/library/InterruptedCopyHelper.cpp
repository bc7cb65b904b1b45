// Child process of the interrupted-copy test: copies one track with
// copyTrack while the file-size limit stops it part-way; at that moment it
// stops itself so that the test can kill it in the middle of the copy.
//
// Usage: interrupted_copy_helper <source> <music folder> <artist> <album> <song> <byte limit>

#include "library/MusicLibrary.h"
#include "library/Track.h"

#include <QString>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace {

void stopHere(int)
{
    std::raise(SIGSTOP);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 7)
        return 2;
    const rlim_t limit = rlim_t(std::strtoull(argv[6], nullptr, 10));
    const rlimit fileSize{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
        return 3;
    std::signal(SIGXFSZ, stopHere);

    MusicLibrary library;
    library.sharePaths().cpyBasePath = QString::fromUtf8(argv[2]);
    Track track;
    track.setLocation(QString::fromUtf8(argv[1]));
    track.setArtistPath(QString::fromUtf8(argv[3]));
    track.setAlbumPath(QString::fromUtf8(argv[4]));
    track.setSongPath(QString::fromUtf8(argv[5]));
    track.setStatus(1);
    return library.copyTrack(track) ? 0 : 1;
}
