#include "discovery/QtAvahiPoll.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <avahi-common/timeval.h>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Runs the event loop until done() or a generous limit (a hang fails the
// test instead of stopping the suite).
template <typename Done>
bool spinUntil(Done done)
{
    QDeadlineTimer limit(10000);
    while (!done() && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

void spinFor(int milliseconds)
{
    QDeadlineTimer limit(milliseconds);
    while (!limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class Pipe {
public:
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe()
    {
        close(fds[0]);
        close(fds[1]);
    }
    int readEnd() const { return fds[0]; }
    void put() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
    void take()
    {
        char c;
        EXPECT_EQ(read(fds[0], &c, 1), 1);
    }

private:
    int fds[2] = {-1, -1};
};

struct WatchProbe {
    const AvahiPoll *api = nullptr;
    Pipe *pipe = nullptr;
    int calls = 0;
    AvahiWatchEvent seenEvent = AvahiWatchEvent(0);
    AvahiWatchEvent reportedEvents = AvahiWatchEvent(0);
    bool freeInCallback = false;
};

void watchCallback(AvahiWatch *watch, int, AvahiWatchEvent event, void *userdata)
{
    auto *probe = static_cast<WatchProbe *>(userdata);
    ++probe->calls;
    probe->seenEvent = event;
    probe->reportedEvents = probe->api->watch_get_events(watch);
    probe->pipe->take();
    if (probe->freeInCallback)
        probe->api->watch_free(watch);
}

TEST(QtAvahiPollTest, AWatchReportsReadabilityAndCanBeSwitchedOffAndFreedInItsCallback)
{
    QtAvahiPoll poll;
    const AvahiPoll *api = poll.api();
    Pipe pipe;
    WatchProbe probe{api, &pipe};
    AvahiWatch *watch = api->watch_new(api, pipe.readEnd(), AVAHI_WATCH_IN, &watchCallback, &probe);
    ASSERT_NE(watch, nullptr);

    pipe.put();
    ASSERT_TRUE(spinUntil([&] { return probe.calls == 1; }));
    EXPECT_EQ(probe.seenEvent, AVAHI_WATCH_IN);
    EXPECT_EQ(probe.reportedEvents, AVAHI_WATCH_IN);
    // Outside the callback no event is pending.
    EXPECT_EQ(api->watch_get_events(watch), AvahiWatchEvent(0));

    // Asking for nothing: the data waits, no call.
    api->watch_update(watch, AvahiWatchEvent(0));
    pipe.put();
    spinFor(100);
    EXPECT_EQ(probe.calls, 1);

    // Asking again delivers it; the callback frees its own watch.
    probe.freeInCallback = true;
    api->watch_update(watch, AVAHI_WATCH_IN);
    ASSERT_TRUE(spinUntil([&] { return probe.calls == 2; }));
    pipe.put();
    spinFor(100);
    EXPECT_EQ(probe.calls, 2);
}

struct TimeoutProbe {
    const AvahiPoll *api = nullptr;
    int calls = 0;
    bool freeInCallback = false;
};

void timeoutCallback(AvahiTimeout *timeout, void *userdata)
{
    auto *probe = static_cast<TimeoutProbe *>(userdata);
    ++probe->calls;
    if (probe->freeInCallback)
        probe->api->timeout_free(timeout);
}

TEST(QtAvahiPollTest, ATimeoutFiresOnceAtItsMomentAndCanBeDisarmedRearmedAndFreedInItsCallback)
{
    QtAvahiPoll poll;
    const AvahiPoll *api = poll.api();
    TimeoutProbe probe{api};
    struct timeval soon;
    avahi_elapse_time(&soon, 20, 0);
    AvahiTimeout *timeout = api->timeout_new(api, &soon, &timeoutCallback, &probe);
    ASSERT_TRUE(spinUntil([&] { return probe.calls == 1; }));
    spinFor(100);
    EXPECT_EQ(probe.calls, 1) << "a time-out fires once until it is updated";

    // A moment already past fires at once; disarming before the loop runs
    // keeps it silent.
    struct timeval past;
    avahi_elapse_time(&past, 0, 0);
    api->timeout_update(timeout, &past);
    api->timeout_update(timeout, nullptr);
    spinFor(100);
    EXPECT_EQ(probe.calls, 1);

    probe.freeInCallback = true;
    api->timeout_update(timeout, &past);
    ASSERT_TRUE(spinUntil([&] { return probe.calls == 2; }));
    spinFor(50);
    EXPECT_EQ(probe.calls, 2);

    // A time-out without a moment never fires.
    AvahiTimeout *idle = api->timeout_new(api, nullptr, &timeoutCallback, &probe);
    spinFor(50);
    EXPECT_EQ(probe.calls, 2);
    api->timeout_free(idle);
}

TEST(QtAvahiPollTest, WhatAvahiLeavesIsFreedWithThePoll)
{
    Pipe pipe;
    WatchProbe watchProbe;
    TimeoutProbe timeoutProbe;
    {
        QtAvahiPoll poll;
        const AvahiPoll *api = poll.api();
        watchProbe = {api, &pipe};
        timeoutProbe.api = api;
        struct timeval later;
        avahi_elapse_time(&later, 60000, 0);
        ASSERT_NE(api->watch_new(api, pipe.readEnd(), AvahiWatchEvent(AVAHI_WATCH_IN | AVAHI_WATCH_OUT),
                                 &watchCallback, &watchProbe),
                  nullptr);
        ASSERT_NE(api->timeout_new(api, &later, &timeoutCallback, &timeoutProbe), nullptr);
    }
    // The leak checker of the sanitizer build sees anything left; nothing
    // fires after the poll is gone.
    pipe.put();
    spinFor(50);
    EXPECT_EQ(watchProbe.calls, 0);
    EXPECT_EQ(timeoutProbe.calls, 0);
}

} // namespace
