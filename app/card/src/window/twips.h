#pragma once
// Positions and sizes of the card window in twips, the unit its layout is written in.
#include <QWidget>

#include "forms/services.h"

namespace card::twips {

inline int px(int t) { return t / forms::twipsPerPixelX(); }
inline int tw(int p) { return p * forms::twipsPerPixelX(); }

inline void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}
inline void move(QWidget* w, int left, int top) { w->move(px(left), px(top)); }
inline void setHeight(QWidget* w, int height) { w->resize(w->width(), px(height)); }
inline void setTop(QWidget* w, int top) { w->move(w->x(), px(top)); }
inline int left(const QWidget* w) { return tw(w->x()); }
inline int top(const QWidget* w) { return tw(w->y()); }
inline int width(const QWidget* w) { return tw(w->width()); }
inline int height(const QWidget* w) { return tw(w->height()); }
inline int bottom(const QWidget* w) { return top(w) + height(w); }
inline int right(const QWidget* w) { return left(w) + width(w); }

}  // namespace card::twips
