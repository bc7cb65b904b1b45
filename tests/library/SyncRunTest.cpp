#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

// A small library as the loader leaves it, a share holding the files of an
// earlier run (T2 and cover A-B), and the four stages run on a worker thread
// while the recorder lives on the main thread, as in the application.
class SyncRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        library.setNotifySink(recorder.sink());
        addTrack("T1", "A/B/1.mp3", "One", "Album B", QString());
        addTrack("T2", "A/B/2.mp3", "Two", "Album B", QStringLiteral("Artist A"));
        addTrack("T3", "A/B/3.m4p", "Three", "Album B", QStringLiteral("Artist A"))->setDRMProtected(true);
        addTrack("T4", "C/D/4.mp3", "Four", "Album D", QStringLiteral("Artist C"));
        library.albumCovers().insert(QStringLiteral("A-B"), std::make_shared<FakeAlbumCover>(QStringLiteral("T1")));
        library.albumCovers().insert(QStringLiteral("C-D"), std::make_shared<FakeAlbumCover>(QStringLiteral("T4")));
        mix = std::make_shared<FakePlaylist>(QStringLiteral("P1"), QStringLiteral("Mix"),
                                             QStringList{QStringLiteral("T4"), QStringLiteral("T1")});
        library.playlists().insert(QStringLiteral("P1"), mix);
        library.playlists().insert(QStringLiteral("P2"), std::make_shared<FakePlaylist>(
            QStringLiteral("P2"), QStringLiteral("Library"), QStringList{QStringLiteral("T2")}));
        library.playlists().insert(QStringLiteral("P3"), std::make_shared<FakePlaylist>(
            QStringLiteral("P3"), QStringLiteral("Other"), QStringList{QStringLiteral("T2")}, false));

        writeBytes(share.tracksFile(), "<Library ID=\"LIB-ID\"><Songs><Song ID=\"T2\"></Song><Song ID=\"gone\"></Song>"
                                       "</Songs></Library>\r\n");
        writeBytes(share.musicFolder() + QStringLiteral("/A/B/2.mp3"), "already there");
        writeBytes(share.artworkFile(), "<Library><AlbumCovers><AlbumCover AlbumID=\"A-B\" Path=\"\\\\old\\T1.jpg\"/>"
                                        "</AlbumCovers></Library>");
    }

    std::shared_ptr<Track> addTrack(const char *id, const char *relative, const char *title, const char *album,
                                    const QString &artists)
    {
        const QString key = QString::fromLatin1(id);
        auto track = makeTrack(key, share.sourceFile(QString::fromLatin1(relative)));
        track->setTitle(QString::fromLatin1(title));
        track->setAlbum(QString::fromLatin1(album));
        track->setArtists(artists);
        track->setAlbumID(QString::fromLatin1(relative).section(u'/', 0, 0) + u'-'
                          + QString::fromLatin1(relative).section(u'/', 1, 1));
        library.tracks().insert(key, track);
        library.sortedTracks().append(key);
        return track;
    }

    void runStages()
    {
        QEventLoop loop;
        QThread *worker = QThread::create([this] {
            library.syncTracks(library.sharePaths().xmlTracksPath);
            library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home"));
            library.syncAlbumCovers(library.sharePaths().xmlAlbumCoverPath);
            library.writeXMLAlbumCovers();
        });
        QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
        worker->start();
        loop.exec();
        worker->wait();
        delete worker;
        for (QThread *thread : std::as_const(recorder.threads))
            EXPECT_EQ(thread, QCoreApplication::instance()->thread());
    }

    QString copying(const char *relative) const
    {
        return QStringLiteral("1|Copying: %1/%2|-|0/0").arg(share.musicFolder(), QString::fromLatin1(relative));
    }

    ShareFixture share;
    MusicLibrary library;
    NotifyRecorder recorder;
    std::shared_ptr<FakePlaylist> mix;
};

} // namespace

