#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"

#include <QDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

const QByteArray Previous = QByteArrayLiteral("<Library ID=\"LIB-ID\"><Songs><Song ID=\"T1\"/></Songs></Library>\r\n");

// The library file is written beside the previous one and replaces it only
// when complete.
class LibraryFileReplacement : public ::testing::Test {
protected:
    void SetUp() override
    {
        share.configure(library, true);
        library.setNotifySink(recorder.sink());
        auto track = makeTrack(QStringLiteral("T1"), share.sourceFile(QStringLiteral("A/B/1.mp3")));
        library.tracks().insert(QStringLiteral("T1"), track);
        library.sortedTracks().append(QStringLiteral("T1"));
    }

    bool write() { return library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")); }

    ShareFixture share;
    MusicLibrary library;
    NotifyRecorder recorder;
};

} // namespace

TEST_F(LibraryFileReplacement, ReplacesThePreviousFileAndLeavesNoTemporaryFile)
{
    writeBytes(share.tracksFile(), Previous);
    ASSERT_TRUE(write());
    EXPECT_TRUE(readBytes(share.tracksFile()).contains("<Song Album="));
    EXPECT_EQ(listTree(share.sharePath() + QStringLiteral("/Library")), QStringList{QStringLiteral("LIB-ID.xml")});
    EXPECT_EQ(recorder.linesOfActivity(2), QStringList());
}

TEST_F(LibraryFileReplacement, CreatesTheFolderOnTheFirstRun)
{
    ASSERT_TRUE(write());
    EXPECT_TRUE(exists(share.tracksFile()));
}

TEST_F(LibraryFileReplacement, FolderThatCannotBeCreatedStopsBeforeAnyCopy)
{
    writeBytes(share.sharePath() + QStringLiteral("/Library"), "a file, not a folder");
    EXPECT_FALSE(write());
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Cannot create directory|Error Code: ")));
    EXPECT_FALSE(exists(share.musicFolder()));
    EXPECT_EQ(recorder.linesOfActivity(7), QStringList());
}

TEST_F(LibraryFileReplacement, OpenFailureReportsTheFileIOErrorAndCopiesNothing)
{
    if (sanitizersNeedDescriptors)
        GTEST_SKIP() << "running out of descriptors also stops the sanitizers' own checks";
    writeBytes(share.tracksFile(), Previous);
    // No descriptor left: the temporary file cannot be opened.
    bool written = true;
    withoutFreeDescriptors([&] { written = write(); });
    EXPECT_FALSE(written);
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    // The code and domain as before, then the reason and the file.
    EXPECT_TRUE(errors.first().startsWith(
        QStringLiteral("2|Failed to create/open xml file|Error Code: %1;Error Domain: com.Orvana.FileIO;").arg(EMFILE)))
        << errors.first().toStdString();
    EXPECT_TRUE(errors.first().contains(QString::fromLocal8Bit(std::strerror(EMFILE)))) << errors.first().toStdString();
    EXPECT_TRUE(errors.first().contains(QStringLiteral("NSFilePath: ") + share.tracksFile())) << errors.first().toStdString();
    EXPECT_FALSE(exists(share.musicFolder()));
    EXPECT_EQ(readBytes(share.tracksFile()), Previous);
}

TEST_F(LibraryFileReplacement, FailedFinalReplacementKeepsTheOldFile)
{
    // A non-empty folder under the final name cannot be replaced by a file.
    QDir().mkpath(share.tracksFile() + QStringLiteral("/keep"));
    EXPECT_FALSE(write());
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Cannot overwrite Music Tracks XML file|Error Code: ")));
    EXPECT_TRUE(exists(share.tracksFile() + QStringLiteral("/keep")));
    EXPECT_EQ(listTree(share.sharePath() + QStringLiteral("/Library")),
              (QStringList{QStringLiteral("LIB-ID.xml"), QStringLiteral("LIB-ID.xml/keep")}));
    // The stage ran to its end; the failed replacement is its last report.
    ASSERT_GE(recorder.received.size(), 2);
    EXPECT_EQ(recorder.received.at(recorder.received.size() - 2).title(), QStringLiteral("Save Playlist Information"));
}

