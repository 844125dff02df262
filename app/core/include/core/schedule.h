#pragma once
// The schedule of a month: every day resolved to its day byte (bits 0-4 the pattern, bits 5-6
// the source: 0 weekday, 1 holiday, 2 substitute holiday, 3 special day; bit 7 public
// holiday) and its name. The resolution itself is a pure function of the rows of tblBase,
// tblSyukujitu and tblYear; gsbOpenScheduleTables loads those rows from gdbWork once, and
// gsbGetScheduleData resolves months against them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/error.h"

namespace dao {
class Database;
}

namespace core {

// Per-day values of one month, indexed by day of month 1..n as the program's arrays are.
// Any other index raises run-time error 9.
template <class T>
class DayArray {
public:
    // Discards the old contents: days 1..n, every value fresh (0 or empty).
    void redim(int n) { values_.assign(n > 0 ? static_cast<std::size_t>(n) : 0, T{}); }
    int upper() const { return static_cast<int>(values_.size()); }
    T& operator()(int day) { return values_[index(day)]; }
    const T& operator()(int day) const { return values_[index(day)]; }
    // Day 1 at position 0.
    const std::vector<T>& values() const { return values_; }

private:
    std::size_t index(int day) const {
        if (day < 1 || day > upper()) runtime::raise(9);
        return static_cast<std::size_t>(day - 1);
    }
    std::vector<T> values_;
};

using DayBytes = DayArray<std::uint8_t>;
using DayNames = DayArray<std::string>;

// One row of tblBase.
struct WeekdayRow {
    int week = 0;     // fldWeek, 1 = Sunday
    int pattern = 0;  // fldPattern
};

// One row of tblSyukujitu.
struct HolidayRow {
    int month = 0;         // fldMonth
    int day = 0;           // fldDay, the holiday day code
    std::string name;      // fldName
    int syukujitu = 0;     // fldSyukujitu: pattern on the holiday, 255 = keeps its weekday pattern
    int monday = 0;        // fldMonday: pattern of its substitute holiday, 255 = none of its own
};

// One row of tblYear.
struct SpecialDayRow {
    int year = 0, month = 0, day = 0;  // fldYear, fldMonth, fldDay
    int pattern = 0;                   // fldPattern
    std::string comment;               // fldComment
};

// The rows a month is resolved from, each list in its table's order: weekdays by fldWeek,
// holidays by (fldMonth, fldDay), special days by (fldYear, fldMonth, fldDay).
struct ScheduleTables {
    std::vector<WeekdayRow> weekdays;
    std::vector<HolidayRow> holidays;
    std::vector<SpecialDayRow> specialDays;
};

struct MonthSchedule {
    DayBytes days;
    DayNames names;
};

// Receives the non-fatal registration faults found while resolving (texts as reported).
using ScheduleReport = std::function<void(const std::string&)>;

// The name that marks a substitute holiday.
inline constexpr const char* kSubstituteHolidayName = "振替休日";

// Resolves one month. Raises run-time error 5 for a month outside 1..12 or a year outside
// 1900..2099, and run-time error 9 for a special day that does not lie in its month.
MonthSchedule resolveMonth(const ScheduleTables& tables, int year, int month, const ScheduleReport& report = {});

// The rows of the three tables as the schedule reads them: tblYear only for currentYear to
// currentYear + 9.
ScheduleTables loadScheduleTables(dao::Database& db, int currentYear);

}  // namespace core

// True loads the rows of tblBase, tblSyukujitu and tblYear (this year to this year + 9) from
// gdbWork, replacing any loaded before; False releases them.
void gsbOpenScheduleTables(bool fOpen);

// Fills days and names (1 .. the days of the month) for the month. Registration faults of
// holiday rows are reported as non-fatal internal errors and the row is skipped. Without
// the tables open it raises run-time error 91; a special day outside its month, error 9.
void gsbGetScheduleData(int year, int month, core::DayBytes& days, core::DayNames& names);
