#include "app/SyncPage.h"

#include "library/Notify.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

Notify record(int activity, const QString &title = QString(), std::optional<QStringList> messages = std::nullopt,
              int progress = 0, int maxProgress = 0)
{
    Notify notify;
    notify.setActivity(activity);
    notify.setTitle(title);
    notify.setMessages(messages);
    notify.setProgress(progress);
    notify.setMaxProgress(maxProgress);
    return notify;
}

class SyncPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        page.setClock([] { return QStringLiteral("3:41:07 PM PST"); });
    }
    void show(const Notify &notify) { page.onSyncNotifictionEvent(&notify); }
    QStringList logLines() const
    {
        QStringList lines = page.logText().split(QLatin1Char('\n'));
        lines.removeLast(); // after the last line feed
        return lines;
    }
    void fillPage()
    {
        show(record(7, {}, QStringList{QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("R")}, 1, 2));
    }

    SyncPage page;
};

TEST_F(SyncPageTest, LogLinesCarryTheTimeAndOnlyGrow)
{
    page.logDateAndTitle(QStringLiteral("Starting synchronization"));
    page.logWriteline(QString());
    page.logWriteline(QStringLiteral("plain"));
    EXPECT_EQ(page.logText(), QStringLiteral("3:41:07 PM PST: Starting synchronization\n\nplain\n"));
}

TEST_F(SyncPageTest, APageKeepingNoLogTextStillHandsOnEveryLine)
{
    page.logWriteline(QStringLiteral("before"));
    page.setKeepsLogText(false);
    QStringList handedOn;
    QObject::connect(&page, &SyncPage::lineLogged, [&handedOn](const QString &line) { handedOn << line; });
    page.logDateAndTitle(QStringLiteral("Starting synchronization"));
    page.logWriteline(QString());
    EXPECT_EQ(handedOn, (QStringList{QStringLiteral("3:41:07 PM PST: Starting synchronization"), QStringLiteral("")}));
    EXPECT_TRUE(page.logText().isEmpty()) << "what was kept before is let go too";
}

TEST_F(SyncPageTest, LocalTimeIsNotEmpty)
{
    EXPECT_FALSE(SyncPage::localTime().isEmpty());
}

TEST_F(SyncPageTest, InitClearsTitlesAndTextsButNotBarOrLog)
{
    fillPage();
    const QString log = page.logText();
    page.initSyncPageWithTitle(QStringLiteral("Starting synchronization..."));
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Starting synchronization..."));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_TRUE(page.syncTitle(n).isEmpty());
        EXPECT_TRUE(page.syncText(n).isEmpty());
    }
    EXPECT_TRUE(page.isProgressBarVisible());
    EXPECT_EQ(page.progressBarValue(), 50);
    EXPECT_EQ(page.logText(), log);
}

TEST_F(SyncPageTest, ActivityZeroResetsToReadyWithoutLogging)
{
    fillPage();
    const QString log = page.logText();
    show(record(0, QStringLiteral("ignored")));
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Ready"));
    EXPECT_TRUE(page.syncTitle(1).isEmpty());
    EXPECT_EQ(page.logText(), log);
}

TEST_F(SyncPageTest, ActivityOneLogsADebugLineOnly)
{
    page.initSyncPageWithTitle(QStringLiteral("T"));
    show(record(1, QStringLiteral("Copying: /mnt/OrvanaMusic/Music/a/b/c.mp3")));
    EXPECT_EQ(logLines(), QStringList{QStringLiteral("3:41:07 PM PST: Debug: Copying: /mnt/OrvanaMusic/Music/a/b/c.mp3")});
    EXPECT_EQ(page.syncOperation(), QStringLiteral("T"));
}

TEST_F(SyncPageTest, ActivityTwoLogsTitleThenEachMessageAndKeepsThePage)
{
    page.initSyncPageWithTitle(QStringLiteral("Copying Music..."));
    show(record(2, QStringLiteral("Failed to copy file"),
                QStringList{QStringLiteral("Error Code: 2"), QStringLiteral("Error Domain: NSPOSIXErrorDomain")}));
    EXPECT_EQ(logLines(), (QStringList{QStringLiteral("3:41:07 PM PST: Error: Failed to copy file"),
                                       QStringLiteral("3:41:07 PM PST: Error: Error Code: 2"),
                                       QStringLiteral("3:41:07 PM PST: Error: Error Domain: NSPOSIXErrorDomain")}));
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Copying Music..."));
}

