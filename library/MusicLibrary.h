#pragma once

#include "library/Activity.h"
#include "library/CharacterSet.h"
#include "library/EngineErrors.h"
#include "library/FileFingerprint.h"
#include "library/LibraryModel.h"
#include "library/Notify.h"
#include "library/SharePaths.h"
#include "library/SyncCounters.h"
#include "library/SyncReports.h"
#include "library/TrackDestinations.h"
#include "platform/ErrorRecord.h"
#include "platform/ExceptionRecord.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class LibraryFileReadAhead;
struct SyncStage;

// The music library and the sync run over it: the library model (which the
// music source's loader fills) with the run's four stages on top, each a
// class of its own that this one sets up and calls.
//
// A sync run calls, on one background thread: syncTracks(paths.xmlTracksPath)
// (PreviousLibraryFile), writeXMLTracks(libraryId, libName)
// (LibraryFileWriter, which copies new tracks through TrackCopier),
// syncAlbumCovers(paths.xmlAlbumCoverPath) (PreviousArtworkFile) and
// writeXMLAlbumCovers() (ArtworkFileWriter); each stage runs whatever the
// previous one answered and reports every failure as an Activity::Error
// Notify. Every Notify goes to the notify sink, on the sync thread (the
// application hands it to its main thread).
class MusicLibrary : public LibraryModel {
public:
    static inline const QString &FileIOErrorDomain = EngineErrors::FileIODomain;
    static inline const QString &PosixErrorDomain = EngineErrors::PosixDomain;
    static inline const QString &XMLParserErrorDomain = EngineErrors::XMLParserDomain;
    static inline const QString &FilePathErrorKey = EngineErrors::FilePathKey;
    static inline const QString &FailureReasonErrorKey = EngineErrors::FailureReasonKey;

    MusicLibrary();
    ~MusicLibrary() override;

    // The stages. ----------------------------------------------------------

    // Reads the previous library file at path and marks every track it lists
    // as unchanged (status 0). True when it was read without a parse error; a
    // missing file is read as empty (no error). A read ahead given for the
    // same path stands in for reading the file when it still can, once.
    bool syncTracks(const QString &path);
    void setLibraryFileReadAhead(std::unique_ptr<LibraryFileReadAhead> readAhead);
    // Writes the new library file at sharePaths().xmlTracksPath and copies
    // every new track into sharePaths().cpyBasePath. True when the file was
    // stored.
    bool writeXMLTracks(const QString &libraryId, const QString &libName);
    // Reads the previous artwork file at path and marks every cover it lists
    // as unchanged. True when it was read without a parse error.
    bool syncAlbumCovers(const QString &path);
    // Exports the new covers and stores the new artwork file at
    // sharePaths().xmlAlbumCoverPath. True when the file was stored.
    bool writeXMLAlbumCovers();
    // The first parse error of the last file read, or none.
    const std::optional<ErrorRecord> &parsingError() const { return m_parsingError; }

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
    TrackIdMap getTracksToSync() { return tracksOfSelectedPlaylists(m_reports); }
    // Copies the track's file to musicFolder/artistPath/albumPath/songPath
    // unless something is there already. True when the file is there after.
    bool copyTrack(Track &track);
    // The characters that validateFileName removes.
    static CharacterSet createValidFilenameCharacterSet();
    // name with every character of validateFileNameCharacterSet() removed;
    // none for none.
    QString validateFileName(const QString &name) const;
    // Works out where every track of the library goes on the share (see
    // TrackDestinations); the writer does it before it walks the tracks.
    const TrackDestinations &planTrackDestinations();
    // The planned destination of track; none for a track that is not listed
    // (or before planTrackDestinations()).
    std::optional<TrackDestinations::Destination> trackDestination(const Track &track) const;

    // Reports. -------------------------------------------------------------

    const SyncReports &reports() const { return m_reports; }
    // Receives every report, on the thread that makes it.
    using NotifySink = SyncReports::NotifySink;
    void setNotifySink(NotifySink sink) { m_reports.setNotifySink(std::move(sink)); }
    // Called before each track's copy (see SyncReports::setCopyBarrier).
    void setCopyBarrier(std::function<void()> barrier) { m_reports.setCopyBarrier(std::move(barrier)); }
    void syncNotifyTitle(Activity activity, const QString &title) { m_reports.syncNotifyTitle(activity, title); }
    void syncNotifyTitleWithMessage(Activity activity, const QString &title, const QStringList &messages)
    {
        m_reports.syncNotifyTitleWithMessage(activity, title, messages);
    }
    void syncNotifyProgress(Activity activity, const std::optional<QStringList> &messages, int progress,
                            int maxProgress)
    {
        m_reports.syncNotifyProgress(activity, messages, progress, maxProgress);
    }
    void syncNotifyError(const QString &title, const ErrorRecord &error) { m_reports.syncNotifyError(title, error); }
    void syncNotifyException(const QString &title, const ExceptionRecord &exception)
    {
        m_reports.syncNotifyException(title, exception);
    }

    // Settings of a run. ---------------------------------------------------

    const SharePaths &sharePaths() const { return m_sharePaths; }
    SharePaths &sharePaths() { return m_sharePaths; }
    // What the stages of the last run counted.
    const SyncCounters &counters() const { return m_counters; }
    SyncCounters &counters() { return m_counters; }
    const QString &syncVersion() const { return m_syncVersion; }
    void setSyncVersion(const QString &value) { m_syncVersion = value; }
    const CharacterSet &validateFileNameCharacterSet() const { return m_validateFileNameCharacterSet; }
    void setValidateFileNameCharacterSet(const CharacterSet &value) { m_validateFileNameCharacterSet = value; }

private:
    SyncStage stage();

    SyncReports m_reports;
    SharePaths m_sharePaths;
    SyncCounters m_counters;
    std::optional<ErrorRecord> m_parsingError;
    std::atomic<bool> m_stopRequested = false;
    QString m_syncVersion;
    CharacterSet m_validateFileNameCharacterSet;
    std::unique_ptr<TrackDestinations> m_destinations;
    // The library file as syncTracks read it, so that writeXMLTracks can
    // tell it unchanged without reading it again.
    FileFingerprint m_previousLibraryFile;
    FileFingerprint m_previousArtworkFile;
    std::unique_ptr<LibraryFileReadAhead> m_libraryFileReadAhead;
};
