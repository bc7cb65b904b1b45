#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

const QByteArray Header = QByteArrayLiteral("<Library ID=\"LIB-ID\" Type=\"iTunes\" Name=\"Home\" SyncVersion=\"1.2.3\">\r\n");
const QByteArray EmptyPlaylists = QByteArrayLiteral("\t<Playlists>\r\n\t</Playlists>\r\n</Library>\r\n");

class LibraryFileWriter : public ::testing::Test {
protected:
    void SetUp() override { share.configure(library, true); }

    // A track the previous file already listed, so nothing is copied.
    std::shared_ptr<Track> listedTrack(const QString &id, const QString &location)
    {
        auto track = makeTrack(id, location);
        track->setStatus(0);
        library.tracks().insert(id, track);
        library.sortedTracks().append(id);
        return track;
    }

    QByteArray written() const { return readBytes(share.tracksFile()); }

    ShareFixture share;
    MusicLibrary library;
};

} // namespace

TEST_F(LibraryFileWriter, TrackWithEveryFieldAbsentKeepsEveryAttribute)
{
    listedTrack(QStringLiteral("T1"), QStringLiteral("/m/Artist/Album/song.mp3"));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    EXPECT_EQ(written(),
              Header + "\t<Songs>\r\n"
                       "\t\t<Song Album=\"\" AlbumArtist=\"\" AlbumID=\"\" Artists=\"\" BitRate=\"0\" Composers=\"\" "
                       "Conductor=\"\" Disc=\"0\" Duration=\"0.000000\" Genres=\"\" ID=\"T1\" \r\n"
                       " Location=\"\\\\10.0.0.5\\OrvanaMusic\\Music\\Artist\\Album\\song.mp3\" Released=\"0\" "
                       "SampleRate=\"0\" Size=\"0\" Title=\"\" TotalDiscs=\"0\" TotalTracks=\"0\" Track=\"0\" "
                       "Type=\"\"></Song>\r\n"
                       "\t</Songs>\r\n"
                  + EmptyPlaylists);
}

TEST_F(LibraryFileWriter, EscapesTextAndWritesNumbersInTheirForms)
{
    auto track = listedTrack(QStringLiteral("T&1"), QStringLiteral("/m/AC&DC/Rock 'n' Roll/01 It's.mp3"));
    track->setAlbum(QStringLiteral("a &amp; b"));
    track->setAlbumArtist(QStringLiteral("Simon & Garfunkel"));
    track->setAlbumID(QStringLiteral("AC&DC-Rock 'n' Roll"));
    track->setArtists(QStringLiteral("<x> & 'y'"));
    track->setBitRate(-128);
    track->setComposers(QStringLiteral("C\u00e9sar \U0001F3B5"));
    track->setConductors(QStringLiteral(""));
    track->setDisc(-1);
    track->setDuration(215500.0f);
    track->setGenres(QStringLiteral("Rock>Pop"));
    track->setReleased(1999);
    track->setSampleRate(44100);
    track->setSize(-2147483647 - 1);
    track->setTitle(QStringLiteral("Say \"Hi\""));
    track->setTotalDiscs(2);
    track->setTotalTracks(12);
    track->setTrack(7);
    track->setType(QStringLiteral("mp3"));
    auto second = listedTrack(QStringLiteral("T2"), QStringLiteral("/m/A/B/c.m4a"));
    second->setDuration(1234.5f);
    auto third = listedTrack(QStringLiteral("T3"), QStringLiteral("/m/A/B/d.m4a"));
    third->setDuration(0.1f);

    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    const QByteArray bytes = written();
    EXPECT_TRUE(bytes.startsWith(QByteArray(Header + "\t<Songs>\r\n")));
    EXPECT_TRUE(bytes.contains(
        "\t\t<Song Album=\"a &amp;amp; b\" AlbumArtist=\"Simon &amp; Garfunkel\" "
        "AlbumID=\"AC&amp;DC-Rock &apos;n&apos; Roll\" Artists=\"&lt;x&gt; &amp; &apos;y&apos;\" BitRate=\"-128\" "
        "Composers=\"C\xC3\xA9sar \xF0\x9F\x8E\xB5\" Conductor=\"\" Disc=\"-1\" Duration=\"215500.000000\" "
        "Genres=\"Rock&gt;Pop\" ID=\"T&amp;1\" \r\n"
        " Location=\"\\\\10.0.0.5\\OrvanaMusic\\Music\\AC&amp;DC\\Rock &apos;n&apos; Roll\\01 It&apos;s.mp3\" "
        "Released=\"1999\" SampleRate=\"44100\" Size=\"-2147483648\" Title=\"Say &quot;Hi&quot;\" TotalDiscs=\"2\" "
        "TotalTracks=\"12\" Track=\"7\" Type=\"mp3\"></Song>\r\n"));
    EXPECT_TRUE(bytes.contains(" Duration=\"1234.500000\" Genres=\"\" ID=\"T2\" \r\n"));
    EXPECT_TRUE(bytes.contains(" Duration=\"0.100000\" Genres=\"\" ID=\"T3\" \r\n"));
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count("\n"));
}

