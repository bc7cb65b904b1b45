#include "cli/CliOptions.h"
#include "cli/VerifyCommand.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

using Kind = ShareVerifier::Kind;

TEST(VerifyCommandTest, TakesTheShareAndSourceOptionsOfSyncButNotItsWriting)
{
    const CliOptions options = CliOptions::parse(
        {QStringLiteral("verify"), QStringLiteral("--share-folder"), QStringLiteral("/s"), QStringLiteral("--library-id"),
         QStringLiteral("L"), QStringLiteral("--source"), QStringLiteral("/m"), QStringLiteral("--server"),
         QStringLiteral("nas"), QStringLiteral("--user"), QStringLiteral("u"), QStringLiteral("--password-file"),
         QStringLiteral("/p"), QStringLiteral("--selected-playlists"), QStringLiteral("--playlists"),
         QStringLiteral("P1"), QStringLiteral("--json")});
    ASSERT_EQ(options.command(), CliOptions::Command::Verify) << options.error().toStdString();
    EXPECT_EQ(options.shareFolder(), QStringLiteral("/s"));
    EXPECT_EQ(options.libraryId(), QStringLiteral("L"));
    EXPECT_EQ(options.entireLibrary(), false);
    EXPECT_TRUE(options.json());
    for (const char *writing : {"--dry-run", "--allow-empty", "--library-name", "--localhost-share-path"}) {
        QStringList arguments{QStringLiteral("verify"), QString::fromLatin1(writing)};
        if (QByteArrayView(writing) == "--library-name")
            arguments.append(QStringLiteral("N"));
        const CliOptions refused = CliOptions::parse(arguments);
        EXPECT_EQ(refused.command(), CliOptions::Command::None) << writing;
        EXPECT_EQ(refused.error().toStdString(), QStringLiteral("%1 is an option of the sync command").arg(
                                                     QString::fromLatin1(writing)).toStdString());
    }
}

TEST(VerifyCommandTest, AFindingIsOneLineOfEscapedFieldsOrOneObjectOfNamedValues)
{
    const ShareVerifier::Finding finding{
        Kind::DanglingPlaylistEntry, {QStringLiteral("P1"), QStringLiteral("T\t9"), QStringLiteral("Mix\nof \\ two")}};
    EXPECT_EQ(VerifyCommand::findingLine(finding), QByteArray("dangling-playlist-entry\tP1\tT\\t9\tMix\\nof \\\\ two\n"));
    EXPECT_EQ(QJsonDocument(VerifyCommand::findingObject(finding)).toJson(QJsonDocument::Compact),
              QByteArray(R"({"kind":"dangling-playlist-entry","playlistId":"P1","playlistName":"Mix\nof \\ two",)"
                         R"("trackId":"T\t9"})"));
}

} // namespace
