#include "core/messages.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/errors.h"
#include "forms/msgbox.h"
#include "runtime/events.h"

namespace {

using namespace forms;

// The five styles of the table.
constexpr int kAsk = vbYesNo | vbQuestion | vbDefaultButton1;
constexpr int kAskNo = vbYesNo | vbQuestion | vbDefaultButton2;
constexpr int kError = vbOKOnly | vbCritical;
constexpr int kWarn = vbOKOnly | vbExclamation;
constexpr int kNote = vbOKOnly | vbInformation;

struct Message {
    int number;
    std::string_view text;
    int style;
};

// Line breaks are part of the texts: some entries break with CR alone, others with CR LF.
constexpr std::array kMessages = {
    Message{2, "削除してもいいですか？", kAsk},
    Message{4, "上書きしてもいいですか？", kAsk},
    Message{5, "同じ日付の登録があります。\r上書きしますか？", kAsk},
    Message{6, "登録されている全ての特定日スケジュールが削除されます。\r削除しますか？", kAsk},
    Message{8, "登録値を全て初期値にします。\rよろしいですか？", kAskNo},
    Message{9, "登録がありません。\r印刷を続けますか？", kAsk},
    Message{11, "祝日を使用しますか？\r\n使用しないと、祝日は曜日スケジュールで動作します。", kAsk},
    Message{12, "祝日の使用を停止しますか？\r\n祝日の使用を停止すると、祝日は曜日スケジュールで動作します。", kAsk},
    Message{14, "祝日を既定値と置き換えてもいいですか？", kAsk},
    Message{15, "祝日の既定値を変更しますか？\r\nこの変更は新規に作成されるファイルに影響します。", kAsk},
    Message{102, "終了時刻が不正です。", kError},
    Message{103, "コピー元とコピー先が同じです。", kError},
    Message{104, "新しくスケジュールを作成できませんでした。", kError},
    Message{105, "同じ日付の登録があります。", kError},
    Message{106, "残り登録数がないので、登録できません。", kError},
    Message{107, "コピー元の登録がないのでコピーできません。", kError},
    Message{108, "メッセージが選択されていません。", kError},
    Message{109, "ファイルが選択されていません。", kError},
    Message{110, "メッセージの録音がありません。", kError},
    Message{111, "スケジュールの内容はありません。", kError},
    Message{112, "年の指定が不正です。", kError},
    Message{113, "保存先を指定してください。", kError},
    Message{114, "フォルダ名が無効です。\rパスが存在するか確認してください。", kError},
    Message{116, "コピー元の登録にエラーがあるのでコピーできません。", kError},
    Message{117, "削除できる登録がありません。", kError},
    Message{119, "スケジュールデータがありません。", kError},
    Message{120, "特定日の登録はありません。", kError},
    Message{121, "録音残時間が足りません。", kError},
    Message{122, "復元もとを指定してください。", kError},
    Message{201, "プリンタ出力中にエラーが発生しました。\r印刷を中止します。", kWarn},
    Message{202, "このコンピュータで使用できるプリンタがありません。\r\n印刷するには、プリンタが必要です。", kWarn},
    Message{301, "応答録音機能を使用するには、本体にＲＢボード（オプション）と録音装置（オプション）が必要になります。", kNote},
    Message{302, "祝日登録が既定値と異なります。\r\n祝日を変更するには、祝日スケジュールで「祝日の編集」を行ってください。", kNote},
    Message{303, "オプション機能を使用するには、本体にＲＢボード（オプション）が必要になります。", kNote},
};

const Message* findMessage(int n) {
    const auto it = std::find_if(kMessages.begin(), kMessages.end(), [n](const Message& m) { return m.number == n; });
    return it == kMessages.end() ? nullptr : &*it;
}

}  // namespace

std::int16_t gfniMsgBox(int n) {
    const Message* m = findMessage(n);
    if (!m) {
        gsbErrorMsg("メッセージ表示関数エラー（gfniMsgBox）", true);
        return 0;
    }
    const int answer = forms::MsgBox(m->text, m->style, gfnsAppTitle());
    runtime::doEvents();
    return static_cast<std::int16_t>(answer);
}
