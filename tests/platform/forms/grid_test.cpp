#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QTest>
#include <QTableWidget>
#include <vector>

#include "forms/grid.h"
#include "forms/services.h"
#include "mouse.h"

using namespace forms;

namespace {
struct Fixture {
    Grid grid;
    Fixture(int cols, int rows) {
        grid.setMaxCols(cols);
        grid.setMaxRows(rows);
        grid.resize(400, 300);
        grid.show();
    }
    QPoint centre(int col, int row) const {
        return grid.table()->visualRect(grid.table()->model()->index(row - 1, col - 1)).center();
    }
};
}  // namespace

TEST(Grid, CellsAndHeadingsTakeTextAndColours) {
    Fixture f(3, 5);
    f.grid.setText(2, 0, "スケジュール名");
    f.grid.setText(2, 3, "朝");
    f.grid.setBackColor(1, 3, 0xC0FFC0);
    f.grid.setForeColor(1, 3, 255);
    EXPECT_EQ(f.grid.text(2, 0), "スケジュール名");
    EXPECT_EQ(f.grid.table()->horizontalHeaderItem(1)->text().toStdString(), "スケジュール名");
    EXPECT_EQ(f.grid.text(2, 3), "朝");
    EXPECT_EQ(f.grid.text(3, 3), "");
    EXPECT_EQ(f.grid.backColor(1, 3), 0xC0FFC0);
    EXPECT_EQ(f.grid.foreColor(1, 3), 255);
    EXPECT_EQ(f.grid.backColor(2, 2), vbWhite);  // untouched cells are white on black
    EXPECT_EQ(f.grid.text(9, 9), "");            // outside the grid: nothing, no crash
    f.grid.setText(9, 9, "x");
}

TEST(Grid, BlocksAreColouredAndClearedAtOnce) {
    Fixture f(3, 4);
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 3; ++c) f.grid.setText(c, r, "t");
    f.grid.setBlockBackColor(Grid::kAll, Grid::kAll, Grid::kAll, Grid::kAll, 0xE2E2E2);
    f.grid.clearText(2, 1, Grid::kAll, Grid::kAll);  // columns 2 onwards, every row
    for (int r = 1; r <= 4; ++r) {
        EXPECT_EQ(f.grid.text(1, r), "t");
        EXPECT_EQ(f.grid.text(2, r), "");
        EXPECT_EQ(f.grid.text(3, r), "");
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(f.grid.backColor(c, r), 0xE2E2E2);
    }
    f.grid.setBlockBackColor(1, 2, 2, 3, vbWhite);
    EXPECT_EQ(f.grid.backColor(2, 3), vbWhite);
    EXPECT_EQ(f.grid.backColor(3, 3), 0xE2E2E2);
    // "From column 2 to the last" on a grid of one column touches nothing.
    f.grid.setMaxCols(1);
    f.grid.clearText(2, 1, Grid::kAll, Grid::kAll);
    EXPECT_EQ(f.grid.text(1, 1), "t");
}

TEST(Grid, HiddenRowsAndColumnsWidthsAndHeights) {
    Fixture f(3, 6);
    f.grid.setRowHidden(2, true);
    f.grid.setColHidden(0, true);
    f.grid.setColHidden(3, true);
    EXPECT_TRUE(f.grid.rowHidden(2));
    EXPECT_TRUE(f.grid.colHidden(0));
    EXPECT_TRUE(f.grid.colHidden(3));
    EXPECT_FALSE(f.grid.rowHidden(1));
    f.grid.setColWidth(2, 20);
    EXPECT_NEAR(f.grid.colWidth(2), 20, 0.5);
    f.grid.setColWidth(1, 4);
    EXPECT_LT(f.grid.cellRect(1, 1).width(), f.grid.cellRect(2, 1).width());
    f.grid.setRowHeight(1, 255);
    EXPECT_EQ(f.grid.rowHeight(1), 255);
    f.grid.setRowHeight(0, 300);
    EXPECT_EQ(f.grid.rowHeight(0), 300);
    // A hidden row takes no room: the row below starts where it would have.
    // One grid line (a pixel) lies between rows.
    EXPECT_EQ(f.grid.cellRect(1, 3).top(), f.grid.cellRect(1, 1).top() + f.grid.cellRect(1, 1).height() + twipsPerPixelY());
}

