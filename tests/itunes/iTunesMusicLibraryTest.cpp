#include "itunes/ExportMusicSource.h"
#include "itunes/FolderMusicSource.h"
#include "itunes/iTunesAlbumCover.h"
#include "itunes/ResolvedMusicTrack.h"
#include "itunes/iTunesMusicLibrary.h"
#include "itunes/iTunesMusicPlaylist.h"
#include "itunes/iTunesMusicTrack.h"

#include "tests/itunes/ExportFileBuilder.h"
#include "tests/itunes/MusicLibraryFixture.h"
#include "tests/itunes/NotifyRecorder.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

#include <gtest/gtest.h>

namespace {

using Backend = MusicLibraryFixture::Backend;

struct Loaded {
    std::unique_ptr<iTunesMusicLibrary> library = std::make_unique<iTunesMusicLibrary>();
    NotifyRecorder recorder;

    explicit Loaded(std::shared_ptr<MusicApplication> application)
    {
        library->setNotifySink(recorder.sink());
        library->setITunes(std::move(application));
        library->loadiTunesLibrary();
    }
    std::shared_ptr<iTunesMusicTrack> track(const QString &persistentID) const
    {
        return std::dynamic_pointer_cast<iTunesMusicTrack>(library->tracks().value(persistentID));
    }
    QStringList playlistNames() const
    {
        QStringList names;
        for (const auto &playlist : library->playlists())
            names.append(playlist->name());
        names.sort();
        return names;
    }
};

class LoaderOverBothBackends : public ::testing::TestWithParam<Backend> {
protected:
    Backend backend() const { return GetParam(); }
    QString id(const QString &relative) const { return files.persistentID(backend(), relative); }
    MusicLibraryFixture files;
};

INSTANTIATE_TEST_SUITE_P(Backends, LoaderOverBothBackends, ::testing::Values(Backend::Export, Backend::Folder),
                         [](const auto &info) { return std::string(MusicLibraryFixture::name(info.param)); });

QStringList batchLines(const NotifyRecorder &recorder)
{
    QStringList lines;
    for (const QString &title : recorder.titles(1)) {
        if (title.startsWith(QLatin1String("Importing tracks ")))
            lines.append(title);
    }
    return lines;
}

void addNumberedFiles(MusicLibraryFixture &files, int count)
{
    for (int i = 0; i < count; ++i)
        files.addFile(QStringLiteral("Artist/Album/%1.mp3").arg(i, 5, 10, QLatin1Char('0')));
}

TEST_P(LoaderOverBothBackends, ImportsInBatchesOfFiveHundredWithProgressPerTrack)
{
    addNumberedFiles(files, 1234);
    Loaded loaded(files.open(backend()));
    EXPECT_EQ(loaded.library->tracks().size(), 1234);
    EXPECT_EQ(loaded.library->sortedTracks().size(), 1234);
    const QStringList log = loaded.recorder.titles(1);
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[0], QStringLiteral("Starting to import tracks from iTunes"));
    EXPECT_EQ(log[1], QStringLiteral("Importing 1234 tracks from iTunes"));
    EXPECT_EQ(batchLines(loaded.recorder), (QStringList{QStringLiteral("Importing tracks 0 to 500"), QStringLiteral("Importing tracks 500 to 1000"),
                                                         QStringLiteral("Importing tracks 1000 to 1234")}));
    const QList<Notify> progress = loaded.recorder.withActivity(4);
    ASSERT_EQ(progress.size(), 1234);
    for (int i = 0; i < progress.size(); ++i) {
        ASSERT_EQ(progress[i].progress(), i);
        ASSERT_EQ(progress[i].maxProgress(), 1234);
        ASSERT_FALSE(progress[i].messages().has_value());
        ASSERT_TRUE(progress[i].title().isNull());
    }
    EXPECT_TRUE(log.contains(QStringLiteral("Syncing 1234 tracks")));
    EXPECT_EQ(loaded.recorder.titles(3), (QStringList{QStringLiteral("Started Loading iTunes Library"), QStringLiteral("Started Loading iTunes Playlists")}));
    EXPECT_EQ(loaded.recorder.titles(5), (QStringList{QStringLiteral("Finished Loading iTunes Library"), QStringLiteral("Finished Loading iTunes Playlists")}));
    // Library order is kept.
    EXPECT_EQ(loaded.library->sortedTracks().front(), id(QStringLiteral("Artist/Album/00000.mp3")));
    EXPECT_EQ(loaded.library->sortedTracks().back(), id(QStringLiteral("Artist/Album/01233.mp3")));
    // One cover for the one album folder.
    EXPECT_EQ(loaded.library->albumCovers().keys(), QStringList{QStringLiteral("Artist-Album")});
}

