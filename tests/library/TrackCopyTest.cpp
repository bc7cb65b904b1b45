#include "tests/library/LibraryTestSupport.h"

#include "library/FileReplacement.h"
#include "library/MusicLibrary.h"
#include "library/SyncStage.h"
#include "library/TrackCopier.h"
#include "share/RemoteFileSystem.h"
#include "share/TemporaryFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char **environ;

using namespace librarytest;

namespace {

bool setModificationTime(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

class TrackCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        share.configure(library, true);
        library.setNotifySink(recorder.sink());
    }

    Track trackAt(const QString &source, const QString &artist, const QString &album, const QString &song)
    {
        Track track;
        track.setLocation(source);
        track.setArtistPath(artist);
        track.setAlbumPath(album);
        track.setSongPath(song);
        track.setStatus(1);
        return track;
    }

    ShareFixture share;
    MusicLibrary library;
    NotifyRecorder recorder;
};

} // namespace

TEST(FileNameValidation, KeepsThePermittedSetAndRemovesTheRest)
{
    MusicLibrary library;
    EXPECT_EQ(library.validateFileName(QStringLiteral("Guns N' Roses, Live (1991) [Disc 1]")),
              QStringLiteral("Guns N' Roses, Live (1991) [Disc 1]"));
    EXPECT_EQ(library.validateFileName(QStringLiteral("What?")), QStringLiteral("What"));
    EXPECT_EQ(library.validateFileName(QStringLiteral("a:b*c/d\\e\"f<g>h|i\tj")), QStringLiteral("abcdefghij"));
    EXPECT_EQ(library.validateFileName(QStringLiteral("~`!@#$%^&()-_+={}[];',. ")),
              QStringLiteral("~`!@#$%^&()-_+={}[];',. "));
    // Precomposed letters go whole; a decomposed one keeps its base letter.
    EXPECT_EQ(library.validateFileName(QStringLiteral("Caf\u00e9")), QStringLiteral("Caf"));
    EXPECT_EQ(library.validateFileName(QStringLiteral("Cafe\u0301")), QStringLiteral("Cafe"));
    EXPECT_EQ(library.validateFileName(QStringLiteral("\u65e5\u672c")), QStringLiteral(""));
    EXPECT_TRUE(library.validateFileName(QString()).isNull());
    const CharacterSet removed = MusicLibrary::createValidFilenameCharacterSet();
    int permitted = 0;
    for (unsigned unit = 0; unit < 65536; ++unit)
        permitted += removed.contains(char16_t(unit)) ? 0 : 1;
    EXPECT_EQ(permitted, 10 + 26 + 26 + 24);
}

TEST_F(TrackCopy, CopiesIntoNewFoldersAndCountsRealCopiesOnly)
{
    const QString source = share.sourceFile(QStringLiteral("A/B/01.mp3"), 1000);
    Track track = trackAt(source, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("01.mp3"));
    const QString destination = share.musicFolder() + QStringLiteral("/A/B/01.mp3");
    EXPECT_TRUE(library.copyTrack(track));
    EXPECT_EQ(readBytes(destination), readBytes(source));
    EXPECT_EQ(library.counters().numTracksCopied, 1);
    // An existing destination wins and is not counted, but is reported.
    writeBytes(source, "changed");
    EXPECT_TRUE(library.copyTrack(track));
    EXPECT_EQ(library.counters().numTracksCopied, 1);
    EXPECT_NE(readBytes(destination), QByteArray("changed"));
    EXPECT_EQ(recorder.lines(), QStringList(2, u"1|Copying: " + destination + u"|-|0/0"));
    EXPECT_EQ(listTree(share.musicFolder()), (QStringList{QStringLiteral("A"), QStringLiteral("A/B"),
                                                         QStringLiteral("A/B/01.mp3")}));
}

TEST_F(TrackCopy, EmptyComponentsCollapseAndStayInsideTheMusicFolder)
{
    const QString source = share.sourceFile(QStringLiteral("x.mp3"));
    Track track = trackAt(source, QStringLiteral(""), QStringLiteral("B"), QStringLiteral("x.mp3"));
    EXPECT_TRUE(library.copyTrack(track));
    EXPECT_TRUE(exists(share.musicFolder() + QStringLiteral("/B/x.mp3")));
    EXPECT_EQ(recorder.received.first().title(), u"Copying: " + share.musicFolder() + QStringLiteral("//B/x.mp3"));
}

