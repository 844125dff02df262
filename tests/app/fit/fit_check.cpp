// The fit rules, over the widget tree as laid out.
#include "fit_check.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>

#include <algorithm>

namespace fittest {
namespace {

std::string nameOf(const QWidget* w) {
    std::string name = w->metaObject()->className();
    if (!w->objectName().isEmpty()) name += " '" + w->objectName().toStdString() + "'";
    if (auto* l = qobject_cast<const QLabel*>(w)) name += " \"" + l->text().left(20).toStdString() + "\"";
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) name += " \"" + b->text().toStdString() + "\"";
    // The nearest named container says where the control is.
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget()) {
        if (qobject_cast<const QGroupBox*>(p) && !static_cast<const QGroupBox*>(p)->title().isEmpty())
            return name + " in \"" + static_cast<const QGroupBox*>(p)->title().toStdString() + "\"";
        if (!p->objectName().isEmpty()) return name + " in " + p->objectName().toStdString();
    }
    return name;
}

std::string rectText(const QRect& r) {
    return "(" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height()) + ")";
}

QRect globalRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

// Controls drawn whole by themselves: the walk does not look inside them.
bool isLeaf(const QWidget* w) {
    return qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QTabBar*>(w) ||
           qobject_cast<const QMenuBar*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QAbstractSlider*>(w);
}

bool takesInput(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w);
}

struct Walk {
    QRect visible;
    std::vector<std::string> faults;
    std::vector<QWidget*> labels;
    std::vector<QWidget*> inputs;

    void visit(QWidget* parent) {
        const QRect inside = globalRect(parent);
        std::vector<QAbstractButton*> marks;
        for (QObject* o : parent->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || w->isWindow() || !w->isVisible()) continue;
            if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) marks.push_back(static_cast<QAbstractButton*>(w));
            const QRect r = globalRect(w);
            if (!inside.contains(r)) faults.push_back(nameOf(w) + " " + rectText(r) + " is cut by its parent " + rectText(inside));
            else if (!visible.contains(r)) faults.push_back(nameOf(w) + " " + rectText(r) + " lies outside the visible area " + rectText(visible));
            if (qobject_cast<QLabel*>(w)) labels.push_back(w);
            if (takesInput(w)) inputs.push_back(w);
            if (auto* view = qobject_cast<QAbstractItemView*>(w)) checkList(view);
            if (!isLeaf(w)) visit(w);
        }
        checkMarks(marks);
    }

    // Check boxes and option buttons show their caption whole, and a caption keeps clear
    // of the next box or circle in its row.
    void checkMarks(const std::vector<QAbstractButton*>& marks) {
        constexpr int kGap = 4;
        for (QAbstractButton* a : marks) {
            const int need = a->sizeHint().width();
            if (need > a->width())
                faults.push_back(nameOf(a) + " is " + std::to_string(a->width()) + " wide and cuts its caption, which needs " +
                                 std::to_string(need));
            for (QAbstractButton* b : marks) {
                const bool sameRow = a->geometry().top() < b->geometry().bottom() && b->geometry().top() < a->geometry().bottom();
                if (a != b && sameRow && b->x() > a->x() && b->x() < a->x() + need + kGap)
                    faults.push_back("the caption of " + nameOf(a) + " runs into " + nameOf(b));
            }
        }
    }

    // Columns that need a horizontal scroll, header or cell texts cut short, and rows out
    // of reach of a list that cannot scroll.
    void checkList(QAbstractItemView* view) {
        if (view->horizontalScrollBar()->maximum() > 0)
            faults.push_back(nameOf(view) + " needs a horizontal scroll to show its columns");
        if (view->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff && view->verticalScrollBar()->maximum() > 0)
            faults.push_back(nameOf(view) + " cuts rows that it cannot scroll to");
        QHeaderView* header = nullptr;
        if (auto* t = qobject_cast<QTableView*>(view)) header = t->horizontalHeader();
        if (auto* t = qobject_cast<QTreeView*>(view)) header = t->header();
        QAbstractItemModel* model = view->model();
        if (!model) return;
        const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        for (int c = 0; c < model->columnCount(); ++c) {
            if (header && header->isSectionHidden(c)) continue;
            if (header && !header->isHidden()) {
                const QString text = model->headerData(c, Qt::Horizontal).toString();
                const int need = header->fontMetrics().horizontalAdvance(text) +
                                 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
                if (!text.isEmpty() && need > header->sectionSize(c))
                    faults.push_back(nameOf(view) + " cuts the heading \"" + text.toStdString() + "\"");
            }
            for (int r = 0; r < model->rowCount(); ++r) {
                const QModelIndex index = model->index(r, c);
                const QRect cell = view->visualRect(index);
                if (cell.isEmpty()) continue;
                const QString text = index.data().toString();
                if (text.isEmpty() || text.contains('\n')) continue;
                // What the item's painter needs: icon, margins and text.
                QStyleOptionViewItem option;
                option.initFrom(view);
                option.font = view->font();
                const int icon = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
                option.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(icon, icon);
                const int need = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
                if (std::max(need, QFontMetrics(option.font).horizontalAdvance(text) + margin) > cell.width())
                    faults.push_back(nameOf(view) + " cuts the text \"" + text.toStdString() + "\" of row " +
                                     std::to_string(r) + ", column " + std::to_string(c));
            }
        }
    }

    // The branch of the common ancestor that holds w; later siblings paint on top.
    static std::vector<QWidget*> chain(QWidget* w) {
        std::vector<QWidget*> up;
        for (; w; w = w->parentWidget()) up.insert(up.begin(), w);
        return up;
    }
    static bool onTop(QWidget* a, QWidget* b) {
        const auto ca = chain(a), cb = chain(b);
        std::size_t i = 0;
        while (i < ca.size() && i < cb.size() && ca[i] == cb[i]) ++i;
        if (i == 0 || i == ca.size() || i == cb.size()) return false;  // one holds the other
        const QObjectList& siblings = ca[i - 1]->children();
        return siblings.indexOf(ca[i]) > siblings.indexOf(cb[i]);
    }

    void checkLabels() {
        for (QWidget* l : labels)
            for (QWidget* in : inputs) {
                const QRect both = globalRect(l).intersected(globalRect(in));
                if (!both.isEmpty() && onTop(l, in))
                    faults.push_back(nameOf(l) + " lies on top of " + nameOf(in) + " over " + rectText(both));
            }
    }
};

}  // namespace

