#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads .m3u and .m3u8 playlists: one entry per line, "#" lines ignored;
// entries are paths relative to the playlist's folder, absolute paths or
// file URLs.
class M3uPlaylistReader {
public:
    static constexpr qint64 MaximumFileSize = 16 * 1024 * 1024;

    // The entries of the playlist text as written. .m3u8 is UTF-8; .m3u is
    // read as UTF-8 when it is valid UTF-8, else as Latin-1.
    static QStringList entries(const QByteArray &bytes);
    // The clean absolute path an entry names, or null (a URL of another scheme).
    static QString resolve(const QString &entry, const QString &playlistFolder);
    // Every resolved path of the playlist file; empty when it cannot be read.
    static QStringList readFile(const QString &path);
};
