// The client area of the main window: pages fill it, and it keeps the room they need.
#include "page_area.h"

#include <QChildEvent>
#include <QEvent>
#include <QMenuBar>

#include "shell/pages.h"

namespace shell {

PageArea::PageArea(QWidget* parent) : QWidget(parent) {}

QSize PageArea::pagesNeed() const {
    QSize need(0, 0);
    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden() || w->isWindow()) continue;
        if (qobject_cast<ShellPage*>(w))
            need = need.expandedTo(w->minimumSize().expandedTo(w->minimumSizeHint()));
        else
            need = need.expandedTo(w->size());
    }
    return need;
}

// A page that places its controls by hand below a menu bar of its own lends that bar's
// menus to the main window, so its bar never shows here: the page is placed that much
// higher, so that no empty strip is left where the bar was. A page with a layout takes
// the room back itself.
QRect PageArea::placeOf(const QWidget& page) const {
    if (page.layout()) return rect();
    auto* bar = page.findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (!bar || bar->y() != 0) return rect();
    const int strip = bar->height();
    return rect().adjusted(0, -strip, 0, 0);
}

void PageArea::fit() {
    const QSize need = pagesNeed();
    if (need != minimumSize()) setMinimumSize(need);
}

bool PageArea::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded:
        // Pages tell their parent when they show, hide or change what they need.
        if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) w->installEventFilter(this);
        break;
    case QEvent::ChildRemoved:
    case QEvent::LayoutRequest:
        fit();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool PageArea::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        if (auto* page = qobject_cast<ShellPage*>(watched)) page->setGeometry(placeOf(*page));
        fit();
        break;
    case QEvent::Hide:
    case QEvent::LayoutRequest:
        fit();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void PageArea::resizeEvent(QResizeEvent* event) {
    for (QObject* o : children())
        if (auto* page = qobject_cast<ShellPage*>(o)) page->setGeometry(placeOf(*page));
    QWidget::resizeEvent(event);
}

}  // namespace shell
