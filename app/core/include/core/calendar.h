#pragma once
// Calendar arithmetic of the device's ten-year calendar: month lengths, leap years, the Nth
// weekday of a month, the week of a day, the two equinox days the holidays follow, and the
// row of a day in the calendar window's month grid. Gregorian, years 1900..2099; outside
// that range the routines answer their documented fallback instead of failing.
// Weekdays are 1 = Sunday .. 7 = Saturday throughout.
#include <optional>

// True for a leap year in 1900..2099; False outside that range.
bool gfnfLeapYear(int year);

// Days of the month. Year 0 stands for "no particular year" (February has 29 days);
// any other year outside 1900..2099, or a month outside 1..12, gives 31.
int gfniGetMonthDays(int month, int year);

// Day of the month of the nth (1..5) weekday; 0 when there is none or an argument is out of range.
int gfniGetNthWeekDay(int year, int month, int n, int weekday);

// Week of the month of a day, (day - 1) \ 7 + 1; 0 when the arguments are not a valid day.
// Year 0 with month 0 checks only that the day is 1..31.
int gfniGetWeekNo(int day, int year, int month);

// The vernal (March) and autumnal (September) equinox days. Outside 1900..2099 they log the
// non-fatal internal errors "春分の日エラー" / "秋分の日エラー" and answer 0.
int gfniGetSpringDay(int year);
int gfniGetAutumnDay(int year);

// Grid row of a day: ((day + offset - weekday) \ 7) * 2 + 2, in 16-bit arithmetic
// (run-time error 6 when a value leaves that range).
int gfniGetDayRow(int day, int offset, int weekday);

namespace core {

// The weekday (1 = Sunday) of a proleptic Gregorian date; the date must exist.
int weekdayOf(int year, int month, int day);

// The equinox days without the report: empty outside 1900..2099.
std::optional<int> springDay(int year);
std::optional<int> autumnDay(int year);

}  // namespace core
