// Step counts, free and identical patterns, and pattern copies.
#include <gtest/gtest.h>

#include "core/patterns.h"
#include "core/upkeep.h"
#include "document_fixture.h"
#include "forms/fatal.h"
#include "runtime/error.h"

namespace {

using coretest::NewDocument;
using coretest::StepRow;

class Patterns : public NewDocument {
protected:
    static std::string nameOf(int no) {
        auto rs = gdbWork.openRecordset("SELECT fldName FROM tblDayPattern WHERE fldNo = " + std::to_string(no));
        return rs["fldName"].toText();
    }
    // (minute of the day) * 10 + channel, in time order.
    static std::vector<int> stepsOf(int no) {
        return intsOf("SELECT (fldHour * 60 + fldMinute) * 10 + fldMessage FROM tblDayStep WHERE fldPatternNo = " +
                      std::to_string(no) + " ORDER BY fldHour, fldMinute");
    }
    static void refresh() {
        gsbSetPatternUse();
        gsbSetPatternError();
    }
};

TEST_F(Patterns, StepCount) {
    EXPECT_EQ(gfniGetStepCount(3), 0);
    addSteps(3, {{8, 0, 1}, {12, 0, 0}, {13, 0, 2}});
    addSteps(4, {{8, 0, 1}});
    EXPECT_EQ(gfniGetStepCount(3), 3);
    EXPECT_EQ(gfniGetStepCount(4), 1);
}

TEST_F(Patterns, FindSamePattern) {
    const std::vector<StepRow> wanted = {{8, 0, 1}, {12, 0, 0}, {13, 0, 2}};
    struct Case {
        const char* what;
        std::vector<std::pair<int, std::vector<StepRow>>> candidates;
        int result;
    };
    const std::vector<Case> cases = {
        {"no other pattern", {}, -1},
        {"one step more", {{10, {{8, 0, 1}, {12, 0, 0}, {13, 0, 2}, {18, 0, 0}}}}, -1},
        {"one step less", {{10, {{8, 0, 1}, {12, 0, 0}}}}, -1},
        {"the same from its second step on", {{10, {{7, 0, 3}, {8, 0, 1}, {12, 0, 0}, {13, 0, 2}}}}, -1},
        {"a match across two candidates", {{10, {{7, 0, 3}, {8, 0, 1}}}, {11, {{12, 0, 0}, {13, 0, 2}}}}, -1},
        {"one channel differs", {{10, {{8, 0, 1}, {12, 0, 0}, {13, 0, 3}}}}, -1},
        {"one minute differs", {{10, {{8, 0, 1}, {12, 1, 0}, {13, 0, 2}}}}, -1},
        {"two identical patterns: the lower", {{12, wanted}, {10, wanted}}, 10},
        {"after a longer candidate", {{10, {{8, 0, 1}, {12, 0, 0}, {13, 0, 2}, {14, 0, 0}}}, {11, wanted}}, 11},
        {"a weekday pattern below the lowest number searched", {{5, wanted}, {20, wanted}}, 20},
    };
    for (const auto& c : cases) {
        exec("DELETE FROM tblDayStep");
        addSteps(21, wanted);
        for (const auto& [no, steps] : c.candidates) addSteps(no, steps);
        EXPECT_EQ(gfniFindSamePattern(21, 9), c.result) << c.what;
    }
    exec("DELETE FROM tblDayStep");
    EXPECT_EQ(gfniFindSamePattern(21, 9), 0) << "an empty pattern is the stop pattern";
}

TEST_F(Patterns, FreePattern) {
    EXPECT_EQ(gfniGetFreePattern(), 9);
    addSteps(9, {{8, 0, 1}});
    exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2027, 3, 3, 10, '')");
    exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2026, 3, 3, 11, '')");
    EXPECT_EQ(gfniGetFreePattern(), 11);  // 10 is used this year; last year's use does not count
    for (int p = 11; p <= 20; ++p) addSteps(p, {{8, 0, 1}});
    EXPECT_EQ(gfniGetFreePattern(), 0);
}

TEST_F(Patterns, CopyRefusals) {
    addSteps(9, {{8, 0, 1}});
    refresh();
    exec("UPDATE tblDayPattern SET fldError = -1 WHERE fldNo = 11");
    addSteps(11, {{8, 0, 1}});
    exec("UPDATE tblDayPattern SET fldStep = -1 WHERE fldNo = 11");
    exec("DELETE FROM tblDayPattern WHERE fldNo = 14");
    struct Case { int from, to; const char* message; };
    const Case cases[] = {
        {9, 9, "コピー元とコピー先が同じです。"},
        {10, 12, "コピー元の登録がないのでコピーできません。"},  // no steps
        {14, 12, "コピー元の登録がないのでコピーできません。"},  // no row
        {11, 12, "コピー元の登録にエラーがあるのでコピーできません。"},
    };
    for (const auto& c : cases) {
        dialogs_.expect(c.message);
        EXPECT_FALSE(mfnfCopyPatternData(c.from, c.to)) << c.from;
        EXPECT_EQ(dialogs_.pending(), 0u) << c.from;
    }
    EXPECT_EQ(gfChanged, vbFalse);
    EXPECT_EQ(gfniGetStepCount(12), 0);
}

