// The pattern copy window: drops copy patterns, refusals change nothing, view mode only
// shows, and a label double-click switches the editor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "forms/services.h"
#include "patterns/frm_pattern.h"
#include "patterns/frm_pattern_copy.h"
#include "patterns_fixture.h"

namespace {

using patterntest::hm;

class PatternCopy : public patterntest::Document {
protected:
    // Shows the window modally and runs `work` inside it; the work ends by closing it.
    bool run(frmPatternCopy& w, int pattern, int mode, std::function<void()> work) {
        QTimer::singleShot(0, &w, [&w, work] {
            work();
            if (w.isVisible()) w.cmdBack_Click();
        });
        return w.mfnfShowForm(pattern, mode);
    }
    static long long colour(QWidget* w) { return w->property("backColor").toLongLong(); }
};

TEST_F(PatternCopy, DropsCopyOntoChartsAndSpecialDayButtons) {
    addSteps(2, {{hm(9, 0), 1}, {hm(17, 0), 0}});
    addSteps(12, {{hm(8, 0), 3}});
    exec("UPDATE tblDayPattern SET fldName = 'Holiday' WHERE fldNo = 8");
    frmPatternCopy w;
    const bool changed = run(w, 1, 0, [&] {
        EXPECT_EQ(w.lblPattern(0)->property("tag").toString().toStdString(), "9");
        w.picPattern_MouseDown(2);
        EXPECT_EQ(w.dragIcon(), 3);
        w.target_DragOver(1);
        EXPECT_EQ(w.dragIcon(), 22);
        w.target_DragOver(0);
        EXPECT_EQ(w.dragIcon(), 3);
        w.picPattern_DragDrop(8);
        EXPECT_EQ(steps(8).size(), 2u);
        EXPECT_EQ(textOf("SELECT fldName FROM tblDayPattern WHERE fldNo = 8"), "Holiday");
        // Onto button C while A is on show: the chart switches to C.
        w.optPattern_DragDrop(11);
        EXPECT_EQ(steps(11).size(), 2u);
        EXPECT_EQ(w.lblPattern(0)->property("tag").toString().toStdString(), "11");
        EXPECT_EQ(colour(w.optPattern(11)), 0xC0FFC0);
        EXPECT_EQ(colour(w.optPattern(13)), forms::vbButtonFace);
        // The shown special-day chart onto itself, and onto its own button.
        dialogs_.expect("コピー元とコピー先が同じです。").expect("コピー元とコピー先が同じです。");
        w.picPattern_MouseDown(0);
        w.picPattern_DragDrop(0);
        w.optPattern_DragDrop(11);
        // Overwriting asks; No leaves the target alone.
        dialogs_.expect("上書きしてもいいですか？", forms::vbNo);
        w.optPattern_DragDrop(12);
        EXPECT_EQ(steps(12).size(), 1u);
        EXPECT_TRUE(w.isEnabled());
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(gfChanged, vbTrue);
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(PatternCopy, AClosedWindowWithoutCopiesReportsNoChange) {
    addSteps(2, {{hm(9, 0), 1}});
    frmPatternCopy w;
    dialogs_.expect("コピー元の登録がないのでコピーできません。");
    EXPECT_FALSE(run(w, 12, 0, [&] {
        EXPECT_EQ(w.lblPattern(0)->property("tag").toString().toStdString(), "12");
        w.picPattern_MouseDown(3);
        w.picPattern_DragDrop(4);
    }));
    EXPECT_EQ(gfChanged, vbFalse);
}

TEST_F(PatternCopy, ViewModeOnlyShows) {
    frmPatternCopy w;
    EXPECT_FALSE(run(w, 1, 1, [&] {
        for (int i = 0; i <= 8; ++i) EXPECT_FALSE(w.picPattern(i)->isEnabled());
        EXPECT_FALSE(w.mnuHelpWindow()->isVisible());
        EXPECT_EQ(w.lblHint()->text().toStdString(), "スケジュールの編集は、各スケジュールの編集画面で行ってください。");
        w.lblPattern_DblClick(3);
        EXPECT_TRUE(w.isVisible());
    }));
    EXPECT_EQ(forms::beepCount(), 0);
}

TEST_F(PatternCopy, ALabelDoubleClickSwitchesTheEditorToAPatternItOffers) {
    addSteps(2, {{hm(9, 0), 1}});
    frmPattern editor;
    editor.msbShowForm(1);
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<frmPatternCopy*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        w->lblPattern_DblClick(8);  // the weekday editor does not offer the holiday pattern
        EXPECT_EQ(forms::beepCount(), 1);
        w->lblPattern_DblClick(3);
    });
    editor.cmdCopy_Click();
    EXPECT_EQ(editor.currentPattern(), 3);
    EXPECT_TRUE(editor.optPattern(3)->value());
}

}  // namespace
