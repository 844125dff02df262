#pragma once
// A new document in a fresh program folder: Master.dat of the build copied in, Regist.dat
// made from it and open as gdbWork, "today" held at 1 January 2027.
#include <string>
#include <vector>

#include "core/database.h"
#include "core/schedule.h"
#include "core_fixture.h"
#include "dao/database.h"
#include "runtime/datetime.h"

namespace coretest {

struct StepRow {
    int hour, minute, message;
};

class NewDocument : public ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        gfChanged = vbFalse;
        gfAnsRec = vbFalse;
        copyMaster();
        createDocumentFromMaster(file("Regist.dat"));
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
    }
    void TearDown() override {
        gsbOpenScheduleTables(false);
        gsbCloseDatabase(gdbWork);
        ProgramFolder::TearDown();
    }

    static void exec(const std::string& sql) { gdbWork.execute(sql); }
    // The first column of the first row of a query; Null reads as -999.
    static int intOf(const std::string& sql) {
        auto rs = gdbWork.openRecordset(sql);
        if (rs.eof()) return -999;
        const auto& v = rs[rs.fieldNames().front()];
        return v.isNull() ? -999 : v.toInt();
    }
    static std::vector<int> intsOf(const std::string& sql) {
        std::vector<int> out;
        for (auto rs = gdbWork.openRecordset(sql); !rs.eof(); rs.moveNext()) out.push_back(rs[rs.fieldNames().front()].toInt());
        return out;
    }
    static void addSteps(int pattern, const std::vector<StepRow>& steps) {
        dao::Transaction batch(gdbWork);
        for (const auto& s : steps)
            gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                            {pattern, s.hour, s.minute, s.message});
        batch.commit();
    }

    runtime::FixedClock clock_{runtime::DateTime{2027, 1, 1, 9, 0, 0}};
};

}  // namespace coretest
