// The derived flags of the document, recomputed by whole-table statements. The statements
// run in the order given: later ones read what earlier ones wrote.
#include "core/upkeep.h"

#include <string>

#include "core/database.h"
#include "core/globals.h"
#include "core/messages.h"
#include "dao/database.h"
#include "runtime/datetime.h"

namespace {

constexpr const char* kSettingsComment = "登録値保持用";

void run(const char* sql) { gdbWork.execute(sql); }

}  // namespace

void gsbSetPatternUse() {
    const int y = runtime::today().year;
    run("UPDATE tblDayPattern SET fldUse = 0");
    run("UPDATE tblDayPattern SET fldUse = -1 FROM tblBase"
        " WHERE tblDayPattern.fldNo = tblBase.fldPattern AND NOT tblDayPattern.fldNo = 0 AND tblDayPattern.fldUse = 0");
    run("UPDATE tblDayPattern SET fldUse = -1 FROM tblSyukujitu"
        " WHERE (tblDayPattern.fldNo = tblSyukujitu.fldSyukujitu OR tblDayPattern.fldNo = tblSyukujitu.fldMonday)"
        " AND NOT tblDayPattern.fldNo = 0 AND tblDayPattern.fldUse = 0");
    gdbWork.execute("UPDATE tblDayPattern SET fldUse = -1 FROM tblYear"
                    " WHERE tblDayPattern.fldNo = tblYear.fldPattern AND NOT tblDayPattern.fldNo = 0"
                    " AND tblYear.fldYear BETWEEN ?1 AND ?2 AND tblDayPattern.fldUse = 0",
                    {y, y + 9});
}

void gsbSetPatternError() {
    run("UPDATE tblDayPattern SET fldError = 0, fldStep = 0");
    run("UPDATE tblDayPattern SET fldStep = -1 FROM tblDayStep WHERE tblDayPattern.fldNo = tblDayStep.fldPatternNo");
    run("UPDATE tblBase SET fldPattern = 0");
    // The weekday table is the target here, so the join reads the other way round.
    run("UPDATE tblBase SET fldPattern = tblDayPattern.fldNo FROM tblDayPattern"
        " WHERE tblDayPattern.fldStep <> 0 AND tblBase.fldWeek = tblDayPattern.fldNo");
    gsbSetSyukujituPattern();
    run("UPDATE tblDayPattern SET fldError = -1 WHERE fldStep = 0 AND fldUse <> 0 AND fldNo BETWEEN 9 AND 20");
}

void gsbSetSyukujituPattern() {
    int s = 255;
    int m = 255;
    {
        auto rs = gdbWork.openRecordset("SELECT fldSyukujitu, fldMonday FROM tblSyukujitu WHERE fldDay = 0");
        if (rs.eof()) {
            gdbWork.execute("INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday, fldComment)"
                            " VALUES (0, 0, '', 255, 255, ?1)",
                            {kSettingsComment});
        } else {
            s = rs["fldSyukujitu"].toInt();
            m = rs["fldMonday"].toInt();
        }
    }
    gdbWork.execute("UPDATE tblSyukujitu SET fldSyukujitu = ?1 WHERE NOT fldDay = 0", {s});
    gdbWork.execute("UPDATE tblSyukujitu SET fldMonday = ?1 WHERE NOT fldDay = 0", {m});
    run("UPDATE tblSyukujitu SET fldSyukujitu = 0"
        " WHERE EXISTS (SELECT 1 FROM tblDayPattern WHERE tblDayPattern.fldNo = 8 AND tblDayPattern.fldStep = 0)"
        " AND NOT fldSyukujitu = 255 AND NOT fldDay = 0");
    run("UPDATE tblSyukujitu SET fldMonday = fldSyukujitu WHERE NOT fldMonday = 255 AND NOT fldDay = 0");
}

void gsbSetMessageUse() {
    run("UPDATE tblMessage SET fldUse = 0 WHERE NOT (fldCh = 10 OR fldCh = 11 OR fldCh = 12)");
    run("UPDATE tblMessage SET fldUse = -1 FROM tblDayStep"
        " WHERE tblMessage.fldCh = tblDayStep.fldMessage AND tblMessage.fldCh > 0");
}

void gsbCheckAnsRec() {
    auto rs = gdbWork.openRecordset(
        "SELECT * FROM tblMessage WHERE fldCh >= 1 AND fldCh <= 9 AND fldAnsRec <> 0 ORDER BY fldCh ASC");
    gfAnsRec = vbBool(!rs.eof());
}

namespace {

// The holiday rows as the comparison walks them: settings row left out, rule row kept.
dao::Recordset holidayKeys(dao::Database& db) {
    return db.openRecordset(
        "SELECT fldMonth, fldDay FROM tblSyukujitu WHERE NOT fldDay = 0 ORDER BY fldMonth ASC, fldDay ASC");
}

bool holidayListsDiffer(dao::Recordset& master, dao::Recordset& document) {
    for (;;) {
        if (master.eof()) return !document.eof();
        if (document.eof()) return true;
        if (master["fldMonth"] != document["fldMonth"] || master["fldDay"] != document["fldDay"]) return true;
        master.moveNext();
        document.moveNext();
    }
}

}  // namespace

void gsbCheckSyukujitu() {
    dao::Database master;
    dao::Database document;
    gsbOpenDatabase(master, gstrDataPath + std::string(kMasterDat));
    gsbOpenDatabase(document, gstrDataPath + std::string(kRegistDat));
    bool differ;
    {
        auto masterRows = holidayKeys(master);
        auto documentRows = holidayKeys(document);
        differ = holidayListsDiffer(masterRows, documentRows);
    }
    gsbCloseDatabase(master);
    gsbCloseDatabase(document);
    if (differ) gfniMsgBox(302);
}
