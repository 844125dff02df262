// The progress window: its cancel, and what it shows before the work that follows starts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <vector>

#include "core/globals.h"
#include "forms/msgbox.h"
#include "wizard/progress.h"

namespace {

TEST(ProgressWindow, CancelAsksAndSetsTheFlagOnlyOnYes) {
    forms::ScriptedDialogs dialogs;
    QWidget owner;
    owner.resize(800, 600);
    gfCancel = vbTrue;  // left over from an earlier operation
    {
        frmWorking w(&owner);
        EXPECT_FALSE(gfCancel);
        EXPECT_EQ(w.windowTitle(), "動作中");
        EXPECT_EQ(w.lblWorking()->text(), "データ書き込み中");
        w.msbShowForm(40);
        EXPECT_EQ(w.pgbWorking()->maximum(), 40);
        dialogs.expect("中止するとカードが壊れる可能性があります。\r\n中止しますか？", forms::vbNo);
        w.cmdCancel()->click();
        EXPECT_FALSE(gfCancel);
        dialogs.expect("中止しますか？", forms::vbYes);
        w.cmdCancel()->click();
        EXPECT_TRUE(gfCancel);
        EXPECT_EQ(dialogs.shown().back().style, forms::vbYesNo | forms::vbCritical);
        EXPECT_FALSE(w.close()) << "only its owner ends it";
    }
    frmWorking next(&owner);
    EXPECT_FALSE(gfCancel);
}

// The card operation that follows the show keeps the thread busy: everything the user
// is to see must have been painted by the time show returns.
TEST(ProgressWindow, ShowPaintsCaptionTextAndBarBeforeTheWorkStarts) {
    QWidget owner;
    owner.resize(800, 600);
    owner.show();
    QApplication::processEvents();
    frmWorking w(&owner);
    w.pgbWorking()->setRange(0, 300);
    w.pgbWorking()->setValue(150);
    w.lblWorking()->setText("新規ファイル作成中");

    struct PaintLog : QObject {
        std::vector<QString> texts;
        std::vector<int> values;
        int windowPaints = 0;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() != QEvent::Paint) return false;
            if (auto* l = qobject_cast<QLabel*>(o)) texts.push_back(l->text());
            if (auto* b = qobject_cast<QProgressBar*>(o)) values.push_back(b->value());
            if (qobject_cast<frmWorking*>(o)) ++windowPaints;
            return false;
        }
    } log;
    for (QObject* o : std::initializer_list<QObject*>{&w, w.lblWorking(), w.pgbWorking()}) o->installEventFilter(&log);

    w.show();  // as the card window does; nothing else runs before its work
    EXPECT_EQ(w.windowTitle(), "動作中");
    EXPECT_GT(log.windowPaints, 0);
    ASSERT_FALSE(log.texts.empty()) << "the text was not drawn";
    EXPECT_EQ(log.texts.back(), "新規ファイル作成中");
    ASSERT_FALSE(log.values.empty()) << "the bar was not drawn";
    EXPECT_EQ(log.values.back(), 150);
    for (QObject* o : std::initializer_list<QObject*>{&w, w.lblWorking(), w.pgbWorking()}) o->removeEventFilter(&log);
}

}  // namespace
