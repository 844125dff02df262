#pragma once
// The faces the program names, mapped explicitly to the fonts installed with it:
// "ＭＳ ゴシック" to the fixed-pitch IPAGothic, "ＭＳ Ｐゴシック" to IPAPGothic,
// "ＭＳ 明朝" to IPAMincho and "Arial" to Liberation Sans. Left to fontconfig, a Japanese
// face name would fall back to a proportional face and break the column layouts.
#include <string_view>

#include <QFont>
#include <QString>

namespace forms {

// The installed family that stands in for a face name; unknown names pass unchanged.
QString fontFamilyFor(std::string_view face);

// A font as the program describes one: face name, size in points, style.
QFont makeFont(std::string_view face, double points, bool bold = false, bool italic = false, bool underline = false);

// Registers the substitutions with Qt, so that fonts named anywhere (style sheets,
// designer defaults) resolve the same way. Safe to call more than once.
void installFontSubstitutions();

}  // namespace forms
