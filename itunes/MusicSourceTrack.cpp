#include "itunes/MusicSourceTrack.h"

#include "itunes/ArtworkFinder.h"

MusicElementList<MusicSourceArtwork> MusicSourceTrack::artworks()
{
    const QString location = properties().location;
    if (location.isEmpty())
        return {};
    return MusicElementList<MusicSourceArtwork>::of(ArtworkFinder::artworksForFile(location));
}
