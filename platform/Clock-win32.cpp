#include "platform/Clock.h"

#include <windows.h>

#include "platform/Text.h"

namespace platform {

namespace {
// Windows counts in 100 ns steps since 1601-01-01 UTC.
constexpr long long kEpochDifference = 116'444'736'000'000'000LL;

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct LocalTime {
    SYSTEMTIME fields{};
    long utcOffsetMinutes = 0;
};

LocalTime ToLocal(TimePoint time) {
    const long long ticks =
        std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10'000'000>>>(
            time.time_since_epoch())
            .count() +
        kEpochDifference;
    FILETIME utcFile{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    LocalTime local;
    FILETIME localFile{};
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local.fields) ||
        !SystemTimeToFileTime(&local.fields, &localFile)) {
        local.fields = utc;
        return local;
    }
    // The same instant on two clocks: the difference is the zone's offset, in whole minutes.
    const long long difference =
        static_cast<long long>(Ticks(localFile)) - static_cast<long long>(Ticks(utcFile));
    local.utcOffsetMinutes = static_cast<long>(difference / 600'000'000);
    return local;
}

int DayOfYear(const SYSTEMTIME& time) {
    static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int year = time.wYear;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDaysBefore[time.wMonth - 1] + time.wDay - 1 + (leap && time.wMonth > 2 ? 1 : 0);
}
}  // namespace

LocalCalendarTime ToLocalCalendarTime(TimePoint time) {
    const LocalTime local = ToLocal(time);
    LocalCalendarTime calendar{};
    calendar.fields.tm_year = local.fields.wYear - 1900;
    calendar.fields.tm_mon = local.fields.wMonth - 1;
    calendar.fields.tm_mday = local.fields.wDay;
    calendar.fields.tm_hour = local.fields.wHour;
    calendar.fields.tm_min = local.fields.wMinute;
    calendar.fields.tm_sec = local.fields.wSecond;
    calendar.fields.tm_wday = local.fields.wDayOfWeek;
    calendar.fields.tm_yday = DayOfYear(local.fields);
    calendar.fields.tm_isdst = -1;
    calendar.utcOffsetMinutes = local.utcOffsetMinutes;
    return calendar;
}

std::string ShortDate(TimePoint time) {
    const LocalTime local = ToLocal(time);
    wchar_t text[128];
    int length = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local.fields, nullptr,
                                 text, 128, nullptr);
    return length > 0 ? FromWide(std::wstring_view(text, static_cast<std::size_t>(length - 1)))
                      : std::string();
}

std::string LongTime(TimePoint time) {
    const LocalTime local = ToLocal(time);
    wchar_t text[128];
    int length = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local.fields, nullptr, text, 128);
    return length > 0 ? FromWide(std::wstring_view(text, static_cast<std::size_t>(length - 1)))
                      : std::string();
}

std::string DateTimeText(TimePoint time) {
    return ShortDate(time) + " " + LongTime(time);
}

}  // namespace platform
