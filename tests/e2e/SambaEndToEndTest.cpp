#include "tests/e2e/EndToEndSupport.h"
#include "tests/e2e/GvfsSession.h"
#include "tests/e2e/ProcessTree.h"
#include "tests/e2e/SambaServer.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QByteArray sharePassword = "Samba-e2e-pw";

// Where each track of the sample library lies on the share (the album
// "Second <Wind>" loses the characters a file name cannot hold) and in the library.
const QList<std::pair<QString, QString>> sampleTracks{
    {QStringLiteral("Music/Ann Arbor/First Light/01 Morning.mp3"),
     QStringLiteral("Music/Ann Arbor/First Light/01 Morning.mp3")},
    {QStringLiteral("Music/Ann Arbor/First Light/02 Noon.m4a"),
     QStringLiteral("Music/Ann Arbor/First Light/02 Noon.m4a")},
    {QStringLiteral("Music/Ann Arbor/First Light/03 Evening.flac"),
     QStringLiteral("Music/Ann Arbor/First Light/03 Evening.flac")},
    {QStringLiteral("Music/Bob & The Bells/Second Wind/01 Ring.mp3"),
     QStringLiteral("Music/Bob & The Bells/Second <Wind>/01 Ring.mp3")},
    {QStringLiteral("Music/Bob & The Bells/Second Wind/02 Chime.mp3"),
     QStringLiteral("Music/Bob & The Bells/Second <Wind>/02 Chime.mp3")}};

// The run mounts the share of a real Samba server through GVfs, as a
// desktop user's session does: smbd, a session bus and gvfsd are this
// test's own and are stopped afterwards, with nothing left running.
class SambaEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString missing = SambaServer::missingPrerequisite();
        if (missing.isNull())
            missing = GvfsSession::missingPrerequisite();
        if (!missing.isNull())
            GTEST_SKIP() << missing.toStdString();
        processtree::adoptOrphans();
        ASSERT_TRUE(folder.isValid());
        library = folder.filePath(QStringLiteral("library"));
        ASSERT_EQ(makeSampleLibrary(library).toStdString(), "");
        // smbd serves the share as a Unix user: the one running the test.
        const passwd *user = getpwuid(geteuid());
        ASSERT_NE(user, nullptr);
        userName = QString::fromLocal8Bit(user->pw_name);
        ASSERT_EQ(samba
                      .start(folder.filePath(QStringLiteral("samba")), QStringLiteral("OrvanaMusic"), userName,
                             QString::fromUtf8(sharePassword))
                      .toStdString(),
                  "");
        ASSERT_EQ(
            gvfs.start(folder.filePath(QStringLiteral("run")), folder.filePath(QStringLiteral("home"))).toStdString(),
            "");
        serverWithPort = QStringLiteral("127.0.0.1:%1").arg(samba.port());
        writeFile(folder.filePath(QStringLiteral("settings.conf")), "[General]\nMountMethod=gvfs\n");
        writePassword(sharePassword);
    }
    void TearDown() override
    {
        simulator.stop();
        gvfs.stop();
        samba.stop();
        const QStringList leftovers = processtree::stopDescendants(5000);
        EXPECT_TRUE(leftovers.isEmpty()) << "still running after the stop: " << leftovers.join(u'\n').toStdString();
    }

    void writePassword(const QByteArray &password)
    {
        const QString path = folder.filePath(QStringLiteral("password"));
        writeFile(path, password + '\n');
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    CliResult runSync(const QString &server, const QStringList &extra = {})
    {
        QProcessEnvironment environment = cliEnvironment(folder.filePath(QStringLiteral("home")));
        gvfs.addTo(environment);
        // The system log goes to standard error as well, where the test can read it.
        environment.insert(QStringLiteral("ORVANA_SYSLOG_STDERR"), QStringLiteral("1"));
        const QStringList arguments = QStringList{QStringLiteral("sync"),
                                                  QStringLiteral("--settings"),
                                                  folder.filePath(QStringLiteral("settings.conf")),
                                                  QStringLiteral("--source"),
                                                  library + QStringLiteral("/Library.xml"),
                                                  QStringLiteral("--server"),
                                                  server,
                                                  QStringLiteral("--user"),
                                                  userName,
                                                  QStringLiteral("--password-file"),
                                                  folder.filePath(QStringLiteral("password")),
                                                  QStringLiteral("--library-name"),
                                                  QStringLiteral("Samba Library"),
                                                  QStringLiteral("--library-id"),
                                                  QStringLiteral("E2E-SAMBA"),
                                                  QStringLiteral("--entire-library"),
                                                  QStringLiteral("--verbose")} +
                                      extra;
        return runCli(arguments, environment, sharePassword, 60000);
    }
    QString onServer(const QString &relative) const { return samba.shareFolder() + QLatin1Char('/') + relative; }

    QTemporaryDir folder;
    QString library;
    QString userName;
    QString serverWithPort;
    SambaServer samba;
    GvfsSession gvfs;
    SimulatorProcess simulator;
};

