#pragma once

#include "itunes/MusicTrackProperties.h"

#include <QString>

// Reads the tags and audio properties of one audio file with TagLib. A file
// TagLib cannot read still gives its location, size and a name from the file
// name.
class AudioFileTagReader {
public:
    static MusicTrackProperties read(const QString &path);
    // "3/12" -> (3, 12); missing parts are 0.
    static QPair<int, int> numberAndTotal(const QString &text);
};
