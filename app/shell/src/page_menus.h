#pragma once
// One menu bar: the menus of the window shown in the main window's client area take the
// main window's bar, as a child window's menus took its parent's. The window's own bar is
// never shown there, and the main window's own menus step aside meanwhile.
#include <vector>

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QMenuBar;
class QWidget;

namespace shell {

class PageMenus : public QObject {
public:
    // `own` are the main window's own menus, shown while no client window has menus.
    PageMenus(QMenuBar* bar, QWidget* clientArea, QList<QAction*> own, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void lend(QWidget* window, QMenuBar* from);
    void giveBack();

    QMenuBar* bar_;
    QWidget* client_;
    QList<QPointer<QAction>> own_;
    std::vector<QPointer<QWidget>> shown_;  // client windows, the last shown last
    QPointer<QWidget> owner_;               // whose menus the bar shows
    QList<QPointer<QAction>> lent_;
};

}  // namespace shell
