// Runs of the real orvanasync-cli against a share folder in situations that
// used to damage the share or hang: two runs at once, a track that is a
// FIFO, a full share, a hostile stored identifier. No refresh reaches a
// server: the runs name 127.0.0.3, where nothing listens.

#include "tests/e2e/EndToEndSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// xmllint's complaint about the file, or null when it is well-formed.
QString xmllintComplaint(const QString &path)
{
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
    if (!lint.waitForFinished(30000) || lint.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("xmllint did not run");
    if (lint.exitCode() != 0)
        return QString::fromUtf8(lint.readAllStandardError());
    return {};
}

class ShareSafetyEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        library = folder.filePath(QStringLiteral("library"));
        share = folder.filePath(QStringLiteral("share"));
        QDir().mkpath(share);
        ASSERT_EQ(makeSampleLibrary(library, {QStringLiteral("--tracks"), QStringLiteral("15"), QStringLiteral("--size"),
                                              QStringLiteral("200000")})
                      .toStdString(),
                  "");
    }

    QStringList arguments(const QString &settingsName) const
    {
        return {QStringLiteral("sync"),
                QStringLiteral("--settings"),
                folder.filePath(settingsName),
                QStringLiteral("--source"),
                library + QStringLiteral("/Library.xml"),
                QStringLiteral("--server"),
                QStringLiteral("127.0.0.3"),
                QStringLiteral("--share-folder"),
                share,
                QStringLiteral("--library-id"),
                QStringLiteral("SHARED-LIB"),
                QStringLiteral("--entire-library")};
    }

    // Every file under a final name in Music/ holds its source's bytes.
    void expectCopiesEqualTheirSources(int round)
    {
        QDirIterator it(share + QStringLiteral("/Music"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString copy = it.next();
            const QString source =
                library + QStringLiteral("/Music/") + QDir(share + QStringLiteral("/Music")).relativeFilePath(copy);
            // The sample's own tracks live under other folder names.
            if (!QFileInfo::exists(source))
                continue;
            EXPECT_TRUE(contentOf(copy) == contentOf(source)) << "round " << round << ": " << copy.toStdString();
        }
    }

    QTemporaryDir folder;
    QString library;
    QString share;
};

} // namespace

TEST_F(ShareSafetyEndToEndTest, TwoRunsAtOnceNeverCorruptTheShareAndTheLoserSaysWhoHoldsIt)
{
    QProcessEnvironment environment = cliEnvironment(folder.path());
    int refusals = 0;
    // 20 rounds, and up to 80 more while no round has overlapped: on a slow
    // machine (the sanitizers') one run often ends before the other begins.
    for (int round = 0; round < 20 || (refusals == 0 && round < 100); ++round) {
        QProcess first;
        QProcess second;
        first.setProcessEnvironment(environment);
        second.setProcessEnvironment(environment);
        first.start(QStringLiteral(ORVANA_CLI_PATH), arguments(QStringLiteral("first.conf")));
        second.start(QStringLiteral(ORVANA_CLI_PATH), arguments(QStringLiteral("second.conf")));
        ASSERT_TRUE(first.waitForFinished(90000));
        ASSERT_TRUE(second.waitForFinished(90000));
        const int exits[] = {first.exitCode(), second.exitCode()};
        const QString errors[] = {QString::fromUtf8(first.readAllStandardError()),
                                  QString::fromUtf8(second.readAllStandardError())};
        for (int run = 0; run < 2; ++run) {
            // Nothing answers the refresh: a run that completes ends with 1.
            EXPECT_TRUE(exits[run] == 1 || exits[run] == 2) << "round " << round << ": " << exits[run];
            if (exits[run] != 2)
                continue;
            ++refusals;
            EXPECT_TRUE(errors[run].contains(QRegularExpression(
                QStringLiteral("another synchronization of this library is writing to the share \\(process \\d+ on host"))))
                << errors[run].toStdString();
        }
        EXPECT_FALSE(exits[0] == 2 && exits[1] == 2) << "round " << round << ": both runs were refused";

        const QString libraryFile = share + QStringLiteral("/Library/SHARED-LIB.xml");
        EXPECT_EQ(xmllintComplaint(libraryFile), QString()) << "round " << round;
        EXPECT_EQ(xmllintComplaint(share + QStringLiteral("/Artwork/Artwork.xml")), QString()) << "round " << round;
        const QByteArray content = contentOf(libraryFile);
        EXPECT_EQ(content.count("<Song "), 20) << "round " << round;
        QSet<QString> songIds;
        const QRegularExpression songId(QStringLiteral("<Song [^\\n]* ID=\"([^\"]+)\""));
        for (const QRegularExpressionMatch &match : songId.globalMatch(QString::fromUtf8(content)))
            songIds.insert(match.captured(1));
        EXPECT_EQ(songIds.size(), 20) << "round " << round;
        expectCopiesEqualTheirSources(round);
        for (const QString &file : filesBelow(share))
            EXPECT_FALSE(QFileInfo(file).fileName().startsWith(u'.')) << "round " << round << ": " << file.toStdString();
        // Every other round starts from an empty share.
        if (round % 2 == 1) {
            QDir(share).removeRecursively();
            QDir().mkpath(share);
        }
    }
    // How often the runs overlap depends on the machine's load (a round
    // where one ended before the other began proves nothing either way);
    // the refusal itself is held exactly by the test below.
    EXPECT_GT(refusals, 0);
}

