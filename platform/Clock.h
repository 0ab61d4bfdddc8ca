#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <string>

namespace platform {

using TimePoint = std::chrono::system_clock::time_point;
using SteadyTimePoint = std::chrono::steady_clock::time_point;

/// The current wall-clock time; tests replace it with a fixed one.
TimePoint Now();
/// The monotonic time by which the service counts the ticks it slept through; tests move it.
SteadyTimePoint SteadyNow();
/// Installs `now` and `steadyNow` as the sources of the current time for the whole process; an
/// empty function restores that system clock.
void OverrideClock(std::function<TimePoint()> now, std::function<SteadyTimePoint()> steadyNow = {});

/// The date in the locale's short date format ("%x").
std::string ShortDate(TimePoint time);
/// The time in the locale's long time format ("%X").
std::string LongTime(TimePoint time);
/// The calendar fields of `time` in the local time zone, with that zone's distance from UTC at
/// that moment in minutes (east of UTC positive).
struct LocalCalendarTime {
    std::tm fields;
    long utcOffsetMinutes;
};
LocalCalendarTime ToLocalCalendarTime(TimePoint time);
/// Date and time as the cycle reports them: "%x %X" in the user's locale.
std::string DateTimeText(TimePoint time);

}  // namespace platform
