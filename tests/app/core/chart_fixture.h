#pragma once
// A small document for the chart and list tests: the three tables they read, in a fresh
// database file opened as gdbWork for the test's lifetime.
#include <filesystem>
#include <string>

#include "core/database.h"

namespace test {

class ChartDocument {
public:
    ChartDocument() {
        dir_ = std::filesystem::temp_directory_path() /
               ("kv_chart_" + std::to_string(::getpid()) + "_" + std::to_string(++counter()));
        std::filesystem::create_directories(dir_);
        gdbWork = dao::Database::create(dir_ / "Regist.dat");
        gdbWork.execute("CREATE TABLE tblMessage (fldCh INTEGER, fldComment TEXT, fldUse INTEGER, fldAnsRec INTEGER)");
        gdbWork.execute(
            "CREATE TABLE tblDayPattern (fldNo INTEGER, fldName TEXT, fldStep INTEGER, fldUse INTEGER, fldError INTEGER)");
        gdbWork.execute(
            "CREATE TABLE tblDayStep (fldPatternNo INTEGER, fldHour INTEGER, fldMinute INTEGER, fldMessage INTEGER)");
        dao::Transaction rows(gdbWork);
        for (int ch = 1; ch <= 12; ++ch)
            gdbWork.execute("INSERT INTO tblMessage VALUES (?1, ?2, 0, 0)", {ch, "メッセージ" + std::to_string(ch)});
        for (int no = 0; no <= 20; ++no) gdbWork.execute("INSERT INTO tblDayPattern VALUES (?1, '', 0, 0, 0)", {no});
        rows.commit();
    }
    ~ChartDocument() {
        gdbWork.close();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ChartDocument(const ChartDocument&) = delete;
    ChartDocument& operator=(const ChartDocument&) = delete;

    void step(int pattern, int hour, int minute, int channel) {
        gdbWork.execute("INSERT INTO tblDayStep VALUES (?1, ?2, ?3, ?4)", {pattern, hour, minute, channel});
    }
    void ansRec(int ch, bool on) {
        gdbWork.execute("UPDATE tblMessage SET fldAnsRec = ?1 WHERE fldCh = ?2", {on, ch});
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::filesystem::path dir_;
};

}  // namespace test