TEST_P(LoaderOverBothBackends, ExactlyFiveHundredTracksAreOneBatch)
{
    addNumberedFiles(files, 500);
    Loaded loaded(files.open(backend()));
    EXPECT_EQ(batchLines(loaded.recorder), QStringList{QStringLiteral("Importing tracks 0 to 500")});
    EXPECT_EQ(loaded.recorder.withActivity(4).size(), 500);
}

TEST_P(LoaderOverBothBackends, AnEmptyLibraryHasNoBatchLine)
{
    Loaded loaded(files.open(backend()));
    const QStringList log = loaded.recorder.titles(1);
    EXPECT_TRUE(log.contains(QStringLiteral("Importing 0 tracks from iTunes")));
    EXPECT_TRUE(batchLines(loaded.recorder).isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("Syncing 0 tracks")));
    EXPECT_TRUE(loaded.recorder.withActivity(4).isEmpty());
    EXPECT_TRUE(loaded.library->tracks().isEmpty());
}

TEST_P(LoaderOverBothBackends, AcceptsTheThirteenExtensionsInAnyCaseAndSkipsOthersByTitle)
{
    files.addFile(QStringLiteral("A/B/Clip.mov"));
    files.addFile(QStringLiteral("A/B/Loud.FLAC"));
    files.addFile(QStringLiteral("A/B/Other.MOV"));
    files.addFile(QStringLiteral("A/B/Protected.m4p"));
    files.addFile(QStringLiteral("A/B/Shout.M4P"));
    files.addFile(QStringLiteral("A/B/song.mp3"));
    Loaded loaded(files.open(backend()));
    const QStringList log = loaded.recorder.titles(1);
    EXPECT_TRUE(log.contains(QStringLiteral("Skipping non-supported music item: Clip.mov")));
    EXPECT_TRUE(log.contains(QStringLiteral("Skipping non-supported music item: Other.MOV")));
    EXPECT_EQ(loaded.library->tracks().size(), 4);
    EXPECT_FALSE(loaded.library->tracks().contains(id(QStringLiteral("A/B/Clip.mov"))));

    const auto flac = loaded.track(id(QStringLiteral("A/B/Loud.FLAC")));
    ASSERT_TRUE(flac);
    EXPECT_EQ(flac->type(), QStringLiteral("flac"));
    EXPECT_FALSE(flac->DRMProtected());
    EXPECT_EQ(flac->status(), 1);
    EXPECT_EQ(flac->location(), files.filePath(QStringLiteral("A/B/Loud.FLAC")));
    EXPECT_EQ(flac->albumID(), QStringLiteral("A-B"));
    for (const char *protectedFile : {"A/B/Protected.m4p", "A/B/Shout.M4P"}) {
        const auto track = loaded.track(id(QString::fromLatin1(protectedFile)));
        ASSERT_TRUE(track) << protectedFile;
        EXPECT_EQ(track->type(), QStringLiteral("m4p"));
        EXPECT_TRUE(track->DRMProtected());
    }
    EXPECT_EQ(loaded.library->sortedTracks(),
              (QStringList{id(QStringLiteral("A/B/Loud.FLAC")), id(QStringLiteral("A/B/Protected.m4p")),
                           id(QStringLiteral("A/B/Shout.M4P")), id(QStringLiteral("A/B/song.mp3"))}));
}

