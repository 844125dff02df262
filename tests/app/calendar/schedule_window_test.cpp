// The special-day calendar: its load, the four month grids, the scroller, tooltips, and the
// hand-over to the day-pattern editor.
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QScrollBar>

#include "calendar_fixture.h"
#include "forms/controls.h"
#include "forms/surface.h"

namespace {

using caltest::Calendar;
using forms::Grid;

std::string caption(QGroupBox* box) { return box->title().toStdString(); }

TEST_F(Calendar, LoadShowsTheCurrentMonthAndTheThreeFollowing) {
    frmSchedule& w = load();
    EXPECT_EQ(caption(w.fraMonth[0]), "２０２６年　１２月");
    EXPECT_EQ(caption(w.fraMonth[1]), "２０２７年　１月");
    EXPECT_EQ(caption(w.fraMonth[3]), "２０２７年　３月");
    EXPECT_EQ(w.sstMonthTag[0], "2026/12/");
    EXPECT_EQ(w.sstMonthTag[1], "2027/1/");
    EXPECT_EQ(w.vscJump->value(), 12);
    EXPECT_EQ(w.vscJump->minimum(), 1);
    EXPECT_EQ(w.vscJump->maximum(), 120);
    // Register mode with the first special-day pattern chosen.
    EXPECT_EQ(w.mintMode, 1);
    EXPECT_TRUE(w.optMode[1]->isChecked());
    EXPECT_EQ(w.sstDayPattern->activeRow(), 2);
    EXPECT_EQ(w.lblPatternNo->text(), "9");
    EXPECT_FALSE(w.lblPatternNo->isVisibleTo(&w));
    EXPECT_EQ(w.mouseIconImage(), 5);
    EXPECT_EQ(w.sstDayPattern->text(1, 1), "停止");
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(w.picLoadMessage->isVisible());
    EXPECT_EQ(forms::screenPointer(), forms::vbDefault);
}

TEST_F(Calendar, LoadInJanuaryDrawsTheMonthsEvenThoughTheScrollerDoesNotMove) {
    clock_.set({2026, 1, 5, 9, 0, 0});
    frmSchedule& w = load();
    EXPECT_EQ(caption(w.fraMonth[0]), "２０２６年　１月");
    EXPECT_EQ(w.sstMonth[0]->text(5, 1), "1");  // 1 January 2026 is a Thursday
}

TEST_F(Calendar, DayNumbersLieInTheirWeekAndAreColouredByWeekday) {
    exec("INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) VALUES (12, 12, 'テスト祝日', 255, 255)");
    frmSchedule& w = load();
    const Grid& dec = *w.sstMonth[0];  // December 2026 begins on a Tuesday
    struct Case {
        int col, row;
        const char* text;
        forms::Colour fore;
    };
    const Case cases[] = {
        {3, 1, "1", 0},            // Tuesday of week 1
        {1, 1, "", 0},             // before the 1st: empty
        {7, 1, "5", 0xFF0000},     // Saturday: blue
        {1, 3, "6", 0x0000FF},     // Sunday: red
        {7, 3, "12", 0x0000FF},    // a public holiday on a Saturday: red, not blue
        {5, 9, "31", 0},           // the last day, week 5
        {6, 9, "", 0},             // after the last day
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(dec.text(c.col, c.row), c.text);
        EXPECT_EQ(dec.foreColor(c.col, c.row), c.fore);
    }
    // 1 January 2027, a Friday and a public holiday.
    EXPECT_EQ(w.sstMonth[1]->foreColor(6, 1), 0x0000FF);
}

TEST_F(Calendar, MonthsUseFourToSixWeeks) {
    frmSchedule& w = load();
    scrollTo(2);  // February 2026 begins on a Sunday and has 28 days
    const Grid& feb = *w.sstMonth[0];
    EXPECT_EQ(feb.text(7, 7), "28");
    for (int row = 9; row <= 12; ++row)
        for (int col = 1; col <= 7; ++col) EXPECT_EQ(feb.text(col, row), "") << col << "," << row;
    scrollTo(13);  // January 2027 begins on a Friday: its 31st lies in week 6
    EXPECT_EQ(w.sstMonth[0]->text(1, 11), "31");
}

TEST_F(Calendar, PatternCellsShowWhatTheDayResolvesTo) {
    addSpecialDay(2026, 12, 15, 0);
    addSpecialDay(2026, 12, 16, 10);
    addStep(10, 9, 0, 1);
    frmSchedule& w = load();
    const Grid& dec = *w.sstMonth[0];
    struct Case {
        int col, row;
        const char* text;
        forms::Colour back;
    };
    const Case cases[] = {
        {2, 4, "停止", 0xFFC0C0},   // Monday 7: weekday pattern 0
        {3, 6, "停止", 0xC0FFC0},   // Tuesday 15: special day with pattern 0
        {4, 6, "B", 0xC0FFC0},      // Wednesday 16: pattern B
        {1, 2, "", 0xFFFFFF},       // before the 1st
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.col) + "," + std::to_string(c.row));
        EXPECT_EQ(dec.text(c.col, c.row), c.text);
        EXPECT_EQ(dec.backColor(c.col, c.row), c.back);
    }
}

