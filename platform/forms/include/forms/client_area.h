#pragma once
// The client area of a window with a menu bar of its own. A window's menu bar lies outside
// the client area its controls are placed in; here the bar is a child of the window, so
// the controls go on a client widget below it. The bar takes room only while it shows: a
// window whose menus another window shows for it keeps no empty strip where its bar was.
#include <QWidget>

class QMenuBar;

namespace forms {

// Lays out `window` as `bar` over a new client widget and returns the client, on which the
// window places its controls by hand. The window asks for the client's minimum size, and
// for the bar's height while the bar shows.
QWidget* makeClientArea(QWidget* window, QMenuBar* bar);

}  // namespace forms
