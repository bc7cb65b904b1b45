#include "itunes/iTunesMusicLibrary.h"

#include "tests/itunes/MusicLibraryFixture.h"
#include "tests/itunes/NotifyRecorder.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using Backend = MusicLibraryFixture::Backend;

// The whole run the application makes: load the library on a thread of its
// own, then the engine's four stages on another, a temporary folder standing
// for the mounted share.
class EngineSyncOverSource : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(share.isValid());
        files.addFile(QStringLiteral("Alpha/First/01 one.mp3"), QStringLiteral("song.mp3"));
        files.addFile(QStringLiteral("Alpha/First/02 two.flac"), QStringLiteral("song.flac"));
        files.addFile(QStringLiteral("Alpha/First/03 locked.m4p"));
        files.addFile(QStringLiteral("Beta/Second/01 three.ogg"), QStringLiteral("song.ogg"));
        files.addFile(QStringLiteral("Beta/Second/02 clip.mov"));
        files.addFile(QStringLiteral("Gamma/Third/01 four.m4a"), QStringLiteral("song.m4a"));
        files.addFile(QStringLiteral("Gamma/Third/cover.png"), QString(), "not an image");
        files.addPlaylist(QStringLiteral("Evening"), {QStringLiteral("Gamma/Third/01 four.m4a"), QStringLiteral("Alpha/First/01 one.mp3")});

        library.setNotifySink(recorder.sink());
        library.sharePaths() = SharePaths{.xmlTracksPath = share.filePath(QStringLiteral("Library/LIB-1.xml")),
                                          .xmlAlbumCoverPath = share.filePath(QStringLiteral("Artwork/Artwork.xml")),
                                          .cpyBasePath = share.filePath(QStringLiteral("Music")),
                                          .albumCoverBasePath = share.filePath(QStringLiteral("Artwork")),
                                          .serverSharePath = QStringLiteral("\\\\127.0.0.1\\OrvanaMusic")};
        library.setSyncCompleteMusicLibrary(true);
        library.setSyncVersion(QStringLiteral("1.0"));
        QDir().mkpath(share.filePath(QStringLiteral("Library")));
        QDir().mkpath(share.filePath(QStringLiteral("Artwork")));
        QDir().mkpath(share.filePath(QStringLiteral("Music")));
    }

    void onThread(const std::function<void()> &work)
    {
        QEventLoop loop;
        QThread *thread = QThread::create(work);
        QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
        thread->start();
        loop.exec();
        thread->wait();
        delete thread;
    }

    void runStages()
    {
        onThread([this] {
            library.syncTracks(library.sharePaths().xmlTracksPath);
            library.writeXMLTracks(QStringLiteral("LIB-1"), QStringLiteral("Home"));
            library.syncAlbumCovers(library.sharePaths().xmlAlbumCoverPath);
            library.writeXMLAlbumCovers();
        });
    }

    QString id(const QString &relative) const { return files.persistentID(GetParam(), relative); }

    MusicLibraryFixture files;
    QTemporaryDir share;
    iTunesMusicLibrary library;
    NotifyRecorder recorder;
};

INSTANTIATE_TEST_SUITE_P(Backends, EngineSyncOverSource, ::testing::Values(Backend::Export, Backend::Folder),
                         [](const auto &info) { return std::string(MusicLibraryFixture::name(info.param)); });