TEST_P(LoaderOverBothBackends, LeavesOutOnlyThePlaylistsNamedExactlyLibraryOrMusic)
{
    files.addFile(QStringLiteral("A/B/a.mp3"));
    for (const char *name : {"Library", "Music", "music", "Music Videos", "Road Trip"})
        files.addPlaylist(QString::fromLatin1(name), {QStringLiteral("A/B/a.mp3")});
    Loaded loaded(files.open(backend()));
    EXPECT_EQ(loaded.playlistNames(), (QStringList{QStringLiteral("Music Videos"), QStringLiteral("Road Trip"), QStringLiteral("music")}));
    EXPECT_TRUE(loaded.recorder.titles(1).contains(QStringLiteral("Syncing 3 playlists")));
    for (const auto &playlist : loaded.library->playlists()) {
        auto adapter = std::dynamic_pointer_cast<iTunesMusicPlaylist>(playlist);
        ASSERT_TRUE(adapter);
        EXPECT_TRUE(adapter->iTPlaylist());
        EXPECT_FALSE(playlist->tracks().has_value()); // read only when the engine asks
    }
}

TEST_P(LoaderOverBothBackends, PlaylistMembersIncludeTracksTheLoaderSkipped)
{
    files.addFile(QStringLiteral("A/B/a.mp3"));
    files.addFile(QStringLiteral("A/B/b.mov"));
    files.addFile(QStringLiteral("A/B/c.m4a"));
    files.addPlaylist(QStringLiteral("Three"), {QStringLiteral("A/B/c.m4a"), QStringLiteral("A/B/b.mov"), QStringLiteral("A/B/a.mp3")});
    Loaded loaded(files.open(backend()));
    ASSERT_EQ(loaded.library->playlists().size(), 1);
    const auto playlist = loaded.library->playlists().first();
    playlist->getPlaylistTrackIDs();
    ASSERT_TRUE(playlist->tracks().has_value());
    EXPECT_EQ(*playlist->tracks(), (QStringList{id(QStringLiteral("A/B/c.m4a")), id(QStringLiteral("A/B/b.mov")), id(QStringLiteral("A/B/a.mp3"))}));
    EXPECT_EQ(loaded.library->tracks().size(), 2);
    const QVariant members = playlist->getPlaylistTracks();
    ASSERT_TRUE(members.canConvert<MusicSourceTracks>());
    EXPECT_EQ(members.value<MusicSourceTracks>().size(), 3u);
}

TEST_P(LoaderOverBothBackends, TheFirstAcceptedTrackOfAnAlbumDecidesItsCover)
{
    files.addFile(QStringLiteral("Artist/Album/1 plain.ogg"), QStringLiteral("song.ogg"));
    files.addFile(QStringLiteral("Artist/Album/2 with cover.mp3"), QStringLiteral("song.mp3"));
    files.addFile(QStringLiteral("Artist/Covered/0 skipped.mov"));
    files.addFile(QStringLiteral("Artist/Covered/1 with cover.m4a"), QStringLiteral("song.m4a"));
    Loaded loaded(files.open(backend()));
    const auto &covers = loaded.library->albumCovers();
    ASSERT_EQ(covers.keys(), (QStringList{QStringLiteral("Artist-Album"), QStringLiteral("Artist-Covered")}));

    auto plain = std::dynamic_pointer_cast<iTunesAlbumCover>(covers.value(QStringLiteral("Artist-Album")));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->available());
    EXPECT_EQ(plain->status(), 1);
    EXPECT_EQ(plain->track()->persistentID(), id(QStringLiteral("Artist/Album/1 plain.ogg")));
    QTemporaryDir out;
    EXPECT_FALSE(plain->copyArtwork(out.path()));
    EXPECT_FALSE(plain->exc().has_value());
    EXPECT_TRUE(plain->path().isNull());

    auto covered = std::dynamic_pointer_cast<iTunesAlbumCover>(covers.value(QStringLiteral("Artist-Covered")));
    ASSERT_TRUE(covered);
    EXPECT_TRUE(covered->available());
    EXPECT_EQ(covered->track()->persistentID(), id(QStringLiteral("Artist/Covered/1 with cover.m4a")));
    EXPECT_TRUE(covered->copyArtwork(out.path()));
    EXPECT_EQ(covered->artworkFileName(), id(QStringLiteral("Artist/Covered/1 with cover.m4a")) + QStringLiteral(".jpg"));
    EXPECT_EQ(covered->path(), out.filePath(covered->artworkFileName()));
    EXPECT_TRUE(QFile::exists(covered->path()));
}

