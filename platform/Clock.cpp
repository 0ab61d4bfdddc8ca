#include "platform/Clock.h"

namespace platform {

namespace {
struct Clocks {
    std::function<TimePoint()> now;
    std::function<SteadyTimePoint()> steadyNow;
};

Clocks& ClockOverride() {
    static Clocks clocks;
    return clocks;
}
}  // namespace

TimePoint Now() {
    const Clocks& clocks = ClockOverride();
    return clocks.now ? clocks.now() : std::chrono::system_clock::now();
}

SteadyTimePoint SteadyNow() {
    const Clocks& clocks = ClockOverride();
    return clocks.steadyNow ? clocks.steadyNow() : std::chrono::steady_clock::now();
}

void OverrideClock(std::function<TimePoint()> now, std::function<SteadyTimePoint()> steadyNow) {
    ClockOverride() = Clocks{std::move(now), std::move(steadyNow)};
}

}  // namespace platform