TEST_F(SyncPageTest, StageRecordsHideTheBarResetThePageAndLogTheTitle)
{
    for (int activity : {3, 5, 6, 10, 11}) {
        fillPage();
        ASSERT_TRUE(page.isProgressBarVisible());
        show(record(activity, QStringLiteral("Stage %1").arg(activity)));
        EXPECT_FALSE(page.isProgressBarVisible()) << activity;
        EXPECT_EQ(page.syncOperation(), QStringLiteral("Stage %1").arg(activity));
        EXPECT_TRUE(page.syncTitle(1).isEmpty()) << activity;
        EXPECT_TRUE(page.syncText(3).isEmpty()) << activity;
        EXPECT_EQ(logLines().last(), QStringLiteral("3:41:07 PM PST: Stage %1").arg(activity));
    }
}

TEST_F(SyncPageTest, ImportProgressShowsTheBarOnceAndThePercentage)
{
    show(record(4, {}, std::nullopt, 3, 4));
    EXPECT_TRUE(page.isProgressBarVisible());
    EXPECT_EQ(page.progressBarValue(), 75);
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Loading iTunes Music Library..."));
    show(record(4, {}, std::nullopt, 1, 3));
    EXPECT_EQ(page.progressBarValue(), 33);
    show(record(4, {}, std::nullopt, 2, 0));
    EXPECT_EQ(page.progressBarValue(), 33);
    EXPECT_EQ(logLines(), QStringList{QStringLiteral("3:41:07 PM PST: Loading iTunes Music Library")});
}

TEST_F(SyncPageTest, TrackRecordsFillTheFieldsAndLogCopyingMusicOncePerBarShowing)
{
    show(record(7, {}, QStringList{QStringLiteral("Song A"), QStringLiteral("Album A"), QStringLiteral("Ann")}, 0, 2));
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Copying Music..."));
    EXPECT_EQ(page.syncTitle(1), QStringLiteral("Song:"));
    EXPECT_EQ(page.syncTitle(2), QStringLiteral("Album:"));
    EXPECT_EQ(page.syncTitle(3), QStringLiteral("Artist:"));
    EXPECT_TRUE(page.syncTitle(4).isEmpty());
    EXPECT_EQ(page.syncText(1), QStringLiteral("Song A"));
    EXPECT_EQ(page.syncText(2), QStringLiteral("Album A"));
    EXPECT_EQ(page.syncText(3), QStringLiteral("Ann"));
    EXPECT_EQ(page.progressBarValue(), 0);
    show(record(7, {}, QStringList{QStringLiteral("Song B")}, 1, 2));
    EXPECT_EQ(page.progressBarValue(), 50);
    EXPECT_EQ(page.syncText(1), QStringLiteral("Song B"));
    EXPECT_TRUE(page.syncText(2).isEmpty());
    EXPECT_TRUE(page.syncText(3).isEmpty());
    show(record(6, QStringLiteral("Synchronizing Album Covers")));
    show(record(7, {}, std::nullopt, 1, -5));
    EXPECT_EQ(page.progressBarValue(), 50);
    EXPECT_EQ(logLines(), (QStringList{QStringLiteral("3:41:07 PM PST: Copying Music"),
                                       QStringLiteral("3:41:07 PM PST: Song: Song A, Album: Album A, Artist: Ann"),
                                       QStringLiteral("3:41:07 PM PST: Song: Song B, Album: , Artist: "),
                                       QStringLiteral("3:41:07 PM PST: Synchronizing Album Covers"),
                                       QStringLiteral("3:41:07 PM PST: Copying Music"),
                                       QStringLiteral("3:41:07 PM PST: Song: , Album: , Artist: ")}));
}

TEST_F(SyncPageTest, MessagesWithPlaceholdersAreShownLiterally)
{
    show(record(7, {}, QStringList{QStringLiteral("%1 %2"), QStringLiteral("%3"), QStringLiteral("x")}, 0, 1));
    EXPECT_EQ(logLines().last(), QStringLiteral("3:41:07 PM PST: Song: %1 %2, Album: %3, Artist: x"));
}

TEST_F(SyncPageTest, PlaylistRecordSetsTheOperationAndLogsIt)
{
    fillPage();
    show(record(8, QStringLiteral("Road Trip")));
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Copying Playlist: Road Trip"));
    EXPECT_EQ(page.syncTitle(1), QStringLiteral("Song:"));
    EXPECT_EQ(logLines().last(), QStringLiteral("3:41:07 PM PST: Copying Playlist: Road Trip"));
}

