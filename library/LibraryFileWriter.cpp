#include "library/LibraryFileWriter.h"

#include "library/EngineErrors.h"
#include "library/FileReplacement.h"
#include "library/ReplacementOutput.h"
#include "library/ShareFiles.h"
#include "library/SystemError.h"
#include "share/FileIO.h"
#include "share/TemporaryFile.h"
#include "xml/XmlText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
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

constexpr XmlText::Escaping attributeEscaping{
    .quotationMark = true, .apostrophe = true, .dropInvalidCharacters = true};

void appendEscaped(QByteArray &out, const QString &text)
{
    XmlText::appendEscapedUtf8(out, text, attributeEscaping);
}

void appendNumber(QByteArray &out, int value)
{
    char digits[16];
    const char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

// Formatted as it always was; the C-locale text of a number is ASCII.
void appendDuration(QByteArray &out, float duration)
{
    const QString text = QString::number(double(duration), 'f', 6);
    const qsizetype oldSize = out.size();
    out.resize(oldSize + text.size());
    char *write = out.data() + oldSize;
    for (const QChar character : text)
        *write++ = char(character.unicode());
}

// The songs of the run in library order, with the destinations of those
// just ahead planned early, each once: looking at the share is a round trip.
class SongsAhead {
public:
    SongsAhead(const LibraryModel &model, const TrackDestinations &destinations)
        : m_sortedTracks(model.sortedTracks()), m_planned(destinations.plannedTracks()),
          m_tracksToSync(model.syncCompleteMusicLibrary() ? nullptr : &*model.tracksToSync()),
          m_destinations(destinations)
    {
    }

    qsizetype count() const { return m_sortedTracks.size(); }

    // Whether the entry at index is one of the run's (it counts as processed).
    bool inRun(qsizetype index) const
    {
        return !m_tracksToSync || m_tracksToSync->contains(m_sortedTracks.at(index));
    }
    // The track at index when it is a song of the run to list, else null.
    Track *trackAt(qsizetype index) const
    {
        if (!inRun(index))
            return nullptr;
        Track *const track = m_planned[size_t(index)];
        return track && (track->status() == 0 || track->status() == 1) ? track : nullptr;
    }

    // Where the song at index goes; asked in increasing order of index.
    std::optional<TrackDestinations::Destination> destinationAt(qsizetype index)
    {
        while (!m_ahead.empty() && m_ahead.front().index < index)
            m_ahead.pop_front();
        if (!m_ahead.empty() && m_ahead.front().index == index) {
            std::optional<TrackDestinations::Destination> destination = std::move(m_ahead.front().destination);
            m_ahead.pop_front();
            return destination;
        }
        return m_destinations.destinationOf(*m_planned[size_t(index)]);
    }

    // The next song after index that will need copying, found within a few
    // songs, when there is one.
    std::optional<TrackCopier::NextCopy> nextCopyAfter(qsizetype index)
    {
        for (const Ahead &ahead : m_ahead) {
            if (ahead.index > index && ahead.destination && ahead.destination->needsCopy)
                return TrackCopier::NextCopy{*m_planned[size_t(ahead.index)], *ahead.destination};
        }
        const qsizetype end = std::min(count(), index + 1 + lookAhead);
        for (qsizetype next = std::max(index, m_lookedAt) + 1; next < end; ++next) {
            m_lookedAt = next;
            const Track *const track = trackAt(next);
            if (!track || track->DRMProtected())
                continue;
            m_ahead.push_back({next, m_destinations.destinationOf(*track)});
            if (m_ahead.back().destination && m_ahead.back().destination->needsCopy)
                return TrackCopier::NextCopy{*track, *m_ahead.back().destination};
        }
        return std::nullopt;
    }

private:
    static constexpr qsizetype lookAhead = 64;
    struct Ahead {
        qsizetype index;
        std::optional<TrackDestinations::Destination> destination;
    };

    const QStringList &m_sortedTracks;
    const std::vector<Track *> &m_planned;
    const LibraryModel::TrackIdMap *m_tracksToSync;
    const TrackDestinations &m_destinations;
    std::deque<Ahead> m_ahead;
    qsizetype m_lookedAt = -1;
};

} // namespace

QString LibraryFileWriter::escapedAttribute(const QString &text)
{
    return XmlText::escaped(textOrEmpty(text), attributeEscaping);
}

LibraryFileWriter::LibraryFileWriter(const SyncStage &stage, PlanDestinations planDestinations,
                                     const std::atomic<bool> &stopRequested, const FileFingerprint *previousRead)
    : m_stage(stage), m_copier(stage), m_planDestinations(std::move(planDestinations)),
      m_stopRequested(stopRequested), m_previousRead(previousRead)
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
    ReplacementOutput output(file, libraryFile, m_previousRead);

    LibraryModel &model = m_stage.model;
    if (!model.syncCompleteMusicLibrary())
        model.setTracksToSync(model.tracksOfSelectedPlaylists(m_stage.reports));
    else
        model.setTracksToSync(std::nullopt);

    output.writeString(u"<Library ID=\"" + escaped(libraryId) + u"\" Type=\"iTunes\" Name=\"" + escaped(libName)
                         + u"\" SyncVersion=\"" + escaped(syncVersion) + u"\">\r\n");
    writeSongs(output);
    writePlaylists(output);
    output.writeString(QStringLiteral("</Library>\r\n"));
    return putInPlace(file, output, temporaryPath);
}

