#include "library/TrackCopier.h"

#include "library/EngineErrors.h"
#include "library/FileCopier.h"
#include "library/FileReplacement.h"
#include "library/ShareFiles.h"
#include "library/SystemError.h"
#include "library/TrackDestinations.h"
#include "share/RemoteFileSystem.h"
#include "share/TemporaryFile.h"

#include <cerrno>

ErrorRecord TrackCopier::refusedCopyError(const Track &track, const QString &reason)
{
    ErrorRecord error(EngineErrors::PosixDomain, EINVAL);
    error.addDetail(ErrorRecord::LocalizedDescriptionKey, QStringLiteral("The track was not copied."));
    error.addDetail(EngineErrors::FailureReasonKey, reason);
    error.addDetail(EngineErrors::FilePathKey, track.location());
    return error;
}

bool TrackCopier::copyTrack(Track &track, bool foundAbsent, const QString &songPathIfTaken,
                            const NextCopy *next) const
{
    const SyncReports &reports = m_stage.reports;
    const QString &musicFolder = m_stage.paths.cpyBasePath;
    const QString folder = folderOf(track.artistPath(), track.albumPath());
    const QString destination = folder + track.songPath();
    reports.syncNotifyTitle(Activity::Log, u"Copying: " + destination);

    if (const QString reason = TrackDestinations::unsafeReason(musicFolder, track.artistPath(), track.albumPath(),
                                                               track.songPath());
        !reason.isNull()) {
        reports.syncNotifyError(QStringLiteral("Failed to copy file"), refusedCopyError(track, reason));
        return false;
    }
    if (!foundAbsent && ShareFiles::exists(destination))
        return true;
    if (!m_foldersPresent.contains(folder)) {
        // Never through a linked folder of the share; and a folder is made
        // only for a file that can be copied into it, so that missing
        // sources leave no empty folders behind.
        if (!ShareFiles::exists(folder)) {
            if (ErrorRecord sourceError; !FileCopier::canCopyFrom(track.location(), &sourceError)) {
                countMissingSource(track, sourceError);
                reports.syncNotifyError(QStringLiteral("Failed to copy file"), sourceError);
                return false;
            }
            if (const int failure = TemporaryFile::makeFolders(folder); failure != 0) {
                reports.syncNotifyError(QStringLiteral("Failed to create directory"),
                                        SystemError::fromErrno(failure, folder));
                return false;
            }
        }
        m_foldersPresent.insert(folder);
    }
    QString temporaryPath;
    ErrorRecord error;
    const std::optional<bool> copiedAhead = m_ahead.take(track.location(), destination, &temporaryPath, &error);
    const bool copied = copiedAhead ? *copiedAhead
                                    : FileCopier::copyFile(track.location(), destination, &temporaryPath, &error);
    if (next)
        startNextCopy(*next);
    if (!copied) {
        countMissingSource(track, error);
        reports.syncNotifyError(QStringLiteral("Failed to copy file"), error);
        return false;
    }
    bool alreadyThere = false;
    if (!FileReplacement::moveIntoPlaceWithoutReplacing(temporaryPath, destination, &alreadyThere, &error)) {
        reports.syncNotifyError(QStringLiteral("Failed to copy file"), error);
        return false;
    }
    if (alreadyThere && !songPathIfTaken.isNull() && ShareFiles::holdsAnotherFile(destination, track.location())) {
        // Another run put another track's file there meanwhile.
        track.setSongPath(songPathIfTaken);
        return copyTrack(track, false, {}, next);
    }
    if (!alreadyThere)
        ++m_stage.counters.numTracksCopied;
    return true;
}

void TrackCopier::countMissingSource(const Track &track, const ErrorRecord &error) const
{
    if (error.code() == ENOENT && error.detail(EngineErrors::FilePathKey).toString() == track.location())
        ++m_stage.counters.numTracksSourceMissing;
}

QString TrackCopier::folderOf(const QString &artistPath, const QString &albumPath) const
{
    return m_stage.paths.cpyBasePath + u'/' + artistPath + u'/' + albumPath + u'/';
}

void TrackCopier::startNextCopy(const NextCopy &next) const
{
    const TrackDestinations::Destination &destination = next.destination;
    if (!destination.foundAbsent || !destination.refusal.isNull())
        return;
    const QString folder = folderOf(destination.artistPath, destination.albumPath);
    // Making a folder would show on the share before the track's turn.
    if (!m_foldersPresent.contains(folder))
        return;
    if (!m_copyAhead)
        m_copyAhead = isRemoteFileSystem(folder);
    if (*m_copyAhead)
        m_ahead.start(next.track.location(), folder + destination.songPath);
}
