#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"
#include "library/TrackDestinations.h"

#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

// Runs the library-file stages over a share and reads back what the server
// would see: each listed Location and the bytes of the file it names.
class TrackDestination : public ::testing::Test {
protected:
    void SetUp() override { share.configure(library, true); }

    // A track whose source file has a size of its own, so every file on the
    // share tells which track it came from.
    std::shared_ptr<Track> addTrack(const QString &id, const QString &relative)
    {
        auto track = makeTrack(id, share.sourceFile(relative, 100 + library.tracks().size()));
        library.tracks().insert(id, track);
        library.sortedTracks().append(id);
        return track;
    }

    void runTrackStages()
    {
        ASSERT_TRUE(library.syncTracks(library.sharePaths().xmlTracksPath));
        ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    }

    // Track ID -> the share-relative path its Location names.
    QMap<QString, QString> listedPaths() const
    {
        QMap<QString, QString> result;
        static const QRegularExpression song(QStringLiteral("ID=\"([^\"]*)\" \r\n Location=\"([^\"]*)\""));
        const QString text = QString::fromUtf8(readBytes(share.tracksFile()));
        for (auto match = song.globalMatch(text); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            const QString prefix = QStringLiteral("\\\\10.0.0.5\\OrvanaMusic\\Music\\");
            EXPECT_TRUE(found.captured(2).startsWith(prefix)) << found.captured(2).toStdString();
            result.insert(found.captured(1), found.captured(2).mid(prefix.size()).replace(u'\\', u'/'));
        }
        return result;
    }

    // Every track is listed, at a path of its own, naming its own audio.
    void expectEveryTrackInItsOwnFile()
    {
        const QMap<QString, QString> listed = listedPaths();
        EXPECT_EQ(listed.size(), library.tracks().size());
        QSet<QString> paths;
        for (auto entry = listed.constKeyValueBegin(); entry != listed.constKeyValueEnd(); ++entry) {
            EXPECT_FALSE(paths.contains(entry->second.toLower())) << entry->second.toStdString();
            paths.insert(entry->second.toLower());
            for (const QString &part : entry->second.split(u'/')) {
                EXPECT_FALSE(part.trimmed().isEmpty()) << entry->second.toStdString();
                EXPECT_EQ(library.validateFileName(part), part);
            }
            EXPECT_EQ(readBytes(share.musicFolder() + u'/' + entry->second),
                      readBytes(library.tracks().value(entry->first)->location()))
                << entry->first.toStdString();
        }
    }

    ShareFixture share;
    MusicLibrary library;
};

} // namespace

