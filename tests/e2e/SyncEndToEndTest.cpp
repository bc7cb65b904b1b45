#include "tests/e2e/EndToEndSupport.h"
#include "tests/support/SimulatorProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const QString morningMix = QStringLiteral("00000000000000B1");
const QString bellsOnly = QStringLiteral("00000000000000B2");

class SyncEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        library = folder.filePath(QStringLiteral("library"));
        share = folder.filePath(QStringLiteral("share"));
        settingsFile = folder.filePath(QStringLiteral("settings.conf"));
        requestLog = folder.filePath(QStringLiteral("requests.log"));
        QDir().mkpath(share);
        ASSERT_EQ(makeSampleLibrary(library).toStdString(), "");
    }

    void startSimulator(const QStringList &extra = {})
    {
        ASSERT_EQ(simulator.start(share, requestLog, extra).toStdString(), "");
    }
    CliResult runCli(const QStringList &arguments, const QProcessEnvironment &extra = {}, int timeoutMs = 90000)
    {
        QProcessEnvironment environment = cliEnvironment(folder.path());
        environment.insert(extra);
        return ::runCli(arguments, environment, "s3cret-share-pw", timeoutMs);
    }
    QStringList syncArguments(const QStringList &extra = {}) const
    {
        return QStringList{QStringLiteral("sync"),
                           QStringLiteral("--settings"),
                           settingsFile,
                           QStringLiteral("--source"),
                           library + QStringLiteral("/Library.xml"),
                           QStringLiteral("--server"),
                           QStringLiteral("127.0.0.1"),
                           QStringLiteral("--share-folder"),
                           share,
                           QStringLiteral("--library-name"),
                           QStringLiteral("E2E Library"),
                           QStringLiteral("--library-id"),
                           QStringLiteral("E2E-LIBRARY")} +
               extra;
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList shareFiles() const { return filesBelow(share); }
    QList<QJsonObject> refreshRequests() { return simulator.refreshRequests(); }
    static QStringList outputLines(const CliResult &result)
    {
        return result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir folder;
    QString library;
    QString share;
    QString settingsFile;
    QString requestLog;
    SimulatorProcess simulator;
};

TEST_F(SyncEndToEndTest, AWholeLibraryRunFillsTheShareAndTheServerFindsEverything)
{
    startSimulator();
    const CliResult result = runCli(syncArguments({QStringLiteral("--entire-library")}));
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();

    const QStringList files = shareFiles();
    for (const char *expected :
         {"Library/E2E-LIBRARY.xml", "Artwork/Artwork.xml", "Music/Ann Arbor/First Light/01 Morning.mp3",
          "Music/Ann Arbor/First Light/02 Noon.m4a", "Music/Ann Arbor/First Light/03 Evening.flac",
          "Music/Bob & The Bells/Second Wind/01 Ring.mp3", "Music/Bob & The Bells/Second Wind/02 Chime.mp3"})
        EXPECT_TRUE(files.contains(QString::fromUtf8(expected))) << expected << "\n" << files.join(u'\n').toStdString();
    for (const QString &file : files)
        EXPECT_FALSE(QFileInfo(file).fileName().startsWith(QLatin1Char('.'))) << "leftover " << file.toStdString();
    EXPECT_EQ(readFile(library + QStringLiteral("/Music/Ann Arbor/First Light/02 Noon.m4a")),
              readFile(share + QStringLiteral("/Music/Ann Arbor/First Light/02 Noon.m4a")));

    const QByteArray libraryFile = readFile(share + QStringLiteral("/Library/E2E-LIBRARY.xml"));
    EXPECT_EQ(libraryFile.count("<Song "), 5);
    EXPECT_TRUE(libraryFile.contains("E2E Library"));
    EXPECT_TRUE(libraryFile.contains("\\\\127.0.0.1\\OrvanaMusic\\Music\\Ann Arbor\\First Light\\01 Morning.mp3"));

    const QList<QJsonObject> requests = refreshRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].value(QStringLiteral("status")).toInt(), 200);
    const QJsonObject found = requests[0].value(QStringLiteral("share")).toObject();
    EXPECT_EQ(found.value(QStringLiteral("songs")).toInt(), 5);
    EXPECT_TRUE(found.value(QStringLiteral("missing")).toArray().isEmpty());
    EXPECT_THAT(QString::fromUtf8(QJsonDocument(requests[0]).toJson()).toStdString(), HasSubstr("16384"));

    const QStringList lines = outputLines(result);
    EXPECT_TRUE(lines.contains(QStringLiteral("Completed iTunes Synchronization")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Copied 5 tracks and 2 album covers")));
    EXPECT_THAT(result.out.toStdString(), HasSubstr(": Starting synchronization\n"));
    EXPECT_THAT(result.out.toStdString(), HasSubstr(": Completed synchronization\n"));
    EXPECT_THAT(result.out.toStdString(), HasSubstr(": Successfully Refreshed Orvana Media Library\n"));
    // Standard error is not a terminal here: no progress bar.
    EXPECT_EQ(result.err, QString());
}

TEST_F(SyncEndToEndTest, ASecondRunCopiesNothing)
{
    startSimulator();
    ASSERT_EQ(runCli(syncArguments({QStringLiteral("--entire-library")})).exitCode, 0);
    const QStringList before = shareFiles();
    const CliResult second = runCli(syncArguments({QStringLiteral("--entire-library")}));
    ASSERT_EQ(second.exitCode, 0) << second.out.toStdString();
    EXPECT_TRUE(outputLines(second).contains(QStringLiteral("Copied 0 tracks and 0 album covers")))
        << second.out.toStdString();
    EXPECT_TRUE(outputLines(second).contains(QStringLiteral("5 tracks unchanged and 2 album covers unchanged")));
    EXPECT_THAT(second.out.toStdString(), Not(HasSubstr("Debug: Copying:")));
    EXPECT_EQ(readFile(share + QStringLiteral("/Library/E2E-LIBRARY.xml")).count("<Song "), 5);
    for (const QString &file : before)
        EXPECT_TRUE(shareFiles().contains(file));
}

TEST_F(SyncEndToEndTest, ASelectedPlaylistRunCopiesOnlyItsTracks)
{
    startSimulator();
    const CliResult result =
        runCli(syncArguments({QStringLiteral("--selected-playlists"), QStringLiteral("--playlists"), bellsOnly}));
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString();
    const QStringList music = shareFiles().filter(QStringLiteral("Music/"));
    EXPECT_EQ(music, (QStringList{QStringLiteral("Music/Bob & The Bells/Second Wind/01 Ring.mp3"),
                                  QStringLiteral("Music/Bob & The Bells/Second Wind/02 Chime.mp3")}));
    const QByteArray libraryFile = readFile(share + QStringLiteral("/Library/E2E-LIBRARY.xml"));
    EXPECT_EQ(libraryFile.count("<Song "), 2);
    EXPECT_TRUE(libraryFile.contains("Bells Only"));
    EXPECT_FALSE(libraryFile.contains("Morning Mix"));
    EXPECT_THAT(result.out.toStdString(), HasSubstr("Copying Playlist: Bells Only"));
}

TEST_F(SyncEndToEndTest, AFaultAnswerEndsWithOneErrorLineAndStatusOne)
{
    startSimulator({QStringLiteral("--fault")});
    const CliResult result = runCli(syncArguments({QStringLiteral("--entire-library")}));
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    EXPECT_THAT(result.err.toStdString(),
                HasSubstr("orvanasync-cli: the server did not refresh its media collection ("));
    EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << result.err.toStdString();
    EXPECT_THAT(result.out.toStdString(), Not(HasSubstr("Debug:")));
    EXPECT_THAT(result.out.toStdString(), Not(HasSubstr("Successfully Refreshed")));
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Library/E2E-LIBRARY.xml")));
}

TEST_F(SyncEndToEndTest, AnHttpErrorEndsWithAnErrorLineAndStatusOneAndVerboseShowsTheDebugLine)
{
    startSimulator({QStringLiteral("--http-error"), QStringLiteral("500")});
    const CliResult result = runCli(syncArguments({QStringLiteral("--entire-library"), QStringLiteral("-v")}));
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    EXPECT_THAT(result.out.toStdString(), HasSubstr(": Debug: "));
    EXPECT_THAT(result.err.toStdString(), HasSubstr("orvanasync-cli: the server did not refresh"));
    EXPECT_THAT(result.out.toStdString(), Not(HasSubstr("Successfully Refreshed")));
}

TEST_F(SyncEndToEndTest, ASilentServerIsGivenUpAfterTheWait)
{
    startSimulator({QStringLiteral("--delay"), QStringLiteral("20000")});
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("ORVANASYNC_REFRESH_WAIT_MS"), QStringLiteral("1500"));
    const CliResult result = runCli(syncArguments({QStringLiteral("--entire-library")}), environment, 15000);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err.toStdString(), HasSubstr("did not answer the refresh"));
    EXPECT_TRUE(outputLines(result).contains(QStringLiteral("Completed iTunes Synchronization")));
}

