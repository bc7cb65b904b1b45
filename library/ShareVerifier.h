#pragma once

#include "platform/ErrorRecord.h"

#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// Checks a share against its description files, reading only: every song of
// the library file and every cover of the artwork file must be a file on the
// share, every file under Music/ and Artwork/ must be named by one of the
// description files (those of the other libraries on the share too), every
// playlist entry must name a song of the library file, and, when the tracks
// a run would list are given, every one of them must be listed.
//
// Locations are read in the server's form (\\server\OrvanaMusic\Music\...):
// the server part is not compared, since the share may be mounted from
// another address than the one a run wrote. Hidden files (a run's temporary
// files) are never orphans. Nothing on the share is written or locked.
class ShareVerifier {
public:
    enum class Kind {
        MissingSong,
        WrongSize,
        MissingCover,
        Orphan,
        DanglingPlaylistEntry,
        NotOnShare,
        ForeignLocation,
        MissingArtworkFile,
    };
    static constexpr int KindCount = int(Kind::MissingArtworkFile) + 1;

    // One inconsistency: its kind and its values, in the order of
    // columns(kind).
    struct Finding {
        Kind kind = Kind::Orphan;
        QStringList values;

        // The finding in words, for the log.
        QString description() const;
    };

    // A track of the music source that a run would list.
    struct ExpectedTrack {
        QString persistentId;
        QString title;
        QString location;
    };

    struct Counts {
        int songs = 0;
        int albumCovers = 0;
        int playlists = 0;
        int playlistEntries = 0;
        int filesOnShare = 0;
        int expectedTracks = 0;
        int findings[KindCount] = {};

        int findingsOf(Kind kind) const { return findings[int(kind)]; }
        int totalFindings() const;
    };

    using FindingSink = std::function<void(const Finding &)>;

    ShareVerifier(QString shareRoot, QString libraryId);

    // The tracks of the music source a run would list; without them, the
    // share is not compared with the source.
    void setExpectedTracks(QList<ExpectedTrack> tracks) { m_expectedTracks = std::move(tracks); }

    // Checks the share and hands each finding to sink as it is made. False
    // when the share cannot be checked: no library file of this identifier,
    // or a description file that cannot be read or is not well-formed
    // (error says which and where).
    bool verify(const FindingSink &sink, ErrorRecord *error = nullptr);
    // Asks a running verify to end early (from any thread); it then answers
    // false with an error saying so.
    void requestStop() { m_stopRequested.store(true); }

    const Counts &counts() const { return m_counts; }
    // What could not be checked though the rest was (a library file of
    // another identifier that cannot be read, say).
    const QStringList &warnings() const { return m_warnings; }
    // The library file's path on the share.
    QString libraryFilePath() const;

    // The finding's name in the machine-readable output ("missing-song").
    static QString kindName(Kind kind);
    // The names of a finding's values, in order ("id", "path", "title").
    static QStringList columns(Kind kind);
    // The share-relative path ("Music/artist/album/song.mp3") of a location
    // in the server's form \\server\OrvanaMusic\... (the server may be
    // empty, as a run without one writes it); null for any other
    // form, another share, or a path with empty, "." or ".." parts.
    static QString sharePathOfLocation(const QString &location);

private:
    struct Song {
        QString id;
        QString location;
        QString title;
        std::optional<qint64> size;
    };
    struct PlaylistEntry {
        QString playlistId;
        QString playlistName;
        QString trackId;
    };

    bool readLibraryFile(ErrorRecord *error);
    bool readArtworkFile(ErrorRecord *error);
    void readOtherLibraryFiles();
    void checkSongs();
    void checkAlbumCovers();
    void checkPlaylistEntries();
    void checkExpectedTracks();
    void checkOrphans(const QString &folder);
    void report(Kind kind, QStringList values);
    QString localPath(const QString &sharePath) const;

    QString m_shareRoot;
    QString m_libraryId;
    QList<ExpectedTrack> m_expectedTracks;
    std::atomic<bool> m_stopRequested = false;
    const FindingSink *m_sink = nullptr;
    Counts m_counts;
    QStringList m_warnings;
    QList<Song> m_songs;
    QList<PlaylistEntry> m_playlistEntries;
    // Album identifier and Path of each cover of the artwork file.
    QList<std::pair<QString, QString>> m_albumCovers;
    bool m_artworkFileFound = false;
    // Share-relative paths that some description file names.
    QSet<QString> m_namedFiles;
    bool m_otherLibrariesRead = true;
};

Q_DECLARE_METATYPE(ShareVerifier::Finding)
