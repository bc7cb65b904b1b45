#pragma once

#include "itunes/MusicSourceTrack.h"
#include "library/Track.h"

#include <QString>

#include <memory>

// A Track filled once, at load time, from a track of the music source.
class iTunesMusicTrack : public Track {
public:
    // The filled track, or none when a call into the source failed (the
    // failure goes no further). Resolves the track first.
    static std::shared_ptr<iTunesMusicTrack> initWithiTunesTrack(const std::shared_ptr<MusicSourceTrack> &track);
    // Copies every property of track into this one; throws MusicSourceError.
    iTunesMusicTrack &copyiTunesTrack(MusicSourceTrack &track);

    // "<grandparent folder>-<parent folder>" of a path with at least three
    // components ("/" of an absolute path counting as one), else none.
    static QString albumIDForLocation(const QString &location);
    // The extension of the last path component as written, or empty.
    static QString pathExtension(const QString &path);
};
