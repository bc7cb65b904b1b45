#pragma once

#include "itunes/MusicElementList.h"
#include "itunes/MusicSourceArtwork.h"
#include "itunes/MusicTrackProperties.h"

#include <memory>

// A track of a music source. The persistent ID is always known; the other
// properties may be read from the source only when the track is resolved.
class MusicSourceTrack : public std::enable_shared_from_this<MusicSourceTrack> {
public:
    virtual ~MusicSourceTrack() = default;

    virtual QString persistentID() const = 0;
    // The resolved track, its properties read; throws MusicSourceError.
    virtual std::shared_ptr<MusicSourceTrack> get() = 0;
    // Every property; resolves the track first if needed. Throws MusicSourceError.
    virtual const MusicTrackProperties &properties() = 0;
    // The artworks of the track, read from its audio file and its folder now.
    virtual MusicElementList<MusicSourceArtwork> artworks();
};
