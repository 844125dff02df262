// Bringing a card into a usable state: the Initialise button, and the initialise and
// repair offered by the card status reader.
#include "card/window.h"
#include "forms/msgbox.h"

void frmCard::cmdInitial_Click() {
    msbEnableControls(false, false);
    const int answer = forms::MsgBox(
        "このカードを初期化してもよろしいですか？\r\n初期化すると、すべてのデータが消去されます。",
        forms::vbYesNo | forms::vbQuestion);
    if (answer != forms::vbYes) {
        msbEnableControls(true, false);
        return;
    }
    mlngWorkingBase_ = 0;
    msbWorkingStart(1, "初期化中");
    const std::int32_t n = crd_->Format();
    if (n != card::kCardOk) {
        msbShowCardError(n, "カードの初期化中にエラーが発生しました。", true);
    } else {
        msbWorkingEnd("カードを初期化しました。");
    }
    msbEnableControls(true, true);
}

bool frmCard::msbInitCard(const std::string& sPrompt) { return formatOrRepair(sPrompt, false, 0); }

bool frmCard::msbRepairCard(const std::string& sPrompt, std::int32_t lError) {
    return formatOrRepair(sPrompt, true, lError);
}

bool frmCard::formatOrRepair(const std::string& sPrompt, bool repair, std::int32_t lError) {
    if (forms::MsgBox(sPrompt, forms::vbYesNo | forms::vbQuestion) != forms::vbYes) return false;
    const bool checkCard = crd_->checkCard();
    const bool enabled = crd_->enabled();
    crd_->setCheckCard(false);
    crd_->setEnabled(true);
    mlngWorkingBase_ = 0;
    msbWorkingStart(1, repair ? "修復中" : "初期化中");
    const std::int32_t n = repair ? crd_->Repair(lError) : crd_->Format();
    if (n != card::kCardOk) {
        msbShowCardError(n, repair ? "修復中にエラーが発生しました。" : "初期化中にエラーが発生しました。", true);
    } else {
        msbWorkingEnd(repair ? "修復が完了しました。" : "初期化が完了しました。");
    }
    crd_->setCheckCard(checkCard);
    crd_->setEnabled(enabled);
    return true;
}
