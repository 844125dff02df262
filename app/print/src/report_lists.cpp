// The one-page list reports: national holidays and message channels.
#include "core/errors.h"
#include "core/globals.h"
#include "core/messages.h"
#include "core/strings.h"
#include "forms/msgbox.h"
#include "print/framework.h"
#include "print/print.h"
#include "report_util.h"

using print::ck;
using print::i16;
using print::state;

namespace {

constexpr int kNotUsed = 255;

std::string useText(int value) { return value == kNotUsed ? "使用しない" : "使用する　"; }

void printRow(bool advance = true) {
    auto& s = state();
    psbPrintRow(true);
    if (advance) s.y = ck(s.y + s.metric(9).lineHeight);
}

bool holidayTableEmpty() {
    auto rs = gdbWork.openRecordset("SELECT Count(*) AS n FROM tblSyukujitu");
    return rs["n"].toInt() == 0;
}

void pfnfPrintChartSyuku() {
    auto& s = state();
    printer::Canvas& out = s.output();
    auto rs = gdbWork.openRecordset("SELECT * FROM tblSyukujitu ORDER BY fldMonth ASC, fldDay ASC");
    print::setReportFont(out, 10);
    s.x = s.leftMargin;

    int holidays = kNotUsed, substitutes = kNotUsed;
    if (!rs.eof() && rs["fldDay"].toInt() == 0) {
        holidays = rs["fldSyukujitu"].toInt();
        substitutes = rs["fldMonday"].toInt();
        rs.moveNext();
    } else {
        gsbErrorMsg("祝日登録がない！(pfnfPrintChartSyuku)", false);
    }
    // The cells take the table's metrics (size 9); only their font is 10 points.
    const auto& m10 = s.metric(10);
    s.buffer = "祝日：" + useText(holidays);
    s.x = ck(s.x + pfniPrintRuleText(true, 0) + 2 * m10.charWidth);
    s.buffer = "振替休日：" + useText(substitutes);
    s.x = ck(s.x + pfniPrintRuleText(true, 0));
    s.y = ck(s.y + 2 * m10.lineHeight);

    print::setReportFont(out, 9);
    s.x = s.leftMargin;
    psbPrintColumnHeader(9);
    int n = 0;
    for (; !rs.eof(); rs.moveNext()) {
        s.x = s.leftMargin;
        s.column(0).text = std::to_string(++n);
        s.column(1).text = gfnsGetSyukujituStr(rs["fldMonth"].toInt(), rs["fldDay"].toInt());
        s.column(2).text = print::fitText(rs["fldName"].toText(), 20);
        printRow();
    }
    for (int i = n + 1; i <= 25; ++i) {
        s.x = s.leftMargin;
        s.column(0).text = std::to_string(i);
        s.column(1).text.clear();
        s.column(2).text.clear();
        printRow();
    }
}

void pfnfPrintChartMessage(i16 iNo) {
    auto& s = state();
    const std::string where = iNo != 0 ? "(fldCh Between 1 And 9) Or fldCh = 10 Or fldCh = 11 Or fldCh = 12"
                                       : "fldCh Between 1 And 9";
    auto rs = gdbWork.openRecordset("SELECT * FROM tblMessage WHERE " + where + " ORDER BY fldCh ASC;");
    s.linesPage = ck(print::countRows(rs) + 1);
    print::setReportFont(s.output(), 9);
    s.x = s.leftMargin;
    psbPrintColumnHeader(9);
    s.x = s.leftMargin;
    for (; !rs.eof(); rs.moveNext()) {
        const int ch = rs["fldCh"].toInt();
        s.column(0).text = gfnsGetChannelStr(ch, false);
        s.column(1).text = print::fitText(rs["fldComment"].toText(), 20);
        s.column(2).text = ch <= 9 && rs["fldUse"].toBool() ? "○" : "";
        if (s.columns.size() > 3) s.column(3).text = ch > 9 ? "" : gfnsAnsRecStr(rs["fldAnsRec"].toBool());
        printRow();
    }
    s.y = ck(s.y + s.metric(9).lineHeight);
}

}  // namespace

bool gfnfPrintSyuku() {
    auto& s = state();
    s.fontSize = 9;
    s.linesPage = 26;
    setColumnTable({{3, "No.", print::kAlignRight}, {20, "日付", print::kAlignRight}, {24, "祝日名", print::kAlignLeft}});
    psbSetColumnPos(9);
    s.pageCount = 1;
    s.pageNo = 1;
    // Asked before anything is drawn, so that No leaves no page behind.
    if (holidayTableEmpty() && gfniMsgBox(9) == forms::vbNo) return false;
    psbPrintHeader(2);
    psbShowPrintPage();
    pfnfPrintChartSyuku();
    psbPrintFooter(9);
    return true;
}

bool gfnfPrintMessage(i16 iNo) {
    auto& s = state();
    s.fontSize = 9;
    s.linesPage = 10;
    if (gfAnsRec != vbFalse)
        setColumnTable({{4, "番号", print::kAlignCentre},
                        {20, "メッセージ名", print::kAlignLeft},
                        {8, "使用", print::kAlignCentre},
                        {8, "応答", print::kAlignCentre}});
    else
        setColumnTable({{4, "番号", print::kAlignCentre}, {20, "メッセージ名", print::kAlignLeft}, {8, "使用", print::kAlignCentre}});
    psbSetColumnPos(9);
    s.pageCount = 1;
    s.pageNo = 1;
    psbPrintHeader(0);
    psbShowPrintPage();
    pfnfPrintChartMessage(iNo);
    psbPrintFooter(9);
    return true;
}