TEST_F(SyncEndToEndTest, AServerThatIsNotThereFailsTheRefreshOnly)
{
    const CliResult result = runCli(syncArguments({QStringLiteral("--entire-library")}));
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    EXPECT_THAT(result.err.toStdString(),
                HasSubstr("running and reachable on port 8731? The files are on the share\n"));
    EXPECT_EQ(readFile(share + QStringLiteral("/Library/E2E-LIBRARY.xml")).count("<Song "), 5);
}

TEST_F(SyncEndToEndTest, AMountThatCannotWorkHereEndsTheRunWithStatusTwoAndTouchesNothing)
{
    QFile settings(settingsFile);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nMountMethod=gvfs\n");
    settings.close();
    QStringList arguments =
        syncArguments({QStringLiteral("--entire-library"), QStringLiteral("--user"), QStringLiteral("ann"),
                       QStringLiteral("--password-file"), folder.filePath(QStringLiteral("pw"))});
    const qsizetype shareOption = arguments.indexOf(QStringLiteral("--share-folder"));
    arguments.remove(shareOption, 2);
    QFile password(folder.filePath(QStringLiteral("pw")));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly));
    password.write("s3cret-share-pw\n");
    password.close();
    // No session bus in the test's environment: GVfs cannot be reached.
    const CliResult result = runCli(arguments);
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString();
    EXPECT_THAT(result.err.toStdString(), HasSubstr("orvanasync-cli: mounting the share through GVfs needs a D-Bus "
                                                    "session bus and there is none"));
    EXPECT_TRUE(shareFiles().isEmpty());
    EXPECT_FALSE(result.out.contains(QStringLiteral("s3cret-share-pw")));
    EXPECT_FALSE(result.err.contains(QStringLiteral("s3cret-share-pw")));
    if (QFile::permissions(password.fileName()) & QFileDevice::ReadOther) {
        EXPECT_THAT(result.err.toStdString(),
                    HasSubstr(QStringLiteral("orvanasync-cli: warning: the password file %1 can be read by other users")
                                  .arg(password.fileName())
                                  .toStdString()));
    }
}

