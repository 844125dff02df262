#include "print/framework.h"

#include <array>

#include "core/globals.h"
#include "core/strings.h"
#include "forms/colour.h"
#include "printer/canvas.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/events.h"
#include "runtime/format.h"
#include "runtime/numeric.h"

using print::ck;
using print::i16;
using print::rnd;
using print::state;

namespace {

constexpr forms::Colour kWhite = 0xFFFFFF;
constexpr forms::Colour kFore = 0x000000;
constexpr const char* kFace = "ＭＳ ゴシック";

void setFont(printer::Canvas& out, double size) {
    out.setFontName(kFace);
    out.setFontSize(size);
}

// A \ b of the language: both operands rounded to integers first.
long long idiv(double a, long long b) { return runtime::intDiv(static_cast<long long>(runtime::roundHalfEven(a)), b); }

}  // namespace

std::string gfnvPrintTitle(int iMode) {
    switch (iMode) {
        case 0: return "メッセージ";
        case 1: return "スケジュール";
        case 2: return "祝日";
        case 3: return "特定日スケジュール登録";
        case 4: return "年間スケジュール";
        case 6: return "機能設定";
        case 7: return "曜日スケジュール";
        case 8: return "祝日スケジュール";
        case 9: return "特定日スケジュール";
        case 10: return "書き込み情報";
        case 11: return "カード情報";
        default: return "";
    }
}

void setColumnTable(std::initializer_list<ColumnSpec> columns) {
    auto& s = state();
    s.setColumns(static_cast<int>(columns.size()));
    int i = 0;
    for (const auto& c : columns) {
        auto& col = s.column(i++);
        col.width = ck(c.width);
        col.caption = c.caption;
        col.align = ck(c.align);
    }
}

void psbClearPage() {
    auto& s = state();
    printer::Canvas& out = s.output();
    out.line(0, 0, 0, 0, kWhite);
    out.setFontTransparent(false);
    out.setFillStyle(printer::kFillSolid);
    out.setCurrentX(0);
    out.setCurrentY(0);
    out.print(" ");
    out.setFontTransparent(true);
    out.setFillStyle(printer::kFillTransparent);
    out.setDrawWidth(s.lineWidth);
}

void psbPrintHeader(i16 iMode) {
    auto& s = state();
    psbClearPage();
    printer::Canvas& out = s.output();
    if (s.preview) {
        if (s.frame)
            out.fillBox(s.leftMargin, s.topMargin, ck(s.leftMargin + ck(s.rightLimit - s.leftMargin)),
                        ck(s.topMargin + ck(s.bottomLimit - s.topMargin)), kWhite);
        else
            out.fillBox(0, 0, s.pageWidth, s.pageHeight, kWhite);
    } else if (gintLogMode != vbFalse && s.frame) {
        out.box(s.leftMargin, s.topMargin, ck(s.leftMargin + ck(s.rightLimit - s.leftMargin)),
                ck(s.topMargin + ck(s.bottomLimit - s.topMargin)), kFore);
    }

    setFont(out, 14);
    s.x = s.leftMargin;
    s.y = s.topMargin;
    out.setCurrentX(s.x);
    out.setCurrentY(s.y);
    out.print(gfnvPrintTitle(iMode) + "一覧");

    setFont(out, 9);
    std::string name = print::sinks().documentName ? print::sinks().documentName() : std::string();
    if (!name.empty()) {
        name = "ファイル名：" + gfnsLeftB(name, 60);
        s.x = rnd(s.rightLimit - out.textWidth(name));
        out.setCurrentX(s.x);
        out.setCurrentY(s.y);
        out.print(name);
    }
    s.y = ck(s.y + s.metric(9).lineHeight);

    setFont(out, 9);
    const std::string when = "印刷日時 " + runtime::format(runtime::now(), "yyyy/mm/dd hh:mm");
    s.x = rnd(s.rightLimit - out.textWidth(when));
    out.setCurrentX(s.x);
    out.setCurrentY(s.y);
    out.print(when);
    s.y = ck(s.y + s.metric(9).lineHeight);
}

