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
    EXPECT_TRUE(refused(parse({"sync", "--dry-run=yes"})));
    EXPECT_TRUE(refused(parse({"sync", "--path-map=nothing"})));
    EXPECT_TRUE(parse({"playlists", "--server", "nas"}).error().contains(QStringLiteral("of the sync, password and verify command")));
}

TEST(CliOptionsTest, PlaylistsTakesTheSourceOptionsAndHelpWinsEverywhere)
{
    EXPECT_EQ(parse({"playlists", "--source", "/m"}).command(), CliOptions::Command::Playlists);
    EXPECT_EQ(parse({}).command(), CliOptions::Command::Help);
    EXPECT_EQ(parse({"sync", "--bogus", "--help"}).command(), CliOptions::Command::Help);
    EXPECT_EQ(parse({"--version"}).command(), CliOptions::Command::Version);
    EXPECT_EQ(parse({"-h"}).command(), CliOptions::Command::Help);
    EXPECT_EQ(parse({"sync", "-V"}).command(), CliOptions::Command::Version);
}

TEST(CliOptionsTest, ValuesAfterAnEqualsSignAndWordsAfterTheDoubleDash)
{
    const CliOptions options = parse({"sync", "--server=nas.local:4450", "--library-name=A = B", "--path-map=a=b",
                                      "--playlists=P1", "--library-name", "Last wins"});
    ASSERT_EQ(options.command(), CliOptions::Command::Sync) << options.error().toStdString();
    EXPECT_EQ(options.server(), QStringLiteral("nas.local:4450"));
    EXPECT_EQ(options.pathMaps(), QStringList{QStringLiteral("a=b")});
    EXPECT_EQ(options.libraryName(), QStringLiteral("Last wins"));
    EXPECT_EQ(options.values(QStringLiteral("library-name")),
              (QStringList{QStringLiteral("A = B"), QStringLiteral("Last wins")}));
    EXPECT_EQ(parse({"sync", "--library-name=-dash-"}).libraryName(), QStringLiteral("-dash-"));

    const CliOptions config = parse({"config", "set", "--", "ITunesLibraryName", "--not-an-option"});
    ASSERT_EQ(config.command(), CliOptions::Command::Config) << config.error().toStdString();
    EXPECT_EQ(config.arguments(),
              (QStringList{QStringLiteral("set"), QStringLiteral("ITunesLibraryName"), QStringLiteral("--not-an-option")}));
    EXPECT_EQ(parse({"--", "--help"}).command(), CliOptions::Command::None) << "after --, --help is a word";
}

TEST(CliOptionsTest, AMissingValueIsRefusedEvenWhenAnOptionFollows)
{
    for (const CliOptions &options : {parse({"sync", "--library-name", "--help"}), parse({"sync", "--server", "-v"}),
                                      parse({"sync", "--source"})}) {
        EXPECT_EQ(options.command(), CliOptions::Command::None);
        EXPECT_TRUE(options.error().contains(QStringLiteral("needs a value"))) << options.error().toStdString();
    }
    EXPECT_TRUE(parse({"sync", "--library-name", "--help"}).error().contains(QStringLiteral("--library-name=VALUE")));
}

TEST(CliOptionsTest, MistypedOptionsAndCommandsGetASuggestion)
{
    const CliOptions option = parse({"sync", "--sever", "nas"});
    EXPECT_EQ(option.command(), CliOptions::Command::None);
    EXPECT_TRUE(option.error().startsWith(QStringLiteral("unknown option --sever; did you mean --server?")))
        << option.error().toStdString();
    EXPECT_TRUE(parse({"sync", "--dryrun"}).error().contains(QStringLiteral("did you mean --dry-run?")));
    EXPECT_TRUE(parse({"sync", "--playlist", "P"}).error().contains(QStringLiteral("did you mean --playlists?")));
    EXPECT_TRUE(parse({"synk"}).error().startsWith(QStringLiteral("unknown command synk; did you mean sync?")));
    EXPECT_FALSE(parse({"sync", "--zzzzzzzz"}).error().contains(QStringLiteral("did you mean")));
    EXPECT_TRUE(parse({"sync", "-x"}).error().startsWith(QStringLiteral("unknown option -x")));
}

TEST(CliOptionsTest, QuietVerboseAndJson)
{
    EXPECT_EQ(parse({"sync"}).verbosity(), CliOptions::Verbosity::Normal);
    EXPECT_EQ(parse({"sync", "-q"}).verbosity(), CliOptions::Verbosity::Quiet);
    EXPECT_EQ(parse({"sync", "--verbose"}).verbosity(), CliOptions::Verbosity::Verbose);
    EXPECT_EQ(parse({"playlists", "-v"}).verbosity(), CliOptions::Verbosity::Verbose);
    EXPECT_EQ(parse({"sync", "-q", "-v"}).command(), CliOptions::Command::None);
    EXPECT_TRUE(parse({"playlists", "--json"}).json());
    EXPECT_EQ(parse({"config", "--json"}).command(), CliOptions::Command::None);
    EXPECT_EQ(parse({"sync", "extra"}).command(), CliOptions::Command::None);
}

TEST(CliOptionsTest, TheHelpListsEveryOptionAndCommand)
{
    const QString help = CliOptions::usage();
    for (const char *name : {"--source", "--path-map", "--server", "--user", "--password-file", "--library-name",
                             "--library-id", "--entire-library", "--selected-playlists", "--playlists",
                             "--share-folder", "--localhost-share-path", "--settings", "--dry-run", "--allow-empty",
                             "--json", "-q, --quiet", "-v, --verbose", "-V, --version", "-h, --help", "sync",
                             "playlists", "config list | get KEY | set KEY VALUE | unset KEY"})
        EXPECT_TRUE(help.contains(QString::fromLatin1(name))) << name;
    EXPECT_TRUE(help.contains(QStringLiteral("--server=ADDRESS")));
}

} // namespace