TEST_F(TrackCopy, FailuresAreReportedWithTheSystemError)
{
    Track missing = trackAt(share.localMusic() + QStringLiteral("/none.mp3"), QStringLiteral("A"), QStringLiteral("B"),
                            QStringLiteral("none.mp3"));
    EXPECT_FALSE(library.copyTrack(missing));
    QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Failed to copy file|Error Code: 2;Error Domain: NSPOSIXErrorDomain;")))
        << errors.first().toStdString();
    // No folder is made for a file that cannot be copied: a library whose
    // files are all elsewhere leaves no empty folders on the share.
    EXPECT_FALSE(exists(share.musicFolder() + QStringLiteral("/A")));
    Track folderAsFile = trackAt(share.localMusic(), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("dir.mp3"));
    EXPECT_FALSE(library.copyTrack(folderAsFile));
    EXPECT_FALSE(exists(share.musicFolder() + QStringLiteral("/A")));
    Track present = trackAt(share.sourceFile(QStringLiteral("x.mp3")), QStringLiteral("A"), QStringLiteral("B"),
                            QStringLiteral("x.mp3"));
    EXPECT_TRUE(library.copyTrack(present));
    EXPECT_EQ(listTree(share.musicFolder() + QStringLiteral("/A/B")), QStringList{QStringLiteral("x.mp3")});
    ASSERT_EQ(recorder.linesOfActivity(2).size(), 2);
    EXPECT_TRUE(recorder.linesOfActivity(2).last().contains(QStringLiteral("Is a directory")))
        << recorder.linesOfActivity(2).last().toStdString();

    // A file where the artist folder should be: the folder cannot be made.
    writeBytes(share.musicFolder() + QStringLiteral("/Blocked"), "x");
    Track blocked = trackAt(share.sourceFile(QStringLiteral("y.mp3")), QStringLiteral("Blocked"), QStringLiteral("B"),
                            QStringLiteral("y.mp3"));
    EXPECT_FALSE(library.copyTrack(blocked));
    errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors.last().startsWith(QStringLiteral("2|Failed to create directory|Error Code: ")));
    EXPECT_EQ(library.counters().numTracksCopied, 1);
}

TEST_F(TrackCopy, DotComponentsNeverLeaveTheMusicFolder)
{
    const QString source = share.sourceFile(QStringLiteral("z.mp3"));
    const QList<QPair<QString, QString>> folders{{QStringLiteral(".."), QStringLiteral("x")},
                                                 {QStringLiteral("x"), QStringLiteral("..")},
                                                 {QStringLiteral("."), QStringLiteral("..")}};
    for (const auto &[artist, album] : folders) {
        recorder.received.clear();
        Track track = trackAt(source, artist, album, QStringLiteral("z.mp3"));
        EXPECT_FALSE(library.copyTrack(track));
        const QStringList errors = recorder.linesOfActivity(2);
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Failed to copy file|")));
        EXPECT_TRUE(errors.first().contains(QStringLiteral("would place the file outside the music folder")))
            << errors.first().toStdString();
    }
    EXPECT_EQ(listTree(share.sharePath()), QStringList());
    EXPECT_EQ(library.counters().numTracksCopied, 0);
}

TEST_F(TrackCopy, DotComponentsInALocationAreNeitherCopiedNorListed)
{
    // /a/../../b/x.mp3 has the components "..", "b" and "x.mp3" at its end.
    const QString source = share.sourceFile(QStringLiteral("b/x.mp3"));
    auto track = makeTrack(QStringLiteral("T1"), share.localMusic() + QStringLiteral("/a/../../b/x.mp3"));
    QDir().mkpath(share.localMusic() + QStringLiteral("/a"));
    library.tracks().insert(QStringLiteral("T1"), track);
    library.sortedTracks().append(QStringLiteral("T1"));
    auto listed = makeTrack(QStringLiteral("T2"), QStringLiteral("/m/../x/y.mp3"));
    listed->setStatus(0);
    library.tracks().insert(QStringLiteral("T2"), listed);
    library.sortedTracks().append(QStringLiteral("T2"));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    EXPECT_EQ(readBytes(share.tracksFile()).count("<Song "), 0);
    EXPECT_EQ(library.counters().numTracksCopyFailure, 2);
    EXPECT_EQ(library.counters().numTracksProcessed, 2);
    EXPECT_EQ(recorder.linesOfActivity(2).size(), 2);
    EXPECT_EQ(listTree(share.musicFolder()), QStringList());
    EXPECT_FALSE(exists(share.sharePath() + QStringLiteral("/b")));
    EXPECT_TRUE(exists(source));
}

