#include "platform/EventLoop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(EventLoop, SignalsArriveAsEventsWithTheirValue) {
    platform::EventLoop loop({SIGUSR1, SIGUSR2});
    std::vector<int> received;
    loop.OnSignal(SIGUSR1, [&](int value) { received.push_back(value); });
    loop.ProcessPendingEvents();
    EXPECT_TRUE(received.empty()) << "nothing pending, nothing dispatched, no blocking";

    sigqueue(getpid(), SIGUSR1, sigval{42});
    raise(SIGUSR2);  // no handler: taken from the queue and dropped
    platform::DoEvents();
    EXPECT_EQ(received, std::vector<int>{42});
}

TEST(EventLoop, PendingEventsRunNoTimerTickSoATickHandlerIsNeverReentered) {
    platform::EventLoop loop({SIGUSR1});
    int depth = 0;
    int deepest = 0;
    int ticks = 0;
    platform::Timer timer(loop, 1ms, [&] {
        deepest = std::max(deepest, ++depth);
        // Waits as a cycle waits for an HTTP answer, with the timer due many times over.
        pollfd signals{loop.SignalDescriptor(), POLLIN, 0};
        poll(&signals, 1, 20);
        loop.ProcessPendingEvents();
        --depth;
        if (++ticks == 2) {
            loop.Quit();
        }
    });
    timer.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(deepest, 1);
}

TEST(EventLoop, ADisabledTimerDeliversNothingAndEnablingStartsAFullPeriod) {
    platform::EventLoop loop({SIGUSR1});
    std::vector<std::chrono::steady_clock::time_point> ticks;
    platform::Timer quiet(loop, 1ms, [&] { ADD_FAILURE() << "a disabled timer ticked"; });
    platform::Timer timer(loop, 50ms, [&] {
        ticks.push_back(std::chrono::steady_clock::now());
        if (ticks.size() == 2) {
            loop.Quit();
        }
    });
    auto enabled = std::chrono::steady_clock::now();
    timer.SetEnabled(true);
    loop.Run();
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_GE(ticks[0] - enabled, 50ms);
    EXPECT_GE(ticks[1] - ticks[0], 45ms);
}

TEST(EventLoop, AStopSignalEndsRunWhileNoTimerIsEnabled) {
    platform::EventLoop loop({SIGTERM});
    loop.OnSignal(SIGTERM, [&](int) { loop.Quit(); });
    raise(SIGTERM);
    loop.Run();
    EXPECT_TRUE(loop.QuitRequested());
}

}  // namespace
