#include "itunes/ArtworkFinder.h"
#include "itunes/AudioFileTagReader.h"
#include "itunes/FolderMusicSource.h"
#include "itunes/M3uPlaylistReader.h"
#include "platform/ValueLimit.h"

#include "tests/itunes/AudioFixtures.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Expected {
    const char *file;
    const char *title;
    const char *artist;
    const char *album;
    const char *albumArtist;
    const char *composer;
    int year;
    int trackNumber;
    int trackCount;
    int discNumber;
    int discCount;
};

class AudioFileTagReaderFormats : public ::testing::TestWithParam<Expected> {};

TEST_P(AudioFileTagReaderFormats, ReadsTagsAndAudioProperties)
{
    const Expected &expected = GetParam();
    const MusicTrackProperties track = AudioFileTagReader::read(AudioFixtures::path(QString::fromLatin1(expected.file)));
    EXPECT_EQ(track.name, QString::fromUtf8(expected.title));
    EXPECT_EQ(track.artist, QString::fromUtf8(expected.artist));
    EXPECT_EQ(track.album, QString::fromUtf8(expected.album));
    EXPECT_EQ(track.albumArtist, QString::fromUtf8(expected.albumArtist));
    EXPECT_EQ(track.composer, QString::fromUtf8(expected.composer));
    EXPECT_EQ(track.year, expected.year);
    EXPECT_EQ(track.trackNumber, expected.trackNumber);
    EXPECT_EQ(track.trackCount, expected.trackCount);
    EXPECT_EQ(track.discNumber, expected.discNumber);
    EXPECT_EQ(track.discCount, expected.discCount);
    EXPECT_GT(track.duration, 0.1);
    EXPECT_LT(track.duration, 1.5);
    EXPECT_GT(track.sampleRate, 0);
    EXPECT_GT(track.size, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, AudioFileTagReaderFormats,
    ::testing::Values(
        Expected{"song.mp3", "Mp3 Song", "Mp3 Artist", "Mp3 Album", "Mp3 Album Artist", "Mp3 Composer", 2001, 3, 12, 1, 2},
        Expected{"song.m4a", "M4a Song", "M4a Artist", "M4a Album", "M4a Album Artist", "M4a Composer", 2002, 4, 10, 2, 3},
        Expected{"song.flac", "Flac Song", "Flac Artist", "Flac Album", "Flac Album Artist", "Flac Composer", 2003, 5, 9, 1, 1},
        Expected{"song.ogg", "Ogg Song", "Ogg Artist", "Ogg Album", "Ogg Album Artist", "Ogg Composer", 2004, 6, 0, 0, 0},
        // TagLib 1.13 does not see the INFO list ffmpeg writes: the name comes from the file.
        Expected{"song.wav", "song", "", "", "", "", 0, 0, 0, 0, 0}),
    [](const auto &info) { return std::string(info.param.file).substr(5); });

TEST(AudioFileTagReader, NamesAnUnreadableFileAfterItself)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Broken Song.mp3"));
    testsupport::writeFile(path, "not really audio");
    const MusicTrackProperties track = AudioFileTagReader::read(path);
    EXPECT_EQ(track.name, QStringLiteral("Broken Song"));
    EXPECT_EQ(track.location, path);
    EXPECT_EQ(track.size, 16);
    EXPECT_TRUE(track.artist.isNull());
}

