// Assigning and removing special days in the calendar: blocks, weekday headings, the day
// pop-up menu, the question to edit an empty pattern, and the public record operations.
#include <QAction>
#include <QLabel>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "calendar_fixture.h"
#include "forms/controls.h"

namespace {

using caltest::Calendar;
using caltest::YearRow;
using forms::Grid;

constexpr const char* kAskEdit = "は内容が登録されていません。今すぐ登録しますか？";

// April 2026 begins on a Wednesday; the tests show it in the first grid.
class Days : public Calendar {
protected:
    frmSchedule& april() {
        frmSchedule& w = load();
        scrollTo(4);
        return w;
    }
    std::vector<int> daysOf(int pattern) {
        std::vector<int> out;
        for (const YearRow& r : specialDays())
            if (r.pattern == pattern) out.push_back(r.day);
        return out;
    }
};

TEST_F(Days, ABlockRegistersItsRealDaysAndAsksToEditAnEmptyPattern) {
    frmSchedule& w = april();
    dialogs_.expect(kAskEdit, forms::vbNo);
    drag(0, {2, 1, 6, 4});  // Monday of week 1 to Friday of week 2
    EXPECT_EQ(daysOf(9), (std::vector<int>{1, 2, 3, 6, 7, 8, 9, 10}));
    for (const YearRow& r : specialDays()) EXPECT_EQ(r.comment, "");
    EXPECT_TRUE(gfChanged);
    EXPECT_EQ(w.sstMonth[0]->text(4, 2), "A");  // Wednesday 1 April
    EXPECT_EQ(w.sstMonth[0]->backColor(4, 2), 0xC0FFC0);
    EXPECT_EQ(w.sstMonth[0]->text(2, 2), "");   // the Monday before the 1st stays empty
    EXPECT_FALSE(w.sstMonth[0]->selection().has_value());
    EXPECT_TRUE(w.isEnabled());
    // The rows written make the pattern used: its list cell shows it is in use without steps.
    EXPECT_EQ(w.sstDayPattern->backColor(1, 2), 0x8080FF);
}

TEST_F(Days, AWeekdayHeadingRemovesEverySaturdayOfTheMonth) {
    for (int d : {4, 10, 11, 18, 25}) addSpecialDay(2026, 4, d, 9, "x");
    frmSchedule& w = april();
    w.optMode[0]->setValue(true);
    EXPECT_EQ(w.mintMode, 0);
    drag(0, {7, Grid::kAll, 7, Grid::kAll});
    EXPECT_EQ(daysOf(9), (std::vector<int>{10}));
    EXPECT_EQ(w.sstMonth[0]->text(7, 2), "停止");  // Saturday 4 April is a weekday again
    EXPECT_EQ(w.sstMonth[0]->backColor(7, 2), 0xFFC0C0);
}

TEST_F(Days, RegisteringStopOrAPatternWithStepsAsksNothingAndReplacesTheRow) {
    addSpecialDay(2026, 4, 1, 10, "古い備考");
    addStep(9, 9, 0, 1);
    frmSchedule& w = april();
    drag(0, {4, 1, 4, 2});  // Wednesday 1 April
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2026, 4, 1, 9, ""}}));

    w.sstDayPattern->setActiveCell(1, 1);  // "停止"
    EXPECT_EQ(w.lblPatternNo->text(), "0");
    drag(0, {5, 1, 5, 1});  // Thursday 2 April
    EXPECT_EQ(specialDays().back(), (YearRow{2026, 4, 2, 0, ""}));
    EXPECT_EQ(w.sstMonth[0]->text(5, 2), "停止");
    EXPECT_EQ(w.sstMonth[0]->backColor(5, 2), 0xC0FFC0);
}

TEST_F(Days, AfterAPopUpClosedWithEscapeTheNextDragRegisters) {
    frmSchedule& w = april();
    w.show();
    frmSchedule::setPopUpRunnerForTesting({});  // the real menu, closed with Escape
    QTimer escape;
    QObject::connect(&escape, &QTimer::timeout, [] {
        if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_Escape);
    });
    escape.start(10);
    click(0, 4, 1, Qt::RightButton);  // Wednesday 1 April
    escape.stop();
    EXPECT_FALSE(w.mfPopUp);
    dialogs_.expect(kAskEdit, forms::vbNo);
    mouseDrag(0, 4, 1, 5, 3);  // Wednesday and Thursday of weeks 1 and 2
    EXPECT_EQ(daysOf(9), (std::vector<int>{1, 2, 8, 9}));
}

TEST_F(Days, ARightClickOnAWeekdayHeadingOpensNoDayMenu) {
    frmSchedule& w = april();
    w.show();
    int menus = 0;
    frmSchedule::setPopUpRunnerForTesting([&](QMenu&) { ++menus; });
    click(0, 4, 0, Qt::RightButton);  // the heading "水"
    EXPECT_EQ(menus, 0);
    EXPECT_FALSE(w.mfPopUp);
    click(0, 4, 1, Qt::RightButton);  // Wednesday 1 April below it
    EXPECT_EQ(menus, 1);
}