TEST_F(LibraryFileWriter, ConvertToValidStringRoundTripsThroughAnXmlReader)
{
    EXPECT_EQ(MusicLibrary::convertToValidString(QString()), QStringLiteral(""));
    EXPECT_FALSE(MusicLibrary::convertToValidString(QString()).isNull());
    EXPECT_EQ(MusicLibrary::convertToValidString(QStringLiteral("&amp;<>'\"")),
              QStringLiteral("&amp;amp;&lt;&gt;&apos;&quot;"));
    // Characters XML cannot hold at all are dropped instead of making the
    // whole file unreadable; tabs and line ends stay.
    EXPECT_EQ(MusicLibrary::convertToValidString(QStringLiteral("a\u0001b\tc\u000Bd") + QChar(0xD800) + u'e'),
              QStringLiteral("ab\tcde"));
}

TEST_F(LibraryFileWriter, HeaderValuesAreEscaped)
{
    library.setSyncVersion(QStringLiteral("2.0 \"beta\""));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Tom & Jerry <3")));
    EXPECT_TRUE(written().startsWith(
        "<Library ID=\"LIB-ID\" Type=\"iTunes\" Name=\"Tom &amp; Jerry &lt;3\" SyncVersion=\"2.0 &quot;beta&quot;\">\r\n"));
    // The next run can read what was written.
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
}

TEST_F(LibraryFileWriter, SkipsShortPathsCopyProtectedAndOtherStatuses)
{
    listedTrack(QStringLiteral("short"), QStringLiteral("/Album/song.mp3"));
    listedTrack(QStringLiteral("relative"), QStringLiteral("Artist/Album/song.mp3"));
    listedTrack(QStringLiteral("drm"), QStringLiteral("/m/A/B/drm.m4p"))->setDRMProtected(true);
    listedTrack(QStringLiteral("odd"), QStringLiteral("/m/A/B/odd.mp3"))->setStatus(2);
    listedTrack(QStringLiteral("ok"), QStringLiteral("/m/A/B/ok.mp3"));
    library.sortedTracks().append(QStringLiteral("not-imported"));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    const QByteArray bytes = written();
    EXPECT_EQ(bytes.count("<Song "), 1);
    EXPECT_TRUE(bytes.contains("ID=\"ok\""));
    EXPECT_EQ(library.counters().numTracksProcessed, 6);
    EXPECT_EQ(library.counters().numSkippedDRMTracks, 1);
    EXPECT_EQ(library.counters().numTracksCopyFailure, 0);
    EXPECT_EQ(library.counters().numTracksCopied, 0);
}

TEST_F(LibraryFileWriter, PlaylistSectionFollowsSelectionAndNames)
{
    listedTrack(QStringLiteral("T1"), QStringLiteral("/m/A/B/1.mp3"));
    listedTrack(QStringLiteral("T2"), QStringLiteral("/m/A/B/2.mp3"));
    auto addPlaylist = [&](const QString &id, const QString &name, QStringList members, bool selected) {
        auto playlist = std::make_shared<FakePlaylist>(id, name, std::move(members), selected);
        library.playlists().insert(id, playlist);
        return playlist;
    };
    addPlaylist(QStringLiteral("P1"), QStringLiteral("Road & Trip"),
                {QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("T9")}, true);
    addPlaylist(QStringLiteral("P2"), QStringLiteral("Library"), {QStringLiteral("T1")}, true);
    addPlaylist(QStringLiteral("P3"), QStringLiteral("Music"), {QStringLiteral("T1")}, true);
    addPlaylist(QStringLiteral("P4"), QStringLiteral("Empty"), {}, true);
    auto unselected = addPlaylist(QStringLiteral("P5"), QStringLiteral("Not me"), {QStringLiteral("T1")}, false);
    addPlaylist(QStringLiteral("P6"), QStringLiteral("Again"), {QStringLiteral("T2"), QStringLiteral("T1")}, true);
    library.playlists().insert(QStringLiteral("P7"), nullptr);

    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    const QByteArray bytes = written();
    const qsizetype playlistsStart = bytes.indexOf("\t<Playlists>\r\n");
    ASSERT_GE(playlistsStart, 0);
    EXPECT_EQ(bytes.mid(playlistsStart),
              QByteArray("\t<Playlists>\r\n"
                         "\t\t<Playlist ID=\"P1\" Name=\"Road &amp; Trip\">\r\n"
                         "\t\t\t<Track ID=\"T1\" />\r\n"
                         "\t\t\t<Track ID=\"T2\" />\r\n"
                         "\t\t\t<Track ID=\"T9\" />\r\n"
                         "\t\t</Playlist>\r\n"
                         "\t\t<Playlist ID=\"P6\" Name=\"Again\">\r\n"
                         "\t\t\t<Track ID=\"T2\" />\r\n"
                         "\t\t\t<Track ID=\"T1\" />\r\n"
                         "\t\t</Playlist>\r\n"
                         "\t</Playlists>\r\n"
                         "</Library>\r\n"));
    EXPECT_EQ(unselected->loads, 0);
    // A playlist is expanded once; a later run does not ask again.
    auto first = std::static_pointer_cast<FakePlaylist>(library.playlists().value(QStringLiteral("P1")));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    EXPECT_EQ(first->loads, 1);
}

