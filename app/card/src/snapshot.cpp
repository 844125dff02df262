// The document's tables as plain rows, for the image encoder.
#include <algorithm>
#include <climits>

#include "card/card_data.h"
#include "core/database.h"
#include "core/schedule.h"
#include "runtime/numeric.h"

namespace card {
namespace {

template <class Row, class Read>
std::vector<Row> rows(dao::Database& db, std::string_view sql, Read read) {
    std::vector<Row> out;
    for (auto rs = db.openRecordset(sql); !rs.eof(); rs.moveNext()) out.push_back(read(rs));
    return out;
}

// The byte index a setting names, held within int so that an absurd one stays out of
// range on its own side rather than wrapping.
int address(const std::string& text) {
    return static_cast<int>(std::clamp(runtime::val(text), double(INT_MIN), double(INT_MAX)));
}

}  // namespace

DocumentSnapshot loadSnapshot(dao::Database& db) {
    DocumentSnapshot doc;
    doc.settings = rows<SettingRow>(db, "SELECT fldNo, fldAddress, fldValue FROM tblSetting ORDER BY fldNo",
                                    [](dao::Recordset& r) {
                                        return SettingRow{r["fldNo"].toInt(), address(r["fldAddress"].toText()),
                                                          r["fldValue"].toText()};
                                    });
    doc.steps = rows<StepRow>(db,
                              "SELECT fldPatternNo, fldHour, fldMinute, fldMessage FROM tblDayStep "
                              "ORDER BY fldPatternNo, fldHour, fldMinute",
                              [](dao::Recordset& r) {
                                  return StepRow{r["fldPatternNo"].toInt(), r["fldHour"].toInt(), r["fldMinute"].toInt(),
                                                 r["fldMessage"].toInt()};
                              });
    doc.messages = rows<MessageRow>(db, "SELECT fldCh, fldComment, fldAnsRec FROM tblMessage ORDER BY fldCh",
                                    [](dao::Recordset& r) {
                                        return MessageRow{r["fldCh"].toInt(), r["fldComment"].toText(), r["fldAnsRec"].toBool()};
                                    });
    doc.patterns = rows<PatternRow>(db, "SELECT fldNo, fldName FROM tblDayPattern ORDER BY fldNo", [](dao::Recordset& r) {
        return PatternRow{r["fldNo"].toInt(), r["fldName"].toText()};
    });
    doc.holidays = rows<core::HolidayRow>(
        db, "SELECT fldMonth, fldDay, fldName, fldSyukujitu, fldMonday FROM tblSyukujitu ORDER BY fldMonth, fldDay",
        [](dao::Recordset& r) {
            return core::HolidayRow{r["fldMonth"].toInt(), r["fldDay"].toInt(), r["fldName"].toText(),
                                    r["fldSyukujitu"].toInt(), r["fldMonday"].toInt()};
        });
    doc.cardWrite = rows<CardWriteRow>(
        db, "SELECT fldBlockNo, fldWriteMode, fldWriteData, fldComment FROM tblCardWrite ORDER BY fldBlockNo",
        [](dao::Recordset& r) {
            return CardWriteRow{r["fldBlockNo"].toInt(), r["fldWriteMode"].toInt(), r["fldWriteData"].toText(),
                                r["fldComment"].toText()};
        });
    return doc;
}

CardCalendar loadCardCalendar(int firstYear, const std::function<void()>& perYear) {
    struct Tables {
        Tables() { gsbOpenScheduleTables(true); }
        ~Tables() { gsbOpenScheduleTables(false); }
    } open;
    CardCalendar calendar{firstYear, {}};
    core::DayBytes days;
    core::DayNames names;
    for (int y = firstYear; y <= firstYear + 9; ++y) {
        for (int m = 1; m <= 12; ++m) {
            gsbGetScheduleData(y, m, days, names);
            calendar.dayBytes.insert(calendar.dayBytes.end(), days.values().begin(), days.values().end());
        }
        if (perYear) perYear();
    }
    return calendar;
}

}  // namespace card
