#include "desktop/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

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
