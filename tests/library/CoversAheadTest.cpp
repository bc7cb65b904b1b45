#include "library/AlbumCover.h"
#include "library/CoversAhead.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The run's position, as the test drives it.
std::atomic<long> runTurn{0};

// A cover whose preparation takes a moment and notes which thread did it,
// how often, and how far ahead of the run's turn.
class TimedCover : public AlbumCover {
public:
    explicit TimedCover(long index, bool throws = false) : index(index), throws(throws) {}
    void prepareArtwork() override
    {
        ++preparations;
        preparedOn = std::this_thread::get_id();
        lead = index - runTurn.load();
        std::this_thread::sleep_for(std::chrono::microseconds(150));
        if (throws)
            throw std::runtime_error("unreadable artwork");
    }

    const long index;
    const bool throws;
    std::atomic<int> preparations{0};
    std::thread::id preparedOn;
    long lead = 0;
};

struct Covers {
    explicit Covers(long count, long throwingIndex = -1)
    {
        for (long index = 0; index < count; ++index)
            owned.push_back(std::make_unique<TimedCover>(index, index == throwingIndex));
        for (const auto &cover : owned)
            pointers.push_back(cover.get());
    }
    std::vector<std::unique_ptr<TimedCover>> owned;
    std::vector<AlbumCover *> pointers;
};

TEST(CoversAhead, EachCoverIsPreparedOnceBeforeItsTurnAndNeverBeyondTheWindow)
{
    constexpr std::size_t Window = 4;
    Covers covers(200);
    std::set<std::thread::id> threads;
    {
        CoversAhead ahead(covers.pointers, Window, true);
        for (std::size_t index = 0; index < covers.owned.size(); ++index) {
            runTurn = long(index);
            ahead.ready(index);
            ASSERT_EQ(covers.owned[index]->preparations.load(), 1) << "cover " << index;
            // A slow share at the end: the helper runs ahead, as far as the
            // window lets it.
            if (index >= 150)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    for (const auto &cover : covers.owned) {
        EXPECT_EQ(cover->preparations.load(), 1) << "cover " << cover->index;
        EXPECT_LE(cover->lead, long(Window)) << "cover " << cover->index;
        EXPECT_GE(cover->lead, 0) << "cover " << cover->index;
        threads.insert(cover->preparedOn);
    }
    // Both the run's thread and the helper converted images.
    EXPECT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u);
}

TEST(CoversAhead, WithoutAHelperEachCoverIsPreparedAtItsTurnHere)
{
    Covers covers(20);
    CoversAhead ahead(covers.pointers, 4, false);
    for (std::size_t index = 0; index < covers.owned.size(); ++index) {
        runTurn = long(index);
        ahead.ready(index);
        EXPECT_EQ(covers.owned[index]->lead, 0);
        EXPECT_EQ(covers.owned[index]->preparedOn, std::this_thread::get_id());
        if (index + 1 < covers.owned.size()) {
            EXPECT_EQ(covers.owned[index + 1]->preparations.load(), 0);
        }
    }
}

TEST(CoversAhead, ARunThatEndsEarlyLeavesTheRestUnpreparedAndAFailedPreparationDoesNotStopIt)
{
    constexpr std::size_t Window = 3;
    Covers covers(100, 1);
    {
        CoversAhead ahead(covers.pointers, Window, true);
        for (std::size_t index = 0; index < 3; ++index) {
            runTurn = long(index);
            ahead.ready(index);
        }
    }
    EXPECT_EQ(covers.owned[1]->preparations.load(), 1);
    for (const auto &cover : covers.owned) {
        EXPECT_LE(cover->preparations.load(), 1);
        if (cover->index > 2 + long(Window)) {
            EXPECT_EQ(cover->preparations.load(), 0) << "cover " << cover->index;
        }
    }
}

} // namespace
