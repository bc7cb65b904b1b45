#include "cli/TerminalProgress.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(TerminalProgressTest, CopyingShowsCountBytesRateAndTimeLeft)
{
    qint64 now = 0;
    TerminalProgress progress(nullptr, true, [&now] { return now; });
    EXPECT_FALSE(progress.enabled()) << "no terminal, no output";
    progress.copyingTracks(0, 10, 0, 100'000'000);
    EXPECT_EQ(progress.line(), QStringLiteral("[##                      ]  10% 0/10 tracks  0 B/100 MB"));
    now = 2000;
    progress.copyingTracks(3, 10, 20'000'000, 100'000'000);
    // 20 MB in 2 s: 10 MB/s, 80 MB to go.
    EXPECT_EQ(progress.line(),
              QStringLiteral("[######                  ]  26% 3/10 tracks  20 MB/100 MB  10 MB/s  0:08 left"));
}

TEST(TerminalProgressTest, OneBarAcrossTheStagesThenTheRefreshWait)
{
    TerminalProgress progress(nullptr, true, [] { return qint64(0); });
    progress.loading(405, 405);
    EXPECT_TRUE(progress.line().startsWith(QStringLiteral("[##                      ]  10% loading the music library 405/405")))
        << progress.line().toStdString();
    progress.copyingTracks(5, 5, 0, 0);
    EXPECT_TRUE(progress.line().contains(QStringLiteral(" 90% 5/5 tracks"))) << progress.line().toStdString();
    EXPECT_FALSE(progress.line().contains(QStringLiteral("left"))) << "nothing to copy: no rate";
    progress.exportingCovers(1, 2);
    EXPECT_TRUE(progress.line().contains(QStringLiteral(" 95% album covers 1/2"))) << progress.line().toStdString();
    progress.waitingForRefresh(12'400, 60'000);
    EXPECT_EQ(progress.line(), QStringLiteral("[########################] 100% waiting for the server to refresh its "
                                              "library (12 s, at most 60 s)"));
}

TEST(TerminalProgressTest, NothingReachesAFileThatIsNotATerminal)
{
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    TerminalProgress progress(file, true);
    EXPECT_FALSE(progress.enabled());
    progress.copyingTracks(1, 2, 10, 20);
    progress.clear();
    EXPECT_EQ(std::ftell(file), 0L);
    std::fclose(file);
}

TEST(TerminalProgressTest, BytesAndDurationsAreShort)
{
    EXPECT_EQ(TerminalProgress::bytesText(999), QStringLiteral("999 B"));
    EXPECT_EQ(TerminalProgress::bytesText(1'500), QStringLiteral("1.5 kB"));
    EXPECT_EQ(TerminalProgress::bytesText(2'600'000'000), QStringLiteral("2.6 GB"));
    EXPECT_EQ(TerminalProgress::bytesText(35'200'000), QStringLiteral("35 MB"));
    EXPECT_EQ(TerminalProgress::durationText(41), QStringLiteral("0:41"));
    EXPECT_EQ(TerminalProgress::durationText(3725), QStringLiteral("1:02:05"));
}

} // namespace
