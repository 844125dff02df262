// Step counts, free and identical special-day patterns, and pattern copies on gdbWork.
#include <string>
#include <vector>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/messages.h"
#include "core/patterns.h"
#include "core/strings.h"
#include "core/upkeep.h"
#include "forms/msgbox.h"
#include "savepoint.h"
#include "text/text.h"

namespace {

constexpr int kScratchPattern = 21;

struct Step {
    int hour, minute, message;
    bool operator==(const Step&) const = default;
};

Step stepOf(const dao::Recordset& rs) {
    return {rs["fldHour"].toInt(), rs["fldMinute"].toInt(), rs["fldMessage"].toInt()};
}

std::vector<Step> stepsOf(int pattern) {
    std::vector<Step> steps;
    auto rs = gdbWork.openRecordset("SELECT * FROM tblDayStep WHERE fldPatternNo = " + std::to_string(pattern) +
                                    " ORDER BY fldHour ASC, fldMinute ASC;");
    for (; !rs.eof(); rs.moveNext()) steps.push_back(stepOf(rs));
    return steps;
}

// "<standard name>のコピー" in narrow characters, without blanks, at most 20 bytes.
std::string copyName(int pattern) {
    std::string name = gfnsGetPatternName(pattern);
    name.erase(name.find_last_not_of(' ') + 1);
    std::string narrow = text::toNarrow(name + "のコピー");
    std::erase(narrow, ' ');
    return gfnsLeftB(narrow, 20);
}

}  // namespace

int gfniGetStepCount(int iPatternNo) {
    auto rs = gdbWork.openRecordset("SELECT fldPatternNo, Count(*) AS fldCount FROM tblDayStep WHERE fldPatternNo = " +
                                    std::to_string(iPatternNo) + " GROUP BY fldPatternNo;");
    return rs.eof() ? 0 : rs["fldCount"].toInt();
}

int gfniGetFreePattern() {
    gsbSetPatternUse();
    gsbSetPatternError();
    auto rs = gdbWork.openRecordset(
        "SELECT fldNo FROM tblDayPattern WHERE fldNo >= 9 AND fldStep = 0 AND fldUse = 0 ORDER BY fldNo ASC;");
    return rs.eof() ? 0 : rs["fldNo"].toInt();
}

int gfniFindSamePattern(int iPatternNo, int iFrom) {
    const std::vector<Step> wanted = stepsOf(iPatternNo);
    if (wanted.empty()) return 0;
    auto rs = gdbWork.openRecordset("SELECT * FROM tblDayStep WHERE NOT fldPatternNo = " + std::to_string(iPatternNo) +
                                    " AND fldPatternNo >= " + std::to_string(iFrom) +
                                    " ORDER BY fldPatternNo ASC, fldHour ASC, fldMinute ASC;");
    // One pass; each candidate is compared from its own first step and ends at its last.
    while (!rs.eof()) {
        const int candidate = rs["fldPatternNo"].toInt();
        std::size_t count = 0;
        bool same = true;
        for (; !rs.eof() && rs["fldPatternNo"].toInt() == candidate; rs.moveNext(), ++count)
            if (count >= wanted.size() || !(stepOf(rs) == wanted[count])) same = false;
        if (same && count == wanted.size()) return candidate;
    }
    return -1;
}

bool mfnfCopyPatternData(int iFrom, int iTo) {
    if (iFrom == iTo) {
        gfniMsgBox(103);
        return false;
    }
    auto rs = gdbWork.openRecordset("SELECT * FROM tblDayPattern");
    std::string newName;
    bool sourceHasSteps = false;
    rs.findFirst("fldNo = " + std::to_string(iFrom));
    if (rs.noMatch()) {
        if (iFrom != kScratchPattern) {
            gfniMsgBox(107);
            return false;
        }
    } else if (!rs["fldStep"].toBool()) {
        gfniMsgBox(107);
        return false;
    } else if (rs["fldError"].toBool()) {
        gfniMsgBox(116);
        return false;
    } else {
        newName = copyName(iFrom);
        sourceHasSteps = true;
    }

    rs.findFirst("fldNo = " + std::to_string(iTo));
    if (rs.noMatch())
        gsbErrorMsg("日課パターンテーブルに、コピー先パターン " + std::to_string(iTo) + " がない（mfnfCopyPatternData）",
                    true);
    if (rs["fldStep"].toBool() && gfniMsgBox(4) == forms::vbNo) return false;

    // The row and its steps change together or not at all.
    core::Savepoint atomic(gdbWork, "copy_pattern");
    rs.edit();
    if (iTo >= 9 && iTo <= 20) rs.set("fldName", newName);
    rs.set("fldStep", sourceHasSteps);
    rs.update();
    rs.close();
    gsbCopyStepData(iFrom, iTo);
    atomic.release();
    gfChanged = vbTrue;
    return true;
}

bool gsbCopyStepData(int iFrom, int iTo) {
    core::Savepoint atomic(gdbWork, "copy_steps");
    gsbDropTable(gdbWork, kTblWork);
    gdbWork.selectInto(kTblWork, kTblDayStep, "WHERE fldPatternNo = " + std::to_string(iFrom));
    gdbWork.execute("UPDATE tblWork SET fldPatternNo = ?1", {iTo});
    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo = ?1", {iTo});
    gdbWork.execute("INSERT INTO tblDayStep SELECT * FROM tblWork");
    gsbDropTable(gdbWork, kTblWork);
    atomic.release();
    return true;
}