TEST_F(SyncEndToEndTest, ErrorsSayWhatToDoOnOneLineOfStandardError)
{
    const QString volumes = folder.filePath(QStringLiteral("volumes"));
    QDir().mkpath(volumes);
    const auto withSettings = [&](const QByteArray &content) {
        QFile settings(settingsFile);
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write("[General]\nVolumesFolder=" + volumes.toUtf8() + "\n" + content);
        // As the program keeps it: a wider mode would add a warning line.
        settings.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    const auto without = [](QStringList arguments, const QString &option) {
        arguments.remove(arguments.indexOf(option), 2);
        return arguments;
    };
    QFile notes(folder.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("shopping: milk, eggs\n");
    notes.close();
    struct Case {
        const char *name;
        QByteArray settings;
        QStringList arguments;
        const char *expected;
        int status;
    };
    const QStringList plain = syncArguments({QStringLiteral("--entire-library")});
    const QList<Case> cases = {
        {"no server", "", without(without(plain, QStringLiteral("--server")), QStringLiteral("--share-folder")),
         "orvanasync-cli: no server given or stored: give --server ADDRESS", 2},
        {"share folder missing", "",
         plain + QStringList{QStringLiteral("--share-folder"), folder.filePath(QStringLiteral("not-mounted"))},
         "orvanasync-cli: the share folder ", 2},
        {"unknown mount method", "MountMethod=nfs\n", without(plain, QStringLiteral("--share-folder")),
         "orvanasync-cli: unknown MountMethod \"nfs\"", 2},
        {"source is not an export", "",
         plain + QStringList{QStringLiteral("--source"), notes.fileName()},
         "is neither a library export nor a folder", 2},
        {"source missing", "",
         plain + QStringList{QStringLiteral("--source"), folder.filePath(QStringLiteral("nothing.xml"))},
         "does not exist: give --source", 2},
        {"typo", "", plain + QStringList{QStringLiteral("--dryrun")},
         "orvanasync-cli: unknown option --dryrun; did you mean --dry-run?", 2},
        {"missing value", "", plain + QStringList{QStringLiteral("--library-name"), QStringLiteral("--dry-run")},
         "orvanasync-cli: --library-name needs a value", 2},
    };
    for (const Case &test : cases) {
        withSettings(test.settings);
        const CliResult result = runCli(test.arguments);
        EXPECT_EQ(result.exitCode, test.status) << test.name << "\n" << result.err.toStdString();
        EXPECT_THAT(result.err.toStdString(), HasSubstr(test.expected)) << test.name;
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("orvanasync-cli: "))) << test.name;
        EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << test.name << "\n" << result.err.toStdString();
        EXPECT_TRUE(shareFiles().isEmpty()) << test.name;
    }
    EXPECT_TRUE(QDir(volumes).isEmpty()) << "no mount point was made";
}

