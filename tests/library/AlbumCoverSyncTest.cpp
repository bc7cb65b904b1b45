#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"

#include <QDir>

#include <cerrno>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

class AlbumCoverSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        share.configure(library, true);
        library.setNotifySink(recorder.sink());
    }

    std::shared_ptr<FakeAlbumCover> addCover(const QString &albumId, const QString &stem, bool succeeds = true,
                                             bool withException = false)
    {
        auto cover = std::make_shared<FakeAlbumCover>(stem, succeeds, withException);
        library.albumCovers().insert(albumId, cover);
        return cover;
    }

    ShareFixture share;
    MusicLibrary library;
    NotifyRecorder recorder;
};

} // namespace

TEST_F(AlbumCoverSync, ReaderMarksListedCoversAndKeepsUnknownOnes)
{
    auto known = addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    auto other = addCover(QStringLiteral("C-D"), QStringLiteral("t2"));
    writeBytes(share.artworkFile(), "<?xml version=\"1.0\"?><Library><AlbumCovers>"
                                    "<AlbumCover AlbumID=\"A-B\" Path=\"\\\\s\\Artwork\\t1.jpg\" Type=\" -7x\"/>"
                                    "<ALBUMCOVER AlbumID=\"gone\" Path=\"p-gone\" Type=\"12\"/>"
                                    "<AlbumCover AlbumID=\"C-D\"/>"
                                    "<AlbumCover Path=\"x\"/>"
                                    "<AlbumCover albumid=\"C-D\" Path=\"x\"/>"
                                    "</AlbumCovers></Library>");
    EXPECT_TRUE(library.syncAlbumCovers(share.artworkFile()));
    EXPECT_EQ(known->status(), 0);
    EXPECT_EQ(known->type(), -7);
    EXPECT_EQ(known->path(), QStringLiteral("\\\\s\\Artwork\\t1.jpg"));
    EXPECT_EQ(other->status(), 1);
    const auto gone = library.albumCovers().value(QStringLiteral("gone"));
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->status(), 0);
    EXPECT_TRUE(gone->available());
    EXPECT_EQ(gone->type(), 12);
    EXPECT_EQ(library.counters().numAlbumCoversProcessed, 2);
    EXPECT_EQ(library.counters().numAlbumCoversUnchanged, 1);
    EXPECT_EQ(library.counters().numAlbumCoversAdded, 1);
    EXPECT_EQ(recorder.lines(), (QStringList{QStringLiteral("6|Synchronizing Album Covers|-|0/0"),
                                             QStringLiteral("11|Finished Synchronizing Album Cover Artwork|-|0/0")}));
}

TEST_F(AlbumCoverSync, ReaderReportsABrokenFile)
{
    addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    writeBytes(share.artworkFile(), "<Library><AlbumCovers><AlbumCover AlbumID=\"A-B\" Path=\"x\"");
    EXPECT_FALSE(library.syncAlbumCovers(share.artworkFile()));
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Error pasring Artwork XML file|Error Code: ")));
}

TEST_F(AlbumCoverSync, WriterExportsNewCoversAndWritesBackListedOnes)
{
    auto fresh = addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    auto listed = addCover(QStringLiteral("C-D"), QStringLiteral("t2"));
    listed->setStatus(0);
    listed->setPath(QStringLiteral("\\\\old\\Artwork\\t2.jpg"));
    addCover(QStringLiteral("E&F"), QStringLiteral("t3"), false, true);
    addCover(QStringLiteral("G-H"), QStringLiteral("t4"), false, false);
    addCover(QStringLiteral("I-J"), QStringLiteral("t5"))->setStatus(3);

    ASSERT_TRUE(library.writeXMLAlbumCovers());
    EXPECT_EQ(QString::fromUtf8(readBytes(share.artworkFile())),
              QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<Library>\n"
                             "  <AlbumCovers>\n"
                             "    <AlbumCover AlbumID=\"A-B\" Path=\"\\\\10.0.0.5\\OrvanaMusic\\Artwork\\t1.jpg\"/>\n"
                             "    <AlbumCover AlbumID=\"C-D\" Path=\"\\\\old\\Artwork\\t2.jpg\"/>\n"
                             "  </AlbumCovers>\n"
                             "</Library>\n"));
    EXPECT_EQ(fresh->exportedTo, QStringList{share.artworkFolder()});
    // The cover folder of a fresh share exists before the first export.
    EXPECT_EQ(fresh->folderExisted, QList<bool>{true});
    EXPECT_EQ(fresh->status(), 1);
    EXPECT_TRUE(listed->exportedTo.isEmpty());
    EXPECT_EQ(library.counters().numAlbumCoversProcessed, 4);
    EXPECT_EQ(library.counters().numAlbumCoversCopied, 1);
    EXPECT_EQ(library.counters().numAlbumCoversMissing, 2);
    EXPECT_EQ(recorder.lines(),
              (QStringList{QStringLiteral("9|-|-|0/5"), QStringLiteral("9|-|-|1/5"), QStringLiteral("9|-|-|2/5"),
                           QStringLiteral("2|Failed to copy artwork (DebugInfo: 0)|Exception Name: No Image data;"
                                          "Exception Reason: no image data for artwork: \"t3\";Track: t3|0/0"),
                           QStringLiteral("9|-|-|3/5"), QStringLiteral("9|-|-|4/5"),
                           QStringLiteral("10|Saving Album Cover Information|-|0/0")}));
    // What was written reads back.
    fresh->setStatus(1);
    EXPECT_TRUE(library.syncAlbumCovers(share.artworkFile()));
    EXPECT_EQ(fresh->status(), 0);
}

