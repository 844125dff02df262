#pragma once
// The Format function, in the subset the program uses.
//
// Text patterns: '@' is a character position filled from the right and padded with a
// blank ("@@:" of 9 is " 9:"), '&' the same without padding, a leading '!' fills from
// the left ("!@@@@@@@@" of "ERROR!" is "ERROR!  "). Characters count as characters, so
// a full-width character fills one position.
// Number patterns: '0' a digit padded with zeros, '#' a digit without padding, '.' the
// decimal point ("00" of 5 is "05", "000" of 7 is "007", "00." of 5 is "05.").
// Date patterns: yyyy yy m mm d dd (m after h or before s is the minute), h hh n nn s ss,
// aaa / aaaa the short / full Japanese weekday ("火" / "火曜日"); other characters are
// literal, "\x" and "..." quote.
#include <string>
#include <string_view>

#include "runtime/datetime.h"

namespace runtime {

std::string format(const DateTime& value, std::string_view pattern);

// A number: text patterns format its CStr text; date patterns read it as a date serial
// (Format(1, "aaaa") = "日曜日").
std::string format(double value, std::string_view pattern);

// A text: text patterns format it as it is; date and number patterns apply when the text
// is a date or a number, else the text comes back unchanged.
std::string format(std::string_view value, std::string_view pattern);
inline std::string format(const char* value, std::string_view pattern) {
    return format(std::string_view(value), pattern);
}
inline std::string format(const std::string& value, std::string_view pattern) {
    return format(std::string_view(value), pattern);
}
inline std::string format(int value, std::string_view pattern) {
    return format(static_cast<double>(value), pattern);
}
inline std::string format(long value, std::string_view pattern) {
    return format(static_cast<double>(value), pattern);
}
inline std::string format(long long value, std::string_view pattern) {
    return format(static_cast<double>(value), pattern);
}

// CStr of a number: integers without a decimal point, others with up to 15 significant
// digits ("1.5", "-0.25").
std::string cstr(double value);

}  // namespace runtime
