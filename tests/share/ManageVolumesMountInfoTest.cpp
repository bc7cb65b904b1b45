#include "share/GvfsShares.h"
#include "share/MountInfoReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(MountInfoReaderTest, ReadsMountPointsAndUndoesTheKernelEscapes)
{
    const QByteArray table = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "35 22 0:44 / /mnt/Orvana\\040Music rw,relatime - cifs //nas/OrvanaMusic rw\n"
                             "36 22 0:45 / /media/a\\134b rw - tmpfs tmpfs rw\n"
                             "garbage\n"
                             "\n"
                             "40 22 0:46 / /run/user/1000/gvfs rw,nosuid - fuse.gvfsd-fuse gvfsd-fuse rw\n";
    EXPECT_EQ(MountInfoReader::mountPoints(table),
              (QStringList{QStringLiteral("/"), QStringLiteral("/mnt/Orvana Music"), QStringLiteral("/media/a\\b"),
                           QStringLiteral("/run/user/1000/gvfs")}));
}

TEST(MountInfoReaderTest, ABackslashWithoutThreeOctalDigitsStaysAsItIs)
{
    EXPECT_EQ(MountInfoReader::mountPoints("1 1 0:1 / /x\\09 rw - t t rw\n2 1 0:1 / /y\\ rw - t t rw"),
              (QStringList{QStringLiteral("/x\\09"), QStringLiteral("/y\\")}));
}

TEST(MountInfoReaderTest, VolumeNameIsTheLastComponent)
{
    EXPECT_EQ(MountInfoReader::volumeName(QStringLiteral("/mnt/OrvanaMusic")), QStringLiteral("OrvanaMusic"));
    EXPECT_EQ(MountInfoReader::volumeName(QStringLiteral("/mnt/OrvanaMusic/")), QStringLiteral("OrvanaMusic"));
    EXPECT_EQ(MountInfoReader::volumeName(QStringLiteral("/")), QStringLiteral(""));
}

TEST(MountInfoReaderTest, ThisProcessSeesItsRootMount)
{
    EXPECT_TRUE(MountInfoReader::currentMountPoints().contains(QStringLiteral("/")));
}

TEST(GvfsSharesTest, ShareNameComesFromTheFirstPathComponentOfAnSmbUri)
{
    EXPECT_EQ(GvfsShares::shareNameOfUri(QStringLiteral("smb://127.0.0.1:4455/OrvanaMusic/")),
              QStringLiteral("OrvanaMusic"));
    EXPECT_EQ(GvfsShares::shareNameOfUri(QStringLiteral("smb://nas/Orvana%20Music/sub")),
              QStringLiteral("Orvana Music"));
    EXPECT_TRUE(GvfsShares::shareNameOfUri(QStringLiteral("smb://nas/")).isNull());
    EXPECT_TRUE(GvfsShares::shareNameOfUri(QStringLiteral("sftp://nas/OrvanaMusic")).isNull());
    EXPECT_TRUE(GvfsShares::shareNameOfUri(QStringLiteral("file:///mnt/OrvanaMusic")).isNull());
}

} // namespace

TEST(GvfsSharesTest, AMountsFolderIsWaitedForUntilItAppearsButNotForever)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString folder = scratch.filePath(QStringLiteral("smb-share:server=127.0.0.1,share=orvanamusic"));
    // gvfs-fuse shows a new mount a moment after it is made.
    std::thread appears([folder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QDir().mkdir(folder);
    });
    EXPECT_TRUE(GvfsShares::waitForFolder(folder, std::chrono::seconds(10)));
    appears.join();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(GvfsShares::waitForFolder(folder + QStringLiteral("/missing"), std::chrono::milliseconds(200)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    // A file in its place is no folder.
    QFile file(scratch.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(GvfsShares::waitForFolder(file.fileName(), std::chrono::milliseconds(0)));
}
