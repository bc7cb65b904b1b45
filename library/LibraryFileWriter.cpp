#include "library/LibraryFileWriter.h"

#include "library/EngineErrors.h"
#include "library/FileReplacement.h"
#include "library/ShareFiles.h"
#include "library/SystemError.h"
#include "share/FileIO.h"
#include "share/TemporaryFile.h"
#include "xml/XmlText.h"

#include <cstring>
#include <unistd.h>

namespace {

QString textOrEmpty(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString escaped(const QString &text)
{
    return LibraryFileWriter::escapedAttribute(text);
}

} // namespace

QString LibraryFileWriter::escapedAttribute(const QString &text)
{
    return XmlText::escaped(textOrEmpty(text),
                            {.quotationMark = true, .apostrophe = true, .dropInvalidCharacters = true});
}

LibraryFileWriter::LibraryFileWriter(const SyncStage &stage, PlanDestinations planDestinations,
                                     const std::atomic<bool> &stopRequested)
    : m_stage(stage), m_copier(stage), m_planDestinations(std::move(planDestinations)),
      m_stopRequested(stopRequested)
{
}

bool LibraryFileWriter::write(const QString &libraryId, const QString &libName, const QString &syncVersion)
{
    SyncCounters &counters = m_stage.counters;
    const QString &libraryFile = m_stage.paths.xmlTracksPath;
    // When nothing can be stored (a read-only share), the new tracks count
    // as not copied rather than as unchanged.
    const auto nothingStored = [&counters] {
        counters.numTracksCopied = 0;
        counters.numSkippedDRMTracks = 0;
        counters.numTracksCopyFailure = counters.numTracksAdded;
        return false;
    };
    if (!ShareFiles::exists(libraryFile)) {
        const QString folder = ShareFiles::parentFolder(libraryFile);
        if (const int failure = TemporaryFile::makeFolders(folder); failure != 0) {
            m_stage.reports.syncNotifyError(QStringLiteral("Cannot create directory"),
                                            SystemError::fromErrno(failure, folder));
            return nothingStored();
        }
    }
    FileIO file;
    if (const int failure = file.fileOpenTemporaryFor(libraryFile); failure != 0) {
        ErrorRecord error(EngineErrors::FileIODomain, failure);
        error.addDetail(ErrorRecord::LocalizedDescriptionKey, QString::fromLocal8Bit(std::strerror(failure)));
        error.addDetail(EngineErrors::FilePathKey, libraryFile);
        m_stage.reports.syncNotifyError(QStringLiteral("Failed to create/open xml file"), error);
        return nothingStored();
    }
    const QString temporaryPath = file.path();

    LibraryModel &model = m_stage.model;
    if (!model.syncCompleteMusicLibrary())
        model.setTracksToSync(model.tracksOfSelectedPlaylists(m_stage.reports));
    else
        model.setTracksToSync(std::nullopt);

    file.fileWriteString(u"<Library ID=\"" + escaped(libraryId) + u"\" Type=\"iTunes\" Name=\"" + escaped(libName)
                         + u"\" SyncVersion=\"" + escaped(syncVersion) + u"\">\r\n");
    writeSongs(file);
    writePlaylists(file);
    file.fileWriteString(QStringLiteral("</Library>\r\n"));
    return putInPlace(file, temporaryPath);
}

void LibraryFileWriter::writeSongs(FileIO &file)
{
    file.fileWriteString(QStringLiteral("\t<Songs>\r\n"));
    SyncCounters &counters = m_stage.counters;
    const SyncReports &reports = m_stage.reports;
    const LibraryModel &model = m_stage.model;
    counters.numSkippedDRMTracks = 0;
    counters.numTracksCopyFailure = 0;
    counters.numTracksNotCopied = 0;
    counters.numTracksCopied = 0;
    counters.numTracksProcessed = 0;
    const TrackDestinations &destinations = m_planDestinations();
    const bool wholeLibrary = model.syncCompleteMusicLibrary();
    const std::optional<LibraryModel::TrackIdMap> &tracksToSync = model.tracksToSync();
    const int maximum = wholeLibrary ? int(model.sortedTracks().size()) : int(tracksToSync->size());

    for (const QString &identifier : std::as_const(model.sortedTracks())) {
        if (!wholeLibrary && !tracksToSync->contains(identifier))
            continue;
        const std::shared_ptr<Track> track = model.tracks().value(identifier);
        if (track && (track->status() == 0 || track->status() == 1)) {
            if (track->DRMProtected()) {
                ++counters.numSkippedDRMTracks;
            } else if (const auto destination = destinations.destinationOf(*track)) {
                track->setArtistPath(destination->artistPath);
                track->setAlbumPath(destination->albumPath);
                track->setSongPath(destination->songPath);
                reports.syncNotifyProgress(Activity::TrackProgress,
                                           QStringList{textOrEmpty(track->title()), textOrEmpty(track->album()),
                                                       textOrEmpty(track->artists())},
                                           counters.numTracksProcessed, maximum);
                bool listed = true;
                if (destination->needsCopy)
                    reports.waitBeforeCopy();
                if (destination->needsCopy && m_stopRequested.load()) {
                    // Stopped: the file is not on the share, so it is not listed.
                    ++counters.numTracksNotCopied;
                    ++counters.numTracksProcessed;
                    continue;
                }
                if (destination->needsCopy) {
                    listed = m_copier.copyTrack(*track);
                } else if (!destination->refusal.isNull()) {
                    reports.syncNotifyError(QStringLiteral("Failed to copy file"),
                                            TrackCopier::refusedCopyError(*track, destination->refusal));
                    listed = false;
                }
                if (listed)
                    writeSong(file, *track);
                else
                    ++counters.numTracksCopyFailure;
            }
        }
        ++counters.numTracksProcessed;
    }

    file.fileWriteString(QStringLiteral("\t</Songs>\r\n"));
    reports.syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Saved Track Information"));
}

void LibraryFileWriter::writeSong(FileIO &file, const Track &track)
{
    const QString location = m_stage.paths.serverSharePath + u"\\Music\\" + track.artistPath() + u'\\'
        + track.albumPath() + u'\\' + track.songPath();
    QString line;
    line.reserve(512);
    line += u"\t\t<Song Album=\"" + escaped(track.album()) + u"\" AlbumArtist=\"" + escaped(track.albumArtist())
        + u"\" AlbumID=\"" + escaped(track.albumID()) + u"\" Artists=\"" + escaped(track.artists())
        + u"\" BitRate=\"" + QString::number(track.bitRate()) + u"\" Composers=\"" + escaped(track.composers())
        + u"\" Conductor=\"" + escaped(track.conductors()) + u"\" Disc=\"" + QString::number(track.disc())
        + u"\" Duration=\"" + QString::number(double(track.duration()), 'f', 6) + u"\" Genres=\""
        + escaped(track.genres()) + u"\" ID=\"" + escaped(track.persistentId()) + u"\" \r\n";
    file.fileWriteString(line);
    line.clear();
    line += u" Location=\"" + escaped(location) + u"\" Released=\"" + QString::number(track.released())
        + u"\" SampleRate=\"" + QString::number(track.sampleRate()) + u"\" Size=\"" + QString::number(track.size())
        + u"\" Title=\"" + escaped(track.title()) + u"\" TotalDiscs=\"" + QString::number(track.totalDiscs())
        + u"\" TotalTracks=\"" + QString::number(track.totalTracks()) + u"\" Track=\"" + QString::number(track.track())
        + u"\" Type=\"" + escaped(track.type()) + u"\"></Song>\r\n";
    file.fileWriteString(line);
}

void LibraryFileWriter::writePlaylists(FileIO &file)
{
    file.fileWriteString(QStringLiteral("\t<Playlists>\r\n"));
    const LibraryModel::PlaylistMap playlists = m_stage.model.playlists();
    for (const std::shared_ptr<Playlist> &playlist : playlists) {
        if (!playlist || !playlist->isSelected())
            continue;
        if (playlist->name() == u"Library" || playlist->name() == u"Music")
            continue;
        m_stage.reports.syncNotifyTitle(Activity::Playlist, playlist->name());
        if (!playlist->isExpanded()) {
            playlist->setIsExpanded(true);
            playlist->getPlaylistTrackIDs();
        }
        if (!playlist->tracks() || playlist->tracks()->isEmpty())
            continue;
        file.fileWriteString(u"\t\t<Playlist ID=\"" + escaped(playlist->persistentId()) + u"\" Name=\""
                             + escaped(playlist->name()) + u"\">\r\n");
        for (const QString &trackId : std::as_const(*playlist->tracks()))
            file.fileWriteString(u"\t\t\t<Track ID=\"" + escaped(trackId) + u"\" />\r\n");
        file.fileWriteString(QStringLiteral("\t\t</Playlist>\r\n"));
    }
    file.fileWriteString(QStringLiteral("\t</Playlists>\r\n"));
    m_stage.reports.syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Save Playlist Information"));
}

bool LibraryFileWriter::putInPlace(FileIO &file, const QString &temporaryPath)
{
    // A file whose writing failed is never put in place of the previous one.
    int failure = file.writeErrno();
    if (const int synced = file.fileSync(); synced != 0 && failure == 0)
        failure = synced;
    file.fileClose();
    if (failure == 0)
        failure = file.writeErrno();
    ErrorRecord error;
    const QString &libraryFile = m_stage.paths.xmlTracksPath;
    if (failure != 0) {
        ::unlink(temporaryPath.toUtf8().constData());
        error = SystemError::fromErrno(failure, temporaryPath);
    } else if (FileReplacement::replace(temporaryPath, libraryFile, &error)) {
        TemporaryFile::removeStale(libraryFile);
        return true;
    }
    m_stage.reports.syncNotifyError(QStringLiteral("Cannot overwrite Music Tracks XML file"), error);
    return false;
}
