#pragma once
// Keyboard filters, the clamp of numeric entries, and focus helpers shared by the windows.
#include <cstdint>
#include <string>
#include <string_view>

class QWidget;
class QLineEdit;
class UcNumeric;

// The key filter of digit-only fields: "0"-"9" and backspace pass; a full-width digit
// (the Shift-JIS codes &H824F-&H8258, as 16-bit or unsigned values, or U+FF10-U+FF19)
// becomes its ASCII digit; every other key becomes 0 (swallowed).
std::int16_t gfniKeyNumeric(int iKeyAscii);

// The text of min when the text is empty or not a number, when its value does not fit in
// 16 bits, or when max < min; otherwise the value rounded half to even and held to
// min..max.
std::string gfnsLimitNum(std::string_view sText, std::int16_t iMin, std::int16_t iMax);

// Selects the whole text of a text box.
void gsbSelectAll(QLineEdit* txt);

// Gives the control the focus when it is visible and enabled; nothing otherwise.
void gsbSetFocus(QWidget* ctl);
// Gives the numeric widget the focus when it is enabled.
void gsbSetFocusNum(UcNumeric* unm);
