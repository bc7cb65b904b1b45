#include "tests/e2e/EndToEndSupport.h"
#include "tests/support/SimulatorProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

namespace {

const QString libraryId = QStringLiteral("VERIFY-LIBRARY");
const QString morning = QStringLiteral("Music/Ann Arbor/First Light/01 Morning.mp3");
const QString noon = QStringLiteral("Music/Ann Arbor/First Light/02 Noon.m4a");
const QString chime = QStringLiteral("Music/Bob & The Bells/Second Wind/02 Chime.mp3");
const QString firstLightCover = QStringLiteral("Artwork/000000000000A065.jpg");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Every file below folder with its bytes: what a read-only check must leave
// exactly as it was.
QMap<QString, QByteArray> contentsBelow(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    for (const QString &file : filesBelow(folder))
        contents.insert(file, readFile(folder + u'/' + file));
    return contents;
}

std::vector<std::string> lines(const QString &text)
{
    std::vector<std::string> result;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts))
        result.push_back(line.toStdString());
    return result;
}

// Shares left by real runs of orvanasync-cli against the simulator, then
// damaged by hand, checked by orvanasync-cli verify. The runs are made once;
// each test checks a copy of their share.
class VerifyEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        world = new QTemporaryDir;
        setUpFailure = makeSampleLibrary(world->filePath(QStringLiteral("library")));
        if (!setUpFailure.isNull())
            return;
        const QString log = world->filePath(QStringLiteral("requests.log"));
        QDir().mkpath(world->filePath(QStringLiteral("whole")));
        SimulatorProcess simulator;
        setUpFailure = simulator.start(world->filePath(QStringLiteral("whole")), log);
        if (!setUpFailure.isNull())
            return;
        // The whole library with both playlists, and one playlist alone.
        for (const auto &[share, selection] :
             {std::pair{QStringLiteral("whole"), QStringList{QStringLiteral("--entire-library")}},
              std::pair{QStringLiteral("bells"), QStringList{QStringLiteral("--selected-playlists")}}}) {
            QDir().mkpath(world->filePath(share));
            const CliResult result = runCli(QStringList{QStringLiteral("sync"), QStringLiteral("--server"),
                                                        QStringLiteral("127.0.0.1"), QStringLiteral("--share-folder"),
                                                        world->filePath(share)} +
                                                commonArguments() + selection +
                                                QStringList{QStringLiteral("--playlists"),
                                                            share == u"whole"
                                                                ? QStringLiteral("00000000000000B1,00000000000000B2")
                                                                : QStringLiteral("00000000000000B2")},
                                            cliEnvironment(world->path()), "pw");
            if (result.exitCode != 0) {
                setUpFailure = QStringLiteral("the sync into %1 failed: %2%3").arg(share, result.out, result.err);
                return;
            }
        }
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
    }

    static QStringList commonArguments()
    {
        return {QStringLiteral("--settings"), world->filePath(QStringLiteral("settings.conf")),
                QStringLiteral("--source"), world->filePath(QStringLiteral("library/Library.xml")),
                QStringLiteral("--library-id"), libraryId};
    }

    void SetUp() override
    {
        ASSERT_EQ(setUpFailure.toStdString(), "");
        ASSERT_TRUE(folder.isValid());
        useShare(QStringLiteral("whole"));
    }

    // A copy of the share a run made.
    void useShare(const QString &name)
    {
        share = folder.filePath(name);
        const QString from = world->filePath(name);
        for (const QString &file : filesBelow(from))
            writeFile(share + u'/' + file, readFile(from + u'/' + file));
    }
    QString path(const QString &relative) const { return share + u'/' + relative; }

    // verify on the share; the share must be the same after it.
    CliResult verify(const QStringList &extra = {}, bool withSource = false)
    {
        const QMap<QString, QByteArray> before = contentsBelow(share);
        QStringList arguments{QStringLiteral("verify"), QStringLiteral("--settings"),
                              world->filePath(QStringLiteral("settings.conf")), QStringLiteral("--share-folder"),
                              share, QStringLiteral("--library-id"), libraryId};
        if (withSource)
            arguments += {QStringLiteral("--source"), world->filePath(QStringLiteral("library/Library.xml"))};
        const CliResult result = runCli(arguments + extra, cliEnvironment(folder.path()), "pw");
        EXPECT_TRUE(contentsBelow(share) == before) << "verify changed the share";
        return result;
    }

    static QTemporaryDir *world;
    static QString setUpFailure;
    QTemporaryDir folder;
    QString share;
};

