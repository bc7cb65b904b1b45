#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"
#include "platform/ValueLimit.h"

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

class LibraryFileReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        share.configure(library, true);
        library.setNotifySink(recorder.sink());
        for (const char *id : {"A", "B", "C"}) {
            const QString key = QString::fromLatin1(id);
            library.tracks().insert(key, makeTrack(key, QStringLiteral("/m/x/y/%1.mp3").arg(key)));
            library.sortedTracks().append(key);
        }
    }

    int status(const char *id) const { return library.tracks().value(QString::fromLatin1(id))->status(); }

    ShareFixture share;
    MusicLibrary library;
    NotifyRecorder recorder;
};

} // namespace

TEST_F(LibraryFileReader, MarksListedTracksAndCountsDeletedOnes)
{
    writeBytes(share.tracksFile(), "<Library ID=\"x\">\r\n\t<Songs>\r\n"
                                   "\t\t<Song ID=\"A\" \r\n Location=\"\\\\s\\m\\a\"></Song>\r\n"
                                   "\t\t<Song ID=\"gone\"></Song>\r\n"
                                   "\t\t<Song Title=\"no id\"></Song>\r\n"
                                   "\t\t<Song ID=\"C\"></Song>\r\n"
                                   "\t\t<Song ID=\"C\"></Song>\r\n"
                                   "\t</Songs>\r\n\t<Playlists>\r\n\t\t<Playlist ID=\"P\" Name=\"n\">\r\n"
                                   "\t\t\t<Track ID=\"B\" />\r\n\t\t</Playlist>\r\n\t</Playlists>\r\n</Library>\r\n");
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(status("A"), 0);
    EXPECT_EQ(status("B"), 1);
    EXPECT_EQ(status("C"), 0);
    EXPECT_EQ(library.counters().numTracksProcessed, 3);
    EXPECT_EQ(library.counters().numTracksUnchanged, 3);
    EXPECT_EQ(library.counters().numTracksDeleted, 2);
    EXPECT_EQ(library.counters().numTracksAdded, 0);
    EXPECT_FALSE(library.parsingError().has_value());
    EXPECT_EQ(recorder.lines(), (QStringList{QStringLiteral("6|Synchronizing Music Tracks|-|0/0"),
                                             QStringLiteral("11|Finished Synchronizing Music Tracks|-|0/0")}));
}

TEST_F(LibraryFileReader, ASongHoldingAValueLongerThanTheCapIsIgnoredAlone)
{
    writeBytes(share.tracksFile(), "<Library ID=\"x\"><Songs><Song ID=\"A\" Title=\"" + QByteArray(ValueLimit::Bytes + 1, 't') +
                                       "\"></Song><Song ID=\"B\" Title=\"" + QByteArray(ValueLimit::Bytes, 't') +
                                       "\"></Song><Song ID=\"C\"></Song></Songs></Library>");
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    // A is not known to be on the share: it is copied again.
    EXPECT_EQ(status("A"), 1);
    EXPECT_EQ(status("B"), 0);
    EXPECT_EQ(status("C"), 0);
    EXPECT_FALSE(library.parsingError().has_value());
}

TEST_F(LibraryFileReader, ElementNamesIgnoreCaseAttributeNamesDoNot)
{
    writeBytes(share.tracksFile(), "<LIBRARY><SONGS><SONG ID=\"A\"/><sOnG ID=\"B\"/><Song id=\"C\"/>"
                                   "<x:Song ID=\"C\"/></SONGS></LIBRARY>");
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(status("A"), 0);
    EXPECT_EQ(status("B"), 0);
    EXPECT_EQ(status("C"), 1);
    // "Song" with attribute "id" and the prefixed "x:Song" both count as deleted or other.
    EXPECT_EQ(library.counters().numTracksDeleted, 1);
}

TEST_F(LibraryFileReader, EntitiesInIdentifiersAreDecoded)
{
    library.tracks().insert(QStringLiteral("R&B <1>"), makeTrack(QStringLiteral("R&B <1>"), QStringLiteral("/a/b/c/d")));
    writeBytes(share.tracksFile(), "<Library><Song ID=\"R&amp;B &lt;1&#62;\"/></Library>");
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(library.tracks().value(QStringLiteral("R&B <1>"))->status(), 0);
}

