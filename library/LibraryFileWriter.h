#pragma once

#include "library/SyncStage.h"
#include "library/TrackCopier.h"
#include "library/TrackDestinations.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

class FileFingerprint;
class FileIO;
class ReplacementOutput;

// The library-file stage that comes second: copies every new track of the
// run onto the share and writes the new library file, listing exactly the
// tracks whose files are there, then the selected playlists. The file is
// written beside the previous one under a temporary name and renamed over
// it when complete, so the share always holds a whole library file; a new
// file byte-identical to the previous one leaves that in place unwritten.
class LibraryFileWriter {
public:
    // Plans where every track goes and answers the plan.
    using PlanDestinations = std::function<const TrackDestinations &()>;

    // previousRead: the fingerprint of the stage before's read of the
    // library file, if any (see ReplacementOutput).
    LibraryFileWriter(const SyncStage &stage, PlanDestinations planDestinations,
                      const std::atomic<bool> &stopRequested, const FileFingerprint *previousRead = nullptr);

    // True when the new file is stored at paths.xmlTracksPath. A stop request
    // takes effect at the next track to be copied: it and the tracks after
    // it that still need copying are left out and counted as not copied.
    bool write(const QString &libraryId, const QString &libName, const QString &syncVersion);

    // Attribute escaping of the library file: & < > ' " as entities;
    // characters that XML 1.0 does not allow are dropped. None gives the
    // empty string.
    static QString escapedAttribute(const QString &text);

private:
    void writeSongs(ReplacementOutput &output);
    void writePlaylists(ReplacementOutput &output);
    void writeSong(ReplacementOutput &output, const Track &track);
    // Closes the written file and renames it into place, or removes it when
    // it would repeat the previous file; false (reported) when any of its
    // writes failed or it cannot replace the previous file.
    bool putInPlace(FileIO &file, ReplacementOutput &output, const QString &temporaryPath);

    SyncStage m_stage;
    TrackCopier m_copier;
    PlanDestinations m_planDestinations;
    const std::atomic<bool> &m_stopRequested;
    const FileFingerprint *m_previousRead;
    // Reused for each song's lines and each playlist's track lines.
    QByteArray m_songLines;
};
