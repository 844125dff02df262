#pragma once
// The grid every window uses: a spreadsheet-style grid addressed as (column, row) from 1,
// with the heading row at row 0 and the row headings at column 0. Cells carry text and
// their own back and fore colours; blocks of cells are cleared or coloured at once.
// Positions and sizes that the windows compute with are in twips.
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <QRect>
#include <QWidget>

#include "forms/colour.h"

class QTableWidget;
class QTableWidgetItem;

namespace forms {

class Grid : public QWidget {
    Q_OBJECT
public:
    // Stands for every row or every column in a block.
    static constexpr int kAll = -1;

    enum class OperationMode {
        Normal,          // a cell cursor; blocks of cells can be selected
        ReadOnly,        // nothing is shown as chosen
        RowMode,         // the cursor covers a whole row
        SingleSelect,    // one row is shown as chosen
        MultiSelect,     // rows toggle as they are clicked
        ExtendedSelect,  // rows selected with Shift and Ctrl
    };

    // What the user may select by dragging or by clicking headings.
    enum SelectBlockOption { kSelectColumns = 1, kSelectRows = 2, kSelectBlocks = 4, kSelectAll = 8 };

    struct Block {
        int col, row, col2, row2;  // kAll in col and col2 for whole rows, in row and row2 for whole columns
        bool operator==(const Block&) const = default;
    };

    explicit Grid(QWidget* parent = nullptr);
    ~Grid() override;

    void setMaxRows(int rows);
    int maxRows() const;
    void setMaxCols(int cols);
    int maxCols() const;

    // Row 0 is the heading of a column, column 0 the heading of a row.
    std::string text(int col, int row) const;
    void setText(int col, int row, std::string_view text);
    Colour backColor(int col, int row) const;
    void setBackColor(int col, int row, Colour c);
    Colour foreColor(int col, int row) const;
    void setForeColor(int col, int row, Colour c);

    // Blocks: col..col2 and row..row2. kAll as the first bound means every column (row), as
    // the second bound up to the last one.
    void setBlockBackColor(int col, int row, int col2, int row2, Colour c);
    void setBlockForeColor(int col, int row, int col2, int row2, Colour c);
    void clearText(int col, int row, int col2, int row2);

    // Row 0 hides the heading row, column 0 the row headings.
    void setRowHidden(int row, bool hidden);
    bool rowHidden(int row) const;
    void setColHidden(int col, bool hidden);
    bool colHidden(int col) const;

    // Column widths in characters of the grid's font ("0" wide).
    void setColWidth(int col, double chars);
    double colWidth(int col) const;
    // Row heights in twips; row 0 is the heading row.
    void setRowHeight(int row, int twips);
    int rowHeight(int row) const;

    // Painting switched off while many cells change.
    void setRedraw(bool on);
    bool redraw() const { return redraw_; }

    void setOperationMode(OperationMode mode);
    OperationMode operationMode() const { return mode_; }
    void setSelectBlockOptions(int options);
    int selectBlockOptions() const { return blockOptions_; }

    // The active cell (the cursor), (0, 0) when there is none.
    int activeCol() const;
    int activeRow() const;
    void setActiveCell(int col, int row);
    // The selected block, if any; whole rows or columns carry kAll.
    std::optional<Block> selection() const;
    void setSelection(const Block& block);
    // No cell cursor and no selection.
    void clearSelection();

    // The tool tip of the whole grid.
    void setTextTip(std::string_view tip);
    std::string textTip() const { return tip_; }

    // A black line along the top of every cell of the row.
    void setRowTopBorder(int row, bool on);
    bool rowTopBorder(int row) const { return topBorders_.count(row) != 0; }

    // Sizes the grid to show the heading row and the first `rows` rows exactly.
    void fitToRows(int rows);
    // Keeps the grid at least as wide as its shown columns (and its vertical scroll bar,
    // unless that is off), so that no column is cut.
    void fitToColumns();

    // The rectangle of a cell (row 0: heading cells) in twips, relative to the grid.
    QRect cellRect(int col, int row) const;

    QTableWidget* table() const;

signals:
    // A click on a cell; row 0 for a column heading, column 0 for a row heading, (0, 0)
    // for the corner.
    void click(int col, int row);
    void dblClick(int col, int row);
    // Mouse events with the button, the Shift/Ctrl/Alt state and the position in twips
    // relative to the grid.
    void mouseDown(int button, int shift, double x, double y);
    void mouseMove(int button, int shift, double x, double y);
    void mouseUp(int button, int shift, double x, double y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Table;
    class BorderDelegate;
    friend class Table;
    QTableWidgetItem* itemAt(int col, int row) const;
    QTableWidgetItem* ensureItem(int col, int row);
    template <class F> void forBlock(int col, int row, int col2, int row2, F&& f);
    void emitMouse(QEvent* e, QWidget* from);
    void applyBlockOptions();

    Table* table_;
    OperationMode mode_ = OperationMode::Normal;
    int blockOptions_ = kSelectColumns | kSelectRows | kSelectBlocks | kSelectAll;
    bool redraw_ = true;
    std::string tip_;
    std::set<int> topBorders_;
};

// Hides a grid and stops its painting for a refill; the grid is shown and painted again
// on every way out of the scope, an error included.
class GridRefill {
public:
    explicit GridRefill(Grid& grid);
    ~GridRefill();
    GridRefill(const GridRefill&) = delete;
    GridRefill& operator=(const GridRefill&) = delete;

private:
    Grid& grid_;
};

}  // namespace forms