TEST_F(TrackDestination, NamesInOtherScriptsAndNamesThatDifferInDroppedCharactersGetFilesOfTheirOwn)
{
    addTrack(QStringLiteral("K1"), QStringLiteral("\ubc29\ud0c4\uc18c\ub144\ub2e8/\ud654\uc591\uc5f0\ud654/01 \ubd04\ub0a0.mp3"));
    addTrack(QStringLiteral("K2"), QStringLiteral("\ubc29\ud0c4\uc18c\ub144\ub2e8/\ud654\uc591\uc5f0\ud654/\ubd04\ub0a0.mp3"));
    addTrack(QStringLiteral("K3"), QStringLiteral("\ubc29\ud0c4\uc18c\ub144\ub2e8/\ud654\uc591\uc5f0\ud654/\uc0c1\ub0a8\uc790.mp3"));
    addTrack(QStringLiteral("J1"), QStringLiteral("\u3042\u3044\u307f\u3087\u3093/\u3042\u3044\u307f\u3087\u3093/\u30de\u30ea\u30fc\u30b4\u30fc\u30eb\u30c9.m4a"));
    addTrack(QStringLiteral("G1"), QStringLiteral("\u0392\u03b1\u03b3\u03b3\u03ad\u03bb\u03b7\u03c2/\u0386\u03bb\u03bc\u03c0\u03bf\u03c5\u03bc/\u03a4\u03c1\u03b1\u03b3\u03bf\u03cd\u03b4\u03b9.flac"));
    addTrack(QStringLiteral("C1"), QStringLiteral("\u041a\u0438\u043d\u043e/\u0413\u0440\u0443\u043f\u043f\u0430 \u043a\u0440\u043e\u0432\u0438/\u041a\u0443\u043a\u0443\u0448\u043a\u0430.mp3"));
    // Only a symbol: nothing to transliterate.
    addTrack(QStringLiteral("S1"), QStringLiteral("\u2605/\u2606/\u2665.mp3"));
    // Two tracks whose names differ only in characters the rule drops.
    addTrack(QStringLiteral("D1"), QStringLiteral("Artist/Album/Caf\u00e9.mp3"));
    addTrack(QStringLiteral("D2"), QStringLiteral("Artist/Album/Caf\u00ea.mp3"));
    addTrack(QStringLiteral("D3"), QStringLiteral("Artist/Album/CAF?.mp3"));

    runTrackStages();
    expectEveryTrackInItsOwnFile();

    const QMap<QString, QString> listed = listedPaths();
    // Names the rule handles well stay as they always were.
    EXPECT_EQ(listed.value(QStringLiteral("D1")), QStringLiteral("Artist/Album/Caf.mp3"));
    EXPECT_EQ(listed.value(QStringLiteral("K1")).section(u'/', 2), QStringLiteral("01 .mp3"));
    // The others are transliterated, or else named after what they are.
    EXPECT_EQ(listed.value(QStringLiteral("C1")), QStringLiteral("Kino/Gruppa krovi/Kukuska.mp3"));
    EXPECT_EQ(listed.value(QStringLiteral("G1")), QStringLiteral("Bangeles/Almpoum/Tragoudi.flac"));
    EXPECT_TRUE(listed.value(QStringLiteral("K3")).startsWith(QStringLiteral("bangtansonyeondan/hwayang")));
    EXPECT_EQ(listed.value(QStringLiteral("J1")), QStringLiteral("aimyon/aimyon/marigorudo.m4a"));
    EXPECT_EQ(listed.value(QStringLiteral("S1")), QStringLiteral("Unknown Artist/Unknown Album/S1.mp3"));
    EXPECT_EQ(listed.value(QStringLiteral("D2")), QStringLiteral("Artist/Album/Caf (D2).mp3"));
    EXPECT_EQ(listed.value(QStringLiteral("D3")), QStringLiteral("Artist/Album/CAF (D3).mp3"));
    EXPECT_EQ(library.counters().numTracksCopied, 10);

    // The next run reads that file back: nothing moves, nothing is copied.
    const QByteArray first = readBytes(share.tracksFile());
    for (const auto &track : library.tracks())
        track->setStatus(1);
    runTrackStages();
    EXPECT_EQ(readBytes(share.tracksFile()), first);
    EXPECT_EQ(library.counters().numTracksCopied, 0);
}

// A name fits in its file system here and may not on the share once it is
// transliterated (a Chinese character of three bytes becomes up to six
// letters) or given its persistent ID.
TEST_F(TrackDestination, NamesThatWouldGrowPastWhatAFileSystemHoldsAreCutAndKeepTheirExtension)
{
    const QString chinese = QStringLiteral("\u4ea4\u54cd\u66f2").repeated(26);
    const QString longStem = QStringLiteral("x").repeated(248);
    addTrack(QStringLiteral("L1"), chinese + u'/' + chinese + u'/' + chinese + QStringLiteral(".flac"));
    addTrack(QStringLiteral("L2"), QStringLiteral("Artist/Album/") + longStem + QStringLiteral("\u00e9.mp3"));
    addTrack(QStringLiteral("L3"), QStringLiteral("Artist/Album/") + longStem + QStringLiteral("\u00ea.mp3"));

    runTrackStages();
    expectEveryTrackInItsOwnFile();
    const QMap<QString, QString> listed = listedPaths();
    for (const QString &path : listed) {
        for (const QString &part : path.split(u'/'))
            EXPECT_LE(part.toUtf8().size(), 255) << part.toStdString();
    }
    EXPECT_TRUE(listed.value(QStringLiteral("L1")).startsWith(QStringLiteral("jiao xiang qu jiao"))) << listed.value(QStringLiteral("L1")).toStdString();
    EXPECT_TRUE(listed.value(QStringLiteral("L1")).endsWith(QStringLiteral(".flac")));
    EXPECT_FALSE(listed.value(QStringLiteral("L1")).section(u'/', 2).contains(QStringLiteral(" .flac")));
    EXPECT_EQ(listed.value(QStringLiteral("L2")), QString(QStringLiteral("Artist/Album/") + longStem + QStringLiteral(".mp3")));
    EXPECT_EQ(listed.value(QStringLiteral("L3")),
              QString(QStringLiteral("Artist/Album/") + longStem.left(255 - 9) + QStringLiteral(" (L3).mp3")));
    EXPECT_EQ(library.counters().numTracksCopied, 3);
}