TEST_F(SyncEndToEndTest, TheOptionFormsOfTheCommandLine)
{
    const CliResult help = runCli({QStringLiteral("-h")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out.toStdString(), HasSubstr("Usage: orvanasync-cli <command> [options]"));
    EXPECT_THAT(help.out.toStdString(), HasSubstr("--json"));
    const CliResult version = runCli({QStringLiteral("-V")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("orvanasync-cli "))) << version.out.toStdString();

    // "=" values and "--" before a value that looks like an option.
    const CliResult dryRun = runCli({QStringLiteral("sync"), QStringLiteral("--settings=") + settingsFile,
                                     QStringLiteral("--source=") + library + QStringLiteral("/Library.xml"),
                                     QStringLiteral("--share-folder=") + share, QStringLiteral("--server=127.0.0.1"),
                                     QStringLiteral("--library-id=E2E-LIBRARY"), QStringLiteral("--entire-library"),
                                     QStringLiteral("--dry-run")});
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    EXPECT_TRUE(outputLines(dryRun).contains(QStringLiteral("Would copy 5 tracks and 2 album covers")))
        << dryRun.out.toStdString();
    const CliResult set = runCli({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("--settings"),
                                  settingsFile, QStringLiteral("--"), QStringLiteral("ITunesLibraryName"),
                                  QStringLiteral("--Ann's music--")});
    EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    const CliResult get = runCli({QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("ITunesLibraryName"),
                                  QStringLiteral("--settings"), settingsFile});
    EXPECT_EQ(get.out, QStringLiteral("--Ann's music--\n"));
}

TEST_F(SyncEndToEndTest, ThePasswordNeverReachesTheOutputOrAFileOthersCanRead)
{
    startSimulator();
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("ORVANASYNC_PASSWORD"), QStringLiteral("s3cret-share-pw"));
    // Without --library-id the first run stores a new identifier: the settings file is written.
    QStringList arguments = syncArguments({QStringLiteral("--entire-library")});
    arguments.remove(arguments.indexOf(QStringLiteral("--library-id")), 2);
    const CliResult result = runCli(arguments, environment);
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString();
    EXPECT_FALSE(result.out.contains(QStringLiteral("s3cret-share-pw")));
    EXPECT_FALSE(result.err.contains(QStringLiteral("s3cret-share-pw")));
    QDirIterator it(folder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!readFile(path).contains("s3cret-share-pw"))
            continue;
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u) << "readable by others: " << path.toStdString();
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsFile).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SyncEndToEndTest, ADryRunChangesNothingAndSendsNoRefresh)
{
    startSimulator();
    // No --library-id: a real run would store a new identifier.
    QStringList arguments = syncArguments({QStringLiteral("--entire-library"), QStringLiteral("--dry-run")});
    arguments.remove(arguments.indexOf(QStringLiteral("--library-id")), 2);
    const CliResult result = runCli(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    EXPECT_TRUE(shareFiles().isEmpty());
    EXPECT_FALSE(QFile::exists(settingsFile)) << "the settings file was written";
    const QStringList lines = outputLines(result);
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{QStringLiteral("Dry run completed: nothing was changed"),
                           QStringLiteral("Would copy 5 tracks and 2 album covers")}));
    EXPECT_THAT(result.out.toStdString(), Not(HasSubstr("Copied 0")));
    EXPECT_TRUE(refreshRequests().isEmpty());

    const CliResult json = runCli(arguments + QStringList{QStringLiteral("--json")});
    const QJsonObject summary = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(summary.value(QStringLiteral("wouldCopy")).toObject().value(QStringLiteral("tracks")).toInt(), 5);
    EXPECT_TRUE(summary.value(QStringLiteral("dryRun")).toBool());
    EXPECT_EQ(summary.value(QStringLiteral("refresh")).toString(), QStringLiteral("not sent"));
}

