#pragma once
// Colours as the program writes them: 0x00BBGGRR for a plain colour, 0x800000nn for the
// system colour nn, which follows the desktop's palette.
#include <cstdint>

#include <QColor>
#include <QPalette>

namespace forms {

using Colour = std::int32_t;

// The system colours the program names.
inline constexpr Colour vbButtonFace = static_cast<Colour>(0x8000000F);
inline constexpr Colour vbButtonShadow = static_cast<Colour>(0x80000010);
inline constexpr Colour vbButtonText = static_cast<Colour>(0x80000012);
inline constexpr Colour vbGrayText = static_cast<Colour>(0x80000011);
inline constexpr Colour vb3DHighlight = static_cast<Colour>(0x80000014);
inline constexpr Colour vb3DDKShadow = static_cast<Colour>(0x80000015);
inline constexpr Colour vb3DLight = static_cast<Colour>(0x80000016);
inline constexpr Colour vbWindowBackground = static_cast<Colour>(0x80000005);
inline constexpr Colour vbWindowText = static_cast<Colour>(0x80000008);
inline constexpr Colour vbBlack = 0x000000;
inline constexpr Colour vbWhite = 0xFFFFFF;

constexpr bool isSystemColour(Colour c) { return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0x80000000u; }

// Builds a plain colour from its parts, as RGB() does.
constexpr Colour rgb(int r, int g, int b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }

// The palette role that stands for a system colour index (button face → Button, and so on).
QPalette::ColorRole paletteRole(int systemIndex);

// The colour to paint with; system colours are read from the application's palette.
QColor toQColor(Colour c);

// The plain colour of a QColor (alpha dropped).
Colour fromQColor(const QColor& c);

}  // namespace forms
