#include "forms/colour.h"

#include <QGuiApplication>

namespace forms {

QPalette::ColorRole paletteRole(int systemIndex) {
    switch (systemIndex) {
    case 4: return QPalette::Window;            // menu
    case 5: return QPalette::Base;              // window background
    case 7: return QPalette::WindowText;        // menu text
    case 8: return QPalette::Text;              // window text
    case 12: return QPalette::Mid;              // application workspace
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;           // button face
    case 16: return QPalette::Dark;             // button shadow
    case 17: return QPalette::PlaceholderText;  // grey text
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;            // 3D highlight
    case 21: return QPalette::Shadow;           // 3D dark shadow
    case 22: return QPalette::Midlight;         // 3D light
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    default: return QPalette::Window;
    }
}

QColor toQColor(Colour c) {
    const auto u = static_cast<std::uint32_t>(c);
    if (isSystemColour(c)) {
        const int index = static_cast<int>(u & 0xFF);
        if (index == 17) return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
        return QGuiApplication::palette().color(QPalette::Active, paletteRole(index));
    }
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF), static_cast<int>((u >> 16) & 0xFF));
}

Colour fromQColor(const QColor& c) { return rgb(c.red(), c.green(), c.blue()); }

}  // namespace forms
