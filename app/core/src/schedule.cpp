// The schedule tables of the open document, loaded once and resolved month by month.
#include <optional>
#include <string>

#include "core/database.h"
#include "core/errors.h"
#include "core/schedule.h"
#include "runtime/datetime.h"

namespace {

std::optional<core::ScheduleTables> gScheduleTables;

}  // namespace

namespace core {

ScheduleTables loadScheduleTables(dao::Database& db, int currentYear) {
    ScheduleTables t;
    for (auto rs = db.openRecordset("SELECT * FROM tblBase ORDER BY fldWeek ASC"); !rs.eof(); rs.moveNext())
        t.weekdays.push_back({rs["fldWeek"].toInt(), rs["fldPattern"].toInt()});
    for (auto rs = db.openRecordset("SELECT * FROM tblSyukujitu ORDER BY fldMonth ASC, fldDay ASC"); !rs.eof();
         rs.moveNext())
        t.holidays.push_back({rs["fldMonth"].toInt(), rs["fldDay"].toInt(), rs["fldName"].toText(),
                              rs["fldSyukujitu"].toInt(), rs["fldMonday"].toInt()});
    for (auto rs = db.openRecordset("SELECT * FROM tblYear WHERE fldYear BETWEEN ?1 AND ?2"
                                    " ORDER BY fldYear ASC, fldMonth ASC, fldDay ASC",
                                    {currentYear, currentYear + 9});
         !rs.eof(); rs.moveNext())
        t.specialDays.push_back({rs["fldYear"].toInt(), rs["fldMonth"].toInt(), rs["fldDay"].toInt(),
                                 rs["fldPattern"].toInt(), rs["fldComment"].toText()});
    return t;
}

}  // namespace core

void gsbOpenScheduleTables(bool fOpen) {
    gScheduleTables.reset();
    if (fOpen) gScheduleTables = core::loadScheduleTables(gdbWork, runtime::today().year);
}

void gsbGetScheduleData(int year, int month, core::DayBytes& days, core::DayNames& names) {
    if (!gScheduleTables) runtime::raise(91);
    auto resolved = core::resolveMonth(*gScheduleTables, year, month,
                                       [](const std::string& fault) { gsbErrorMsg(fault, false); });
    days = std::move(resolved.days);
    names = std::move(resolved.names);
}
