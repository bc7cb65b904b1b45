#include "itunes/ExportLibraryReader.h"

#include "platform/ValueLimit.h"

#include "tests/itunes/ExportFileBuilder.h"
#include "tests/support/TestFiles.h"

#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Fields = ExportFileBuilder::Fields;

ExportLibraryReader readXml(const QByteArray &xml, bool expectSuccess = true)
{
    ExportLibraryReader reader;
    const bool ok = reader.readBytes(xml);
    EXPECT_EQ(ok, expectSuccess) << reader.error().localizedDescription().toStdString();
    return reader;
}

TEST(ExportLibraryReader, ReadsEveryTrackField)
{
    ExportFileBuilder builder;
    Fields fields = ExportFileBuilder::track(7, QStringLiteral("ABCDEF0123456789"),
                                             QStringLiteral("file:///Music/Artist/Album/01%20Song.mp3"), QStringLiteral("Song"));
    fields += Fields{{QStringLiteral("Artist"), QStringLiteral("Artist")},
                     {QStringLiteral("Album Artist"), QStringLiteral("Album Artist")},
                     {QStringLiteral("Album"), QStringLiteral("Album & Co")},
                     {QStringLiteral("Composer"), QStringLiteral("Composer")},
                     {QStringLiteral("Genre"), QStringLiteral("Genre")},
                     {QStringLiteral("Kind"), QStringLiteral("MPEG audio file")},
                     {QStringLiteral("Size"), qint64(5000000000)},
                     {QStringLiteral("Total Time"), qint64(215500)},
                     {QStringLiteral("Disc Number"), 1}, {QStringLiteral("Disc Count"), 2},
                     {QStringLiteral("Track Number"), 3}, {QStringLiteral("Track Count"), 12},
                     {QStringLiteral("Year"), 1999}, {QStringLiteral("Bit Rate"), 256},
                     {QStringLiteral("Sample Rate"), 44100},
                     {QStringLiteral("Date Added"), QVariant::fromValue(ExportFileBuilder::RawXml{"<date>2020-01-01T00:00:00Z</date>"})},
                     {QStringLiteral("Nested"), QVariant::fromValue(ExportFileBuilder::RawXml{"<dict><key>a</key><array><integer>1</integer></array></dict>"})}};
    builder.addTrack(7, fields);
    const ExportLibraryReader reader = readXml(builder.toXml());
    ASSERT_EQ(reader.contents().tracks.size(), 1u);
    const MusicTrackProperties &track = reader.contents().tracks.front()->properties();
    EXPECT_EQ(track.persistentID, QStringLiteral("ABCDEF0123456789"));
    EXPECT_EQ(track.location, QStringLiteral("/Music/Artist/Album/01 Song.mp3"));
    EXPECT_EQ(track.name, QStringLiteral("Song"));
    EXPECT_EQ(track.album, QStringLiteral("Album & Co"));
    EXPECT_EQ(track.albumArtist, QStringLiteral("Album Artist"));
    EXPECT_EQ(track.composer, QStringLiteral("Composer"));
    EXPECT_EQ(track.genre, QStringLiteral("Genre"));
    EXPECT_EQ(track.size, 5000000000);
    EXPECT_DOUBLE_EQ(track.duration, 215.5);
    EXPECT_EQ(track.discNumber, 1);
    EXPECT_EQ(track.discCount, 2);
    EXPECT_EQ(track.trackNumber, 3);
    EXPECT_EQ(track.trackCount, 12);
    EXPECT_EQ(track.year, 1999);
    EXPECT_EQ(track.bitRate, 256);
    EXPECT_EQ(track.sampleRate, 44100);
    EXPECT_EQ(track.databaseID, 7);
    EXPECT_EQ(reader.warningCount(), 0);
}

TEST(ExportLibraryReader, KeepsPlaylistsWithTheirItemsAndTheMasterFlag)
{
    ExportFileBuilder builder;
    builder.addTrack(1, ExportFileBuilder::track(1, QStringLiteral("A1"), QStringLiteral("/a.mp3"), QStringLiteral("a")));
    builder.addTrack(2, ExportFileBuilder::track(2, QStringLiteral("A2"), QStringLiteral("/b.mp3"), QStringLiteral("b")));
    builder.addPlaylist(QStringLiteral("Library"), QStringLiteral("P0"), {2, 1}, true);
    builder.addPlaylist(QStringLiteral("Mix"), QStringLiteral("P1"), {1, 1, 2});
    const ExportLibraryReader reader = readXml(builder.toXml());
    const auto &playlists = reader.contents().playlists;
    ASSERT_EQ(playlists.size(), 2u);
    EXPECT_TRUE(playlists[0].master);
    EXPECT_EQ(playlists[0].trackIDs, (std::vector<qint64>{2, 1}));
    EXPECT_FALSE(playlists[1].master);
    EXPECT_EQ(playlists[1].name, QStringLiteral("Mix"));
    EXPECT_EQ(playlists[1].persistentID, QStringLiteral("P1"));
    EXPECT_EQ(playlists[1].trackIDs, (std::vector<qint64>{1, 1, 2}));
}