TEST(LoaderOverFolder, KeepsTheLowThirtyTwoBitsOfAFileSize)
{
    MusicLibraryFixture files;
    files.addFile(QStringLiteral("A/B/big.aac"), QString(), "");
    QFile big(files.filePath(QStringLiteral("A/B/big.aac")));
    ASSERT_TRUE(big.open(QIODevice::ReadWrite));
    if (!big.resize(5000000000))
        GTEST_SKIP() << "the temporary file system cannot hold a sparse 5 GB file";
    big.close();
    Loaded loaded(files.open(Backend::Folder));
    const auto track = loaded.track(files.persistentID(Backend::Folder, QStringLiteral("A/B/big.aac")));
    ASSERT_TRUE(track);
    EXPECT_EQ(track->size(), 705032704);
}

TEST(LoaderOverExport, ConvertsDurationSizeAndTheAlbumIdentifier)
{
    QTemporaryDir dir;
    ExportFileBuilder builder;
    auto song = ExportFileBuilder::track(1, QStringLiteral("AAAA000000000001"),
                                         QStringLiteral("file:///Volumes/Media/Music/Some%20Artist/Some%20Album/01%20Song.m4a"), QStringLiteral("Song"));
    song += ExportFileBuilder::Fields{{QStringLiteral("Total Time"), 215500}, {QStringLiteral("Size"), qint64(5000000000)},
                                      {QStringLiteral("Artist"), QStringLiteral("Some Artist")}, {QStringLiteral("Track Number"), 1}};
    builder.addTrack(1, song);
    builder.addTrack(2, ExportFileBuilder::track(2, QStringLiteral("AAAA000000000002"), QStringLiteral("file:///Song.mp3"), QStringLiteral("Root")));
    builder.addTrack(3, ExportFileBuilder::track(3, QStringLiteral("AAAA000000000003"), QStringLiteral("file:///Music/Song.mp3"), QStringLiteral("Shallow")));
    builder.addTrack(4, ExportFileBuilder::track(4, QStringLiteral("AAAA000000000004"), QString(), QStringLiteral("Streamed")));
    builder.writeTo(dir.filePath(QStringLiteral("Library.xml")));
    auto application = std::make_shared<MusicApplication>();
    ASSERT_TRUE(ExportMusicSource::open(dir.filePath(QStringLiteral("Library.xml")), FileLocationMapper(), *application));
    Loaded loaded(application);

    const auto song1 = loaded.track(QStringLiteral("AAAA000000000001"));
    ASSERT_TRUE(song1);
    EXPECT_FLOAT_EQ(song1->duration(), 215500.0f);
    EXPECT_EQ(song1->size(), 705032704);
    EXPECT_EQ(song1->albumID(), QStringLiteral("Some Artist-Some Album"));
    EXPECT_EQ(song1->type(), QStringLiteral("m4a"));
    EXPECT_FALSE(song1->DRMProtected());
    EXPECT_EQ(song1->artists(), QStringLiteral("Some Artist"));
    EXPECT_EQ(song1->track(), 1);
    EXPECT_EQ(song1->dbUniqueId(), 1);
    EXPECT_EQ(song1->location(), QStringLiteral("/Volumes/Media/Music/Some Artist/Some Album/01 Song.m4a"));

    const auto root = loaded.track(QStringLiteral("AAAA000000000002"));
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->albumID().isNull());
    EXPECT_EQ(loaded.track(QStringLiteral("AAAA000000000003"))->albumID(), QStringLiteral("/-Music"));
    // No location: no extension, skipped by the extension rule.
    EXPECT_TRUE(loaded.recorder.titles(1).contains(QStringLiteral("Skipping non-supported music item: Streamed.")));
    // A track at the root has no album and so no cover entry.
    EXPECT_EQ(loaded.library->albumCovers().keys(), (QStringList{QStringLiteral("/-Music"), QStringLiteral("Some Artist-Some Album")}));
}

