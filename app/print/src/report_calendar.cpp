// The yearly calendar report: month grids (normal and reduced) or day lists.
#include <array>

#include "core/calendar.h"
#include "core/schedule.h"
#include "core/strings.h"
#include "print/framework.h"
#include "print/print.h"
#include "report_util.h"
#include "runtime/format.h"
#include "text/text.h"

using print::ck;
using print::i16;
using print::state;

namespace {

constexpr std::array<const char*, 7> kWeekdays{"日", "月", "火", "水", "木", "金", "土"};

struct Style {
    int months;  // a page
    int across;
    int down;
    i16 size;
    i16 lines;
    bool grid;
};

Style styleOf(int style) {
    switch (style) {
        case 0: return {6, 3, 2, 10, 13, true};
        case 1: return {12, 4, 3, 7, 13, true};
        default: return {4, 4, 1, 9, 32, false};
    }
}

// The schedule tables stay open for the whole report and are released on every way out.
struct ScheduleTablesOpen {
    ScheduleTablesOpen() { gsbOpenScheduleTables(true); }
    ~ScheduleTablesOpen() { gsbOpenScheduleTables(false); }
};

std::string monthHeading(int year, int month) {
    return text::toWide(runtime::format(year, "@@@@") + "年 " + runtime::format(month, "@@")) + "月";
}

void printAt(printer::Canvas& out, double x, double y, const std::string& text) {
    out.setCurrentX(x);
    out.setCurrentY(y);
    out.print(text);
}

void psbPrintMonthGrid(int year, int month, i16 size) {
    auto& s = state();
    printer::Canvas& out = s.output();
    core::DayBytes days;
    core::DayNames names;
    const int count = gfniGetMonthDays(month, year);
    gsbGetScheduleData(year, month, days, names);

    const auto& big = s.metric(size + 1);
    const auto& m = s.metric(size);
    print::setReportFont(out, size + 1);
    printAt(out, s.x + big.halfWidth, s.y + big.textOffset, monthHeading(year, month));
    const i16 offset = ck(s.x - s.leftMargin);
    s.y = ck(s.y + big.lineHeight);

    print::setReportFont(out, size);
    s.x = ck(s.leftMargin + offset);
    psbPrintColumnHeader(size);
    const i16 rowTop = s.y;
    for (int d = 1; d <= count; ++d) {
        const int w = core::weekdayOf(year, month, d);
        const auto& col = s.column(w - 1);
        s.x = ck(s.leftMargin + offset);
        out.setFontName("Arial");
        out.setFontBold(true);
        out.setFontSize(size + 1);
        printAt(out, s.x + col.leftX, s.y, std::to_string(d));
        out.setFontName(print::kReportFace);
        out.setFontBold(false);
        out.setFontSize(size - 1);
        const std::string mark = gfnsGetDayTypeStr(days(d), 2);
        printAt(out, s.x + col.rightX - out.textWidth(mark), s.y + m.lineHeight + m.textOffset, mark);
        if (w == 7) s.y = ck(s.y + 2 * m.lineHeight);
    }
    s.y = rowTop;
    s.x = ck(s.leftMargin + offset);
    for (int i = 0; i < 6; ++i) {
        out.line(s.x, s.y, ck(s.x + s.tableWidth), s.y, out.foreColor());
        s.y = ck(s.y + 2 * m.lineHeight);
    }
}

void psbPrintMonthList(int year, int month, i16 size) {
    auto& s = state();
    printer::Canvas& out = s.output();
    core::DayBytes days;
    core::DayNames names;
    const int count = gfniGetMonthDays(month, year);
    gsbGetScheduleData(year, month, days, names);

    print::setReportFont(out, size + 2);
    printAt(out, s.x + s.metric(size + 1).halfWidth, s.y + s.metric(size + 1).textOffset, monthHeading(year, month));
    s.y = ck(s.y + s.metric(size + 2).lineHeight);
    print::setReportFont(out, size);
    const i16 left = s.x;
    psbPrintColumnHeader(size);
    s.x = left;
    for (int d = 1; d <= 32; ++d) {
        if (d <= count) {
            s.column(0).text = std::to_string(d);
            s.column(1).text = kWeekdays[static_cast<std::size_t>(core::weekdayOf(year, month, d) - 1)];
            s.column(2).text = names(d);
            s.column(3).text = gfnsGetDayTypeStr(days(d), 2);
        } else {
            for (auto& c : s.columns) c.text.clear();
        }
        psbPrintRow(true);
        s.y = ck(s.y + s.metric(size).lineHeight);
    }
}

}  // namespace

bool gfnfPrintCalendar(i16 iFrom, i16 iTo, i16 iStyle) {
    auto& s = state();
    const Style style = styleOf(iStyle);
    s.linesPage = style.lines;
    s.fontSize = style.size;
    if (style.grid) {
        s.setColumns(7);
        for (int i = 0; i < 7; ++i) {
            s.column(i).width = 5;
            s.column(i).caption = kWeekdays[static_cast<std::size_t>(i)];
            s.column(i).align = print::kAlignLeft;
        }
    } else {
        setColumnTable({{2, "日", print::kAlignCentre},
                        {4, "曜日", print::kAlignCentre},
                        {20, "備考", print::kAlignLeft},
                        {7, "ｽｹｼﾞｭｰﾙ", print::kAlignCentre}});
    }
    psbSetColumnPos(style.size);
    const i16 hp = ck(4 * s.metric(style.size).charWidth + s.tableWidth);
    const i16 vp = ck(13 * s.metric(style.size).lineHeight + 2 * s.metric(style.size + 1).lineHeight);
    s.pageCount = ck((iTo - iFrom + 1) * (12 / style.months));

    int year = iFrom, month = 1;
    if (s.preview) {
        const int k = (s.pageNo - 1) * style.months + 1;
        year = iFrom + k / 12;
        month = k % 12;
    } else {
        s.pageNo = 1;
    }
    psbClearPage();
    ScheduleTablesOpen tables;
    while (s.pageNo <= s.pageCount) {
        psbPrintHeader(4);
        const i16 top = s.y;
        psbShowPrintPage();
        for (int i = 0; i < style.months; ++i, ++month) {
            const int i0 = month - 1;
            s.x = ck(s.leftMargin + (i0 % style.across) * hp);
            s.y = ck(top + (style.grid ? ((i0 / style.across) % style.down) * vp : 0));
            if (style.grid)
                psbPrintMonthGrid(year, month, style.size);
            else
                psbPrintMonthList(year, month, style.size);
        }
        s.x = s.leftMargin;
        if (style.grid) {
            s.y = ck(s.y + s.metric(style.size).textOffset);
            s.buffer = "※日付のみが表示されている日は、該当の曜日スケジュールが設定されています。";
        } else {
            s.y = ck(s.y - s.metric(style.size).lineHeight + s.metric(style.size).textOffset);
            s.buffer = "※スケジュール欄が空白で表示されている日は、該当の曜日スケジュールが設定されています。";
        }
        s.x = ck(s.x + pfniPrintRuleText(false, 0));
        if (month > 12) {
            month = 1;
            ++year;
        }
        psbPrintFooter(9);
        if (s.preview) break;
        if (s.pageNo < s.pageCount) s.output().newPage();
        psbShowPrintPage();
        s.pageNo = ck(s.pageNo + 1);
    }
    return true;
}
