#pragma once
// The output device of a print or preview run: the paper, the margins in twips corrected
// by the printer's unprintable edges, the limits of the printable area and the font
// metrics, all written into the print state.
#include <string>

#include "print/state.h"

// Millimetres, in the order the dialog hands them over.
struct PrintMargins {
    print::i16 left = 0, top = 0, right = 0, bottom = 0;
};

inline constexpr const char* kPortraitText = "縦方向";
inline constexpr const char* kLandscapeText = "横方向";

// The caption of a paper; sets the print state's paper code and page size in twips. A
// code outside the table takes the width and height given (mm) and becomes 256.
std::string gfnsPaperName(print::i16 iPaper, print::i16 iWidth, print::i16 iHeight);

// Prepares the output object of a run: the printer (the chosen one is already the
// Printer object) or, when previewing, the preview picture of the print sinks.
void gsbSetPrintDevice(const PrintMargins& margins, print::i16 iLineWidth, const std::string& sOrientation,
                       bool fPreview, bool fFrame, print::i16 iPage);

// Fills the font metrics table (sizes 6..11; 7..11 measured) from the output object.
void psbSetFontMetrics();
