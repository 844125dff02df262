#pragma once
// The drawing operations every report writer calls: page start, page header, boxed
// column captions, table rows, a text cell with an optional rule, the page footer, and
// the page progress with its cancel point. All draw on the print state's output object.
#include <string>

#include "print/state.h"

// The report title of a print mode; empty for a mode without one.
std::string gfnvPrintTitle(int iMode);

// Starts a page on the output object.
void psbClearPage();
// Background or frame, title, document name and print time; leaves Y below the header.
void psbPrintHeader(print::i16 iMode);
// Turns the column widths from characters into twips and sets the text positions.
void psbSetColumnPos(print::i16 iFontSize);
// The column boxes (lines a page high) and their captions from X, Y; X moves by the
// table width, Y by one line.
void psbPrintColumnHeader(print::i16 iFontSize);
// The texts of all columns on the line at Y, with a rule above them when fRule.
void psbPrintRow(bool fRule);
// The text buffer as one cell at X, Y; returns the cell's width (iWidth unless 0).
print::i16 pfniPrintRuleText(bool fRule, print::i16 iWidth);
// "page／pages" centred on the page at the bottom limit.
void psbPrintFooter(print::i16 iFontSize);
// Shows the page progress; while printing, lets events run and raises the cancel
// (run-time error 32755) when one was asked for.
void psbShowPrintPage();
// Asks the running print to stop at its next progress point.
void gsbCancelPrint();

// Fills the report's column table: width in characters, caption, alignment.
struct ColumnSpec {
    int width;
    const char* caption;
    int align;
};
void setColumnTable(std::initializer_list<ColumnSpec> columns);