TEST_F(Patterns, CopyOntoASpecialPatternNamesItACopy) {
    addSteps(9, {{8, 0, 1}, {17, 30, 0}});
    refresh();
    gfChanged = vbFalse;
    EXPECT_TRUE(mfnfCopyPatternData(9, 10));
    EXPECT_EQ(nameOf(10), "特定日ｽｹｼﾞｭｰﾙAのｺﾋﾟｰ");
    EXPECT_EQ(stepsOf(10), stepsOf(9));
    EXPECT_EQ(gfChanged, vbTrue);
    EXPECT_EQ(intOf("SELECT fldStep FROM tblDayPattern WHERE fldNo = 10"), -1);
    EXPECT_FALSE(gdbWork.tableExists("tblWork"));

    // A weekday source: its standard name, cut to 20 bytes.
    addSteps(4, {{9, 0, 2}});
    refresh();
    EXPECT_TRUE(mfnfCopyPatternData(4, 11));
    EXPECT_EQ(nameOf(11), "水曜日ｽｹｼﾞｭｰﾙのｺﾋﾟｰ");
}

TEST_F(Patterns, CopyOntoAPatternWithStepsAsksFirst) {
    exec("UPDATE tblDayPattern SET fldName = '月曜の名前' WHERE fldNo = 2");
    addSteps(9, {{8, 0, 1}});
    addSteps(2, {{6, 0, 3}, {20, 0, 0}});
    refresh();

    dialogs_.expect("上書きしてもいいですか？", forms::vbNo);
    EXPECT_FALSE(mfnfCopyPatternData(9, 2));
    EXPECT_EQ(stepsOf(2), (std::vector<int>{3603, 12000}));
    EXPECT_EQ(gfChanged, vbFalse);

    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    EXPECT_TRUE(mfnfCopyPatternData(9, 2));
    EXPECT_EQ(stepsOf(2), (std::vector<int>{4801}));
    EXPECT_EQ(nameOf(2), "月曜の名前");  // weekday patterns keep their names
}

TEST_F(Patterns, CopyOfTheScratchPatternEmptiesTheTarget) {
    exec("UPDATE tblDayPattern SET fldName = '古い名前' WHERE fldNo = 13");
    addSteps(13, {{8, 0, 1}});
    refresh();
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    EXPECT_TRUE(mfnfCopyPatternData(21, 13));
    EXPECT_EQ(nameOf(13), "");
    EXPECT_EQ(intOf("SELECT fldStep FROM tblDayPattern WHERE fldNo = 13"), 0);
    EXPECT_EQ(gfniGetStepCount(13), 0);
}

TEST_F(Patterns, AMissingTargetRowIsFatal) {
    addSteps(9, {{8, 0, 1}});
    refresh();
    exec("DELETE FROM tblDayPattern WHERE fldNo = 15");
    dialogs_.expect("内部エラーが発生しました。");
    EXPECT_THROW(mfnfCopyPatternData(9, 15), forms::ProgramEnded);
}

// A failure half way through the step copy leaves the target's steps and row as they were.
TEST_F(Patterns, AFailedCopyChangesNothing) {
    addSteps(9, {{8, 0, 1}});
    addSteps(10, {{6, 0, 3}, {20, 0, 0}});
    refresh();
    exec("UPDATE tblDayPattern SET fldName = '元の名前' WHERE fldNo = 10");
    // Refuses the re-insert of the copied steps, after the target's old steps were deleted.
    exec("CREATE TRIGGER refuse_copy BEFORE INSERT ON tblDayStep WHEN NEW.fldPatternNo = 10"
         " BEGIN SELECT RAISE(ABORT, 'refused'); END");

    EXPECT_THROW(gsbCopyStepData(9, 10), runtime::Error);
    EXPECT_EQ(stepsOf(10), (std::vector<int>{3603, 12000}));
    EXPECT_FALSE(gdbWork.tableExists("tblWork"));

    gfChanged = vbFalse;
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    EXPECT_THROW(mfnfCopyPatternData(9, 10), runtime::Error);
    EXPECT_EQ(stepsOf(10), (std::vector<int>{3603, 12000}));
    EXPECT_EQ(nameOf(10), "元の名前");
    EXPECT_EQ(gfChanged, vbFalse);

    exec("DROP TRIGGER refuse_copy");
    EXPECT_TRUE(gsbCopyStepData(9, 10));
    EXPECT_EQ(stepsOf(10), (std::vector<int>{4801}));
    EXPECT_EQ(stepsOf(9), (std::vector<int>{4801}));
}

}  // namespace
