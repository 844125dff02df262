// The day-pattern editor driven through its controls on a new document.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include <cmath>

#include "core/timechart.h"
#include "core/uc_numeric.h"
#include "forms/services.h"
#include "patterns/frm_pattern.h"
#include "patterns/links.h"
#include "patterns_fixture.h"
#include "wizard/pages.h"

namespace {

using patterntest::hm;
using Steps = std::vector<patterns::DayStep>;

class Editor : public patterntest::Document {
protected:
    void TearDown() override {
        delete ed_;
        patterns::setPrintEntry({});
        Document::TearDown();
    }
    frmPattern& open(int pattern) {
        ed_ = new frmPattern;
        ed_->msbShowForm(pattern);
        return *ed_;
    }
    void setRange(int start, int end) {
        ed_->unmHour(0)->SetValue(start / 60);
        ed_->unmMinute(0)->SetValue(start % 60);
        ed_->unmHour(1)->SetValue(end / 60);
        ed_->unmMinute(1)->SetValue(end % 60);
    }
    void set(int start, int end, int channel) {
        setRange(start, end);
        ed_->sstMessage()->setActiveCell(1, channel + 1);
        ed_->cmdSet_Click();
    }
    std::string cell(int col, int row) const { return ed_->sstDayStep()->text(col, row); }
    // The chart point of a minute on the upright chart.
    double yOf(int minute) const {
        const auto& m = ed_->chartMetrics();
        return minute * (m.height - m.labelHeight) / 1440 + m.labelHeight / 2;
    }