TEST_F(Calendar, TheScrollerStopsAtTheLastFourMonthsWithABeep) {
    frmSchedule& w = load();
    for (int value : {118, 120}) {
        scrollTo(1);
        forms::resetBeepCount();
        scrollTo(value);
        EXPECT_EQ(w.vscJump->value(), 117);
        EXPECT_EQ(forms::beepCount(), 1);
        EXPECT_EQ(caption(w.fraMonth[0]), "２０３５年　９月");
        EXPECT_EQ(caption(w.fraMonth[3]), "２０３５年　１２月");
    }
}

TEST_F(Calendar, TooltipsNameTheDayUnderThePointer) {
    addSpecialDay(2026, 12, 24, 9, "イブ");
    frmSchedule& w = load();
    Grid& jan = *w.sstMonth[1];
    const QPointF newYear = QRectF(jan.cellRect(6, 2)).center();  // pattern cell of Friday 1 January
    w.sstMonth_MouseMove(1, newYear.x(), newYear.y());
    EXPECT_EQ(jan.textTip(), "元日");
    const QPointF heading = QRectF(jan.cellRect(3, 0)).center();
    w.sstMonth_MouseMove(1, heading.x(), heading.y());
    EXPECT_EQ(jan.textTip(), "");
    const QPointF before = QRectF(jan.cellRect(2, 1)).center();  // Monday before the 1st
    w.sstMonth_MouseMove(1, before.x(), before.y());
    EXPECT_EQ(jan.textTip(), "");
    const QPointF eve = QRectF(w.sstMonth[0]->cellRect(5, 7)).center();  // Thursday 24 December
    w.sstMonth_MouseMove(0, eve.x(), eve.y());
    EXPECT_EQ(w.sstMonth[0]->textTip(), "イブ");
}

TEST_F(Calendar, EachMonthGridKeepsItsOwnDayTooltip) {
    addSpecialDay(2026, 12, 24, 9, "イブ");
    addSpecialDay(2027, 1, 24, 9, "一月");
    frmSchedule& w = load();
    w.show();
    moveTo(0, 5, 8);  // Thursday 24 December
    EXPECT_EQ(w.sstMonth[0]->textTip(), "イブ");
    moveTo(1, 1, 10);  // Sunday 24 January, the same day number in the next grid
    EXPECT_EQ(w.sstMonth[1]->textTip(), "一月");
}

TEST_F(Calendar, EditHandsTheChosenPatternToTheEditorAndComesBack) {
    frmSchedule& w = load();
    forms::resetBeepCount();
    w.sstDayPattern->setActiveCell(1, 1);
    w.cmdEdit_Click();
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_TRUE(edited_.empty());

    w.sstDayPattern->setActiveCell(1, 4);
    w.cmdEdit_Click();
    ASSERT_EQ(edited_.size(), 1u);
    EXPECT_EQ(edited_[0].first, 11);
    EXPECT_EQ(edited_[0].second, "");
    EXPECT_TRUE(w.minimised());
    EXPECT_FALSE(w.isEnabled());

    // The editor gave pattern 11 steps and a special day meanwhile.
    gsbCloseDatabase(gdbWork);
    {
        dao::Database doc = dao::Database::open(file("Regist.dat"));
        doc.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (11, 8, 0, 1)");
        doc.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2026, 12, 25, 11, '')");
    }
    calendar::returnFromPatternEditor();
    EXPECT_FALSE(w.minimised());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(gdbWork.isOpen());
    EXPECT_EQ(w.sstDayPattern->backColor(1, 4), 0xC0FFC0);
    EXPECT_EQ(w.sstMonth[0]->text(6, 8), "C");  // Friday 25 December
}

TEST_F(Calendar, DeleteModeKeepsTheLastChart) {
    addStep(9, 9, 0, 1);
    frmSchedule& w = load();
    const QImage before = w.picTimeChart->image();
    w.optMode[0]->setValue(true);
    EXPECT_EQ(w.lblPatternNo->text(), "255");
    EXPECT_EQ(w.mouseIconImage(), 1);
    EXPECT_EQ(w.picTimeChart->image(), before);
}

TEST_F(Calendar, PrintMenusOpenTheirReports) {
    frmSchedule& w = load();
    w.mnuPrintPrint->trigger();
    w.mnuPrintYear->trigger();
    EXPECT_EQ(printed_, (std::vector<std::pair<int, int>>{{4, 0}, {3, 0}}));
}

}  // namespace
