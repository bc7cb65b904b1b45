#include "app/SyncPage.h"
#include "desktop/SyncPageView.h"
#include "library/Notify.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

class LogViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        page.setClock([] { return QStringLiteral("12:00:00"); });
        view = std::make_unique<SyncPageView>(page);
        view->resize(720, 600);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QPlainTextEdit *log() const { return view->logTextView(); }
    QString firstShownLine() const { return log()->document()->firstBlock().text(); }
    QString lastShownLine() const { return log()->document()->lastBlock().text(); }
    bool scrolledToTheEnd() const
    {
        return log()->verticalScrollBar()->value() == log()->verticalScrollBar()->maximum();
    }
    const QLabel *note() const { return view->findChild<QLabel *>(QStringLiteral("syncLogNote")); }
    void logLines(int first, int last)
    {
        for (int n = first; n <= last; ++n)
            page.logDateAndTitle(QStringLiteral("line %1").arg(n));
    }
    QString saved(const QString &fileName) const
    {
        QFile file(fileName);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<unreadable>");
    }

    QTemporaryDir folder;
    SyncPage page;
    std::unique_ptr<SyncPageView> view;
};

TEST_F(LogViewTest, ALogLongerThanTheViewShowsTheNewestLinesAndSavesThemAll)
{
    view->setShownLogLines(100);
    logLines(1, 250);
    EXPECT_EQ(log()->blockCount(), 100);
    EXPECT_EQ(firstShownLine(), QStringLiteral("12:00:00: line 151"));
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: line 250"));
    EXPECT_TRUE(scrolledToTheEnd());
    ASSERT_NE(note(), nullptr);
    EXPECT_FALSE(note()->isHidden());
    EXPECT_EQ(note()->text(), QStringLiteral("Showing the newest 100 of 250 lines: Save Log... writes them all"));

    const QString fileName = folder.filePath(QStringLiteral("log.txt"));
    ASSERT_TRUE(view->saveLog(fileName));
    EXPECT_EQ(saved(fileName), page.logText());
    EXPECT_TRUE(saved(fileName).startsWith(QStringLiteral("12:00:00: line 1\n12:00:00: line 2\n")));
    EXPECT_EQ(saved(fileName).count(u'\n'), 250);
}

TEST_F(LogViewTest, ABatchIsShownAtItsEndWithTheLabelsOfItsLastReport)
{
    view->setShownLogLines(100);
    logLines(1, 10);
    bool batch = true;
    view->deferShowingWhile([&batch] { return batch; });
    for (int n = 1; n <= 300; ++n) {
        Notify copying;
        copying.setActivity(7);
        copying.setMessages(QStringList{QStringLiteral("Song %1").arg(n), QStringLiteral("Album"), QStringLiteral("Artist")});
        copying.setProgress(n);
        copying.setMaxProgress(400);
        page.onSyncNotifictionEvent(&copying);
    }
    auto *songText = view->findChild<QLabel *>(QStringLiteral("syncText1"));
    auto *bar = view->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: line 10")) << "nothing shown during the batch";
    EXPECT_EQ(songText->text(), QStringLiteral(""));
    EXPECT_TRUE(bar->isHidden());

    batch = false;
    view->showDeferred();
    // The bar's line and 300 songs: the newest 100 of the 311 lines.
    EXPECT_EQ(log()->blockCount(), 100);
    EXPECT_EQ(firstShownLine(), QStringLiteral("12:00:00: Song: Song 201, Album: Album, Artist: Artist"));
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: Song: Song 300, Album: Album, Artist: Artist"));
    EXPECT_TRUE(scrolledToTheEnd());
    EXPECT_EQ(songText->text(), QStringLiteral("Song 300"));
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->value(), 75);
    EXPECT_THAT(note()->text().toStdString(), HasSubstr("of 311 lines"));
    EXPECT_EQ(page.logText().count(u'\n'), 311);

    // Outside a batch each line is shown as it comes.
    page.logDateAndTitle(QStringLiteral("after the batch"));
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: after the batch"));
}

TEST_F(LogViewTest, BatchesInQuickSuccessionAreShownTogetherAfterAShortWait)
{
    bool batch = false;
    view->deferShowingWhile([&batch] { return batch; });
    const auto showBatch = [&](int first, int last) {
        batch = true;
        logLines(first, last);
        batch = false;
        view->showDeferredSoon();
    };
    showBatch(1, 5);
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: line 5")) << "the first at once";
    showBatch(6, 10);
    showBatch(11, 15);
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: line 5"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return lastShownLine() == QStringLiteral("12:00:00: line 15"); }, 2000));
    EXPECT_EQ(log()->blockCount(), 15);
    EXPECT_TRUE(scrolledToTheEnd());

    // A line logged outside a batch is shown at once, after those still waiting.
    showBatch(16, 16);
    page.logDateAndTitle(QStringLiteral("outside"));
    EXPECT_EQ(log()->blockCount(), 17);
    EXPECT_EQ(log()->document()->findBlockByNumber(15).text(), QStringLiteral("12:00:00: line 16"));
    EXPECT_EQ(lastShownLine(), QStringLiteral("12:00:00: outside"));
}

TEST_F(LogViewTest, TheSavedLogKeepsALineBreakOfATitleInsideItsLine)
{
    page.logDateAndTitle(QStringLiteral("Song: Ring\r\nError: forged\x1b[2J"));
    const QString fileName = folder.filePath(QStringLiteral("log.txt"));
    ASSERT_TRUE(view->saveLog(fileName));
    // As the view shows it: one line, nothing a terminal obeys.
    EXPECT_EQ(saved(fileName), QStringLiteral("12:00:00: Song: Ring\\r\\nError: forged\\e[2J\n"));
    EXPECT_EQ(saved(fileName), log()->toPlainText() + u'\n');
    EXPECT_TRUE(note()->isHidden()) << "the whole log is in the view";
}

TEST_F(LogViewTest, ALogThatCannotBeSavedSaysWhyAndKeepsEveryLine)
{
    logLines(1, 3);
    const QString fileName = folder.filePath(QStringLiteral("missing folder/log.txt"));
    EXPECT_FALSE(view->saveLog(fileName));
    EXPECT_FALSE(QFile::exists(fileName));
    EXPECT_THAT(page.logText().toStdString(), HasSubstr("12:00:00: line 3\n12:00:00: Error: Cannot save the log to "));
    EXPECT_THAT(lastShownLine().toStdString(), HasSubstr("Error: Cannot save the log to "));
}

TEST(LogViewOpenedLateTest, AViewMadeOverALongLogShowsItsNewestLines)
{
    SyncPage page;
    page.setClock([] { return QStringLiteral("12:00:00"); });
    const int lines = SyncPageView::DefaultShownLogLines + 5;
    for (int n = 1; n <= lines; ++n)
        page.logDateAndTitle(QStringLiteral("line %1").arg(n));
    SyncPageView view(page);
    EXPECT_EQ(view.logTextView()->blockCount(), SyncPageView::DefaultShownLogLines);
    EXPECT_EQ(view.logTextView()->document()->firstBlock().text(), QStringLiteral("12:00:00: line 6"));
    EXPECT_EQ(view.logTextView()->document()->lastBlock().text(), QStringLiteral("12:00:00: line %1").arg(lines));
    EXPECT_FALSE(view.findChild<QLabel *>(QStringLiteral("syncLogNote"))->isHidden());
}

} // namespace