TEST_F(SyncRun, WholeLibrary)
{
    share.configure(library, true);
    runStages();
    EXPECT_EQ(recorder.lines(),
              (QStringList{QStringLiteral("6|Synchronizing Music Tracks|-|0/0"),
                           QStringLiteral("11|Finished Synchronizing Music Tracks|-|0/0"),
                           QStringLiteral("7|-|One;Album B;|0/4"), copying("A/B/1.mp3"),
                           QStringLiteral("7|-|Two;Album B;Artist A|1/4"),
                           QStringLiteral("7|-|Four;Album D;Artist C|3/4"), copying("C/D/4.mp3"),
                           QStringLiteral("10|Saved Track Information|-|0/0"), QStringLiteral("8|Mix|-|0/0"),
                           QStringLiteral("10|Save Playlist Information|-|0/0"),
                           QStringLiteral("6|Synchronizing Album Covers|-|0/0"),
                           QStringLiteral("11|Finished Synchronizing Album Cover Artwork|-|0/0"),
                           QStringLiteral("9|-|-|0/2"), QStringLiteral("9|-|-|1/2"),
                           QStringLiteral("10|Saving Album Cover Information|-|0/0")}));
    EXPECT_EQ(library.counters().numTracksProcessed, 4);
    EXPECT_EQ(library.counters().numTracksUnchanged, 1);
    EXPECT_EQ(library.counters().numTracksDeleted, 1);
    EXPECT_EQ(library.counters().numTracksAdded, 3);
    EXPECT_EQ(library.counters().numTracksCopied, 2);
    EXPECT_EQ(library.counters().numSkippedDRMTracks, 1);
    EXPECT_EQ(library.counters().numTracksCopyFailure, 0);
    EXPECT_EQ(library.counters().numAlbumCoversProcessed, 2);
    EXPECT_EQ(library.counters().numAlbumCoversCopied, 1);
    EXPECT_EQ(library.counters().numAlbumCoversMissing, 0);
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/A/B/2.mp3")), QByteArray("already there"));
    const QByteArray tracksFile = readBytes(share.tracksFile());
    EXPECT_EQ(tracksFile.count("<Song "), 3);
    EXPECT_TRUE(tracksFile.contains("<Playlist ID=\"P1\" Name=\"Mix\">\r\n\t\t\t<Track ID=\"T4\" />\r\n"
                                    "\t\t\t<Track ID=\"T1\" />\r\n\t\t</Playlist>\r\n"));
    const QByteArray artworkFile = readBytes(share.artworkFile());
    EXPECT_TRUE(artworkFile.contains("AlbumID=\"A-B\" Path=\"\\\\old\\T1.jpg\""));
    EXPECT_TRUE(artworkFile.contains("AlbumID=\"C-D\" Path=\"\\\\10.0.0.5\\OrvanaMusic\\Artwork\\T4.jpg\""));

    // A second run finds everything on the share and copies nothing.
    for (const auto &track : library.tracks())
        track->setStatus(1);
    for (const auto &cover : library.albumCovers())
        cover->setStatus(1);
    recorder.received.clear();
    recorder.threads.clear();
    runStages();
    EXPECT_EQ(library.counters().numTracksCopied, 0);
    EXPECT_EQ(library.counters().numTracksUnchanged, 3);
    EXPECT_EQ(library.counters().numAlbumCoversCopied, 0);
    EXPECT_EQ(library.counters().numAlbumCoversUnchanged, 2);
    EXPECT_EQ(recorder.linesOfActivity(1), QStringList());
    EXPECT_EQ(readBytes(share.tracksFile()), tracksFile);
    EXPECT_EQ(readBytes(share.artworkFile()), artworkFile);
}

