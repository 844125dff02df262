#include <gtest/gtest.h>

#include "forms/msgbox.h"

using namespace forms;

TEST(ScriptedDialogs, InputBoxAnswersTextOrCancel) {
    ScriptedDialogs dialogs;
    dialogs.expectInput("名前", std::string("山田")).expectInput("名前", std::nullopt);
    EXPECT_EQ(InputBox("名前を入力してください。", "", "既定"), "山田");
    EXPECT_EQ(dialogs.inputs()[0].defaultText, "既定");
    EXPECT_EQ(InputBox("名前を入力してください。"), "");  // cancel reads as an empty text
    EXPECT_EQ(dialogs.pending(), 0u);
}

TEST(ScriptedDialogs, FileDialogsAnswerInOrderAndCheckTheirKind) {
    ScriptedDialogs dialogs;
    dialogs.expectFile(FileDialogRequest::Open, std::string("/tmp/a.kvp"), "開く")
        .expectFile(FileDialogRequest::Save, std::nullopt)
        .expectFile(FileDialogRequest::Folder, std::string("/tmp"));
    FileDialogRequest open;
    open.title = "ファイルを開く";
    open.filter = "KV-M58Sデータ (*.kvp)|*.kvp";
    EXPECT_EQ(ShowOpen(open), std::optional<std::string>("/tmp/a.kvp"));
    EXPECT_EQ(ShowSave({}), std::nullopt);
    EXPECT_EQ(BrowseForFolder("保存先"), std::optional<std::string>("/tmp"));
    ASSERT_EQ(dialogs.fileDialogs().size(), 3u);
    EXPECT_EQ(dialogs.fileDialogs()[0].filter, open.filter);
}

TEST(ScriptedDialogs, RefusesADialogOfAnotherKind) {
    ScriptedDialogs dialogs;
    dialogs.expectFile(FileDialogRequest::Save, std::string("/tmp/x"));
    EXPECT_THROW(ShowOpen({}), UnexpectedDialog);
    EXPECT_THROW(MsgBox("保存しますか？"), UnexpectedDialog);
    EXPECT_THROW(InputBox("保存しますか？"), UnexpectedDialog);
}