TEST_F(SyncEndToEndTest, PlaylistsListsIdTrackCountAndName)
{
    const CliResult result = runCli({QStringLiteral("playlists"), QStringLiteral("--settings"), settingsFile,
                                     QStringLiteral("--source"), library + QStringLiteral("/Library.xml")});
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              morningMix + QStringLiteral("\t2\tMorning Mix\n") + bellsOnly + QStringLiteral("\t2\tBells Only\n"));
}

TEST_F(SyncEndToEndTest, QuietPrintsTheTotalsAloneAndVerboseAddsTheDebugLines)
{
    startSimulator();
    QStringList arguments = syncArguments({QStringLiteral("--entire-library")});
    const CliResult verbose = runCli(arguments + QStringList{QStringLiteral("--verbose")});
    ASSERT_EQ(verbose.exitCode, 0) << verbose.err.toStdString();
    QFile::remove(share + QStringLiteral("/Library/E2E-LIBRARY.xml"));
    const CliResult normal = runCli(arguments);
    const CliResult quiet = runCli(arguments + QStringList{QStringLiteral("-q")});
    ASSERT_EQ(normal.exitCode, 0);
    ASSERT_EQ(quiet.exitCode, 0);
    const qsizetype debugLines = outputLines(verbose).filter(QStringLiteral(": Debug: ")).size();
    EXPECT_GE(debugLines, 5) << "one per copied track at least";
    EXPECT_EQ(outputLines(normal).filter(QStringLiteral(": Debug: ")).size(), 0);
    EXPECT_LT(outputLines(normal).size(), outputLines(verbose).size());
    // The totals: the operation line and three titles (nothing failed).
    EXPECT_EQ(outputLines(quiet),
              (QStringList{QStringLiteral("Completed iTunes Synchronization"),
                           QStringLiteral("Processed 5 tracks and 2 album covers"),
                           QStringLiteral("Copied 0 tracks and 0 album covers"),
                           QStringLiteral("5 tracks unchanged and 2 album covers unchanged")}));
    EXPECT_EQ(quiet.err, QString());
}

TEST_F(SyncEndToEndTest, JsonSummaryCountsMatchTheTotalsLines)
{
    startSimulator();
    const CliResult result = runCli(syncArguments({QStringLiteral("--entire-library"), QStringLiteral("--json")}));
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << "stdout is the JSON alone: " << result.out.toStdString();
    const QJsonObject summary = document.object();
    const QJsonObject tracks = summary.value(QStringLiteral("tracks")).toObject();
    const QJsonObject covers = summary.value(QStringLiteral("albumCovers")).toObject();
    const QStringList lines = summary.value(QStringLiteral("summary")).toVariant().toStringList();
    EXPECT_TRUE(lines.contains(QStringLiteral("Processed %1 tracks and %2 album covers")
                                   .arg(tracks.value(QStringLiteral("processed")).toInt())
                                   .arg(covers.value(QStringLiteral("processed")).toInt())))
        << result.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Copied %1 tracks and %2 album covers")
                                   .arg(tracks.value(QStringLiteral("copied")).toInt())
                                   .arg(covers.value(QStringLiteral("copied")).toInt())));
    EXPECT_EQ(tracks.value(QStringLiteral("copied")).toInt(), 5);
    EXPECT_EQ(covers.value(QStringLiteral("copied")).toInt(), 2);
    EXPECT_EQ(summary.value(QStringLiteral("refresh")).toString(), QStringLiteral("succeeded"));
    EXPECT_EQ(summary.value(QStringLiteral("exitStatus")).toInt(), 0);
    EXPECT_TRUE(summary.value(QStringLiteral("errors")).toArray().isEmpty());

    // A missing audio file: one error group, status 1, refresh still sent.
    QFile::remove(share + QStringLiteral("/Library/E2E-LIBRARY.xml"));
    QFile::remove(share + QStringLiteral("/Music/Ann Arbor/First Light/01 Morning.mp3"));
    QFile::remove(library + QStringLiteral("/Music/Ann Arbor/First Light/01 Morning.mp3"));
    const CliResult failed = runCli(syncArguments({QStringLiteral("--entire-library"), QStringLiteral("--json")}));
    EXPECT_EQ(failed.exitCode, 1);
    const QJsonObject second = QJsonDocument::fromJson(failed.out.toUtf8()).object();
    EXPECT_EQ(second.value(QStringLiteral("exitStatus")).toInt(), 1);
    const QJsonArray errors = second.value(QStringLiteral("errors")).toArray();
    ASSERT_EQ(errors.size(), 1) << failed.out.toStdString();
    EXPECT_EQ(errors[0].toObject().value(QStringLiteral("count")).toInt(), 1);
    EXPECT_EQ(second.value(QStringLiteral("tracks")).toObject().value(QStringLiteral("failed")).toInt(), 1);
    // The error itself is on standard error, prefixed, never in the JSON's stream.
    const QString title = errors[0].toObject().value(QStringLiteral("title")).toString();
    EXPECT_THAT(failed.err.toStdString(),
                HasSubstr(QString(QStringLiteral("orvanasync-cli: ") + title + QLatin1Char('\n')).toStdString()));
    for (const QString &line : failed.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(line.startsWith(QStringLiteral("orvanasync-cli: "))) << line.toStdString();
}