TEST_F(LibraryFileReplacement, WriteFailureNeverReplacesTheOldFile)
{
    writeBytes(share.tracksFile(), Previous);
    library.tracks().value(QStringLiteral("T1"))->setStatus(0);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{200, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = write();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Cannot overwrite Music Tracks XML file|Error Code: %1;")
                                              .arg(EFBIG)))
        << errors.first().toStdString();
    EXPECT_EQ(readBytes(share.tracksFile()), Previous);
    EXPECT_EQ(listTree(share.sharePath() + QStringLiteral("/Library")), QStringList{QStringLiteral("LIB-ID.xml")});
}

TEST_F(LibraryFileReplacement, AnUnchangedFileStaysAsItIsAndAChangedOneIsReplaced)
{
    const auto inode = [this] {
        struct stat info {};
        return ::stat(share.tracksFile().toUtf8().constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    ASSERT_TRUE(write());
    const QByteArray first = readBytes(share.tracksFile());
    const ino_t firstInode = inode();
    library.tracks().value(QStringLiteral("T1"))->setStatus(0);

    ASSERT_TRUE(write());
    EXPECT_EQ(inode(), firstInode);
    EXPECT_EQ(readBytes(share.tracksFile()), first);
    EXPECT_EQ(listTree(share.sharePath() + QStringLiteral("/Library")), QStringList{QStringLiteral("LIB-ID.xml")});
    EXPECT_EQ(recorder.linesOfActivity(2), QStringList());

    library.tracks().value(QStringLiteral("T1"))->setTitle(QStringLiteral("Renamed"));
    ASSERT_TRUE(write());
    EXPECT_NE(inode(), firstInode);
    QByteArray renamed = first;
    renamed.replace("Title=\"\"", "Title=\"Renamed\"");
    ASSERT_NE(renamed, first);
    EXPECT_EQ(readBytes(share.tracksFile()), renamed);
    EXPECT_EQ(listTree(share.sharePath() + QStringLiteral("/Library")), QStringList{QStringLiteral("LIB-ID.xml")});
}

TEST_F(LibraryFileReplacement, ARunThatReadTheFileFindsItUnchangedWithoutReadingItAgain)
{
    for (int number = 2; number <= 300; ++number) {
        const QString id = QStringLiteral("T%1").arg(number);
        library.tracks().insert(id, makeTrack(id, share.sourceFile(QStringLiteral("A/B/%1.mp3").arg(number))));
        library.sortedTracks().append(id);
    }
    ASSERT_TRUE(write());
    const QByteArray first = readBytes(share.tracksFile());
    ASSERT_GT(first.size(), 30000);

    // The run's first stage reads the file; the writer then finds it
    // unchanged without a second read.
    ASSERT_TRUE(library.syncTracks(share.tracksFile()));
    const qint64 readBefore = bytesReadByProcess();
    ASSERT_TRUE(write());
    EXPECT_LT(bytesReadByProcess() - readBefore, 1000);
    EXPECT_EQ(readBytes(share.tracksFile()), first);

    // A change after the read: the file is replaced, whole and right.
    ASSERT_TRUE(library.syncTracks(share.tracksFile()));
    library.tracks().value(QStringLiteral("T250"))->setTitle(QStringLiteral("Renamed"));
    ASSERT_TRUE(write());
    QByteArray renamed = first;
    const qsizetype song = renamed.indexOf("ID=\"T250\"");
    const qsizetype title = renamed.indexOf("Title=\"\"", song);
    ASSERT_TRUE(song > 0 && title > song && title < renamed.indexOf("</Song>", song));
    renamed.replace(title, 8, "Title=\"Renamed\"");
    EXPECT_TRUE(readBytes(share.tracksFile()) == renamed);
    EXPECT_EQ(listTree(share.sharePath() + QStringLiteral("/Library")), QStringList{QStringLiteral("LIB-ID.xml")});
    EXPECT_EQ(recorder.linesOfActivity(2), QStringList());
}