// A damaged tag can hold a title of megabytes; published, the library file's
// readers would pass over its song. Such a value counts as absent.
TEST(AudioFileTagReader, ATagValueLongerThanAnyFileCanListIsTakenAsAbsent)
{
    QByteArray audio = testsupport::readFile(AudioFixtures::path(QStringLiteral("song.mp3")));
    ASSERT_TRUE(audio.startsWith("ID3"));
    const auto bytes = [](std::initializer_list<int> values) {
        QByteArray out;
        for (const int value : values)
            out.append(char(value & 0xFF));
        return out;
    };
    const auto synchsafe = [&bytes](qint64 value) {
        return bytes({int(value >> 21) & 0x7F, int(value >> 14) & 0x7F, int(value >> 7) & 0x7F, int(value) & 0x7F});
    };
    const qint64 oldTagSize = (qint64(audio[6]) << 21) | (qint64(audio[7]) << 14) | (qint64(audio[8]) << 7) | qint64(audio[9]);
    audio.remove(0, 10 + oldTagSize);
    const auto frame = [&bytes](const QByteArray &id, const QByteArray &text) -> QByteArray {
        const QByteArray body = QByteArray(1, '\0') + text;
        const int size = int(body.size());
        return id + bytes({size >> 24, size >> 16, size >> 8, size}) + QByteArray(2, '\0') + body;
    };
    const QByteArray frames = frame("TIT2", "Long " + QByteArray(ValueLimit::Bytes, 'x')) + frame("TPE1", "Artist")
                            + frame("TALB", "Album");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("01 Damaged.mp3"));
    testsupport::writeFile(path, QByteArray("ID3\x03\0\0", 6) + synchsafe(frames.size()) + frames + audio);

    const MusicTrackProperties track = AudioFileTagReader::read(path);
    EXPECT_EQ(track.name, QStringLiteral("01 Damaged"));
    EXPECT_EQ(track.artist, QStringLiteral("Artist"));
    EXPECT_EQ(track.album, QStringLiteral("Album"));
}

TEST(AudioFileTagReader, ADamagedStreamNeverGivesANegativeDurationOrRate)
{
    // Found by the tag reader's fuzz target: an Ogg stream whose length
    // TagLib computes as negative.
    const MusicTrackProperties track = AudioFileTagReader::read(AudioFixtures::path(QStringLiteral("negative-length.ogg")));
    EXPECT_GE(track.duration, 0.0);
    EXPECT_GE(track.bitRate, 0);
    EXPECT_GE(track.sampleRate, 0);
}

TEST(ArtworkFinder, FindsEmbeddedCoversInEveryFormatThatHasThem)
{
    for (const char *file : {"song.mp3", "song.m4a", "song.flac"}) {
        const QList<QByteArray> pictures = ArtworkFinder::embeddedPictures(AudioFixtures::path(QString::fromLatin1(file)));
        ASSERT_EQ(pictures.size(), 1) << file;
        EXPECT_EQ(pictures.front(), testsupport::readFile(AudioFixtures::path(QStringLiteral("cover-red.jpg")))) << file;
    }
    EXPECT_TRUE(ArtworkFinder::embeddedPictures(AudioFixtures::path(QStringLiteral("song.ogg"))).isEmpty());
}

TEST(ArtworkFinder, FallsBackToSideFilesInAFixedOrderWhateverTheirCase)
{
    QTemporaryDir dir;
    AudioFixtures::copy(QStringLiteral("song.ogg"), dir.filePath(QStringLiteral("a/song.ogg")));
    testsupport::writeFile(dir.filePath(QStringLiteral("a/Front.PNG")), "front");
    testsupport::writeFile(dir.filePath(QStringLiteral("a/FOLDER.jpg")), "folder");
    testsupport::writeFile(dir.filePath(QStringLiteral("a/notes.jpg")), "other");
    const auto artworks = ArtworkFinder::artworksForFile(dir.filePath(QStringLiteral("a/song.ogg")));
    ASSERT_EQ(artworks.size(), 2u);
    EXPECT_EQ(artworks[0]->rawData(), QByteArray("folder"));
    EXPECT_EQ(artworks[1]->rawData(), QByteArray("front"));

    // Embedded pictures win over side files.
    AudioFixtures::copy(QStringLiteral("song.mp3"), dir.filePath(QStringLiteral("a/song.mp3")));
    EXPECT_EQ(ArtworkFinder::artworksForFile(dir.filePath(QStringLiteral("a/song.mp3"))).size(), 1u);
}

