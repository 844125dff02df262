// The time chart read from the open document.
#include <string>

#include "core/database.h"
#include "core/timechart.h"

namespace {

// The chart is drawn hidden; it is shown again however the drawing ends.
class HiddenWhileDrawn {
public:
    explicit HiddenWhileDrawn(forms::Surface& pic) : pic_(pic) { pic_.setVisible(false); }
    ~HiddenWhileDrawn() { pic_.setVisible(true); }
    HiddenWhileDrawn(const HiddenWhileDrawn&) = delete;
    HiddenWhileDrawn& operator=(const HiddenWhileDrawn&) = delete;

private:
    forms::Surface& pic_;
};

}  // namespace

void gsbDrawPatternChart(forms::Surface& pic, std::int16_t iPatternNo) {
    dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblDayStep WHERE fldPatternNo = " +
                                              std::to_string(iPatternNo) + " ORDER BY fldHour ASC, fldMinute ASC;");
    HiddenWhileDrawn hidden(pic);
    pic.cls();
    pic.setAutoRedraw(true);
    pic.setBorderStyle(0);
    std::vector<forms::Colour> colours;
    gsbGetMessageColor(colours);
    std::vector<core::ChartStep> steps;
    for (; !rs.eof(); rs.moveNext())
        steps.push_back({rs["fldHour"].toInt() * 60 + rs["fldMinute"].toInt(), rs["fldMessage"].toInt()});
    core::drawChart(pic, steps, colours);
}

void gsbGetMessageColor(std::vector<forms::Colour>& colours) {
    colours.assign(kChartColours, 0);
    colours[0] = kChartOff;
    dao::Recordset rs = gdbWork.openRecordset(
        "SELECT fldCh, fldAnsRec FROM tblMessage WHERE fldCh Between 1 And 9 ORDER BY fldCh ASC;");
    for (; !rs.eof(); rs.moveNext()) {
        const int ch = rs["fldCh"].toInt();
        colours.at(static_cast<std::size_t>(ch)) = rs["fldAnsRec"].toBool() ? kChartAnsRec : kChartAnsOnly;
    }
}

