#pragma once
// Measurements of the printer for the print layout: the physical offsets of the
// printable area, and the list of printer properties the printer test page prints.
#include <cstdint>
#include <string>
#include <vector>

namespace printer {
class Printer;
}

// Number of entries of the printer information list.
inline constexpr int kPrinterMetricsCount = 44;

// The current printer's unprintable left and top edges in twips, rounded.
std::int16_t gfniGetOffsetX();
std::int16_t gfniGetOffsetY();

// Fills values(0..43) with the printer's properties as texts, in the order of the test
// page's labels; sets the printer's font to "ＭＳ ゴシック" 11 first. The caller sizes the
// list; a shorter one raises run-time error 9. Printer errors propagate.
void gsbGetPrinterMetrics(printer::Printer& prn, std::vector<std::string>& values);
