#pragma once
// The two list grids several windows show: the day patterns and the message channels.
// Each window designs its grid (columns, headings, widths, row count); these only fill it.

namespace forms {
class Grid;
}

// Fills the grid with the day patterns: all but pattern 0, or with bSpecial pattern 0
// and the special-day patterns. Column 1 keeps its text and shows the pattern's colour
// when it has steps (&H8080FF when in error); column 2 the name in 20 characters. One
// pattern a grid row: a grid with more rows than patterns raises 3021. The grid is shown
// and painted again however the fill ends.
void gsbShowPatternList(forms::Grid& grid, bool bSpecial);

// Fills the grid with the message channels 1 to 9: number and name, and the answer type
// in column 3 (mode other than 1), or with mode 1 the used channels marked. A mode other
// than 0 puts "停止" on row 1 first.
void gsbShowMessageList(forms::Grid& grid, int iMode);
