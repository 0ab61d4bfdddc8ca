#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"

namespace {

using platform::ServiceRequest;

// systemd and kill(1) speak in signals; each maps to one request, with sigqueue's value.
TEST(EventLoopPosixOnly, SignalsArriveAsTheirRequests) {
    platform::EventLoop loop;
    std::vector<std::pair<ServiceRequest, int>> received;
    for (auto request : {ServiceRequest::Stop, ServiceRequest::Pause, ServiceRequest::Continue,
                         ServiceRequest::Control}) {
        loop.OnRequest(request, [&, request](int value) { received.emplace_back(request, value); });
    }
    raise(SIGTERM);
    raise(SIGINT);
    raise(SIGUSR1);
    raise(SIGUSR2);
    sigqueue(getpid(), SIGHUP, sigval{130});
    loop.ProcessPendingEvents();
    std::vector<std::pair<ServiceRequest, int>> expected{{ServiceRequest::Stop, 0},
                                                         {ServiceRequest::Stop, 0},
                                                         {ServiceRequest::Pause, 0},
                                                         {ServiceRequest::Continue, 0},
                                                         {ServiceRequest::Control, 130}};
    std::sort(received.begin(), received.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(received, expected);
}

}  // namespace

namespace {

// A test hook that shortens the tick must never stop it, nor make it run flat out.
TEST(TickPeriod, OnlyAWholePositiveNumberOfMillisecondsShortensTheTick) {
    const std::pair<const char*, long> cases[] = {{"20", 20},     {"0", 1000}, {"-5", 1000},
                                                  {"20ms", 1000}, {"", 1000},  {"3600001", 1000}};
    for (auto [text, milliseconds] : cases) {
        setenv("ZARVO_TICK_MS", text, 1);
        EXPECT_EQ(platform::TickPeriod().count(), milliseconds) << '"' << text << '"';
    }
    unsetenv("ZARVO_TICK_MS");
    EXPECT_EQ(platform::TickPeriod().count(), 1000);
}

}  // namespace