TEST_P(EngineSyncOverSource, CopiesTracksExportsCoversAndWritesBothFiles)
{
    library.setITunes(files.open(GetParam()));
    onThread([this] { library.loadiTunesLibrary(); });
    ASSERT_EQ(library.tracks().size(), 5);
    for (const auto &playlist : library.playlists())
        playlist->setIsSelected(true);
    runStages();

    EXPECT_TRUE(recorder.withActivity(2).isEmpty()) << recorder.withActivity(2).first().title().toStdString();
    for (const char *relative : {"Alpha/First/01 one.mp3", "Alpha/First/02 two.flac", "Beta/Second/01 three.ogg", "Gamma/Third/01 four.m4a"}) {
        const QString copy = share.filePath(QStringLiteral("Music/") + QString::fromLatin1(relative));
        ASSERT_TRUE(QFile::exists(copy)) << relative;
        EXPECT_EQ(testsupport::readFile(copy), testsupport::readFile(files.filePath(QString::fromLatin1(relative)))) << relative;
    }
    EXPECT_FALSE(QFile::exists(share.filePath(QStringLiteral("Music/Alpha/First/03 locked.m4p"))));
    EXPECT_FALSE(QFile::exists(share.filePath(QStringLiteral("Music/Beta/Second/02 clip.mov"))));
    EXPECT_EQ(library.counters().numTracksCopied, 4);
    EXPECT_EQ(library.counters().numSkippedDRMTracks, 1);
    EXPECT_EQ(library.counters().numTracksCopyFailure, 0);

    const QByteArray libraryFile = testsupport::readFile(library.sharePaths().xmlTracksPath);
    for (const char *relative : {"Alpha/First/01 one.mp3", "Alpha/First/02 two.flac", "Beta/Second/01 three.ogg", "Gamma/Third/01 four.m4a"})
        EXPECT_TRUE(libraryFile.contains(QByteArray(" ID=\"" + id(QString::fromLatin1(relative)).toUtf8() + "\""))) << relative;
    EXPECT_FALSE(libraryFile.contains(id(QStringLiteral("Alpha/First/03 locked.m4p")).toUtf8()));
    EXPECT_TRUE(libraryFile.contains("Name=\"Evening\""));
    EXPECT_TRUE(libraryFile.contains(QByteArray("<Track ID=\"" + id(QStringLiteral("Gamma/Third/01 four.m4a")).toUtf8() + "\" />\r\n\t\t\t<Track ID=\""
                                                + id(QStringLiteral("Alpha/First/01 one.mp3")).toUtf8() + "\" />")));

    // Alpha-First has an embedded cover; Beta-Second has none; Gamma-Third's
    // embedded cover is taken before its broken side file.
    EXPECT_EQ(library.counters().numAlbumCoversCopied, 2);
    EXPECT_EQ(library.counters().numAlbumCoversMissing, 1);
    const QString firstCover = share.filePath(QStringLiteral("Artwork/") + id(QStringLiteral("Alpha/First/01 one.mp3")) + QStringLiteral(".jpg"));
    EXPECT_FALSE(QImage(firstCover).isNull());
    const QByteArray artworkFile = testsupport::readFile(library.sharePaths().xmlAlbumCoverPath);
    EXPECT_TRUE(artworkFile.contains("AlbumID=\"Alpha-First\"")) << artworkFile.constData();
    EXPECT_TRUE(artworkFile.contains("AlbumID=\"Gamma-Third\"")) << artworkFile.constData();
    EXPECT_FALSE(artworkFile.contains("AlbumID=\"Beta-Second\"")) << artworkFile.constData();
}

// A library exported where names ignore case and were spelled decomposed,
// over files that were named composed, in other letters, when copied here.
TEST_P(EngineSyncOverSource, NamesSpelledAsAnotherSystemSawThemStillFindTheirFilesAndCovers)
{
    const QString accented = QStringLiteral("Bj\u00F6rk/D\u00E9but/01 Caf\u00E9.mp3");
    files.addFile(accented, QStringLiteral("song.mp3"));
    files.addPlaylist(QStringLiteral("Caf\u00E9"), {accented});
    // ".../Björk/Début/01 Café.mp3" listed as ".../Björk/DÉBUT/01 CAFÉ.MP3", decomposed.
    files.spellListedNames([](const QString &path) {
        const qsizetype album = path.lastIndexOf(u'/', path.lastIndexOf(u'/') - 1);
        return QString(path.left(album) + path.mid(album).toUpper()).normalized(QString::NormalizationForm_D);
    });
    library.setITunes(files.open(GetParam()));
    onThread([this] { library.loadiTunesLibrary(); });
    ASSERT_EQ(library.tracks().size(), 6);
    for (const auto &playlist : library.playlists())
        playlist->setIsSelected(true);
    runStages();

    EXPECT_TRUE(recorder.withActivity(2).isEmpty()) << recorder.withActivity(2).first().title().toStdString();
    EXPECT_EQ(library.counters().numTracksCopied, 5);
    EXPECT_EQ(library.counters().numTracksCopyFailure, 0);
    EXPECT_EQ(library.counters().numAlbumCoversCopied, 3);
    const QByteArray libraryFile = testsupport::readFile(library.sharePaths().xmlTracksPath);
    EXPECT_TRUE(libraryFile.contains(QByteArray("<Track ID=\"" + id(accented).toUtf8() + "\" />"))) << libraryFile.constData();
}

TEST_P(EngineSyncOverSource, ASecondRunOverAFreshLoadCopiesNothingAgain)
{
    library.setITunes(files.open(GetParam()));
    onThread([this] { library.loadiTunesLibrary(); });
    runStages();
    ASSERT_EQ(library.counters().numTracksCopied, 4);

    // The next launch loads the source anew and finds everything on the share.
    iTunesMusicLibrary next;
    next.sharePaths() = library.sharePaths();
    next.setSyncCompleteMusicLibrary(true);
    next.setITunes(files.open(GetParam()));
    next.loadiTunesLibrary();
    next.syncTracks(next.sharePaths().xmlTracksPath);
    EXPECT_EQ(next.counters().numTracksUnchanged, 4);
    next.writeXMLTracks(QStringLiteral("LIB-1"), QStringLiteral("Home"));
    EXPECT_EQ(next.counters().numTracksCopied, 0);
    next.syncAlbumCovers(next.sharePaths().xmlAlbumCoverPath);
    EXPECT_EQ(next.counters().numAlbumCoversUnchanged, 2);
}

} // namespace