void psbSetColumnPos(i16 iFontSize) {
    auto& s = state();
    const auto& m = s.metric(iFontSize);
    i16 o = 0;
    for (int i = 0; i < s.columnCount; ++i) {
        auto& c = s.column(i);
        const i16 w = ck(c.width * m.charWidth + 2 * m.halfWidth);
        c.width = w;
        c.leftX = ck(o + m.halfWidth);
        c.centreX = ck(o + w / 2);
        c.rightX = ck(o + w - m.halfWidth);
        o = ck(o + w);
    }
    s.tableWidth = o;
}

void psbPrintColumnHeader(i16 iFontSize) {
    auto& s = state();
    printer::Canvas& out = s.output();
    const auto& m = s.metric(iFontSize);
    setFont(out, iFontSize);
    const i16 h = ck(m.lineHeight * s.linesPage);
    for (int i = 0; i < s.columnCount; ++i) {
        auto& c = s.column(i);
        out.box(s.x, s.y, ck(s.x + c.width), ck(s.y + h), kFore);
        out.setCurrentX(s.x + static_cast<double>(idiv(c.width - out.textWidth(c.caption), 2)));
        out.setCurrentY(s.y + m.textOffset);
        out.print(c.caption);
        s.x = ck(s.x + c.width);
    }
    s.y = ck(s.y + m.lineHeight);
}

void psbPrintRow(bool fRule) {
    auto& s = state();
    printer::Canvas& out = s.output();
    const auto& m = s.metric(s.fontSize);
    if (fRule) out.line(s.x, s.y, ck(s.x + s.tableWidth), s.y, kFore);
    for (int i = 0; i < static_cast<int>(s.columns.size()); ++i) {
        auto& c = s.column(i);
        switch (c.align) {
            case print::kAlignRight: out.setCurrentX(s.x + c.rightX - out.textWidth(c.text)); break;
            case print::kAlignCentre: out.setCurrentX(s.x + c.centreX - static_cast<double>(idiv(out.textWidth(c.text), 2))); break;
            default: out.setCurrentX(s.x + c.leftX);
        }
        out.setCurrentY(s.y + m.textOffset);
        out.print(c.text);
    }
}

i16 pfniPrintRuleText(bool fRule, i16 iWidth) {
    auto& s = state();
    printer::Canvas& out = s.output();
    const auto& m = s.metric(s.fontSize);
    out.setCurrentX(s.x + m.halfWidth);
    out.setCurrentY(s.y + m.textOffset);
    out.print(s.buffer);
    const i16 w = iWidth != 0 ? iWidth : rnd(out.textWidth(s.buffer) + 2 * m.halfWidth);
    if (fRule) out.line(s.x, ck(s.y + m.lineHeight), ck(s.x + w), ck(s.y + m.lineHeight), kFore);
    return w;
}

void psbPrintFooter(i16 iFontSize) {
    auto& s = state();
    printer::Canvas& out = s.output();
    setFont(out, iFontSize);
    const std::string text = std::to_string(s.pageNo) + "／" + std::to_string(s.pageCount);
    out.setCurrentX(static_cast<double>(idiv(s.pageWidth - out.textWidth(text), 2)));
    out.setCurrentY(s.bottomLimit - out.textHeight(text));
    out.print(text);
}

void psbShowPrintPage() {
    auto& s = state();
    auto& sinks = print::sinks();
    if (sinks.progress)
        sinks.progress(runtime::format(static_cast<int>(s.pageNo), "@@") + "/" +
                       runtime::format(static_cast<int>(s.pageCount), "@@@") + " ﾍﾟｰｼﾞを印刷中です。");
    if (s.preview) {
        if (sinks.previewPages) sinks.previewPages(s.pageCount, s.pageNo);
        return;
    }
    runtime::doEvents();
    if (s.cancelRequest) {
        s.cancelRequest = false;
        runtime::raise(runtime::err::Cancel);
    }
}

void gsbCancelPrint() { state().cancelRequest = true; }
