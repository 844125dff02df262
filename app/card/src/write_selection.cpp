// The parts of the document chosen for the card, kept in tblCardWrite.

#include "card/card_data.h"
#include "core/database.h"
#include "core/globals.h"
#include "core/upkeep.h"

namespace card {

void msbGetWriteMode(WriteModeRecord& record) {
    std::fill_n(record.begin(), 24, 0);
    for (auto rs = gdbWork.openRecordset("SELECT fldBlockNo, fldWriteMode FROM tblCardWrite ORDER BY fldBlockNo");
         !rs.eof(); rs.moveNext())
        if (auto at = recordIndexOfBlock(rs["fldBlockNo"].toInt()))
            record[*at] = static_cast<std::uint8_t>(rs["fldWriteMode"].toInt());
}

bool setWriteMode(std::initializer_list<int> blocks, int mode) {
    long changed = 0;
    for (int block : blocks)
        changed += gdbWork.execute(
            "UPDATE tblCardWrite SET fldWriteMode = ?1, fldWriteData = '' WHERE fldBlockNo = ?2 AND fldWriteMode <> ?1",
            {mode, block});
    if (changed > 0) gfChanged = vbTrue;
    return changed > 0;
}

void applyWritePageRules(bool serviceMode) {
    if (!serviceMode) {
        gdbWork.execute("UPDATE tblCardWrite SET fldWriteMode = 0, fldWriteData = '' WHERE fldBlockNo = 204 AND fldWriteMode <> 0");
        gdbWork.execute("UPDATE tblCardWrite SET fldWriteMode = 4, fldWriteData = '' WHERE fldBlockNo = 221 AND fldWriteMode = 0");
        // The pattern names go with the schedule, as ticking its box does: a schedule on the
        // card without them leaves the device's patterns nameless.
        gdbWork.execute(
            "UPDATE tblCardWrite SET fldWriteMode = s.fldWriteMode, fldWriteData = '' "
            "FROM (SELECT fldWriteMode FROM tblCardWrite WHERE fldBlockNo = 221) AS s "
            "WHERE tblCardWrite.fldBlockNo = 226 AND tblCardWrite.fldWriteMode <> s.fldWriteMode");
    }
}

void copyChannelNamesToWriteList() {
    gdbWork.execute(
        "UPDATE tblCardWrite SET fldComment = m.fldComment FROM tblMessage AS m WHERE tblCardWrite.fldBlockNo = m.fldCh");
}

std::array<bool, 3> scheduleSummary() {
    gsbSetPatternError();
    std::array<bool, 3> has{};
    for (auto rs = gdbWork.openRecordset("SELECT fldNo, fldStep FROM tblDayPattern WHERE fldNo <> 0 ORDER BY fldNo");
         !rs.eof(); rs.moveNext()) {
        const int no = rs["fldNo"].toInt();
        const bool steps = rs["fldStep"].toBool();
        has[no <= 7 ? 0 : no == 8 ? 1 : 2] = has[no <= 7 ? 0 : no == 8 ? 1 : 2] || steps;
    }
    return has;
}

}  // namespace card
