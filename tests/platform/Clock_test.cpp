#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

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

TEST(Clock, TheCycleTextIsTheShortDateAndTheLongTime) {
    const sys_seconds instant = sys_days{2026y / March / 4} + 17h + 5min + 9s;
    EXPECT_FALSE(platform::ShortDate(instant).empty());
    EXPECT_FALSE(platform::LongTime(instant).empty());
    EXPECT_EQ(platform::DateTimeText(instant),
              platform::ShortDate(instant) + " " + platform::LongTime(instant));
}

}  // namespace
