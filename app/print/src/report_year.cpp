// The special-day list report: the special days of a range of years, 50 to a page.
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

constexpr int kLinesPerPage = 50;

void pfnfPrintChartYear(dao::Recordset& rs) {
    auto& s = state();
    print::setReportFont(s.output(), 9);
    s.x = s.leftMargin;
    psbPrintColumnHeader(9);
    s.x = s.leftMargin;
    int i = (s.pageNo - 1) * kLinesPerPage;
    for (int line = 1; line <= kLinesPerPage; ++line) {
        s.column(0).text = std::to_string(++i);
        if (rs.isOpen() && !rs.eof()) {
            const std::string date =
                rs["fldYear"].toText() + "/" + rs["fldMonth"].toText() + "/" + rs["fldDay"].toText();
            s.column(1).text = gfnsDateWeekStr(date);
            s.column(2).text = gfnsGetDayTypeStr(rs["fldPattern"].toInt(), 0);
            s.column(3).text = print::fitText(rs["fldComment"].toText(), 20);
            rs.moveNext();
        } else {
            for (int c = 1; c < 4; ++c) s.column(c).text.clear();
        }
        psbPrintRow(true);
        s.y = ck(s.y + s.metric(9).lineHeight);
    }
}

}  // namespace

bool gfnfPrintYear(i16 iFromYear, i16 iToYear) {
    auto& s = state();
    auto rs = gdbWork.openRecordset("SELECT * FROM tblYear WHERE fldYear Between " + std::to_string(iFromYear) +
                                    " And " + std::to_string(iToYear) +
                                    " ORDER BY fldYear ASC, fldMonth ASC, fldDay ASC");
    long n = print::countRows(rs);
    if (n == 0) {
        if (gfniMsgBox(9) == forms::vbNo) return false;
        n = 1;
    }
    s.linesPage = kLinesPerPage + 1;
    s.pageCount = ck(n / kLinesPerPage + (n % kLinesPerPage != 0 ? 1 : 0));
    s.fontSize = 9;
    setColumnTable({{4, "", print::kAlignRight},
                    {30, "日付", print::kAlignRight},
                    {7, "ｽｹｼﾞｭｰﾙ", print::kAlignCentre},
                    {20, "備考", print::kAlignLeft}});
    psbSetColumnPos(9);
    if (!s.preview) s.pageNo = 1;
    const bool rows = rs.recordCount() > 0;
    while (s.pageNo <= s.pageCount) {
        psbPrintHeader(3);
        psbShowPrintPage();
        if (rows) {
            rs.moveFirst();
            print::skipRows(rs, static_cast<long>(s.pageNo - 1) * kLinesPerPage);
        }
        pfnfPrintChartYear(rs);
        psbPrintFooter(9);
        if (s.preview) break;
        if (s.pageNo < s.pageCount) s.output().newPage();
        psbShowPrintPage();
        s.pageNo = ck(s.pageNo + 1);
    }
    return true;
}
