#include "desktop/SingleInstance.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <csignal>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        ASSERT_TRUE(home.isValid());
        settingsFile = home.filePath(QStringLiteral("orvanasync.conf"));
        QFile file(settingsFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir runtime;
    QTemporaryDir home;
    QString settingsFile;
};

} // namespace

TEST_F(SingleInstanceTest, ASecondStartForTheSameSettingsAsksTheFirstToShowItsWindow)
{
    SingleInstance first(settingsFile, runtime.path());
    ASSERT_TRUE(first.claim());
    QSignalSpy shown(&first, &SingleInstance::activationRequested);

    // The same file under another name: a link to it.
    const QString link = home.filePath(QStringLiteral("link.conf"));
    ASSERT_TRUE(QFile::link(settingsFile, link));
    SingleInstance second(link, runtime.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(shown.wait(2000));
    EXPECT_EQ(shown.size(), 1);

    // Another settings file is another window.
    SingleInstance other(home.filePath(QStringLiteral("other.conf")), runtime.path());
    EXPECT_TRUE(other.claim());
    EXPECT_NE(other.lockPath(), first.lockPath());
}

TEST_F(SingleInstanceTest, TheLockOfAProgramThatEndedIsTakenOver)
{
    auto ended = std::make_unique<SingleInstance>(settingsFile, runtime.path());
    ASSERT_TRUE(ended->claim());
    ended.reset();
    SingleInstance next(settingsFile, runtime.path());
    EXPECT_TRUE(next.claim());
}

TEST_F(SingleInstanceTest, TheLockFileOfAKilledProgramIsTakenOver)
{
    SingleInstance instance(settingsFile, runtime.path());
    // What a process that is gone left: its process number and host.
    QFile left(instance.lockPath());
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    left.write(QByteArray("2147483646\norvanasync\n") + QSysInfo::machineHostName().toUtf8() + '\n');
    left.close();
    EXPECT_TRUE(instance.claim());
}

TEST_F(SingleInstanceTest, AFolderThatCannotHoldTheLockLetsTheWindowOpen)
{
    SingleInstance instance(settingsFile, runtime.filePath(QStringLiteral("missing/folder")));
    EXPECT_TRUE(instance.claim());
}

// The program itself: a second start for the same settings ends at once,
// and SIGTERM ends the first as Exit does, its settings written.
TEST_F(SingleInstanceTest, TheProgramOpensOneWindowPerSettingsFileAndEndsAsExitDoesOnSigterm)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("Music")));
    // One file for the load to read: its tag cache shows the load has ended.
    testsupport::writeFile(home.filePath(QStringLiteral("Music/song.mp3")), QByteArray(4096, '\0'));
    const QStringList arguments{QStringLiteral("--settings"), settingsFile};

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(ORVANA_DESKTOP_PROGRAM), arguments);
    ASSERT_TRUE(first.waitForStarted());
    // Its lock shows it has claimed the settings file.
    SingleInstance probe(settingsFile, runtime.path());
    for (int wait = 0; wait < 100 && !QFile::exists(probe.lockPath()); ++wait)
        QTest::qWait(50);
    ASSERT_TRUE(QFile::exists(probe.lockPath()));
    QTest::qWait(200);

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(ORVANA_DESKTOP_PROGRAM), arguments);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    const QDir cache(home.filePath(QStringLiteral("orvanasync")));
    for (int wait = 0; wait < 400 && cache.entryList({QStringLiteral("tags-*.cache")}).isEmpty(); ++wait)
        QTest::qWait(50);
    ASSERT_FALSE(cache.entryList({QStringLiteral("tags-*.cache")}).isEmpty()) << "the load never ended";
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    // Through the program's own end, the one Exit takes (the signal's
    // default would leave the lock behind).
    EXPECT_FALSE(QFile::exists(probe.lockPath()));
}
