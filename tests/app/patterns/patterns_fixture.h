#pragma once
// A fresh program folder with the built Master.dat and a new document Regist.dat in it,
// scripted dialogs, a throwing fatal hook and a fixed "today"; helpers to read and seed
// the document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "dao/database.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "patterns/day_steps.h"
#include "runtime/datetime.h"

namespace patterntest {

// The template Master.dat the build keeps for the tests; the program never runs against
// it, so nothing the program leaves in its own Master.dat reaches a test.
inline std::filesystem::path templateMasterDat() {
    const char* path = std::getenv("KV_MASTER_TEMPLATE");
    if (path) return path;
    // Run by hand: the template lies beside the tests' folder.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "template" / "Master.dat";
}

class Document : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv-patterns-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        gstrDataPath = dir_.string() + "/";
        setAppPathForTesting(dir_.string());
        gintLogMode = gfServiceMode = gfBrandMode = gfChanged = gfAnsRec = vbFalse;
        std::filesystem::copy_file(templateMasterDat(), dir_ / "Master.dat");
        createDocumentFromMaster(file("Regist.dat"));
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
        forms::resetBeepCount();
    }
    void TearDown() override {
        gsbCloseDatabase(gdbWork);
        setAppPathForTesting({});
        gintLogMode = gfServiceMode = gfBrandMode = gfChanged = gfAnsRec = vbFalse;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    // gdbWork as the windows left it (they close it when they unload).
    static dao::Database& db() {
        if (!gdbWork.isOpen()) gsbOpenDatabase(gdbWork, gstrDataPath + "Regist.dat");
        return gdbWork;
    }
    static void exec(const std::string& sql) { db().execute(sql); }
    static int intOf(const std::string& sql) {
        auto rs = db().openRecordset(sql);
        if (rs.eof()) return -999;
        const auto& v = rs[rs.fieldNames().front()];
        return v.isNull() ? -999 : v.toInt();
    }
    static std::string textOf(const std::string& sql) {
        auto rs = db().openRecordset(sql);
        return rs.eof() ? std::string("<none>") : rs[rs.fieldNames().front()].toText();
    }
    static void addSteps(int pattern, const std::vector<patterns::DayStep>& steps) {
        for (const auto& s : steps)
            db().execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                         {pattern, s.minute / 60, s.minute % 60, s.channel});
    }
    static std::vector<patterns::DayStep> steps(int pattern) {
        db();
        return patterns::readDaySteps(pattern);
    }

    std::filesystem::path dir_;
    forms::ScriptedDialogs dialogs_;
    forms::ThrowOnFatal fatal_;
    runtime::FixedClock clock_{runtime::DateTime{2027, 1, 1, 9, 0, 0}};
};

// Minutes of "h:mm".
constexpr int hm(int h, int m) { return h * 60 + m; }

}  // namespace patterntest