TEST_F(SyncEndToEndTest, PlaylistsSaysWhatTheLoadLeftOutOnStandardError)
{
    QFile export_(library + QStringLiteral("/Library.xml"));
    ASSERT_TRUE(export_.open(QIODevice::ReadOnly));
    QByteArray content = export_.readAll();
    export_.close();
    const QByteArray bellsID = "<string>" + bellsOnly.toUtf8() + "</string>";
    ASSERT_TRUE(content.contains(bellsID));
    content.replace(bellsID, QByteArray("<string>" + morningMix.toUtf8() + "</string>"));
    ASSERT_TRUE(export_.open(QIODevice::WriteOnly | QIODevice::Truncate));
    export_.write(content);
    export_.close();
    const CliResult result = runCli({QStringLiteral("playlists"), QStringLiteral("--settings"), settingsFile,
                                     QStringLiteral("--source"), library + QStringLiteral("/Library.xml")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, morningMix + QStringLiteral("\t2\tMorning Mix\n"));
    EXPECT_THAT(result.err.toStdString(),
                HasSubstr("orvanasync-cli: Playlist 3 (Bells Only) has the \"Playlist Persistent ID\" of playlist 2 "
                          "(Morning Mix), left out\n"));
}

TEST_F(SyncEndToEndTest, PlaylistNamesWithTabsAndLineBreaksStayOneLineAndJsonKeepsThem)
{
    QFile export_(library + QStringLiteral("/Library.xml"));
    ASSERT_TRUE(export_.open(QIODevice::ReadOnly));
    QByteArray content = export_.readAll();
    export_.close();
    ASSERT_TRUE(content.contains("<string>Bells Only</string>"));
    content.replace("<string>Bells Only</string>", "<string>Bells\tOnly\nLive \\ B</string>");
    ASSERT_TRUE(export_.open(QIODevice::WriteOnly | QIODevice::Truncate));
    export_.write(content);
    export_.close();
    const QStringList arguments{QStringLiteral("playlists"), QStringLiteral("--settings"), settingsFile,
                                QStringLiteral("--source"), library + QStringLiteral("/Library.xml")};
    const CliResult tsv = runCli(arguments);
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err.toStdString();
    EXPECT_EQ(tsv.out, morningMix + QStringLiteral("\t2\tMorning Mix\n") + bellsOnly +
                           QStringLiteral("\t2\tBells\\tOnly\\nLive \\\\ B\n"));
    const CliResult json = runCli(arguments + QStringList{QStringLiteral("--json")});
    ASSERT_EQ(json.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 2) << json.out.toStdString();
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Bells\tOnly\nLive \\ B"));
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("id")).toString(), bellsOnly);
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("tracks")).toInt(), 2);
}

TEST_F(SyncEndToEndTest, NoMusicSourceOrBadOptionsCannotRun)
{
    EXPECT_EQ(
        runCli(syncArguments({QStringLiteral("--source"), folder.filePath(QStringLiteral("nothing.xml"))})).exitCode,
        2);
    EXPECT_EQ(runCli({QStringLiteral("sync"), QStringLiteral("--password"), QStringLiteral("x")}).exitCode, 2);
    EXPECT_TRUE(shareFiles().isEmpty());
}

