#include "tests/library/LibraryTestSupport.h"

#include "library/LibraryFileReadAhead.h"
#include "library/MusicLibrary.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

const QByteArray Listing = "<Library ID=\"x\"><Songs>"
                           "<Song ID=\"A\" Location=\"\\\\s\\OrvanaMusic\\Music\\a\\b\\A.mp3\"/>"
                           "<Song ID=\"gone\" Location=\"\\\\s\\OrvanaMusic\\Music\\a\\b\\gone.mp3\"/>"
                           "<Song Title=\"no id\"/><Song ID=\"C\"/><Song ID=\"C\"/>"
                           "</Songs><AlbumCover AlbumID=\"a-b\" Path=\"a-b.jpg\" Type=\" 2\"/>"
                           "<AlbumCover AlbumID=\"no path\"/></Library>";

// A library of three tracks on its own share, synced with or without the
// library file read ahead: what the first stage finds must not depend on it.
struct SyncedLibrary {
    SyncedLibrary()
    {
        share.configure(library, true);
        library.setNotifySink(recorder.sink());
        for (const char *id : {"A", "B", "C"}) {
            const QString key = QString::fromLatin1(id);
            library.tracks().insert(key, makeTrack(key, QStringLiteral("/m/x/y/%1.mp3").arg(key)));
            library.sortedTracks().append(key);
        }
    }

    void readAhead() { library.setLibraryFileReadAhead(std::make_unique<LibraryFileReadAhead>(share.tracksFile())); }
    bool sync() { return library.syncTracks(share.tracksFile()); }

    // What the stage left in the model and reported, one line per item.
    QStringList found() const
    {
        QStringList lines;
        for (const QString &id : library.sortedTracks()) {
            const std::shared_ptr<Track> track = library.tracks().value(id);
            lines << QStringLiteral("track %1 %2 %3").arg(id).arg(track->status()).arg(track->listedPath());
        }
        for (auto cover = library.albumCovers().cbegin(); cover != library.albumCovers().cend(); ++cover) {
            lines << QStringLiteral("cover %1 %2 %3 %4")
                         .arg(cover.key())
                         .arg(cover.value()->status())
                         .arg(cover.value()->type())
                         .arg(cover.value()->path());
        }
        const SyncCounters &counters = library.counters();
        lines << QStringLiteral("counted %1 %2 %3 %4 %5")
                     .arg(counters.numTracksProcessed)
                     .arg(counters.numTracksUnchanged)
                     .arg(counters.numTracksDeleted)
                     .arg(counters.numTracksAdded)
                     .arg(counters.numAlbumCoversUnchanged);
        return lines + recorder.lines();
    }

    ShareFixture share;
    MusicLibrary library;
    NotifyRecorder recorder;
};

// Replaces the file as another writer would, under a new inode.
void replaceFile(const QString &path, const QByteArray &bytes)
{
    writeBytes(path + QStringLiteral(".new"), bytes);
    ASSERT_EQ(std::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(), QFile::encodeName(path).constData()), 0);
}

} // namespace

TEST(LibraryFileReadAhead, StandsInForTheReadWithTheSameFindingsAndReadsTheFileOnce)
{
    SyncedLibrary direct;
    SyncedLibrary ahead;
    // Large enough that a second read of it shows in the bytes read.
    QByteArray bytes = Listing;
    bytes.insert(bytes.indexOf("</Songs>"), QByteArray(64 * 1024, ' '));
    writeBytes(direct.share.tracksFile(), bytes);
    writeBytes(ahead.share.tracksFile(), bytes);

    EXPECT_TRUE(direct.sync());
    const qint64 readBefore = bytesReadByProcess();
    ahead.readAhead();
    EXPECT_TRUE(ahead.sync());
    EXPECT_LT(bytesReadByProcess() - readBefore, bytes.size() * 3 / 2);

    EXPECT_EQ(ahead.found(), direct.found());
    EXPECT_TRUE(ahead.found().contains(QStringLiteral("track A 0 a/b/A.mp3")));
    EXPECT_TRUE(ahead.found().contains(QStringLiteral("cover a-b 0 2 a-b.jpg")));
    EXPECT_FALSE(ahead.library.parsingError().has_value());
}

