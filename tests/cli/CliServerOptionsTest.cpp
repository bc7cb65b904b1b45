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

TEST(CliServerOptionsTest, ServersAndSyncTakeAWaitAndSyncAServerName)
{
    const CliOptions servers = parse({"servers", "--wait", "1.5"});
    ASSERT_EQ(servers.command(), CliOptions::Command::Servers) << servers.error().toStdString();
    EXPECT_EQ(servers.waitMs(), 1500);
    EXPECT_EQ(parse({"servers"}).waitMs(), std::nullopt);

    const CliOptions sync = parse({"sync", "--server-name", "living room", "--wait=0"});
    ASSERT_EQ(sync.command(), CliOptions::Command::Sync) << sync.error().toStdString();
    EXPECT_EQ(sync.serverName(), QStringLiteral("living room"));
    EXPECT_TRUE(sync.server().isNull());
    EXPECT_EQ(sync.waitMs(), 0);
    EXPECT_TRUE(parse({"sync"}).serverName().isNull());
}

TEST(CliServerOptionsTest, MistakesAboutTheServerAreRefusedWithAReason)
{
    const auto refused = [](std::initializer_list<const char *> arguments, const char *reason) {
        const CliOptions options = parse(arguments);
        EXPECT_EQ(options.command(), CliOptions::Command::None);
        EXPECT_TRUE(options.error().contains(QString::fromUtf8(reason))) << options.error().toStdString();
    };
    refused({"sync", "--server", "nas", "--server-name", "Living Room"}, "exclude each other");
    refused({"sync", "--server-name="}, "--server-name takes");
    refused({"servers", "--wait", "soon"}, "--wait takes a number");
    refused({"servers", "--wait=-1"}, "--wait takes a number");
    refused({"servers", "--wait", "nan"}, "--wait takes a number");
    refused({"servers", "--wait", "3601"}, "--wait takes a number");
    refused({"servers", "--server-name", "x"}, "--server-name is an option of the sync, password and verify command");
    refused({"playlists", "--wait", "2"}, "--wait is an option of the sync, servers and verify command");
    refused({"servers", "extra"}, "servers takes no arguments");
}

TEST(CliServerOptionsTest, TheHelpNamesTheServersCommandAndItsOptions)
{
    const QString usage = CliOptions::usage();
    EXPECT_TRUE(usage.contains(QStringLiteral("servers")));
    EXPECT_TRUE(usage.contains(QStringLiteral("--server-name=NAME")));
    EXPECT_TRUE(usage.contains(QStringLiteral("--wait=SECONDS")));
}

} // namespace
