#pragma once
// A fresh program folder for each test, scripted dialogs and a throwing fatal hook: what
// the shared windows need without a main window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/files.h"
#include "core/globals.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"

namespace wizardtest {

class ProgramFolder : public ::testing::Test {
public:
    void SetUp() override {
        char pattern[] = "/tmp/kv-wizard-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        gstrDataPath = dir_.string() + "/";
        setAppPathForTesting(dir_.string());
    }
    void TearDown() override {
        setAppPathForTesting({});
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    static void writeFile(const std::filesystem::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    }

    std::filesystem::path dir_;
    forms::ScriptedDialogs dialogs_;
    forms::ThrowOnFatal fatal_;
};

}  // namespace wizardtest
