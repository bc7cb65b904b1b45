#include "itunes/MusicSourceLocator.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Kind = MusicSourceLocator::Kind;

TEST(MusicSourceLocator, TakesTheSettingAsAFileOrAFolder)
{
    QTemporaryDir home;
    testsupport::writeFile(home.filePath(QStringLiteral("exports/My Library.xml")), "<plist/>");
    QDir().mkpath(home.filePath(QStringLiteral("Tunes")));
    const auto file = MusicSourceLocator::choose(home.filePath(QStringLiteral("exports/My Library.xml")), home.path());
    EXPECT_EQ(file.kind, Kind::ExportFile);
    const auto folder = MusicSourceLocator::choose(QStringLiteral("~/Tunes"), home.path());
    EXPECT_EQ(folder.kind, Kind::Folder);
    EXPECT_EQ(folder.path, home.filePath(QStringLiteral("Tunes")));
    const auto missing = MusicSourceLocator::choose(home.filePath(QStringLiteral("nothing")), home.path());
    EXPECT_EQ(missing.kind, Kind::None);
    const auto application = MusicSourceLocator::open(home.filePath(QStringLiteral("nothing")), {}, home.path());
    EXPECT_FALSE(application->openError().isNull());
    EXPECT_TRUE(application->openError().localizedDescription().contains(home.filePath(QStringLiteral("nothing"))));
}

TEST(MusicSourceLocator, SearchesTheMusicFolderForTheUsualExportsFirst)
{
    QTemporaryDir home;
    EXPECT_EQ(MusicSourceLocator::choose(QString(), home.path()).kind, Kind::None);
    QDir().mkpath(home.filePath(QStringLiteral("Music")));
    const auto folder = MusicSourceLocator::choose(QString(), home.path());
    EXPECT_EQ(folder.kind, Kind::Folder);
    EXPECT_EQ(folder.path, home.filePath(QStringLiteral("Music")));
    testsupport::writeFile(home.filePath(QStringLiteral("Music/Library.xml")), "<plist/>");
    EXPECT_EQ(MusicSourceLocator::choose(QStringLiteral(""), home.path()).path, home.filePath(QStringLiteral("Music/Library.xml")));
    testsupport::writeFile(home.filePath(QStringLiteral("Music/iTunes/iTunes Music Library.xml")), "<plist/>");
    const auto preferred = MusicSourceLocator::choose(QString(), home.path());
    EXPECT_EQ(preferred.kind, Kind::ExportFile);
    EXPECT_EQ(preferred.path, home.filePath(QStringLiteral("Music/iTunes/iTunes Music Library.xml")));
}

TEST(MusicSourceLocator, ParsesThePathMapFromTextListsAndMaps)
{
    const FileLocationMapper::PathMap expected = {{QStringLiteral("file://localhost/C:/Users/ann/Music/"), QStringLiteral("/home/ann/Music/")},
                                                  {QStringLiteral("/Volumes/Disk"), QStringLiteral("/srv/disk")}};
    EXPECT_EQ(MusicSourceLocator::parsePathMap(QStringLiteral("file://localhost/C:/Users/ann/Music/=/home/ann/Music/\n"
                                                              "  /Volumes/Disk = /srv/disk \nno separator here\n=/nothing\n")),
              expected);
    EXPECT_EQ(MusicSourceLocator::parsePathMap(QStringList{QStringLiteral("file://localhost/C:/Users/ann/Music/=/home/ann/Music/"),
                                                           QStringLiteral("/Volumes/Disk=/srv/disk")}),
              expected);
    const QVariantMap map = {{QStringLiteral("/a"), QStringLiteral("/b")}};
    EXPECT_EQ(MusicSourceLocator::parsePathMap(map), (FileLocationMapper::PathMap{{QStringLiteral("/a"), QStringLiteral("/b")}}));
    EXPECT_TRUE(MusicSourceLocator::parsePathMap(QVariant()).isEmpty());
}

} // namespace