TEST_F(ShareSafetyEndToEndTest, ARunFindingTheLibraryLockedExitsTwoNamingTheHolderAndWritesNothing)
{
    QDir().mkpath(share + QStringLiteral("/Library"));
    const QByteArray lockPath = QFile::encodeName(share + QStringLiteral("/Library/.SHARED-LIB.lock"));
    const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0) << std::strerror(errno);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0) << std::strerror(errno);
    const QByteArray holder = "pid=" + QByteArray::number(::getpid()) + " host=test-host\n";
    ASSERT_EQ(::write(lock, holder.constData(), size_t(holder.size())), holder.size());

    const CliResult result = runCli(arguments(QStringLiteral("locked.conf")), cliEnvironment(folder.path()), {}, 60000);
    ::close(lock);
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("(process %1 on host \"test-host\"").arg(::getpid())))
        << result.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(share + QStringLiteral("/Library/SHARED-LIB.xml")));
    EXPECT_FALSE(QFileInfo::exists(share + QStringLiteral("/Music")));
}

TEST_F(ShareSafetyEndToEndTest, ATrackThatIsAFifoEndsTheRunWithinSecondsAndIsLeftOut)
{
    const QString track = library + QStringLiteral("/Music/Ann Arbor/First Light/01 Morning.mp3");
    ASSERT_TRUE(QFile::remove(track));
    ASSERT_EQ(::mkfifo(QFile::encodeName(track).constData(), 0644), 0);
    const CliResult result = runCli(arguments(QStringLiteral("fifo.conf")), cliEnvironment(folder.path()), {}, 30000);
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(QString(result.out + result.err).contains(QStringLiteral("Failed to copy file"))) << result.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(share + QStringLiteral("/Music/Ann Arbor/First Light/01 Morning.mp3")));
    const QByteArray content = contentOf(share + QStringLiteral("/Library/SHARED-LIB.xml"));
    EXPECT_EQ(content.count("<Song "), 19);
    EXPECT_FALSE(content.contains("01 Morning.mp3"));
}

TEST_F(ShareSafetyEndToEndTest, AFullShareGetsNoPartialFileUnderAFinalName)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs as the share needs root";
    // Room for a few tracks only.
    if (::mount("tmpfs", QFile::encodeName(share).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const CliResult result = runCli(arguments(QStringLiteral("full.conf")), cliEnvironment(folder.path()), {}, 60000);
    EXPECT_NE(result.exitCode, 0) << result.out.toStdString();
    EXPECT_TRUE(QString(result.out + result.err).contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << result.err.toStdString();
    expectCopiesEqualTheirSources(0);
    QDirIterator it(share, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        EXPECT_FALSE(QFileInfo(file).fileName().startsWith(u'.')) << "left behind: " << file.toStdString();
        if (file.endsWith(QStringLiteral(".jpg"))) {
            EXPECT_GT(QFileInfo(file).size(), 0) << "empty cover: " << file.toStdString();
        }
        if (file.endsWith(QStringLiteral(".xml"))) {
            EXPECT_EQ(xmllintComplaint(file), QString());
        }
    }
    ::umount2(QFile::encodeName(share).constData(), MNT_DETACH);
}

TEST_F(ShareSafetyEndToEndTest, AReadOnlyShareIsRefusedOnceWithThePathAndTheReason)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a read-only tmpfs as the share needs root";
    if (::mount("tmpfs", QFile::encodeName(share).constData(), "tmpfs", MS_NOSUID | MS_NODEV | MS_RDONLY, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const CliResult result = runCli(arguments(QStringLiteral("readonly.conf")), cliEnvironment(folder.path()), {}, 30000);
    ::umount2(QFile::encodeName(share).constData(), MNT_DETACH);
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString() << result.err.toStdString();
    const QString expected = QStringLiteral("orvanasync-cli: cannot create the folder %1/Library: %2\n")
                                 .arg(share, QString::fromLocal8Bit(std::strerror(EROFS)));
    EXPECT_EQ(result.err.count(expected), 1) << result.err.toStdString();
}

TEST_F(ShareSafetyEndToEndTest, AStoredIdentifierThatLeavesTheShareIsRefused)
{
    QFile settings(folder.filePath(QStringLiteral("hostile.conf")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\niTunesGUID=../../escaped\n");
    settings.close();
    QStringList hostile = arguments(QStringLiteral("hostile.conf"));
    hostile.remove(hostile.indexOf(QStringLiteral("--library-id")), 2);
    const CliResult result = runCli(hostile, cliEnvironment(folder.path()), {}, 30000);
    EXPECT_EQ(result.exitCode, 2) << result.out.toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("the library identifier \"../../escaped\" cannot name a file")))
        << result.err.toStdString();
    EXPECT_TRUE(filesBelow(share).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("escaped.xml"))));
}

TEST_F(ShareSafetyEndToEndTest, FoldersOfTheShareThatLinkOutOfItGetNoFile)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), share + QStringLiteral("/Library")));
    const CliResult refused = runCli(arguments(QStringLiteral("link.conf")), cliEnvironment(folder.path()), {}, 30000);
    EXPECT_EQ(refused.exitCode, 2) << refused.out.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("is a symbolic link"))) << refused.err.toStdString();

    ASSERT_TRUE(QFile::remove(share + QStringLiteral("/Library")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), share + QStringLiteral("/Artwork")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), share + QStringLiteral("/Music")));
    const CliResult result = runCli(arguments(QStringLiteral("link.conf")), cliEnvironment(folder.path()), {}, 60000);
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    // Not a file, and not a folder either: nothing is created through the links.
    QDirIterator it(elsewhere.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        ADD_FAILURE() << "written outside the share: " << it.next().toStdString();
    EXPECT_EQ(xmllintComplaint(share + QStringLiteral("/Library/SHARED-LIB.xml")), QString());
    EXPECT_EQ(contentOf(share + QStringLiteral("/Library/SHARED-LIB.xml")).count("<Song "), 0);
}