// A library copied whole from another computer: the export and, beside it,
// the music folder it names by the other computer's path.
TEST(LoaderOverExport, ReadsTheFilesFromTheMusicFolderBesideTheExportWhenTheNamedOneIsNotHere)
{
    QTemporaryDir dir;
    const QString exportPath = dir.filePath(QStringLiteral("iTunes/iTunes Music Library.xml"));
    const QString copiedSong = dir.filePath(QStringLiteral("iTunes/iTunes Media/Music/A/B/01 Song.mp3"));
    testsupport::writeFile(copiedSong, "mp3");
    ExportFileBuilder builder;
    builder.setMusicFolder(QStringLiteral("file://localhost/C:/Users/Ann/Music/iTunes/iTunes%20Media/"));
    builder.addTrack(1, ExportFileBuilder::track(1, QStringLiteral("AAAA000000000001"),
                                                 QStringLiteral("file://localhost/C:/Users/Ann/Music/iTunes/iTunes%20Media/Music/A/B/01%20Song.mp3"),
                                                 QStringLiteral("Under it")));
    // Windows paths in another letter case name the same folder.
    builder.addTrack(2, ExportFileBuilder::track(2, QStringLiteral("AAAA000000000002"),
                                                 QStringLiteral("file://localhost/c:/users/ann/music/itunes/iTunes%20Media/Music/A/B/02.mp3"),
                                                 QStringLiteral("Other case")));
    builder.addTrack(3, ExportFileBuilder::track(3, QStringLiteral("AAAA000000000003"),
                                                 QStringLiteral("file://localhost/C:/Users/Ann/Music/iTunes/iTunes%20Media%20Old/x.mp3"),
                                                 QStringLiteral("Beside it")));
    builder.writeTo(exportPath);
    const auto load = [&exportPath](const FileLocationMapper &map) {
        auto application = std::make_shared<MusicApplication>();
        EXPECT_TRUE(ExportMusicSource::open(exportPath, map, *application));
        return std::make_unique<Loaded>(application);
    };
    const auto locationOf = [](Loaded &loaded, int number) {
        return loaded.track(QStringLiteral("AAAA00000000000%1").arg(number))->location();
    };

    const auto copied = load(FileLocationMapper());
    EXPECT_EQ(locationOf(*copied, 1), copiedSong);
    EXPECT_EQ(locationOf(*copied, 2), dir.filePath(QStringLiteral("iTunes/iTunes Media/Music/A/B/02.mp3")));
    EXPECT_EQ(locationOf(*copied, 3), QStringLiteral("C:/Users/Ann/Music/iTunes/iTunes Media Old/x.mp3"));
    EXPECT_TRUE(copied->recorder.titles(1).contains(
        QStringLiteral("The music folder the library names (C:/Users/Ann/Music/iTunes/iTunes Media/) is not on this computer: "
                       "the files of 2 tracks are read from %1 beside the library file")
            .arg(dir.filePath(QStringLiteral("iTunes/iTunes Media")))));
    // Not a problem of the library: the load reports no error for it.
    EXPECT_TRUE(copied->recorder.titles(2).isEmpty());

    // A path map is the user's word on where the files are.
    const auto mapped = load(FileLocationMapper({{QStringLiteral("C:/Users/Ann/Music"), QStringLiteral("/srv/music")}}));
    EXPECT_EQ(locationOf(*mapped, 1), QStringLiteral("/srv/music/iTunes/iTunes Media/Music/A/B/01 Song.mp3"));
    EXPECT_EQ(locationOf(*mapped, 2), QStringLiteral("/srv/music/itunes/iTunes Media/Music/A/B/02.mp3"));

    // Without that folder beside the export the locations stay as named.
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("iTunes/iTunes Media"))).removeRecursively());
    const auto named = load(FileLocationMapper());
    EXPECT_EQ(locationOf(*named, 1), QStringLiteral("C:/Users/Ann/Music/iTunes/iTunes Media/Music/A/B/01 Song.mp3"));
    EXPECT_FALSE(named->recorder.titles(1).join(u'\n').contains(QStringLiteral("is not on this computer")));
}

TEST(iTunesMusicTrack, CountsPathComponentsWithTheRootAsOne)
{
    EXPECT_TRUE(iTunesMusicTrack::albumIDForLocation(QStringLiteral("/Song.mp3")).isNull());
    EXPECT_EQ(iTunesMusicTrack::albumIDForLocation(QStringLiteral("/Music/Song.mp3")), QStringLiteral("/-Music"));
    EXPECT_EQ(iTunesMusicTrack::albumIDForLocation(QStringLiteral("//a//b/c.mp3")), QStringLiteral("a-b"));
    EXPECT_TRUE(iTunesMusicTrack::albumIDForLocation(QString()).isNull());
    EXPECT_EQ(iTunesMusicTrack::pathExtension(QStringLiteral("/a/b.tar.FLAC")), QStringLiteral("FLAC"));
    EXPECT_EQ(iTunesMusicTrack::pathExtension(QStringLiteral("/a/noext")), QString());
    EXPECT_EQ(iTunesMusicTrack::pathExtension(QStringLiteral("/a.b/noext")), QString());
}

