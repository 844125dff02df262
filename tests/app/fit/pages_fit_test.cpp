// The pages of the main window at its default size: the start screen, the settings page,
// the day-pattern editor of each kind, the calendar, and every card page in each mode and
// tab.
#include <QApplication>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "calendar/schedule_window.h"
#include "core/database.h"
#include "fit_fixture.h"
#include "forms/controls.h"
#include "patterns/frm_pattern.h"
#include "patterns/frm_setting.h"

namespace fittest {
namespace {

class Pages : public Fit {
protected:
    template <class Page>
    Page* place() {
        auto* page = new Page(main_->clientArea());
        page->show();
        return page;
    }
};

// Clicks a grid cell as a hand would.
void clickCell(forms::Grid& grid, int col, int row) {
    QTableWidget* table = grid.table();
    const QRect cell = table->visualRect(table->model()->index(row - 1, col - 1));
    ASSERT_TRUE(table->viewport()->rect().contains(cell.center())) << "row " << row;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

TEST_F(Pages, StartScreenAndSettings) {
    expectPageFits(main_->startScreen(), "start_screen");
    main_->startScreen()->hide();
    auto* page = place<frmSetting>();
    page->msbShowForm(1, 1);
    const auto rowOf = [&](int no) {
        for (int r = 1; r <= page->sstSetting()->maxRows(); ++r)
            if (page->sstSetting()->text(5, r) == std::to_string(no)) return r;
        return 0;
    };
    // Each entry frame as the user reaches it: a click on a setting that uses it. The
    // digit code gets its longest value first; the message channel is an option row.
    const std::vector<std::pair<int, const char*>> settings = {
        {1, "ten_keys"}, {17, "words"}, {4, "numbers"}, {3, "messages"}};
    for (const auto& [no, frame] : settings) {
        SCOPED_TRACE(no);
        if (no == 3) {
            dialogs_.expect("オプション機能");
            QTest::mouseClick(page->chkOption(), Qt::LeftButton);
        }
        clickCell(*page->sstSetting(), 2, rowOf(no));
        ASSERT_EQ(page->lblSettingNo()->text().toInt(), rowOf(no));
        if (no == 1)
            for (int digit : {5, 3, 7, 8, 9, 0, 1, 2}) QTest::mouseClick(page->cmdTenKey(digit), Qt::LeftButton);
        expectPageFits(page, std::string("settings_") + frame);
    }
    EXPECT_EQ(page->sstSetting()->text(4, rowOf(1)), "53789012");
    delete page;
}

TEST_F(Pages, DayPatternEditorOfEachKind) {
    // A recording channel shows the answer-mode grid.
    {
        dao::Database db;
        gsbOpenDatabase(db, file("Regist.dat"));
        db.execute("UPDATE tblMessage SET fldAnsRec = True WHERE fldCh = 2");
        db.execute("UPDATE tblSyukujitu SET fldSyukujitu = 8 WHERE fldDay = 0");
    }
    main_->startScreen()->hide();
    for (int pattern : {1, 8, 12}) {
        SCOPED_TRACE(pattern);
        auto* page = place<frmPattern>();
        page->msbShowForm(pattern);
        EXPECT_FALSE(page->sstAnsRec()->isHidden());
        expectPageFits(page, "pattern_" + std::to_string(pattern));
        delete page;
    }
}

TEST_F(Pages, Calendar) {
    main_->startScreen()->hide();
    auto* page = place<frmSchedule>();
    page->msbShowForm(4, 3);
    expectPageFits(page, "calendar");
    delete page;
}

TEST_F(Pages, EveryCardPageInEachMode) {
    main_->startScreen()->hide();
    for (bool service : {false, true}) {
        gfServiceMode = service ? vbTrue : vbFalse;
        const std::string mode = service ? "_service" : "";
        for (int page : {5, 6, 7, 8, 20}) {
            // Each step makes its page afresh, as the step dispatcher does.
            window_ = std::make_unique<frmCard>(main_->clientArea());
            window_->show();
            window_->msbShowForm(page, 0);
            if (page != 8) {
                expectPageFits(window_.get(), "card_" + std::to_string(page) + mode);
                continue;
            }
            for (int tab = 0; tab < 4; ++tab) {
                if (!window_->tabMessage->isTabVisible(tab)) continue;
                window_->tabMessage->setCurrentIndex(tab);
                expectPageFits(window_.get(), "card_8_tab" + std::to_string(tab) + mode);
            }
        }
    }
}

TEST_F(Pages, ASmallWindowScrollsToWhatItCannotShow) {
    main_->startScreen()->hide();
    main_->resize(640, 480);
    window_ = std::make_unique<frmCard>(main_->clientArea());
    window_->show();
    window_->msbShowForm(6, 0);
    QApplication::processEvents();
    auto* scroller = main_->findChild<QScrollArea*>("pageScroller");
    EXPECT_GT(scroller->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(scroller->verticalScrollBar()->maximum(), 0);
    // The page keeps its size; scrolled to its corner, the forward button shows whole.
    EXPECT_GE(main_->clientArea()->width(), window_->minimumSizeHint().width());
    scroller->ensureWidgetVisible(window_->cmdNext, 0, 0);
    QApplication::processEvents();
    const QRect next(window_->cmdNext->mapToGlobal(QPoint(0, 0)), window_->cmdNext->size());
    EXPECT_TRUE(pageArea().contains(next));
}

}  // namespace
}  // namespace fittest