TEST_F(TrackDestination, AForeignFileUnderANewTracksNameStaysAndTheTrackGetsANameOfItsOwn)
{
    addTrack(QStringLiteral("T1"), QStringLiteral("Artist/Album/Song.mp3"));
    addTrack(QStringLiteral("T2"), QStringLiteral("Artist/Album/Other.mp3"));
    writeBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Song.mp3"), "another library's song");
    // Same size as the source: taken to be this track, copied by a run whose
    // library file never got written.
    writeBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Other.mp3"),
               readBytes(library.tracks().value(QStringLiteral("T2"))->location()));
    // Same size, other bytes: another library's rip under the same names.
    addTrack(QStringLiteral("T3"), QStringLiteral("Unknown Artist/Unknown Album/01 Track 01.mp3"));
    const QByteArray theirRip(readBytes(library.tracks().value(QStringLiteral("T3"))->location()).size(), 'z');
    writeBytes(share.musicFolder() + QStringLiteral("/Unknown Artist/Unknown Album/01 Track 01.mp3"), theirRip);
    // Large files are compared where the audio lies: a copy whose tags were
    // edited in place is this track's; one with other audio is not.
    QByteArray audio(256 * 1024, Qt::Uninitialized);
    for (qsizetype index = 0; index < audio.size(); ++index)
        audio[index] = char(index * 7 % 251);
    auto tagged = addTrack(QStringLiteral("T4"), QStringLiteral("Artist/Album/Tagged.mp3"));
    writeBytes(tagged->location(), audio);
    QByteArray retagged = audio;
    retagged.replace(0, 10, "ID3 edited");
    retagged.replace(retagged.size() - 128, 10, "TAG edited");
    writeBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Tagged.mp3"), retagged);
    auto live = addTrack(QStringLiteral("T5"), QStringLiteral("Artist/Album/Live.mp3"));
    writeBytes(live->location(), audio);
    QByteArray otherTake = audio;
    otherTake[otherTake.size() / 4 * 3 + 100] = 'x';
    writeBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Live.mp3"), otherTake);

    runTrackStages();
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Song.mp3")), "another library's song");
    EXPECT_EQ(listedPaths().value(QStringLiteral("T1")), QStringLiteral("Artist/Album/Song (T1).mp3"));
    EXPECT_EQ(listedPaths().value(QStringLiteral("T2")), QStringLiteral("Artist/Album/Other.mp3"));
    EXPECT_EQ(listedPaths().value(QStringLiteral("T3")), QStringLiteral("Unknown Artist/Unknown Album/01 Track 01 (T3).mp3"));
    EXPECT_EQ(readBytes(share.musicFolder() + QStringLiteral("/Unknown Artist/Unknown Album/01 Track 01.mp3")), theirRip);
    EXPECT_EQ(listedPaths().value(QStringLiteral("T4")), QStringLiteral("Artist/Album/Tagged.mp3"));
    EXPECT_EQ(listedPaths().value(QStringLiteral("T5")), QStringLiteral("Artist/Album/Live (T5).mp3"));
    EXPECT_TRUE(readBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Live (T5).mp3")) == audio);
    EXPECT_EQ(library.counters().numTracksCopied, 3);

    // Listed once, the track keeps its name although the foreign file stays.
    const QByteArray first = readBytes(share.tracksFile());
    runTrackStages();
    EXPECT_EQ(readBytes(share.tracksFile()), first);
    EXPECT_EQ(library.counters().numTracksCopied, 0);
}

