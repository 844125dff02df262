// The pattern and message lists.
#include "core/list_grids.h"

#include <QString>
#include <string>

#include "core/database.h"
#include "core/strings.h"
#include "forms/grid.h"

namespace {

using forms::Grid;

constexpr forms::Colour kListBack = 0xE2E2E2;
constexpr forms::Colour kWeekdayColour = 0xFFC0C0;
constexpr forms::Colour kHolidayColour = 0xC0C0FF;
constexpr forms::Colour kSpecialColour = 0xC0FFC0;
constexpr forms::Colour kErrorColour = 0x8080FF;
constexpr forms::Colour kUsedChannel = 0xFF8080;
constexpr int kNameChars = 20;

// The pattern's colour in the list; pattern 0 takes the weekday colour.
forms::Colour patternColour(int no) {
    if (no == 8) return kHolidayColour;
    if (no >= 9) return kSpecialColour;
    return kWeekdayColour;
}

// The text cut or padded with blanks to n characters (characters, not bytes).
std::string fitChars(const std::string& text, int n) {
    QString s = QString::fromStdString(text);
    const auto ucs = s.toUcs4();
    if (ucs.size() > n) s = QString::fromUcs4(reinterpret_cast<const char32_t*>(ucs.constData()), n);
    else s += QString(static_cast<int>(n - ucs.size()), QLatin1Char(' '));
    return s.toStdString();
}

// The first n characters with the trailing blanks removed.
std::string leftRTrim(const std::string& text, int n) {
    const auto ucs = QString::fromStdString(text).toUcs4();
    QString s = QString::fromUcs4(reinterpret_cast<const char32_t*>(ucs.constData()), std::min<qsizetype>(ucs.size(), n));
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1) == QLatin1Char(' ')) --end;
    return s.left(end).toStdString();
}

}  // namespace

void gsbShowPatternList(Grid& grid, bool bSpecial) {
    forms::GridRefill refill(grid);
    grid.setBlockBackColor(Grid::kAll, Grid::kAll, Grid::kAll, Grid::kAll, kListBack);
    grid.clearText(2, 1, Grid::kAll, Grid::kAll);
    dao::Recordset rs = gdbWork.openRecordset(
        bSpecial ? "SELECT * FROM tblDayPattern WHERE (fldNo = 0 Or fldNo >= 9) ORDER BY fldNo ASC;"
                 : "SELECT * FROM tblDayPattern WHERE Not fldNo = 0  ORDER BY fldNo ASC;");
    for (int r = 1; r <= grid.maxRows(); ++r) {
        // Past the last pattern the field read raises 3021 (no current record).
        const int no = rs["fldNo"].toInt();
        if (no != 0) grid.setText(2, r, fitChars(rs["fldName"].toText(), kNameChars));
        if (rs["fldStep"].toBool()) grid.setBackColor(1, r, patternColour(no));
        if (rs["fldError"].toBool()) grid.setBackColor(1, r, kErrorColour);
        rs.moveNext();
    }
}

void gsbShowMessageList(Grid& grid, int iMode) {
    dao::Recordset rs =
        gdbWork.openRecordset("SELECT * FROM tblMessage WHERE fldCh >= 1 And fldCh <= 9 ORDER BY fldCh ASC");
    forms::GridRefill refill(grid);
    grid.setBlockBackColor(Grid::kAll, Grid::kAll, Grid::kAll, Grid::kAll, kListBack);
    grid.clearText(Grid::kAll, Grid::kAll, Grid::kAll, Grid::kAll);
    int r = 1;
    if (iMode != 0) {
        grid.setText(1, 1, gfnsGetChannelStr(0, false));
        r = 2;
    }
    for (; !rs.eof(); rs.moveNext(), ++r) {
        grid.setText(1, r, gfnsGetChannelStr(rs["fldCh"].toInt(), false));
        grid.setText(2, r, leftRTrim(rs["fldComment"].toText(), kNameChars));
        if (iMode != 1)
            grid.setText(3, r, gfnsAnsRecStr(rs["fldAnsRec"].toBool()));
        else if (rs["fldUse"].toBool())
            grid.setBackColor(1, r, kUsedChannel);
    }
}
