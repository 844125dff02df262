// The month resolution: weekday patterns, holidays with their substitute holidays and the
// days between two holidays, then special days. Every step reads the marks the earlier
// steps made, so their order matters and follows the program's.
#include <algorithm>
#include <cstdlib>
#include <optional>

#include "core/calendar.h"
#include "core/schedule.h"
#include "runtime/error.h"

namespace core {
namespace {

constexpr int kNotSet = 255;
constexpr std::uint8_t kPatternMask = 0x1F;
constexpr std::uint8_t kPublicHoliday = 0x80;
constexpr std::uint8_t kSubstituteBit = 0x40;
constexpr std::uint8_t kHoliday = 0xA0;
constexpr std::uint8_t kSubstitute = 0xC0;
constexpr std::uint8_t kSpecial = 0x60;
constexpr int kEquinoxCode = 35;
constexpr int kRuleCode = 36;

const char* const kDayCodeFault = "祝日の日登録エラー（gsbGetScheduleData）";
const char* const kEquinoxMonthFault = "春分、秋分の日月エラー（gsbGetScheduleData）";
constexpr int kFirstYear = 1900;
// The look at the previous month reports nothing: that month reports its own faults.
const ScheduleReport kSilent;

class MonthResolver {
public:
    MonthResolver(const ScheduleTables& tables, int year, int month, const ScheduleReport& report)
        : tables_(tables), year_(year), month_(month), report_(report), n_(gfniGetMonthDays(month, year)) {
        out_.days.redim(n_);
        out_.names.redim(n_);
    }

    MonthSchedule run() {
        applyWeekdays();
        carrySubstituteFromPreviousMonth();
        findRule();
        applyHolidays();
        applySpecialDays();
        return std::move(out_);
    }

    // The substitute holiday this month's holidays push past its end, if any: the pattern
    // it takes (kNotSet for the weekday pattern of the day it lands on).
    std::optional<int> overflow() {
        applyWeekdays();
        findRule();
        applyHolidays();
        return overflow_;
    }

private:
    std::uint8_t& day(int d) { return out_.days(d); }
    std::string& name(int d) { return out_.names(d); }
    bool inMonth(int d) const { return d >= 1 && d <= n_; }
    bool marked(int d) { return (day(d) & kPublicHoliday) != 0; }
    int weekday(int d) const { return weekdayOf(year_, month_, d); }
    void fault(const std::string& text) const {
        if (report_) report_(text);
    }

    // A pattern of its own, or the day's weekday pattern with the public-holiday bit.
    void mark(int d, int pattern, std::uint8_t source) {
        day(d) = pattern != kNotSet ? static_cast<std::uint8_t>((pattern & kPatternMask) | source)
                                    : static_cast<std::uint8_t>((day(d) & kPatternMask) | kPublicHoliday);
    }

    void applyWeekdays() {
        for (const auto& row : tables_.weekdays) {
            for (int i = 1; i <= 5; ++i) {
                const int d = gfniGetNthWeekDay(year_, month_, i, row.week);
                if (d >= 1 && d <= 31) day(d) = static_cast<std::uint8_t>(row.pattern & kPatternMask);
            }
        }
    }

    // A substitute holiday the previous month could not hold (its Sunday holiday, or a run
    // of holidays, ended the month) lands on the 1st; this month's holidays push it on.
    void carrySubstituteFromPreviousMonth() {
        if (year_ == kFirstYear && month_ == 1) return;
        const int prevYear = month_ == 1 ? year_ - 1 : year_;
        const int prevMonth = month_ == 1 ? 12 : month_ - 1;
        const std::optional<int> carried = MonthResolver(tables_, prevYear, prevMonth, kSilent).overflow();
        if (!carried) return;
        name(1) = kSubstituteHolidayName;
        mark(1, *carried, kSubstitute);
    }

