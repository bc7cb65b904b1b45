#pragma once

#include "library/SyncStage.h"
#include "library/Track.h"
#include "platform/ErrorRecord.h"

#include <QSet>
#include <QString>

// Copies a new track's file into the share's music folder, at
// <musicFolder>/<artistPath>/<albumPath>/<songPath>: under a hidden temporary
// name first, renamed into place only when complete and only where nothing
// stands yet, so an interrupted copy never leaves a file under the final
// name and nothing on the share is overwritten.
class TrackCopier {
public:
    explicit TrackCopier(const SyncStage &stage) : m_stage(stage) {}

    // True when the track's file is there afterwards (copied now or already
    // there); each failure is reported. Counts the files it put in place.
    // foundAbsent: the destination was just found free (see
    // TrackDestinations::Destination), so it is not looked at again; should
    // another track's file land there before the copy does, the track takes
    // songPathIfTaken instead, when it has one.
    bool copyTrack(Track &track, bool foundAbsent = false, const QString &songPathIfTaken = {}) const;
    // The error record of a track whose destination was refused for reason.
    static ErrorRecord refusedCopyError(const Track &track, const QString &reason);

private:
    SyncStage m_stage;
    // The folders this copier found or made: a folder holds many tracks.
    mutable QSet<QString> m_foldersPresent;
};