TEST(ExportLibraryReader, LeavesOutMalformedEntriesWithAWarning)
{
    ExportFileBuilder builder;
    Fields wrongTypes = ExportFileBuilder::track(1, QStringLiteral("A1"), QStringLiteral("/a.mp3"), QStringLiteral("a"));
    wrongTypes += Fields{{QStringLiteral("Artist"), 42},
                         {QStringLiteral("Year"), QStringLiteral("nineteen")},
                         {QStringLiteral("Track Number"), qint64(99999999999)},
                         {QStringLiteral("Size"), QVariant::fromValue(ExportFileBuilder::RawXml{"<integer>123456789012345678901234567890</integer>"})},
                         {QStringLiteral("Total Time"), qint64(-5)}};
    builder.addTrack(1, wrongTypes);
    builder.addTrack(2, {{QStringLiteral("Track ID"), 2}, {QStringLiteral("Name"), QStringLiteral("no id")}});
    builder.addTrack(3, ExportFileBuilder::track(3, QStringLiteral("../../evil"), QStringLiteral("/c.mp3"), QStringLiteral("c")));
    builder.addPlaylistFields({{QStringLiteral("Name"), QStringLiteral("no persistent id")}});
    builder.addPlaylist(QStringLiteral("dangling"), QStringLiteral("P9"), {1, 77});
    QByteArray xml = builder.toXml();
    xml.replace("<key>Tracks</key>\n<dict>\n", "<key>Tracks</key>\n<dict>\n<key>9</key><string>not a dict</string>\n");
    const ExportLibraryReader reader = readXml(xml);
    // The track without a "Persistent ID" is kept, under a derived one.
    ASSERT_EQ(reader.contents().tracks.size(), 2u);
    EXPECT_EQ(reader.contents().tracks.back()->persistentID().size(), 16);
    const MusicTrackProperties &track = reader.contents().tracks.front()->properties();
    EXPECT_EQ(track.persistentID, QStringLiteral("A1"));
    EXPECT_TRUE(track.artist.isNull());
    EXPECT_EQ(track.year, 0);
    EXPECT_EQ(track.trackNumber, 0);
    EXPECT_EQ(track.size, 0);
    EXPECT_EQ(track.duration, 0.0);
    ASSERT_EQ(reader.contents().playlists.size(), 1u);
    // The reader keeps the IDs as written; the source drops those it lacks.
    EXPECT_EQ(reader.contents().playlists[0].trackIDs, (std::vector<qint64>{1, 77}));
    const QString warnings = reader.warnings().join(u'\n');
    EXPECT_EQ(reader.warningCount(), 8) << warnings.toStdString();
    EXPECT_TRUE(warnings.contains(QStringLiteral("\"Artist\" is not a string"))) << warnings.toStdString();
    EXPECT_FALSE(warnings.contains(QStringLiteral("no \"Persistent ID\""))) << warnings.toStdString();
    EXPECT_TRUE(warnings.contains(QStringLiteral("unusable \"Persistent ID\""))) << warnings.toStdString();
    EXPECT_TRUE(warnings.contains(QStringLiteral("Track \"9\" is not a dictionary"))) << warnings.toStdString();
}