TEST_F(LibraryFileWriter, SelectedPlaylistsModeListsTheUnionOnceInLibraryOrder)
{
    share.configure(library, false);
    for (const char *id : {"T1", "T2", "T3", "T4"})
        listedTrack(QString::fromLatin1(id), QStringLiteral("/m/A/B/%1.mp3").arg(QString::fromLatin1(id)));
    library.playlists().insert(QStringLiteral("P1"), std::make_shared<FakePlaylist>(
        QStringLiteral("P1"), QStringLiteral("One"), QStringList{QStringLiteral("T3"), QStringLiteral("T1")}));
    library.playlists().insert(QStringLiteral("P2"), std::make_shared<FakePlaylist>(
        QStringLiteral("P2"), QStringLiteral("Two"), QStringList{QStringLiteral("T1"), QStringLiteral("T3")}));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    const QByteArray bytes = written();
    EXPECT_EQ(bytes.count("<Song "), 2);
    EXPECT_LT(bytes.indexOf("ID=\"T1\" \r\n"), bytes.indexOf("ID=\"T3\" \r\n"));
    EXPECT_EQ(library.counters().numTracksProcessed, 2);
    ASSERT_TRUE(library.tracksToSync().has_value());
    EXPECT_EQ(library.tracksToSync()->keys(), (QStringList{QStringLiteral("T1"), QStringLiteral("T3")}));
}

TEST_F(LibraryFileWriter, SelectingOnlyLibraryAndMusicGivesEmptySections)
{
    share.configure(library, false);
    listedTrack(QStringLiteral("T1"), QStringLiteral("/m/A/B/1.mp3"));
    library.playlists().insert(QStringLiteral("P2"), std::make_shared<FakePlaylist>(
        QStringLiteral("P2"), QStringLiteral("Library"), QStringList{QStringLiteral("T1")}));
    library.playlists().insert(QStringLiteral("P3"), std::make_shared<FakePlaylist>(
        QStringLiteral("P3"), QStringLiteral("Music"), QStringList{QStringLiteral("T1")}));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    EXPECT_EQ(written(), Header + "\t<Songs>\r\n\t</Songs>\r\n" + EmptyPlaylists);
}

TEST_F(LibraryFileWriter, NoSelectedPlaylistGivesEmptySongs)
{
    share.configure(library, false);
    listedTrack(QStringLiteral("T1"), QStringLiteral("/m/A/B/1.mp3"));
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    EXPECT_EQ(written(), Header + "\t<Songs>\r\n\t</Songs>\r\n" + EmptyPlaylists);
    EXPECT_TRUE(library.tracksToSync().has_value());
    EXPECT_TRUE(library.tracksToSync()->isEmpty());
}

TEST_F(LibraryFileWriter, EachEntryOfTheLibraryOrderIsWrittenForTheTrackItNames)
{
    // An identifier without a track is passed over and one listed twice is
    // written twice, each entry for its own track, in library order.
    listedTrack(QStringLiteral("T2"), QStringLiteral("/m/B/B/two.mp3"));
    listedTrack(QStringLiteral("T1"), QStringLiteral("/m/A/A/one.mp3"));
    library.sortedTracks() = {QStringLiteral("T1"), QStringLiteral("GONE"), QStringLiteral("T2"), QStringLiteral("T1")};
    ASSERT_TRUE(library.writeXMLTracks(QStringLiteral("LIB-ID"), QStringLiteral("Home")));
    const QByteArray file = written();
    QList<QByteArray> order;
    for (qsizetype at = file.indexOf(" ID=\""); at >= 0; at = file.indexOf(" ID=\"", at + 1))
        order.append(file.mid(at + 5, 2));
    EXPECT_EQ(order, (QList<QByteArray>{"LI", "T1", "T2", "T1"}));
    EXPECT_TRUE(file.contains("\\Music\\A\\A\\one.mp3\""));
    EXPECT_TRUE(file.contains("\\Music\\B\\B\\two.mp3\""));
    EXPECT_EQ(library.counters().numTracksProcessed, 4);
}
