#include "page_menus.h"

#include <algorithm>

#include <QChildEvent>
#include <QMenuBar>
#include <QWidget>

namespace shell {

namespace {

QMenuBar* menuBarOf(QWidget* window) { return window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly); }

}  // namespace

PageMenus::PageMenus(QMenuBar* bar, QWidget* clientArea, QList<QAction*> own, QObject* parent)
    : QObject(parent), bar_(bar), client_(clientArea) {
    for (QAction* a : own) own_.append(a);
    for (QObject* child : client_->children())
        if (child->isWidgetType()) child->installEventFilter(this);
    client_->installEventFilter(this);
}

bool PageMenus::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_) {
        if (event->type() == QEvent::ChildAdded) {
            QObject* child = static_cast<QChildEvent*>(event)->child();
            if (child->isWidgetType()) child->installEventFilter(this);
        } else if (event->type() == QEvent::ChildRemoved) {
            follow();
        }
        return false;
    }
    if (event->type() == QEvent::Show && watched->parent() == client_) {
        auto* window = static_cast<QWidget*>(watched);
        // A client window never shows a bar of its own.
        if (QMenuBar* own = menuBarOf(window)) own->hide();
        shown_.erase(std::remove(shown_.begin(), shown_.end(), window), shown_.end());
        shown_.emplace_back(window);
        follow();
    } else if (event->type() == QEvent::Hide && watched->parent() == client_) {
        follow();
    }
    return false;
}

// The bar shows the menus of the last shown client window that is still shown and has
// menus, else the main window's own.
void PageMenus::follow() {
    std::erase_if(shown_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    QWidget* next = nullptr;
    QMenuBar* from = nullptr;
    for (auto it = shown_.rbegin(); it != shown_.rend() && !next; ++it) {
        if ((*it)->isHidden()) continue;
        if (QMenuBar* b = menuBarOf(*it)) {
            next = *it;
            from = b;
        }
    }
    if (next == owner_ && (next || lent_.isEmpty())) return;
    giveBack();
    if (next) lend(next, from);
    for (const QPointer<QAction>& a : own_)
        if (a) a->setVisible(next == nullptr);
}

void PageMenus::lend(QWidget* window, QMenuBar* from) {
    owner_ = window;
    for (QAction* a : from->actions()) {
        bar_->addAction(a);
        lent_.append(a);
    }
}

void PageMenus::giveBack() {
    // Menus of a window that is gone have left the bar with it.
    for (const QPointer<QAction>& a : lent_)
        if (a) bar_->removeAction(a);
    lent_.clear();
    owner_ = nullptr;
}

}  // namespace shell
