#pragma once
// A fresh program folder with the built Master.dat for each test, scripted dialogs, a
// throwing fatal hook and plenty of free space; helpers to start the main window and to
// read and change Master.dat.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/database.h"
#include "core/file_header.h"
#include "core/files.h"
#include "core/globals.h"
#include "dao/database.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"
#include "shell/main_window.h"
#include "shell/start_screen.h"
#include "shell/startup.h"

namespace shelltest {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A document file at path as the program writes one: a new document made from the
// program folder's Master.dat, changed by the statements, after its header, stamped.
inline void writeDocument(const std::filesystem::path& path, const std::vector<std::string>& sql = {}) {
    const std::filesystem::path work = path.string() + ".work";
    createDocumentFromMaster(work.string());
    {
        dao::Database db = dao::Database::open(work);
        for (const std::string& statement : sql) db.execute(statement);
    }
    std::ostringstream header;
    gsbWriteFileHeader(header);
    writeFile(path, header.str() + std::string(kHeaderSize - kHeaderWrittenBytes, '\0') + readFile(work));
    std::filesystem::remove(work);
    gsbSetFileCode(path.string());
}

// The program's own Master.dat; tests use only its folder, where the program's libraries
// and drivers are. Run by hand, the test finds the folder of the build it was made in.
inline std::filesystem::path builtMasterDat() {
    const char* bin = std::getenv("KV_BIN_DIR");
    return std::filesystem::path(bin ? bin : KV_BUILD_BIN_DIR) / "Master.dat";
}

// The template Master.dat the build keeps for the tests; the program never runs against
// it, so nothing the program leaves in its own Master.dat reaches a test.
inline std::filesystem::path templateMasterDat() {
    const char* path = std::getenv("KV_MASTER_TEMPLATE");
    if (path) return path;
    // Run by hand: the template lies beside the tests' folder.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "template" / "Master.dat";
}

class ProgramFolder : public ::testing::Test {
public:
    void SetUp() override {
        char pattern[] = "/tmp/kv-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        gstrDataPath = dir_.string() + "/";
        setAppPathForTesting(dir_.string());
        gintLogMode = gfServiceMode = gfBrandMode = gfChanged = vbFalse;
        std::filesystem::copy_file(templateMasterDat(), dir_ / "Master.dat");
        shell::setFreeSpaceForTesting([] { return 1e12; });
        runtime::setClock([] { return runtime::DateTime{2026, 12, 10, 14, 0, 0}; });
        saved_ = std::filesystem::current_path();
    }
    void TearDown() override {
        main_.reset();
        gsbCloseDatabase(gdbWork);
        std::error_code gone;
        std::filesystem::remove(shell::SingleInstance::lockPath(gfnsAppPath()), gone);
        std::filesystem::current_path(saved_);
        shell::setFreeSpaceForTesting({});
        runtime::setClock({});
        setAppPathForTesting({});
        gintLogMode = gfServiceMode = gfBrandMode = gfChanged = vbFalse;
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }

public:
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

    // Runs one statement on Master.dat.
    void master(const std::string& sql) {
        dao::Database db = dao::Database::open(dir_ / "Master.dat");
        db.execute(sql);
    }
    std::string option(const std::string& key) {
        dao::Database db = dao::Database::open(dir_ / "Master.dat");
        auto rs = db.openRecordset("SELECT fldOptionValue FROM tblOption WHERE fldOptionItem = ?1", {key});
        return rs.eof() ? std::string("<missing>") : rs["fldOptionValue"].toText();
    }

    // A main window, not yet loaded.
    frmMain& window() {
        if (!main_) main_ = std::make_unique<frmMain>();
        return *main_;
    }
    // A main window through its start-up.
    frmMain& started() {
        window().MDIForm_Load();
        return *main_;
    }

    std::filesystem::path dir_;
    forms::ScriptedDialogs dialogs_;
    forms::ThrowOnFatal fatal_;
    std::unique_ptr<frmMain> main_;

private:
    std::filesystem::path saved_;
};

}  // namespace shelltest
