// The month resolution as a pure function of the three tables' rows.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/schedule.h"
#include "real_holidays.h"
#include "runtime/error.h"

namespace {

using core::HolidayRow;
using core::ScheduleTables;

constexpr int N = 255;  // not set
const std::string kSub = "振替休日";

// Weekday w runs pattern w, as after upkeep when every weekday pattern has steps.
ScheduleTables weekdayTables() {
    ScheduleTables t;
    for (int w = 1; w <= 7; ++w) t.weekdays.push_back({w, w});
    return t;
}

HolidayRow holiday(int month, int code, std::string name, int h = 8, int m = 8) {
    return {month, code, std::move(name), h, m};
}

HolidayRow ruleRow(int r = 8) { return {0, 36, "国民の休日", r, r}; }

struct Resolved {
    core::MonthSchedule month;
    std::vector<std::string> reports;
};

Resolved resolve(const ScheduleTables& t, int year, int month) {
    Resolved r;
    r.month = core::resolveMonth(t, year, month, [&](const std::string& s) { r.reports.push_back(s); });
    return r;
}

// Day byte and name of one day.
struct Day {
    int day;
    int byte;
    std::string name;
};

void expectDays(const Resolved& r, const std::vector<Day>& want, const std::string& what) {
    for (const auto& d : want) {
        EXPECT_EQ(r.month.days(d.day), d.byte) << what << ": day " << d.day;
        EXPECT_EQ(r.month.names(d.day), d.name) << what << ": day " << d.day;
    }
}

TEST(ScheduleResolve, WeekdaysOnly) {
    const auto r = resolve(weekdayTables(), 2019, 9);  // the 1st a Sunday
    ASSERT_EQ(r.month.days.upper(), 30);
    ASSERT_EQ(r.month.names.upper(), 30);
    for (int d = 1; d <= 30; ++d) {
        EXPECT_EQ(r.month.days(d), (d - 1) % 7 + 1) << d;
        EXPECT_EQ(r.month.names(d), "") << d;
    }
    EXPECT_TRUE(r.reports.empty());

    // A weekday whose pattern has no steps runs the stop pattern 0.
    auto t = weekdayTables();
    t.weekdays[2].pattern = 0;
    const auto stopped = resolve(t, 2019, 9);
    EXPECT_EQ(stopped.month.days(3), 0);
    EXPECT_EQ(stopped.month.days(10), 0);
    EXPECT_EQ(stopped.month.days(4), 4);
    EXPECT_EQ(resolve(weekdayTables(), 2020, 2).month.days.upper(), 29);
}

// Holiday cases in one month each: the rows, the month, and the days that must come out.
struct HolidayCase {
    const char* what;
    std::vector<HolidayRow> rows;
    int year, month;
    std::vector<Day> want;
};

TEST(ScheduleResolve, HolidaysAndSubstitutes) {
    const std::vector<HolidayCase> cases = {
        {"Sunday 5 May, H = M = 8", {holiday(5, 5, "こどもの日")}, 2019, 5,
         {{4, 7, ""}, {5, 0xA8, "こどもの日"}, {6, 0xC8, kSub}, {7, 3, ""}}},
        {"Sunday 5 May, M = 255: the substitute keeps Monday's pattern", {holiday(5, 5, "こどもの日", 8, N)}, 2019, 5,
         {{5, 0xA8, "こどもの日"}, {6, 0x80 | 2, kSub}}},
        {"holidays not used: weekday patterns with the holiday bit", {holiday(5, 5, "こどもの日", N, N)}, 2019, 5,
         {{5, 0x80 | 1, "こどもの日"}, {6, 0x80 | 2, kSub}}},
        {"holiday pattern without steps: stop", {holiday(5, 5, "こどもの日", 0, 0)}, 2019, 5,
         {{5, 0xA0, "こどもの日"}, {6, 0xC0, kSub}}},
        {"3, 4, 5 May with the 3rd a Sunday: the substitute moves on to the 6th",
         {holiday(5, 3, "憲法記念日"), holiday(5, 4, "みどりの日"), holiday(5, 5, "こどもの日")}, 2020, 5,
         {{3, 0xA8, "憲法記念日"}, {4, 0xA8, "みどりの日"}, {5, 0xA8, "こどもの日"}, {6, 0xC8, kSub}, {7, 5, ""}}},
        {"the same with M = 255: the moved substitute takes its new day's pattern",
         {holiday(5, 3, "憲法記念日", 8, N), holiday(5, 4, "みどりの日", 8, N), holiday(5, 5, "こどもの日", 8, N)}, 2020, 5,
         {{4, 0xA8, "みどりの日"}, {5, 0xA8, "こどもの日"}, {6, 0x80 | 4, kSub}}},
        {"Sunday 31 March: no substitute in March", {holiday(3, 31, "年度末")}, 2019, 3,
         {{31, 0xA8, "年度末"}}},
        {"Sunday 31 March: 1 April takes the substitute", {holiday(3, 31, "年度末")}, 2019, 4,
         {{1, 0xC8, kSub}, {2, 3, ""}}},
        {"Sunday 31 March with M = 255", {holiday(3, 31, "年度末", 8, N)}, 2019, 4, {{1, 0x80 | 2, kSub}}},
        {"January looks at 31 December; the substitute moves past New Year's Day",
         {holiday(1, 1, "元日"), holiday(12, 31, "大晦日")}, 2018, 1,
         {{1, 0xA8, "元日"}, {2, 0xC8, kSub}, {3, 4, ""}}},
        {"an Nth-weekday holiday on a Sunday makes no substitute", {holiday(9, 41, "第１日曜")}, 2019, 9,
         {{1, 0xA8, "第１日曜"}, {2, 2, ""}}},
        {"Sunday equinox: the substitute on the Monday", {holiday(3, 35, "春分の日")}, 2027, 3,
         {{21, 0xA8, "春分の日"}, {22, 0xC8, kSub}}},
        {"Sunday equinox before a user's Monday holiday: it keeps its name, the substitute follows it",
         {holiday(3, 22, "記念日", 9, 9), holiday(3, 35, "春分の日")}, 2027, 3,
         {{21, 0xA8, "春分の日"}, {22, 0xA9, "記念日"}, {23, 0xC8, kSub}, {24, 4, ""}}},
        {"Sunday 30 and Monday 31 March: the substitute crosses into April",
         {holiday(3, 30, "記念日"), holiday(3, 31, "年度末", 9, 9)}, 2025, 3,
         {{30, 0xA8, "記念日"}, {31, 0xA9, "年度末"}}},
        {"... and 1 April takes it", {holiday(3, 30, "記念日"), holiday(3, 31, "年度末", 9, 9)}, 2025, 4,
         {{1, 0xC8, kSub}, {2, 4, ""}}},
        {"a substitute pushed past a holiday on the 1st", {holiday(3, 31, "年度末"), holiday(4, 1, "新年度", 9, 9)}, 2019,
         4, {{1, 0xA9, "新年度"}, {2, 0xC8, kSub}}},
        {"February 29 in a leap year", {holiday(2, 29, "閏日")}, 2020, 2, {{29, 0xA8, "閏日"}}},
    };
    for (const auto& c : cases) {
        auto t = weekdayTables();
        t.holidays = c.rows;
        const auto r = resolve(t, c.year, c.month);
        expectDays(r, c.want, c.what);
        EXPECT_TRUE(r.reports.empty()) << c.what;
    }
}

TEST(ScheduleResolve, DaysBetweenHolidays) {
    const std::vector<HolidayCase> cases = {
        {"3rd Monday on the 21st, equinox on the 23rd: the 22nd (found by +2)",
         {ruleRow(), holiday(9, 35, "秋分の日"), holiday(9, 62, "敬老の日")}, 2026, 9,
         {{21, 0xA8, "敬老の日"}, {22, 0xA8, "国民の休日"}, {23, 0xA8, "秋分の日"}}},
        {"two fixed days: the later one finds the earlier (-2)",
         {ruleRow(), holiday(11, 3, "甲"), holiday(11, 5, "乙")}, 2027, 11,
         {{3, 0xA8, "甲"}, {4, 0xA8, "国民の休日"}, {5, 0xA8, "乙"}}},
        {"rule row not in use: the day keeps its weekday pattern",
         {ruleRow(N), holiday(11, 3, "甲", N, N), holiday(11, 5, "乙", N, N)}, 2027, 11,
         {{3, 0x80 | 4, "甲"}, {4, 0x80 | 5, "国民の休日"}, {5, 0x80 | 6, "乙"}}},
        {"no rule row: no day between",
         {holiday(9, 35, "秋分の日"), holiday(9, 62, "敬老の日")}, 2026, 9, {{22, 3, ""}}},
        {"a day between that is already a substitute holiday stays one",
         {ruleRow(), holiday(11, 3, "甲"), holiday(11, 5, "乙")}, 2024, 11,  // the 3rd a Sunday
         {{4, 0xC8, kSub}}},
        {"a Sunday between two holidays stays a Sunday", {ruleRow(), holiday(6, 5, "甲"), holiday(6, 7, "乙")}, 2027, 6,
         {{5, 0xA8, "甲"}, {6, 1, ""}, {7, 0xA8, "乙"}}},
        {"a substitute holiday counts as a holiday on either side",
         {ruleRow(), holiday(5, 5, "こどもの日"), holiday(5, 8, "甲")}, 2019, 5,
         {{6, 0xC8, kSub}, {7, 0xA8, "国民の休日"}, {8, 0xA8, "甲"}}},
    };
    for (const auto& c : cases) {
        auto t = weekdayTables();
        t.holidays = c.rows;
        expectDays(resolve(t, c.year, c.month), c.want, c.what);
    }
}

TEST(ScheduleResolve, RegistrationFaultsAreReportedAndSkipped) {
    const std::string dayFault = "祝日の日登録エラー（gsbGetScheduleData）";
    const std::string equinoxFault = "春分、秋分の日月エラー（gsbGetScheduleData）";
    struct Case {
        HolidayRow row;
        int year, month;
        std::vector<std::string> reports;
    };
    const std::vector<Case> cases = {
        {holiday(2, 29, "x"), 2019, 2, {}},           // the 29th of a short February passes silently
        {holiday(2, 30, "x"), 2019, 2, {dayFault}},
        {holiday(4, 31, "x"), 2019, 4, {dayFault}},
        {holiday(5, 32, "x"), 2019, 5, {dayFault}},
        {holiday(5, 40, "x"), 2019, 5, {dayFault}},
        {holiday(5, 88, "x"), 2019, 5, {dayFault}},
        {holiday(5, 35, "x"), 2019, 5, {equinoxFault}},
        {holiday(9, 83, "x"), 2019, 9, {}},           // no 5th Tuesday: nothing to mark
    };
    for (const auto& c : cases) {
        auto t = weekdayTables();
        t.holidays = {c.row};
        const auto r = resolve(t, c.year, c.month);
        EXPECT_EQ(r.reports, c.reports) << c.row.month << "/" << c.row.day;
        for (int d = 1; d <= r.month.days.upper(); ++d) {
            EXPECT_LT(r.month.days(d), 0x80) << c.row.day << " day " << d;
            EXPECT_EQ(r.month.names(d), "") << c.row.day << " day " << d;
        }
    }
}

TEST(ScheduleResolve, SpecialDays) {
    auto t = weekdayTables();
    t.holidays = {holiday(5, 3, "憲法記念日"), holiday(5, 5, "こどもの日")};
    t.specialDays = {
        {2018, 5, 3, 10, "去年"},
        {2019, 4, 30, 11, "前月"},
        {2019, 5, 3, 9, "特別営業"},  // on a holiday
        {2019, 5, 6, 0, "臨時休業"},  // on a substitute holiday, stop pattern
        {2019, 5, 10, 12, "棚卸"},    // on a weekday
        {2019, 6, 1, 13, "翌月"},
    };
    const auto r = resolve(t, 2019, 5);
    expectDays(r, {{3, 0xE9, "特別営業"}, {5, 0xA8, "こどもの日"}, {6, 0xE0, "臨時休業"}, {10, 0x6C, "棚卸"},
                   {1, 4, ""}, {31, 6, ""}},
               "special days");
}

TEST(ScheduleResolve, SpecialDayOutsideItsMonthIsErrorNine) {
    for (const int day : {0, 29, 32, -1}) {
        auto t = weekdayTables();
        t.specialDays = {{2019, 2, 1, 9, "ok"}, {2019, 2, day, 9, "bad"}};
        try {
            core::resolveMonth(t, 2019, 2);
            FAIL() << "day " << day << " accepted";
        } catch (const runtime::Error& e) {
            EXPECT_EQ(e.number(), 9) << day;
        }
    }
}

TEST(ScheduleResolve, MonthOrYearOutsideTheCalendarIsErrorFive) {
    for (const auto& [year, month] : std::vector<std::pair<int, int>>{{2019, 0}, {2019, 13}, {1899, 12}, {2100, 1}}) {
        try {
            core::resolveMonth(weekdayTables(), year, month);
            FAIL() << year << "/" << month;
        } catch (const runtime::Error& e) {
            EXPECT_EQ(e.number(), 5);
        }
    }
}

// The holiday rules as a document holds them, resolved against the published calendar.
TEST(ScheduleResolve, NationalHolidayRulesGiveThePublishedHolidays) {
    auto t = weekdayTables();
    t.holidays = {
        ruleRow(),
        holiday(1, 1, "元日"), holiday(1, 52, "成人の日"), holiday(2, 11, "建国記念の日"), holiday(2, 23, "天皇誕生日"),
        holiday(3, 35, "春分の日"), holiday(4, 29, "昭和の日"), holiday(5, 3, "憲法記念日"), holiday(5, 4, "みどりの日"),
        holiday(5, 5, "こどもの日"), holiday(7, 62, "海の日"), holiday(8, 11, "山の日"), holiday(9, 35, "秋分の日"),
        holiday(9, 62, "敬老の日"), holiday(10, 52, "スポーツの日"), holiday(11, 3, "文化の日"),
        holiday(11, 23, "勤労感謝の日"),
    };
    for (const auto& year : realholidays::kYears) {
        std::map<std::pair<int, int>, char> want;
        for (const auto& h : realholidays::parse(year.days)) want[{h.month, h.day}] = h.kind;
        for (int month = 1; month <= 12; ++month) {
            const auto r = core::resolveMonth(t, year.year, month);
            for (int d = 1; d <= r.days.upper(); ++d) {
                const auto it = want.find({month, d});
                const bool isHoliday = it != want.end();
                EXPECT_EQ((r.days(d) & 0x80) != 0, isHoliday) << year.year << "/" << month << "/" << d;
                if (!isHoliday) continue;
                const std::string name = it->second == 'S' ? kSub : it->second == 'B' ? "国民の休日" : r.names(d);
                EXPECT_EQ(r.names(d), name) << year.year << "/" << month << "/" << d;
            }
        }
    }
}

}  // namespace
