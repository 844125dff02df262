#pragma once
// Text as the program's files and the card keep it. Strings inside the program are UTF-8;
// names on the card, the log and message lists are CP932 (Windows Shift-JIS), where a
// full-width character takes two bytes and ASCII and half-width katakana one.
#include <string>
#include <string_view>

namespace text {

// UTF-8 to CP932 bytes. A character CP932 cannot hold becomes '?'.
std::string toCp932(std::string_view utf8);

// CP932 bytes to UTF-8. A byte sequence that is not CP932 becomes '?'.
std::string fromCp932(std::string_view cp932);

// Byte length of the CP932 form (LenB after conversion to the ANSI code page).
int lenB(std::string_view utf8);

// The characters that fit in the first `bytes` bytes of the CP932 form; a two-byte
// character that would be cut in half is dropped. A negative count gives "".
std::string leftB(std::string_view utf8, int bytes);

// To full-width: ASCII letters, digits, punctuation and the blank become their full-width
// forms, half-width katakana full-width katakana (ｼﾞ becomes ジ). Everything else is kept.
std::string toWide(std::string_view utf8);

// To half-width: the inverse of toWide (ジ becomes ｼﾞ). Hiragana, kanji and katakana
// without a half-width form are kept.
std::string toNarrow(std::string_view utf8);

}  // namespace text