TEST_F(TrackDestination, ASharePointingTwoTracksAtOneFileIsMended)
{
    // An earlier version listed both tracks at one file, and the nameless
    // folders of a Korean track collapsed into the music folder.
    addTrack(QStringLiteral("A1"), QStringLiteral("Artist/Album/Caf\u00e9.mp3"));
    addTrack(QStringLiteral("A2"), QStringLiteral("Artist/Album/Caf\u00ea.mp3"));
    addTrack(QStringLiteral("K1"), QStringLiteral("\ud654\uc591/\uc5f0\ud654/\ubd04.mp3"));
    writeBytes(share.musicFolder() + QStringLiteral("/Artist/Album/Caf.mp3"),
               readBytes(library.tracks().value(QStringLiteral("A1"))->location()));
    writeBytes(share.musicFolder() + QStringLiteral("/.mp3"), readBytes(library.tracks().value(QStringLiteral("K1"))->location()));
    writeBytes(share.tracksFile(), "<Library><Songs>"
                                   "<Song ID=\"A1\" Location=\"\\\\old\\OrvanaMusic\\Music\\Artist\\Album\\Caf.mp3\"/>"
                                   "<Song ID=\"A2\" Location=\"\\\\old\\OrvanaMusic\\Music\\Artist\\Album\\Caf.mp3\"/>"
                                   "<Song ID=\"K1\" Location=\"\\\\old\\OrvanaMusic\\Music\\\\\\.mp3\"/>"
                                   "</Songs></Library>");

    runTrackStages();
    EXPECT_EQ(library.counters().numTracksUnchanged, 3);
    expectEveryTrackInItsOwnFile();
    EXPECT_EQ(listedPaths().value(QStringLiteral("A1")), QStringLiteral("Artist/Album/Caf.mp3"));
    EXPECT_EQ(listedPaths().value(QStringLiteral("A2")), QStringLiteral("Artist/Album/Caf (A2).mp3"));
    EXPECT_EQ(listedPaths().value(QStringLiteral("K1")), QStringLiteral("hwayang/yeonhwa/bom.mp3"));
    EXPECT_EQ(library.counters().numTracksCopied, 2);
}

