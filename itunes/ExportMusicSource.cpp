#include "itunes/ExportMusicSource.h"

#include "itunes/ExportLibraryReader.h"
#include "itunes/ResolvedMusicTrack.h"

#include <QDir>
#include <QFileInfo>

namespace {

using Tracks = std::vector<std::shared_ptr<MusicSourceTrack>>;

std::shared_ptr<MusicSourcePlaylist> playlistOf(const QString &name, const QString &persistentID, Tracks tracks)
{
    auto list = MusicElementList<MusicSourceTrack>::of(std::move(tracks));
    return std::make_shared<MusicSourcePlaylist>(name, persistentID, [list] { return list; });
}

// An export read on another computer names its files under the music folder
// that computer had ("C:/Users/ann/Music/iTunes/iTunes Media/"). Copied here
// as a whole, that folder sits beside the export, under the same name: where
// the folder the export names is not here and that one is, its tracks are
// read from there. What a path map names is the user's choice instead.
void readFromMusicFolderBesideExport(ExportLibraryContents &contents, const QString &exportPath, MusicApplication &application)
{
    const QString exported = FileLocationMapper::pathFromFileUrl(contents.musicFolder);
    QString name = exported;
    while (name.endsWith(u'/'))
        name.chop(1);
    name = name.mid(name.lastIndexOf(u'/') + 1);
    if (name.isEmpty() || name == u"." || name == u".." || name.endsWith(u':') || QFileInfo(exported).isDir())
        return;
    const QString beside = QFileInfo(exportPath).absoluteDir().filePath(name);
    if (!QFileInfo(beside).isDir())
        return;
    const FileLocationMapper moved({{contents.musicFolder, beside}});
    int count = 0;
    for (const auto &track : contents.tracks) {
        const QString &location = track->properties().location;
        if (location.isEmpty())
            continue;
        QString here = moved.movedPath(location);
        if (here != location) {
            track->setLocation(std::move(here));
            ++count;
        }
    }
    if (count > 0)
        application.addNote(QStringLiteral("The music folder the library names (%1) is not on this computer: the files of %2 "
                                           "tracks are read from %3 beside the library file")
                                .arg(exported.isEmpty() ? contents.musicFolder : exported)
                                .arg(count)
                                .arg(beside));
}

} // namespace

bool ExportMusicSource::open(const QString &path, const FileLocationMapper &locations, MusicApplication &application)
{
    ExportLibraryReader reader(locations);
    if (!reader.readFile(path)) {
        application.setOpenError(reader.error());
        return false;
    }
    QStringList warnings = reader.warnings();
    QMap<QString, int> leftOut = reader.leftOut();
    const QHash<qint64, QString> leftOutTracks = reader.leftOutTracks();
    ExportLibraryContents contents = reader.takeContents();
    if (locations.isEmpty() && !contents.musicFolder.isEmpty())
        readFromMusicFolderBesideExport(contents, path, application);
    application.addListedTrackCount(contents.listedTrackCount);
    application.addSource(fromContents(std::move(contents), QFileInfo(path).completeBaseName(), warnings, &leftOut,
                                       leftOutTracks));
    application.addWarnings(warnings);
    application.addLeftOut(leftOut);
    return true;
}

std::shared_ptr<MusicSource> ExportMusicSource::fromContents(ExportLibraryContents contents, const QString &name,
                                                             QStringList &warnings, QMap<QString, int> *leftOut,
                                                             const QHash<qint64, QString> &leftOutTracks)
{
    Tracks tracks(std::make_move_iterator(contents.tracks.begin()), std::make_move_iterator(contents.tracks.end()));

    int missing = 0;
    const auto membersOf = [&](const ExportLibraryContents::Playlist &playlist) {
        Tracks members;
        members.reserve(playlist.trackIDs.size());
        for (qint64 id : playlist.trackIDs) {
            const auto found = contents.trackIndexByID.constFind(id);
            if (found == contents.trackIndexByID.cend()) {
                if (++missing <= 20) {
                    const auto reason = leftOutTracks.constFind(id);
                    warnings.append(reason == leftOutTracks.cend()
                                        ? QStringLiteral("Playlist \"%1\" names Track ID %2, which is not in \"Tracks\"")
                                              .arg(playlist.name).arg(id)
                                        : QStringLiteral("Playlist \"%1\" names Track ID %2, which was left out (one of the %3)")
                                              .arg(playlist.name).arg(id).arg(reason.value()));
                }
                if (leftOut)
                    ++(*leftOut)[QStringLiteral("playlist items naming a track that was not loaded")];
                continue;
            }
            members.push_back(tracks[size_t(found.value())]);
        }
        return members;
    };

    MusicSource::Playlists library;
    MusicSource::Playlists user;
    for (const ExportLibraryContents::Playlist &playlist : contents.playlists) {
        if (playlist.master && library.empty())
            library.push_back(playlistOf(playlist.name, playlist.persistentID, membersOf(playlist)));
        else
            user.push_back(playlistOf(playlist.name, playlist.persistentID, membersOf(playlist)));
    }
    if (library.empty())
        library.push_back(playlistOf(QStringLiteral("Library"), QString(), tracks));
    if (missing > 20)
        warnings.append(QStringLiteral("... and %1 more missing playlist items").arg(missing - 20));
    return std::make_shared<MusicSource>(name, MusicSource::KindLibrary, std::move(library), std::move(user));
}
