#include "library/MusicLibrary.h"

#include "library/ArtworkDocument.h"
#include "library/DescriptionFileReader.h"
#include "library/FileCopier.h"
#include "library/FileReplacement.h"
#include "library/SystemError.h"
#include "library/TrackDestinations.h"
#include "platform/SystemLog.h"
#include "share/FileIO.h"
#include "share/TemporaryFile.h"
#include "xml/XmlText.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>

const QString MusicLibrary::FileIOErrorDomain = QStringLiteral("com.Orvana.FileIO");
const QString MusicLibrary::PosixErrorDomain = QStringLiteral("NSPOSIXErrorDomain");
const QString MusicLibrary::XMLParserErrorDomain = QStringLiteral("XMLParserErrorDomain");
const QString MusicLibrary::FilePathErrorKey = QStringLiteral("NSFilePath");
const QString MusicLibrary::FailureReasonErrorKey = QStringLiteral("NSLocalizedFailureReason");

namespace {


constexpr int ReadingTracks = 1;
constexpr int ReadingAlbumCovers = 2;

bool pathExists(const QString &path)
{
    struct stat info;
    const QByteArray native = path.toUtf8();
    return ::lstat(native.constData(), &info) == 0;
}

// Creates folder and its missing parents; 0 or the error number.
// Never through a linked folder of the share.
int makeFolders(const QString &folder)
{
    return TemporaryFile::makeFolders(folder);
}

QString parentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

// The leading integer of text: optional blanks, an optional sign and
// decimal digits, clamped to the int range; 0 when there is none.
int leadingInteger(const QString &text)
{
    qsizetype index = 0;
    while (index < text.size() && (text.at(index) == u' ' || text.at(index) == u'\t' || text.at(index) == u'\n'))
        ++index;
    bool negative = false;
    if (index < text.size() && (text.at(index) == u'+' || text.at(index) == u'-')) {
        negative = text.at(index) == u'-';
        ++index;
    }
    qint64 value = 0;
    for (; index < text.size() && text.at(index) >= u'0' && text.at(index) <= u'9'; ++index) {
        value = value * 10 + (text.at(index).unicode() - u'0');
        if (value > qint64(INT_MAX) + 1)
            break;
    }
    if (negative)
        return value > qint64(INT_MAX) ? INT_MIN : int(-value);
    return value > INT_MAX ? INT_MAX : int(value);
}

QString textOrEmpty(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

MusicLibrary::MusicLibrary()
    : m_validateFileNameCharacterSet(createValidFilenameCharacterSet())
{
    qRegisterMetaType<Notify>();
}

MusicLibrary::~MusicLibrary() = default;

// Notifications ------------------------------------------------------------

void MusicLibrary::deliver(const Notify &notify)
{
    if (m_notifySink)
        m_notifySink(notify);
}

void MusicLibrary::syncNotifyTitle(Activity activity, const QString &title)
{
    Notify notify;
    notify.setActivity(activity);
    notify.setTitle(title);
    deliver(notify);
}

void MusicLibrary::syncNotifyTitleWithMessage(Activity activity, const QString &title, const QStringList &messages)
{
    Notify notify;
    notify.setActivity(activity);
    notify.setTitle(title);
    notify.setMessages(messages);
    deliver(notify);
}

void MusicLibrary::syncNotifyProgress(Activity activity, const std::optional<QStringList> &messages, int progress,
                                      int maxProgress)
{
    Notify notify;
    notify.setActivity(activity);
    notify.setMessages(messages);
    notify.setProgress(progress);
    notify.setMaxProgress(maxProgress);
    deliver(notify);
}

void MusicLibrary::syncNotifyError(const QString &title, const ErrorRecord &error)
{
    QStringList messages;
    messages.append(QStringLiteral("Error Code: %1").arg(error.code()));
    messages.append(QStringLiteral("Error Domain: %1").arg(error.domain()));
    for (const auto &[key, value] : error.details())
        messages.append(QStringLiteral("%1: %2").arg(key, value.toString()));
    syncNotifyTitleWithMessage(Activity::Error, title, messages);
}

void MusicLibrary::syncNotifyException(const QString &title, const ExceptionRecord &exception)
{
    QStringList messages;
    messages.append(QStringLiteral("Exception Name: %1").arg(exception.name()));
    messages.append(QStringLiteral("Exception Reason: %1").arg(exception.reason()));
    for (const auto &[key, value] : exception.details())
        messages.append(QStringLiteral("%1: %2").arg(key, value.toString()));
    syncNotifyTitleWithMessage(Activity::Error, title, messages);
}

// Reading the previous files ------------------------------------------------

bool MusicLibrary::readDescriptionFile(const QString &path)
{
    DescriptionFileReader reader(
        [this](const QString &name, const XmlAttributes &attributes) { didStartElement(name, attributes); },
        [this](const ErrorRecord &error) { parseErrorOccurred(error); });
    reader.readFile(path);
    return !m_parsingError.has_value();
}

void MusicLibrary::didStartElement(const QString &name, const XmlAttributes &attributes)
{
    if (m_parsingItems == ReadingTracks && DescriptionFileReader::isNamed(name, QLatin1String("song"))) {
        const std::optional<QString> id = attributes.value("ID");
        const auto found = id ? m_tracks.constFind(*id) : m_tracks.constEnd();
        if (found != m_tracks.constEnd() && found.value()) {
            found.value()->setStatus(0);
            const std::optional<QString> location = attributes.value("Location");
            found.value()->setListedPath(location ? TrackDestinations::listedPathOfLocation(*location) : QString());
            ++m_counters.numTracksUnchanged;
        } else {
            ++m_counters.numTracksDeleted;
        }
        return;
    }
    if ((m_parsingItems == ReadingTracks || m_parsingItems == ReadingAlbumCovers)
        && DescriptionFileReader::isNamed(name, QLatin1String("albumcover"))) {
        const std::optional<QString> albumId = attributes.value("AlbumID");
        const std::optional<QString> path = attributes.value("Path");
        if (!albumId || !path)
            return;
        std::shared_ptr<AlbumCover> &cover = m_albumCovers[*albumId];
        if (cover) {
            ++m_counters.numAlbumCoversUnchanged;
        } else {
            cover = std::make_shared<AlbumCover>();
            cover->setAvailable(true);
        }
        cover->setStatus(0);
        const std::optional<QString> type = attributes.value("Type");
        cover->setType(type ? leadingInteger(*type) : 0);
        cover->setPath(*path);
    }
}

void MusicLibrary::parseErrorOccurred(const ErrorRecord &error)
{
    if (!m_parsingError)
        m_parsingError = error;
}

bool MusicLibrary::syncTracks(const QString &path)
{
    m_counters.numTracksProcessed = int(m_tracks.size());
    m_counters.numTracksDeleted = 0;
    m_counters.numTracksUnchanged = 0;
    syncNotifyTitle(Activity::SyncStageStarts, QStringLiteral("Synchronizing Music Tracks"));
    m_parsingItems = ReadingTracks;
    m_parsingError.reset();
    readDescriptionFile(path);
    m_counters.numTracksAdded = m_counters.numTracksProcessed - m_counters.numTracksUnchanged;
    if (m_parsingError)
        syncNotifyError(QStringLiteral("Error parsing Music Tracks XML file"), *m_parsingError);
    else
        syncNotifyTitle(Activity::ReadFinished, QStringLiteral("Finished Synchronizing Music Tracks"));
    return !m_parsingError;
}

bool MusicLibrary::syncAlbumCovers(const QString &path)
{
    m_counters.numAlbumCoversProcessed = int(m_albumCovers.size());
    m_counters.numAlbumCoversUnchanged = 0;
    syncNotifyTitle(Activity::SyncStageStarts, QStringLiteral("Synchronizing Album Covers"));
    m_parsingItems = ReadingAlbumCovers;
    m_parsingError.reset();
    readDescriptionFile(path);
    m_counters.numAlbumCoversAdded = m_counters.numAlbumCoversProcessed - m_counters.numAlbumCoversUnchanged;
    if (m_parsingError)
        syncNotifyError(QStringLiteral("Error pasring Artwork XML file"), *m_parsingError);
    else
        syncNotifyTitle(Activity::ReadFinished, QStringLiteral("Finished Synchronizing Album Cover Artwork"));
    return !m_parsingError;
}

// The library file ----------------------------------------------------------

QString MusicLibrary::convertToValidString(const QString &text)
{
    return XmlText::escaped(textOrEmpty(text), {.quotationMark = true, .apostrophe = true, .dropInvalidCharacters = true});
}

void MusicLibrary::writeSong(FileIO &file, const Track &track)
{
    const QString location = m_serverSharePath + u"\\Music\\" + track.artistPath() + u'\\' + track.albumPath() + u'\\'
        + track.songPath();
    QString line;
    line.reserve(512);
    line += u"\t\t<Song Album=\"" + convertToValidString(track.album()) + u"\" AlbumArtist=\""
        + convertToValidString(track.albumArtist()) + u"\" AlbumID=\"" + convertToValidString(track.albumID())
        + u"\" Artists=\"" + convertToValidString(track.artists()) + u"\" BitRate=\"" + QString::number(track.bitRate())
        + u"\" Composers=\"" + convertToValidString(track.composers()) + u"\" Conductor=\""
        + convertToValidString(track.conductors()) + u"\" Disc=\"" + QString::number(track.disc()) + u"\" Duration=\""
        + QString::number(double(track.duration()), 'f', 6) + u"\" Genres=\"" + convertToValidString(track.genres())
        + u"\" ID=\"" + convertToValidString(track.persistentId()) + u"\" \r\n";
    file.fileWriteString(line);
    line.clear();
    line += u" Location=\"" + convertToValidString(location) + u"\" Released=\"" + QString::number(track.released())
        + u"\" SampleRate=\"" + QString::number(track.sampleRate()) + u"\" Size=\"" + QString::number(track.size())
        + u"\" Title=\"" + convertToValidString(track.title()) + u"\" TotalDiscs=\"" + QString::number(track.totalDiscs())
        + u"\" TotalTracks=\"" + QString::number(track.totalTracks()) + u"\" Track=\"" + QString::number(track.track())
        + u"\" Type=\"" + convertToValidString(track.type()) + u"\"></Song>\r\n";
    file.fileWriteString(line);
}

bool MusicLibrary::writeXMLTracks(const QString &libraryId, const QString &libName)
{
    // The new file is written beside the previous one and renamed over it
    // when complete, so the share always holds a whole library file.
    // When nothing can be stored (a read-only share), the new tracks count
    // as not copied rather than as unchanged.
    const auto nothingStored = [this] {
        m_counters.numTracksCopied = 0;
        m_counters.numSkippedDRMTracks = 0;
        m_counters.numTracksCopyFailure = m_counters.numTracksAdded;
        return false;
    };
    if (!pathExists(m_xmlTracksPath)) {
        const QString folder = parentFolder(m_xmlTracksPath);
        if (const int failure = makeFolders(folder); failure != 0) {
            syncNotifyError(QStringLiteral("Cannot create directory"), SystemError::fromErrno(failure, folder));
            return nothingStored();
        }
    }
    FileIO file;
    if (const int failure = file.fileOpenTemporaryFor(m_xmlTracksPath); failure != 0) {
        ErrorRecord error(FileIOErrorDomain, failure);
        error.addDetail(ErrorRecord::LocalizedDescriptionKey, QString::fromLocal8Bit(std::strerror(failure)));
        error.addDetail(FilePathErrorKey, m_xmlTracksPath);
        syncNotifyError(QStringLiteral("Failed to create/open xml file"), error);
        return nothingStored();
    }
    const QString temporaryPath = file.path();

    if (!m_syncCompleteMusicLibrary)
        m_tracksToSync = getTracksToSync();
    else
        m_tracksToSync.reset();

    file.fileWriteString(u"<Library ID=\"" + convertToValidString(libraryId) + u"\" Type=\"iTunes\" Name=\""
                         + convertToValidString(libName) + u"\" SyncVersion=\"" + convertToValidString(m_syncVersion)
                         + u"\">\r\n");
    file.fileWriteString(QStringLiteral("\t<Songs>\r\n"));

    m_counters.numSkippedDRMTracks = 0;
    m_counters.numTracksCopyFailure = 0;
    m_counters.numTracksNotCopied = 0;
    m_counters.numTracksCopied = 0;
    m_counters.numTracksProcessed = 0;
    planTrackDestinations();
    const int maximum = m_syncCompleteMusicLibrary ? int(m_sortedTracks.size()) : int(m_tracksToSync->size());

    for (const QString &identifier : std::as_const(m_sortedTracks)) {
        if (!m_syncCompleteMusicLibrary && !m_tracksToSync->contains(identifier))
            continue;
        const std::shared_ptr<Track> track = m_tracks.value(identifier);
        if (track && (track->status() == 0 || track->status() == 1)) {
            if (track->DRMProtected()) {
                ++m_counters.numSkippedDRMTracks;
            } else if (const auto destination = trackDestination(*track)) {
                track->setArtistPath(destination->artistPath);
                track->setAlbumPath(destination->albumPath);
                track->setSongPath(destination->songPath);
                syncNotifyProgress(Activity::TrackProgress,
                                   QStringList{textOrEmpty(track->title()), textOrEmpty(track->album()),
                                               textOrEmpty(track->artists())},
                                   m_counters.numTracksProcessed, maximum);
                bool listed = true;
                if (destination->needsCopy && m_copyBarrier)
                    m_copyBarrier();
                if (destination->needsCopy && stopRequested()) {
                    // Stopped: the file is not on the share, so it is not listed.
                    ++m_counters.numTracksNotCopied;
                    ++m_counters.numTracksProcessed;
                    continue;
                }
                if (destination->needsCopy) {
                    listed = copyTrack(*track);
                } else if (!destination->refusal.isNull()) {
                    syncNotifyError(QStringLiteral("Failed to copy file"), refusedCopyError(*track, destination->refusal));
                    listed = false;
                }
                if (listed)
                    writeSong(file, *track);
                else
                    ++m_counters.numTracksCopyFailure;
            }
        }
        ++m_counters.numTracksProcessed;
    }

    file.fileWriteString(QStringLiteral("\t</Songs>\r\n"));
    syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Saved Track Information"));
    file.fileWriteString(QStringLiteral("\t<Playlists>\r\n"));

    const PlaylistMap playlists = m_playlists;
    for (const std::shared_ptr<Playlist> &playlist : playlists) {
        if (!playlist || !playlist->isSelected())
            continue;
        if (playlist->name() == u"Library" || playlist->name() == u"Music")
            continue;
        syncNotifyTitle(Activity::Playlist, playlist->name());
        if (!playlist->isExpanded()) {
            playlist->setIsExpanded(true);
            playlist->getPlaylistTrackIDs();
        }
        if (!playlist->tracks() || playlist->tracks()->isEmpty())
            continue;
        file.fileWriteString(u"\t\t<Playlist ID=\"" + convertToValidString(playlist->persistentId()) + u"\" Name=\""
                             + convertToValidString(playlist->name()) + u"\">\r\n");
        for (const QString &trackId : std::as_const(*playlist->tracks()))
            file.fileWriteString(u"\t\t\t<Track ID=\"" + convertToValidString(trackId) + u"\" />\r\n");
        file.fileWriteString(QStringLiteral("\t\t</Playlist>\r\n"));
    }

    file.fileWriteString(QStringLiteral("\t</Playlists>\r\n"));
    syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Save Playlist Information"));
    file.fileWriteString(QStringLiteral("</Library>\r\n"));

    // A file whose writing failed is never put in place of the previous one.
    int failure = file.writeErrno();
    if (const int synced = file.fileSync(); synced != 0 && failure == 0)
        failure = synced;
    file.fileClose();
    if (failure == 0)
        failure = file.writeErrno();
    ErrorRecord error;
    if (failure != 0) {
        ::unlink(temporaryPath.toUtf8().constData());
        error = SystemError::fromErrno(failure, temporaryPath);
    } else if (FileReplacement::replace(temporaryPath, m_xmlTracksPath, &error)) {
        TemporaryFile::removeStale(m_xmlTracksPath);
        return true;
    }
    syncNotifyError(QStringLiteral("Cannot overwrite Music Tracks XML file"), error);
    return false;
}

// Tracks --------------------------------------------------------------------

MusicLibrary::TrackIdMap MusicLibrary::getTracksToSync()
{
    TrackIdMap result;
    const PlaylistMap playlists = m_playlists;
    for (const std::shared_ptr<Playlist> &playlist : playlists) {
        if (!playlist || !playlist->isSelected())
            continue;
        syncNotifyTitle(Activity::Playlist, playlist->name());
        for (const QString &trackId : syncedMembersOf(*playlist)) {
            if (!result.contains(trackId))
                result.insert(trackId, trackId);
        }
    }
    return result;
}

QStringList MusicLibrary::syncedMembersOf(Playlist &playlist)
{
    if (playlist.name() == u"Library" || playlist.name() == u"Music")
        return {};
    if (!playlist.isExpanded()) {
        playlist.setIsExpanded(true);
        playlist.getPlaylistTrackIDs();
    }
    return playlist.tracks().value_or(QStringList());
}

CharacterSet MusicLibrary::createValidFilenameCharacterSet()
{
    CharacterSet permitted;
    permitted.addRange(u'0', u'9');
    permitted.addRange(u'A', u'Z');
    permitted.addRange(u'a', u'z');
    permitted.addCharacters(u"~`!@#$%^&()-_+={}[];',. ");
    return permitted.inverted();
}

QString MusicLibrary::validateFileName(const QString &name) const
{
    return TrackDestinations::withoutCharacters(m_validateFileNameCharacterSet, name);
}

void MusicLibrary::planTrackDestinations()
{
    m_destinations = std::make_unique<TrackDestinations>(m_validateFileNameCharacterSet, m_cpyBasePath);
    m_destinations->plan(m_tracks, m_sortedTracks);
}

std::optional<TrackDestinations::Destination> MusicLibrary::trackDestination(const Track &track) const
{
    if (!m_destinations)
        return std::nullopt;
    return m_destinations->destinationOf(track);
}

QString MusicLibrary::unsafeDestinationReason(const Track &track) const
{
    return TrackDestinations::unsafeReason(m_cpyBasePath, track.artistPath(), track.albumPath(), track.songPath());
}

ErrorRecord MusicLibrary::refusedCopyError(const Track &track, const QString &reason) const
{
    ErrorRecord error(PosixErrorDomain, EINVAL);
    error.addDetail(ErrorRecord::LocalizedDescriptionKey, QStringLiteral("The track was not copied."));
    error.addDetail(FailureReasonErrorKey, reason);
    error.addDetail(FilePathErrorKey, track.location());
    return error;
}

bool MusicLibrary::copyTrack(Track &track)
{
    const QString folder = m_cpyBasePath + u'/' + track.artistPath() + u'/' + track.albumPath() + u'/';
    const QString destination = folder + track.songPath();
    syncNotifyTitle(Activity::Log, u"Copying: " + destination);

    if (const QString reason = unsafeDestinationReason(track); !reason.isNull()) {
        syncNotifyError(QStringLiteral("Failed to copy file"), refusedCopyError(track, reason));
        return false;
    }
    if (pathExists(destination))
        return true;
    if (!pathExists(folder)) {
        if (const int failure = makeFolders(folder); failure != 0) {
            syncNotifyError(QStringLiteral("Failed to create directory"), SystemError::fromErrno(failure, folder));
            return false;
        }
    }
    // Copied under a hidden temporary name and renamed into place only when
    // complete, so an interrupted copy never stands under the final name.
    QString temporaryPath;
    ErrorRecord error;
    if (!FileCopier::copyFile(track.location(), destination, &temporaryPath, &error)) {
        syncNotifyError(QStringLiteral("Failed to copy file"), error);
        return false;
    }
    bool alreadyThere = false;
    if (!FileReplacement::moveIntoPlaceWithoutReplacing(temporaryPath, destination, &alreadyThere, &error)) {
        syncNotifyError(QStringLiteral("Failed to copy file"), error);
        return false;
    }
    if (!alreadyThere)
        ++m_counters.numTracksCopied;
    return true;
}

// Album covers --------------------------------------------------------------

MusicLibrary::AlbumCoverMap MusicLibrary::getAlbumCoverToSync()
{
    AlbumCoverMap result;
    if (!m_tracksToSync)
        return result;
    for (auto entry = m_tracksToSync->constKeyValueBegin(); entry != m_tracksToSync->constKeyValueEnd(); ++entry) {
        const std::shared_ptr<Track> track = m_tracks.value(entry->first);
        if (!track || track->albumID().isNull())
            continue;
        if (result.contains(track->albumID()))
            continue;
        const auto cover = m_albumCovers.constFind(track->albumID());
        if (cover != m_albumCovers.constEnd())
            result.insert(track->albumID(), cover.value());
    }
    return result;
}

bool MusicLibrary::writeXMLAlbumCovers()
{
    try {
        AlbumCoverMap coversToSync;
        if (!m_syncCompleteMusicLibrary)
            coversToSync = getAlbumCoverToSync();
        ArtworkDocument document;
        m_counters.numAlbumCoversProcessed = 0;
        m_counters.numAlbumCoversCopied = 0;
        m_counters.numAlbumCoversMissing = 0;
        const int maximum = m_syncCompleteMusicLibrary ? int(m_albumCovers.size()) : int(coversToSync.size());

        // A fresh share has no cover folder yet; the exports would all fail without it.
        if (!m_albumCoverBasePath.isEmpty() && !pathExists(m_albumCoverBasePath))
            makeFolders(m_albumCoverBasePath);

        const AlbumCoverMap covers = m_albumCovers;
        for (auto entry = covers.constKeyValueBegin(); entry != covers.constKeyValueEnd(); ++entry) {
            syncNotifyProgress(Activity::CoverProgress, std::nullopt, m_counters.numAlbumCoversProcessed, maximum);
            const QString &albumId = entry->first;
            AlbumCover *cover = entry->second.get();
            if (!cover || (cover->status() != 0 && cover->status() != 1))
                continue;
            if (!m_syncCompleteMusicLibrary && !coversToSync.contains(albumId))
                continue;
            if (cover->status() == 1) {
                if (cover->copyArtwork(m_albumCoverBasePath)) {
                    ++m_counters.numAlbumCoversCopied;
                } else {
                    ++m_counters.numAlbumCoversMissing;
                    if (cover->exc())
                        syncNotifyException(QStringLiteral("%1 (DebugInfo: %2)")
                                                .arg(QStringLiteral("Failed to copy artwork"))
                                                .arg(cover->debugInfo()),
                                            *cover->exc());
                    ++m_counters.numAlbumCoversProcessed;
                    continue;
                }
            }
            ++m_counters.numAlbumCoversProcessed;
            if (cover->status() == 1)
                cover->setPath(m_serverSharePath + u"\\Artwork\\" + cover->artworkFileName());
            document.addAlbumCover(albumId, cover->path());
        }
        syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Saving Album Cover Information"));
        const QByteArray bytes = document.serialized();
        // The previous file stays until the new one replaces it.
        if (!pathExists(m_xmlAlbumCoverPath))
            makeFolders(parentFolder(m_xmlAlbumCoverPath));
        ErrorRecord error;
        if (FileReplacement::writeAtomically(m_xmlAlbumCoverPath, bytes, &error))
            return true;
        // The server would go on showing the previous covers: say so.
        syncNotifyError(QStringLiteral("Cannot overwrite Artwork XML file"), error);
        return false;
    } catch (...) {
        return false;
    }
}