    void findRule() {
        const auto row = std::find_if(tables_.holidays.begin(), tables_.holidays.end(),
                                      [](const HolidayRow& r) { return r.month == 0 && r.day == kRuleCode; });
        if (row != tables_.holidays.end()) {
            rule_ = row->syukujitu;
            ruleName_ = row->name;
        }
    }

    // The day a holiday row falls on this month; 0 for none. Sets nth for an Nth-weekday rule.
    int resolveDay(int code, bool& nth) {
        nth = false;
        if (code >= 1 && code <= 31) return code;
        if (code == kEquinoxCode) {
            const auto equinox = month_ == 3 ? springDay(year_) : month_ == 9 ? autumnDay(year_) : std::nullopt;
            if (month_ != 3 && month_ != 9) fault(kEquinoxMonthFault);
            return equinox.value_or(0);
        }
        if (code >= 41 && code <= 87) {
            nth = true;
            return gfniGetNthWeekDay(year_, month_, code / 10 - 3, code % 10);
        }
        fault(kDayCodeFault);
        return 0;
    }

    // A substitute holiday goes to the first day from `from` on that is not a holiday, or
    // past the month's end into the next month.
    void placeSubstitute(int from, int pattern) {
        for (int k = from; inMonth(k); ++k) {
            if (marked(k)) continue;
            name(k) = kSubstituteHolidayName;
            mark(k, pattern, kSubstitute);
            return;
        }
        overflow_ = pattern;
    }

    // A substitute already on this holiday moves on to the next day that is not a holiday.
    void pushSubstitute(int d) {
        if (name(d) != kSubstituteHolidayName) return;
        placeSubstitute(d + 1, (day(d) & kSubstituteBit) ? day(d) & kPatternMask : kNotSet);
    }

    // A day between two holidays, neither a holiday nor a Sunday, becomes a holiday of the rule row.
    void markDayBetween(int d) {
        if (rule_ < 0) return;
        for (const int k : {2, -2}) {
            if (!inMonth(d + k) || !marked(d + k)) continue;
            const int m = d + k / std::abs(k);
            if (marked(m) || weekday(m) == 1) continue;
            name(m) = ruleName_;
            mark(m, rule_, kHoliday);
        }
    }

    void applyHoliday(const HolidayRow& row) {
        bool nth = false;
        const int d = resolveDay(row.day, nth);
        if (!inMonth(d)) {
            if (d != 0 && d != 29) fault(kDayCodeFault);
            return;
        }
        const int wd = weekday(d);
        pushSubstitute(d);
        name(d) = row.name;
        mark(d, row.syukujitu, kHoliday);
        if (wd == 1 && !nth) placeSubstitute(d + 1, row.monday);
        markDayBetween(d);
    }

    void applyHolidays() {
        const auto& rows = tables_.holidays;
        auto row = std::find_if(rows.begin(), rows.end(), [&](const HolidayRow& r) { return r.month == month_; });
        for (; row != rows.end() && row->month == month_; ++row) applyHoliday(*row);
    }

    void applySpecialDays() {
        const auto& rows = tables_.specialDays;
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const SpecialDayRow& r) { return r.month == month_ && r.year == year_; });
        for (; row != rows.end() && row->year == year_ && row->month == month_; ++row) {
            const int d = row->day;
            name(d) = row->comment;  // error 9 when the row's day is not in the month
            day(d) = static_cast<std::uint8_t>((day(d) & kPublicHoliday) | kSpecial | (row->pattern & kPatternMask));
        }
    }

    const ScheduleTables& tables_;
    const int year_;
    const int month_;
    const ScheduleReport& report_;
    const int n_;
    int rule_ = -1;
    std::string ruleName_;
    std::optional<int> overflow_;
    MonthSchedule out_;
};

}  // namespace

MonthSchedule resolveMonth(const ScheduleTables& tables, int year, int month, const ScheduleReport& report) {
    if (month < 1 || month > 12 || year < 1900 || year > 2099) runtime::raise(5);
    return MonthResolver(tables, year, month, report).run();
}

}  // namespace core