QTemporaryDir *VerifyEndToEndTest::world = nullptr;
QString VerifyEndToEndTest::setUpFailure;

TEST_F(VerifyEndToEndTest, ASharesAsARunLeftItIsConsistent)
{
    CliResult result = verify({}, true);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_EQ(result.err, QString());
    EXPECT_EQ(lines(result.out),
              (std::vector<std::string>{
                  "Checked 5 songs, 2 album covers, 4 playlist entries and 8 files of the library VERIFY-LIBRARY on " +
                      share.toStdString() + " against 5 tracks of the music source",
                  "The share is consistent: the server will find every song and cover"}));

    result = verify({QStringLiteral("--json")});
    EXPECT_EQ(result.exitCode, 0);
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    EXPECT_EQ(report.value(QStringLiteral("exitStatus")).toInt(-1), 0);
    EXPECT_TRUE(report.value(QStringLiteral("findings")).toArray().isEmpty());
    EXPECT_EQ(report.value(QStringLiteral("checked")).toObject().value(QStringLiteral("songs")).toInt(), 5);

    // The share of a run of one playlist holds what that selection lists.
    useShare(QStringLiteral("bells"));
    result = verify({QStringLiteral("--selected-playlists"), QStringLiteral("--playlists"),
                     QStringLiteral("00000000000000B2")},
                    true);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
}

TEST_F(VerifyEndToEndTest, EachKindOfDamageIsOneLine)
{
    ASSERT_TRUE(QFile::remove(path(morning)));
    ASSERT_TRUE(QFile::rename(path(noon), path(QStringLiteral("Music/Ann Arbor/First Light/Noon.m4a"))));
    writeFile(path(QStringLiteral("Music/Copied By Hand/Album/Song.mp3")), "hand");
    writeFile(path(QStringLiteral("Artwork/stray.jpg")), "jpeg");
    ASSERT_TRUE(QFile::remove(path(firstLightCover)));
    // A failed copy of an earlier version: a file cut short.
    writeFile(path(chime), readFile(path(chime)).left(100));
    // A playlist entry naming a song the library file does not list.
    QByteArray libraryFile = readFile(path(QStringLiteral("Library/VERIFY-LIBRARY.xml")));
    libraryFile.replace("\t\t</Playlist>", "\t\t\t<Track ID=\"0000000000DEAD00\" />\r\n\t\t</Playlist>");
    writeFile(path(QStringLiteral("Library/VERIFY-LIBRARY.xml")), libraryFile);

    const CliResult result = verify();
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_EQ(result.err, QString());
    std::vector<std::string> output = lines(result.out);
    ASSERT_EQ(output.size(), 11u) << result.out.toStdString();
    const std::vector<std::string> summary(output.end() - 2, output.end());
    output.resize(output.size() - 2);
    EXPECT_THAT(output, UnorderedElementsAreArray({
                            "missing-song\t000000000000A065\t" + morning.toStdString() + "\tMorning",
                            "missing-song\t000000000000A066\t" + noon.toStdString() + "\tNoon",
                            "wrong-size\t000000000000A069\t" + chime.toStdString() + "\t1867\t100",
                            "missing-cover\tAnn Arbor-First Light\t" + firstLightCover.toStdString(),
                            std::string("orphan\tMusic/Ann Arbor/First Light/Noon.m4a"),
                            std::string("orphan\tMusic/Copied By Hand/Album/Song.mp3"),
                            std::string("orphan\tArtwork/stray.jpg"),
                            std::string("dangling-playlist-entry\t00000000000000B1\t0000000000DEAD00\tMorning Mix"),
                            std::string("dangling-playlist-entry\t00000000000000B2\t0000000000DEAD00\tBells Only"),
                        }));
    EXPECT_THAT(summary[1], HasSubstr("Found 9 problems: 2 missing song files, 1 song files of another size, 1 "
                                      "missing album covers, 3 files named by no description file, 2 playlist "
                                      "entries naming no song"));

    const CliResult json = verify({QStringLiteral("--json")});
    EXPECT_EQ(json.exitCode, 1);
    const QJsonObject report = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray findings = report.value(QStringLiteral("findings")).toArray();
    EXPECT_EQ(findings.size(), 9);
    EXPECT_THAT(QString::fromUtf8(QJsonDocument(findings).toJson(QJsonDocument::Compact)).toStdString(),
                HasSubstr("{\"foundSize\":\"100\",\"id\":\"000000000000A069\",\"kind\":\"wrong-size\","
                          "\"listedSize\":\"1867\",\"path\":\"" + chime.toStdString() + "\"}"));
    EXPECT_EQ(report.value(QStringLiteral("exitStatus")).toInt(), 1);
}

