#include "core/calendar.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/errors.h"
#include "runtime/error.h"

namespace {

bool inCalendarRange(int year) { return year >= 1900 && year <= 2099; }

// The program's Integer arithmetic: a result outside 16 bits is the overflow error.
int checked16(long value) {
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        runtime::raise(6);
    return static_cast<int>(value);
}

}  // namespace

namespace core {

int weekdayOf(int year, int month, int day) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / static_cast<unsigned>(month) / static_cast<unsigned>(day)};
    return static_cast<int>(weekday{date}.c_encoding()) + 1;
}

std::optional<int> springDay(int year) {
    if (!inCalendarRange(year)) return std::nullopt;
    return static_cast<int>(std::floor(year * 0.24242 - (year / 4) + 35.84));
}

std::optional<int> autumnDay(int year) {
    if (!inCalendarRange(year)) return std::nullopt;
    return static_cast<int>(std::floor(year * 0.24204 - (year / 4) + 39.01));
}

}  // namespace core

bool gfnfLeapYear(int year) {
    if (!inCalendarRange(year)) return false;
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int gfniGetMonthDays(int month, int year) {
    if (!inCalendarRange(year) && year != 0) return 31;
    switch (month) {
    case 4: case 6: case 9: case 11: return 30;
    case 2: return (year == 0 || gfnfLeapYear(year)) ? 29 : 28;
    default: return 31;  // the long months, and a month outside 1..12
    }
}

int gfniGetNthWeekDay(int year, int month, int n, int weekday) {
    if (!inCalendarRange(year) || month < 1 || month > 12 || n < 1 || n > 5 || weekday < 1 || weekday > 7)
        return 0;
    const int w1 = core::weekdayOf(year, month, 1);
    const int d = weekday >= w1 ? weekday + 1 - w1 + (n - 1) * 7 : weekday + 1 - w1 + n * 7;
    return d > gfniGetMonthDays(month, year) ? 0 : d;
}

int gfniGetWeekNo(int day, int year, int month) {
    bool valid;
    if (year == 0 && month == 0)
        valid = day >= 1 && day <= 31;
    else if (year == 0)
        valid = false;
    else
        valid = inCalendarRange(year) && month >= 1 && month <= 12 && day >= 1 && day <= gfniGetMonthDays(month, year);
    return valid ? (day - 1) / 7 + 1 : 0;
}

int gfniGetSpringDay(int year) {
    if (const auto day = core::springDay(year)) return *day;
    gsbErrorMsg("春分の日エラー", false);
    return 0;
}

int gfniGetAutumnDay(int year) {
    if (const auto day = core::autumnDay(year)) return *day;
    gsbErrorMsg("秋分の日エラー", false);
    return 0;
}

int gfniGetDayRow(int day, int offset, int weekday) {
    const int sum = checked16(checked16(static_cast<long>(day) + offset) - static_cast<long>(weekday));
    return checked16(static_cast<long>(sum / 7) * 2 + 2);
}
