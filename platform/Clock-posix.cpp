#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {
std::function<TimePoint()>& ClockOverride() {
    static std::function<TimePoint()> now;
    return now;
}

std::string Format(TimePoint time, const char* format) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[128];
    std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}
}  // namespace

TimePoint Now() {
    return ClockOverride() ? ClockOverride()() : std::chrono::system_clock::now();
}

void OverrideClock(std::function<TimePoint()> now) {
    ClockOverride() = std::move(now);
}

std::string ShortDate(TimePoint time) {
    return Format(time, "%x");
}
std::string LongTime(TimePoint time) {
    return Format(time, "%X");
}
std::string DateTimeText(TimePoint time) {
    return Format(time, "%x %X");
}

}  // namespace platform
