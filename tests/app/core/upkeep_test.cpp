// Upkeep of the derived flags, on a new document made from Master.dat.
#include <gtest/gtest.h>

#include "core/upkeep.h"
#include "document_fixture.h"

namespace {

using coretest::NewDocument;

class Upkeep : public NewDocument {
protected:
    static void setHolidaySettings(int syukujitu, int monday) {
        gdbWork.execute("UPDATE tblSyukujitu SET fldSyukujitu = ?1, fldMonday = ?2 WHERE fldMonth = 0 AND fldDay = 0",
                        {syukujitu, monday});
    }
    static void upkeep() {
        gsbSetPatternUse();
        gsbSetPatternError();
    }
    // fldSyukujitu/fldMonday pairs of every row but the settings row.
    static std::vector<int> holidayValues(const char* field) {
        return intsOf(std::string("SELECT ") + field + " FROM tblSyukujitu WHERE NOT fldDay = 0");
    }
    static int patternFlag(int no, const char* field) {
        return intOf(std::string("SELECT ") + field + " FROM tblDayPattern WHERE fldNo = " + std::to_string(no));
    }
};

TEST_F(Upkeep, ADocumentWithoutStepsStopsEveryDay) {
    setHolidaySettings(8, 8);
    upkeep();
    EXPECT_EQ(intOf("SELECT Count(*) FROM tblDayPattern WHERE fldStep <> 0"), 0);
    EXPECT_EQ(intsOf("SELECT fldPattern FROM tblBase ORDER BY fldWeek"), std::vector<int>(7, 0));
    const auto rows = holidayValues("fldSyukujitu");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows, std::vector<int>(rows.size(), 0));
    EXPECT_EQ(holidayValues("fldMonday"), std::vector<int>(rows.size(), 0));
    EXPECT_EQ(patternFlag(8, "fldUse"), -1);  // the settings row names pattern 8
}

TEST_F(Upkeep, WeekdaysRunTheirPatternOnlyWithSteps) {
    addSteps(2, {{8, 0, 1}});
    addSteps(6, {{9, 30, 2}, {17, 0, 0}});
    upkeep();
    EXPECT_EQ(intsOf("SELECT fldPattern FROM tblBase ORDER BY fldWeek"), (std::vector<int>{0, 2, 0, 0, 0, 6, 0}));
    EXPECT_EQ(intsOf("SELECT fldNo FROM tblDayPattern WHERE fldStep <> 0 ORDER BY fldNo"), (std::vector<int>{2, 6}));
    // Use reads the weekday table as the last upkeep left it.
    EXPECT_EQ(intsOf("SELECT fldNo FROM tblDayPattern WHERE fldUse <> 0 ORDER BY fldNo"), std::vector<int>{});
    gsbSetPatternUse();
    EXPECT_EQ(intsOf("SELECT fldNo FROM tblDayPattern WHERE fldUse <> 0 ORDER BY fldNo"), (std::vector<int>{2, 6}));
    EXPECT_EQ(patternFlag(0, "fldUse"), 0);  // the stop pattern of the other weekdays is never "used"
}

TEST_F(Upkeep, SpecialDaysCountOnlyFromThisYearOnAndWithoutStepsAreErrors) {
    struct Case { int year; int use, error; };
    const Case cases[] = {{2028, -1, -1}, {2036, -1, -1}, {2026, 0, 0}, {2037, 0, 0}};
    for (const auto& c : cases) {
        exec("DELETE FROM tblYear");
        gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, 5, 1, 12, 'x')",
                        {c.year});
        upkeep();
        EXPECT_EQ(patternFlag(12, "fldUse"), c.use) << c.year;
        EXPECT_EQ(patternFlag(12, "fldError"), c.error) << c.year;
    }
    // With steps the used special pattern is sound.
    addSteps(12, {{10, 0, 3}});
    upkeep();
    EXPECT_EQ(patternFlag(12, "fldError"), 0);
    EXPECT_EQ(patternFlag(12, "fldStep"), -1);
}

