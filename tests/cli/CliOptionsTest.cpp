#include "cli/CliOptions.h"

#include <gtest/gtest.h>

namespace {

CliOptions parse(std::initializer_list<const char *> arguments)
{
    QStringList list;
    for (const char *argument : arguments)
        list.append(QString::fromUtf8(argument));
    return CliOptions::parse(list);
}

TEST(CliOptionsTest, SyncOptionsAreReadInFull)
{
    const CliOptions options =
        parse({"sync", "--source", "/m/Library.xml", "--path-map", "file:///C:/M/=/home/a/M/", "--path-map", "a=b",
               "--server", "nas.local", "--user", "ann", "--password-file", "/p", "--library-name", "Ann",
               "--library-id", "ID-1", "--selected-playlists", "--playlists", "P1,P2,", "--share-folder", "/s",
               "--localhost-share-path", "--settings", "/c.conf", "--dry-run"});
    ASSERT_EQ(options.command(), CliOptions::Command::Sync) << options.error().toStdString();
    EXPECT_EQ(options.source(), QStringLiteral("/m/Library.xml"));
    EXPECT_EQ(options.pathMaps(), (QStringList{QStringLiteral("file:///C:/M/=/home/a/M/"), QStringLiteral("a=b")}));
    EXPECT_EQ(options.server(), QStringLiteral("nas.local"));
    EXPECT_EQ(options.userName(), QStringLiteral("ann"));
    EXPECT_EQ(options.passwordFile(), QStringLiteral("/p"));
    EXPECT_EQ(options.libraryName(), QStringLiteral("Ann"));
    EXPECT_EQ(options.libraryId(), QStringLiteral("ID-1"));
    EXPECT_EQ(options.entireLibrary(), false);
    EXPECT_EQ(options.playlists(), (QStringList{QStringLiteral("P1"), QStringLiteral("P2")}));
    EXPECT_EQ(options.shareFolder(), QStringLiteral("/s"));
    EXPECT_TRUE(options.localhostSharePath());
    EXPECT_EQ(options.settingsFile(), QStringLiteral("/c.conf"));
    EXPECT_TRUE(options.dryRun());
}

TEST(CliOptionsTest, UnsetOptionsLeaveTheStoredSettingsInCharge)
{
    const CliOptions options = parse({"sync"});
    ASSERT_EQ(options.command(), CliOptions::Command::Sync);
    EXPECT_TRUE(options.server().isNull());
    EXPECT_TRUE(options.userName().isNull());
    EXPECT_FALSE(options.entireLibrary().has_value());
    EXPECT_FALSE(options.playlists().has_value());
    EXPECT_FALSE(options.dryRun());
}

TEST(CliOptionsTest, APasswordIsNeverAcceptedOnTheCommandLine)
{
    for (const CliOptions &options : {parse({"sync", "--password", "secret"}), parse({"sync", "--password=secret"})}) {
        EXPECT_EQ(options.command(), CliOptions::Command::None);
        EXPECT_TRUE(options.error().contains(QStringLiteral("ORVANASYNC_PASSWORD")));
        EXPECT_FALSE(options.error().contains(QStringLiteral("secret")));
    }
}

TEST(CliOptionsTest, MistakesAreRefusedWithAReason)
{
    const auto refused = [](const CliOptions &options) {
        return options.command() == CliOptions::Command::None && !options.error().isEmpty();
    };
    EXPECT_TRUE(refused(parse({"copy"})));
    EXPECT_TRUE(refused(parse({"sync", "--bogus"})));
    EXPECT_TRUE(refused(parse({"sync", "--server"})));
    EXPECT_TRUE(refused(parse({"sync", "--entire-library", "--selected-playlists"})));
    EXPECT_TRUE(refused(parse({"sync", "--path-map", "=nothing"})));
    EXPECT_TRUE(refused(parse({"sync", "--library-id", "../../etc"})));
    EXPECT_TRUE(refused(parse({"sync", "--library-id", ".."})));
    EXPECT_TRUE(refused(parse({"playlists", "--server", "nas"})));
}

TEST(CliOptionsTest, PlaylistsTakesTheSourceOptionsAndHelpWinsEverywhere)
{
    EXPECT_EQ(parse({"playlists", "--source", "/m"}).command(), CliOptions::Command::Playlists);
    EXPECT_EQ(parse({}).command(), CliOptions::Command::Help);
    EXPECT_EQ(parse({"sync", "--bogus", "--help"}).command(), CliOptions::Command::Help);
    EXPECT_EQ(parse({"--version"}).command(), CliOptions::Command::Version);
}

} // namespace