TEST(FolderMusicSource, PersistentIDsAreStableSixteenHexDigits)
{
    const QString id = FolderMusicSource::persistentIDForPath(QStringLiteral("Artist/Album/01 Song.mp3"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(id).hasMatch()) << id.toStdString();
    EXPECT_EQ(id, FolderMusicSource::persistentIDForPath(QStringLiteral("Artist/Album/01 Song.mp3")));
    EXPECT_NE(id, FolderMusicSource::persistentIDForPath(QStringLiteral("Artist/Album/02 Song.mp3")));
    // Composed and decomposed spellings of a name are one file.
    EXPECT_EQ(FolderMusicSource::persistentIDForPath(QStringLiteral("Bj\u00f6rk/a.mp3")),
              FolderMusicSource::persistentIDForPath(QStringLiteral("Bjo\u0308rk/a.mp3")));
}

class FolderMusicSourceScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        AudioFixtures::copy(QStringLiteral("song.mp3"), file(QStringLiteral("B Artist/B Album/02 b.mp3")));
        AudioFixtures::copy(QStringLiteral("song.flac"), file(QStringLiteral("A Artist/A Album/01 a.FLAC")));
        AudioFixtures::copy(QStringLiteral("song.ogg"), file(QStringLiteral("B Artist/B Album/01 a.ogg")));
        testsupport::writeFile(file(QStringLiteral("B Artist/B Album/clip.mov")), "movie");
        testsupport::writeFile(file(QStringLiteral("B Artist/B Album/cover.jpg")), "cover");
        testsupport::writeFile(file(QStringLiteral("notes.txt")), "text");
        testsupport::writeFile(file(QStringLiteral(".hidden.mp3")), "hidden");
        testsupport::writeFile(file(QStringLiteral("Lists/Road Trip.m3u8")),
                               "\xEF\xBB\xBF#EXTM3U\n#EXTINF:1,b\n../B Artist/B Album/02 b.mp3\r\n\n"
                               "  ../A Artist/A Album/01 a.FLAC  \nmissing.mp3\nhttp://example.invalid/x.mp3\n"
                               "../B Artist/B Album/clip.mov\n");
        testsupport::writeFile(file(QStringLiteral("Mixed.m3u")), "B Artist\\B Album\\01 a.ogg\n" + file(QStringLiteral("B Artist/B Album/02 b.mp3")).toUtf8() + "\n");
    }
    QString file(const QString &relative) const { return root.filePath(relative); }
    // The library's track files, relative to the folder, in library order.
    QStringList locations(MusicSource &source) const
    {
        QStringList relative;
        for (const auto &track : source.libraryPlaylists().get().front()->tracks().get())
            relative.append(QDir(root.path()).relativeFilePath(track->properties().location));
        return relative;
    }
    QStringList locations(const MusicApplication &application) const { return locations(*application.sources().get().front()); }
    // A playlist's tracks, by persistent ID.
    static QStringList members(MusicSourcePlaylist &playlist)
    {
        QStringList ids;
        for (const auto &track : playlist.tracks().get())
            ids.append(track->persistentID());
        return ids;
    }
    // The road trip's tracks, in its order.
    static QStringList roadTripIds()
    {
        return {FolderMusicSource::persistentIDForPath(QStringLiteral("B Artist/B Album/02 b.mp3")),
                FolderMusicSource::persistentIDForPath(QStringLiteral("A Artist/A Album/01 a.FLAC")),
                FolderMusicSource::persistentIDForPath(QStringLiteral("B Artist/B Album/clip.mov"))};
    }

    QTemporaryDir root;
};

TEST_F(FolderMusicSourceScan, ListsMediaFilesInSortedOrderAndReadsTagsWhenResolved)
{
    const auto source = FolderMusicSource::scan(root.path());
    EXPECT_EQ(source->kind(), MusicSource::KindLibrary);
    const auto libraries = source->libraryPlaylists().get();
    ASSERT_EQ(libraries.size(), 1u);
    const auto tracks = libraries.front()->tracks();
    ASSERT_EQ(tracks.count(), 4);
    const auto resolved = tracks.get();
    QStringList locations;
    for (const auto &track : resolved)
        locations.append(QDir(root.path()).relativeFilePath(track->properties().location));
    EXPECT_EQ(locations, (QStringList{QStringLiteral("A Artist/A Album/01 a.FLAC"), QStringLiteral("B Artist/B Album/01 a.ogg"),
                                      QStringLiteral("B Artist/B Album/02 b.mp3"), QStringLiteral("B Artist/B Album/clip.mov")}));
    EXPECT_EQ(resolved[0]->properties().name, QStringLiteral("Flac Song"));
    EXPECT_EQ(resolved[0]->persistentID(), FolderMusicSource::persistentIDForPath(QStringLiteral("A Artist/A Album/01 a.FLAC")));
    EXPECT_EQ(resolved[3]->properties().name, QStringLiteral("clip"));
    EXPECT_EQ(resolved[1]->artworks().count(), 1); // cover.jpg beside it
    EXPECT_EQ(resolved[2]->artworks().count(), 1); // embedded

    // A second scan gives the same IDs.
    const auto again = FolderMusicSource::scan(root.path())->libraryPlaylists().get().front()->tracks().get();
    for (size_t i = 0; i < resolved.size(); ++i)
        EXPECT_EQ(again[i]->persistentID(), resolved[i]->persistentID());
}

