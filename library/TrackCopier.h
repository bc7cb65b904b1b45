#pragma once

#include "library/CopyAhead.h"
#include "library/SyncStage.h"
#include "library/Track.h"
#include "library/TrackDestinations.h"
#include "platform/ErrorRecord.h"

#include <QSet>
#include <QString>

#include <optional>

// Copies a new track's file into the share's music folder, at
// <musicFolder>/<artistPath>/<albumPath>/<songPath>: under a hidden temporary
// name first, renamed into place only when complete and only where nothing
// stands yet, so an interrupted copy never leaves a file under the final
// name and nothing on the share is overwritten.
class TrackCopier {
public:
    // copyAhead: whether the next track's copy is made while this one is put
    // in place; by default where the share's file system is a remote one
    // (isRemoteFileSystem).
    explicit TrackCopier(const SyncStage &stage, std::optional<bool> copyAhead = std::nullopt)
        : m_stage(stage), m_copyAhead(copyAhead)
    {
    }

    // The track the copier will be asked to copy after this one, and where
    // it goes.
    struct NextCopy {
        const Track &track;
        const TrackDestinations::Destination &destination;
    };

    // True when the track's file is there afterwards (copied now or already
    // there); each failure is reported. Counts the files it put in place.
    // foundAbsent: the destination was just found free (see
    // TrackDestinations::Destination), so it is not looked at again; should
    // another track's file land there before the copy does, the track takes
    // songPathIfTaken instead, when it has one.
    // next: when its destination was found absent and its folder is there,
    // its file is copied to a temporary file while this track's is put in
    // place (CopyAhead); only its own turn puts it in place.
    bool copyTrack(Track &track, bool foundAbsent = false, const QString &songPathIfTaken = {},
                   const NextCopy *next = nullptr) const;
    // Removes the copy made ahead for a track that is not to be copied after
    // all (the run stops).
    void discardCopyAhead() const { m_ahead.discard(); }
    // The error record of a track whose destination was refused for reason.
    static ErrorRecord refusedCopyError(const Track &track, const QString &reason);

private:
    // A track's folder in the music folder, ending in a slash.
    QString folderOf(const QString &artistPath, const QString &albumPath) const;
    void startNextCopy(const NextCopy &next) const;
    // Counts a failed copy whose source was not there.
    void countMissingSource(const Track &track, const ErrorRecord &error) const;

    SyncStage m_stage;
    // The folders this copier found or made: a folder holds many tracks.
    mutable QSet<QString> m_foldersPresent;
    mutable std::optional<bool> m_copyAhead;
    mutable CopyAhead m_ahead;
};
