#include "library/AlbumCover.h"

bool AlbumCover::copyArtwork(const QString &)
{
    return false;
}

QString AlbumCover::artworkFileName()
{
    return {};
}