TEST_F(FolderMusicSourceScan, PlaylistFilesAreUserPlaylistsOfLibraryTracks)
{
    const auto source = FolderMusicSource::scan(root.path());
    const auto playlists = source->userPlaylists().get();
    ASSERT_EQ(playlists.size(), 2u);
    EXPECT_EQ(playlists[0]->name(), QStringLiteral("Road Trip"));
    EXPECT_EQ(playlists[0]->persistentID(), FolderMusicSource::persistentIDForPath(QStringLiteral("Lists/Road Trip.m3u8")));
    EXPECT_EQ(members(*playlists[0]), roadTripIds());
    EXPECT_EQ(playlists[1]->name(), QStringLiteral("Mixed"));
    EXPECT_EQ(playlists[1]->tracks().count(), 2); // backslashes and an absolute path

    // Members are read again each time: an edited playlist shows at once.
    testsupport::writeFile(file(QStringLiteral("Mixed.m3u")), "# nothing left\n");
    EXPECT_EQ(playlists[1]->tracks().count(), 0);
}

// A playlist written on another computer names that computer's paths; the
// folder copied here holds the same files below another root.
TEST_F(FolderMusicSourceScan, PlaylistEntriesOfAnotherComputerNameTheTrackAtTheSamePathWithinTheFolder)
{
    testsupport::writeFile(file(QStringLiteral("From Windows.m3u")),
                           "C:\\Users\\Ann\\Music\\B Artist\\B Album\\02 b.mp3\r\n"
                           "D:\\Old\\a artist\\a album\\01 A.flac\r\n"
                           "/home/old/Music/B Artist/B Album/clip.mov\n"
                           // Only a whole path within the folder counts, and a file name alone never.
                           "/home/old/Music/Other/B Album/01 a.ogg\n"
                           "C:\\Music\\01 a.ogg\n");
    MusicApplication application;
    ASSERT_TRUE(FolderMusicSource::open(root.path(), application));
    const auto playlists = application.sources().get().front()->userPlaylists().get();
    ASSERT_EQ(playlists.size(), 3u);
    ASSERT_EQ(playlists[0]->name(), QStringLiteral("From Windows"));
    EXPECT_EQ(members(*playlists[0]), roadTripIds());
    EXPECT_TRUE(application.warnings().contains(
        QStringLiteral("Playlist From Windows.m3u names 2 files that are not audio files of the music folder (the first: "
                       "/home/old/Music/Other/B Album/01 a.ogg), left out")))
        << application.warnings().join(u'\n').toStdString();
}

