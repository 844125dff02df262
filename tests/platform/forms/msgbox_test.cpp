#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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

// The real save dialog: a name typed without its extension is checked for replacing the
// file that the extension names.
TEST(FileDialogs, SaveAsksBeforeReplacingTheNameWithItsExtension) {
    char pattern[] = "/tmp/kv-forms-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    std::ofstream(dir / "テスト文書.kvp") << "earlier";

    FileDialogRequest request;
    request.kind = FileDialogRequest::Save;
    request.initDir = dir.string();
    request.filter = "KV-M58Sﾌｧｲﾙ(*.kvp)|*.kvp";
    request.defaultExt = "kvp";
    std::string asked;
    bool typed = false;
    QTimer hand;
    hand.setInterval(10);
    QObject::connect(&hand, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            asked = box->text().toStdString();
            box->button(QMessageBox::No)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (!typed) {
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromUtf8("テスト文書"));
                typed = true;
                // As the Save button does, from the event loop, so this hand can answer
                // the question it raises.
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            } else if (!asked.empty()) {
                dialog->reject();
            }
        }
    });
    hand.start();
    EXPECT_EQ(ShowSave(request), std::nullopt);
    EXPECT_NE(asked.find("テスト文書.kvp"), std::string::npos) << asked;
    std::filesystem::remove_all(dir);
}