TEST(Grid, FitsItsHeightToRowsAndGivesCellRectanglesInTwips) {
    Fixture f(2, 10);
    for (int r = 1; r <= 10; ++r) f.grid.setRowHeight(r, 255);
    f.grid.setRowHeight(0, 270);
    f.grid.fitToRows(10);
    const int frame = 2 * f.grid.table()->frameWidth() * twipsPerPixelY();
    EXPECT_EQ(f.grid.height() * twipsPerPixelY(), 270 + 10 * 255 + frame);
    const QRect head = f.grid.cellRect(1, 0), first = f.grid.cellRect(1, 1), second = f.grid.cellRect(1, 2);
    EXPECT_EQ(head.height(), 270);
    EXPECT_EQ(first.top(), head.top() + 270);
    EXPECT_EQ(second.top() - first.top(), 255);
}

TEST(Grid, RedrawAndRefillGuardRestoreOnEveryExit) {
    Fixture f(2, 2);
    try {
        GridRefill refill(f.grid);
        EXPECT_TRUE(f.grid.isHidden());
        EXPECT_FALSE(f.grid.redraw());
        throw std::runtime_error("mid-fill");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(f.grid.isHidden());
    EXPECT_TRUE(f.grid.redraw());
}

TEST(Grid, SingleSelectShowsTheChosenRowAndReadOnlyShowsNone) {
    Fixture f(3, 5);
    f.grid.setOperationMode(Grid::OperationMode::SingleSelect);
    f.grid.setActiveCell(1, 3);
    EXPECT_EQ(f.grid.activeRow(), 3);
    ASSERT_TRUE(f.grid.selection());
    EXPECT_EQ(*f.grid.selection(), (Grid::Block{Grid::kAll, 3, Grid::kAll, 3}));
    f.grid.setOperationMode(Grid::OperationMode::ReadOnly);
    EXPECT_FALSE(f.grid.selection());
    test::click(f.grid.table()->viewport(), f.centre(2, 4));
    EXPECT_FALSE(f.grid.selection());
    EXPECT_EQ(f.grid.activeRow(), 4);  // the current row still moves
    f.grid.clearSelection();
    EXPECT_EQ(f.grid.activeRow(), 0);
}

TEST(Grid, BlockSelectionReportsWholeRowsAndColumns) {
    Fixture f(7, 12);
    f.grid.setSelection({2, 3, 4, 6});
    EXPECT_EQ(*f.grid.selection(), (Grid::Block{2, 3, 4, 6}));
    f.grid.setSelection({5, Grid::kAll, 5, Grid::kAll});
    EXPECT_EQ(*f.grid.selection(), (Grid::Block{5, Grid::kAll, 5, Grid::kAll}));
    // A click on a column heading selects the whole column and reports a heading click.
    std::vector<std::pair<int, int>> clicks;
    QObject::connect(&f.grid, &Grid::click, [&](int c, int r) { clicks.emplace_back(c, r); });
    auto* header = f.grid.table()->horizontalHeader();
    const int x = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
    test::click(header->viewport(), QPoint(x, header->height() / 2));
    ASSERT_TRUE(f.grid.selection());
    EXPECT_EQ(*f.grid.selection(), (Grid::Block{3, Grid::kAll, 3, Grid::kAll}));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0], std::make_pair(3, 0));
    // Without the column option the heading click still reports but selects nothing.
    f.grid.clearSelection();
    f.grid.setSelectBlockOptions(Grid::kSelectBlocks);
    test::click(header->viewport(), QPoint(x, header->height() / 2));
    EXPECT_FALSE(f.grid.selection());
    EXPECT_EQ(clicks.size(), 2u);
}

