#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {
std::string Format(TimePoint time, const char* format) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[128];
    std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}
}  // namespace

LocalCalendarTime ToLocalCalendarTime(TimePoint time) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    LocalCalendarTime local{};
    localtime_r(&seconds, &local.fields);
    local.utcOffsetMinutes = local.fields.tm_gmtoff / 60;
    return local;
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
