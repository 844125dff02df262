// The day-pattern report and its printed time chart.
#include <vector>

#include "core/globals.h"
#include "core/messages.h"
#include "core/strings.h"
#include "core/timechart.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "print/framework.h"
#include "print/print.h"
#include "report_util.h"
#include "runtime/format.h"
#include "runtime/numeric.h"

using print::ck;
using print::i16;
using print::state;

namespace {

constexpr i16 kPatternLines = 26;

struct PatternRecord {
    i16 no;
    std::string name;
};

void printRangeRow(int row, int fromMinute, int toHour, int toMinute, int channel) {
    auto& s = state();
    s.column(0).text = std::to_string(row);
    s.column(1).text = gfnsTimeToStr(fromMinute / 60, fromMinute % 60);
    s.column(2).text = gfnsTimeToStr(toHour, toMinute);
    s.column(3).text = gfnsGetChannelStr(channel, false);
    psbPrintRow(true);
    s.y = ck(s.y + s.metric(9).lineHeight);
}

void pfnfPrintChartPattern(const PatternRecord& rec) {
    auto& s = state();
    printer::Canvas& out = s.output();
    const auto& m11 = s.metric(11);
    const auto& m9 = s.metric(9);

    print::setReportFont(out, 11);
    s.x = s.leftMargin;
    s.buffer = gfnsGetPatternName(rec.no);
    s.x = ck(s.x + pfniPrintRuleText(false, 0));
    if (rec.no > kPatternHoliday) {
        s.x = ck(s.x + 2 * m11.charWidth);
        s.buffer = "スケジュール名：" + print::rtrim(rec.name);
        s.x = ck(s.x + pfniPrintRuleText(true, ck(36 * m11.charWidth)));
    }
    s.y = ck(s.y + m11.lineHeight);
    out.setFontSize(9);
    s.y = ck(s.y + m9.lineHeight);
    s.x = s.leftMargin;

    const i16 w = ck(20 * m9.charWidth);
    const i16 h = ck(m9.lineHeight * s.linesPage);
    psbPrintTimeChart(rec.no, s.x, s.y, w, h);
    if (gfAnsRec != vbFalse) {
        out.setCurrentX(s.leftMargin);
        out.setCurrentY(s.y + h + m9.lineHeight);
        out.print("※「*」は応答録音メッセージです");
    }

    const i16 origin = ck(s.leftMargin + w + 10 * m9.charWidth);
    s.x = origin;
    psbPrintColumnHeader(9);
    s.x = origin;

    auto rs = gdbWork.openRecordset(
        // A left join: a stop step (channel 0) has no channel row, yet it ends the range before it.
        "SELECT tblDayStep.*, tblMessage.fldAnsRec FROM tblDayStep LEFT JOIN tblMessage ON tblDayStep.fldMessage = "
        "tblMessage.fldCh WHERE tblDayStep.fldPatternNo = " +
        std::to_string(rec.no) + " ORDER BY fldHour ASC, fldMinute ASC");
    int start = 0, channel = 0, rows = 0;
    for (; !rs.eof(); rs.moveNext()) {
        const int hour = rs["fldHour"].toInt(), minute = rs["fldMinute"].toInt();
        const int c = rs["fldMessage"].toInt();
        if (hour == 0 && minute == 0) {
            channel = c;
            continue;
        }
        printRangeRow(++rows, start, hour, minute, channel);
        start = hour * 60 + minute;
        channel = c;
    }
    if (start / 60 != 24) printRangeRow(++rows, start, 24, 0, channel);
    for (int row = rows + 1; row <= s.linesPage - 1; ++row) {
        s.column(0).text = std::to_string(row);
        for (int i = 1; i < 4; ++i) s.column(i).text.clear();
        psbPrintRow(true);
        s.y = ck(s.y + m9.lineHeight);
    }
}

}  // namespace