TEST(Grid, MouseEventsCarryButtonShiftAndTwipsThenClick) {
    Fixture f(3, 5);
    std::vector<std::string> events;
    std::vector<QPointF> downs;
    QObject::connect(&f.grid, &Grid::mouseDown, [&](int b, int s, double x, double y) {
        events.push_back("down " + std::to_string(b) + " " + std::to_string(s));
        downs.emplace_back(x, y);
    });
    QObject::connect(&f.grid, &Grid::click, [&](int c, int r) { events.push_back("click " + std::to_string(c) + "," + std::to_string(r)); });
    QObject::connect(&f.grid, &Grid::dblClick, [&](int c, int r) { events.push_back("dbl " + std::to_string(c) + "," + std::to_string(r)); });
    QObject::connect(&f.grid, &Grid::mouseUp, [&](int b, int s, double, double) {
        events.push_back("up " + std::to_string(b) + " " + std::to_string(s));
    });
    test::click(f.grid.table()->viewport(), f.centre(2, 2), Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(events, (std::vector<std::string>{"down 1 3", "click 2,2", "up 1 3"}));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_TRUE(f.grid.cellRect(2, 2).contains(downs[0].toPoint()));
    events.clear();
    // A double click: press, release, the double click in place of a second press, release.
    test::click(f.grid.table()->viewport(), f.centre(3, 4));
    test::mouse(f.grid.table()->viewport(), QEvent::MouseButtonDblClick, f.centre(3, 4));
    test::mouse(f.grid.table()->viewport(), QEvent::MouseButtonRelease, f.centre(3, 4));
    EXPECT_EQ(events, (std::vector<std::string>{"down 1 0", "click 3,4", "up 1 0", "dbl 3,4", "up 1 0"}));
}

TEST(Grid, TopBordersAndTheGridTip) {
    Fixture f(2, 3);
    f.grid.setRowTopBorder(2, true);
    EXPECT_TRUE(f.grid.rowTopBorder(2));
    EXPECT_FALSE(f.grid.rowTopBorder(1));
    const QImage shot = f.grid.table()->viewport()->grab().toImage();
    const QRect row2 = f.grid.table()->visualRect(f.grid.table()->model()->index(1, 0));
    EXPECT_EQ(shot.pixelColor(row2.center().x(), row2.top()), QColor(Qt::black));
    EXPECT_NE(shot.pixelColor(row2.center().x(), row2.top() + 3), QColor(Qt::black));
    f.grid.setRowTopBorder(2, false);
    EXPECT_FALSE(f.grid.rowTopBorder(2));
    f.grid.setTextTip("登録するスケジュールを選択してください。");
    EXPECT_EQ(f.grid.textTip(), "登録するスケジュールを選択してください。");
}

// A grid's mouse handler may close the window that holds it, on a cell or a heading;
// nothing of the freed grid is touched afterwards. (Its Click comes from inside the item
// view's own event, so a Click handler closes with deleteLater.)
TEST(Grid, AMouseHandlerMayCloseTheGridsWindow) {
    enum Event { Down, Up };
    for (bool heading : {false, true}) {
        for (Event closeAt : {Down, Up}) {
            SCOPED_TRACE(std::to_string(heading) + " " + std::to_string(closeAt));
            auto* window = new QWidget;
            auto* grid = new Grid(window);
            grid->setMaxCols(3);
            grid->setMaxRows(3);
            grid->resize(300, 200);
            window->show();
            QPointer<QWidget> alive(window);
            const auto close = [&](Event at) {
                if (at == closeAt && alive) delete window;
            };
            QObject::connect(grid, &Grid::mouseDown, [&](int, int, double, double) { close(Down); });
            QObject::connect(grid, &Grid::mouseUp, [&](int, int, double, double) { close(Up); });
            QTableWidget* table = grid->table();
            QWidget* target = heading ? table->horizontalHeader()->viewport() : table->viewport();
            const QPoint at = heading ? QPoint(table->horizontalHeader()->sectionViewportPosition(1) + 5,
                                               table->horizontalHeader()->height() / 2)
                                      : table->visualRect(table->model()->index(1, 1)).center();
            // A window gone at the press takes no release.
            if (closeAt == Down) QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, at);
            else QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
            EXPECT_TRUE(alive.isNull());
            delete alive.data();
        }
    }
}
