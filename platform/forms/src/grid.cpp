#include "forms/grid.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QScrollBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

#include "forms/services.h"

namespace forms {

namespace {
constexpr int kDefaultRowTwips = 255;
constexpr int kCellPadding = 4;  // pixels beside the text of a column
const QColor kBorder(Qt::black);

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
}  // namespace

// The table itself; its mouse overrides report the events in the program's order: the
// button goes down, the grid acts on it, then the button comes up. A handler may close
// the window that owns the grid; nothing of it is touched after that.
class Grid::Table : public QTableWidget {
public:
    explicit Table(Grid* owner) : QTableWidget(owner), owner_(owner) {}

protected:
    void mousePressEvent(QMouseEvent* e) override {
        const QPointer<Table> alive(this);
        owner_->emitMouse(e, viewport());
        if (alive) QTableWidget::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        const QPointer<Table> alive(this);
        QTableWidget::mouseReleaseEvent(e);
        if (alive) owner_->emitMouse(e, viewport());
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        const QPointer<Table> alive(this);
        owner_->emitMouse(e, viewport());
        if (alive) QTableWidget::mouseMoveEvent(e);
    }

private:
    Grid* owner_;
};

// Paints the black top borders the windows ask for.
class Grid::BorderDelegate : public QStyledItemDelegate {
public:
    BorderDelegate(Grid* owner) : QStyledItemDelegate(owner), owner_(owner) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(p, option, index);
        if (owner_->rowTopBorder(index.row() + 1)) {
            p->save();
            p->setPen(kBorder);
            p->drawLine(option.rect.topLeft(), option.rect.topRight());
            p->restore();
        }
    }

private:
    Grid* owner_;
};

Grid::Grid(QWidget* parent) : QWidget(parent), table_(new Table(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setItemDelegate(new BorderDelegate(this));
    table_->setMouseTracking(true);
    table_->viewport()->setMouseTracking(true);
    table_->viewport()->installEventFilter(this);
    for (QHeaderView* h : {table_->horizontalHeader(), table_->verticalHeader()}) {
        h->viewport()->installEventFilter(this);
        h->setHighlightSections(false);
    }
    auto* vh = table_->verticalHeader();
    vh->setSectionResizeMode(QHeaderView::Fixed);
    vh->setMinimumSectionSize(1);
    vh->setDefaultSectionSize(kDefaultRowTwips / twipsPerPixelY());
    table_->horizontalHeader()->setMinimumSectionSize(1);

    connect(table_, &QTableWidget::cellClicked, this, [this](int r, int c) { emit click(c + 1, r + 1); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int r, int c) { emit dblClick(c + 1, r + 1); });
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) { emit click(c + 1, 0); });
    connect(table_->verticalHeader(), &QHeaderView::sectionClicked, this, [this](int r) { emit click(0, r + 1); });
    connect(table_->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int c) { emit dblClick(c + 1, 0); });
    connect(table_->verticalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int r) { emit dblClick(0, r + 1); });
    if (auto* corner = table_->findChild<QAbstractButton*>())
        connect(corner, &QAbstractButton::clicked, this, [this] { emit click(0, 0); });
    setOperationMode(OperationMode::Normal);
}

Grid::~Grid() = default;

QTableWidget* Grid::table() const { return table_; }

void Grid::setMaxRows(int rows) { table_->setRowCount(rows < 0 ? 0 : rows); }
int Grid::maxRows() const { return table_->rowCount(); }
void Grid::setMaxCols(int cols) { table_->setColumnCount(cols < 0 ? 0 : cols); }
int Grid::maxCols() const { return table_->columnCount(); }

QTableWidgetItem* Grid::itemAt(int col, int row) const {
    if (col < 0 || row < 0 || col > maxCols() || row > maxRows()) return nullptr;
    if (row == 0 && col == 0) return nullptr;
    if (row == 0) return table_->horizontalHeaderItem(col - 1);
    if (col == 0) return table_->verticalHeaderItem(row - 1);
    return table_->item(row - 1, col - 1);
}

