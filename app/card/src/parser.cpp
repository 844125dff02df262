// A card's dump into the new document that the read flow has just created.
#include <fstream>
#include <iterator>

#include "card/card_data.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/strings.h"
#include "core/upkeep.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

namespace card {
namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) runtime::raise(53);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void applySettings(dao::Database& db, const std::array<std::uint8_t, kSettingSize>& block) {
    for (auto rs = db.openRecordset("SELECT fldNo, fldAddress, fldValue FROM tblSetting ORDER BY fldNo"); !rs.eof();
         rs.moveNext()) {
        const int no = rs["fldNo"].toInt();
        const double address = runtime::val(rs["fldAddress"].toText());
        std::string value;
        if (address < 0) {
            if (no != 1) throw ImageError("機能設定 " + std::to_string(no) + " のアドレスが正しくありません。");
            value = gfnsBytesToCode(block, 0);
        } else if (address < static_cast<double>(kSettingSize)) {
            value = std::to_string(block[static_cast<std::size_t>(address)]);
        } else {
            throw ImageError("機能設定 " + std::to_string(no) + " のアドレスが正しくありません。");
        }
        rs.edit();
        rs.set("fldValue", value);
        rs.update();
    }
}

void applySteps(dao::Database& db, const std::vector<StepRow>& steps) {
    for (const StepRow& s : steps)
        db.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                   {s.pattern, s.hour, s.minute, s.message});
}

void applyCalendar(dao::Database& db, const CardContents& c) {
    for (const core::SpecialDayRow& d : c.specialDays)
        db.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, ?2, ?3, ?4, '')",
                   {d.year, d.month, d.day, d.pattern});
    db.execute("UPDATE tblSyukujitu SET fldSyukujitu = ?1, fldMonday = ?2 WHERE fldDay = 0",
               {int{c.holidaySyukujitu}, int{c.holidayMonday}});
    if (!c.holidays) return;
    db.execute("DELETE FROM tblSyukujitu WHERE fldDay <> 0");
    for (const core::HolidayRow& h : *c.holidays)
        db.execute("INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) "
                   "VALUES (?1, ?2, ?3, 255, 255)",
                   {h.month, h.day, h.name});
}

void applyNames(dao::Database& db, const CardContents& c) {
    db.execute("UPDATE tblCardWrite SET fldComment = ?1 WHERE fldBlockNo = 224", {c.cardName});
    for (int ch = 1; ch <= 12; ++ch)
        if (const std::string& name = c.messageNames[static_cast<std::size_t>(ch - 1)]; !name.empty())
            db.execute("UPDATE tblMessage SET fldComment = ?1 WHERE fldCh = ?2", {name, ch});
    for (int no = 1; no <= 20; ++no)
        if (const std::string& name = c.patternNames[static_cast<std::size_t>(no - 1)]; !name.empty())
            db.execute("UPDATE tblDayPattern SET fldName = ?1 WHERE fldNo = ?2", {name, no});
}

}  // namespace

bool mfnfReadCardData(const std::string& sFileName, const Progress& progress) {
    auto report = [&](int value) {
        if (progress) progress(value);
    };
    try {
        const std::vector<std::uint8_t> image = readAll(sFileName);
        report(40);
        const CardContents c = decodeCardImage(image, runtime::today().year);
        if (c.settingBlock) applySettings(gdbWork, *c.settingBlock);
        applySteps(gdbWork, c.steps);
        report(40);
        report(50);
        for (int ch = 1; ch <= 9; ++ch)
            gdbWork.execute("UPDATE tblMessage SET fldAnsRec = ?1 WHERE fldCh = ?2", {c.ansRec[static_cast<std::size_t>(ch - 1)], ch});
        report(55);
        if (c.calendarPresent) {
            applyCalendar(gdbWork, c);
            report(65 + 3 * 9);
        }
        gsbSetMessageUse();
        gsbSetPatternError();
        report(95);
        applyNames(gdbWork, c);
        report(95);
        gsbCheckSyukujitu();
        report(95);
        return true;
    } catch (const ImageError& e) {
        gsbErrorMsg(std::string("mfnfReadCardData: ") + e.what(), false);
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, false);
    }
    return false;
}

}  // namespace card