TEST_F(TrackCopy, LeftoverTemporaryFilesOfKilledRunsAreRemovedOnceStale)
{
    const QString source = share.sourceFile(QStringLiteral("s.flac"), 5000);
    const QString destination = share.musicFolder() + QStringLiteral("/A/B/s.flac");
    const QString stale = TemporaryFile::uniquePathFor(destination);
    const QString fresh = TemporaryFile::uniquePathFor(destination);
    writeBytes(stale, QByteArray(9000, 'z'));
    writeBytes(fresh, QByteArray(9000, 'y'));
    const auto old = QDateTime::currentDateTime().addSecs(-TemporaryFile::staleAfterSeconds - 60);
    ASSERT_TRUE(setModificationTime(stale, old));
    Track track = trackAt(source, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("s.flac"));
    EXPECT_TRUE(library.copyTrack(track));
    EXPECT_EQ(readBytes(destination), readBytes(source));
    EXPECT_EQ(library.counters().numTracksCopied, 1);
    // A run still writing (fresh) keeps its file; a killed one's goes.
    EXPECT_EQ(listTree(share.musicFolder() + QStringLiteral("/A/B")),
              (QStringList{QFileInfo(fresh).fileName(), QStringLiteral("s.flac")}));
}

TEST(TemporaryNames, AreHiddenUniqueAndNeverAudio)
{
    const QString folder = QStringLiteral("/s/Music/A/B/");
    EXPECT_TRUE(TemporaryFile::uniquePathFor(folder + QStringLiteral("s.flac")).startsWith(folder + QStringLiteral(".s.flac.")));
    const QString longName = QString(250, u'n') + QStringLiteral(".mp3");
    const QString temporary = TemporaryFile::uniquePathFor(folder + longName);
    const QString name = QFileInfo(temporary).fileName();
    EXPECT_TRUE(temporary.startsWith(folder + u'.'));
    EXPECT_TRUE(name.endsWith(QStringLiteral(".partial")));
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_TRUE(temporary.startsWith(TemporaryFile::prefixFor(folder + longName)));
    EXPECT_NE(TemporaryFile::prefixFor(folder + longName), TemporaryFile::prefixFor(folder + u'x' + longName));
    // Two writers of one final name never share a temporary file.
    QSet<QString> names;
    for (int n = 0; n < 1000; ++n)
        names.insert(TemporaryFile::uniquePathFor(folder + QStringLiteral("s.flac")));
    EXPECT_EQ(names.size(), 1000);
}

TEST(TemporaryNames, TwoWritersOfOneNameGetTwoFiles)
{
    ShareFixture share;
    const QString final = share.sharePath() + QStringLiteral("/Artwork.xml");
    QString first;
    QString second;
    const int a = TemporaryFile::create(final, &first);
    const int b = TemporaryFile::create(final, &second);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(first, second);
    ::close(a);
    ::close(b);
}

TEST(FileReplacementMove, NeverReplacesAnExistingFile)
{
    ShareFixture share;
    const QString temporary = share.sharePath() + QStringLiteral("/.a.partial");
    const QString final = share.sharePath() + QStringLiteral("/a");
    writeBytes(final, "old");
    writeBytes(temporary, "new");
    bool alreadyThere = false;
    ErrorRecord error;
    EXPECT_TRUE(FileReplacement::moveIntoPlaceWithoutReplacing(temporary, final, &alreadyThere, &error));
    EXPECT_TRUE(alreadyThere);
    EXPECT_EQ(readBytes(final), QByteArray("old"));
    EXPECT_FALSE(exists(temporary));
}

