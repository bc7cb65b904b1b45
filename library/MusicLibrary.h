#pragma once

#include "library/Activity.h"
#include "library/AlbumCover.h"
#include "library/CharacterSet.h"
#include "library/Notify.h"
#include "library/Playlist.h"
#include "library/SyncCounters.h"
#include "library/Track.h"
#include "library/TrackDestinations.h"
#include "platform/ErrorRecord.h"
#include "platform/ExceptionRecord.h"
#include "xml/XmlAttributes.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FileIO;

// The in-memory music library and the sync engine over it.
//
// Ownership: the records are held by std::shared_ptr in the maps; the library
// owns them jointly with whoever else keeps a pointer (the music source's
// loader, a playlist picker), so a record stays valid while anyone holds it,
// and subclasses of Track, Playlist and AlbumCover are stored as such.
// Maps are ordered by key, which is the enumeration order wherever the engine
// walks a map (playlists in the library file, covers in the artwork file).
//
// A sync run calls, on one background thread: syncTracks(xmlTracksPath()),
// writeXMLTracks(libraryId, libName), syncAlbumCovers(xmlAlbumCoverPath()),
// writeXMLAlbumCovers(); each stage runs whatever the previous one answered
// and reports every failure as an Activity::Error Notify. Every Notify goes to
// the notify sink, on the thread that reports (the application hands it to
// its main thread); without a sink it is dropped.
class MusicLibrary {
public:
    using TrackMap = QMap<QString, std::shared_ptr<Track>>;
    using PlaylistMap = QMap<QString, std::shared_ptr<Playlist>>;
    using AlbumCoverMap = QMap<QString, std::shared_ptr<AlbumCover>>;
    // Track persistent identifier mapped to itself; only the keys matter.
    using TrackIdMap = QMap<QString, QString>;

    // Error domain of the library-file writer's open failures.
    static const QString FileIOErrorDomain;      // "com.Orvana.FileIO"
    // Error domain of system call failures (code = errno).
    static const QString PosixErrorDomain;       // "NSPOSIXErrorDomain"
    // Error domain of XML parse errors of the two readers (code = libxml2's).
    static const QString XMLParserErrorDomain;   // "XMLParserErrorDomain"
    // Detail key naming the file or folder an error is about.
    static const QString FilePathErrorKey;       // "NSFilePath"
    // Detail key explaining why a copy was refused.
    static const QString FailureReasonErrorKey;  // "NSLocalizedFailureReason"

    MusicLibrary();
    virtual ~MusicLibrary();
    MusicLibrary(const MusicLibrary &) = delete;
    MusicLibrary &operator=(const MusicLibrary &) = delete;

    // Library description file. ------------------------------------------

    // Reads the previous library file at path and marks every track it lists
    // as unchanged (status 0). True when it was read without a parse error; a
    // missing file is read as empty (no error).
    bool syncTracks(const QString &path);
    // Writes the new library file at xmlTracksPath() (through a hidden
    // temporary file renamed over the previous one when complete) and copies
    // every new track into cpyBasePath(). True when the file was stored.
    bool writeXMLTracks(const QString &libraryId, const QString &libName);
    // Asks a running writeXMLTracks to stop at the next track boundary: the
    // tracks not yet copied are left out of the library file (which lists
    // exactly what is on the share) and counted in numTracksNotCopied. Safe
    // from any thread.
    void requestStop() { m_stopRequested.store(true); }
    void clearStopRequest() { m_stopRequested.store(false); }
    bool stopRequested() const { return m_stopRequested.load(); }
    // Attribute escaping of the library file: & < > ' " as entities (in that
    // order, so nothing is escaped twice); characters that XML 1.0 does not
    // allow are dropped. None gives the empty string.
    static QString convertToValidString(const QString &text);

    // Tracks. -------------------------------------------------------------

    // The identifiers of the tracks of every selected playlist (reports
    // activity 8 for each selected playlist).
    TrackIdMap getTracksToSync();
    // What a selected playlist adds to a selected-playlists run, expanding
    // it first: its member IDs, none for "Library" and "Music".
    static QStringList syncedMembersOf(Playlist &playlist);
    // Copies the track's file to cpyBasePath/artistPath/albumPath/songPath
    // unless something is there already. True when the file is there after.
    bool copyTrack(Track &track);
    // The characters that validateFileName removes.
    static CharacterSet createValidFilenameCharacterSet();
    // name with every character of validateFileNameCharacterSet() removed;
    // none for none.
    QString validateFileName(const QString &name) const;
    // Works out where every track of the library goes on the share (see
    // TrackDestinations); the writer does it before it walks the tracks.
    void planTrackDestinations();
    // The planned destination of track; none for a track that is not listed
    // (or before planTrackDestinations()).
    std::optional<TrackDestinations::Destination> trackDestination(const Track &track) const;

    // Album covers. -------------------------------------------------------

    // Reads the previous artwork file at path and marks every cover it lists
    // as unchanged. True when it was read without a parse error.
    bool syncAlbumCovers(const QString &path);
    // The covers of the tracks in tracksToSync(), keyed by album identifier.
    AlbumCoverMap getAlbumCoverToSync();
    // Exports the new covers and stores the new artwork file at
    // xmlAlbumCoverPath(). True when the file was stored.
    bool writeXMLAlbumCovers();