void LibraryFileWriter::writeSongs(ReplacementOutput &output)
{
    output.writeString(QStringLiteral("\t<Songs>\r\n"));
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

    SongsAhead songs(model, destinations);
    for (qsizetype index = 0; index < songs.count(); ++index) {
        if (!songs.inRun(index))
            continue;
        Track *const track = songs.trackAt(index);
        if (track && track->DRMProtected()) {
            ++counters.numSkippedDRMTracks;
        } else if (const auto destination = track ? songs.destinationAt(index) : std::nullopt) {
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
                m_copier.discardCopyAhead();
                ++counters.numTracksNotCopied;
                ++counters.numTracksProcessed;
                continue;
            }
            if (destination->needsCopy) {
                const std::optional<TrackCopier::NextCopy> next = songs.nextCopyAfter(index);
                listed = m_copier.copyTrack(*track, destination->foundAbsent, destination->songPathIfTaken,
                                            next ? &*next : nullptr);
            } else if (!destination->refusal.isNull()) {
                reports.syncNotifyError(QStringLiteral("Failed to copy file"),
                                        TrackCopier::refusedCopyError(*track, destination->refusal));
                listed = false;
            }
            if (listed)
                writeSong(output, *track);
            else
                ++counters.numTracksCopyFailure;
        }
        ++counters.numTracksProcessed;
    }
    m_copier.discardCopyAhead();

    output.writeString(QStringLiteral("\t</Songs>\r\n"));
    reports.syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Saved Track Information"));
}

void LibraryFileWriter::writeSong(ReplacementOutput &output, const Track &track)
{
    // Both lines go out in one write from a buffer kept across songs.
    QByteArray &lines = m_songLines;
    lines.truncate(0);
    lines.append("\t\t<Song Album=\"");
    appendEscaped(lines, track.album());
    lines.append("\" AlbumArtist=\"");
    appendEscaped(lines, track.albumArtist());
    lines.append("\" AlbumID=\"");
    appendEscaped(lines, track.albumID());
    lines.append("\" Artists=\"");
    appendEscaped(lines, track.artists());
    lines.append("\" BitRate=\"");
    appendNumber(lines, track.bitRate());
    lines.append("\" Composers=\"");
    appendEscaped(lines, track.composers());
    lines.append("\" Conductor=\"");
    appendEscaped(lines, track.conductors());
    lines.append("\" Disc=\"");
    appendNumber(lines, track.disc());
    lines.append("\" Duration=\"");
    appendDuration(lines, track.duration());
    lines.append("\" Genres=\"");
    appendEscaped(lines, track.genres());
    lines.append("\" ID=\"");
    appendEscaped(lines, track.persistentId());
    lines.append("\" \r\n Location=\"");
    // The separators need no escaping, so escaping each part between them
    // gives the text of escaping the joined path.
    appendEscaped(lines, m_stage.paths.serverSharePath);
    lines.append("\\Music\\");
    appendEscaped(lines, track.artistPath());
    lines.append('\\');
    appendEscaped(lines, track.albumPath());
    lines.append('\\');
    appendEscaped(lines, track.songPath());
    lines.append("\" Released=\"");
    appendNumber(lines, track.released());
    lines.append("\" SampleRate=\"");
    appendNumber(lines, track.sampleRate());
    lines.append("\" Size=\"");
    appendNumber(lines, track.size());
    lines.append("\" Title=\"");
    appendEscaped(lines, track.title());
    lines.append("\" TotalDiscs=\"");
    appendNumber(lines, track.totalDiscs());
    lines.append("\" TotalTracks=\"");
    appendNumber(lines, track.totalTracks());
    lines.append("\" Track=\"");
    appendNumber(lines, track.track());
    lines.append("\" Type=\"");
    appendEscaped(lines, track.type());
    lines.append("\"></Song>\r\n");
    output.write(lines);
}

void LibraryFileWriter::writePlaylists(ReplacementOutput &output)
{
    output.writeString(QStringLiteral("\t<Playlists>\r\n"));
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
        output.writeString(u"\t\t<Playlist ID=\"" + escaped(playlist->persistentId()) + u"\" Name=\""
                             + escaped(playlist->name()) + u"\">\r\n");
        QByteArray &lines = m_songLines;
        lines.truncate(0);
        for (const QString &trackId : std::as_const(*playlist->tracks())) {
            lines.append("\t\t\t<Track ID=\"");
            appendEscaped(lines, trackId);
            lines.append("\" />\r\n");
        }
        output.write(lines);
        output.writeString(QStringLiteral("\t\t</Playlist>\r\n"));
    }
    output.writeString(QStringLiteral("\t</Playlists>\r\n"));
    m_stage.reports.syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Save Playlist Information"));
}

bool LibraryFileWriter::putInPlace(FileIO &file, ReplacementOutput &output, const QString &temporaryPath)
{
    const QString &libraryFile = m_stage.paths.xmlTracksPath;
    if (output.repeatsPrevious()) {
        // Byte for byte the file already on the share: it stays as it is.
        file.fileClose();
        ::unlink(temporaryPath.toUtf8().constData());
        TemporaryFile::removeStale(libraryFile);
        return true;
    }
    // A file whose writing failed is never put in place of the previous one.
    int failure = file.writeErrno();
    const bool previousUnread = failure == 0 && output.readErrno() != 0;
    if (previousUnread)
        failure = output.readErrno();
    if (const int synced = file.fileSync(); synced != 0 && failure == 0)
        failure = synced;
    file.fileClose();
    if (failure == 0)
        failure = file.writeErrno();
    ErrorRecord error;
    if (failure != 0) {
        ::unlink(temporaryPath.toUtf8().constData());
        error = SystemError::fromErrno(failure, previousUnread ? libraryFile : temporaryPath);
    } else if (FileReplacement::replace(temporaryPath, libraryFile, &error)) {
        TemporaryFile::removeStale(libraryFile);
        return true;
    }
    m_stage.reports.syncNotifyError(QStringLiteral("Cannot overwrite Music Tracks XML file"), error);
    return false;
}
