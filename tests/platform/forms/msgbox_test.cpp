#include <gtest/gtest.h>

#include "forms/fatal.h"
#include "forms/msgbox.h"

using namespace forms;

TEST(ScriptedDialogs, AnswersInOrderAndRefusesTheUnexpected) {
    setApplicationTitle("KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ");
    ScriptedDialogs dialogs;
    dialogs.expect("保存", vbNo).expect("終了", vbYes);
    EXPECT_EQ(MsgBox("変更を保存しますか？", vbYesNoCancel + vbQuestion), vbNo);
    EXPECT_EQ(MsgBox("終了しますか？", vbYesNo), vbYes);
    EXPECT_EQ(dialogs.shown()[0].title, "KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ");
    EXPECT_EQ(dialogs.shown()[0].style, vbYesNoCancel + vbQuestion);
    EXPECT_THROW(MsgBox("思いがけない"), UnexpectedDialog);
}

TEST(FatalHook, ThrowsInTestsInsteadOfEnding) {
    ThrowOnFatal guard;
    EXPECT_THROW(endProgram(), ProgramEnded);
}