TEST(LibraryFileReadAhead, AFileChangedOrMadeAfterTheReadIsReadAgain)
{
    const QByteArray before = "<Library><Songs><Song ID=\"A\"/></Songs></Library>";
    // The same size, so that only the times and the inode tell it apart.
    const QByteArray after = "<Library><Songs><Song ID=\"B\"/></Songs></Library>";
    for (const bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "rewritten in place" : "replaced");
        SyncedLibrary library;
        writeBytes(library.share.tracksFile(), before);
        // A rewrite within one tick of the file-system clock would keep its
        // times: the first version is dated back.
        const timespec past[2] = {{946684800, 0}, {946684800, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(library.share.tracksFile()).constData(), past, 0), 0);
        auto readAhead = std::make_unique<LibraryFileReadAhead>(library.share.tracksFile());
        // The read is over before the file changes (it may also see the new
        // file, which the run then takes just as well).
        EXPECT_EQ(LibraryFileReadAhead::read(library.share.tracksFile()).songs.size(), 1U);
        if (inPlace)
            writeBytes(library.share.tracksFile(), after);
        else
            replaceFile(library.share.tracksFile(), after);
        library.library.setLibraryFileReadAhead(std::move(readAhead));
        EXPECT_TRUE(library.sync());
        EXPECT_EQ(library.library.tracks().value(QStringLiteral("A"))->status(), 1);
        EXPECT_EQ(library.library.tracks().value(QStringLiteral("B"))->status(), 0);
    }

    SyncedLibrary firstRun;
    firstRun.readAhead();
    writeBytes(firstRun.share.tracksFile(), after);
    EXPECT_TRUE(firstRun.sync());
    EXPECT_EQ(firstRun.library.tracks().value(QStringLiteral("B"))->status(), 0);
}

TEST(LibraryFileReadAhead, AFileThatFailsToParseIsReportedAsWithoutReadAhead)
{
    const QByteArray broken = "<Library><Song ID=\"A\"></Song><Song ID=\"B\"></Sing><Song ID=\"C\"/></Library>";
    SyncedLibrary direct;
    SyncedLibrary ahead;
    writeBytes(direct.share.tracksFile(), broken);
    writeBytes(ahead.share.tracksFile(), broken);
    EXPECT_FALSE(direct.sync());
    ahead.readAhead();
    EXPECT_FALSE(ahead.sync());
    EXPECT_EQ(ahead.found(), direct.found());
    EXPECT_EQ(ahead.recorder.linesOfActivity(2).size(), 1);
}

TEST(LibraryFileReadAhead, IsTakenOnceAndOnlyForItsOwnFile)
{
    SyncedLibrary library;
    const QString other = library.share.sharePath() + QStringLiteral("/Library/OTHER.xml");
    writeBytes(library.share.tracksFile(), "<Library><Song ID=\"A\"/></Library>");
    writeBytes(other, "<Library><Song ID=\"B\"/></Library>");
    library.readAhead();
    EXPECT_TRUE(library.library.syncTracks(other));
    EXPECT_EQ(library.library.tracks().value(QStringLiteral("A"))->status(), 1);
    EXPECT_EQ(library.library.tracks().value(QStringLiteral("B"))->status(), 0);

    // The next run reads its file itself.
    library.readAhead();
    EXPECT_TRUE(library.sync());
    replaceFile(library.share.tracksFile(), "<Library><Song ID=\"C\"/></Library>");
    EXPECT_TRUE(library.sync());
    EXPECT_EQ(library.library.counters().numTracksUnchanged, 1);
    EXPECT_EQ(library.library.tracks().value(QStringLiteral("C"))->status(), 0);

    LibraryFileReadAhead readAhead(library.share.tracksFile());
    EXPECT_TRUE(readAhead.take().has_value());
    EXPECT_FALSE(readAhead.take().has_value());
}

TEST(LibraryFileReadAhead, ACancelledReadListsNothingAndIsNeverTaken)
{
    SyncedLibrary library;
    writeBytes(library.share.tracksFile(), Listing);
    std::atomic<bool> cancelled = false;
    EXPECT_EQ(LibraryFileReadAhead::read(library.share.tracksFile(), &cancelled).songs.size(), 5U);
    cancelled = true;
    const LibraryFileListing stopped = LibraryFileReadAhead::read(library.share.tracksFile(), &cancelled);
    EXPECT_TRUE(stopped.failed);
    EXPECT_TRUE(stopped.songs.empty());
    EXPECT_FALSE(stopped.fingerprint.isComplete());
    // A read ahead dropped before its run: it ends, whatever it had read.
    library.readAhead();
    library.library.setLibraryFileReadAhead(nullptr);
    EXPECT_TRUE(library.sync());
    EXPECT_EQ(library.library.tracks().value(QStringLiteral("A"))->status(), 0);
}
