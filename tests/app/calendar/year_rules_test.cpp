// Repeat rules: the dates a rule walks, what the list shows before confirming, and what
// confirming or declining writes.
#include <QLabel>

#include "calendar_fixture.h"
#include "forms/controls.h"

namespace {

using caltest::Document;
using caltest::YearRow;

class Rules : public Document {
protected:
    // Opens the list on a rule; `act` runs while the window is shown.
    bool open(int pattern, int mode, const std::string& date, std::function<void(frmYear&)> act) {
        frmYear::setModalRunnerForTesting(std::move(act));
        frmYear list;
        return list.mfnfShowForm(pattern, mode, date);
    }
    static int listed(const frmYear& w) {
        int n = 0;
        while (n < w.sstYear->maxRows() && !w.sstYear->text(1, n + 1).empty()) ++n;
        return n;
    }
};

TEST_F(Rules, RegisteringWalksTheTenYearsFromJanuaryOfThisYear) {
    struct Case {
        int mode;
        const char* anchor;
        int rows;
        YearRow first, last;
    };
    const Case cases[] = {
        {1, "2026/11/14", 120, {2026, 1, 10, 9, "毎月第２土曜日"}, {2035, 12, 8, 9, "毎月第２土曜日"}},
        {1, "2026/12/29", 41, {2026, 3, 31, 9, "毎月第５火曜日"}, {2035, 10, 30, 9, "毎月第５火曜日"}},
        {2, "2026/1/31", 70, {2026, 1, 31, 9, "毎月３１日"}, {2035, 12, 31, 9, "毎月３１日"}},
        {3, "2028/2/29", 2, {2028, 2, 29, 9, "毎年２月２９日"}, {2032, 2, 29, 9, "毎年２月２９日"}},
        {2, "2001/7/15", 120, {2026, 1, 15, 9, "毎月１５日"}, {2035, 12, 15, 9, "毎月１５日"}},
        {0, "2030/6/6", 1, {2030, 6, 6, 9, "２０３０年０６月０６日"}, {2030, 6, 6, 9, "２０３０年０６月０６日"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.anchor);
        exec("DELETE FROM tblYear");
        int shown = -1;
        const bool changed = open(9, c.mode, c.anchor, [&](frmYear& w) {
            shown = listed(w);
            w.cmdYes_Click();
        });
        EXPECT_TRUE(changed);
        EXPECT_EQ(shown, c.rows);
        const auto rows = specialDays();
        ASSERT_EQ(rows.size(), static_cast<size_t>(c.rows));
        EXPECT_EQ(rows.front(), c.first);
        EXPECT_EQ(rows.back(), c.last);
    }
}

TEST_F(Rules, TheRegisterListShowsWhatEachDateRunsNow) {
    addSpecialDay(2027, 1, 1, 10, "休業");
    open(9, 3, "2026/1/1", [&](frmYear& w) {
        EXPECT_EQ(w.windowTitle().toStdString(), "特定日スケジュールの登録");
        EXPECT_EQ(w.fraSet->title().toStdString(), "登録内容");
        EXPECT_EQ(w.lblSet->text().toStdString(), "毎年１月１日");
        EXPECT_EQ(w.lblPattern->text().toStdString(), "Ａ");
        EXPECT_FALSE(w.fraSet->isHidden());
        EXPECT_TRUE(w.cmdBack->isHidden());
        EXPECT_EQ(w.lblMessage->text().toStdString(), "これらの登録に上書きされます。\r\nよろしいですか？");
        EXPECT_EQ(listed(w), 10);
        EXPECT_EQ(w.sstYear->text(5, 2), "B");  // 2027: the special day in force
        EXPECT_EQ(w.sstYear->text(6, 2), "休業");
        EXPECT_EQ(w.sstYear->text(6, 1), "元日");  // 2026: the holiday's name
        w.cmdNo_Click();
    });
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2027, 1, 1, 10, "休業"}}));
}

TEST_F(Rules, RegisteringOverwritesOnlyTheRuleDates) {
    addSpecialDay(2027, 5, 15, 10, "古い");
    addSpecialDay(2027, 5, 16, 10, "そのまま");
    addSpecialDay(2040, 5, 15, 11, "範囲外");
    EXPECT_TRUE(open(12, 3, "2026/5/15", [](frmYear& w) { w.cmdYes_Click(); }));
    const auto rows = specialDays();
    EXPECT_EQ(rows.size(), 12u);
    EXPECT_NE(std::find(rows.begin(), rows.end(), YearRow{2027, 5, 15, 12, "毎年５月１５日"}), rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), YearRow{2027, 5, 16, 10, "そのまま"}), rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), YearRow{2040, 5, 15, 11, "範囲外"}), rows.end());
    EXPECT_TRUE(gfChanged);
}

TEST_F(Rules, DeletingRemovesOnlyTheRuleDatesThatAreSpecialDays) {
    addSpecialDay(2026, 3, 15, 9);
    addSpecialDay(2028, 8, 15, 10);
    addSpecialDay(2028, 8, 16, 10);
    const bool changed = open(255, 2, "2026/4/15", [&](frmYear& w) {
        EXPECT_EQ(w.windowTitle().toStdString(), "特定日スケジュールの削除");
        EXPECT_EQ(w.fraSet->title().toStdString(), "削除内容");
        EXPECT_TRUE(w.lblPattern->isHidden());
        EXPECT_TRUE(w.lblTitleSchedule->isHidden());
        EXPECT_EQ(listed(w), 2);
        w.cmdYes_Click();
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2028, 8, 16, 10, ""}}));
}

TEST_F(Rules, NothingToDeleteOrDecliningChangesNothing) {
    addSpecialDay(2026, 3, 16, 9);
    dialogs_.expect("削除できる登録がありません。");
    bool shown = false;
    EXPECT_FALSE(open(255, 2, "2026/4/15", [&](frmYear&) { shown = true; }));
    EXPECT_FALSE(shown);
    EXPECT_FALSE(open(9, 1, "2026/4/15", [](frmYear& w) { w.cmdNo_Click(); }));
    EXPECT_EQ(specialDays().size(), 1u);
    EXPECT_FALSE(gfChanged);
    EXPECT_FALSE(gdbWork.tableExists("tblYearShow"));
}

TEST_F(Rules, AnAnchorThatIsNotADateOpensAnEmptyListThatWritesNothing) {
    int shown = -1;
    EXPECT_FALSE(open(9, 2, "2026/2/30", [&](frmYear& w) {
        shown = listed(w);
        w.cmdYes_Click();
    }));
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(specialDays().empty());
}

}  // namespace