bool gfnfPrintPattern(i16 iFrom, i16 iTo) {
    auto& s = state();
    std::string sql = "SELECT * FROM tblDayPattern WHERE fldNo Between " + std::to_string(iFrom) + " And " +
                      std::to_string(iTo);
    if (iFrom != iTo) sql += " And fldStep <> 0";
    auto rs = gdbWork.openRecordset(sql + " ORDER BY fldNo ASC");
    const bool hasSteps = !rs.eof() && rs["fldStep"].toBool();
    s.pageCount = ck(print::countRows(rs));
    if (s.pageCount == 0) {
        gfniMsgBox(111);
        return false;
    }
    if (iFrom == iTo && !hasSteps && gfniMsgBox(9) == forms::vbNo) return false;

    s.fontSize = 9;
    s.linesPage = kPatternLines;
    setColumnTable({{4, "登録", print::kAlignRight},
                    {8, "開始時刻", print::kAlignCentre},
                    {8, "終了時刻", print::kAlignCentre},
                    {8, "ﾒｯｾｰｼﾞ", print::kAlignCentre}});
    psbSetColumnPos(9);

    rs.moveFirst();
    if (s.preview)
        print::skipRows(rs, s.pageNo - 1);
    else
        s.pageNo = 1;
    while (!rs.eof()) {
        const PatternRecord rec{static_cast<i16>(rs["fldNo"].toInt()), rs["fldName"].toText()};
        rs.moveNext();
        psbPrintHeader(1);
        psbShowPrintPage();
        pfnfPrintChartPattern(rec);
        psbPrintFooter(9);
        if (s.preview) break;
        if (!rs.eof()) s.output().newPage();
        psbShowPrintPage();
        s.pageNo = ck(s.pageNo + 1);
    }
    return true;
}

void psbPrintTimeChart(i16 iPatternNo, std::int32_t lX, std::int32_t lY, std::int32_t lW, std::int32_t lH) {
    printer::Canvas& out = state().output();
    constexpr forms::Colour kFore = 0;
    const double th = out.textHeight("0");
    const double o = out.textWidth("00:00") + 100;
    const double scale = (lH - th) / 1440.0;
    auto yOf = [&](int minute) { return runtime::roundHalfEven(lY + minute * scale + th / 2); };
    const double right = lX + lW - o;
    const double cx = lX + (lW - o) / 2 - out.textWidth(" 1") / 2;
    const int p = forms::twipsPerPixelX();

    std::vector<forms::Colour> colours;
    gsbGetMessageColor(colours);
    auto label = [&](int channel) {
        std::string text = gfnsGetChannelStr(channel, false);
        if (channel >= 0 && channel < static_cast<int>(colours.size()) && colours[static_cast<std::size_t>(channel)] == kChartAnsRec)
            text += "*";
        return text;
    };

    int prevMinute = 0, prevChannel = 0;
    auto range = [&](int minute, int channel) {
        const double y1 = yOf(prevMinute), y2 = yOf(minute);
        out.box(lX, y1, right, y2, kFore);
        out.line(lX, y1, right, y1, kFore);
        if (prevChannel != 0) {
            const std::string text = label(prevChannel);
            out.setCurrentX(cx);
            out.setCurrentY(y1 + (y2 - y1) / 2 - out.textHeight(text) / 2);
            out.print(text);
        }
        prevMinute = minute;
        prevChannel = channel;
    };
    auto rs = gdbWork.openRecordset("SELECT * FROM tblDayStep WHERE fldPatternNo = " + std::to_string(iPatternNo) +
                                    " ORDER BY fldHour ASC, fldMinute ASC;");
    for (; !rs.eof(); rs.moveNext()) range(rs["fldHour"].toInt() * 60 + rs["fldMinute"].toInt(), rs["fldMessage"].toInt());
    if (prevMinute != 1440) range(1440, 0);

    out.box(lX, yOf(0), right, yOf(1440), kFore);
    for (int hour = 0; hour <= 24; ++hour) {
        const double yh = runtime::roundHalfEven(lY + hour * 60 * scale);
        out.line(right + p, yh + th / 2, right + 100, yh + th / 2, kFore);
        if (hour % 2 == 0) {
            out.setCurrentX(right + p + 100);
            out.setCurrentY(yh);
            out.print(runtime::format(hour, "00") + ":00");
        }
    }
}
