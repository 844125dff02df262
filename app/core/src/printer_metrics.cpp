#include "core/printer_metrics.h"

#include <cstdio>

#include "printer/printer.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"

namespace {

constexpr double kTwipsPerMm = 56.7;
constexpr double kA4WidthTwips = 11907;
constexpr double kA4HeightTwips = 16839.9;

std::string flag(bool b) { return b ? "True" : "False"; }

// A single-precision value as its text form: at most 7 significant digits.
std::string single(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(static_cast<float>(v)));
    return buf;
}

std::string number(double v) { return runtime::cstr(v); }

}  // namespace

std::int16_t gfniGetOffsetX() {
    const printer::Printer& p = printer::currentPrinter();
    return runtime::cint(p.physicalOffsetX() * p.pixelTwipsX());
}

std::int16_t gfniGetOffsetY() {
    const printer::Printer& p = printer::currentPrinter();
    return runtime::cint(p.physicalOffsetY() * p.pixelTwipsY());
}

void gsbGetPrinterMetrics(printer::Printer& prn, std::vector<std::string>& values) {
    if (values.size() < static_cast<std::size_t>(kPrinterMetricsCount)) runtime::raise(runtime::err::SubscriptOutOfRange);
    values[0] = prn.deviceName();
    prn.setFontName("ＭＳ ゴシック");
    prn.setFontSize(11);
    const printer::PrinterInfo& info = prn.info();
    values[1] = prn.driverName();
    values[2] = "13";  // copy pen
    values[3] = "0";   // solid lines
    values[4] = number(prn.drawWidth());
    values[5] = "1";   // monochrome
    values[6] = "1";   // simplex
    values[7] = "0";
    values[8] = number(prn.fillStyle());
    values[9] = flag(prn.fontBold());
    values[10] = flag(false);
    values[11] = flag(false);
    values[12] = flag(false);
    values[13] = number(prn.fontCount());
    values[14] = prn.fontName();
    values[15] = prn.fontCount() > 1 ? prn.fonts(1) : std::string();
    values[16] = single(prn.fontSize());
    values[17] = flag(prn.fontTransparent());
    values[18] = number(prn.height());
    values[19] = number(prn.width());
    values[20] = number(prn.orientation());
    values[21] = "7";  // automatic bin
    values[22] = number(prn.paperSize());
    values[23] = number(info.dpiX);
    values[24] = flag(false);
    const double scaleHeight = prn.scaleHeight(), scaleWidth = prn.scaleWidth();
    values[25] = single(scaleHeight);
    values[26] = single(scaleWidth);
    values[27] = "0";
    values[28] = "0";
    values[29] = number(prn.scaleMode());
    values[30] = flag(true);
    const double tppX = prn.pixelTwipsX(), tppY = prn.pixelTwipsY();
    values[31] = single(tppX);
    values[32] = single(tppY);
    values[33] = "0";
    values[34] = single(prn.textHeight("Ｗ"));
    values[35] = single(prn.textWidth("Ｗ"));
    values[36] = single(prn.textHeight("N"));
    values[37] = single(prn.textWidth("N"));
    values[38] = single(prn.textWidth("ＷＷＷＷＷＷＷＷＷＷ"));
    values[39] = single(prn.textWidth("NNNNNNNNNN"));
    const double left = prn.physicalOffsetX() * tppX;
    const double top = prn.physicalOffsetY() * tppY;
    // The right and bottom margins are those of an A4 sheet, whatever the paper.
    const double right = kA4WidthTwips - scaleWidth - left;
    const double bottom = kA4HeightTwips - scaleHeight - top;
    values[40] = number(left / kTwipsPerMm);
    values[41] = number(top / kTwipsPerMm);
    values[42] = number(right / kTwipsPerMm);
    values[43] = number(bottom / kTwipsPerMm);
}
