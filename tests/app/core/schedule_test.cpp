// The schedule of a document: tables loaded once from gdbWork, months resolved against them.
#include <gtest/gtest.h>

#include <map>

#include "core/calendar.h"
#include "core/schedule.h"
#include "core/upkeep.h"
#include "document_fixture.h"
#include "real_holidays.h"
#include "runtime/error.h"

namespace {

using coretest::NewDocument;

class Schedule : public NewDocument {
protected:
    static void addSpecialDay(int y, int m, int d, int pattern, const char* comment) {
        gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, ?2, ?3, ?4, ?5)",
                        {y, m, d, pattern, comment});
    }
    core::DayBytes days_;
    core::DayNames names_;
};

// The master holiday list, as a new document has it, gives Japan's public holidays.
TEST_F(Schedule, ANewDocumentResolvesThePublishedHolidays) {
    // Every weekday and holiday pattern with steps, holidays and substitutes in use.
    for (int p = 1; p <= 8; ++p) addSteps(p, {{8, 0, 1}});
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8 WHERE fldDay = 0");
    gsbSetPatternUse();
    gsbSetPatternError();
    gsbOpenScheduleTables(true);
    for (const auto& year : realholidays::kYears) {
        std::map<std::pair<int, int>, char> want;
        for (const auto& h : realholidays::parse(year.days)) want[{h.month, h.day}] = h.kind;
        for (int month = 1; month <= 12; ++month) {
            gsbGetScheduleData(year.year, month, days_, names_);
            for (int d = 1; d <= days_.upper(); ++d) {
                const auto it = want.find({month, d});
                const int byte = days_(d);
                const int weekday = core::weekdayOf(year.year, month, d);
                const std::string where = std::to_string(year.year) + "/" + std::to_string(month) + "/" + std::to_string(d);
                if (it == want.end()) {
                    EXPECT_EQ(byte, weekday) << where;
                    EXPECT_EQ(names_(d), "") << where;
                } else if (it->second == 'S') {
                    EXPECT_EQ(byte, 0xC8) << where;
                    EXPECT_EQ(names_(d), "振替休日") << where;
                } else {
                    EXPECT_EQ(byte, 0xA8) << where;
                    EXPECT_NE(names_(d), "") << where;
                    if (it->second == 'B') {
                        EXPECT_EQ(names_(d), "国民の休日") << where;
                    }
                }
            }
        }
    }
    // A few names, as the master list gives them.
    gsbGetScheduleData(2032, 9, days_, names_);
    EXPECT_EQ(names_(20), "敬老の日");
    EXPECT_EQ(names_(22), "秋分の日");
    gsbGetScheduleData(2034, 1, days_, names_);
    EXPECT_EQ(names_(1), "元日");
    EXPECT_EQ(names_(9), "成人の日");
}

TEST_F(Schedule, ANewDocumentAsShippedMarksHolidaysOnTheirWeekdayPatterns) {
    addSteps(1, {{8, 0, 1}});
    addSteps(2, {{8, 0, 1}});
    gsbSetPatternUse();
    gsbSetPatternError();
    gsbOpenScheduleTables(true);
    gsbGetScheduleData(2034, 1, days_, names_);  // New Year's Day on a Sunday
    EXPECT_EQ(days_(1), 0x81);
    EXPECT_EQ(names_(1), "元日");
    EXPECT_EQ(days_(2), 0x82);
    EXPECT_EQ(names_(2), "振替休日");
    EXPECT_EQ(days_(3), 0);  // Tuesday's pattern has no steps: stop
}

TEST_F(Schedule, SpecialDaysOfThisYearToNineYearsOn) {
    addSpecialDay(2026, 6, 1, 9, "昨年");
    addSpecialDay(2027, 6, 2, 10, "今年");
    addSpecialDay(2036, 6, 3, 11, "九年後");
    addSpecialDay(2037, 6, 4, 12, "十年後");
    addSpecialDay(2027, 5, 3, 13, "祝日の特定日");
    gsbOpenScheduleTables(true);  // weekdays stop, holidays keep their weekday patterns
    struct Case { int year, month, day, byte; const char* name; };
    const Case cases[] = {
        {2026, 6, 1, 0, ""}, {2027, 6, 2, 0x6A, "今年"}, {2036, 6, 3, 0x6B, "九年後"}, {2037, 6, 4, 0, ""},
        {2027, 5, 3, 0xED, "祝日の特定日"},
    };
    for (const auto& c : cases) {
        gsbGetScheduleData(c.year, c.month, days_, names_);
        EXPECT_EQ(days_(c.day), c.byte) << c.year;  // the weekday patterns have no steps: 0
        EXPECT_EQ(names_(c.day), c.name) << c.year;
    }
}

TEST_F(Schedule, NotOpenIsErrorNinetyOne) {
    try {
        gsbGetScheduleData(2027, 1, days_, names_);
        FAIL();
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 91);
    }
    gsbOpenScheduleTables(true);
    gsbOpenScheduleTables(false);
    EXPECT_THROW(gsbGetScheduleData(2027, 1, days_, names_), runtime::Error);
}

// One bad special day is the clean error 9; the caller's arrays are left as they were.
TEST_F(Schedule, ASpecialDayOutsideItsMonthIsErrorNine) {
    addSpecialDay(2027, 4, 31, 9, "四月三十一日");
    gsbOpenScheduleTables(true);
    gsbGetScheduleData(2027, 3, days_, names_);
    const auto before = days_.values();
    try {
        gsbGetScheduleData(2027, 4, days_, names_);
        FAIL();
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 9);
    }
    EXPECT_EQ(days_.values(), before);
    EXPECT_NO_THROW(gsbGetScheduleData(2027, 5, days_, names_));
}

TEST_F(Schedule, RegistrationFaultsReachTheLogInLogMode) {
    exec("INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) VALUES (2, 30, 'x', 255, 255)");
    exec("INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) VALUES (2, 29, 'y', 255, 255)");
    gsbOpenScheduleTables(true);
    gsbGetScheduleData(2027, 2, days_, names_);  // silent outside log mode
    EXPECT_TRUE(dialogs_.shown().empty());

    gintLogMode = vbTrue;
    dialogs_.expect("エラー！\r\n祝日の日登録エラー（gsbGetScheduleData）");
    gsbGetScheduleData(2027, 2, days_, names_);
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(dialogs_.shown().size(), 1u);  // the 29th of a short February is not reported
    EXPECT_EQ(days_.upper(), 28);
}

}  // namespace
