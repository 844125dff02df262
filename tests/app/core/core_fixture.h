#pragma once
// A fresh program folder for each test: gstrDataPath and the program folder point at a
// temporary folder, log mode is off, and message boxes and fatal ends are scripted.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/files.h"
#include "core/globals.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"

namespace coretest {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The text of CP932 bytes, for reading the log back.
inline std::string fromCp932(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    std::string out(bytes.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* o = out.data();
    std::size_t oLeft = out.size();
    iconv(cd, &in, &inLeft, &o, &oLeft);
    iconv_close(cd);
    out.resize(out.size() - oLeft);
    return out;
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
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv-core-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        savedPath_ = gstrDataPath;
        gstrDataPath = dir_.string() + "/";
        setAppPathForTesting(dir_.string());
        gintLogMode = vbFalse;
    }
    void TearDown() override {
        gintLogMode = vbFalse;
        gstrDataPath = savedPath_;
        setAppPathForTesting({});
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    void copyMaster() {
        std::filesystem::copy_file(templateMasterDat(), dir_ / "Master.dat",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    std::filesystem::path dir_;
    forms::ScriptedDialogs dialogs_;
    forms::ThrowOnFatal fatal_;

private:
    std::string savedPath_;
};

}  // namespace coretest
