#include "platform/Clock.h"

namespace platform {

namespace {
std::function<TimePoint()>& ClockOverride() {
    static std::function<TimePoint()> now;
    return now;
}
}  // namespace

TimePoint Now() {
    return ClockOverride() ? ClockOverride()() : std::chrono::system_clock::now();
}

void OverrideClock(std::function<TimePoint()> now) {
    ClockOverride() = std::move(now);
}

}  // namespace platform