TEST(LoaderSources, TakesTheLibraryFromTheFirstLibrarySourceAndPlaylistsFromAll)
{
    MusicLibraryFixture first;
    first.addFile(QStringLiteral("A/B/one.mp3"));
    first.addPlaylist(QStringLiteral("From export"), {QStringLiteral("A/B/one.mp3")});
    MusicLibraryFixture second;
    second.addFile(QStringLiteral("C/D/two.mp3"));
    second.addPlaylist(QStringLiteral("From folder"), {QStringLiteral("C/D/two.mp3")});

    auto application = std::make_shared<MusicApplication>();
    // A device source comes first and is never looked at.
    auto deviceTracks = MusicElementList<MusicSourceTrack>::of({});
    application->addSource(std::make_shared<MusicSource>(
        QStringLiteral("Device"), MusicSource::KindDevice,
        MusicSource::Playlists{std::make_shared<MusicSourcePlaylist>(QStringLiteral("Device"), QString(), [deviceTracks] { return deviceTracks; })},
        MusicSource::Playlists{std::make_shared<MusicSourcePlaylist>(QStringLiteral("Device list"), QStringLiteral("D1"), nullptr)}));
    // A library source without a library playlist is passed over for tracks.
    application->addSource(std::make_shared<MusicSource>(QStringLiteral("Empty"), MusicSource::KindLibrary, MusicSource::Playlists{}, MusicSource::Playlists{}));
    for (const auto &source : first.open(Backend::Export)->sources().get())
        application->addSource(source);
    for (const auto &source : second.open(Backend::Folder)->sources().get())
        application->addSource(source);

    Loaded loaded(application);
    EXPECT_EQ(loaded.library->sortedTracks(), QStringList{first.persistentID(Backend::Export, QStringLiteral("A/B/one.mp3"))});
    EXPECT_EQ(loaded.playlistNames(), (QStringList{QStringLiteral("From export"), QStringLiteral("From folder")}));
}

// An application whose one source's library playlist lists members.
std::shared_ptr<MusicApplication> applicationWithLibrary(const MusicElementList<MusicSourceTrack> &members)
{
    auto application = std::make_shared<MusicApplication>();
    application->addSource(std::make_shared<MusicSource>(
        QStringLiteral("Lib"), MusicSource::KindLibrary,
        MusicSource::Playlists{std::make_shared<MusicSourcePlaylist>(QStringLiteral("Library"), QStringLiteral("L1"), [members] { return members; })},
        MusicSource::Playlists{}));
    return application;
}

TEST(LoaderSources, ASecondTrackUnderAPersistentIDAlreadyLoadedIsLeftOutAndSaidSo)
{
    MusicElementList<MusicSourceTrack>::Elements tracks;
    for (const char *path : {"/m/Artist/Album/Bj\xC3\xB6rk.mp3", "/m/Artist/Album/Bjo\xCC\x88rk.mp3", "/m/Artist/Album/other.mp3"}) {
        MusicTrackProperties properties;
        properties.persistentID = tracks.size() < 2 ? QStringLiteral("AAAA000000000001") : QStringLiteral("AAAA000000000002");
        properties.location = QString::fromUtf8(path);
        tracks.push_back(std::make_shared<ResolvedMusicTrack>(properties));
    }
    const auto members = MusicElementList<MusicSourceTrack>::of(tracks);
    Loaded loaded(applicationWithLibrary(members));
    EXPECT_EQ(loaded.library->sortedTracks(), (QStringList{QStringLiteral("AAAA000000000001"), QStringLiteral("AAAA000000000002")}));
    EXPECT_EQ(loaded.track(QStringLiteral("AAAA000000000001"))->location(), tracks[0]->properties().location);
    const QList<Notify> errors = loaded.recorder.withActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].title(), QStringLiteral("A track was left out: an earlier one has its persistent ID"));
    ASSERT_TRUE(errors[0].messages().has_value());
    EXPECT_EQ(errors[0].messages()->value(0), tracks[1]->properties().location + QStringLiteral(" (persistent ID AAAA000000000001)"));
}

