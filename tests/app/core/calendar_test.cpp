// Calendar arithmetic: month lengths, leap years, Nth weekdays, weeks, equinoxes, grid rows.
#include <gtest/gtest.h>

#include "core/calendar.h"
#include "core_fixture.h"
#include "runtime/error.h"

namespace {

TEST(Calendar, MonthDaysAndLeapYears) {
    struct Case { int month, year, days; };
    const Case cases[] = {
        {1, 2019, 31}, {2, 2019, 28}, {2, 2020, 29}, {2, 2000, 29}, {2, 1900, 28}, {4, 2019, 30},
        {9, 2019, 30}, {11, 2019, 30}, {12, 2019, 31},
        {2, 2100, 31}, {2, 1899, 31}, {4, 2100, 31},  // outside the calendar: 31
        {2, 0, 29}, {4, 0, 30},                        // year 0: no particular year
        {13, 2019, 31}, {0, 2019, 31},                 // no such month: 31
    };
    for (const auto& c : cases) EXPECT_EQ(gfniGetMonthDays(c.month, c.year), c.days) << c.month << "/" << c.year;

    struct Leap { int year; bool leap; };
    const Leap leaps[] = {{2000, true}, {1900, false}, {2100, false}, {2024, true}, {2019, false}, {2096, true}, {0, false}};
    for (const auto& l : leaps) EXPECT_EQ(gfnfLeapYear(l.year), l.leap) << l.year;
}

TEST(Calendar, NthWeekDay) {
    struct Case { int year, month, n, weekday, day; };
    const Case cases[] = {
        {2019, 9, 1, 1, 1},    // September 2019 begins on a Sunday
        {2019, 9, 3, 2, 16},   // 3rd Monday
        {2019, 9, 5, 2, 30},   // 5th Monday
        {2019, 9, 5, 3, 0},    // no 5th Tuesday
        {2019, 9, 1, 7, 7},    // 1st Saturday
        {2019, 10, 2, 2, 14},  // 1 October 2019 is a Tuesday
        {2019, 10, 1, 1, 6},   // weekday before that of the 1st
        {2020, 2, 5, 7, 29},   // leap day
        {2019, 2, 5, 6, 0},
        {1899, 1, 1, 1, 0}, {2100, 1, 1, 1, 0}, {2019, 0, 1, 1, 0}, {2019, 13, 1, 1, 0},
        {2019, 9, 0, 1, 0}, {2019, 9, 6, 1, 0}, {2019, 9, 1, 0, 0}, {2019, 9, 1, 8, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gfniGetNthWeekDay(c.year, c.month, c.n, c.weekday), c.day)
            << c.year << "/" << c.month << " n=" << c.n << " w=" << c.weekday;
}

TEST(Calendar, WeekNo) {
    struct Case { int day, year, month, week; };
    const Case cases[] = {
        {1, 2019, 2, 1}, {7, 2019, 2, 1}, {8, 2019, 2, 2}, {28, 2019, 2, 4}, {29, 2019, 2, 0},
        {29, 2020, 2, 5}, {31, 2019, 3, 5},
        {31, 0, 0, 5}, {0, 0, 0, 0}, {32, 0, 0, 0},  // no year and no month: only the day is checked
        {1, 0, 3, 0},                                // no year with a month
        {1, 1899, 1, 0}, {1, 2019, 13, 0}, {0, 2019, 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gfniGetWeekNo(c.day, c.year, c.month), c.week) << c.day << " " << c.year << "/" << c.month;
}

TEST(Calendar, EquinoxDays) {
    struct Case { int year, spring, autumn; };
    const Case cases[] = {
        {2000, 20, 23}, {2012, 20, 22}, {2019, 21, 23}, {2092, 19, 22},
        {1900, 21, 23}, {2099, 20, 23}, {2027, 21, 23}, {2028, 20, 22}, {2032, 20, 22},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gfniGetSpringDay(c.year), c.spring) << c.year;
        EXPECT_EQ(gfniGetAutumnDay(c.year), c.autumn) << c.year;
    }
    // Over the whole calendar the days stay in their known windows.
    for (int y = 1900; y <= 2099; ++y) {
        EXPECT_GE(gfniGetSpringDay(y), 19);
        EXPECT_LE(gfniGetSpringDay(y), 22);
        EXPECT_GE(gfniGetAutumnDay(y), 22);
        EXPECT_LE(gfniGetAutumnDay(y), 24);
    }
}

// Outside the calendar the equinoxes answer 0 with a non-fatal report, seen only in log mode.
class EquinoxOutsideTheCalendar : public coretest::ProgramFolder {};

TEST_F(EquinoxOutsideTheCalendar, AnswersZeroAndReports) {
    EXPECT_EQ(gfniGetSpringDay(2100), 0);
    EXPECT_EQ(gfniGetAutumnDay(1899), 0);
    EXPECT_TRUE(dialogs_.shown().empty());

    gintLogMode = vbTrue;
    dialogs_.expect("エラー！\r\n春分の日エラー").expect("エラー！\r\n秋分の日エラー");
    EXPECT_EQ(gfniGetSpringDay(2100), 0);
    EXPECT_EQ(gfniGetAutumnDay(2100), 0);
    EXPECT_EQ(dialogs_.pending(), 0u);
    const auto log = coretest::fromCp932(coretest::readFile(dir_ / "Soft.log"));
    EXPECT_NE(log.find("春分の日エラー"), std::string::npos);
}

TEST(Calendar, DayRow) {
    struct Case { int day, offset, weekday, row; };
    const Case cases[] = {
        {1, 1, 1, 2}, {7, 1, 7, 2}, {8, 1, 1, 4}, {30, 1, 2, 10},  // September 2019, the 1st a Sunday
        {1, 3, 3, 2}, {5, 3, 7, 2}, {6, 3, 1, 4},                 // a month beginning on a Tuesday
        {1, 1, 7, 2},                                             // truncation toward zero: -5 \ 7 = 0
        {1, 1, 9, 0}, {1, -20, 1, -2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gfniGetDayRow(c.day, c.offset, c.weekday), c.row) << c.day << " " << c.offset << " " << c.weekday;

    try {
        gfniGetDayRow(32767, 1, 1);
        FAIL() << "no overflow";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

}  // namespace