TEST_F(TrackCopy, CopyKilledMidwayLeavesNoFileUnderTheFinalNameAndIsRetried)
{
    constexpr qsizetype size = 24 * 1024 * 1024;
    constexpr qsizetype limit = 3 * 1024 * 1024;
    const QString source = share.sourceFile(QStringLiteral("big.wav"), size);
    const QString destination = share.musicFolder() + QStringLiteral("/Artist/Album/big.wav");
    const QByteArray helper = INTERRUPTED_COPY_HELPER;
    QList<QByteArray> arguments{helper, source.toUtf8(), share.musicFolder().toUtf8(), "Artist", "Album", "big.wav",
                                QByteArray::number(limit)};
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, helper.constData(), nullptr, nullptr, argv.data(), environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the helper ended with status " << status;
    // The child is in the middle of the copy: kill it there.
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    EXPECT_FALSE(exists(destination));
    const QStringList left = listTree(share.musicFolder() + QStringLiteral("/Artist/Album"));
    ASSERT_EQ(left.size(), 1);
    const QString temporary = share.musicFolder() + QStringLiteral("/Artist/Album/") + left.first();
    EXPECT_TRUE(temporary.startsWith(TemporaryFile::prefixFor(destination)));
    EXPECT_LT(QFileInfo(temporary).size(), size);

    // The next run, once the killed copy has gone stale, copies the track
    // again and leaves nothing else behind.
    ASSERT_TRUE(setModificationTime(temporary, QDateTime::currentDateTime().addSecs(-TemporaryFile::staleAfterSeconds - 60)));
    auto track = makeTrack(QStringLiteral("T1"), source);
    track->setArtistPath(QStringLiteral("Artist"));
    track->setAlbumPath(QStringLiteral("Album"));
    track->setSongPath(QStringLiteral("big.wav"));
    EXPECT_TRUE(library.copyTrack(*track));
    EXPECT_EQ(QFileInfo(destination).size(), size);
    EXPECT_TRUE(readBytes(destination) == readBytes(source));
    EXPECT_EQ(library.counters().numTracksCopied, 1);
    EXPECT_EQ(listTree(share.musicFolder() + QStringLiteral("/Artist/Album")), QStringList{QStringLiteral("big.wav")});
}