// Old collections carry names in Latin-1 and the like. Such a file cannot be
// opened again through its name as text: it is left out and said so, not
// passed over unseen.
TEST_F(FolderMusicSourceScan, FilesNamedInAnotherEncodingAreReportedAndOnlyRealFilesAreTracks)
{
    const QByteArray folder = QFile::encodeName(root.path());
    const auto createRaw = [](const QByteArray &path) {
        const int descriptor = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        return descriptor >= 0 && ::close(descriptor) == 0;
    };
    ASSERT_EQ(::mkdir(QByteArray(folder + "/Bj\xF6rk").constData(), 0700), 0);
    ASSERT_TRUE(createRaw(folder + "/Bj\xF6rk/01 a.mp3"));
    ASSERT_TRUE(createRaw(folder + "/B Artist/B Album/03 caf\xE9.mp3"));
    // QTemporaryDir removes by text names, which cannot name these.
    const auto removeRaw = qScopeGuard([folder] {
        ::unlink(QByteArray(folder + "/B Artist/B Album/03 caf\xE9.mp3").constData());
        ::unlink(QByteArray(folder + "/Bj\xF6rk/01 a.mp3").constData());
        ::rmdir(QByteArray(folder + "/Bj\xF6rk").constData());
    });
    testsupport::writeFile(file(QStringLiteral(".Trash/old.mp3")), "hidden folder");
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(file(QStringLiteral("zero.mp3"))).constData()), 0);
    ASSERT_EQ(::symlink("B Artist/B Album/02 b.mp3", QFile::encodeName(file(QStringLiteral("link.mp3"))).constData()), 0);
    ASSERT_EQ(::symlink("B Artist", QFile::encodeName(file(QStringLiteral("Linked Folder"))).constData()), 0);

    MusicApplication application;
    ASSERT_TRUE(FolderMusicSource::open(root.path(), application));
    EXPECT_EQ(locations(application), (QStringList{QStringLiteral("A Artist/A Album/01 a.FLAC"), QStringLiteral("B Artist/B Album/01 a.ogg"),
                                      QStringLiteral("B Artist/B Album/02 b.mp3"), QStringLiteral("B Artist/B Album/clip.mov"),
                                      QStringLiteral("link.mp3")}));
    // So are the playlist entries that name no track of the folder.
    EXPECT_EQ(application.warnings(),
              (QStringList{QStringLiteral("B Artist/B Album/03 caf\\xE9.mp3 has a name that is not UTF-8, left out: rename it"),
                           QStringLiteral("Bj\\xF6rk/01 a.mp3 has a name that is not UTF-8, left out: rename it"),
                           QStringLiteral("Playlist Lists/Road Trip.m3u8 names a file that is not an audio file of the music "
                                          "folder (%1), left out").arg(file(QStringLiteral("Lists/missing.mp3")))}));
    EXPECT_EQ(application.leftOut(), (QMap<QString, int>{{QStringLiteral("files whose names are not UTF-8"), 2}}));
    // The empty-library checks count them among the tracks the folder holds.
    EXPECT_EQ(application.listedTrackCount(), 7);
}

