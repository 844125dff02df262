#pragma once
// Small helpers the report writers share.
#include <string>

#include "dao/database.h"
#include "print/state.h"
#include "printer/canvas.h"

namespace print {

inline constexpr const char* kReportFace = "ＭＳ ゴシック";

// The text cut or padded with blanks on the right to exactly n characters.
std::string fitText(const std::string& text, int n);
// The text without trailing blanks.
std::string rtrim(const std::string& text);
// Sets the output object's face to the report face and its size.
void setReportFont(printer::Canvas& out, double size);
// The number of rows of a recordset (moves to its last row and back to its first).
long countRows(dao::Recordset& rs);
// Moves the recordset on by n rows, stopping at its end.
void skipRows(dao::Recordset& rs, long n);

}  // namespace print
