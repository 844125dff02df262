// The special-day list in its list view: the rows of the ten-year range, sorting by a title
// click, and the deletions of log mode.
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableWidget>

#include "calendar_fixture.h"
#include "forms/controls.h"

namespace {

using caltest::Document;
using caltest::YearRow;
using forms::Grid;

class List : public Document {
protected:
    // Opens the list view; `act` runs while the window is shown.
    bool open(std::function<void(frmYear&)> act) {
        frmYear::setModalRunnerForTesting(std::move(act));
        frmYear list;
        return list.mfnfShowForm(9, -1, "");
    }
    static std::vector<std::string> column(const frmYear& w, int col) {
        std::vector<std::string> out;
        for (int r = 1; r <= w.sstYear->maxRows() && !w.sstYear->text(col, r).empty(); ++r)
            out.push_back(w.sstYear->text(col, r));
        return out;
    }
};

TEST_F(List, NoSpecialDayInTheTenYearsOpensNoWindow) {
    addSpecialDay(2025, 12, 31, 9);
    addSpecialDay(2036, 1, 1, 9);
    dialogs_.expect("特定日の登録はありません。");
    bool shown = false;
    EXPECT_FALSE(open([&](frmYear&) { shown = true; }));
    EXPECT_FALSE(shown);
    EXPECT_FALSE(gdbWork.tableExists("tblYearShow"));
}

TEST_F(List, ListsTheSpecialDaysOfTheRangeInDateOrder) {
    addSpecialDay(2027, 3, 7, 0, "日曜の停止");  // a Sunday
    addSpecialDay(2026, 5, 2, 10, "土曜");       // a Saturday
    addSpecialDay(2025, 1, 1, 9);                // before the range
    addSpecialDay(2026, 5, 1, 20, "金曜日の備考、三十文字になるまで長く長く長く長く書きました");
    open([&](frmYear& w) {
        EXPECT_EQ(w.windowTitle().toStdString(), "特定日スケジュールの確認");
        EXPECT_TRUE(w.fraSet->isHidden());
        EXPECT_TRUE(w.fraSchedule->isHidden());
        EXPECT_FALSE(w.cmdBack->isHidden());
        EXPECT_TRUE(w.cmdDelete->isHidden());
        EXPECT_EQ(column(w, 1), (std::vector<std::string>{"２０２６", "２０２６", "２０２７"}));
        EXPECT_EQ(column(w, 3), (std::vector<std::string>{"１", "２", "７"}));
        EXPECT_EQ(column(w, 4), (std::vector<std::string>{"金", "土", "日"}));
        EXPECT_EQ(column(w, 5), (std::vector<std::string>{"L", "B", "停止"}));
        EXPECT_EQ(w.sstYear->foreColor(4, 2), 0xFF0000);
        EXPECT_EQ(w.sstYear->foreColor(4, 3), 0x0000FF);
        EXPECT_EQ(w.sstYear->backColor(5, 3), 0xC0FFC0);
        EXPECT_EQ(w.sstYear->backColor(1, 1), 0xE2E2E2);
        // The comment is cut to its first 20 bytes for the list: ten full-width characters.
        EXPECT_EQ(w.sstYear->text(6, 1), "金曜日の備考、三十文");
        w.cmdBack_Click();
    });
    EXPECT_FALSE(gdbWork.tableExists("tblYearShow"));
}

// Every column is shown whole, heading and text, also a comment of the full 20 bytes, in
// the list view and in a rule's confirmation.
TEST_F(List, EveryColumnIsShownWhole) {
    addSpecialDay(2026, 5, 1, 20, "ＡＢＣＤＥＦＧＨＩＪ");
    addSpecialDay(2026, 5, 2, 9, "abcdefghijklmnopqrst");
    auto look = [](frmYear& w) {
        w.show();
        QApplication::processEvents();
        QTableWidget* table = w.sstYear->table();
        for (int c = 1; c <= 6; ++c) {
            SCOPED_TRACE(w.sstYear->text(c, 0));
            const int col = c - 1;
            const int left = table->columnViewportPosition(col);
            EXPECT_GE(left, 0);
            EXPECT_LE(left + table->columnWidth(col), table->viewport()->width()) << "the column runs out of the grid";
            EXPECT_GE(table->columnWidth(col), table->horizontalHeader()->sectionSizeHint(col)) << "heading cut";
            for (int r = 0; r < 2; ++r)
                EXPECT_GE(table->columnWidth(col), table->sizeHintForIndex(table->model()->index(r, col)).width())
                    << "text cut: " << table->item(r, col)->text().toStdString();
        }
        EXPECT_TRUE(w.rect().contains(QRect(w.sstYear->mapTo(&w, QPoint()), w.sstYear->size())));
    };
    open([&](frmYear& w) {
        look(w);
        w.cmdBack_Click();
    });
    frmYear::setModalRunnerForTesting([&](frmYear& w) {
        look(w);
        w.cmdNo_Click();
    });
    frmYear rule;
    rule.mfnfShowForm(9, 3, "2026/5/1");
}

TEST_F(List, TitleClicksSortAscendingThenDescendingAndResetRestoresDateOrder) {
    addSpecialDay(2026, 3, 20, 9);
    addSpecialDay(2027, 1, 5, 9);
    addSpecialDay(2026, 12, 31, 9);
    open([&](frmYear& w) {
        const auto days = [&] { return column(w, 3); };
        EXPECT_EQ(days(), (std::vector<std::string>{"２０", "３１", "５"}));
        w.sstYear_Click(3, 0);
        EXPECT_EQ(days(), (std::vector<std::string>{"５", "２０", "３１"}));
        w.sstYear_Click(3, 0);
        EXPECT_EQ(days(), (std::vector<std::string>{"３１", "２０", "５"}));
        w.sstYear_Click(3, 0);
        EXPECT_EQ(days(), (std::vector<std::string>{"５", "２０", "３１"}));
        w.cmdResetSort_Click();
        EXPECT_EQ(days(), (std::vector<std::string>{"２０", "３１", "５"}));
        EXPECT_EQ(w.sortColumn(), 0);
        w.sstYear_Click(3, 0);
        EXPECT_EQ(days(), (std::vector<std::string>{"５", "２０", "３１"}));
        w.cmdBack_Click();
    });
}

TEST_F(List, LogModeDeletesTheSelectedRows) {
    gintLogMode = vbTrue;
    for (int d : {1, 2, 3, 4}) addSpecialDay(2027, 2, d, 9);
    const bool changed = open([&](frmYear& w) {
        EXPECT_FALSE(w.cmdDelete->isHidden());
        EXPECT_FALSE(w.lblMode->isHidden());
        forms::resetBeepCount();
        w.cmdDelete_Click();
        EXPECT_EQ(forms::beepCount(), 1);
        auto* sel = w.sstYear->table()->selectionModel();
        for (int row : {1, 3})
            sel->select(w.sstYear->table()->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        dialogs_.expect("選択された、登録をすべて削除しますか？", forms::vbYes);
        w.cmdDelete_Click();
        EXPECT_EQ(column(w, 3), (std::vector<std::string>{"１", "３"}));
        w.cmdBack_Click();
    });
    EXPECT_TRUE(changed);
    EXPECT_TRUE(gfChanged);
    EXPECT_EQ(specialDays(), (std::vector<YearRow>{{2027, 2, 1, 9, ""}, {2027, 2, 3, 9, ""}}));
}

TEST_F(List, ShiftCtrlRightClickEmptiesEveryYear) {
    addSpecialDay(2027, 2, 1, 9);
    addSpecialDay(2040, 2, 1, 9);
    const bool changed = open([&](frmYear& w) {
        w.sstYear_MouseDown(forms::vbRightButton, forms::vbShiftMask);  // Shift alone: nothing
        dialogs_.expect("すべて削除しますか？", forms::vbYes);
        w.sstYear_MouseDown(forms::vbRightButton, forms::vbShiftMask | forms::vbCtrlMask);
        EXPECT_TRUE(column(w, 1).empty());
        w.cmdBack_Click();
    });
    EXPECT_TRUE(changed);
    EXPECT_TRUE(specialDays().empty());
}

}  // namespace