// Runs orvanasync-cli with a pseudo-terminal as its standard output and
// error, as in an interactive shell; answers what it wrote and its status.
std::pair<int, QByteArray> runOnTerminal(const QStringList &arguments, const QProcessEnvironment &environment)
{
    // Everything execve needs, made before the fork.
    QList<QByteArray> words{QByteArrayLiteral(ORVANA_CLI_PATH)};
    for (const QString &argument : arguments)
        words.append(argument.toLocal8Bit());
    QList<QByteArray> variables;
    for (const QString &variable : environment.toStringList())
        variables.append(variable.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    for (QByteArray &variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    winsize size{};
    size.ws_col = 200;
    size.ws_row = 50;
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, &size);
    if (child == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (child < 0)
        return {-1, QByteArray("forkpty failed")};
    QByteArray output;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(terminal, buffer, sizeof buffer);
        if (count > 0)
            output.append(buffer, count);
        else if (count < 0 && errno == EINTR)
            continue;
        else
            break; // EIO once the program and its terminal are gone
    }
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST_F(SyncEndToEndTest, OnATerminalOneProgressLineShowsTracksBytesAndTheRefreshWait)
{
    startSimulator({QStringLiteral("--delay"), QStringLiteral("1500")});
    const auto [status, output] =
        runOnTerminal(syncArguments({QStringLiteral("--entire-library")}), cliEnvironment(folder.path()));
    ASSERT_EQ(status, 0) << output.toStdString();
    const QString text = QString::fromUtf8(output);
    // Each state of the line starts by going back and clearing it.
    EXPECT_THAT(text.toStdString(), HasSubstr("\r\033[K["));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\] +\\d+% [0-4]/5 tracks  [0-9.]+ (B|kB|MB)/[0-9.]+ (kB|MB)"))
                    .match(text)
                    .hasMatch())
        << text.toStdString();
    EXPECT_THAT(text.toStdString(), HasSubstr("album covers "));
    EXPECT_THAT(text.toStdString(), HasSubstr("100% waiting for the server to refresh its library"));
    // The bar never goes back between stages.
    int previous = -1;
    const QRegularExpression percent(QStringLiteral("\\r\\033\\[K\\[[# ]+\\] +(\\d+)%"));
    for (auto match = percent.globalMatch(text); match.hasNext();) {
        const int value = match.next().captured(1).toInt();
        EXPECT_GE(value, previous) << text.toStdString();
        previous = value;
    }
    EXPECT_EQ(previous, 100);
    // The totals stand on lines of their own, after the progress line is cleared.
    EXPECT_THAT(text.toStdString(), HasSubstr("\r\nCompleted iTunes Synchronization\r\n"));
    EXPECT_FALSE(text.endsWith(QLatin1String("\033[K"))) << "the line was left on the terminal";
    EXPECT_THAT(text.toStdString(), HasSubstr("\nCopied 5 tracks and 2 album covers\r\n"));
}

// Refusals that protect the server: after a first run has published the
// five tracks, a run that would publish none stops before writing anything.
class ServerProtectionTest : public SyncEndToEndTest {
protected:
    void SetUp() override
    {
        SyncEndToEndTest::SetUp();
        startSimulator();
        const CliResult first = runCli(syncArguments({QStringLiteral("--entire-library")}));
        ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
        published = libraryFile();
        ASSERT_EQ(published.count("<Song "), 5);
        QDir().mkpath(emptyFolder());
    }
    QByteArray libraryFile() const { return readFile(share + QStringLiteral("/Library/E2E-LIBRARY.xml")); }
    QString emptyFolder() const { return folder.filePath(QStringLiteral("unmounted-disk")); }
    // The refused run changed nothing: the same library file, no refresh
    // beyond the first run's.
    void expectNothingChanged()
    {
        EXPECT_EQ(libraryFile(), published);
        EXPECT_EQ(refreshRequests().size(), 1);
    }

    QByteArray published;
};

TEST_F(ServerProtectionTest, AnEmptyFolderSourceIsRefusedWithStatusTwoUnlessAllowed)
{
    const QStringList arguments =
        syncArguments({QStringLiteral("--entire-library"), QStringLiteral("--source"), emptyFolder()});
    const CliResult refused = runCli(arguments);
    EXPECT_EQ(refused.exitCode, 2) << refused.out.toStdString() << refused.err.toStdString();
    EXPECT_THAT(refused.err.toStdString(), HasSubstr("orvanasync-cli: the run would publish a library with no tracks"));
    EXPECT_THAT(refused.err.toStdString(), HasSubstr("5 songs"));
    EXPECT_THAT(refused.err.toStdString(), HasSubstr("--allow-empty"));
    EXPECT_EQ(refused.err.count(QLatin1Char('\n')), 1) << refused.err.toStdString();
    EXPECT_EQ(libraryFile(), published);

    const CliResult allowed = runCli(arguments + QStringList{QStringLiteral("--allow-empty")});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.out.toStdString() << allowed.err.toStdString();
    EXPECT_EQ(libraryFile().count("<Song "), 0);
    EXPECT_EQ(refreshRequests().size(), 2);
}

