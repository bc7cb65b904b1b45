#include "library/ShareVerifier.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

using Kind = ShareVerifier::Kind;

// A share folder written by hand, for what runs of the program do not make:
// hostile description files, other libraries, locations that lead elsewhere.
class ShareVerifierTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(share.isValid()); }

    void put(const QString &relative, const QByteArray &bytes = "audio")
    {
        const QString path = share.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        testsupport::writeFile(path, bytes);
    }
    static QByteArray song(const QString &id, const QString &relative, qint64 size = 5)
    {
        QString location = QStringLiteral("\\\\10.0.0.9\\OrvanaMusic\\") + relative;
        location.replace(u'/', u'\\');
        return QStringLiteral("\t\t<Song ID=\"%1\" Location=\"%2\" Size=\"%3\" Title=\"T %1\"></Song>\r\n")
            .arg(id, location)
            .arg(size)
            .toUtf8();
    }
    static QByteArray library(const QByteArray &songs, const QByteArray &playlists = {})
    {
        return "<Library ID=\"LIB\" Type=\"iTunes\" Name=\"N\" SyncVersion=\"1\">\r\n\t<Songs>\r\n" + songs +
               "\t</Songs>\r\n\t<Playlists>\r\n" + playlists + "\t</Playlists>\r\n</Library>\r\n";
    }
    static QByteArray artwork(const QList<std::pair<QString, QString>> &covers)
    {
        QByteArray text = "<?xml version=\"1.0\"?>\n<Library>\n  <AlbumCovers>\n";
        for (const auto &[albumId, file] : covers)
            text += QStringLiteral("    <AlbumCover AlbumID=\"%1\" Path=\"\\\\10.0.0.9\\OrvanaMusic\\Artwork\\%2\"/>\n")
                        .arg(albumId, file)
                        .toUtf8();
        return text + "  </AlbumCovers>\n</Library>\n";
    }

    // Runs the check; the findings as "kind value value ...".
    std::vector<std::string> verify(bool expectChecked = true)
    {
        ShareVerifier verifier(share.path(), QStringLiteral("LIB"));
        verifier.setExpectedTracks(expected);
        std::vector<std::string> findings;
        checked = verifier.verify(
            [&findings](const ShareVerifier::Finding &finding) {
                findings.push_back(
                    (QStringList{ShareVerifier::kindName(finding.kind)} + finding.values).join(u' ').toStdString());
            },
            &error);
        EXPECT_EQ(checked, expectChecked) << error.localizedDescription().toStdString();
        counts = verifier.counts();
        warnings = verifier.warnings();
        return findings;
    }

    QTemporaryDir share;
    QList<ShareVerifier::ExpectedTrack> expected;
    bool checked = false;
    ErrorRecord error;
    ShareVerifier::Counts counts;
    QStringList warnings;
};

TEST_F(ShareVerifierTest, LocationsMapToTheShareOnlyInTheServersForm)
{
    EXPECT_EQ(ShareVerifier::sharePathOfLocation(QStringLiteral("\\\\nas\\OrvanaMusic\\Music\\A\\B\\c.mp3")),
              QStringLiteral("Music/A/B/c.mp3"));
    // Any server and any letter case of the share's name: the share may be
    // mounted from another address than the run wrote.
    EXPECT_EQ(ShareVerifier::sharePathOfLocation(QStringLiteral("\\\\127.0.0.1\\orvanamusic\\Artwork\\x.jpg")),
              QStringLiteral("Artwork/x.jpg"));
    // A run given no server writes none.
    EXPECT_EQ(ShareVerifier::sharePathOfLocation(QStringLiteral("\\\\\\OrvanaMusic\\Music\\A\\B\\c.mp3")),
              QStringLiteral("Music/A/B/c.mp3"));
    for (const char *elsewhere :
         {"", "C:\\Music\\a.mp3", "/srv/Music/a.mp3", "\\\\nas\\Other\\Music\\a.mp3",
          "\\\\nas\\OrvanaMusic", "\\\\nas\\OrvanaMusic\\Music\\..\\..\\etc\\passwd", "\\\\nas\\OrvanaMusic\\Music\\.\\a",
          "\\\\nas\\OrvanaMusic\\Music\\\\a.mp3", "\\\\nas\\OrvanaMusic\\Music\\a/../../b"})
        EXPECT_TRUE(ShareVerifier::sharePathOfLocation(QString::fromUtf8(elsewhere)).isNull()) << elsewhere;
}

