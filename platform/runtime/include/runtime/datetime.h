#pragma once
// Dates as the language run time has them: DateSerial with its normalisation and its
// two-digit-year window, weekdays (1 = Sunday), date serial numbers (day 0 = 1899-12-30,
// so 1 is a Sunday), date texts, and the clock that "today" and "now" come from.
#include <functional>
#include <optional>
#include <string_view>

namespace runtime {

struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    // The same day at midnight.
    DateTime date() const { return {year, month, day, 0, 0, 0}; }
    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

// DateSerial: years 0..29 mean 2000..2029 and 30..99 mean 1930..1999; a month or day out
// of range rolls over (DateSerial(2005, 13, 1) = 2006-01-01, DateSerial(2005, 3, 0) =
// 2005-02-28). A result outside the years 100..9999 raises error 5.
DateTime dateSerial(int year, int month, int day);

// Days in the month of a proleptic Gregorian year.
int daysInMonth(int year, int month);

// 1 = Sunday .. 7 = Saturday.
int weekday(const DateTime& d);

// Date serial numbers: whole days since 1899-12-30, the time as the fraction. A serial
// outside the years 100..9999 raises error 6 (Overflow).
double toSerial(const DateTime& d);
DateTime fromSerial(double serial);

// A date text as CDate reads it: "y/m/d", "y-m-d" or "y年m月d日", optionally followed by
// " h:m[:s]", or a time alone. Two-digit years take the window of dateSerial. Impossible
// dates ("2005/2/30") are not dates.
std::optional<DateTime> parseDate(std::string_view text);
bool isDate(std::string_view text);

// The clock. now() and today() read the system's local time unless a test set a clock.
DateTime now();
DateTime today();
void setClock(std::function<DateTime()> clock);  // an empty function restores the system clock

// Holds the clock at a fixed moment for its lifetime (tests), then restores the previous one.
class FixedClock {
public:
    explicit FixedClock(DateTime moment);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
    void set(DateTime moment) { moment_ = moment; }

private:
    DateTime moment_;
    std::function<DateTime()> previous_;
};

}  // namespace runtime
