#pragma once
// The print state shared by the output device set-up, the report framework and every
// report writer: page geometry, font metrics, the column table, the current position and
// the page counters. Positions and lengths are 16-bit twips; arithmetic on them that
// leaves the 16-bit range raises run-time error 6 (overflow), as the reports rely on.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace printer {
class Canvas;
}

namespace print {

using i16 = std::int16_t;

// The value as a 16-bit integer; run-time error 6 outside the range.
i16 ck(long long value);
// A measured length rounded half to even into 16 bits (error 6 outside).
i16 rnd(double value);

// Metrics of one font size, in twips.
struct FontMetric {
    i16 charWidth = 0;   // width of "1"
    i16 lineHeight = 0;  // height of "1" × 1.4
    i16 halfWidth = 0;   // cell margin
    i16 textOffset = 0;  // gap above the text inside a line
};

inline constexpr int kAlignLeft = 0;
inline constexpr int kAlignRight = 1;
inline constexpr int kAlignCentre = 2;

struct PrintColumn {
    i16 width = 0;  // characters, then twips once the positions are set
    std::string caption;
    i16 leftX = 0;
    i16 rightX = 0;
    i16 centreX = 0;
    i16 align = kAlignLeft;
    std::string text;
};

struct PrintState {
    printer::Canvas* out = nullptr;  // the output object
    bool preview = false;
    bool frame = false;
    i16 lineWidth = 0;
    i16 leftMargin = 0, topMargin = 0, rightMargin = 0, bottomMargin = 0;
    i16 rightLimit = 0, bottomLimit = 0;
    i16 pageWidth = 0, pageHeight = 0, paperCode = 0;
    std::vector<FontMetric> metrics;  // sizes 6..11
    std::vector<PrintColumn> columns;
    i16 columnCount = 0;
    i16 tableWidth = 0;
    i16 linesPage = 0;
    i16 fontSize = 0;
    i16 x = 0, y = 0;
    std::string buffer;
    i16 pageCount = 0;
    i16 pageNo = 0;
    bool cancelRequest = false;

    // The metrics of a font size; run-time error 9 outside the table.
    const FontMetric& metric(int size) const;
    // Column i of the table; run-time error 9 outside it.
    PrintColumn& column(int i);
    // Sizes the column table to n columns, all empty, and sets the column count.
    void setColumns(int n);
    printer::Canvas& output() const;
};

PrintState& state();

// Where the framework shows its progress: the print dialog's page label and the
// preview's page labels. Each is optional.
struct PrintSinks {
    std::function<void(const std::string&)> progress;
    std::function<void(i16 pageCount, i16 pageNo)> previewPages;
    // The preview picture the device set-up draws on when previewing.
    printer::Canvas* previewCanvas = nullptr;
    // The open document's name as the main window shows it.
    std::function<std::string()> documentName;
    // The print dialog's entries as they stand: left, right, top and bottom margin and
    // line width, and the orientation text (the printer test page prints them).
    std::vector<std::string> entries;
    std::string orientation;
};
PrintSinks& sinks();

}  // namespace print