TEST_F(AlbumCoverSync, SelectedPlaylistsModeExportsOnlyTheirCoversAndKeepsTheListedOnes)
{
    share.configure(library, false);
    auto inPlaylist = addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    auto outside = addCover(QStringLiteral("C-D"), QStringLiteral("t2"));
    auto listedOutside = addCover(QStringLiteral("E-F"), QStringLiteral("t3"));
    // The share's artwork file lists an album of this library outside the
    // playlists and one of another library synced to the same share.
    writeBytes(share.artworkFile(), "<Library><AlbumCovers>"
                                    "<AlbumCover AlbumID=\"E-F\" Path=\"\\\\s\\Artwork\\t3.jpg\"/>"
                                    "<AlbumCover AlbumID=\"Other-Album\" Path=\"\\\\s\\Artwork\\o1.jpg\"/>"
                                    "</AlbumCovers></Library>");
    ASSERT_TRUE(library.syncAlbumCovers(share.artworkFile()));
    EXPECT_EQ(listedOutside->status(), 0);
    auto track = makeTrack(QStringLiteral("T1"), QStringLiteral("/m/A/B/1.mp3"));
    track->setAlbumID(QStringLiteral("A-B"));
    track->setDRMProtected(true);
    library.tracks().insert(QStringLiteral("T1"), track);
    auto noAlbum = makeTrack(QStringLiteral("T2"), QStringLiteral("/1.mp3"));
    library.tracks().insert(QStringLiteral("T2"), noAlbum);
    library.setTracksToSync(MusicLibrary::TrackIdMap{{QStringLiteral("T1"), QStringLiteral("T1")},
                                                     {QStringLiteral("T2"), QStringLiteral("T2")},
                                                     {QStringLiteral("T9"), QStringLiteral("T9")}});
    EXPECT_EQ(library.getAlbumCoverToSync().keys(), QStringList{QStringLiteral("A-B")});
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    const QByteArray bytes = readBytes(share.artworkFile());
    EXPECT_TRUE(bytes.contains("AlbumID=\"A-B\""));
    EXPECT_FALSE(bytes.contains("C-D"));
    // Not exported, not counted, but still listed where they were.
    EXPECT_TRUE(bytes.contains("<AlbumCover AlbumID=\"E-F\" Path=\"\\\\s\\Artwork\\t3.jpg\"/>"));
    EXPECT_TRUE(bytes.contains("<AlbumCover AlbumID=\"Other-Album\" Path=\"\\\\s\\Artwork\\o1.jpg\"/>"));
    EXPECT_TRUE(outside->exportedTo.isEmpty());
    EXPECT_TRUE(listedOutside->exportedTo.isEmpty());
    EXPECT_EQ(inPlaylist->exportedTo.size(), 1);
    EXPECT_EQ(library.counters().numAlbumCoversProcessed, 1);
    EXPECT_EQ(library.counters().numAlbumCoversCopied, 1);
    EXPECT_EQ(recorder.linesOfActivity(9), (QStringList{QStringLiteral("9|-|-|0/1"), QStringLiteral("9|-|-|1/1"),
                                                        QStringLiteral("9|-|-|1/1"), QStringLiteral("9|-|-|1/1")}));
}

TEST_F(AlbumCoverSync, CoversAnotherRunStoredMeanwhileStayListed)
{
    auto fresh = addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    auto listed = addCover(QStringLiteral("C-D"), QStringLiteral("t2"));
    writeBytes(share.artworkFile(), "<Library><AlbumCovers>"
                                    "<AlbumCover AlbumID=\"C-D\" Path=\"p-cd\"/>"
                                    "</AlbumCovers></Library>");
    ASSERT_TRUE(library.syncAlbumCovers(share.artworkFile()));
    ASSERT_EQ(listed->status(), 0);
    // Another library's run on the same share stores the file while this
    // run exports its covers: it added one album and exported one of ours.
    writeBytes(share.artworkFile(), "<Library><AlbumCovers>"
                                    "<AlbumCover AlbumID=\"C-D\" Path=\"p-cd\"/>"
                                    "<AlbumCover AlbumID=\"A-B\" Path=\"p-theirs\"/>"
                                    "<AlbumCover AlbumID=\"X-Y\" Path=\"p-xy\"/>"
                                    "</AlbumCovers></Library>");
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    const QString expected = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                            "<Library>\n"
                                            "  <AlbumCovers>\n"
                                            "    <AlbumCover AlbumID=\"A-B\" Path=\"\\\\10.0.0.5\\OrvanaMusic\\Artwork\\t1.jpg\"/>\n"
                                            "    <AlbumCover AlbumID=\"C-D\" Path=\"p-cd\"/>\n"
                                            "    <AlbumCover AlbumID=\"X-Y\" Path=\"p-xy\"/>\n"
                                            "  </AlbumCovers>\n"
                                            "</Library>\n");
    EXPECT_EQ(QString::fromUtf8(readBytes(share.artworkFile())), expected);
    EXPECT_EQ(fresh->exportedTo.size(), 1);
    const QString keptLine = QStringLiteral("The artwork file was stored by another run meanwhile: the 1 album covers "
                                            "it added stay listed");
    EXPECT_EQ(recorder.lines().filter(keptLine).size(), 1);

    // The next run finds the file as its read left it: nothing is added.
    MusicLibrary next;
    NotifyRecorder nextRecorder;
    share.configure(next, true);
    next.setNotifySink(nextRecorder.sink());
    ASSERT_TRUE(next.syncAlbumCovers(share.artworkFile()));
    ASSERT_TRUE(next.writeXMLAlbumCovers());
    EXPECT_EQ(QString::fromUtf8(readBytes(share.artworkFile())), expected);
    EXPECT_TRUE(nextRecorder.lines().filter(QStringLiteral("another run")).isEmpty());
}