QTableWidgetItem* Grid::ensureItem(int col, int row) {
    if (col < 0 || row < 0 || col > maxCols() || row > maxRows() || (row == 0 && col == 0)) return nullptr;
    if (auto* it = itemAt(col, row)) return it;
    auto* it = new QTableWidgetItem;
    if (row == 0) {
        table_->setHorizontalHeaderItem(col - 1, it);
    } else if (col == 0) {
        table_->setVerticalHeaderItem(row - 1, it);
    } else {
        it->setBackground(toQColor(vbWhite));
        it->setForeground(toQColor(vbBlack));
        table_->setItem(row - 1, col - 1, it);
    }
    return it;
}

std::string Grid::text(int col, int row) const {
    const auto* it = itemAt(col, row);
    return it ? it->text().toStdString() : std::string();
}

void Grid::setText(int col, int row, std::string_view text) {
    if (auto* it = ensureItem(col, row)) it->setText(qs(text));
}

Colour Grid::backColor(int col, int row) const {
    const auto* it = itemAt(col, row);
    if (!it || it->background().style() == Qt::NoBrush) return vbWhite;
    return fromQColor(it->background().color());
}

void Grid::setBackColor(int col, int row, Colour c) {
    if (auto* it = ensureItem(col, row)) it->setBackground(toQColor(c));
}

Colour Grid::foreColor(int col, int row) const {
    const auto* it = itemAt(col, row);
    if (!it || it->foreground().style() == Qt::NoBrush) return vbBlack;
    return fromQColor(it->foreground().color());
}

void Grid::setForeColor(int col, int row, Colour c) {
    if (auto* it = ensureItem(col, row)) it->setForeground(toQColor(c));
}

template <class F> void Grid::forBlock(int col, int row, int col2, int row2, F&& f) {
    // kAll in the first position means every row or column; in the second, up to the last.
    auto bounds = [](int a, int b, int last) {
        if (a == kAll) return std::pair{1, last};
        if (b == kAll) return std::pair{a, last};
        return std::pair{std::min(a, b), std::max(a, b)};
    };
    const auto [c1, c2] = bounds(col, col2, maxCols());
    const auto [r1, r2] = bounds(row, row2, maxRows());
    for (int r = r1; r <= r2; ++r)
        for (int c = c1; c <= c2; ++c) f(c, r);
}

void Grid::setBlockBackColor(int col, int row, int col2, int row2, Colour c) {
    const QBrush brush(toQColor(c));
    forBlock(col, row, col2, row2, [&](int cc, int rr) {
        if (auto* it = ensureItem(cc, rr)) it->setBackground(brush);
    });
}

void Grid::setBlockForeColor(int col, int row, int col2, int row2, Colour c) {
    const QBrush brush(toQColor(c));
    forBlock(col, row, col2, row2, [&](int cc, int rr) {
        if (auto* it = ensureItem(cc, rr)) it->setForeground(brush);
    });
}

void Grid::clearText(int col, int row, int col2, int row2) {
    forBlock(col, row, col2, row2, [&](int cc, int rr) {
        if (auto* it = itemAt(cc, rr)) it->setText(QString());
    });
}

void Grid::setRowHidden(int row, bool hidden) {
    if (row == 0)
        table_->horizontalHeader()->setVisible(!hidden);
    else if (row > 0 && row <= maxRows())
        table_->setRowHidden(row - 1, hidden);
}

bool Grid::rowHidden(int row) const {
    if (row == 0) return table_->horizontalHeader()->isHidden();
    return row > 0 && row <= maxRows() && table_->isRowHidden(row - 1);
}

void Grid::setColHidden(int col, bool hidden) {
    if (col == 0)
        table_->verticalHeader()->setVisible(!hidden);
    else if (col > 0 && col <= maxCols())
        table_->setColumnHidden(col - 1, hidden);
}

bool Grid::colHidden(int col) const {
    if (col == 0) return table_->verticalHeader()->isHidden();
    return col > 0 && col <= maxCols() && table_->isColumnHidden(col - 1);
}

void Grid::setColWidth(int col, double chars) {
    const int px = static_cast<int>(std::lround(chars * table_->fontMetrics().horizontalAdvance(QLatin1Char('0')))) +
                   kCellPadding;
    if (col == 0)
        table_->verticalHeader()->setFixedWidth(px);
    else if (col > 0 && col <= maxCols())
        table_->setColumnWidth(col - 1, px);
}

