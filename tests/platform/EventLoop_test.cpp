#include "platform/EventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Worker.h"

namespace {

using namespace std::chrono_literals;
using platform::ServiceRequest;

TEST(EventLoop, PostedRequestsArriveAsEventsWithTheirValue) {
    platform::EventLoop loop;
    std::vector<int> received;
    loop.OnRequest(ServiceRequest::Control, [&](int value) { received.push_back(value); });
    loop.ProcessPendingEvents();
    EXPECT_TRUE(received.empty()) << "nothing pending, nothing dispatched, no blocking";

    loop.Post(ServiceRequest::Control, 42);
    loop.Post(ServiceRequest::Pause);  // no handler: taken from the queue and dropped
    platform::DoEvents();
    EXPECT_EQ(received, std::vector<int>{42});
}

TEST(EventLoop, ARequestFromAnotherThreadIsHandledOnTheLoopsThreadAndWakesRun) {
    platform::EventLoop loop;
    std::thread::id handledOn;
    loop.OnRequest(ServiceRequest::Stop, [&](int) {
        handledOn = std::this_thread::get_id();
        loop.Quit();
    });
    int woken = 0;
    loop.SetWakeCallback([&] { ++woken; });
    auto started = std::chrono::steady_clock::now();
    std::thread host([&] {
        std::this_thread::sleep_for(50ms);
        loop.Post(ServiceRequest::Stop);
    });
    loop.Run();
    host.join();
    loop.SetWakeCallback({});
    EXPECT_EQ(handledOn, std::this_thread::get_id());
    EXPECT_EQ(woken, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST(EventLoop, PendingEventsRunNoTimerTickSoATickHandlerIsNeverReentered) {
    platform::EventLoop loop;
    int depth = 0;
    int deepest = 0;
    int ticks = 0;
    platform::Timer timer(loop, 1ms, [&] {
        deepest = std::max(deepest, ++depth);
        // Waits as a cycle waits for an HTTP answer, with the timer due many times over.
        std::this_thread::sleep_for(20ms);
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
    platform::EventLoop loop;
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
    // Windows' timers may fire up to a clock tick (15.6 ms) early.
    EXPECT_GE(ticks[0] - enabled, 34ms);
    EXPECT_GE(ticks[1] - ticks[0], 34ms);
}

// Not in the EventLoop suite, whose tests measure time and run alone: this one runs with every
// build. A timer never enabled is due from the start, one switched off keeps its due time.
TEST(Timer, ADisabledTimerDeliversNoTick) {
    platform::EventLoop loop;
    int quietTicks = 0;
    platform::Timer never(loop, 1ms, [&] { ++quietTicks; });
    platform::Timer switchedOff(loop, 0ms, [&] { ++quietTicks; });
    switchedOff.SetEnabled(true);
    switchedOff.SetEnabled(false);
    int ticks = 0;
    platform::Timer timer(loop, 1ms, [&] {
        if (++ticks == 3) {
            loop.Quit();
        }
    });
    timer.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(quietTicks, 0);
}

TEST(EventLoop, AStopRequestEndsRunWhileNoTimerIsEnabled) {
    platform::EventLoop loop;
    loop.OnRequest(ServiceRequest::Stop, [&](int) { loop.Quit(); });
    loop.Post(ServiceRequest::Stop);
    loop.Run();
    EXPECT_TRUE(loop.QuitRequested());
}

}  // namespace

TEST(EventLoop, WorkBesideTheLoopEndsItsWaitWhenDoneAtItsBoundAndAtOnceAtAStop) {
    platform::EventLoop loop;
    loop.OnRequest(ServiceRequest::Stop, [&](int) { loop.Quit(); });
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto work = [done] {
        std::this_thread::sleep_for(20ms);
        *done = true;
    };
    EXPECT_EQ(platform::RunBesideTheLoop(work, 5s), platform::WorkEnd::Done);
    EXPECT_TRUE(*done);
    auto blocks = [] { std::this_thread::sleep_for(2s); };
    EXPECT_EQ(platform::RunBesideTheLoop(blocks, 50ms), platform::WorkEnd::TimedOut);
    std::thread host([&] {
        std::this_thread::sleep_for(50ms);
        loop.Post(ServiceRequest::Stop);
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::RunBesideTheLoop(blocks, 10s), platform::WorkEnd::Stopped);
    host.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << "the work goes on alone";
}
