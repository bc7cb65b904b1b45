// A track's Location may name something that is not a regular file (a FIFO
// in particular, which blocks whoever opens it): reading tags, pictures and
// artwork must refuse it at once.

#include "itunes/ArtworkFinder.h"
#include "itunes/AudioFileTagReader.h"
#include "itunes/ExportLibraryReader.h"
#include "itunes/M3uPlaylistReader.h"
#include "library/MusicLibrary.h"
#include "itunes/MusicSourceArtwork.h"
#include "itunes/MusicSourceError.h"

#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class SourcesThatAreNotFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        fifo = folder.filePath(QStringLiteral("01 Hang.mp3"));
        ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0644), 0);
    }

    // Runs body on a thread of its own and answers whether it ended within
    // five seconds; a body stuck on the FIFO is released by opening its
    // other end, so that the test itself always ends.
    bool endsPromptly(const std::function<void()> &body)
    {
        auto done = std::async(std::launch::async, body);
        if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
            return true;
        const int writer = ::open(fifo.toUtf8().constData(), O_RDWR | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        done.wait();
        return false;
    }

    QTemporaryDir folder;
    QString fifo;
};

} // namespace

TEST_F(SourcesThatAreNotFiles, TagsOfAFifoAreNotWaitedFor)
{
    MusicTrackProperties track;
    EXPECT_TRUE(endsPromptly([&] { track = AudioFileTagReader::read(fifo); }));
    EXPECT_EQ(track.name, QStringLiteral("01 Hang"));
    EXPECT_EQ(track.bitRate, 0);
}

TEST_F(SourcesThatAreNotFiles, PicturesOfAFifoAreNone)
{
    QList<QByteArray> pictures{QByteArray("x")};
    EXPECT_TRUE(endsPromptly([&] { pictures = ArtworkFinder::embeddedPictures(fifo); }));
    EXPECT_TRUE(pictures.isEmpty());
}

TEST_F(SourcesThatAreNotFiles, AnArtworkFileThatIsAFifoIsAnError)
{
    const QString image = folder.filePath(QStringLiteral("cover.jpg"));
    ASSERT_EQ(::mkfifo(image.toUtf8().constData(), 0644), 0);
    fifo = image;
    QString message;
    EXPECT_TRUE(endsPromptly([&] {
        try {
            MusicSourceArtwork::fromFile(image).rawData();
        } catch (const MusicSourceError &error) {
            message = error.message();
        }
    }));
    EXPECT_TRUE(message.contains(QStringLiteral("not a regular file"))) << message.toStdString();
}

TEST_F(SourcesThatAreNotFiles, AnExportAPlaylistFileOrADescriptionFileThatIsAFifoIsNotWaitedFor)
{
    const QString exportFile = folder.filePath(QStringLiteral("Library.xml"));
    ASSERT_EQ(::mkfifo(exportFile.toUtf8().constData(), 0644), 0);
    fifo = exportFile;
    ExportLibraryReader reader;
    bool read = true;
    EXPECT_TRUE(endsPromptly([&] { read = reader.readFile(exportFile); }));
    EXPECT_FALSE(read);

    const QString playlist = folder.filePath(QStringLiteral("Mix.m3u"));
    ASSERT_EQ(::mkfifo(playlist.toUtf8().constData(), 0644), 0);
    fifo = playlist;
    QStringList entries{QStringLiteral("x")};
    EXPECT_TRUE(endsPromptly([&] { entries = M3uPlaylistReader::readFile(playlist); }));
    EXPECT_TRUE(entries.isEmpty());

    // The share's library file, read before a run writes the new one.
    const QString libraryFile = folder.filePath(QStringLiteral("LIB.xml"));
    ASSERT_EQ(::mkfifo(libraryFile.toUtf8().constData(), 0644), 0);
    fifo = libraryFile;
    MusicLibrary library;
    bool synced = true;
    EXPECT_TRUE(endsPromptly([&] { synced = library.syncTracks(libraryFile); }));
    EXPECT_FALSE(synced);
}
