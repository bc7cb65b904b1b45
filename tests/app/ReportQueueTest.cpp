#include "app/ReportQueue.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

Notify report(Activity activity, int progress = 0, const QString &title = QString())
{
    Notify notify;
    notify.setActivity(activity);
    notify.setProgress(progress);
    notify.setTitle(title);
    return notify;
}

// Runs the event loop until done() holds or the worker has ended.
template <typename Done>
void processEventsUntil(Done done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

class ReportQueueTest : public ::testing::Test {
protected:
    QObject receiver;
    QList<Notify> shown;
    std::atomic<int> shownCount = 0;
    int batches = 0;
    bool everyReportOnTheReceiversThread = true;

    std::unique_ptr<ReportQueue> makeQueue(std::size_t capacity = ReportQueue::DefaultCapacity)
    {
        return std::make_unique<ReportQueue>(
            &receiver,
            [this](const Notify &notify) {
                everyReportOnTheReceiversThread &= QThread::currentThread() == receiver.thread();
                shown.append(notify);
                ++shownCount;
            },
            [this] { ++batches; }, capacity);
    }
};

TEST(ReportQueueWaiting, PerItemReportsGoOnAndStageReportsAndErrorsAreWaitedFor)
{
    EXPECT_FALSE(ReportQueue::needsWaiting(report(Activity::Log)));
    EXPECT_FALSE(ReportQueue::needsWaiting(report(Activity::TrackProgress, 7)));
    EXPECT_FALSE(ReportQueue::needsWaiting(report(Activity::LoadProgress, 1)));
    EXPECT_FALSE(ReportQueue::needsWaiting(report(Activity::CoverProgress, 3)));
    // A stage's first item: the receiver may read the model then.
    EXPECT_TRUE(ReportQueue::needsWaiting(report(Activity::TrackProgress, 0)));
    for (Activity activity : {Activity::Error, Activity::LoadStageStarts, Activity::LoadStageEnds,
                              Activity::SyncStageStarts, Activity::Playlist, Activity::SectionSaved,
                              Activity::ReadFinished})
        EXPECT_TRUE(ReportQueue::needsWaiting(report(activity))) << int(activity);
}

TEST_F(ReportQueueTest, AWorkersReportsAreShownInOrderOnTheReceiversThreadAndAStageReportOnlyOnceShown)
{
    auto queue = makeQueue(64);
    constexpr int logLines = 5000;
    std::atomic<bool> ended = false;
    int shownWhenTheStageReportReturned = -1;
    std::thread worker([&] {
        for (int line = 0; line < logLines; ++line)
            queue->report(report(Activity::Log, 0, QString::number(line)));
        queue->report(report(Activity::SectionSaved, 0, QStringLiteral("stage")));
        shownWhenTheStageReportReturned = shownCount.load();
        ended = true;
    });
    processEventsUntil([&] { return ended.load(); });
    worker.join();
    processEventsUntil([&] { return shownCount.load() == logLines + 1; });

    EXPECT_EQ(shownWhenTheStageReportReturned, logLines + 1) << "the stage report returns once it is shown";
    ASSERT_EQ(shown.size(), logLines + 1);
    for (int line = 0; line < logLines; ++line)
        ASSERT_EQ(shown.at(line).title(), QString::number(line));
    EXPECT_EQ(shown.last().title(), QStringLiteral("stage"));
    EXPECT_TRUE(everyReportOnTheReceiversThread);
    // A batch never holds more than the queue's capacity.
    EXPECT_GE(batches, logLines / 64);
}

TEST_F(ReportQueueTest, AFullQueueHoldsTheWorkerUntilTheReceiverShowsItsReports)
{
    constexpr std::size_t capacity = 8;
    auto queue = makeQueue(capacity);
    std::atomic<int> queued = 0;
    std::thread worker([&] {
        for (int line = 0; line < 100; ++line) {
            queue->report(report(Activity::Log, 0, QString::number(line)));
            ++queued;
        }
    });
    // Nothing is shown while this thread is busy: the worker stops at the
    // queue's capacity.
    while (queued.load() < int(capacity))
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(queued.load(), int(capacity));
    EXPECT_EQ(shownCount.load(), 0);

    processEventsUntil([&] { return shownCount.load() == 100; });
    worker.join();
    ASSERT_EQ(shown.size(), 100);
    EXPECT_EQ(shown.first().title(), QStringLiteral("0"));
    EXPECT_EQ(shown.last().title(), QStringLiteral("99"));
}

TEST_F(ReportQueueTest, WaitingUntilShownAndReportsOfTheReceiversThreadKeepTheOrder)
{
    auto queue = makeQueue();
    std::atomic<bool> ended = false;
    int shownAfterTheWait = -1;
    std::thread worker([&] {
        queue->report(report(Activity::Log, 0, QStringLiteral("a")));
        queue->report(report(Activity::TrackProgress, 3, QStringLiteral("b")));
        queue->waitUntilShown();
        shownAfterTheWait = shownCount.load();
        queue->report(report(Activity::Log, 0, QStringLiteral("c")));
        ended = true;
    });
    processEventsUntil([&] { return ended.load(); });
    worker.join();
    EXPECT_EQ(shownAfterTheWait, 2);
    // Shown yet or not, "c" comes before a report made on the receiver's thread.
    queue->report(report(Activity::Log, 0, QStringLiteral("d")));
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown.at(2).title(), QStringLiteral("c"));
    EXPECT_EQ(shown.at(3).title(), QStringLiteral("d"));
}

TEST_F(ReportQueueTest, AReportQueuedWhileTheReceiverPollsIsShownThoughNoneFollowsIt)
{
    auto queue = makeQueue();
    std::atomic<bool> release = false;
    std::thread worker([&] {
        queue->report(report(Activity::Log, 0, QStringLiteral("a")));
        // "a" woke the receiver, which now polls: "b" wakes nobody.
        while (shownCount.load() < 1 && !release.load())
            std::this_thread::yield();
        queue->report(report(Activity::TrackProgress, 5, QStringLiteral("b")));
        while (!release.load())
            std::this_thread::yield();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    processEventsUntil([&] { return shownCount.load() == 2 || std::chrono::steady_clock::now() > deadline; });
    release = true;
    worker.join();
    ASSERT_EQ(shown.size(), 2) << "the last report stays unshown while its worker is busy";
    EXPECT_EQ(shown.at(1).title(), QStringLiteral("b"));

    // Once the polls find nothing, the next report wakes the receiver again.
    std::thread later([&] { queue->report(report(Activity::Log, 0, QStringLiteral("c"))); });
    later.join();
    processEventsUntil([&] { return shownCount.load() == 3 || std::chrono::steady_clock::now() > deadline; });
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown.at(2).title(), QStringLiteral("c"));
}

} // namespace