std::vector<std::string> fitFaults(QWidget* root, const QRect& visible) {
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    Walk walk{visible, {}, {}, {}};
    // The window itself first: a page lies inside the area that shows it.
    if (!visible.contains(globalRect(root)))
        walk.faults.push_back(nameOf(root) + " " + rectText(globalRect(root)) + " lies outside the visible area " +
                              rectText(visible));
    walk.visit(root);
    walk.checkLabels();
    return walk.faults;
}

std::vector<std::string> fitFaults(QWidget* window) {
    std::vector<std::string> faults = fitFaults(window, globalRect(window));
    // The frame draws the title in a bold face beside at least three buttons.
    QFont face = QApplication::font("QMdiSubWindowTitleBar");
    face.setBold(true);
    const int need = QFontMetrics(face).horizontalAdvance(window->windowTitle()) +
                     3 * window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    if (!window->windowTitle().isEmpty() && window->width() < need)
        faults.push_back(nameOf(window) + " is " + std::to_string(window->width()) + " wide and cuts its title \"" +
                         window->windowTitle().toStdString() + "\", which needs " + std::to_string(need));
    return faults;
}

void saveScreenshot(QWidget* root, QWidget* over, const std::string& path) {
    QPixmap picture = root->grab();
    QPainter paint(&picture);
    paint.drawPixmap(over->mapToGlobal(QPoint(0, 0)) - root->mapToGlobal(QPoint(0, 0)), over->grab());
    paint.end();
    picture.save(QString::fromStdString(path), "PNG");
}

void saveScreenshot(QWidget* root, const std::string& path) { root->grab().save(QString::fromStdString(path), "PNG"); }

}  // namespace fittest
