#pragma once
// Small properties the windows give their Qt widgets as a form's controls carry them:
// a back colour that stays readable as the program wrote it, a Tag text, a tool tip
// from UTF-8, and whether a control was itself made visible.
#include <span>
#include <string>
#include <string_view>

#include <QWidget>

#include "forms/colour.h"

namespace patterns::detail {

void setBackColor(QWidget* w, forms::Colour c);
forms::Colour backColor(const QWidget* w);
void setTag(QWidget* w, std::string_view tag);
std::string tag(const QWidget* w);
void setTip(QWidget* w, std::string_view tip);
std::string tip(const QWidget* w);
void setCaption(QWidget* w, std::string_view caption);
std::string caption(const QWidget* w);
// The control's own Visible: not hidden, whatever its window shows.
inline bool shown(const QWidget* w) { return w && !w->isHidden(); }
// The control or one inside it has the focus.
bool hasFocusIn(const QWidget* w);
// The width each button of a row of pattern buttons gets: that of the widest caption.
int rowButtonWidth(std::span<QWidget* const> buttons);
// The room between two pattern buttons, so that a caption keeps clear of the next circle.
inline constexpr int kRowButtonGap = 6;
inline QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace patterns::detail