TEST_F(VerifyEndToEndTest, TracksOfTheSourceThatARunLeftOutAreNotOnTheShare)
{
    // A run of one playlist left out the first album: for the whole library,
    // its three tracks are missing.
    useShare(QStringLiteral("bells"));
    const CliResult result = verify({QStringLiteral("--entire-library")}, true);
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString() << result.err.toStdString();
    std::vector<std::string> output = lines(result.out);
    ASSERT_EQ(output.size(), 5u) << result.out.toStdString();
    output.resize(3);
    const std::string music = world->filePath(QStringLiteral("library/Music/Ann Arbor/First Light/")).toStdString();
    EXPECT_THAT(output, UnorderedElementsAreArray({
                            "not-on-share\t000000000000A065\tMorning\t" + music + "01 Morning.mp3",
                            "not-on-share\t000000000000A066\tNoon\t" + music + "02 Noon.m4a",
                            "not-on-share\t000000000000A067\tEvening\t" + music + "03 Evening.flac",
                        }));
}

TEST_F(VerifyEndToEndTest, ADescriptionFileThatCannotBeReadIsAClearErrorAndNoFinding)
{
    const QString libraryFile = path(QStringLiteral("Library/VERIFY-LIBRARY.xml"));
    const QByteArray whole = readFile(libraryFile);
    writeFile(libraryFile, whole.left(whole.size() / 2));
    CliResult result = verify();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, QString());
    ASSERT_EQ(lines(result.err).size(), 1u) << result.err.toStdString();
    EXPECT_THAT(result.err.toStdString(),
                HasSubstr("orvanasync-cli: the share could not be verified: The library file "
                          "Library/VERIFY-LIBRARY.xml cannot be read: "));
    EXPECT_THAT(result.err.toStdString(), HasSubstr("(line "));

    writeFile(libraryFile, whole);
    const QString artworkFile = path(QStringLiteral("Artwork/Artwork.xml"));
    writeFile(artworkFile, readFile(artworkFile).left(120));
    result = verify({QStringLiteral("--json")});
    EXPECT_EQ(result.exitCode, 2);
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    EXPECT_EQ(report.value(QStringLiteral("exitStatus")).toInt(), 2);
    EXPECT_THAT(report.value(QStringLiteral("error")).toString().toStdString(),
                HasSubstr("The artwork file Artwork/Artwork.xml cannot be read"));

    // A library identifier the share has no file of: the ones it has are named.
    result = verify({QStringLiteral("--library-id"), QStringLiteral("NOT-SYNCED")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err.toStdString(), HasSubstr("Library/NOT-SYNCED.xml is not on the share, which holds the "
                                                    "library files of: VERIFY-LIBRARY"));
}

} // namespace