TEST_F(ShareVerifierTest, EachKindOfInconsistencyIsFoundOnce)
{
    put(QStringLiteral("Music/A/B/good.mp3"));
    put(QStringLiteral("Music/A/B/short.mp3"), "aud");
    put(QStringLiteral("Music/A/B/stray.mp3"));
    put(QStringLiteral("Artwork/A1.jpg"));
    put(QStringLiteral("Artwork/stray.jpg"));
    put(QStringLiteral("Library/LIB.xml"),
        library(song(QStringLiteral("S1"), QStringLiteral("Music/A/B/good.mp3")) +
                    song(QStringLiteral("S2"), QStringLiteral("Music/A/B/gone.mp3")) +
                    song(QStringLiteral("S3"), QStringLiteral("Music/A/B/short.mp3")) +
                    "\t\t<Song ID=\"S4\" Location=\"C:\\Music\\x.mp3\"></Song>\r\n",
                "\t\t<Playlist ID=\"P1\" Name=\"Mix\">\r\n\t\t\t<Track ID=\"S1\" />\r\n"
                "\t\t\t<Track ID=\"NOSONG\" />\r\n\t\t</Playlist>\r\n"));
    put(QStringLiteral("Artwork/Artwork.xml"),
        artwork({{QStringLiteral("A1"), QStringLiteral("A1.jpg")}, {QStringLiteral("A2"), QStringLiteral("A2.jpg")}}));
    expected = {{QStringLiteral("S1"), QStringLiteral("Good"), QStringLiteral("/m/good.mp3")},
                {QStringLiteral("NEW"), QStringLiteral("New"), QStringLiteral("/m/new.mp3")}};

    const std::vector<std::string> findings = verify();
    EXPECT_THAT(findings, testing::UnorderedElementsAre(
                              "missing-song S2 Music/A/B/gone.mp3 T S2", "wrong-size S3 Music/A/B/short.mp3 5 3",
                              "foreign-location S4 C:\\Music\\x.mp3", "missing-cover A2 Artwork/A2.jpg",
                              "dangling-playlist-entry P1 NOSONG Mix", "not-on-share NEW New /m/new.mp3",
                              "orphan Music/A/B/stray.mp3", "orphan Artwork/stray.jpg"));
    EXPECT_EQ(counts.songs, 4);
    EXPECT_EQ(counts.albumCovers, 2);
    EXPECT_EQ(counts.playlists, 1);
    EXPECT_EQ(counts.playlistEntries, 2);
    EXPECT_EQ(counts.filesOnShare, 6); // Artwork.xml counts, the library file is not under Music/ or Artwork/
    EXPECT_EQ(counts.expectedTracks, 2);
    EXPECT_EQ(counts.totalFindings(), 8);
    EXPECT_EQ(counts.findingsOf(Kind::Orphan), 2);
}

TEST_F(ShareVerifierTest, WhatOtherLibrariesAndRunsLeaveIsNoOrphan)
{
    put(QStringLiteral("Music/A/B/mine.mp3"));
    put(QStringLiteral("Music/C/D/theirs.mp3"));
    // A run's temporary file and a hidden folder: never orphans.
    put(QStringLiteral("Music/A/B/.mine.mp3.XyZ123"));
    put(QStringLiteral("Music/.hidden/x.mp3"));
    put(QStringLiteral("Library/LIB.xml"), library(song(QStringLiteral("S1"), QStringLiteral("Music/A/B/mine.mp3"))));
    put(QStringLiteral("Library/OTHER.xml"), library(song(QStringLiteral("X"), QStringLiteral("Music/C/D/theirs.mp3"))));
    put(QStringLiteral("Library/.LIB.lock"), "pid");
    put(QStringLiteral("Artwork/Artwork.xml"), artwork({}));

    EXPECT_THAT(verify(), IsEmpty());
    EXPECT_THAT(warnings, IsEmpty());

    // Another library's file that cannot be read: its files cannot be told
    // from orphans, so none under Music/ is reported, with a warning.
    put(QStringLiteral("Library/OTHER.xml"), "<Library><Songs>");
    put(QStringLiteral("Music/E/F/stray.mp3"));
    put(QStringLiteral("Artwork/stray.jpg"));
    EXPECT_THAT(verify(), ElementsAre("orphan Artwork/stray.jpg"));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_THAT(warnings.first().toStdString(), HasSubstr("Library/OTHER.xml"));
}

