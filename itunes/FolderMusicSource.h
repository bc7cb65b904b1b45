#pragma once

#include "itunes/MusicApplication.h"

#include <QSet>
#include <QString>

#include <memory>

class TagCache;

// A folder of audio files as a music source: every audio file below it in
// the order of the sorted relative paths, its tags read with TagLib one
// batch at a time; the .m3u/.m3u8 files below it are the user playlists.
class FolderMusicSource {
public:
    // Scans root and adds its source to application, the tags kept in the
    // folder's TagCache; on a failure sets application's open error and
    // adds nothing.
    static bool open(const QString &root, MusicApplication &application);
    // The source of root; application, when given, learns how many tracks
    // the folder holds and which files were left out (names not in UTF-8).
    // With `tags`, the tags come through that cache, which is saved once the
    // library's last track has been read.
    static std::shared_ptr<MusicSource> scan(const QString &root, MusicApplication *application = nullptr,
                                             std::shared_ptr<TagCache> tags = nullptr);

    // 16 upper-case hexadecimal digits derived from a path relative to the
    // folder ('/' separators), the same on every run and machine.
    static QString persistentIDForPath(const QString &relativePath);
    // Files the scan takes as tracks (the loader still decides what it imports).
    static bool isMediaFile(const QString &fileName);
    static bool isPlaylistFile(const QString &fileName);
};
