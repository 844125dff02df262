// The log: only in log mode, CP932, one time-stamped line an entry.
#include <gtest/gtest.h>

#include "core/log.h"
#include "core_fixture.h"
#include "runtime/datetime.h"

namespace {

using coretest::ProgramFolder;
using coretest::readFile;

class Log : public ProgramFolder {
protected:
    std::string log() const { return readFile(dir_ / "Soft.log"); }
};

TEST_F(Log, EachLineBeginsWithTheTimeOfDayAndOneSpace) {
    runtime::FixedClock clock({2019, 9, 13, 9, 5, 1});
    gintLogMode = vbTrue;
    gsbWriteLog("ABC");
    clock.set({2020, 12, 31, 23, 59, 59});
    gsbWriteLog("D");
    EXPECT_EQ(log(), "2019/09/13 09:05:01 ABC\r\n2020/12/31 23:59:59 D\r\n");
}

TEST_F(Log, WritesNothingOutsideLogMode) {
    gsbWriteLog("プログラム起動");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Soft.log"));
}

TEST_F(Log, AppendsOneCp932LinePerEntry) {
    gintLogMode = vbTrue;
    gsbWriteLog("プログラム起動");
    gsbWriteLog("ABC－～");  // U+FF0D and U+FF5E exist only in CP932
    const std::string text = log();
    // "プログラム起動" in CP932.
    const std::string first = "\x83\x76\x83\x8D\x83\x4F\x83\x89\x83\x80\x8B\x4E\x93\xAE\r\n";
    const std::string second = "ABC\x81\x7C\x81\x60\r\n";
    ASSERT_EQ(text.size(), 20 + first.size() + 20 + second.size());
    EXPECT_EQ(text.substr(20, first.size()), first);
    EXPECT_EQ(text.substr(20 + first.size() + 20), second);
    EXPECT_EQ(text[4], '/');
    EXPECT_EQ(text[19], ' ');
}

TEST_F(Log, ACharacterCp932LacksDoesNotLoseTheLine) {
    gintLogMode = vbTrue;
    gsbWriteLog("a😀b");
    const std::string text = log();
    ASSERT_GE(text.size(), 20u);
    EXPECT_EQ(text.substr(20), "a?b\r\n");
}

TEST_F(Log, AMissingFolderIsSkippedQuietly) {
    gintLogMode = vbTrue;
    gstrDataPath = (dir_ / "gone" / "").string();
    EXPECT_NO_THROW(gsbWriteLog("プログラム終了"));
}

}  // namespace