// Two tracks under one persistent ID would be one song on the server, the
// later one's file under the earlier one's entry; two playlists, one list.
TEST(ExportLibraryReader, ALaterTrackOrPlaylistWithAnEarlierOnesPersistentIDIsLeftOut)
{
    ExportFileBuilder builder;
    builder.addTrack(1, ExportFileBuilder::track(1, QStringLiteral("AAAA000000000001"), QStringLiteral("/m/a.mp3"), QStringLiteral("a")));
    builder.addTrack(2, ExportFileBuilder::track(2, QStringLiteral("AAAA000000000001"), QStringLiteral("/m/b.mp3"), QStringLiteral("b")));
    builder.addTrack(3, ExportFileBuilder::track(3, QStringLiteral("AAAA000000000003"), QStringLiteral("/m/c.mp3"), QStringLiteral("c")));
    // A Track ID given twice keeps its later entry, under the same ID or a new one.
    builder.addTrack(3, ExportFileBuilder::track(3, QStringLiteral("AAAA000000000004"), QStringLiteral("/m/d.mp3"), QStringLiteral("d")));
    builder.addTrack(5, ExportFileBuilder::track(5, QStringLiteral("AAAA000000000003"), QStringLiteral("/m/e.mp3"), QStringLiteral("e")));
    builder.addPlaylist(QStringLiteral("First"), QStringLiteral("PPPP000000000001"), {1});
    builder.addPlaylist(QStringLiteral("Second"), QStringLiteral("PPPP000000000001"), {5});
    const ExportLibraryReader reader = readXml(builder.toXml());
    ASSERT_EQ(reader.contents().playlists.size(), 1u);
    EXPECT_EQ(reader.contents().playlists[0].name, QStringLiteral("First"));
    EXPECT_TRUE(reader.warnings().contains(QStringLiteral("Playlist 2 (Second) has the \"Playlist Persistent ID\" of playlist 1 (First), left out")))
        << reader.warnings().join(u'\n').toStdString();
    QStringList names;
    for (const auto &track : reader.contents().tracks)
        names.append(track->properties().name);
    EXPECT_EQ(names, (QStringList{QStringLiteral("a"), QStringLiteral("d"), QStringLiteral("e")}));
    EXPECT_EQ(reader.leftOut(), (QMap<QString, int>{{QStringLiteral("tracks whose \"Persistent ID\" an earlier track has"), 1},
                                                    {QStringLiteral("tracks whose \"Track ID\" appears again later"), 1},
                                                    {QStringLiteral("playlists whose \"Playlist Persistent ID\" an earlier playlist has"), 1}}));
    EXPECT_EQ(reader.leftOutTracks().keys(), QList<qint64>{2});
    EXPECT_TRUE(reader.warnings().contains(QStringLiteral("Track \"2\" has the \"Persistent ID\" AAAA000000000001 of track 1, left out")))
        << reader.warnings().join(u'\n').toStdString();
}

TEST(ExportLibraryReader, RefusesTheTrackOrPlaylistHoldingAValueLongerThanTheCap)
{
    const QString longest(ValueLimit::Bytes, QLatin1Char('n'));
    const QString tooLong(ValueLimit::Bytes + 1, QLatin1Char('n'));
    ExportFileBuilder builder;
    builder.addTrack(1, ExportFileBuilder::track(1, QStringLiteral("A1"), QStringLiteral("/a.mp3"), longest));
    builder.addTrack(2, ExportFileBuilder::track(2, QStringLiteral("A2"), QStringLiteral("/b.mp3"), tooLong));
    Fields longKey = ExportFileBuilder::track(3, QStringLiteral("A3"), QStringLiteral("/c.mp3"), QStringLiteral("c"));
    longKey.append({tooLong, QStringLiteral("value of a key too long")});
    builder.addTrack(3, longKey);
    Fields longLocation = ExportFileBuilder::track(4, QStringLiteral("A4"), QStringLiteral("/d") + tooLong, QStringLiteral("d"));
    builder.addTrack(4, longLocation);
    builder.addTrack(5, ExportFileBuilder::track(5, QStringLiteral("A5"), QStringLiteral("/e.mp3"), QStringLiteral("e")));
    builder.addPlaylist(tooLong, QStringLiteral("P1"), {1, 5});
    builder.addPlaylist(QStringLiteral("kept"), QStringLiteral("P2"), {1, 2, 5});
    // A value outside any track or playlist is ignored alone.
    builder.setLibraryPersistentID(tooLong);
    const ExportLibraryReader reader = readXml(builder.toXml());
    ASSERT_EQ(reader.contents().tracks.size(), 2u);
    EXPECT_EQ(reader.contents().tracks.front()->properties().name.size(), ValueLimit::Bytes);
    EXPECT_EQ(reader.contents().tracks.back()->persistentID(), QStringLiteral("A5"));
    ASSERT_EQ(reader.contents().playlists.size(), 1u);
    EXPECT_EQ(reader.contents().playlists[0].name, QStringLiteral("kept"));
    EXPECT_TRUE(reader.contents().libraryPersistentID.isEmpty());
    EXPECT_EQ(reader.leftOut(), (QMap<QString, int>{{QStringLiteral("tracks with a value longer than 1 MiB"), 3},
                                                    {QStringLiteral("playlists with a value longer than 1 MiB"), 1}}));
    EXPECT_EQ(reader.leftOutTracks().keys().size(), 3);
    const QString warnings = reader.warnings().join(u'\n');
    EXPECT_TRUE(warnings.contains(QStringLiteral("Track \"2\" has a value longer than 1 MiB, left out"))) << warnings.toStdString();
    EXPECT_TRUE(warnings.contains(QStringLiteral("a value longer than 1 MiB was ignored"))) << warnings.toStdString();
    EXPECT_LT(warnings.size(), 2000) << "the long values stay out of the warnings";
}

