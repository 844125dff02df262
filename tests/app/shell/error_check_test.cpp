// The data check before a card write: what it finds, and how Next and Back answer.
#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <tuple>
#include <vector>

#include "core/database.h"
#include "shell/error_check.h"
#include "shell_fixture.h"

namespace {

struct Row {
    std::string kind, message, level;
    bool operator==(const Row&) const = default;
};

class DataCheck : public shelltest::ProgramFolder {
public:
    void SetUp() override {
        ProgramFolder::SetUp();
        started();
        ASSERT_TRUE(main_->mfnfMakeNewFile());
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
        // A sound document: every weekday pattern has steps, holidays unused, pattern 8
        // empty, one special day this year on pattern 9, which has steps.
        gdbWork.execute("DELETE FROM tblDayStep");
        gdbWork.execute("DELETE FROM tblYear");
        for (int p = 1; p <= 7; ++p) addSteps(p);
        addSteps(9);
        addYear(2026, 12, 24, 9);
        setHolidayUse(255);
    }
    void addSteps(int pattern) {
        gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, 9, 0, 1)",
                        {pattern});
    }
    void addYear(int y, int m, int d, int pattern) {
        gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (?1, ?2, ?3, ?4)",
                        {y, m, d, pattern});
    }
    void setHolidayUse(int pattern) {
        gdbWork.execute("UPDATE tblSyukujitu SET fldSyukujitu = ?1 WHERE fldDay = 0", {pattern});
    }
    // Runs the check; `onList` acts on the modal list (rows are captured first).
    bool check(int mode, std::function<void(frmError&)> onList = {}) {
        rows_.clear();
        listShown_ = false;
        // The check lets events run before its list is up: poll for the modal list.
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this, onList, &poll] {
            auto* w = qobject_cast<frmError*>(QApplication::activeModalWidget());
            if (!w) return;
            poll.stop();
            listShown_ = true;
            nextEnabled_ = w->cmdNext()->isEnabled() && !w->cmdNext()->isHidden();
            for (int i = 0; i < w->lvwError()->topLevelItemCount(); ++i) {
                auto* item = w->lvwError()->topLevelItem(i);
                rows_.push_back({item->text(0).toStdString(), item->text(1).toStdString(), item->text(2).toStdString()});
            }
            if (onList) onList(*w);
            if (w->isVisible()) w->cmdBack_Click();
        });
        poll.start();
        return frmError::gfnfCheckDataError(mode, main_.get());
    }
    // Clicks as the user does: a disabled button does nothing.
    static void next(frmError& w) { w.cmdNext()->click(); }
    static void back(frmError& w) { w.cmdBack()->click(); }

    std::vector<Row> rows_;
    bool listShown_ = false;
    bool nextEnabled_ = false;
};

TEST_F(DataCheck, ASoundDocumentPassesWithoutShowingAnything) {
    EXPECT_TRUE(check(0));
    EXPECT_FALSE(listShown_);
    EXPECT_EQ(forms::beepCount(), 0);
}

TEST_F(DataCheck, AnEmptySpecialDayPatternInUseBlocksTheWrite) {
    addYear(2027, 1, 5, 10);  // pattern 10 has no steps
    EXPECT_FALSE(check(0, next));  // Next is disabled: its click must not let the write go on
    ASSERT_TRUE(listShown_);
    EXPECT_FALSE(nextEnabled_);
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(rows_[0].kind, "特定日スケジュール");
    EXPECT_EQ(rows_[0].level, "警告");
    EXPECT_NE(rows_[0].message.find("は内容が登録されていません。"), std::string::npos);
}

TEST_F(DataCheck, WarningsOnlyLetTheUserChoose) {
    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo = 3");
    EXPECT_TRUE(check(0, next));
    EXPECT_TRUE(nextEnabled_);
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(rows_[0].level, "注意");
    EXPECT_FALSE(check(0, back));
}

struct LaterCheck {
    const char* name;
    std::function<void(DataCheck&)> arrange;
    Row expected;
};