    frmPattern* ed_ = nullptr;
};

TEST_F(Editor, OpensEachKindOfPatternWithItsOwnControls) {
    struct Case {
        int pattern;
        bool weekdays, holiday, special, back, ok;
        const char* caption;
    };
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8 WHERE fldDay = 0");
    for (const Case& c : {Case{3, true, false, false, true, false, "曜日スケジュールの編集"},
                          Case{8, false, true, false, true, false, "祝日スケジュールの編集"},
                          Case{12, false, false, true, false, true, "特定日スケジュールの編集"}}) {
        SCOPED_TRACE(c.pattern);
        frmPattern& ed = open(c.pattern);
        EXPECT_EQ(ed.currentPattern(), c.pattern);
        EXPECT_EQ(!ed.optPattern(1)->isHidden(), c.weekdays);
        EXPECT_EQ(!ed.optPattern(8)->isHidden(), c.holiday);
        EXPECT_EQ(!ed.optPattern(9)->isHidden(), c.special);
        EXPECT_EQ(!ed.chkSyukujitu()->isHidden(), c.holiday);
        EXPECT_EQ(!ed.txtComment()->isHidden(), c.special);
        EXPECT_EQ(!ed.cmdBack()->isHidden(), c.back);
        EXPECT_EQ(!ed.cmdOk()->isHidden(), c.ok);
        EXPECT_EQ(ed.windowTitle().toStdString(), c.caption);
        EXPECT_TRUE(ed.optPattern(c.pattern)->value());
        delete ed_;
        ed_ = nullptr;
    }
}

TEST_F(Editor, AnEmptyPatternShowsOneStoppedRowAndTwentyFourFreeSteps) {
    frmPattern& ed = open(1);
    EXPECT_EQ(cell(2, 1), " 0:00");
    EXPECT_EQ(cell(3, 1), "24:00");
    EXPECT_EQ(cell(4, 1), "停止");
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(ed.lblStepRemain()->text().toStdString(), "24");
    EXPECT_EQ(ed.lblStepRemainTag(), "24");
}

TEST_F(Editor, PatternNumbersOutsideOneToTwentyBeepAndClose) {
    for (int n : {0, 21, 25}) {
        frmPattern& ed = open(n);
        EXPECT_TRUE(ed.isUnloaded()) << n;
        ed_ = nullptr;  // it ends itself
        forms::doEvents();
    }
    EXPECT_EQ(forms::beepCount(), 3);
}

TEST_F(Editor, SettingRangesRewritesTheStepsAndMovesTheFieldsOn) {
    frmPattern& ed = open(2);
    set(hm(9, 0), hm(17, 0), 1);
    EXPECT_EQ(steps(2), (Steps{{hm(9, 0), 1}, {hm(17, 0), 0}}));
    EXPECT_EQ(ed.lblStepRemain()->text().toStdString(), "22");
    EXPECT_EQ(gfChanged, vbTrue);
    EXPECT_EQ(ed.unmHour(0)->Value(), 17);
    EXPECT_EQ(cell(2, 2), " 9:00");
    EXPECT_EQ(cell(4, 2), " 1");
    set(hm(12, 0), hm(13, 0), 2);
    EXPECT_EQ(steps(2), (Steps{{hm(9, 0), 1}, {hm(12, 0), 2}, {hm(13, 0), 1}, {hm(17, 0), 0}}));
    // Replacing the chosen row 12:00-13:00.
    ed.sstDayStep_Click(1, 3);
    EXPECT_EQ(ed.lblStepNo()->text().toStdString(), "3");
    EXPECT_EQ(ed.unmHour(0)->Value(), 12);
    EXPECT_EQ(ed.sstMessage()->activeRow(), 3);
    set(hm(15, 0), hm(16, 0), 2);
    EXPECT_EQ(steps(2), (Steps{{hm(9, 0), 1}, {hm(12, 0), 0}, {hm(13, 0), 1}, {hm(15, 0), 2}, {hm(16, 0), 1}, {hm(17, 0), 0}}));
    set(0, 1440, 0);
    EXPECT_TRUE(steps(2).empty());
    EXPECT_EQ(ed.lblStepRemain()->text().toStdString(), "24");
    EXPECT_EQ(ed.unmHour(0)->Value() + ed.unmMinute(0)->Value() + ed.unmHour(1)->Value(), 0);
}

TEST_F(Editor, RefusesAnEndNotAfterTheStartAndAnEditBeyondTwentyFourSteps) {
    Steps full;
    for (int i = 0; i < 24; ++i) full.push_back({hm(1 + i / 2, (i % 2) * 30), i % 2 + 1});
    addSteps(3, full);
    frmPattern& ed = open(3);
    EXPECT_EQ(ed.lblStepRemain()->property("foreColor").toLongLong(), 255);
    dialogs_.expect("終了時刻が不正です。");
    set(hm(10, 0), hm(10, 0), 1);
    dialogs_.expect("残り登録数がないので、登録できません。");
    set(hm(20, 0), hm(21, 0), 3);
    EXPECT_EQ(steps(3), full);
    EXPECT_EQ(gfChanged, vbFalse);
    // Moving a step keeps the count at 24 and is accepted.
    set(hm(0, 30), hm(1, 0), 1);
    EXPECT_EQ(steps(3).size(), 24u);
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(Editor, SetWithNoChannelChosenWritesNothing) {
    frmPattern& ed = open(1);
    setRange(hm(9, 0), hm(10, 0));
    ed.sstMessage()->clearSelection();
    ed.cmdSet_Click();
    EXPECT_TRUE(steps(1).empty());
    EXPECT_EQ(forms::beepCount(), 1);
}

TEST_F(Editor, RemainingStepsTurnRedAtFour) {
    Steps s;
    for (int i = 0; i < 19; ++i) s.push_back({hm(i + 1, 0), i % 2 + 1});
    addSteps(1, s);
    frmPattern& ed = open(1);
    EXPECT_EQ(ed.lblStepRemain()->text().toStdString(), "5");
    EXPECT_EQ(ed.lblStepRemain()->property("foreColor").toLongLong(), forms::vbButtonText);
    set(hm(21, 0), hm(22, 0), 3);
    EXPECT_EQ(ed.lblStepRemain()->text().toStdString(), "3");
    EXPECT_EQ(ed.lblStepRemain()->property("foreColor").toLongLong(), 255);
}

TEST_F(Editor, ChartPressesAndDragsFillTheTimeFieldsInTenMinuteSteps) {
    frmPattern& ed = open(1);
    ed.picTimeChart_MouseDown(forms::vbLeftButton, 0, yOf(hm(9, 7)));
    EXPECT_EQ(ed.unmHour(0)->Value() * 60 + ed.unmMinute(0)->Value(), hm(9, 0));
    EXPECT_TRUE(ed.shpTimeSet()->isHidden());
    ed.picTimeChart_MouseMove(forms::vbLeftButton, 0, yOf(hm(17, 23)));
    EXPECT_EQ(ed.unmHour(1)->Value() * 60 + ed.unmMinute(1)->Value(), hm(17, 20));
    EXPECT_FALSE(ed.shpTimeSet()->isHidden());
    EXPECT_EQ(ed.picTimeTag(), "17:20");
    // Dragging the end above the start leaves an empty range.
    ed.picTimeChart_MouseMove(forms::vbLeftButton, 0, yOf(hm(8, 0)));
    EXPECT_EQ(ed.unmHour(1)->Value(), 9);
    EXPECT_TRUE(ed.shpTimeSet()->isHidden());
    ed.picTimeChart_MouseMove(forms::vbLeftButton, 0, yOf(hm(17, 0)));
    ed.picTimeChart_MouseUp(forms::vbLeftButton, 0, yOf(hm(17, 0)));
    EXPECT_TRUE(ed.picTime()->isHidden());
    // Grabbing the edges of the shown range, or starting anew.
    ed.picTimeChart_MouseDown(forms::vbLeftButton, 0, yOf(hm(9, 5)));
    EXPECT_EQ(ed.dragMode(), 1);
    ed.picTimeChart_MouseMove(forms::vbLeftButton, 0, yOf(hm(18, 0)));
    EXPECT_EQ(ed.unmHour(0)->Value(), 17);  // the start stops at the end
    ed.picTimeChart_MouseDown(forms::vbLeftButton, 0, yOf(hm(17, 5)));
    EXPECT_EQ(ed.dragMode(), 0);  // an empty range shows no edges to grab
    ed.picTimeChart_MouseDown(forms::vbLeftButton, 0, yOf(hm(12, 0)));
    EXPECT_EQ(ed.dragMode(), 0);
    EXPECT_EQ(ed.unmHour(0)->Value(), 12);
    // Below the last line: 23:00 twice, and dragging changes nothing.
    ed.picTimeChart_MouseDown(forms::vbLeftButton, 0, 99999);
    EXPECT_EQ(ed.dragMode(), 3);
    ed.picTimeChart_MouseMove(forms::vbLeftButton, 0, yOf(hm(5, 0)));
    EXPECT_EQ(ed.unmHour(0)->Value(), 23);
    EXPECT_EQ(ed.unmHour(1)->Value(), 23);
}

TEST_F(Editor, APressWithTheMouseTakesTheMarkUnderThePointer) {
    frmPattern& ed = open(1);
    ed.show();
    forms::PictureBox* chart = ed.picTimeChart();
    // The pixel on which the chart draws the line of a minute.
    const auto pixelOf = [&](int minute) {
        FrameRect r;
        gsbGetChartScale(*chart, static_cast<std::int16_t>(minute), r);
        return QPoint(chart->width() / 3, static_cast<int>(std::floor(r.Top / 15.0 + 0.5)));
    };
    struct Case {
        int pressedAt, start;
    };
    for (const Case& c : {Case{hm(9, 0), hm(9, 0)}, Case{hm(9, 7), hm(9, 0)}, Case{hm(20, 0), hm(20, 0)},
                          Case{hm(0, 0), 0}, Case{hm(12, 30), hm(12, 30)}}) {
        SCOPED_TRACE(c.pressedAt);
        QTest::mouseClick(chart, Qt::LeftButton, {}, pixelOf(c.pressedAt));
        EXPECT_EQ(ed.unmHour(0)->Value() * 60 + ed.unmMinute(0)->Value(), c.start);
    }
    // A drag shows the range from the pressed mark to the mark under the pointer.
    QTest::mousePress(chart, Qt::LeftButton, {}, pixelOf(hm(8, 0)));
    QMouseEvent move(QEvent::MouseMove, pixelOf(hm(17, 23)), chart->mapToGlobal(pixelOf(hm(17, 23))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, pixelOf(hm(17, 23)));
    EXPECT_EQ(ed.unmHour(0)->Value() * 60 + ed.unmMinute(0)->Value(), hm(8, 0));
    EXPECT_EQ(ed.unmHour(1)->Value() * 60 + ed.unmMinute(1)->Value(), hm(17, 20));
}

TEST_F(Editor, DoubleClickOnTheChartChoosesTheEarlierRowOnABorder) {
    addSteps(1, {{hm(9, 0), 1}, {hm(12, 0), 2}, {hm(13, 0), 1}});
    frmPattern& ed = open(1);
    ed.picTimeChart_MouseDown(forms::vbLeftButton, 0, yOf(hm(12, 0)));
    ed.picTimeChart_MouseUp(forms::vbLeftButton, 0, yOf(hm(12, 0)));
    ed.picTimeChart_DblClick();
    ed.picTimeChart_MouseUp(forms::vbLeftButton, 0, yOf(hm(12, 0)));
    EXPECT_EQ(ed.lblStepNo()->text().toStdString(), "2");
    EXPECT_EQ(ed.sstDayStep()->operationMode(), forms::Grid::OperationMode::SingleSelect);
    EXPECT_EQ(ed.unmHour(0)->Value(), 9);
    EXPECT_EQ(ed.unmHour(1)->Value(), 12);
    EXPECT_EQ(ed.sstMessage()->activeRow(), 2);
}

TEST_F(Editor, EndHourTwentyFourFixesTheEndMinute) {
    frmPattern& ed = open(1);
    ed.unmMinute(1)->SetValue(30);
    ed.unmHour(1)->SetValue(24);
    EXPECT_EQ(ed.unmMinute(1)->Value(), 0);
    EXPECT_FALSE(ed.unmMinute(1)->Enabled());
    ed.unmHour(1)->SetValue(23);
    EXPECT_TRUE(ed.unmMinute(1)->Enabled());
}

TEST_F(Editor, EnterMovesTheFocusThroughTheTimeFields) {
    frmPattern& ed = open(1);
    ed.activateWindow();
    QApplication::setActiveWindow(&ed);
    const auto enterFrom = [&](QWidget* from) {
        from->setFocus();
        int key = 13;
        ed.Form_KeyPress(key);
        EXPECT_EQ(key, 0);
        return QApplication::focusWidget();
    };
    ed.unmHour(1)->SetValue(23);
    EXPECT_TRUE(ed.unmMinute(1)->isAncestorOf(enterFrom(ed.unmHour(1)->textBox())));
    ed.unmHour(1)->SetValue(24);
    QWidget* next = enterFrom(ed.unmHour(1)->textBox());
    EXPECT_TRUE(next == ed.sstMessage() || ed.sstMessage()->isAncestorOf(next));
}

TEST_F(Editor, RenamesAChannelInPlace) {
    frmPattern& ed = open(1);
    ed.sstMessage_DblClick(3, 3);  // column 3 starts nothing
    ed.sstMessage_DblClick(2, 1);  // neither does the stop row
    EXPECT_TRUE(ed.txtMsgName()->isHidden());
    ed.sstMessage_DblClick(2, 3);
    EXPECT_FALSE(ed.txtMsgName()->isHidden());
    ed.txtMsgName_LostFocus();  // unchanged: nothing written
    EXPECT_EQ(gfChanged, vbFalse);
    ed.sstMessage_DblClick(2, 3);
    ed.txtMsgName()->setText(QString::fromUtf8("営業時間外のご案内です。お問い合わせ  "));
    EXPECT_EQ(forms::beepCount(), 1);  // cut to 20 bytes
    ed.txtMsgName_LostFocus();
    EXPECT_EQ(textOf("SELECT fldComment FROM tblMessage WHERE fldCh = 2"), "営業時間外のご案内で");
    EXPECT_EQ(ed.sstMessage()->text(2, 3), "営業時間外のご案内で");
    EXPECT_EQ(gfChanged, vbTrue);
}

TEST_F(Editor, AnswerModesSwitchPerChannelAndAllAtOnce) {
    gfBrandMode = vbTrue;
    exec("UPDATE tblMessage SET fldAnsRec = True WHERE fldCh IN (2, 5)");
    frmPattern& ed = open(1);
    EXPECT_TRUE(ed.mnuMsgAnsRec()->isChecked());  // no note while loading
    EXPECT_FALSE(ed.sstAnsRec()->isHidden());
    ed.sstAnsRec_Click(1, 0);
    EXPECT_EQ(intOf("SELECT Count(*) FROM tblMessage WHERE fldCh <= 9 And fldAnsRec <> 0"), 0);
    EXPECT_TRUE(ed.lblAnsRec()->isHidden());
    ed.sstAnsRec_Click(1, 0);
    EXPECT_EQ(intOf("SELECT Count(*) FROM tblMessage WHERE fldCh <= 9 And fldAnsRec <> 0"), 9);
    ed.sstAnsRec_Click(1, 1);
    EXPECT_EQ(forms::beepCount(), 1);
    ed.sstAnsRec_Click(1, 4);
    EXPECT_EQ(intOf("SELECT fldAnsRec FROM tblMessage WHERE fldCh = 3"), 0);
    ed.sstAnsRec_Click(1, 0);
    gfChanged = vbFalse;
    // Unchecking with no recording channel writes nothing, yet hides the grid.
    ed.mnuMsgAnsRec_Click();
    EXPECT_EQ(gfChanged, vbFalse);
    EXPECT_TRUE(ed.sstAnsRec()->isHidden());
    dialogs_.expect("応答録音機能を使用するには");
    ed.mnuMsgAnsRec_Click();
    EXPECT_FALSE(ed.sstAnsRec()->isHidden());
}

TEST_F(Editor, HolidayPatternAsksToUseHolidaysAndNoLocksTheEditor) {
    exec("DELETE FROM tblSyukujitu WHERE fldDay = 0");
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8");
    dialogs_.expect("祝日を使用しますか？", forms::vbNo);
    frmPattern& ed = open(8);
    EXPECT_EQ(intOf("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0"), 255);
    EXPECT_EQ(intOf("SELECT fldMonday FROM tblSyukujitu WHERE fldDay = 0"), 255);
    EXPECT_EQ(textOf("SELECT fldComment FROM tblSyukujitu WHERE fldDay = 0"), "登録値保持用");
    EXPECT_FALSE(ed.chkSyukujitu()->isChecked());
    EXPECT_FALSE(ed.cmdSet()->isEnabled());
    EXPECT_FALSE(ed.cmdSyukujitu()->isEnabled());
    // Ticking it asks nothing and enables editing.
    ed.chkSyukujitu()->setValue(forms::vbChecked);
    EXPECT_EQ(intOf("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0"), 8);
    EXPECT_TRUE(ed.cmdSet()->isEnabled());
}

TEST_F(Editor, HolidaySwitchesWriteTheSettingsRow) {
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 255, fldMonday = 8 WHERE fldDay = 0");
    dialogs_.expect("祝日を使用しますか？", forms::vbYes);
    frmPattern& ed = open(8);
    EXPECT_TRUE(ed.chkFurikae()->isChecked());
    EXPECT_EQ(intOf("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0"), 8);
    gfChanged = vbFalse;
    dialogs_.expect("祝日の使用を停止しますか？", forms::vbNo);
    ed.chkSyukujitu()->setValue(forms::vbUnchecked);
    EXPECT_TRUE(ed.chkSyukujitu()->isChecked());
    EXPECT_EQ(gfChanged, vbFalse);
    dialogs_.expect("祝日の使用を停止しますか？", forms::vbYes);
    ed.chkSyukujitu()->setValue(forms::vbUnchecked);
    EXPECT_EQ(intOf("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0"), 255);
    EXPECT_EQ(intOf("SELECT fldMonday FROM tblSyukujitu WHERE fldDay = 0"), 8);
    EXPECT_FALSE(ed.cmdSyukujitu()->isEnabled());
    EXPECT_EQ(gfChanged, vbTrue);
    // Substitute holidays: ticking also switches holidays on; unticking only itself.
    ed.chkFurikae()->setValue(forms::vbUnchecked);
    EXPECT_EQ(intOf("SELECT fldMonday FROM tblSyukujitu WHERE fldDay = 0"), 255);
    ed.chkFurikae()->setValue(forms::vbChecked);
    EXPECT_EQ(intOf("SELECT fldMonday FROM tblSyukujitu WHERE fldDay = 0"), 8);
    EXPECT_EQ(intOf("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0"), 8);
}

TEST_F(Editor, ClearingAPatternAsksAndKeepsOrEmptiesItsName) {
    addSteps(2, {{hm(9, 0), 1}});
    addSteps(11, {{hm(9, 0), 1}});
    exec("UPDATE tblDayPattern SET fldName = 'Sale' WHERE fldNo IN (2, 11)");
    exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2027, 5, 1, 11)");
    frmPattern& ed = open(2);
    dialogs_.expect("を削除してもよろしいですか？", forms::vbYes);
    ed.cmdDel_Click();
    EXPECT_TRUE(steps(2).empty());
    EXPECT_EQ(textOf("SELECT fldName FROM tblDayPattern WHERE fldNo = 2"), "Sale");
    ed.cmdDel_Click();  // nothing left to clear
    EXPECT_EQ(forms::beepCount(), 1);
    delete ed_;
    ed_ = nullptr;
    frmPattern& sp = open(11);
    dialogs_.expect("は特定日で使用されています。", forms::vbNo);
    sp.cmdDel_Click();
    EXPECT_EQ(steps(11).size(), 1u);
    dialogs_.expect("は特定日で使用されています。", forms::vbYes);
    sp.cmdDel_Click();
    EXPECT_TRUE(steps(11).empty());
    EXPECT_EQ(textOf("SELECT fldName FROM tblDayPattern WHERE fldNo = 11"), "");
    // Leaving the name box without typing writes no name.
    sp.txtComment_LostFocus();
    EXPECT_EQ(textOf("SELECT fldName FROM tblDayPattern WHERE fldNo = 11"), "");
    sp.txtComment()->setText("Winter ");
    sp.txtComment_LostFocus();
    EXPECT_EQ(textOf("SELECT fldName FROM tblDayPattern WHERE fldNo = 11"), "Winter");
    EXPECT_EQ(sp.optPattern(11)->toolTip().toStdString(), "Winter");
}

TEST_F(Editor, SelectorColoursFollowStepsAndErrors) {
    addSteps(1, {{hm(9, 0), 1}});
    addSteps(9, {{hm(9, 0), 1}});
    exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2027, 5, 1, 10)");
    frmPattern& ed = open(9);
    const auto colour = [&](int n) { return ed.optPattern(n)->property("backColor").toLongLong(); };
    EXPECT_EQ(colour(1), 0xFFC0C0);
    EXPECT_EQ(colour(2), forms::vbButtonFace);
    EXPECT_EQ(colour(9), 0xC0FFC0);
    EXPECT_EQ(colour(10), 0x8080FF);
    EXPECT_EQ(colour(11), forms::vbButtonFace);
}

TEST_F(Editor, PrintAndHelpMenusPassTheirModes) {
    std::vector<std::pair<int, int>> calls;
    patterns::setPrintEntry([&](int mode, int no) { calls.emplace_back(mode, no); });
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8 WHERE fldDay = 0");
    open(8).mnuPrintPrint_Click();
    ed_->mnuPrintSyukujitu_Click();
    delete ed_;
    open(11).mnuPrintPrint_Click();
    ed_->mnuPrintMsg_Click();
    delete ed_;
    open(4).mnuPrintPrint_Click();
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{8, 8}, {2, 0}, {9, 11}, {0, 0}, {7, 4}}));
}

TEST_F(Editor, TheWizardOpensWeekdaysForFormTwoAndHolidaysForFormThree) {
    patterns::registerPages();
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8 WHERE fldDay = 0");
    for (auto [form, pattern] : {std::pair{2, 1}, std::pair{3, 8}}) {
        wizard::Page* page = wizard::makePage(form, nullptr);
        EXPECT_EQ(page->objectName().toStdString(), "frmPattern");
        page->msbShowForm(form, 1);
        EXPECT_EQ(static_cast<frmPattern*>(page)->currentPattern(), pattern);
        delete page;
    }
    wizard::Page* settings = wizard::makePage(1, nullptr);
    EXPECT_EQ(settings->objectName().toStdString(), "frmSetting");
    delete settings;
    for (int form : {1, 2, 3}) wizard::registerPage(form, {});
}

}  // namespace