TEST(ExportLibraryReader, AnExportOfAnEarlyVersionGetsStablePersistentIDs)
{
    // No "Persistent ID" on tracks or playlists, as early versions wrote
    // them; the library's own ID comes after "Tracks".
    ExportFileBuilder builder;
    builder.setLibraryPersistentID(QStringLiteral("0123456789ABCDEF"));
    for (int id = 1; id <= 3; ++id)
        builder.addTrack(id, {{QStringLiteral("Track ID"), id}, {QStringLiteral("Name"), QStringLiteral("t%1").arg(id)},
                              {QStringLiteral("Location"), QStringLiteral("file:///m/A/B/%1.mp3").arg(id)}});
    builder.addPlaylist(QStringLiteral("Library"), QString(), {1, 2, 3}, true);
    builder.addPlaylist(QStringLiteral("Mix"), QString(), {2, 1});
    builder.addPlaylist(QStringLiteral("Kept ID"), QStringLiteral("FEDCBA9876543210"), {3});
    const ExportLibraryReader reader = readXml(builder.toXml());
    EXPECT_EQ(reader.warningCount(), 0) << reader.warnings().join(u'\n').toStdString();
    const auto &tracks = reader.contents().tracks;
    ASSERT_EQ(tracks.size(), 3u);
    // The first 64 bits of SHA-1("0123456789ABCDEF/Track/1"), in upper-case hex.
    EXPECT_EQ(tracks[0]->persistentID(), QStringLiteral("8B1D6D29AD3AA57C"));
    EXPECT_EQ(tracks[1]->persistentID(), QStringLiteral("A4FAC0565EE0C6C2"));
    EXPECT_NE(tracks[2]->persistentID(), tracks[1]->persistentID());
    const auto &playlists = reader.contents().playlists;
    ASSERT_EQ(playlists.size(), 3u);
    // From each one's "Playlist ID" (1000, 1001).
    EXPECT_EQ(playlists[0].persistentID, QStringLiteral("F4A9DF805E1FA6E7"));
    EXPECT_EQ(playlists[1].persistentID, QStringLiteral("6EE96B79527F3FE5"));
    EXPECT_EQ(playlists[2].persistentID, QStringLiteral("FEDCBA9876543210"));

    // Another export of the same library gives the same IDs; another library other ones.
    EXPECT_EQ(readXml(builder.toXml()).contents().tracks[0]->persistentID(), tracks[0]->persistentID());
    builder.setLibraryPersistentID(QStringLiteral("1111111111111111"));
    EXPECT_NE(readXml(builder.toXml()).contents().tracks[0]->persistentID(), tracks[0]->persistentID());
}

TEST(ExportLibraryReader, CapsTheWarningLines)
{
    ExportFileBuilder builder;
    for (int i = 1; i <= 150; ++i)
        builder.addTrack(i, {{QStringLiteral("Track ID"), i}, {QStringLiteral("Persistent ID"), QStringLiteral("not/usable")}});
    const ExportLibraryReader reader = readXml(builder.toXml());
    EXPECT_EQ(reader.warningCount(), 150);
    // The summary groups them: one reason, one count.
    EXPECT_EQ(reader.leftOut(), (QMap<QString, int>{{QStringLiteral("tracks with an unusable \"Persistent ID\""), 150}}));
    const QStringList lines = reader.warnings();
    ASSERT_EQ(lines.size(), ExportLibraryReader::MaximumWarnings + 1);
    EXPECT_EQ(lines.last(), QStringLiteral("... and 50 more"));
}

struct BadDocument {
    const char *name;
    QByteArray xml;
    const char *messagePart;
};

class ExportLibraryReaderBadDocument : public ::testing::TestWithParam<BadDocument> {};