TEST(LoaderSources, ResolvesEachBatchOfFiveHundredTracksWithOneRequest)
{
    MusicElementList<MusicSourceTrack>::Elements tracks;
    for (int i = 0; i < 1234; ++i) {
        MusicTrackProperties properties;
        properties.persistentID = QString::number(0xA000 + i, 16).toUpper();
        properties.location = QStringLiteral("/nonexistent/Artist/Album/%1.mp3").arg(i);
        tracks.push_back(std::make_shared<ResolvedMusicTrack>(properties));
    }
    // Every resolution of the library playlist's track list, as (start, length).
    auto requests = std::make_shared<std::vector<std::pair<qsizetype, qsizetype>>>();
    const MusicElementList<MusicSourceTrack> members(qsizetype(tracks.size()), [tracks, requests](qsizetype start, qsizetype length) {
        requests->emplace_back(start, length);
        return MusicElementList<MusicSourceTrack>::Elements(tracks.begin() + start, tracks.begin() + start + length);
    });
    Loaded loaded(applicationWithLibrary(members));
    EXPECT_EQ(loaded.library->tracks().size(), 1234);
    EXPECT_EQ(*requests, (std::vector<std::pair<qsizetype, qsizetype>>{{0, 500}, {500, 500}, {1000, 234}}));
}

TEST(LoaderSources, WithoutALibraryPlaylistOnlyPlaylistsAreLoaded)
{
    auto application = std::make_shared<MusicApplication>();
    application->addSource(std::make_shared<MusicSource>(
        QStringLiteral("Lib"), MusicSource::KindLibrary, MusicSource::Playlists{},
        MusicSource::Playlists{std::make_shared<MusicSourcePlaylist>(QStringLiteral("Only"), QStringLiteral("P1"), nullptr)}));
    Loaded loaded(application);
    EXPECT_TRUE(loaded.recorder.titles(3) == QStringList{QStringLiteral("Started Loading iTunes Playlists")});
    EXPECT_TRUE(loaded.library->tracks().isEmpty());
    EXPECT_EQ(loaded.playlistNames(), QStringList{QStringLiteral("Only")});
    // The playlist without members yields an empty list, not none.
    loaded.library->playlists().first()->getPlaylistTrackIDs();
    EXPECT_EQ(loaded.library->playlists().first()->tracks(), std::optional<QStringList>(QStringList()));
}

TEST(LoaderSources, AnUnreadableExportIsOneClearErrorAndAnEmptyLibrary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("iTunes Music Library.xml"));
    testsupport::writeFile(path, "<?xml version=\"1.0\"?><plist><dict><key>Tracks</key><dict><key>1</key><dict>");
    iTunesMusicLibrary library;
    NotifyRecorder recorder;
    library.setNotifySink(recorder.sink());
    library.setMusicSource(path);
    library.loadiTunesLibrary();
    const QList<Notify> errors = recorder.withActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].title(), QStringLiteral("Cannot read the music library"));
    ASSERT_TRUE(errors[0].messages().has_value());
    EXPECT_TRUE(errors[0].messages()->join(u'\n').contains(path)) << errors[0].messages()->join(u'\n').toStdString();
    EXPECT_TRUE(library.tracks().isEmpty());
    EXPECT_TRUE(library.playlists().isEmpty());
    EXPECT_EQ(recorder.titles(5), QStringList{QStringLiteral("Finished Loading iTunes Playlists")});
}

