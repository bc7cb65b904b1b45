#include "share/TemporaryFile.h"

#include <QDir>
#include <QFile>
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
    TemporaryFile::confineTo(QString());
}
