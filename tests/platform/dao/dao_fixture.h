#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dao/database.h"
#include "runtime/error.h"

// A fresh folder per test, removed afterwards.
class DaoTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kv-dao-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path file(const std::string& name) const { return dir / name; }

    static void write(const std::filesystem::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    static std::string read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // A database with the holiday table and a few rows.
    std::filesystem::path holidays(const std::string& name = "Regist.dat") {
        auto path = file(name);
        auto db = dao::Database::create(path);
        db.execute(
            "CREATE TABLE tblSyukujitu (fldMonth INTEGER, fldDay INTEGER, fldName TEXT, fldSyukujitu INTEGER, "
            "fldMonday INTEGER, fldComment TEXT, fldUse BOOLEAN)");
        db.execute("INSERT INTO tblSyukujitu VALUES (0, 0, '', 255, 255, '登録値保持用', False)");
        db.execute("INSERT INTO tblSyukujitu VALUES (1, 1, '元日', 8, 8, NULL, True)");
        db.execute("INSERT INTO tblSyukujitu VALUES (1, 52, '成人の日', 8, 8, NULL, True)");
        db.execute("INSERT INTO tblSyukujitu VALUES (0, 36, '国民の休日', 8, 255, NULL, NULL)");
        db.execute("INSERT INTO tblSyukujitu VALUES (2, 11, '建国記念の日', 8, 8, NULL, False)");
        return path;
    }

    std::filesystem::path dir;
};

// The engine number of the error `f` raises (0 when none).
template <typename F>
long errorOf(F&& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        return e.number();
    }
    return 0;
}