TEST(LoaderSources, ReportsLeftOutEntriesAndRemapsLocationsFromTheSettings)
{
    MusicLibraryFixture files;
    files.addFile(QStringLiteral("A/B/a.mp3"));
    ExportFileBuilder builder;
    builder.addTrack(1, ExportFileBuilder::track(1, QStringLiteral("AAAA000000000001"), QStringLiteral("file://localhost/C:/Users/ann/Music/A/B/a.mp3"),
                                                 QStringLiteral("a")));
    builder.addTrack(2, {{QStringLiteral("Track ID"), 2}, {QStringLiteral("Persistent ID"), QStringLiteral("../2")}});
    builder.addPlaylist(QStringLiteral("Library"), QStringLiteral("M"), {1, 2, 3}, true);
    builder.writeTo(files.exportPath());

    iTunesMusicLibrary library;
    NotifyRecorder recorder;
    library.setNotifySink(recorder.sink());
    library.setMusicSource(files.exportPath());
    library.setMusicSourcePathMap(QStringLiteral("file://localhost/C:/Users/ann/Music/=%1/").arg(files.folderPath()));
    library.loadiTunesLibrary();
    ASSERT_EQ(library.tracks().size(), 1);
    EXPECT_EQ(library.tracks().constBegin().value()->location(), files.filePath(QStringLiteral("A/B/a.mp3")));
    const QList<Notify> warnings = recorder.withActivity(2);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].title(), QStringLiteral("Some entries of the music library were left out"));
    ASSERT_TRUE(warnings[0].messages().has_value());
    EXPECT_EQ(warnings[0].messages()->size(), 3) << warnings[0].messages()->join(u'\n').toStdString();
    // A member whose track was left out says why; one naming nothing says so.
    EXPECT_TRUE(warnings[0].messages()->contains(
        QStringLiteral("Playlist \"Library\" names Track ID 2, which was left out (one of the tracks with an unusable \"Persistent ID\")")));
    EXPECT_TRUE(warnings[0].messages()->contains(
        QStringLiteral("Playlist \"Library\" names Track ID 3, which is not in \"Tracks\"")));
    EXPECT_EQ(library.iTunes()->leftOut(),
              (QMap<QString, int>{{QStringLiteral("playlist items naming a track that was not loaded"), 2},
                                  {QStringLiteral("tracks with an unusable \"Persistent ID\""), 1}}));
}

TEST(LoaderSources, AnExportWithoutPersistentIDsLoadsEveryTrack)
{
    MusicLibraryFixture files;
    ExportFileBuilder builder;
    builder.setLibraryPersistentID(QStringLiteral("0123456789ABCDEF"));
    QList<int> all;
    for (int id = 1; id <= 600; ++id) {
        const QString relative = QStringLiteral("A/B/%1.mp3").arg(id);
        files.addFile(relative);
        builder.addTrack(id, {{QStringLiteral("Track ID"), id}, {QStringLiteral("Name"), QStringLiteral("t%1").arg(id)},
                              {QStringLiteral("Location"), QUrl::fromLocalFile(files.filePath(relative)).toString()}});
        all.append(id);
    }
    builder.addPlaylist(QStringLiteral("Library"), QString(), all, true);
    builder.addPlaylist(QStringLiteral("Mix"), QString(), {600, 1});
    builder.writeTo(files.exportPath());

    iTunesMusicLibrary library;
    NotifyRecorder recorder;
    library.setNotifySink(recorder.sink());
    library.setMusicSource(files.exportPath());
    library.loadiTunesLibrary();
    EXPECT_EQ(library.tracks().size(), 600);
    EXPECT_TRUE(recorder.withActivity(2).isEmpty());
    ASSERT_EQ(library.playlists().size(), 1);
    const std::shared_ptr<Playlist> mix = library.playlists().first();
    EXPECT_EQ(mix->name(), QStringLiteral("Mix"));
    mix->getPlaylistTrackIDs();
    ASSERT_TRUE(mix->tracks().has_value());
    EXPECT_EQ(*mix->tracks(), (QStringList{library.sortedTracks().last(), library.sortedTracks().first()}));
}

TEST(LoaderSources, AnExportWhoseTracksAreAllLeftOutIsAnError)
{
    MusicLibraryFixture files;
    ExportFileBuilder builder;
    for (int id = 1; id <= 3; ++id)
        builder.addTrack(id, {{QStringLiteral("Track ID"), id}, {QStringLiteral("Persistent ID"), QStringLiteral("bad id")}});
    builder.writeTo(files.exportPath());

    iTunesMusicLibrary library;
    NotifyRecorder recorder;
    library.setNotifySink(recorder.sink());
    library.setMusicSource(files.exportPath());
    library.loadiTunesLibrary();
    EXPECT_TRUE(library.tracks().isEmpty());
    QStringList titles;
    for (const Notify &notify : recorder.withActivity(2))
        titles.append(notify.title());
    EXPECT_TRUE(titles.contains(QStringLiteral("No track of the music library could be loaded"))) << titles.join(u'|').toStdString();
    EXPECT_EQ(library.iTunes()->listedTrackCount(), 3);
}

} // namespace
