#include "itunes/ArtworkFinder.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class SideImageFilesTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_folder.filePath(name); }
    QString track() const { return path(QStringLiteral("Artist/Album/01 Song.mp3")); }
    void write(const QString &name) { testsupport::writeFile(path(name), "image"); }

    QTemporaryDir m_folder;
};

TEST_F(SideImageFilesTest, FindsTheUsualNamesInTheirOrderWhateverTheirCase)
{
    write(QStringLiteral("Artist/Album/01 Song.mp3"));
    write(QStringLiteral("Artist/Album/FRONT.png"));
    write(QStringLiteral("Artist/Album/Folder.JPG"));
    write(QStringLiteral("Artist/Album/cover.jpeg"));
    // Near misses: another name, another extension, a longer name.
    write(QStringLiteral("Artist/Album/back.jpg"));
    write(QStringLiteral("Artist/Album/cover.gif"));
    write(QStringLiteral("Artist/Album/cover.jpg.bak"));
    write(QStringLiteral("Artist/Album/xcover.jpg"));
    EXPECT_EQ(ArtworkFinder::sideImageFiles(track()),
              (QStringList{path(QStringLiteral("Artist/Album/cover.jpeg")), path(QStringLiteral("Artist/Album/Folder.JPG")),
                           path(QStringLiteral("Artist/Album/FRONT.png"))}));
}

TEST_F(SideImageFilesTest, OfNamesDifferingInCaseTakesTheFirstInNameOrder)
{
    write(QStringLiteral("Artist/Album/cover.jpg"));
    write(QStringLiteral("Artist/Album/Cover.jpg"));
    write(QStringLiteral("Artist/Album/COVER.JPG"));
    EXPECT_EQ(ArtworkFinder::sideImageFiles(track()), QStringList{path(QStringLiteral("Artist/Album/COVER.JPG"))});
}

TEST_F(SideImageFilesTest, TakesLinksToFilesButNoFolderOrDanglingLink)
{
    ASSERT_TRUE(QDir(m_folder.path()).mkpath(QStringLiteral("Artist/Album/cover.jpg")));
    write(QStringLiteral("elsewhere.png"));
    ASSERT_EQ(::symlink(path(QStringLiteral("elsewhere.png")).toUtf8().constData(),
                        path(QStringLiteral("Artist/Album/folder.png")).toUtf8().constData()),
              0);
    ASSERT_EQ(::symlink("missing.jpg", path(QStringLiteral("Artist/Album/front.jpg")).toUtf8().constData()), 0);
    EXPECT_EQ(ArtworkFinder::sideImageFiles(track()), QStringList{path(QStringLiteral("Artist/Album/folder.png"))});
}

TEST_F(SideImageFilesTest, AMissingFolderHasNone)
{
    EXPECT_TRUE(ArtworkFinder::sideImageFiles(path(QStringLiteral("Nobody/Nothing/01 Song.mp3"))).isEmpty());
    write(QStringLiteral("Artist/Album/cover.jpg"));
    // The track's file itself need not exist for its folder to be looked at.
    EXPECT_EQ(ArtworkFinder::sideImageFiles(track()), QStringList{path(QStringLiteral("Artist/Album/cover.jpg"))});
}

} // namespace
