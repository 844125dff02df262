// The function-settings report and the printer test page laid over it.
#include <array>

#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/printer_metrics.h"
#include "core/strings.h"
#include "print/device.h"
#include "print/framework.h"
#include "print/print.h"
#include "printer/printer.h"
#include "report_util.h"
#include "runtime/error.h"

using print::ck;
using print::i16;
using print::state;

namespace {

void pfnfPrintChartSetting(i16 iLevel) {
    auto& s = state();
    const char* where = nullptr;
    switch (iLevel) {
        case 1: where = "fldType = 1"; break;
        case 2: where = "fldType = 1 Or fldType = 2"; break;
        case 3: where = "fldType = 1 Or fldType = 2 Or fldType = 3"; break;
        default: runtime::raise(3129);  // no query for another level
    }
    auto rs = gdbWork.openRecordset(std::string("SELECT * FROM tblSetting WHERE ") + where + " ORDER BY fldOrder ASC;");
    s.linesPage = ck(print::countRows(rs) + 1);
    print::setReportFont(s.output(), 9);
    s.x = s.leftMargin;
    psbPrintColumnHeader(9);
    for (; !rs.eof(); rs.moveNext()) {
        s.x = s.leftMargin;
        const std::string value = rs["fldValue"].toText();
        s.column(0).text = rs["fldOrder"].toText();
        s.column(1).text = rs["fldItem"].toText();
        s.column(2).text = gfnsSettingToStr(rs["fldNo"].toInt(), value);
        s.column(3).text = value;
        psbPrintRow(true);
        s.y = ck(s.y + s.metric(9).lineHeight);
    }
}

constexpr std::array<const char*, kPrinterMetricsCount> kMetricLabels{
    "DeviceName", "DriverName", "DrawMode", "DrawStyle", "DrawWidth ", "ColorMode", "Duplex", "FillColor",
    "FillStyle", "FontBold", "FontItalic", "FontStrikethru", "FontUnderline", "FontCount", "FontName", "Fonts",
    "FontSize", "FontTransparent", "Height", "Width", "Orientation", "PaperBin", "PaperSize", "PrintQuality",
    "RightToLeft", "ScaleHeight", "ScaleWidth", "ScaleLeft", "ScaleTop", "ScaleMode", "TrackDefault",
    "TwipsPerPixelX", "TwipsPerPixelY", "Zoom", "TextHeight_W", "TextWidth_W", "TextHeight_N", "TextWidth_N",
    "TextWidth_10W", "TextWidth_10N", "Left_Margin", "Top_Margin", "Right_Margin", "Bottom_Margin"};

void cornerMarks(printer::Canvas& out) {
    const double w = out.scaleWidth(), h = out.scaleHeight();
    struct Corner {
        double x, y, sx, sy;
    };
    for (const Corner& c : {Corner{0, 0, 1, 1}, Corner{w, 0, -1, 1}, Corner{0, h, 1, -1}, Corner{w, h, -1, -1}}) {
        out.line(c.x, c.y, c.x + 400 * c.sx, c.y + 400 * c.sy, out.foreColor());
        out.line(c.x, c.y, c.x + 250 * c.sx, c.y, out.foreColor());
        out.line(c.x, c.y, c.x, c.y + 250 * c.sy, out.foreColor());
    }
}

std::string entry(std::size_t i) {
    const auto& e = print::sinks().entries;
    return i < e.size() ? e[i] : std::string();
}

}  // namespace

bool gfnfPrintSetting(i16 iLevel) {
    auto& s = state();
    s.fontSize = 9;
    setColumnTable({{4, "番号", print::kAlignRight},
                    {30, "項目", print::kAlignLeft},
                    {26, "登録内容", print::kAlignCentre},
                    {10, "値", print::kAlignCentre}});
    psbSetColumnPos(9);
    s.pageNo = 1;
    s.pageCount = 1;
    psbPrintHeader(6);
    psbShowPrintPage();
    pfnfPrintChartSetting(iLevel);
    psbPrintFooter(9);
    return true;
}

bool gfnfPrintTest() {
    bool result;
    if (gfnfFileExists(gstrDataPath + "Regist.dat")) {
        result = gfnfPrintSetting(2);
    } else {
        gsbOpenDatabase(gdbWork, gstrDataPath + "Master.dat");
        try {
            result = gfnfPrintSetting(2);
        } catch (...) {
            gsbCloseDatabase(gdbWork);
            throw;
        }
        gsbCloseDatabase(gdbWork);
    }

    std::vector<std::string> values(kPrinterMetricsCount);
    gsbGetPrinterMetrics(printer::currentPrinter(), values);
    printer::Canvas& out = state().output();
    cornerMarks(out);

    constexpr double x0 = 1701, y0 = 5670;
    out.setFontSize(8);
    const double step = print::rnd(out.textHeight("Ｗ") * 1.9);
    const double u = print::rnd(out.textHeight("N"));
    out.setCurrentX(x0);
    out.setCurrentY(y0);
    out.setDrawWidth(1);
    out.print("    1         2         3         4         5");
    for (int k = 0; k < 5; ++k) {
        out.setDrawWidth(k + 1);
        out.line(x0 + 5 * u * k, y0 + step, x0 + 5 * u * k + 4 * u, y0 + step, out.foreColor());
    }
    out.setCurrentY(out.currentY() + step);
    out.setCurrentX(x0);
    out.print("左余白：" + entry(0) + "　右余白：" + entry(1) + "　上余白：" + entry(2) + "　下余白：" + entry(3) +
              "　罫線幅：" + entry(4));
    out.setCurrentY(out.currentY() + step);
    const bool landscape = print::sinks().orientation == kLandscapeText;
    for (int i = 0; i < kPrinterMetricsCount; ++i) {
        out.setCurrentX(x0);
        out.print(print::fitText(kMetricLabels[static_cast<std::size_t>(i)], 20) + values[static_cast<std::size_t>(i)]);
        if (i == 0) {
            psbShowPrintPage();
            if (landscape) break;
        }
    }
    return result;
}
