// The central error reporter: what it shows, what it logs, and when it ends the program.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core_fixture.h"
#include "runtime/error.h"

namespace {

using namespace forms;
using coretest::ProgramFolder;
using coretest::readFile;

class ErrorReporter : public ProgramFolder {
protected:
    std::string log() const { return coretest::fromCp932(readFile(dir_ / "Soft.log")); }
    bool logExists() const { return std::filesystem::exists(dir_ / "Soft.log"); }
};

TEST_F(ErrorReporter, OutsideLogModeANonFatalFaultShowsAndWritesNothing) {
    EXPECT_NO_THROW(gsbErrorMsg("更新なのに登録がない（pfnfSetDayStepData）", false));
    try {
        runtime::raise(11);
    } catch (...) {
        EXPECT_NO_THROW(gsbErrorMsg("", false));
    }
    EXPECT_TRUE(dialogs_.shown().empty());
    EXPECT_FALSE(logExists());
}

TEST_F(ErrorReporter, AFatalFaultShowsOnlyTheInternalErrorBoxAndEnds) {
    dialogs_.expect("内部エラーが発生しました。");
    EXPECT_THROW(gsbErrorMsg("印刷モードエラー（msbPrint）", true), ProgramEnded);
    ASSERT_EQ(dialogs_.shown().size(), 1u);
    EXPECT_EQ(dialogs_.shown()[0].prompt, "内部エラーが発生しました。");
    EXPECT_EQ(dialogs_.shown()[0].style, vbOKOnly | vbExclamation);
    EXPECT_EQ(dialogs_.shown()[0].title, std::string(kAppTitle));
    EXPECT_FALSE(logExists());
}

TEST_F(ErrorReporter, InLogModeAFatalFaultAlsoShowsAndLogsItsText) {
    gintLogMode = vbTrue;
    dialogs_.expect("内部エラーが発生しました。").expect("エラー！\r\n印刷モードエラー（msbPrint）");
    EXPECT_THROW(gsbErrorMsg("印刷モードエラー（msbPrint）", true), ProgramEnded);
    EXPECT_EQ(dialogs_.shown()[1].style, vbOKOnly | vbCritical);
    EXPECT_EQ(dialogs_.shown()[1].title, std::string(kAppTitle) + " デバッグ");
    EXPECT_NE(log().find("エラー！\r\n印刷モードエラー（msbPrint）\r\n"), std::string::npos);
}

TEST_F(ErrorReporter, InLogModeThePendingErrorGivesThreeLinesInTheBoxAndTheLog) {
    gintLogMode = vbTrue;
    const std::string expected = "重大なエラー！\r\nNo.11\r\n" + runtime::errorDescription(11);
    dialogs_.expect(expected);
    try {
        runtime::raise(11);
    } catch (...) {
        gsbErrorMsg("", false);
    }
    EXPECT_EQ(dialogs_.shown().at(0).prompt, expected);
    const std::string line = log();
    ASSERT_EQ(line.size(), 20 + expected.size() + 2);  // one time stamp, three lines, one CR LF
    EXPECT_EQ(line.substr(20), expected + "\r\n");
}

TEST_F(ErrorReporter, AFatalRuntimeErrorShowsTheDebugBoxEvenOutsideLogMode) {
    dialogs_.expect("重大なエラー！\r\nNo.3343\r\nUnrecognized database format");
    EXPECT_THROW(gsbErrorMsg(runtime::Error(3343, "Unrecognized database format"), true), ProgramEnded);
    EXPECT_FALSE(logExists());
}

TEST_F(ErrorReporter, AForeignExceptionIsReportedAsAnInternalError) {
    gintLogMode = vbTrue;
    dialogs_.expect("重大なエラー！\r\nNo.51\r\nboom");
    try {
        throw std::runtime_error("boom");
    } catch (...) {
        gsbErrorMsg("", false);
    }
}

TEST_F(ErrorReporter, AProgramThatHasEndedIsNotReportedTwice) {
    dialogs_.expect("内部エラーが発生しました。");
    EXPECT_THROW(
        {
            try {
                gsbErrorMsg("最初のエラー（test）", true);
            } catch (...) {
                gsbErrorMsg("", true);  // a handler further out catches everything
            }
        },
        ProgramEnded);
    EXPECT_EQ(dialogs_.shown().size(), 1u);
}

TEST_F(ErrorReporter, AnUnwritableLogNeverTurnsAReportIntoAFailure) {
    gintLogMode = vbTrue;
    std::filesystem::create_directory(dir_ / "Soft.log");  // cannot be opened for append
    dialogs_.expect("エラー！");
    EXPECT_NO_THROW(gsbErrorMsg("祝日の日登録エラー（gsbGetScheduleData）", false));
    EXPECT_EQ(dialogs_.pending(), 0u);
}

}  // namespace