double Grid::colWidth(int col) const {
    const int px = col == 0 ? table_->verticalHeader()->width() : table_->columnWidth(col - 1);
    return static_cast<double>(px - kCellPadding) / table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

void Grid::setRowHeight(int row, int twips) {
    const int px = std::max(1, static_cast<int>(std::lround(static_cast<double>(twips) / twipsPerPixelY())));
    if (row == 0)
        table_->horizontalHeader()->setFixedHeight(px);
    else if (row > 0 && row <= maxRows())
        table_->setRowHeight(row - 1, px);
}

int Grid::rowHeight(int row) const {
    const int px = row == 0 ? table_->horizontalHeader()->height() : table_->rowHeight(row - 1);
    return px * twipsPerPixelY();
}

void Grid::setRedraw(bool on) {
    redraw_ = on;
    table_->setUpdatesEnabled(on);
    if (on) table_->viewport()->update();
}

void Grid::setOperationMode(OperationMode mode) {
    mode_ = mode;
    using V = QAbstractItemView;
    switch (mode) {
    case OperationMode::Normal:
        table_->setSelectionBehavior(V::SelectItems);
        table_->setSelectionMode(V::ContiguousSelection);
        break;
    case OperationMode::ReadOnly:
        table_->setSelectionMode(V::NoSelection);
        table_->clearSelection();
        break;
    case OperationMode::RowMode:
    case OperationMode::SingleSelect:
        table_->setSelectionBehavior(V::SelectRows);
        table_->setSelectionMode(V::SingleSelection);
        if (table_->currentRow() >= 0) table_->selectRow(table_->currentRow());
        break;
    case OperationMode::MultiSelect:
        table_->setSelectionBehavior(V::SelectRows);
        table_->setSelectionMode(V::MultiSelection);
        break;
    case OperationMode::ExtendedSelect:
        table_->setSelectionBehavior(V::SelectRows);
        table_->setSelectionMode(V::ExtendedSelection);
        break;
    }
    applyBlockOptions();
}

void Grid::setSelectBlockOptions(int options) {
    blockOptions_ = options;
    applyBlockOptions();
}

void Grid::applyBlockOptions() {
    auto* h = table_->horizontalHeader();
    auto* v = table_->verticalHeader();
    disconnect(h, &QHeaderView::sectionPressed, table_, nullptr);
    disconnect(v, &QHeaderView::sectionPressed, table_, nullptr);
    const bool blocks = mode_ == OperationMode::Normal;
    if (!blocks || (blockOptions_ & kSelectColumns)) connect(h, &QHeaderView::sectionPressed, table_, &QTableView::selectColumn);
    if (!blocks || (blockOptions_ & kSelectRows)) connect(v, &QHeaderView::sectionPressed, table_, &QTableView::selectRow);
    table_->setCornerButtonEnabled(!blocks || (blockOptions_ & kSelectAll));
}

int Grid::activeCol() const { return table_->currentColumn() + 1; }
int Grid::activeRow() const { return table_->currentRow() + 1; }

void Grid::setActiveCell(int col, int row) {
    if (col <= 0 || row <= 0) {
        table_->setCurrentIndex(QModelIndex());
        return;
    }
    table_->setCurrentCell(row - 1, col - 1);
}

std::optional<Grid::Block> Grid::selection() const {
    const auto ranges = table_->selectedRanges();
    if (ranges.isEmpty()) return std::nullopt;
    const auto& r = ranges.first();
    Block b{r.leftColumn() + 1, r.topRow() + 1, r.rightColumn() + 1, r.bottomRow() + 1};
    if (r.leftColumn() == 0 && r.rightColumn() == maxCols() - 1) b.col = b.col2 = kAll;
    if (r.topRow() == 0 && r.bottomRow() == maxRows() - 1) b.row = b.row2 = kAll;
    return b;
}

void Grid::setSelection(const Block& b) {
    table_->clearSelection();
    const int c1 = b.col == kAll ? 0 : b.col - 1, c2 = b.col == kAll ? maxCols() - 1 : b.col2 - 1;
    const int r1 = b.row == kAll ? 0 : b.row - 1, r2 = b.row == kAll ? maxRows() - 1 : b.row2 - 1;
    table_->setRangeSelected(QTableWidgetSelectionRange(r1, c1, r2, c2), true);
}

void Grid::clearSelection() {
    table_->clearSelection();
    table_->setCurrentIndex(QModelIndex());
}

void Grid::setTextTip(std::string_view tip) {
    tip_ = std::string(tip);
    if (tip_.empty()) QToolTip::hideText();
}

void Grid::setRowTopBorder(int row, bool on) {
    if (on)
        topBorders_.insert(row);
    else
        topBorders_.erase(row);
    table_->viewport()->update();
}

void Grid::fitToRows(int rows) {
    int h = 2 * table_->frameWidth();
    if (!table_->horizontalHeader()->isHidden()) h += table_->horizontalHeader()->height();
    for (int r = 0; r < rows && r < maxRows(); ++r)
        if (!table_->isRowHidden(r)) h += table_->rowHeight(r);
    table_->setVerticalScrollBarPolicy(rows >= maxRows() ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setFixedHeight(h);
}

void Grid::fitToColumns() {
    int w = 2 * table_->frameWidth() + table_->horizontalHeader()->length();
    if (!table_->verticalHeader()->isHidden()) w += table_->verticalHeader()->sizeHint().width();
    if (table_->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff) w += table_->verticalScrollBar()->sizeHint().width();
    setMinimumWidth(w);
}

QRect Grid::cellRect(int col, int row) const {
    QRect px;
    auto* h = table_->horizontalHeader();
    auto* v = table_->verticalHeader();
    if (row == 0 && col > 0) {
        px = QRect(h->sectionViewportPosition(col - 1), 0, h->sectionSize(col - 1), h->height());
        px.translate(h->mapTo(this, QPoint(0, 0)));
    } else if (col == 0 && row > 0) {
        px = QRect(0, v->sectionViewportPosition(row - 1), v->width(), v->sectionSize(row - 1));
        px.translate(v->mapTo(this, QPoint(0, 0)));
    } else if (row > 0 && col > 0) {
        px = table_->visualRect(table_->model()->index(row - 1, col - 1));
        px.translate(table_->viewport()->mapTo(this, QPoint(0, 0)));
    }
    const int tx = twipsPerPixelX(), ty = twipsPerPixelY();
    return {px.x() * tx, px.y() * ty, px.width() * tx, px.height() * ty};
}

void Grid::emitMouse(QEvent* e, QWidget* from) {
    auto* m = static_cast<QMouseEvent*>(e);
    const QPointF p = from->mapTo(this, m->position().toPoint());
    const double x = p.x() * twipsPerPixelX(), y = p.y() * twipsPerPixelY();
    const int shift = shiftOf(m->modifiers());
    switch (e->type()) {
    case QEvent::MouseButtonPress: emit mouseDown(buttonOf(m->button()), shift, x, y); break;
    case QEvent::MouseButtonRelease: emit mouseUp(buttonOf(m->button()), shift, x, y); break;
    case QEvent::MouseMove: emit mouseMove(buttonOf(m->buttons()), shift, x, y); break;
    default: break;
    }
}

bool Grid::eventFilter(QObject* watched, QEvent* e) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (e->type() == QEvent::ToolTip && w) {
        // One tip for the whole grid, whatever cell is under the pointer.
        const auto* help = static_cast<QHelpEvent*>(e);
        if (tip_.empty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), QString::fromStdString(tip_), w);
        return true;
    }
    // The headings report their mouse events too; the cells report through Table.
    if (w && w != table_->viewport() &&
        (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease ||
         e->type() == QEvent::MouseMove)) {
        const QPointer<QWidget> heading(w);
        emitMouse(e, w);
        // A heading closed by its handler must not receive the event.
        if (!heading) return true;
    }
    return QWidget::eventFilter(watched, e);
}

GridRefill::GridRefill(Grid& grid) : grid_(grid) {
    grid_.setVisible(false);
    grid_.setRedraw(false);
}

GridRefill::~GridRefill() {
    grid_.setVisible(true);
    grid_.setRedraw(true);
}

}  // namespace forms
