// The numbered message table: texts, buttons, icons, default buttons and answers.
#include <gtest/gtest.h>

#include "core/messages.h"
#include "core_fixture.h"

namespace {

using namespace forms;
using coretest::ProgramFolder;

class MessageTable : public ProgramFolder {};

struct Expected {
    int number;
    const char* text;
    int style;
};

constexpr int kAsk = vbYesNo | vbQuestion;

// Line breaks decide how a box wraps, so each entry's CR or CR LF is checked byte for byte.
const Expected kTable[] = {
    {2, "削除してもいいですか？", kAsk},
    {5, "同じ日付の登録があります。\r上書きしますか？", kAsk},
    {6, "登録されている全ての特定日スケジュールが削除されます。\r削除しますか？", kAsk},
    {8, "登録値を全て初期値にします。\rよろしいですか？", kAsk | vbDefaultButton2},
    {9, "登録がありません。\r印刷を続けますか？", kAsk},
    {11, "祝日を使用しますか？\r\n使用しないと、祝日は曜日スケジュールで動作します。", kAsk},
    {12, "祝日の使用を停止しますか？\r\n祝日の使用を停止すると、祝日は曜日スケジュールで動作します。", kAsk},
    {15, "祝日の既定値を変更しますか？\r\nこの変更は新規に作成されるファイルに影響します。", kAsk},
    {102, "終了時刻が不正です。", vbCritical},
    {114, "フォルダ名が無効です。\rパスが存在するか確認してください。", vbCritical},
    {122, "復元もとを指定してください。", vbCritical},
    {201, "プリンタ出力中にエラーが発生しました。\r印刷を中止します。", vbExclamation},
    {202, "このコンピュータで使用できるプリンタがありません。\r\n印刷するには、プリンタが必要です。", vbExclamation},
    {301, "応答録音機能を使用するには、本体にＲＢボード（オプション）と録音装置（オプション）が必要になります。",
     vbInformation},
    {302, "祝日登録が既定値と異なります。\r\n祝日を変更するには、祝日スケジュールで「祝日の編集」を行ってください。",
     vbInformation},
    {303, "オプション機能を使用するには、本体にＲＢボード（オプション）が必要になります。", vbInformation},
};

TEST_F(MessageTable, ShowsEachTextWithItsStyleAndTheApplicationTitle) {
    for (const auto& e : kTable) {
        dialogs_.expect(e.text, (e.style & 7) == vbYesNo ? vbYes : vbOK);
        gfniMsgBox(e.number);
        const auto& shown = dialogs_.shown().back();
        EXPECT_EQ(shown.prompt, e.text) << "message " << e.number;
        EXPECT_EQ(shown.style, e.style) << "message " << e.number;
        EXPECT_EQ(shown.title, std::string(kAppTitle)) << "message " << e.number;
    }
}

TEST_F(MessageTable, EveryNumberInUseShowsABox) {
    const int inUse[] = {2,   4,   5,   6,   8,   9,   11,  12,  14,  15,  102, 103, 104, 105, 106, 107, 108,
                         109, 110, 111, 112, 113, 114, 116, 117, 119, 120, 121, 122, 201, 202, 301, 302, 303};
    for (int n : inUse) {
        dialogs_.expect("", vbOK);
        EXPECT_NO_THROW(gfniMsgBox(n)) << "message " << n;
    }
    EXPECT_EQ(dialogs_.shown().size(), std::size(inUse));
}

TEST_F(MessageTable, ReturnsTheButtonPressed) {
    dialogs_.expect("上書きしてもいいですか？", vbNo).expect("上書きしてもいいですか？", vbYes).expect("年の指定", vbOK);
    EXPECT_EQ(gfniMsgBox(4), vbNo);
    EXPECT_EQ(gfniMsgBox(4), vbYes);
    EXPECT_EQ(gfniMsgBox(112), vbOK);
}

TEST_F(MessageTable, ANumberOutsideTheTableEndsTheProgram) {
    for (int n : {0, 3, 101, 115, 118, 203, 304}) {
        dialogs_.expect("内部エラーが発生しました。");
        EXPECT_THROW(gfniMsgBox(n), ProgramEnded) << "message " << n;
        EXPECT_EQ(dialogs_.pending(), 0u);
    }
}

}  // namespace

// The real box, answered with the Enter key: message 8 defaults to No.
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

namespace {

TEST_F(MessageTable, EnterOnMessage8AnswersNo) {
    forms::setDialogService(nullptr);
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
    });
    const int answer = gfniMsgBox(8);
    forms::setDialogService(&dialogs_);
    EXPECT_EQ(answer, vbNo);
}

}  // namespace