// A folder that cannot be listed, or tracks behind a link into a disk that
// is not mounted, would drop from the server's library unsaid. A folder
// nested past the system's path limit cannot be opened by anyone, root
// included.
TEST_F(FolderMusicSourceScan, FoldersLinksAndTracksThatCannotBeReadAreLeftOutWithAWarning)
{
    const std::string component(200, 'd');
    std::vector<int> chain{::open(QFile::encodeName(root.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    // Nor can QTemporaryDir remove it.
    const auto removeChain = qScopeGuard([&] {
        ::unlinkat(chain.back(), "deep.mp3", 0);
        for (size_t level = chain.size() - 1; level > 0; --level) {
            ::close(chain[level]);
            ::unlinkat(chain[level - 1], component.c_str(), AT_REMOVEDIR);
        }
        ::close(chain.front());
    });
    for (int level = 0; level < 22 && chain.back() >= 0; ++level) {
        ASSERT_EQ(::mkdirat(chain.back(), component.c_str(), 0700), 0);
        chain.push_back(::openat(chain.back(), component.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    ASSERT_GE(chain.back(), 0);
    const int track = ::openat(chain.back(), "deep.mp3", O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(track, 0);
    ::close(track);
    const auto link = [this](const char *target, const QString &name) {
        return ::symlink(target, QFile::encodeName(file(name)).constData()) == 0;
    };
    ASSERT_TRUE(link("/media/unmounted/Song.mp3", QStringLiteral("B Artist/Elsewhere.mp3")));
    ASSERT_TRUE(link("/media/unmounted/Music", QStringLiteral("External")));
    ASSERT_TRUE(link("Itself.mp3", QStringLiteral("Itself.mp3")));
    ASSERT_TRUE(link("/media/unmounted/cover.jpg", QStringLiteral("B Artist/B Album/Folder.jpg")));

    MusicApplication application;
    ASSERT_TRUE(FolderMusicSource::open(root.path(), application));
    // The deepest folder the walk could still open is the last under the
    // limit; the one below it is set apart. A stray picture is not said.
    const QStringList &warnings = application.warnings();
    ASSERT_EQ(warnings.size(), 5) << warnings.join(u'\n').first(2000).toStdString();
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("The folder ") + QString::fromStdString(component) + u'/'));
    EXPECT_TRUE(warnings[0].endsWith(QStringLiteral(" cannot be read (File name too long), what it holds is left out")));
    EXPECT_EQ(warnings.mid(1, 3),
              (QStringList{QStringLiteral("Itself.mp3 cannot be read (Too many levels of symbolic links), left out"),
                           QStringLiteral("B Artist/Elsewhere.mp3 is a link to /media/unmounted/Song.mp3, which cannot be found, left out"),
                           QStringLiteral("External is a link to /media/unmounted/Music, which cannot be found, left out")}));
    EXPECT_TRUE(warnings[4].startsWith(QStringLiteral("Playlist Lists/Road Trip.m3u8 names a file"))) << warnings[4].toStdString();
    EXPECT_EQ(application.leftOut(), (QMap<QString, int>{{QStringLiteral("folders that cannot be read"), 1},
                                                         {QStringLiteral("files that cannot be read"), 1},
                                                         {QStringLiteral("links that lead nowhere"), 2}}));
    // The tracks that could be read are all there; the two media links
    // count among the tracks the folder holds.
    EXPECT_EQ(application.sources().get().front()->libraryPlaylists().get().front()->tracks().count(), 4);
    EXPECT_EQ(application.listedTrackCount(), 6);
}

// A disk of linked albums that is not mounted: a screenful of lines, not
// one per album.
TEST_F(FolderMusicSourceScan, LeftOutEntriesOfAKindAreNamedUpToTwenty)
{
    for (int album = 1; album <= 25; ++album) {
        const QString name = QStringLiteral("Album %1").arg(album, 2, 10, QChar(u'0'));
        ASSERT_EQ(::symlink(QFile::encodeName(QStringLiteral("/media/gone/") + name).constData(), QFile::encodeName(file(name)).constData()), 0);
    }
    MusicApplication application;
    ASSERT_TRUE(FolderMusicSource::open(root.path(), application));
    const QStringList links = application.warnings().filter(QStringLiteral("is a link to"));
    ASSERT_EQ(links.size(), 20);
    EXPECT_EQ(links.front(), QStringLiteral("Album 01 is a link to /media/gone/Album 01, which cannot be found, left out"));
    EXPECT_TRUE(application.warnings().contains(QStringLiteral("... and 5 more links that lead nowhere")));
    EXPECT_EQ(application.leftOut().value(QStringLiteral("links that lead nowhere")), 25);
}

// A share mounted inside the music folder: read as music, its copies would
// go back onto it as new tracks on every run.
TEST_F(FolderMusicSourceScan, AMusicServersShareAndSystemFoldersInsideTheFolderAreNotRead)
{
    AudioFixtures::copy(QStringLiteral("song.mp3"), file(QStringLiteral("Server/Music/B Artist/B Album/02 b.mp3")));
    testsupport::writeFile(file(QStringLiteral("Server/Library/HOME.xml")), "<Library/>");
    testsupport::writeFile(file(QStringLiteral("Server/Artwork/Artwork.xml")), "<Artwork/>");
    // Nor are a disk's system folders, which the user often cannot read.
    AudioFixtures::copy(QStringLiteral("song.mp3"), file(QStringLiteral("lost+found/#1234.mp3")));
    AudioFixtures::copy(QStringLiteral("song.mp3"), file(QStringLiteral("$RECYCLE.BIN/S-1-5-21/old.mp3")));
    // The same three names without an artwork file are an artist's folders.
    AudioFixtures::copy(QStringLiteral("song.mp3"), file(QStringLiteral("Band/Music/Live/01 a.mp3")));
    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("Band/Library"))));
    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("Band/Artwork"))));

    MusicApplication application;
    ASSERT_TRUE(FolderMusicSource::open(root.path(), application));
    EXPECT_EQ(locations(application), (QStringList{QStringLiteral("A Artist/A Album/01 a.FLAC"), QStringLiteral("B Artist/B Album/01 a.ogg"),
                                      QStringLiteral("B Artist/B Album/02 b.mp3"), QStringLiteral("B Artist/B Album/clip.mov"),
                                      QStringLiteral("Band/Music/Live/01 a.mp3")}));
    EXPECT_EQ(application.notes(), QStringList{QStringLiteral("The folder Server is a music server's share (it holds Music, Library "
                                                              "and Artwork), not music to sync: not read")});
    // Nothing of the user's music is left out for it.
    EXPECT_TRUE(application.leftOut().isEmpty());
}