TEST_F(ServerProtectionTest, AnUnknownPlaylistIdIsReportedByIdAndNothingIsWritten)
{
    const CliResult result = runCli(syncArguments({QStringLiteral("--selected-playlists"), QStringLiteral("--playlists"),
                                                   bellsOnly + QStringLiteral(",00000000DEADBEEF")}));
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString() << result.err.toStdString();
    EXPECT_THAT(result.err.toStdString(), HasSubstr("orvanasync-cli: no playlist has the ID 00000000DEADBEEF"));
    EXPECT_THAT(result.err.toStdString(), Not(HasSubstr(bellsOnly.toStdString())));
    expectNothingChanged();
}

TEST_F(ServerProtectionTest, ASelectionNamingNoPlaylistIsRefused)
{
    // No stored selection and none given: the run would list nothing.
    const CliResult result = runCli(syncArguments({QStringLiteral("--selected-playlists")}));
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString() << result.err.toStdString();
    EXPECT_THAT(result.err.toStdString(), HasSubstr("orvanasync-cli: the selection names no playlist"));
    EXPECT_THAT(result.err.toStdString(), HasSubstr("--allow-empty"));
    expectNothingChanged();
}

TEST(SyncCrashTest, RunsKilledAtRandomMomentsNeverLeaveABadFileAndTheNextRunCompletes)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString library = folder.filePath(QStringLiteral("library"));
    const QString share = folder.filePath(QStringLiteral("share"));
    QDir().mkpath(share);
    ASSERT_EQ(makeSampleLibrary(library, {QStringLiteral("--tracks"), QStringLiteral("100"), QStringLiteral("--size"),
                                          QStringLiteral("2000000")})
                  .toStdString(),
              "");

    const QStringList arguments{QStringLiteral("sync"),
                                QStringLiteral("--settings"),
                                folder.filePath(QStringLiteral("settings.conf")),
                                QStringLiteral("--source"),
                                library + QStringLiteral("/Library.xml"),
                                QStringLiteral("--server"),
                                QStringLiteral("127.0.0.1"),
                                QStringLiteral("--share-folder"),
                                share,
                                QStringLiteral("--library-id"),
                                QStringLiteral("CRASH"),
                                QStringLiteral("--entire-library")};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), folder.path());
    // Every final name of the 2 MB tracks must hold exactly its source's bytes.
    const auto checkShare = [&](int round) {
        QDirIterator it(share + QStringLiteral("/Music/Filler Artist"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString copy = it.next();
            const QString source =
                library + QStringLiteral("/Music/") + QDir(share + QStringLiteral("/Music")).relativeFilePath(copy);
            QFile a(copy), b(source);
            ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << copy.toStdString();
            ASSERT_EQ(a.size(), b.size()) << "round " << round << ": " << copy.toStdString();
            ASSERT_TRUE(a.readAll() == b.readAll()) << "round " << round << ": " << copy.toStdString();
        }
    };
    for (int round = 0; round < 20; ++round) {
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(ORVANA_CLI_PATH), arguments);
        ASSERT_TRUE(cli.waitForStarted());
        QThread::msleep(QRandomGenerator::global()->bounded(50, 600));
        cli.kill();
        cli.waitForFinished();
        checkShare(round);
    }
    QProcess last;
    last.setProcessEnvironment(environment);
    last.start(QStringLiteral(ORVANA_CLI_PATH), arguments);
    ASSERT_TRUE(last.waitForFinished(120000));
    // No server is listening: the refresh fails, the run itself completes.
    EXPECT_EQ(last.exitCode(), 1) << last.readAllStandardOutput().toStdString();
    checkShare(20);
    QFile libraryFile(share + QStringLiteral("/Library/CRASH.xml"));
    ASSERT_TRUE(libraryFile.open(QIODevice::ReadOnly));
    const QByteArray content = libraryFile.readAll();
    EXPECT_EQ(content.count("<Song "), 105);
    for (int id = 101; id <= 205; ++id) {
        const QByteArray persistentId = QByteArray::number(0xA000 + id, 16).toUpper().rightJustified(16, '0');
        const QByteArray attribute = QByteArray("ID=\"") + persistentId + QByteArray("\"");
        EXPECT_EQ(content.count(attribute), 1) << persistentId.toStdString();
    }
}

} // namespace
