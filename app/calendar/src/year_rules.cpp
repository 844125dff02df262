// Repeat rules of the special-day list: the dates a rule walks over the ten years from
// January of this year, the list of those dates with what each runs now, and the writing
// or deleting of their special days after the user confirmed.
#include <QLabel>
#include <vector>

#include "calendar/year_window.h"
#include "core/calendar.h"
#include "core/database.h"
#include "core/globals.h"
#include "core/schedule.h"
#include "dao/database.h"
#include "forms/controls.h"
#include "runtime/datetime.h"

namespace {

struct RuleDate {
    int year, month, day;
};

// The existing dates of a rule, in walk order; empty for another mode.
std::vector<RuleDate> ruleDates(int iMode, const runtime::DateTime& anchor, int y0) {
    std::vector<RuleDate> dates;
    const int d = anchor.day, m = anchor.month;
    const int n = (d - 1) / 7 + 1;
    const int w = runtime::weekday(anchor);
    switch (iMode) {
    case 0: dates.push_back({anchor.year, m, d}); break;
    case 1:
        for (int k = 0; k < 120; ++k) {
            const int year = y0 + k / 12, month = k % 12 + 1;
            const int day = gfniGetNthWeekDay(year, month, n, w);
            if (day != 0) dates.push_back({year, month, day});
        }
        break;
    case 2:
        for (int k = 0; k < 120; ++k) {
            const int year = y0 + k / 12, month = k % 12 + 1;
            if (d <= gfniGetMonthDays(month, year)) dates.push_back({year, month, d});
        }
        break;
    case 3:
        for (int k = 0; k < 10; ++k)
            if (d <= gfniGetMonthDays(m, y0 + k)) dates.push_back({y0 + k, m, d});
        break;
    default: break;
    }
    return dates;
}

// The tblYear rows a rule can meet.
std::string ruleQuery(int iMode, const runtime::DateTime& anchor) {
    const int d = anchor.day, n = (d - 1) / 7 + 1;
    std::string where;
    switch (iMode) {
    case 0:
        where = "fldYear = " + std::to_string(anchor.year) + " And fldMonth = " + std::to_string(anchor.month) +
                " And fldDay = " + std::to_string(d);
        break;
    case 1: where = "fldDay Between " + std::to_string(7 * (n - 1) + 1) + " And " + std::to_string(7 * n); break;
    case 2: where = "fldDay = " + std::to_string(d); break;
    default: where = "fldMonth = " + std::to_string(anchor.month) + " And fldDay = " + std::to_string(d); break;
    }
    return "SELECT * FROM tblYear WHERE " + where + " ORDER BY fldYear ASC, fldMonth ASC, fldDay ASC;";
}

// Loads the schedule tables for a walk and releases them on every way out.
class ScheduleTablesOpen {
public:
    ScheduleTablesOpen() { gsbOpenScheduleTables(true); }
    ~ScheduleTablesOpen() { gsbOpenScheduleTables(false); }
    ScheduleTablesOpen(const ScheduleTablesOpen&) = delete;
    ScheduleTablesOpen& operator=(const ScheduleTablesOpen&) = delete;
};

}  // namespace

int frmYear::pfniMakeYearShowRule(int iMode, const std::string& sDate, int iPattern) {
    // The list is shown even when the rule yields nothing, so its table must exist.
    recreateShowTable();
    const auto anchor = runtime::parseDate(sDate);
    if (!anchor || iMode < 0 || iMode > 3) return 0;
    const std::vector<RuleDate> dates = ruleDates(iMode, *anchor, runtime::today().year);

    ScheduleTablesOpen tables;
    dao::Transaction batch(gdbWork);
    int count = 0, listed = 0;
    core::DayBytes days;
    core::DayNames names;
    int resolvedYear = 0, resolvedMonth = 0;
    for (const RuleDate& r : dates) {
        if (r.year != resolvedYear || r.month != resolvedMonth) {
            gsbGetScheduleData(r.year, r.month, days, names);
            resolvedYear = r.year;
            resolvedMonth = r.month;
        }
        const std::uint8_t b = days(r.day);
        const int kind = daySourceOf(b);
        if (kind == 3) ++count;
        if (kind != 3 && iPattern == 255) continue;
        ++listed;
        gdbWork.execute(
            "INSERT INTO tblYearShow (fldNo, fldYear, fldMonth, fldDay, fldWeek, fldPattern, fldSchedule, fldComment) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
            {listed, r.year, r.month, r.day, core::weekdayOf(r.year, r.month, r.day), dayPatternOf(b), kind,
             names(r.day)});
    }
    batch.commit();
    return count;
}

bool frmYear::pfnfSetYearRule(int iMode, const std::string& sDate, int iPattern) {
    const auto anchor = runtime::parseDate(sDate);
    if (!anchor || iMode < 0 || iMode > 3) return false;
    const std::string comment = lblSet->text().toStdString();
    dao::Recordset rs = gdbWork.openRecordset(ruleQuery(iMode, *anchor));
    bool changed = false;
    for (const RuleDate& r : ruleDates(iMode, *anchor, runtime::today().year)) {
        rs.findFirst("fldYear = " + std::to_string(r.year) + " And fldMonth = " + std::to_string(r.month) +
                     " And fldDay = " + std::to_string(r.day));
        if (iPattern == 255) {
            if (rs.noMatch()) continue;
            rs.deleteRecord();
        } else {
            if (rs.noMatch()) {
                rs.addNew();
                rs.set("fldYear", r.year);
                rs.set("fldMonth", r.month);
                rs.set("fldDay", r.day);
            } else {
                rs.edit();
            }
            rs.set("fldPattern", iPattern);
            rs.set("fldComment", comment);
            rs.update();
        }
        gfChanged = vbTrue;
        changed = true;
    }
    return changed;
}

void frmYear::cmdYes_Click() {
    guarded([&] {
        psbEnableForm(false);
        const int iMode = lblMode->text().toInt();
        const std::string sDate = lblDay->text().toStdString();
        const int iPattern = lblPatternNo->text().toInt();
        result_ = pfnfSetYearRule(iMode, sDate, iPattern);
        unload();
    });
}

void frmYear::cmdNo_Click() {
    result_ = false;
    unload();
}