TEST_F(SambaEndToEndTest, TheRunMountsTheShareThroughGvfsAndTheFilesLandOnTheServer)
{
    // The server as the server itself names it: its share seen from 127.0.0.1.
    const CliResult result = runSync(serverWithPort, {QStringLiteral("--localhost-share-path")});
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString()
                                  << samba.logTail().toStdString();

    // Every copy went through the share's folder under gvfs-fuse, that is over SMB.
    ASSERT_EQ(gvfs.mountFolders().size(), 1);
    const QString mountPoint = gvfs.fuseFolder() + QLatin1Char('/') + gvfs.mountFolders().first();
    EXPECT_THAT(mountPoint.toStdString(), HasSubstr(QStringLiteral("port=%1").arg(samba.port()).toStdString()));
    QStringList onShare;
    for (const auto &[file, source] : sampleTracks) {
        onShare.append(file);
        EXPECT_THAT(result.out.toStdString(), HasSubstr(QString(QStringLiteral(": Debug: Copying: ") + mountPoint +
                                                                QLatin1Char('/') + file + QLatin1Char('\n'))
                                                            .toStdString()));
    }

    // The server holds every file byte for byte, and nothing under a temporary name.
    const QStringList onServerNow = filesBelow(samba.shareFolder());
    for (const auto &[file, source] : sampleTracks)
        EXPECT_TRUE(readFile(onServer(file)) == readFile(library + QLatin1Char('/') + source)) << file.toStdString();
    EXPECT_EQ(onServerNow.filter(QRegularExpression(QStringLiteral("^Music/"))).join(u'\n').toStdString(),
              onShare.join(u'\n').toStdString());
    EXPECT_TRUE(onServerNow.filter(QRegularExpression(QStringLiteral("(^|/)\\."))).isEmpty())
        << onServerNow.join(u'\n').toStdString();
    EXPECT_TRUE(onServerNow.contains(QStringLiteral("Artwork/Artwork.xml")));
    const QByteArray libraryFile = readFile(onServer(QStringLiteral("Library/E2E-SAMBA.xml")));
    EXPECT_EQ(libraryFile.count("<Song "), 5);
    EXPECT_TRUE(libraryFile.contains("\\\\127.0.0.1\\OrvanaMusic\\Music\\Ann Arbor\\First Light\\01 Morning.mp3"));
    EXPECT_TRUE(result.out.contains(QStringLiteral("\nCopied 5 tracks and 2 album covers\n")));

    // The share stays mounted for the session; no process has the password on its command line.
    for (const QByteArray &commandLine : processtree::allCommandLines())
        EXPECT_FALSE(commandLine.contains(sharePassword)) << QString::fromLocal8Bit(commandLine).toStdString();
    EXPECT_FALSE(result.out.toUtf8().contains(sharePassword));
    EXPECT_FALSE(result.err.toUtf8().contains(sharePassword));
}

TEST_F(SambaEndToEndTest, ALaterRunUsesTheMountedShareAndTheServerFindsEveryFile)
{
    const CliResult first = runSync(serverWithPort);
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    // The server's web service, reading the Samba folder. The address is
    // now typed without the SMB port: the share is found mounted, so no
    // mount is tried, and the refresh goes to the web service's own port.
    ASSERT_EQ(simulator.start(samba.shareFolder(), folder.filePath(QStringLiteral("requests.log"))).toStdString(), "");
    const CliResult second = runSync(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(second.exitCode, 0) << second.out.toStdString() << second.err.toStdString();
    EXPECT_THAT(second.out.toStdString(), HasSubstr("\nCopied 0 tracks and 0 album covers\n"));
    EXPECT_THAT(second.out.toStdString(), HasSubstr(": Successfully Refreshed Orvana Media Library\n"));
    EXPECT_THAT(second.err.toStdString(), Not(HasSubstr("Sync mount failed")));

    const QList<QJsonObject> requests = simulator.refreshRequests();
    ASSERT_EQ(requests.size(), 1);
    const QJsonObject found = requests[0].value(QStringLiteral("share")).toObject();
    EXPECT_EQ(found.value(QStringLiteral("songs")).toInt(), 5);
    EXPECT_TRUE(found.value(QStringLiteral("missing")).toArray().isEmpty());
}

TEST_F(SambaEndToEndTest, AWrongPasswordEndsTheRunAtTheMount)
{
    writePassword("not-the-" + sharePassword);
    const CliResult result = runSync(serverWithPort);
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString() << result.err.toStdString();
    EXPECT_THAT(result.out.toStdString(),
                HasSubstr(QStringLiteral("\nUnable to mount volume for server share: //%1/OrvanaMusic\n")
                              .arg(serverWithPort)
                              .toStdString()));
    const QRegularExpression logLine(
        QStringLiteral("^Sync mount failed for server smb://127\\.0\\.0\\.1:%1/OrvanaMusic, error: (-?\\d+)$")
            .arg(samba.port()),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = logLine.match(result.err);
    ASSERT_TRUE(match.hasMatch()) << result.err.toStdString();
    EXPECT_NE(match.captured(1).toInt(), 0);
    EXPECT_TRUE(gvfs.mountFolders().isEmpty());
    EXPECT_TRUE(filesBelow(samba.shareFolder()).isEmpty());
    EXPECT_FALSE(result.out.contains(QStringLiteral("Copying")));
    EXPECT_FALSE((result.out + result.err).toUtf8().contains(sharePassword));
}

} // namespace
