#include "widget_props.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>

namespace patterns::detail {

void setBackColor(QWidget* w, forms::Colour c) {
    w->setProperty("backColor", static_cast<qlonglong>(c));
    QPalette p = w->palette();
    p.setColor(QPalette::Window, forms::toQColor(c));
    p.setColor(QPalette::Button, forms::toQColor(c));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

forms::Colour backColor(const QWidget* w) {
    const QVariant v = w->property("backColor");
    return v.isValid() ? static_cast<forms::Colour>(v.toLongLong()) : forms::vbButtonFace;
}

void setTag(QWidget* w, std::string_view tag) { w->setProperty("tag", qs(tag)); }
std::string tag(const QWidget* w) { return w->property("tag").toString().toStdString(); }
void setTip(QWidget* w, std::string_view tip) { w->setToolTip(qs(tip)); }
std::string tip(const QWidget* w) { return w->toolTip().toStdString(); }

void setCaption(QWidget* w, std::string_view caption) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(qs(caption));
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(qs(caption));
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(qs(caption));
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(qs(caption));
    else
        w->setWindowTitle(qs(caption));
}

std::string caption(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text().toStdString();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title().toStdString();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text().toStdString();
    return w->windowTitle().toStdString();
}

bool hasFocusIn(const QWidget* w) {
    const QWidget* f = QApplication::focusWidget();
    return f && w && (f == w || w->isAncestorOf(f));
}

int rowButtonWidth(std::span<QWidget* const> buttons) {
    int width = 0;
    for (const QWidget* b : buttons) width = std::max(width, b->sizeHint().width());
    return width;
}

}  // namespace patterns::detail
