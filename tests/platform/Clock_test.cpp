#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

namespace {

using namespace std::chrono;

// Calendar fields and the zone's offset must describe the same instant; a wrong sign of the
// offset would put every mail's Date header hours off.
TEST(Clock, LocalCalendarTimeAndItsOffsetGiveBackTheInstant) {
    const sys_seconds instants[] = {
        sys_days{2026y / January / 15} + 12h,     // winter
        sys_days{2026y / July / 15} + 3h + 4min,  // summer
        sys_days{2024y / February / 29} + 23h + 59min + 59s,
        sys_days{2000y / January / 1},
    };
    for (sys_seconds instant : instants) {
        const platform::LocalCalendarTime local = platform::ToLocalCalendarTime(instant);
        const std::tm& f = local.fields;
        const year_month_day date{year{f.tm_year + 1900}, month{unsigned(f.tm_mon + 1)},
                                  day{unsigned(f.tm_mday)}};
        ASSERT_TRUE(date.ok());
        const sys_seconds wall =
            sys_days{date} + hours{f.tm_hour} + minutes{f.tm_min} + seconds{f.tm_sec};
        EXPECT_EQ(wall - minutes{local.utcOffsetMinutes}, instant);
        EXPECT_EQ(f.tm_wday, weekday{sys_days{date}}.c_encoding());
        EXPECT_EQ(f.tm_yday, (sys_days{date} - sys_days{date.year() / January / 1}).count());
        EXPECT_LE(std::abs(local.utcOffsetMinutes), 14 * 60);
    }
}

// The date, then the time, in whatever spelling the locale gives them (12/06/26 14:03:59,
// 12/6/2026 2:03:59 PM, 06.12.2026 14:03:59); a 12-hour time says which half of the day.
TEST(Clock, TheCycleTextIsTheShortDateAndTheLongTime) {
    std::tm local{};  // 6 December 2026, 14:03:59 in whatever time zone the test runs
    local.tm_year = 126, local.tm_mon = 11, local.tm_mday = 6, local.tm_hour = 14;
    local.tm_min = 3, local.tm_sec = 59, local.tm_isdst = -1;
    const auto instant = system_clock::from_time_t(std::mktime(&local));
    const std::string text = platform::DateTimeText(instant);
    const std::string date = text.substr(0, text.find(' '));
    for (const char* number : {"\\b0?6\\b", "\\b12\\b", "\\b(20)?26\\b"}) {
        EXPECT_TRUE(std::regex_search(date, std::regex(number))) << text;
    }
    EXPECT_TRUE(
        std::regex_search(text.substr(date.size()), std::regex("^ (14:03:59|0?2:03:59 ?\\S)")))
        << text;
}

}  // namespace
