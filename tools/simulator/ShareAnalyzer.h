#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

// Reads what a sync left on the share, as the server does after a refresh:
// every library file in <share>/Library/*.xml and the artwork file
// <share>/Artwork/Artwork.xml, and checks that every song Location and every
// cover Path (a UNC path "\\server\share\...") names a file in the share.
class ShareAnalyzer {
public:
    explicit ShareAnalyzer(const QString &shareDir) : shareDir(shareDir) {}

    // {"libraries": [{"file", "songs", "playlists", "playlistTracks"} or {"file", "error"}],
    //  "songs", "playlists", "covers", "missing": [paths as written], "artworkError"?}
    QJsonObject analyse() const;

    // The file in the share that a server path names, or a null string when
    // it names nothing inside the share (outside it, or with ".." parts).
    QString localPath(const QString &serverPath) const;

private:
    QString shareDir;

    struct FileCounts;

    bool namesFile(const QString &serverPath) const;
    // Reads one description file: the elements named element, the values of
    // their attribute that name no file, and the Playlist and Track elements.
    // False with *error set when the file cannot be read or is not XML.
    bool read(const QString &path, QByteArrayView element, QByteArrayView attribute, FileCounts *counts,
              QString *error) const;
};