TEST_F(TrackCopy, TheNextTracksFileIsCopiedAheadButPutInPlaceOnlyAtItsTurn)
{
    const SyncStage stage{library, library.counters(), library.reports(), library.sharePaths()};
    const QString folder = share.musicFolder() + QStringLiteral("/A/B");
    const auto destinationOf = [](const QString &song) {
        TrackDestinations::Destination destination;
        destination.artistPath = QStringLiteral("A");
        destination.albumPath = QStringLiteral("B");
        destination.songPath = song;
        destination.needsCopy = destination.foundAbsent = true;
        return destination;
    };
    const auto song = [&](const QString &name, qsizetype size) {
        return trackAt(share.sourceFile(name, size), QStringLiteral("A"), QStringLiteral("B"), name);
    };
    {
        TrackCopier copier(stage, true);
        Track first = song(QStringLiteral("01.mp3"), 100);
        Track second = song(QStringLiteral("02.mp3"), 200);
        const TrackDestinations::Destination secondDestination = destinationOf(QStringLiteral("02.mp3"));
        const TrackCopier::NextCopy next{second, secondDestination};
        ASSERT_TRUE(copier.copyTrack(first, true, {}, &next));
        // Before its turn the second file is at most a hidden temporary one.
        QStringList present = listTree(folder);
        EXPECT_TRUE(present.contains(QStringLiteral("01.mp3")));
        EXPECT_FALSE(present.contains(QStringLiteral("02.mp3")));
        for (const QString &name : present)
            EXPECT_TRUE(name == u"01.mp3" || name.startsWith(u'.')) << name.toStdString();

        ASSERT_TRUE(copier.copyTrack(second, true));
        EXPECT_EQ(readBytes(folder + QStringLiteral("/02.mp3")), readBytes(second.location()));
        EXPECT_EQ(listTree(folder), (QStringList{QStringLiteral("01.mp3"), QStringLiteral("02.mp3")}));
        EXPECT_EQ(library.counters().numTracksCopied, 2);

        // Not copied after all (a stop): the copy made ahead goes.
        Track third = song(QStringLiteral("03.mp3"), 300);
        Track fourth = song(QStringLiteral("04.mp3"), 400);
        const TrackDestinations::Destination fourthDestination = destinationOf(QStringLiteral("04.mp3"));
        const TrackCopier::NextCopy fourthNext{fourth, fourthDestination};
        ASSERT_TRUE(copier.copyTrack(third, true, {}, &fourthNext));
        copier.discardCopyAhead();
        EXPECT_EQ(listTree(folder),
                  (QStringList{QStringLiteral("01.mp3"), QStringLiteral("02.mp3"), QStringLiteral("03.mp3")}));

        // A copy that fails ahead is reported at its track's turn, as any.
        Track gone = trackAt(share.localMusic() + QStringLiteral("/gone.mp3"), QStringLiteral("A"),
                             QStringLiteral("B"), QStringLiteral("gone.mp3"));
        const TrackDestinations::Destination goneDestination = destinationOf(QStringLiteral("gone.mp3"));
        const TrackCopier::NextCopy goneNext{gone, goneDestination};
        ASSERT_TRUE(copier.copyTrack(fourth, true, {}, &goneNext));
        EXPECT_TRUE(recorder.linesOfActivity(2).isEmpty());
        EXPECT_FALSE(copier.copyTrack(gone, true));
        ASSERT_EQ(recorder.linesOfActivity(2).size(), 1);
        EXPECT_TRUE(recorder.linesOfActivity(2).first().startsWith(
            QStringLiteral("2|Failed to copy file|Error Code: 2;Error Domain: NSPOSIXErrorDomain;")));

        // One still in flight when the copier goes is removed with it.
        Track fifth = song(QStringLiteral("05.mp3"), 500);
        Track sixth = song(QStringLiteral("06.mp3"), 600);
        const TrackDestinations::Destination sixthDestination = destinationOf(QStringLiteral("06.mp3"));
        const TrackCopier::NextCopy sixthNext{sixth, sixthDestination};
        ASSERT_TRUE(copier.copyTrack(fifth, true, {}, &sixthNext));
    }
    EXPECT_EQ(listTree(folder), (QStringList{QStringLiteral("01.mp3"), QStringLiteral("02.mp3"), QStringLiteral("03.mp3"),
                                             QStringLiteral("04.mp3"), QStringLiteral("05.mp3")}));
    EXPECT_EQ(library.counters().numTracksCopied, 5);
    // Each track's line came at its own turn, in order.
    QStringList copying;
    for (const QString &line : recorder.lines())
        if (line.startsWith(u"1|Copying: "))
            copying.append(line.section(u'|', 1, 1).section(u'/', -1));
    EXPECT_EQ(copying, (QStringList{QStringLiteral("01.mp3"), QStringLiteral("02.mp3"), QStringLiteral("03.mp3"),
                                    QStringLiteral("04.mp3"), QStringLiteral("gone.mp3"), QStringLiteral("05.mp3")}));
}

TEST_F(TrackCopy, CopiesAreMadeAheadOnlyIntoFoldersThatAreThereAndOnRemoteFileSystems)
{
    const SyncStage stage{library, library.counters(), library.reports(), library.sharePaths()};
    TrackCopier copier(stage, true);
    Track first = trackAt(share.sourceFile(QStringLiteral("1.mp3")), QStringLiteral("A"), QStringLiteral("B"),
                          QStringLiteral("1.mp3"));
    Track elsewhere = trackAt(share.sourceFile(QStringLiteral("2.mp3")), QStringLiteral("A"), QStringLiteral("C"),
                              QStringLiteral("2.mp3"));
    TrackDestinations::Destination destination;
    destination.artistPath = QStringLiteral("A");
    destination.albumPath = QStringLiteral("C");
    destination.songPath = QStringLiteral("2.mp3");
    destination.needsCopy = destination.foundAbsent = true;
    const TrackCopier::NextCopy next{elsewhere, destination};
    ASSERT_TRUE(copier.copyTrack(first, true, {}, &next));
    // The next album's folder is made at its own turn, not ahead of it.
    EXPECT_FALSE(exists(share.musicFolder() + QStringLiteral("/A/C")));
    ASSERT_TRUE(copier.copyTrack(elsewhere, true));
    EXPECT_TRUE(exists(share.musicFolder() + QStringLiteral("/A/C/2.mp3")));

    EXPECT_FALSE(isRemoteFileSystem(share.sharePath()));
    EXPECT_FALSE(isRemoteFileSystem(share.sharePath() + QStringLiteral("/no such folder")));
}
