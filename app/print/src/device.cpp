#include "print/device.h"

#include <utility>

#include "core/printer_metrics.h"
#include "print/framework.h"
#include "printer/printer.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

using print::ck;
using print::i16;
using print::rnd;
using print::state;

namespace {
constexpr float kTwipsPerMm = 56.7f;

i16 mmToTwips(double mm) { return rnd(mm * static_cast<double>(kTwipsPerMm)); }
}  // namespace

std::string gfnsPaperName(i16 iPaper, i16 iWidth, i16 iHeight) {
    auto& s = state();
    std::string caption;
    int w = iWidth, h = iHeight;
    switch (iPaper) {
        case 9: w = 210; h = 297; caption = "Ａ４（210×297mm）"; break;
        case 11: w = 148; h = 210; caption = "Ａ５（148×210mm）"; break;
        case 12: w = 250; h = 354; caption = "Ｂ４（250×354mm）"; break;
        case 13: w = 182; h = 257; caption = "Ｂ５（182×257mm）"; break;
        default:
            caption = std::to_string(iWidth) + "×" + std::to_string(iHeight) + "mm";
            iPaper = printer::kPaperUser;
    }
    s.paperCode = iPaper;
    s.pageWidth = mmToTwips(w);
    s.pageHeight = mmToTwips(h);
    return caption;
}

void gsbSetPrintDevice(const PrintMargins& margins, i16 iLineWidth, const std::string& sOrientation, bool fPreview,
                       bool fFrame, i16 iPage) {
    auto& s = state();
    s.leftMargin = mmToTwips(margins.left);
    s.topMargin = mmToTwips(margins.top);
    s.rightMargin = mmToTwips(margins.right);
    s.bottomMargin = mmToTwips(margins.bottom);
    s.lineWidth = iLineWidth;
    s.frame = fFrame;
    s.pageNo = iPage;
    if (sOrientation == kPortraitText ? s.pageHeight < s.pageWidth
                                      : sOrientation == kLandscapeText && s.pageWidth < s.pageHeight)
        std::swap(s.pageWidth, s.pageHeight);
    s.preview = fPreview;

    if (fPreview) {
        printer::Canvas* pic = print::sinks().previewCanvas;
        if (!pic) runtime::raise(runtime::err::ObjectNotSet);
        s.out = pic;
        pic->setScaleMode(printer::kScaleTwips);
        if (s.lineWidth > 1) s.lineWidth = static_cast<i16>(s.lineWidth / 2);
        pic->setDrawWidth(s.lineWidth);
        pic->setWidth(s.pageWidth);
        pic->setHeight(s.pageHeight);
        pic->setAutoRedraw(true);
        pic->cls();
    } else {
        printer::Printer& prn = printer::currentPrinter();
        s.out = &prn;
        prn.setScaleMode(printer::kScaleTwips);
        if (s.paperCode == printer::kPaperUser) {
            prn.setPaperSize(printer::kPaperUser);
            prn.setOrientation(printer::kPortrait);
            prn.setWidth(std::min(s.pageWidth, s.pageHeight));
            prn.setHeight(std::max(s.pageWidth, s.pageHeight));
        } else {
            prn.setPaperSize(s.paperCode);
        }
        prn.setDrawWidth(s.lineWidth);
        prn.setFontTransparent(true);
        const i16 offsetX = gfniGetOffsetX();
        const i16 offsetY = gfniGetOffsetY();
        if (sOrientation == kPortraitText) {
            prn.setOrientation(printer::kPortrait);
            s.topMargin = ck(s.topMargin - offsetY);
            s.leftMargin = ck(s.leftMargin - offsetX);
            s.rightMargin = ck(s.rightMargin + offsetX);
            s.bottomMargin = ck(s.bottomMargin + offsetY);
        } else if (sOrientation == kLandscapeText) {
            prn.setOrientation(printer::kLandscape);
            s.topMargin = ck(s.topMargin - offsetX);
            s.leftMargin = ck(s.leftMargin - offsetY);
            s.rightMargin = ck(s.rightMargin + offsetX);
            s.bottomMargin = ck(s.bottomMargin + offsetY);
        }
        // The page is laid out on the sheet the printer is given, which for B4 is not
        // quite the size the paper table names.
        s.pageWidth = rnd(prn.width());
        s.pageHeight = rnd(prn.height());
    }
    s.rightLimit = ck(s.pageWidth - s.rightMargin);
    s.bottomLimit = ck(s.pageHeight - s.bottomMargin);
    psbSetFontMetrics();
}

void psbSetFontMetrics() {
    auto& s = state();
    printer::Canvas& out = s.output();
    s.metrics.assign(6, print::FontMetric{});
    for (int size = 7; size <= 11; ++size) {
        out.setFontName("ＭＳ ゴシック");
        out.setFontSize(size);
        auto& m = s.metrics[static_cast<std::size_t>(size - 6)];
        const double cw = out.textWidth("1");
        const double lh = out.textHeight("1") * 1.4;
        m.charWidth = rnd(cw);
        m.lineHeight = rnd(lh);
        m.halfWidth = rnd(m.charWidth * 0.5);
        m.textOffset = rnd(m.lineHeight * 0.2);
    }
}