TEST_P(ExportLibraryReaderBadDocument, FailsAsAWholeWithAClearError)
{
    ExportLibraryReader reader = readXml(GetParam().xml, false);
    EXPECT_TRUE(reader.contents().tracks.empty());
    EXPECT_TRUE(reader.contents().playlists.empty());
    EXPECT_EQ(reader.error().domain(), ExportLibraryReader::ErrorDomain);
    const QString message = reader.error().localizedDescription();
    EXPECT_FALSE(message.isEmpty());
    EXPECT_TRUE(message.contains(QLatin1String(GetParam().messagePart), Qt::CaseInsensitive)) << message.toStdString();
}

// Well-formed, under a key the reader skips: only the depth is wrong.
QByteArray deepNesting()
{
    QByteArray xml = "<plist><dict><key>Deep</key>";
    for (int i = 0; i < 100000; ++i)
        xml += "<array>";
    for (int i = 0; i < 100000; ++i)
        xml += "</array>";
    return xml + "</dict></plist>";
}

QByteArray truncatedExport()
{
    ExportFileBuilder builder;
    for (int i = 1; i <= 20; ++i)
        builder.addTrack(i, ExportFileBuilder::track(i, QStringLiteral("ID%1").arg(i), QStringLiteral("/a.mp3"), QStringLiteral("a")));
    const QByteArray xml = builder.toXml();
    return xml.left(xml.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, ExportLibraryReaderBadDocument,
    ::testing::Values(
        BadDocument{"Empty", "", "empty"},
        BadDocument{"NotXml", "this is not xml at all", ""},
        BadDocument{"NotAPlist", "<html><body/></html>", "not a property list"},
        BadDocument{"PlistWithoutDict", "<plist><array/></plist>", "does not hold a dictionary"},
        BadDocument{"Truncated", truncatedExport(), ""},
        BadDocument{"KeyWithoutValue", "<plist><dict><key>Tracks</key></dict></plist>", "has no value"},
        BadDocument{"ValueWithoutKey", "<plist><dict><string>x</string></dict></plist>", "<key>"},
        BadDocument{"TextBetweenElements", "<plist><dict>junk<key>a</key><string/></dict></plist>", "unexpected text"},
        BadDocument{"ElementInsideString", "<plist><dict><key>a<b/></key><string/></dict></plist>", "unexpected"},
        BadDocument{"DeepNesting", deepNesting(), "depth"},
        BadDocument{"ExternalEntity",
                    "<!DOCTYPE plist [<!ENTITY secret SYSTEM \"file:///etc/hostname\">]>"
                    "<plist><dict><key>Tracks</key><dict><key>1</key><dict><key>Track ID</key><integer>1</integer>"
                    "<key>Persistent ID</key><string>A</string><key>Name</key><string>&secret;</string></dict></dict></dict></plist>",
                    "entity"},
        BadDocument{"UndefinedEntity", "<plist><dict><key>&nothing;</key><string/></dict></plist>", ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ExportLibraryReader, ReportsTheLineOfTheFault)
{
    ExportLibraryReader misplaced = readXml("<plist>\n<dict>\n<key>a</key>\n<string>x</string>\n<string>y</string>\n</dict>\n</plist>\n", false);
    EXPECT_EQ(misplaced.error().detail(QStringLiteral("Line")).toInt(), 5);
    ExportLibraryReader truncated = readXml("<plist>\n<dict>\n<key>a</key>\n<string>x</string>\n", false);
    // The parser names the last line it read.
    EXPECT_EQ(truncated.error().detail(QStringLiteral("Line")).toInt(), 4);
    EXPECT_TRUE(truncated.contents().tracks.empty());
}

// Damaged tags leave control characters in exported names. XML allows none
// of them, and one would otherwise make the whole library unreadable.
TEST(ExportLibraryReader, ReadsAnExportWithControlCharactersWithoutThem)
{
    const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Tracks</key><dict>\n"
                           "<key>1</key><dict><key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>A1</string>"
                           "<key>Name</key><string>Bad\x01Name&#x1F;&#3;</string>"
                           "<key>Artist</key><string>Tab\tand&#10;line &amp; &#38;</string></dict>\n"
                           "<key>2</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><string>A2</string>"
                           "<key>Name</key><string>Fine</string></dict>\n</dict></dict></plist>\n";
    ExportLibraryReader reader = readXml(xml);
    ASSERT_EQ(reader.contents().tracks.size(), 2u);
    EXPECT_EQ(reader.contents().tracks[0]->properties().name, QStringLiteral("BadName"));
    EXPECT_EQ(reader.contents().tracks[0]->properties().artist, QStringLiteral("Tab\tand\nline & &"));
    EXPECT_EQ(reader.contents().tracks[1]->properties().name, QStringLiteral("Fine"));
    EXPECT_EQ(reader.warnings(), QStringList{QStringLiteral("The export holds 3 control characters that XML does not allow "
                                                            "(the first on line 3), left out of the text they were in")});

    // Only those characters: an export damaged otherwise still fails whole.
    ExportLibraryReader truncated = readXml(xml.left(xml.size() - 30), false);
    EXPECT_TRUE(truncated.contents().tracks.empty());
    EXPECT_TRUE(truncated.warnings().isEmpty());
    QByteArray zeroed = xml;
    zeroed[zeroed.indexOf("Fine")] = '\0';
    EXPECT_TRUE(readXml(zeroed, false).contents().tracks.empty());
}

TEST(ExportLibraryReader, NeverFetchesTheDocumentTypeOrItsEntities)
{
    // An external DTD that would define the entity is neither fetched nor read.
    QTemporaryDir dir;
    testsupport::writeFile(dir.filePath(QStringLiteral("evil.dtd")), "<!ENTITY name \"from the DTD\">");
    const QByteArray xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist SYSTEM \"file://" + dir.filePath(QStringLiteral("evil.dtd")).toUtf8()
        + "\">\n<plist version=\"1.0\"><dict><key>Tracks</key><dict><key>1</key><dict><key>Track ID</key><integer>1</integer>"
          "<key>Persistent ID</key><string>A</string><key>Name</key><string>&name;</string></dict></dict></dict></plist>";
    ExportLibraryReader reader;
    EXPECT_FALSE(reader.readBytes(xml));
    EXPECT_TRUE(reader.contents().tracks.empty());

    // The usual DOCTYPE with a public identifier and an http URL is fine.
    ExportFileBuilder builder;
    builder.setPrologue("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://127.0.0.1:9/PropertyList-1.0.dtd\">\n");
    builder.addTrack(1, ExportFileBuilder::track(1, QStringLiteral("A"), QStringLiteral("/a.mp3"), QStringLiteral("a")));
    ExportLibraryReader plain;
    EXPECT_TRUE(plain.readBytes(builder.toXml())) << plain.error().localizedDescription().toStdString();
    EXPECT_EQ(plain.contents().tracks.size(), 1u);
}

TEST(ExportLibraryReader, ReportsAMissingFileWithItsPath)
{
    ExportLibraryReader reader;
    EXPECT_FALSE(reader.readFile(QStringLiteral("/nonexistent/iTunes Music Library.xml")));
    EXPECT_EQ(reader.error().detail(QStringLiteral("File")).toString(), QStringLiteral("/nonexistent/iTunes Music Library.xml"));
}

} // namespace

TEST(ExportLibraryReader, RepeatedTextsAreOneStringAndEachTrackKeepsItsOwn)
{
    // Artists alternate, one album runs on, a field is missing in between
    // and one text stands in two fields: each track reads what it holds.
    const QStringList artists{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A"), QString(),
                              QStringLiteral("Same")};
    ExportFileBuilder builder;
    for (int index = 0; index < artists.size(); ++index) {
        Fields fields = ExportFileBuilder::track(index + 1, QStringLiteral("ID%1").arg(index),
                                                 QStringLiteral("file:///M/a/b/%1.mp3").arg(index), QStringLiteral("S"));
        if (!artists.at(index).isNull())
            fields += Fields{{QStringLiteral("Artist"), artists.at(index)}};
        fields += Fields{{QStringLiteral("Album"), index == 4 ? QStringLiteral("Same") : QStringLiteral("Album")}};
        builder.addTrack(index + 1, fields);
    }
    const ExportLibraryReader reader = readXml(builder.toXml());
    const auto &tracks = reader.contents().tracks;
    ASSERT_EQ(tracks.size(), 5u);
    for (size_t index = 0; index < tracks.size(); ++index)
        EXPECT_EQ(tracks[index]->properties().artist, artists.at(qsizetype(index))) << index;
    EXPECT_EQ(tracks[4]->properties().album, QStringLiteral("Same"));
    EXPECT_EQ(tracks[0]->properties().artist.constData(), tracks[2]->properties().artist.constData());
    EXPECT_EQ(tracks[0]->properties().album.constData(), tracks[3]->properties().album.constData());
    EXPECT_EQ(tracks[4]->properties().artist.constData(), tracks[4]->properties().album.constData());
}
