#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/format.h"

using namespace runtime;

TEST(DateSerial, NormalisesAndWindowsTwoDigitYears) {
    struct Case { int y, m, d; DateTime expected; };
    const Case cases[] = {
        {2005, 3, 1, {2005, 3, 1}},     {2005, 13, 1, {2006, 1, 1}},   {2005, 0, 1, {2004, 12, 1}},
        {2005, 3, 0, {2005, 2, 28}},    {2004, 3, 0, {2004, 2, 29}},   {2005, 2, 30, {2005, 3, 2}},
        {2005, -1, 1, {2004, 11, 1}},   {2005, 1, -1, {2004, 12, 30}}, {2005, 12, 32, {2006, 1, 1}},
        {5, 1, 1, {2005, 1, 1}},        {29, 12, 31, {2029, 12, 31}},  {30, 1, 1, {1930, 1, 1}},
        {99, 13, 1, {2000, 1, 1}},      {0, 1, 1, {2000, 1, 1}},       {1900, 2, 29, {1900, 3, 1}},
    };
    for (const auto& c : cases) {
        DateTime d = dateSerial(c.y, c.m, c.d);
        EXPECT_EQ(d, c.expected) << c.y << "/" << c.m << "/" << c.d;
    }
    EXPECT_THROW(dateSerial(10000, 1, 1), Error);
    EXPECT_THROW(dateSerial(-5, 1, 1), Error);
}

TEST(DateSerial, ExtremeArgumentsRaiseInvalidCall) {
    const int extremes[][3] = {
        {2005, INT_MIN, 1}, {2005, INT_MAX, 1}, {2005, 1, INT_MIN}, {2005, 1, INT_MAX}, {INT_MIN, 1, 1}, {INT_MAX, 1, 1},
    };
    for (const auto& e : extremes) {
        try {
            dateSerial(e[0], e[1], e[2]);
            ADD_FAILURE() << e[0] << "/" << e[1] << "/" << e[2];
        } catch (const Error& raised) {
            EXPECT_EQ(raised.number(), err::InvalidCall);
        }
    }
}

TEST(DateSerial, SerialsOutsideTheDateRangeOverflow) {
    EXPECT_EQ(fromSerial(-657434.5), (DateTime{100, 1, 1, 12, 0, 0}));
    EXPECT_EQ(fromSerial(2958465.5), (DateTime{9999, 12, 31, 12, 0, 0}));
    for (double serial : {-657435.0, 2958466.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()}) {
        try {
            fromSerial(serial);
            ADD_FAILURE() << serial;
        } catch (const Error& raised) {
            EXPECT_EQ(raised.number(), err::Overflow) << serial;
        }
    }
    EXPECT_THROW(format(1e20, "yyyy/mm/dd"), Error);
}

TEST(DateSerial, WeekdaysAndSerials) {
    EXPECT_EQ(weekday({2005, 3, 1}), 3);  // a Tuesday
    EXPECT_EQ(weekday({2019, 9, 13}), 6);
    EXPECT_EQ(weekday({1899, 12, 31}), 1);
    EXPECT_DOUBLE_EQ(toSerial({1899, 12, 30}), 0);
    EXPECT_DOUBLE_EQ(toSerial({2000, 1, 1}), 36526);
    EXPECT_EQ(fromSerial(36526.5), (DateTime{2000, 1, 1, 12, 0, 0}));
    EXPECT_EQ(daysInMonth(2000, 2), 29);
    EXPECT_EQ(daysInMonth(2100, 2), 28);
}

TEST(DateText, ParsesOnlyRealDates) {
    EXPECT_EQ(parseDate("2005/3/1"), (DateTime{2005, 3, 1}));
    EXPECT_EQ(parseDate("2005-03-01 9:05:01"), (DateTime{2005, 3, 1, 9, 5, 1}));
    EXPECT_EQ(parseDate("2005年3月1日"), (DateTime{2005, 3, 1}));
    EXPECT_EQ(parseDate("05/3/1"), (DateTime{2005, 3, 1}));
    EXPECT_EQ(parseDate("10:30"), (DateTime{1899, 12, 30, 10, 30, 0}));
    for (const char* bad : {"", "2005/2/30", "2005/13/1", "2005/3/", "2005/3/0", "abc", "2005/3/1 25:00", "3/1"})
        EXPECT_FALSE(isDate(bad)) << bad;
}

TEST(Clock, TestsCanFixNow) {
    {
        FixedClock clock({2019, 9, 13, 9, 5, 1});
        EXPECT_EQ(now(), (DateTime{2019, 9, 13, 9, 5, 1}));
        EXPECT_EQ(today(), (DateTime{2019, 9, 13}));
        EXPECT_EQ(format(now(), "yyyy/mm/dd hh:mm:ss "), "2019/09/13 09:05:01 ");
        clock.set({2020, 1, 2});
        EXPECT_EQ(format(today(), "yyyy"), "2020");
    }
    EXPECT_GT(now().year, 2000);
}
