#include <gtest/gtest.h>

#include "chart_fixture.h"
#include "core/list_grids.h"
#include "forms/grid.h"
#include "runtime/error.h"

using forms::Grid;

namespace {

struct ListGrids : ::testing::Test {
    test::ChartDocument doc;
    Grid grid;
    void shape(int cols, int rows) {
        grid.setMaxCols(cols);
        grid.setMaxRows(rows);
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c) grid.setText(c, r, "x");
        grid.show();
    }
    void pattern(int no, const std::string& name, bool step, bool error) {
        gdbWork.execute("UPDATE tblDayPattern SET fldName = ?1, fldStep = ?2, fldError = ?3 WHERE fldNo = ?4",
                        {name, step, error, no});
    }
};

}  // namespace

TEST_F(ListGrids, PatternListOfAllButPatternZero) {
    shape(2, 20);
    pattern(1, "日曜日", true, false);
    pattern(8, "祝日", true, false);
    pattern(9, "年末年始のスケジュールとても長い名前ですね", true, true);
    pattern(10, "B", false, false);
    gsbShowPatternList(grid, false);
    EXPECT_EQ(grid.text(1, 1), "x");  // column 1 keeps the window's labels
    EXPECT_EQ(grid.text(2, 1), "日曜日" + std::string(17, ' '));  // padded to 20 characters
    EXPECT_EQ(grid.backColor(1, 1), 0xFFC0C0);
    EXPECT_EQ(grid.backColor(1, 8), 0xC0C0FF);
    EXPECT_EQ(grid.text(2, 9), "年末年始のスケジュールとても長い名前です");  // cut to 20 characters
    EXPECT_EQ(grid.backColor(1, 9), 0x8080FF);  // an error overrides the colour
    EXPECT_EQ(grid.backColor(1, 10), 0xE2E2E2);  // no steps: grey
    EXPECT_EQ(grid.backColor(2, 1), 0xE2E2E2);
    EXPECT_EQ(grid.text(2, 20), std::string(20, ' '));
    EXPECT_FALSE(grid.isHidden());
    EXPECT_TRUE(grid.redraw());
}

TEST_F(ListGrids, SpecialPatternListStartsWithPatternZeroWithoutAName) {
    shape(2, 13);
    pattern(0, "停止", true, false);
    pattern(9, "A", true, false);
    gsbShowPatternList(grid, true);
    EXPECT_EQ(grid.text(2, 1), "");
    EXPECT_EQ(grid.backColor(1, 1), 0xFFC0C0);
    EXPECT_EQ(grid.text(2, 2), "A                   ");
    EXPECT_EQ(grid.backColor(1, 2), 0xC0FFC0);
}

TEST_F(ListGrids, AGridLongerThanTheListRaises3021AndIsShownAgain) {
    shape(2, 14);  // pattern 0 and the 12 special patterns are 13 rows
    pattern(20, "L", false, false);
    try {
        gsbShowPatternList(grid, true);
        FAIL() << "no error";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 3021);
    }
    EXPECT_FALSE(grid.isHidden());
    EXPECT_TRUE(grid.redraw());
    EXPECT_EQ(grid.text(2, 13), "L" + std::string(19, ' '));  // the rows before the end were filled
}

TEST_F(ListGrids, MessageListModes) {
    shape(3, 10);
    gdbWork.execute("UPDATE tblMessage SET fldComment = '営業時間内  ', fldAnsRec = -1, fldUse = -1 WHERE fldCh = 1");
    gdbWork.execute("UPDATE tblMessage SET fldComment = NULL, fldAnsRec = NULL WHERE fldCh = 9");
    gsbShowMessageList(grid, 0);
    EXPECT_EQ(grid.text(1, 1), " 1");
    EXPECT_EQ(grid.text(2, 1), "営業時間内");  // trailing blanks removed
    EXPECT_EQ(grid.text(3, 1), "録音");
    EXPECT_EQ(grid.text(1, 9), " 9");
    EXPECT_EQ(grid.text(2, 9), "");
    EXPECT_EQ(grid.text(3, 9), "専用");  // Null reads as answer only
    EXPECT_EQ(grid.text(1, 10), "");   // every cell was cleared
    EXPECT_EQ(grid.backColor(1, 1), 0xE2E2E2);

    gsbShowMessageList(grid, 1);
    EXPECT_EQ(grid.text(1, 1), "停止");
    EXPECT_EQ(grid.text(1, 2), " 1");
    EXPECT_EQ(grid.text(3, 2), "");  // no answer type in mode 1
    EXPECT_EQ(grid.backColor(1, 2), 0xFF8080);  // channel 1 is used
    EXPECT_EQ(grid.backColor(1, 3), 0xE2E2E2);
    EXPECT_EQ(grid.text(1, 10), " 9");
    EXPECT_FALSE(grid.isHidden());
}