    // Reader callbacks, called by the XML readers for each start tag (the
    // element name as written) and for the first error.
    void didStartElement(const QString &elementName, const XmlAttributes &attributes);
    void parseErrorOccurred(const ErrorRecord &error);

    // Notifications. -------------------------------------------------------

    void syncNotifyTitle(Activity activity, const QString &title);
    void syncNotifyTitleWithMessage(Activity activity, const QString &title, const QStringList &messages);
    void syncNotifyProgress(Activity activity, const std::optional<QStringList> &messages, int progress,
                            int maxProgress);
    void syncNotifyError(const QString &title, const ErrorRecord &error);
    void syncNotifyException(const QString &title, const ExceptionRecord &exception);

    // Properties. ----------------------------------------------------------

    // Receives every report, on the thread that makes it.
    using NotifySink = std::function<void(const Notify &)>;
    void setNotifySink(NotifySink sink) { m_notifySink = std::move(sink); }
    // Called before each track's copy: a sink that shows reports after they
    // are made returns once they are shown, so that a stop asked for on
    // seeing a track takes effect before the next one is copied. None: no wait.
    void setCopyBarrier(std::function<void()> barrier) { m_copyBarrier = std::move(barrier); }

    const TrackMap &tracks() const { return m_tracks; }
    TrackMap &tracks() { return m_tracks; }
    void setTracks(const TrackMap &value) { m_tracks = value; }
    const QStringList &sortedTracks() const { return m_sortedTracks; }
    QStringList &sortedTracks() { return m_sortedTracks; }
    void setSortedTracks(const QStringList &value) { m_sortedTracks = value; }
    const PlaylistMap &playlists() const { return m_playlists; }
    PlaylistMap &playlists() { return m_playlists; }
    void setPlaylists(const PlaylistMap &value) { m_playlists = value; }
    const AlbumCoverMap &albumCovers() const { return m_albumCovers; }
    AlbumCoverMap &albumCovers() { return m_albumCovers; }
    void setAlbumCovers(const AlbumCoverMap &value) { m_albumCovers = value; }
    // None when the whole library is synced.
    const std::optional<TrackIdMap> &tracksToSync() const { return m_tracksToSync; }
    void setTracksToSync(const std::optional<TrackIdMap> &value) { m_tracksToSync = value; }
    const std::optional<ErrorRecord> &parsingError() const { return m_parsingError; }
    void setParsingError(const std::optional<ErrorRecord> &value) { m_parsingError = value; }

    const QString &xmlTracksPath() const { return m_xmlTracksPath; }
    void setXmlTracksPath(const QString &value) { m_xmlTracksPath = value; }
    const QString &xmlAlbumCoverPath() const { return m_xmlAlbumCoverPath; }
    void setXmlAlbumCoverPath(const QString &value) { m_xmlAlbumCoverPath = value; }
    const QString &cpyBasePath() const { return m_cpyBasePath; }
    void setCpyBasePath(const QString &value) { m_cpyBasePath = value; }
    const QString &albumCoverBasePath() const { return m_albumCoverBasePath; }
    void setAlbumCoverBasePath(const QString &value) { m_albumCoverBasePath = value; }
    // The share as the server addresses it, e.g. \\192.168.1.20\OrvanaMusic.
    const QString &serverSharePath() const { return m_serverSharePath; }
    void setServerSharePath(const QString &value) { m_serverSharePath = value; }

    // What the stages of the last run counted.
    const SyncCounters &counters() const { return m_counters; }
    SyncCounters &counters() { return m_counters; }

    bool syncCompleteMusicLibrary() const { return m_syncCompleteMusicLibrary; }
    void setSyncCompleteMusicLibrary(bool value) { m_syncCompleteMusicLibrary = value; }
    const QString &syncVersion() const { return m_syncVersion; }
    void setSyncVersion(const QString &value) { m_syncVersion = value; }
    const CharacterSet &validateFileNameCharacterSet() const { return m_validateFileNameCharacterSet; }
    void setValidateFileNameCharacterSet(const CharacterSet &value) { m_validateFileNameCharacterSet = value; }

private:
    void deliver(const Notify &notify);
    bool readDescriptionFile(const QString &path);
    void writeSong(FileIO &file, const Track &track);
    QString unsafeDestinationReason(const Track &track) const;
    ErrorRecord refusedCopyError(const Track &track, const QString &reason) const;

    NotifySink m_notifySink;
    std::function<void()> m_copyBarrier;
    TrackMap m_tracks;
    QStringList m_sortedTracks;
    PlaylistMap m_playlists;
    AlbumCoverMap m_albumCovers;
    std::optional<TrackIdMap> m_tracksToSync;
    std::optional<ErrorRecord> m_parsingError;
    QString m_xmlTracksPath;
    QString m_xmlAlbumCoverPath;
    QString m_cpyBasePath;
    QString m_albumCoverBasePath;
    QString m_serverSharePath;
    SyncCounters m_counters;
    std::atomic<bool> m_stopRequested = false;
    bool m_syncCompleteMusicLibrary = false;
    QString m_syncVersion;
    // What the running file read collects: 0 nothing, 1 tracks, 2 covers.
    int m_parsingItems = 0;
    CharacterSet m_validateFileNameCharacterSet;
    std::unique_ptr<TrackDestinations> m_destinations;
};
