#pragma once
// Synthetic mouse input for widget tests.
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace test {

inline void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QPointF local(at);
    const QPointF global(w->mapToGlobal(at));
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, local, local, global, type == QEvent::MouseMove ? Qt::NoButton : button, held, mods);
    QApplication::sendEvent(w, &e);
}

inline void click(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
    mouse(w, QEvent::MouseButtonPress, at, button, mods);
    mouse(w, QEvent::MouseButtonRelease, at, button, mods);
}

}  // namespace test
