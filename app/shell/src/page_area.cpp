// The client area of the main window: pages fill it, and it keeps the room they need.
#include "page_area.h"

#include <QChildEvent>
#include <QEvent>

#include "wizard/pages.h"

namespace shell {

PageArea::PageArea(QWidget* parent) : QWidget(parent) {}

QSize PageArea::pagesNeed() const {
    QSize need(0, 0);
    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden() || w->isWindow()) continue;
        if (qobject_cast<wizard::Page*>(w))
            need = need.expandedTo(w->minimumSize().expandedTo(w->minimumSizeHint()));
        else
            need = need.expandedTo(w->size());
    }
    return need;
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
        if (auto* page = qobject_cast<wizard::Page*>(watched)) page->setGeometry(rect());
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
        if (auto* page = qobject_cast<wizard::Page*>(o)) page->setGeometry(rect());
    QWidget::resizeEvent(event);
}

QSize PageScroller::sizeHint() const {
    const int frame = 2 * frameWidth();
    return (widget() ? widget()->sizeHint().expandedTo(QSize(0, 0)) : QSize(0, 0)) + QSize(frame, frame);
}

}  // namespace shell
