#include "share/TemporaryFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

TEST(TemporaryFileConfinement, FoldersThatLeadOutOfTheShareAreRefused)
{
    QTemporaryDir share;
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir(share.path()).mkpath(QStringLiteral("Music/A")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), share.filePath(QStringLiteral("Library"))));
    ASSERT_TRUE(QFile::link(elsewhere.path(), share.filePath(QStringLiteral("Music/Linked"))));
    TemporaryFile::confineTo(share.path());

    QString path;
    const int inside = TemporaryFile::create(share.filePath(QStringLiteral("Music/A/t.mp3")), &path);
    EXPECT_GE(inside, 0);
    ::close(inside);
    for (const char *outside : {"Library/LIB.xml", "Music/Linked/t.mp3", "Music/../../t.mp3"}) {
        SCOPED_TRACE(outside);
        errno = 0;
        EXPECT_EQ(TemporaryFile::create(share.filePath(QString::fromUtf8(outside)), &path), -1);
        EXPECT_EQ(errno, EXDEV);
    }
    EXPECT_TRUE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    // A folder that does not resolve is refused for what it is: missing, or
    // a file in its place.
    QFile file(share.filePath(QStringLiteral("Artwork")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    errno = 0;
    EXPECT_EQ(TemporaryFile::create(share.filePath(QStringLiteral("Artwork/A.jpg")), &path), -1);
    EXPECT_EQ(errno, ENOTDIR);
    errno = 0;
    EXPECT_EQ(TemporaryFile::create(share.filePath(QStringLiteral("Missing/A.jpg")), &path), -1);
    EXPECT_EQ(errno, ENOENT);
    TemporaryFile::confineTo(QString());
}

TEST(TemporaryFileConfinement, AFolderMadeEarlierInTheRunIsMadeAgainIfItGoesAndNeverFollowedIfALinkTakesItsPlace)
{
    QTemporaryDir share;
    QTemporaryDir elsewhere;
    TemporaryFile::confineTo(share.path());
    const QString album = share.filePath(QStringLiteral("Music/Artist/Album/"));
    ASSERT_EQ(TemporaryFile::makeFolders(album), 0);
    QString path;
    int descriptor = TemporaryFile::create(album + QStringLiteral("t.mp3"), &path);
    EXPECT_GE(descriptor, 0);
    ::close(descriptor);

    ASSERT_TRUE(QDir(share.filePath(QStringLiteral("Music/Artist"))).removeRecursively());
    EXPECT_EQ(TemporaryFile::makeFolders(album), 0);
    EXPECT_TRUE(QFileInfo(album).isDir());

    // The same folder, now a link out of the share: refused, and nothing
    // is made or written through it.
    ASSERT_TRUE(QDir(share.filePath(QStringLiteral("Music/Artist"))).removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere.path(), share.filePath(QStringLiteral("Music/Artist"))));
    EXPECT_EQ(TemporaryFile::makeFolders(album), EXDEV);
    EXPECT_TRUE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    TemporaryFile::confineTo(QString());
}