TEST_F(ShareVerifierTest, ElementNamesInAnyCaseAndAMissingArtworkFile)
{
    put(QStringLiteral("Music/A/B/a.mp3"));
    put(QStringLiteral("Library/LIB.xml"),
        "<LIBRARY><SONGS><SONG ID=\"S1\" Location=\"\\\\h\\OrvanaMusic\\Music\\A\\B\\a.mp3\"/></SONGS>"
        "<PLAYLISTS><PLAYLIST ID=\"P\" Name=\"n\"><TRACK ID=\"S1\"/></PLAYLIST></PLAYLISTS></LIBRARY>");
    EXPECT_THAT(verify(), ElementsAre("missing-artwork-file Artwork/Artwork.xml"));
    EXPECT_EQ(counts.songs, 1);
    EXPECT_EQ(counts.playlistEntries, 1);
}

TEST_F(ShareVerifierTest, DescriptionFilesThatCannotBeReadStopTheCheckWithTheirCause)
{
    // No library file of this identifier: the others on the share are named.
    put(QStringLiteral("Library/OTHER.xml"), library({}));
    EXPECT_THAT(verify(false), IsEmpty());
    EXPECT_THAT(error.localizedDescription().toStdString(), HasSubstr("Library/LIB.xml is not on the share"));
    EXPECT_THAT(error.localizedDescription().toStdString(), HasSubstr("OTHER"));

    const QByteArray whole = library(song(QStringLiteral("S1"), QStringLiteral("Music/A/B/a.mp3")));
    const QList<std::pair<QByteArray, const char *>> hostile = {
        {whole.left(whole.size() / 2), "line"},
        {QByteArray(), "Library/LIB.xml"},
        {"<Library>" + QByteArray(100000, '<'), "line"},
        {QByteArray(20000, '\0'), "line"},
        {"<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
         "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
         "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\"><!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">]>"
         "<Library><Songs><Song ID=\"&h;\"/></Songs></Library>",
         "Library/LIB.xml"},
    };
    for (const auto &[bytes, named] : hostile) {
        put(QStringLiteral("Library/LIB.xml"), bytes);
        EXPECT_THAT(verify(false), IsEmpty());
        EXPECT_THAT(error.localizedDescription().toStdString(), HasSubstr("The library file Library/LIB.xml"));
        EXPECT_THAT(error.localizedDescription().toStdString(), HasSubstr(named));
    }

    // A truncated artwork file, then one that is a FIFO (which a plain read
    // would wait on for ever).
    put(QStringLiteral("Library/LIB.xml"), library({}));
    put(QStringLiteral("Artwork/Artwork.xml"), artwork({{QStringLiteral("A"), QStringLiteral("a.jpg")}}).chopped(30));
    verify(false);
    EXPECT_THAT(error.localizedDescription().toStdString(), HasSubstr("The artwork file Artwork/Artwork.xml cannot be read"));
    QFile::remove(share.filePath(QStringLiteral("Artwork/Artwork.xml")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(share.filePath(QStringLiteral("Artwork/Artwork.xml"))).constData(), 0600), 0);
    verify(false);
    EXPECT_THAT(error.localizedDescription().toStdString(), HasSubstr("Artwork/Artwork.xml is not a regular file"));
}

} // namespace