// A music collection kept on another disk is often linked into the music
// folder. Its tracks are listed under the link's path; a link back into
// the tree (or above it), or around a linked folder entered before, lists
// nothing twice and does not loop.
TEST_F(FolderMusicSourceScan, LinkedFoldersAreEnteredOnceAfterTheTreeItself)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    AudioFixtures::copy(QStringLiteral("song.mp3"), elsewhere.filePath(QStringLiteral("X Artist/X Album/01 x.mp3")));
    const auto link = [this](const QString &target, const QString &name) {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(file(name)).constData()) == 0;
    };
    ASSERT_TRUE(link(elsewhere.filePath(QStringLiteral("X Artist")), QStringLiteral("A Artist/External")));
    ASSERT_TRUE(link(root.path(), QStringLiteral("B Artist/B Album/Everything")));
    ASSERT_TRUE(link(QStringLiteral("../B Album"), QStringLiteral("B Artist/B Album/Again")));
    // Entered after the link to its subfolder, it lists what that listed no more.
    ASSERT_TRUE(link(elsewhere.path(), QStringLiteral("Also External")));

    const auto source = FolderMusicSource::scan(root.path());
    EXPECT_EQ(locations(*source), (QStringList{QStringLiteral("A Artist/A Album/01 a.FLAC"), QStringLiteral("A Artist/External/X Album/01 x.mp3"),
                                      QStringLiteral("B Artist/B Album/01 a.ogg"), QStringLiteral("B Artist/B Album/02 b.mp3"),
                                      QStringLiteral("B Artist/B Album/clip.mov")}));
    // Listed under the path through the link, the track reads as any other.
    EXPECT_EQ(source->libraryPlaylists().get().front()->tracks().get()[1]->properties().artist, QStringLiteral("Mp3 Artist"));
}

TEST(FolderMusicSource, AMissingFolderIsAnOpenError)
{
    MusicApplication application;
    EXPECT_FALSE(FolderMusicSource::open(QStringLiteral("/nonexistent/music"), application));
    EXPECT_FALSE(application.openError().isNull());
    EXPECT_EQ(application.sources().count(), 0);
}

TEST(M3uPlaylistReader, ReadsUtf8Utf16OrElseLatin1)
{
    EXPECT_EQ(M3uPlaylistReader::entries("caf\xe9.mp3\n"), QStringList{QStringLiteral("caf\u00e9.mp3")});
    EXPECT_EQ(M3uPlaylistReader::entries("caf\xc3\xa9.mp3\n"), QStringList{QStringLiteral("caf\u00e9.mp3")});
    // UTF-16 after its byte order mark, in either byte order.
    const QString utf16Text = QStringLiteral("#EXTM3U\r\ncaf\u00e9.mp3\r\n\u266b.mp3\r\n");
    QByteArray little("\xFF\xFE");
    QByteArray big("\xFE\xFF");
    for (const QChar character : utf16Text) {
        little += char(character.unicode() & 0xFF);
        little += char(character.unicode() >> 8);
        big += char(character.unicode() >> 8);
        big += char(character.unicode() & 0xFF);
    }
    for (const QByteArray &bytes : {little, big})
        EXPECT_EQ(M3uPlaylistReader::entries(bytes), (QStringList{QStringLiteral("caf\u00e9.mp3"), QStringLiteral("\u266b.mp3")}));
    EXPECT_EQ(M3uPlaylistReader::resolve(QStringLiteral("file:///x/y%20z.mp3"), QStringLiteral("/p")), QStringLiteral("/x/y z.mp3"));
    EXPECT_EQ(M3uPlaylistReader::resolve(QStringLiteral("../a/./b.mp3"), QStringLiteral("/p/q")), QStringLiteral("/p/a/b.mp3"));
    EXPECT_TRUE(M3uPlaylistReader::resolve(QStringLiteral("https://example.invalid/a.mp3"), QStringLiteral("/p")).isNull());
}

} // namespace