TEST_F(Upkeep, HolidayRowsFollowTheSettingsRow) {
    setHolidaySettings(8, 8);
    addSteps(8, {{9, 0, 1}});
    upkeep();
    const auto n = holidayValues("fldSyukujitu").size();
    EXPECT_EQ(holidayValues("fldSyukujitu"), std::vector<int>(n, 8));
    EXPECT_EQ(holidayValues("fldMonday"), std::vector<int>(n, 8));

    exec("DELETE FROM tblDayStep WHERE fldPatternNo = 8");
    upkeep();
    EXPECT_EQ(holidayValues("fldSyukujitu"), std::vector<int>(n, 0));
    EXPECT_EQ(holidayValues("fldMonday"), std::vector<int>(n, 0));

    // No substitute pattern of its own: every row keeps 255, whatever it runs on the holiday.
    addSteps(8, {{9, 0, 1}});
    setHolidaySettings(8, 255);
    upkeep();
    EXPECT_EQ(holidayValues("fldSyukujitu"), std::vector<int>(n, 8));
    EXPECT_EQ(holidayValues("fldMonday"), std::vector<int>(n, 255));

    // Holidays not used.
    setHolidaySettings(255, 8);
    upkeep();
    EXPECT_EQ(holidayValues("fldSyukujitu"), std::vector<int>(n, 255));
    EXPECT_EQ(holidayValues("fldMonday"), std::vector<int>(n, 255));
}

TEST_F(Upkeep, AMissingSettingsRowIsAddedAsNotUsed) {
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8");
    exec("DELETE FROM tblSyukujitu WHERE fldDay = 0");
    gsbSetSyukujituPattern();
    auto rs = gdbWork.openRecordset("SELECT * FROM tblSyukujitu WHERE fldDay = 0");
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs["fldMonth"].toInt(), 0);
    EXPECT_EQ(rs["fldSyukujitu"].toInt(), 255);
    EXPECT_EQ(rs["fldMonday"].toInt(), 255);
    EXPECT_EQ(rs["fldComment"].toText(), "登録値保持用");
    EXPECT_EQ(rs.recordCount(), 1);
    const auto n = holidayValues("fldSyukujitu").size();
    EXPECT_EQ(holidayValues("fldSyukujitu"), std::vector<int>(n, 255));
    EXPECT_EQ(holidayValues("fldMonday"), std::vector<int>(n, 255));
}

TEST_F(Upkeep, MessageUseAndAnswerRecording) {
    exec("UPDATE tblMessage SET fldUse = -1");
    exec("UPDATE tblMessage SET fldUse = 0 WHERE fldCh = 11");
    addSteps(3, {{8, 0, 4}, {12, 0, 0}, {13, 0, 9}});
    gsbSetMessageUse();
    EXPECT_EQ(intsOf("SELECT fldCh FROM tblMessage WHERE fldUse <> 0 ORDER BY fldCh"), (std::vector<int>{4, 9, 10, 12}));

    exec("UPDATE tblMessage SET fldAnsRec = 0");
    exec("UPDATE tblMessage SET fldAnsRec = -1 WHERE fldCh = 10");
    gfAnsRec = vbTrue;
    gsbCheckAnsRec();
    EXPECT_EQ(gfAnsRec, vbFalse);
    exec("UPDATE tblMessage SET fldAnsRec = -1 WHERE fldCh = 9");
    gsbCheckAnsRec();
    EXPECT_EQ(gfAnsRec, vbTrue);
}

TEST_F(Upkeep, HolidayListIsComparedOnMonthAndDayCode) {
    struct Case {
        const char* what;
        const char* change;
        bool differs;
    };
    const Case cases[] = {
        {"the same list", "", false},
        {"a changed name", "UPDATE tblSyukujitu SET fldName = '新しい名前' WHERE fldMonth = 5 AND fldDay = 4", false},
        {"changed patterns", "UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8", false},
        {"one holiday more", "INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) VALUES (12, 31, '大晦日', 255, 255)", true},
        {"one holiday less", "DELETE FROM tblSyukujitu WHERE fldMonth = 11 AND fldDay = 23", true},
        {"a changed day code", "UPDATE tblSyukujitu SET fldDay = 62 WHERE fldMonth = 1 AND fldDay = 52", true},
        {"no rule row", "DELETE FROM tblSyukujitu WHERE fldDay = 36", true},
    };
    for (const auto& c : cases) {
        gsbCloseDatabase(gdbWork);
        createDocumentFromMaster(file("Regist.dat"));
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
        if (*c.change) exec(c.change);
        if (c.differs) dialogs_.expect("祝日登録が既定値と異なります。");
        const auto shownBefore = dialogs_.shown().size();
        gsbCheckSyukujitu();
        EXPECT_EQ(dialogs_.pending(), 0u) << c.what;
        EXPECT_EQ(dialogs_.shown().size() - shownBefore, c.differs ? 1u : 0u) << c.what;
    }
}

}  // namespace