TEST_F(Days, ThePopUpOffersTheDayAndItsRulesAndClearingOnlyInDeleteMode) {
    addSpecialDay(2040, 1, 1, 9);
    addStep(9, 9, 0, 1);
    frmSchedule& w = april();
    std::vector<std::string> captions;
    bool allYearShown = true;
    rightClick(0, 4, 1, [&](QMenu&) {
        for (QAction* a : w.mnuPopUpMenu) captions.push_back(a->text().toStdString());
        allYearShown = w.mnuPopUpAllYear->isVisible();
        w.mnuPopUpMenu[0]->trigger();
    });
    EXPECT_EQ(captions, (std::vector<std::string>{"２０２６年０４月０１日", "毎月第１水曜日", "毎月１日", "毎年４月１日"}));
    EXPECT_FALSE(allYearShown);
    EXPECT_EQ(specialDays().front(), (YearRow{2026, 4, 1, 9, ""}));
    EXPECT_EQ(w.sstMonth[0]->text(4, 2), "A");
    EXPECT_FALSE(w.mfPopUp);

    w.optMode[0]->setValue(true);
    dialogs_.expect("登録されている全ての特定日スケジュールが削除されます。", forms::vbYes);
    rightClick(0, 4, 1, [&](QMenu&) {
        allYearShown = w.mnuPopUpAllYear->isVisible();
        w.mnuPopUpAllYear->trigger();
    });
    EXPECT_TRUE(allYearShown);
    EXPECT_TRUE(specialDays().empty());
    EXPECT_EQ(w.sstMonth[0]->text(4, 2), "停止");
}

TEST_F(Days, ARightClickOutsideTheMonthShowsNoMenu) {
    april();
    bool shown = false;
    rightClick(0, 2, 1, [&](QMenu&) { shown = true; });  // the Monday before 1 April
    EXPECT_FALSE(shown);
}

TEST_F(Days, ARuleFromThePopUpRegistersAndOffersTheEditor) {
    frmSchedule& w = april();
    frmYear::setModalRunnerForTesting([](frmYear& list) { list.cmdYes_Click(); });
    dialogs_.expect(kAskEdit, forms::vbYes);
    rightClick(0, 4, 1, [&](QMenu&) { w.mnuPopUpMenu[1]->trigger(); });
    const auto rows = specialDays();
    ASSERT_EQ(rows.size(), 120u);
    EXPECT_EQ(rows.front(), (YearRow{2026, 1, 7, 9, "毎月第１水曜日"}));
    EXPECT_EQ(rows.back(), (YearRow{2035, 12, 5, 9, "毎月第１水曜日"}));
    ASSERT_EQ(edited_.size(), 1u);
    EXPECT_EQ(edited_[0].first, 9);
    EXPECT_TRUE(w.minimised());
}

TEST_F(Days, SetYearDayAddsOverwritesAndMovesSpecialDays) {
    frmSchedule& w = load();
    EXPECT_TRUE(w.mfnfSetYearDay("2027/5/1", "", 10, "メモ"));
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2027, 5, 1, 10, "メモ"}}));

    dialogs_.expect("上書きしますか？", forms::vbNo);
    EXPECT_FALSE(w.mfnfSetYearDay("2027/5/1", "", 11, ""));
    dialogs_.expect("上書きしますか？", forms::vbYes);
    EXPECT_TRUE(w.mfnfSetYearDay("2027/5/1", "", 11, "新"));
    EXPECT_TRUE(w.mfnfSetYearDay("2027/5/1", "", 12, "黙って", false));
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2027, 5, 1, 12, "黙って"}}));

    addSpecialDay(2027, 6, 1, 9);
    dialogs_.expect("同じ日付の登録があります。");
    EXPECT_FALSE(w.mfnfSetYearDay("2027/6/1", "2027/5/1", 9, ""));
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    EXPECT_TRUE(w.mfnfSetYearDay("2027/7/1", "2027/5/1", 13, "移動"));
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2027, 6, 1, 9, ""}, {2027, 7, 1, 13, "移動"}}));
    dialogs_.expect("内部エラーが発生しました。");
    EXPECT_THROW(w.mfnfSetYearDay("2027/8/1", "2027/5/1", 9, ""), forms::ProgramEnded);

    EXPECT_FALSE(w.mfnfDelYearDay("2030/1/1"));
    dialogs_.expect("削除してもいいですか？", forms::vbNo).expect("削除してもいいですか？", forms::vbYes);
    EXPECT_FALSE(w.mfnfDelYearDay("2027/6/1"));
    EXPECT_TRUE(w.mfnfDelYearDay("2027/6/1"));
    EXPECT_EQ(specialDays().size(), 1u);
}

TEST_F(Days, MakeYearDataCopiesAPatternIntoAFreeSpecialPattern) {
    addStep(2, 8, 30, 1);
    frmSchedule& w = load();
    dialogs_.expect("と同じスケジュールを新しく", forms::vbYes);
    EXPECT_EQ(w.pfniMakeYearData(2, "2027/3/3"), 9);
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2027, 3, 3, 9, "2027年03月03日"}}));
    EXPECT_EQ(intOf("SELECT COUNT(*) FROM tblDayStep WHERE fldPatternNo = 9"), 1);

    // The same steps are found the second time; declining registers nothing.
    dialogs_.expect("と同じスケジュールが", forms::vbNo);
    EXPECT_EQ(w.pfniMakeYearData(2, "2027/3/4"), 255);
    EXPECT_EQ(specialDays().size(), 1u);
}

}  // namespace