TEST_F(AlbumCoverSync, NoCoversStillWritesTheSkeleton)
{
    share.configure(library, false);
    addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    EXPECT_EQ(QString::fromUtf8(readBytes(share.artworkFile())),
              QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Library>\n  <AlbumCovers/>\n</Library>\n"));
    EXPECT_EQ(recorder.linesOfActivity(9), QStringList{QStringLiteral("9|-|-|0/0")});
}

TEST_F(AlbumCoverSync, AFailedWriteLeavesThePreviousFile)
{
    if (sanitizersNeedDescriptors)
        GTEST_SKIP() << "running out of descriptors also stops the sanitizers' own checks";
    writeBytes(share.artworkFile(), "previous");
    // A cover the previous file listed: nothing to export.
    addCover(QStringLiteral("A-B"), QStringLiteral("t1"))->setStatus(0);
    // No descriptor is left for the artwork file's temporary file.
    bool written = true;
    withoutFreeDescriptors([&] { written = library.writeXMLAlbumCovers(); });
    EXPECT_FALSE(written);
    EXPECT_EQ(readBytes(share.artworkFile()), QByteArray("previous"));
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(
        QStringLiteral("2|Cannot overwrite Artwork XML file|Error Code: %1;Error Domain: NSPOSIXErrorDomain;").arg(EMFILE)))
        << errors.first().toStdString();
    EXPECT_TRUE(errors.first().contains(QStringLiteral("NSFilePath: ") + share.artworkFolder() + QStringLiteral("/.Artwork.xml.")))
        << errors.first().toStdString();
}

TEST_F(AlbumCoverSync, ReplacesThePreviousFileAtomically)
{
    writeBytes(share.artworkFile(), "previous");
    addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    EXPECT_TRUE(readBytes(share.artworkFile()).contains("A-B"));
    EXPECT_EQ(listTree(share.artworkFolder()), (QStringList{QStringLiteral("Artwork.xml"), QStringLiteral("t1.jpg")}));
}

TEST_F(AlbumCoverSync, ControlCharactersCannotBreakTheFile)
{
    auto cover = addCover(QStringLiteral("A\u0001-B"), QStringLiteral("t1"));
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    cover->setStatus(1);
    EXPECT_TRUE(library.syncAlbumCovers(share.artworkFile()));
}

TEST_F(AlbumCoverSync, AnExceptionFromAnExportEndsTheStageWithoutAFile)
{
    class ThrowingCover : public AlbumCover {
    public:
        bool copyArtwork(const QString &) override { throw std::runtime_error("export failed"); }
    };
    auto cover = std::make_shared<ThrowingCover>();
    cover->setStatus(1);
    library.albumCovers().insert(QStringLiteral("A-B"), cover);
    EXPECT_FALSE(library.writeXMLAlbumCovers());
    EXPECT_FALSE(exists(share.artworkFile()));
}

TEST_F(AlbumCoverSync, AnUnchangedFileStaysAsItIsAndAChangedOneIsReplaced)
{
    const auto inode = [this] {
        struct stat info {};
        return ::stat(share.artworkFile().toUtf8().constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    auto cover = addCover(QStringLiteral("A-B"), QStringLiteral("t1"));
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    const QByteArray first = readBytes(share.artworkFile());
    const ino_t firstInode = inode();
    cover->setStatus(0);
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    EXPECT_EQ(inode(), firstInode);
    EXPECT_EQ(readBytes(share.artworkFile()), first);
    addCover(QStringLiteral("C-D"), QStringLiteral("t2"));
    ASSERT_TRUE(library.writeXMLAlbumCovers());
    EXPECT_NE(inode(), firstInode);
    EXPECT_TRUE(readBytes(share.artworkFile()).contains("C-D"));
    EXPECT_EQ(listTree(share.artworkFolder()),
              (QStringList{QStringLiteral("Artwork.xml"), QStringLiteral("t1.jpg"), QStringLiteral("t2.jpg")}));
}
