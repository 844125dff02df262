#pragma once
// Numbers as the language run time treats them: Val, IsNumeric, banker's rounding and
// the integer operators that truncate toward zero.
#include <cstdint>
#include <string_view>

namespace runtime {

// Val: the number at the start of the text. Blanks, tabs and line feeds are ignored
// anywhere; reading stops at the first character that cannot continue a number.
// "&H" and "&O" prefixes read hexadecimal and octal (16-bit values wrap as Integer).
// Val("12ab") = 12, Val(" 1 2") = 12, Val("&H1A") = 26, Val("abc") = 0.
double val(std::string_view text);

// IsNumeric: the whole text (surrounding blanks allowed) is a number: a sign, digits with
// optional thousands commas and one decimal point, an optional exponent; or &H/&O digits.
bool isNumeric(std::string_view text);

// CDbl of a text; error 13 when isNumeric(text) is false.
double cdbl(std::string_view text);

// Round to `digits` decimals, a tie going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value, int digits = 0);

// CInt and CLng: round half to even into 16 or 32 bits; error 6 (Overflow) outside.
std::int16_t cint(double value);
std::int32_t clng(double value);

// The \ and Mod operators on integers: the quotient truncates toward zero and the
// remainder takes the dividend's sign. A zero divisor raises error 11; a quotient beyond
// the range raises error 6 (Overflow).
long long intDiv(long long dividend, long long divisor);
long long mod(long long dividend, long long divisor);

}  // namespace runtime