TEST_F(LibraryFileReader, MissingFileIsAFirstRunWithoutError)
{
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(library.counters().numTracksAdded, 3);
    EXPECT_EQ(recorder.linesOfActivity(2), QStringList());
    EXPECT_EQ(recorder.received.last().activity(), 11);
}

TEST_F(LibraryFileReader, NotWellFormedStopsAtTheErrorAndReportsIt)
{
    writeBytes(share.tracksFile(), "<Library><Song ID=\"A\"></Song><Song ID=\"B\"></Sing><Song ID=\"C\"/></Library>");
    EXPECT_FALSE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(status("A"), 0);
    EXPECT_EQ(status("B"), 0);
    EXPECT_EQ(status("C"), 1);
    ASSERT_TRUE(library.parsingError().has_value());
    EXPECT_EQ(library.parsingError()->domain(), MusicLibrary::XMLParserErrorDomain);
    const QStringList errors = recorder.linesOfActivity(2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2|Error parsing Music Tracks XML file|Error Code: 76;"
                                                         "Error Domain: XMLParserErrorDomain;NSLocalizedDescription: ")))
        << errors.first().toStdString();
    EXPECT_EQ(library.counters().numTracksAdded, 1);
}

TEST_F(LibraryFileReader, EmptyOrBinaryFilesAreParseErrors)
{
    writeBytes(share.tracksFile(), "");
    EXPECT_FALSE(library.syncTracks(share.tracksFile()));
    writeBytes(share.tracksFile(), QByteArray("\x00\x01\x02garbage", 10));
    EXPECT_FALSE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(recorder.linesOfActivity(2).size(), 2);
}

TEST_F(LibraryFileReader, AnUnreadablePathIsReportedAsASystemError)
{
    QDir().mkpath(share.tracksFile());
    EXPECT_FALSE(library.syncTracks(share.tracksFile()));
    ASSERT_TRUE(library.parsingError().has_value());
    EXPECT_EQ(library.parsingError()->domain(), MusicLibrary::PosixErrorDomain);
}

TEST_F(LibraryFileReader, ExternalEntitiesAreNeverLoaded)
{
    const QString secret = share.localMusic() + QStringLiteral("/secret.txt");
    writeBytes(secret, "A");
    writeBytes(share.tracksFile(), "<!DOCTYPE Library [<!ENTITY e SYSTEM \"file://" + secret.toUtf8()
                                       + "\">]><Library><Song ID=\"&e;\"/></Library>");
    library.syncTracks(share.tracksFile());
    EXPECT_EQ(status("A"), 1);
}

TEST_F(LibraryFileReader, EntityExpansionBombIsRefused)
{
    QByteArray bomb = "<!DOCTYPE Library [<!ENTITY a0 \"AAAAAAAAAAAAAAAAAAAA\">";
    for (int level = 1; level < 12; ++level)
        bomb += "<!ENTITY a" + QByteArray::number(level) + " \"" + QByteArray("&a" + QByteArray::number(level - 1) + ";").repeated(10) + "\">";
    bomb += "]><Library><Song ID=\"&a11;\"/></Library>";
    writeBytes(share.tracksFile(), bomb);
    EXPECT_FALSE(library.syncTracks(share.tracksFile()));
}

TEST_F(LibraryFileReader, CoversInTheLibraryFileAreReadToo)
{
    writeBytes(share.tracksFile(), "<Library><ALBUMCOVER AlbumID=\"x-y\" Path=\"p\"/></Library>");
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    ASSERT_TRUE(library.albumCovers().contains(QStringLiteral("x-y")));
    EXPECT_EQ(library.albumCovers().value(QStringLiteral("x-y"))->status(), 0);
}

TEST_F(LibraryFileReader, LargeFileIsReadInChunks)
{
    QByteArray bytes = "<Library><Songs>";
    const QByteArray padding(300, 'p');
    for (int index = 0; index < 3000; ++index)
        bytes += "<Song Title=\"" + padding + "\" ID=\"" + (index == 2999 ? QByteArray("B") : QByteArray::number(index)) + "\"/>";
    bytes += "</Songs></Library>";
    ASSERT_GT(bytes.size(), 3 * 256 * 1024);
    writeBytes(share.tracksFile(), bytes);
    EXPECT_TRUE(library.syncTracks(share.tracksFile()));
    EXPECT_EQ(status("B"), 0);
    EXPECT_EQ(library.counters().numTracksDeleted, 2999);
}