TEST_F(SyncRun, SelectedPlaylists)
{
    share.configure(library, false);
    runStages();
    EXPECT_EQ(recorder.lines(),
              (QStringList{QStringLiteral("6|Synchronizing Music Tracks|-|0/0"),
                           QStringLiteral("11|Finished Synchronizing Music Tracks|-|0/0"),
                           QStringLiteral("8|Mix|-|0/0"), QStringLiteral("8|Library|-|0/0"),
                           QStringLiteral("7|-|One;Album B;|0/2"), copying("A/B/1.mp3"),
                           QStringLiteral("7|-|Four;Album D;Artist C|1/2"), copying("C/D/4.mp3"),
                           QStringLiteral("10|Saved Track Information|-|0/0"), QStringLiteral("8|Mix|-|0/0"),
                           QStringLiteral("10|Save Playlist Information|-|0/0"),
                           QStringLiteral("6|Synchronizing Album Covers|-|0/0"),
                           QStringLiteral("11|Finished Synchronizing Album Cover Artwork|-|0/0"),
                           QStringLiteral("9|-|-|0/2"), QStringLiteral("9|-|-|1/2"),
                           QStringLiteral("10|Saving Album Cover Information|-|0/0")}));
    EXPECT_EQ(mix->loads, 1);
    EXPECT_EQ(library.counters().numTracksProcessed, 2);
    EXPECT_EQ(library.counters().numTracksCopied, 2);
    EXPECT_EQ(library.counters().numSkippedDRMTracks, 0);
    EXPECT_EQ(readBytes(share.tracksFile()).count("<Song "), 2);
}

TEST_F(SyncRun, WithoutASinkTheRunStillCompletes)
{
    library.setNotifySink({});
    share.configure(library, true);
    runStages();
    EXPECT_TRUE(recorder.received.isEmpty());
    EXPECT_EQ(library.counters().numTracksCopied, 2);
}

// A music file replaced since its copy (ripped again, its tags rewritten):
// the library file lists it at its old size. Its copy on the share is not
// that file any more, so it is copied anew under a name of its own; the old
// copy is left where it is. A file listed at its size stays as it is.
TEST_F(SyncRun, ATrackWhoseFileChangedSinceItsCopyIsCopiedAnew)
{
    library.tracks().value(QStringLiteral("T2"))->setSize(64);
    library.tracks().value(QStringLiteral("T4"))->setSize(64);
    writeBytes(share.musicFolder() + QStringLiteral("/C/D/4.mp3"), QByteArray(64, 'a'));
    writeBytes(share.tracksFile(),
               "<Library ID=\"LIB-ID\"><Songs>"
               "<Song ID=\"T2\" Location=\"\\\\10.0.0.5\\OrvanaMusic\\Music\\A\\B\\2.mp3\" Size=\"13\"></Song>"
               "<Song ID=\"T4\" Location=\"\\\\10.0.0.5\\OrvanaMusic\\Music\\C\\D\\4.mp3\" Size=\"64\"></Song>"
               "</Songs></Library>\r\n");
    share.configure(library, true);
    runStages();
    EXPECT_EQ(library.counters().numTracksUnchanged, 1);
    EXPECT_EQ(library.counters().numTracksCopied, 2); // T1 and T2
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/A/B/2.mp3")), QByteArray("already there"));
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/A/B/2 (T2).mp3")), readBytes(share.sourceFile(QStringLiteral("A/B/2.mp3"))));
    const QByteArray tracksFile = readBytes(share.tracksFile());
    EXPECT_TRUE(tracksFile.contains("\\Music\\A\\B\\2 (T2).mp3\"")) << tracksFile.toStdString();
    EXPECT_TRUE(tracksFile.contains("\\Music\\C\\D\\4.mp3\""));

    // Changed once more: its own name holds the copy before, so a numbered one.
    const QString again = share.sourceFile(QStringLiteral("A/B/2.mp3"), 80);
    library.tracks().value(QStringLiteral("T2"))->setSize(80);
    for (const auto &track : library.tracks())
        track->setStatus(1);
    runStages();
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/A/B/2 (T2 2).mp3")), readBytes(again));
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/A/B/2 (T2).mp3")).size(), 64);
    EXPECT_TRUE(readBytes(share.tracksFile()).contains("\\Music\\A\\B\\2 (T2 2).mp3\" Released"));
}