TEST_F(SyncPageTest, ArtworkRecordWithNoMaximumShowsTheBarButKeepsItsValue)
{
    show(record(4, {}, std::nullopt, 1, 4));
    show(record(5, QStringLiteral("Finished Loading iTunes Library")));
    show(record(9, {}, std::nullopt, 0, 0));
    EXPECT_TRUE(page.isProgressBarVisible());
    EXPECT_EQ(page.progressBarValue(), 25);
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Copying Artwork..."));
    show(record(9, {}, std::nullopt, 1, 2));
    EXPECT_EQ(page.progressBarValue(), 50);
    EXPECT_EQ(logLines().last(), QStringLiteral("3:41:07 PM PST: Copying Artwork"));
}

TEST_F(SyncPageTest, NoRecordOrAnUnknownActivityChangesNothing)
{
    fillPage();
    int changes = 0;
    QObject::connect(&page, &SyncPage::pageChanged, &page, [&] { ++changes; });
    const QString log = page.logText();
    page.onSyncNotifictionEvent(nullptr);
    show(record(12, QStringLiteral("x")));
    show(record(-1, QStringLiteral("x")));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(page.logText(), log);
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Copying Music..."));
}

TEST_F(SyncPageTest, PercentageUsesWrappingThirtyTwoBitArithmetic)
{
    EXPECT_EQ(SyncPage::percentage(3, 4), 75);
    EXPECT_EQ(SyncPage::percentage(1, 3), 33);
    EXPECT_EQ(SyncPage::percentage(-1, 3), -33);
    // 30,000,000 * 100 wraps to -1,294,967,296 in 32 bits.
    EXPECT_EQ(SyncPage::percentage(30000000, 60000000), -21);
    EXPECT_EQ(SyncPage::percentage(INT_MIN, -1), 0);
}

TEST_F(SyncPageTest, TotalsWithoutFailuresLeaveTheFourthLineEmpty)
{
    fillPage();
    SyncCounters totals;
    totals.numTracksProcessed = 10;
    totals.numTracksCopied = 4;
    totals.numAlbumCoversProcessed = 3;
    totals.numAlbumCoversCopied = 1;
    page.syncPageResults(totals);
    EXPECT_EQ(page.syncOperation(), QStringLiteral("Completed iTunes Synchronization"));
    EXPECT_EQ(page.syncTitle(1), QStringLiteral("Processed 10 tracks and 3 album covers"));
    EXPECT_EQ(page.syncTitle(2), QStringLiteral("Copied 4 tracks and 1 album covers"));
    EXPECT_EQ(page.syncTitle(3), QStringLiteral("6 tracks unchanged and 2 album covers unchanged"));
    EXPECT_TRUE(page.syncTitle(4).isEmpty());
    for (int n = 1; n <= 4; ++n)
        EXPECT_TRUE(page.syncText(n).isEmpty());
    EXPECT_TRUE(page.isProgressBarVisible()); // the totals leave the bar alone
}

TEST_F(SyncPageTest, TotalsWithFailuresFillTheFourthLine)
{
    SyncCounters totals;
    totals.numTracksProcessed = 10;
    totals.numTracksCopied = 2;
    totals.numTracksCopyFailure = 2;
    totals.numSkippedDRMTracks = 1;
    totals.numAlbumCoversProcessed = 5;
    totals.numAlbumCoversMissing = 3;
    page.syncPageResults(totals);
    EXPECT_EQ(page.syncTitle(3), QStringLiteral("5 tracks unchanged and 2 album covers unchanged"));
    EXPECT_EQ(page.syncTitle(4), QStringLiteral("Unable to copy 3 album covers and 3 tracks (1 copy protected)"));
}

TEST_F(SyncPageTest, EnableSyncIsAnnounced)
{
    QList<bool> announced;
    QObject::connect(&page, &SyncPage::syncEnabledChanged, &page, [&](bool enabled) { announced.append(enabled); });
    page.enableSync(false);
    EXPECT_FALSE(page.isSyncEnabled());
    page.enableSync(true);
    EXPECT_TRUE(page.isSyncEnabled());
    EXPECT_EQ(announced, (QList<bool>{false, true}));
}

} // namespace