TEST(TrackDestinationRule, LocationsOfTheLibraryFileAndUnsafeNames)
{
    EXPECT_EQ(TrackDestinations::listedPathOfLocation(QStringLiteral("\\\\10.0.0.5\\OrvanaMusic\\Music\\A\\B\\c.mp3")),
              QStringLiteral("A/B/c.mp3"));
    EXPECT_TRUE(TrackDestinations::listedPathOfLocation(QStringLiteral("\\\\s\\OrvanaMusic\\Other\\A\\B\\c.mp3")).isNull());
    EXPECT_TRUE(TrackDestinations::listedPathOfLocation(QStringLiteral("A\\B\\c.mp3")).isNull());
    // Names beyond ASCII and "Music" in any case; another folder in its place
    // is not the music folder, whatever its letters.
    EXPECT_EQ(TrackDestinations::listedPathOfLocation(
                  QStringLiteral(u"\\\\s\\OrvanaMusic\\MUSIC\\Bj\u00F6rk\\\u6625\\J\u00F3ga.mp3")),
              QStringLiteral(u"Bj\u00F6rk/\u6625/J\u00F3ga.mp3"));
    EXPECT_TRUE(TrackDestinations::listedPathOfLocation(QStringLiteral(u"\\\\s\\OrvanaMusic\\M\u00FCsic\\A\\B\\c.mp3"))
                    .isNull());
    EXPECT_TRUE(TrackDestinations::listedPathOfLocation(QStringLiteral("\\\\s\\Musics\\A\\B\\c.mp3")).isNull());

    // Folders named "." or ".." are refused, never followed out of the music folder.
    ShareFixture share;
    MusicLibrary library;
    share.configure(library, true);
    auto track = makeTrack(QStringLiteral("T1"), QStringLiteral("/m/../../x.mp3"));
    library.tracks().insert(QStringLiteral("T1"), track);
    library.sortedTracks().append(QStringLiteral("T1"));
    auto shallow = makeTrack(QStringLiteral("T2"), QStringLiteral("m/x.mp3"));
    library.tracks().insert(QStringLiteral("T2"), shallow);
    library.sortedTracks().append(QStringLiteral("T2"));
    library.planTrackDestinations();
    const auto destination = library.trackDestination(*track);
    ASSERT_TRUE(destination.has_value());
    EXPECT_EQ(destination->relativePath(), QStringLiteral("../../x.mp3"));
    EXPECT_FALSE(destination->refusal.isNull());
    EXPECT_TRUE(destination->needsCopy);
    EXPECT_FALSE(library.trackDestination(*shallow).has_value());

    EXPECT_FALSE(TrackDestinations::unsafeReason(QString(), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")).isNull());
    EXPECT_FALSE(TrackDestinations::unsafeReason(QStringLiteral("/s"), QStringLiteral(".."), QStringLiteral("b"), QStringLiteral("c")).isNull());
    EXPECT_TRUE(TrackDestinations::unsafeReason(QStringLiteral("/s"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")).isNull());
}

TEST(TrackDestinationRule, DroppingCharactersWhereverTheyStand)
{
    CharacterSet removed;
    removed.addCharacters(u"?:*");
    removed.addRange(0xD800, 0xDBFF); // a lone lead surrogate goes, its trail stays
    const auto without = [&removed](const QString &name) { return TrackDestinations::withoutCharacters(removed, name); };
    EXPECT_EQ(without(QStringLiteral("Plain name")), QStringLiteral("Plain name"));
    EXPECT_EQ(without(QStringLiteral("?Who")), QStringLiteral("Who"));
    EXPECT_EQ(without(QStringLiteral("Wh*o")), QStringLiteral("Who"));
    EXPECT_EQ(without(QStringLiteral("Who?")), QStringLiteral("Who"));
    EXPECT_EQ(without(QStringLiteral("?:*")), QStringLiteral(""));
    EXPECT_FALSE(without(QStringLiteral("?:*")).isNull());
    EXPECT_EQ(without(QString::fromUtf16(u"a\U0001F600b")), QString::fromUtf16(u"a\xDE00" u"b"));
    EXPECT_TRUE(without(QString()).isNull());
    EXPECT_FALSE(without(QStringLiteral("")).isNull());
}

TEST_F(TrackDestination, AnotherTracksFileLandingInANewAlbumDuringTheRunStaysAndTheTrackGetsANameOfItsOwn)
{
    addTrack(QStringLiteral("T1"), QStringLiteral("Artist/New Album/One.mp3"));
    addTrack(QStringLiteral("T2"), QStringLiteral("Artist/New Album/Two.mp3"));
    const QString twoOnShare = share.musicFolder() + QStringLiteral("/Artist/New Album/Two.mp3");
    // Another run copies its own "Two.mp3" into the album while this one
    // copies the first track: the folder was missing when the run began.
    library.setNotifySink([&](const Notify &notify) {
        if (notify.title().startsWith(QStringLiteral("Copying: ")) && notify.title().endsWith(QStringLiteral("/One.mp3")))
            writeBytes(twoOnShare, "the other run's song");
    });

    runTrackStages();
    EXPECT_EQ(readBytes(twoOnShare), "the other run's song");
    EXPECT_EQ(listedPaths().value(QStringLiteral("T2")), QStringLiteral("Artist/New Album/Two (T2).mp3"));
    expectEveryTrackInItsOwnFile();
    EXPECT_EQ(library.counters().numTracksCopied, 2);
}
