#pragma once
// A new document in a fresh program folder for the calendar windows: Master.dat of the
// build copied in, Regist.dat made from it, "today" held at 10 December 2026, dialogs
// scripted, fatal ends thrown, and the calendar's hand-overs recorded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "calendar/calendar.h"
#include "calendar/schedule_window.h"
#include "calendar/year_window.h"
#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/schedule.h"
#include "dao/database.h"
#include "forms/fatal.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"

namespace caltest {

inline std::filesystem::path builtMasterDat() {
    const char* bin = std::getenv("KV_BIN_DIR");
    return std::filesystem::path(bin ? bin : "../bin") / "Master.dat";
}

struct YearRow {
    int year, month, day, pattern;
    std::string comment;
    bool operator==(const YearRow&) const = default;
};

class Document : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv-calendar-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        gstrDataPath = dir_.string() + "/";
        setAppPathForTesting(dir_.string());
        gintLogMode = gfChanged = gfAnsRec = vbFalse;
        std::filesystem::copy_file(builtMasterDat(), dir_ / "Master.dat");
        createDocumentFromMaster(file("Regist.dat"));
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
        exec("DELETE FROM tblYear");
        forms::resetBeepCount();
        calendar::setPatternEditorHook([this](int p, const std::string& d) { edited_.push_back({p, d}); });
        calendar::setPrinterHook([this](int mode, int item) { printed_.push_back({mode, item}); });
    }
    void TearDown() override {
        frmYear::setModalRunnerForTesting({});
        frmSchedule::setPopUpRunnerForTesting({});
        calendar::setPatternEditorHook({});
        calendar::setPrinterHook({});
        gsbOpenScheduleTables(false);
        gsbCloseDatabase(gdbWork);
        setAppPathForTesting({});
        gintLogMode = gfChanged = vbFalse;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    static void exec(const std::string& sql) { gdbWork.execute(sql); }
    static int intOf(const std::string& sql) {
        auto rs = gdbWork.openRecordset(sql);
        if (rs.eof()) return -999;
        const auto& v = rs[rs.fieldNames().front()];
        return v.isNull() ? -999 : v.toInt();
    }
    static void addSpecialDay(int y, int m, int d, int pattern, const std::string& comment = "") {
        gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, ?2, ?3, ?4, ?5)",
                        {y, m, d, pattern, comment});
    }
    static std::vector<YearRow> specialDays() {
        std::vector<YearRow> rows;
        for (auto rs = gdbWork.openRecordset("SELECT * FROM tblYear ORDER BY fldYear, fldMonth, fldDay"); !rs.eof();
             rs.moveNext())
            rows.push_back({rs["fldYear"].toInt(), rs["fldMonth"].toInt(), rs["fldDay"].toInt(), rs["fldPattern"].toInt(),
                            rs["fldComment"].toText()});
        return rows;
    }
    static void addStep(int pattern, int hour, int minute, int message) {
        gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                        {pattern, hour, minute, message});
    }

    std::filesystem::path dir_;
    forms::ScriptedDialogs dialogs_;
    forms::ThrowOnFatal fatal_;
    runtime::FixedClock clock_{runtime::DateTime{2026, 12, 10, 9, 0, 0}};
    std::vector<std::pair<int, std::string>> edited_;
    std::vector<std::pair<int, int>> printed_;
};

}  // namespace caltest