class LaterChecks : public DataCheck, public ::testing::WithParamInterface<LaterCheck> {
};

TEST_P(LaterChecks, FindOneWarningEach) {
    GetParam().arrange(*this);
    EXPECT_TRUE(check(0, next));
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(rows_[0], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    DataCheck, LaterChecks,
    ::testing::Values(
        LaterCheck{"NoWeekdayStepsGivesOneRowNotSeven",
                   [](DataCheck&) { gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo BETWEEN 1 AND 7"); },
                   {"曜日スケジュール", "曜日スケジュールが１つも登録されていません。", "注意"}},
        LaterCheck{"HolidayPatternWithStepsButHolidaysUnused", [](DataCheck& t) { t.addSteps(8); },
                   {"祝日スケジュール", "祝日の使用が設定されていません。", "注意"}},
        LaterCheck{"SpecialDaysOnlyOutsideTheTenYears",
                   [](DataCheck& t) {
                       gdbWork.execute("DELETE FROM tblYear");
                       t.addYear(2025, 5, 1, 9);
                       t.addYear(2036, 5, 1, 9);
                   },
                   {"特定日スケジュール", "特定日スケジュールの登録が１つもされていません。", "注意"}}),
    [](const ::testing::TestParamInfo<LaterCheck>& info) { return std::string(info.param.name); });

TEST_F(DataCheck, AStandAloneCheckReportsItsResult) {
    dialogs_.expect("エラーは見つかりませんでした。");
    EXPECT_FALSE(check(1));
    EXPECT_EQ(dialogs_.pending(), 0u);

    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo = 3");
    EXPECT_TRUE(check(1));
    EXPECT_TRUE(listShown_);
    EXPECT_FALSE(nextEnabled_) << "a stand-alone check offers Back only";
}

// Every heading and every text of the list is shown whole, in the gate before a write and
// in the stand-alone check, and the buttons lie inside the window.
TEST_F(DataCheck, TheListShowsEveryColumnWhole) {
    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo IN (2, 9)");
    addSteps(8);
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        bool looked = false;
        check(mode, [&](frmError& w) {
            looked = true;
            QTreeWidget* list = w.lvwError();
            ASSERT_EQ(list->topLevelItemCount(), 3);
            QApplication::processEvents();
            int right = 0;
            for (int c = 0; c < 3; ++c) {
                SCOPED_TRACE(list->headerItem()->text(c).toStdString());
                EXPECT_GE(list->columnWidth(c), list->header()->sectionSizeHint(c)) << "heading cut";
                for (int r = 0; r < list->topLevelItemCount(); ++r)
                    EXPECT_GE(list->columnWidth(c), list->sizeHintForIndex(list->model()->index(r, c)).width())
                        << "text cut: " << list->topLevelItem(r)->text(c).toStdString();
                right += list->columnWidth(c);
            }
            EXPECT_LE(right, list->viewport()->width()) << "the last column runs out of the list";
            for (QWidget* c : std::initializer_list<QWidget*>{list, w.cmdBack()})
                EXPECT_TRUE(w.rect().contains(QRect(c->mapTo(&w, QPoint()), c->size())));
            w.cmdBack_Click();
        });
        EXPECT_TRUE(looked);
    }
}

TEST_F(DataCheck, ColumnClicksSortAndFlip) {
    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo IN (2, 3)");
    addSteps(8);
    std::vector<std::string> firstColumnOrder;
    check(0, [&](frmError& w) {
        auto firstKind = [&] { return w.lvwError()->topLevelItem(0)->text(0).toStdString(); };
        w.lvwError_ColumnClick(0);  // the first click on the sort column sorts descending
        firstColumnOrder.push_back(firstKind());
        w.lvwError_ColumnClick(0);
        firstColumnOrder.push_back(firstKind());
        w.cmdBack_Click();
    });
    ASSERT_EQ(rows_.size(), 3u);
    EXPECT_EQ(firstColumnOrder, (std::vector<std::string>{"祝日スケジュール", "曜日スケジュール"}));
}

}  // namespace
