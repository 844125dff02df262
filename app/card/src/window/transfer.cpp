// The two document transfers: a card read into a new document, the chosen parts of the
// document written to a card; the write page's selection; and the card error report.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "card/card_data.h"
#include "card/window.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/messages.h"
#include "core/strings.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "window_hooks.h"
#include "wizard/host.h"
#include "wizard/progress.h"

namespace {

constexpr long kCancelError = 32755;
constexpr forms::Colour kEmptyCell = 0xE2E2E2;

std::string cardDataPath() { return gstrDataPath + "CardData.crd"; }
std::string registPath() { return gstrDataPath + std::string(kRegistDat); }

// A card date counts when the program's date text makes a date of it (day 0 is the last
// day of the month before, as everywhere else), not the dashes of a block never written.
bool isValidDate(int y, int m, int d) {
    try {
        return gfnsDateToStr(y, m, d) != gfnsDateToStr(0, 0, 0);
    } catch (const runtime::Error&) {
        return false;
    }
}

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

void colourGrid(forms::Grid& g, bool on) {
    g.setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, on ? kEmptyCell : forms::vbButtonFace);
    g.setBlockForeColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, on ? forms::vbButtonText : forms::vbGrayText);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Card error report


void frmCard::msbShowCardError(std::int32_t lError, const std::string& sText, bool fUnload) {
    std::string text;
    if (gintLogMode != vbFalse) {
        text = sText + "\r\nError No." + std::to_string(lError) + " " + crd_->ErrorMessage(lError);
    } else {
        text = sText + "[" + std::to_string(lError) + "]";
    }
    // A card whose blocks are all taken refuses a change before touching anything: the user
    // makes room by erasing a message.
    if (lError == card::kNoFreeBlock) text += "\r\nカードに空きがありません。メッセージを消去してから、もう一度行ってください。";
    forms::MsgBox(text, forms::vbCritical);
    if (fUnload) unloadWorking();
}

// ---------------------------------------------------------------------------------------
// Reading a card

void frmCard::cmdRead_Click() {
    msbEnableControls(false, false);
    bool ok = false;
    try {
        ok = readCard();
    } catch (const runtime::Error& e) {
        unloadWorking();
        if (e.number() != kCancelError) gsbErrorMsg(e, false);
    }
    gsbCloseDatabase(gdbWork);
    gsbDeleteFile(cardDataPath());
    msbEnableControls(true, false);
    if (ok) {
        if (wizard::Host* h = wizard::host()) h->msbShowNext();
    } else {
        gsbDeleteFile(registPath());
    }
}

bool frmCard::readCard() {
    card::CardCtl& c = *crd_;
    const auto validFrom = [&](com::DispId id) {
        return isValidDate(c.indexedLong(id, 0), c.indexedLong(id, 1), c.indexedLong(id, 2));
    };
    if (!validFrom(card::dispid::UpDateSchedule) &&
        !(gfServiceMode != vbFalse && validFrom(card::dispid::UpDateSetting))) {
        gfniMsgBox(119);
        return false;
    }
    mlngWorkingBase_ = 0;
    mlngWorkingLength_ = 0;
    msbWorkingStart(1, "新規ファイル作成中");
    msbWorkingProgress(1, "新規ファイル作成中");
    wizard::Host* m = wizard::host();
    if (!m || !m->mfnfMakeNewFile()) {
        unloadWorking();
        gsbErrorMsg("ファイルの新規作成に失敗しました。(cmdRead_Click)", true);
        return false;
    }
    gsbOpenDatabase(gdbWork, registPath());
    msbWorkingProgress(20, "データ読み込み中");
    gsbDeleteFile(cardDataPath());
    const std::int32_t n = c.ReadCardData(cardDataPath());
    if (n != card::kCardOk) {
        msbShowCardError(n, "データ読み込み中にエラーが発生しました。", true);
        return false;
    }
    mlngWorkingLength_ = 0;
    msbWorkingProgress(40, "データ読み込み中");
    if (card::mfnfReadCardData(cardDataPath(), [this](int v) { workingValue(v); })) {
        m->msbSetFileName("カードデータ");
        gfChanged = vbTrue;
        msbWorkingEnd(gintLogMode != vbFalse ? "読み込みが終了しました。" : "");
        return true;
    }
    // The half-filled document is discarded; the progress window must not outlive the read.
    unloadWorking();
    m->mfnfMakeNewFile();
    forms::MsgBox("データ読み込み中にエラーが発生しました。");
    return false;
}

// ---------------------------------------------------------------------------------------
// Writing a card

void frmCard::cmdWrite_Click() {
    if (!chkCardName->isChecked() && !chkSchedule->isChecked() && !chkMessage->isChecked() &&
        !chkSetting->isChecked()) {
        forms::beep();
        return;
    }
    setMainEnabled(false);
    msbEnableControls(false, false);
    txtCardName_LostFocus(0);
    try {
        msbWriteCard();
    } catch (const runtime::Error& e) {
        unloadWorking();
        gsbDeleteFile(cardDataPath());
        if (e.number() != kCancelError) gsbErrorMsg(e, false);
    }
    msbEnableControls(true, true);
}

void frmCard::msbWriteCard() {
    card::WriteModeRecord record{};
    card::msbGetWriteMode(record);
    using namespace card;
    int maximum = 1;
    if (record[kRecordSettings] != 0) maximum += 1;
    if (record[kRecordSchedule] != 0) maximum += 18;
    if (record[kRecordCardName] != 0) maximum += 1;
    if (record[kRecordMessageNames] != 0) maximum += 1;
    const bool onlyData = record[kRecordCardName] == 0 && record[kRecordMessageNames] == 0 &&
                          record[kRecordPatternNames] == 0 && record[kRecordSettings] != 0 &&
                          record[kRecordSchedule] != 0;
    if (!onlyData) maximum += 1;
    mlngWorkingBase_ = 0;
    mlngWorkingLength_ = 0;
    msbWorkingStart(maximum, "書き込みデータ作成中");
    struct CleanUp {
        ~CleanUp() {
            try {
                gsbDeleteFile(cardDataPath());
            } catch (...) {
            }
        }
    } cleanUp;
    if (record[kRecordSchedule] != 0 && !card::hooks::checkData(0)) {
        unloadWorking();
        return;
    }
    if (card::mfnfMakeCardData(cardDataPath(), record, [this](int step) { workingValue(step * 100); })) {
        mlngWorkingBase_ = (maximum - 1) * 100;
        mlngWorkingLength_ = 0;
        msbWorkingProgress(maximum - 1, "カードに書き込み中");
        const std::int32_t n = crd_->WriteCardData(cardDataPath());
        if (n == card::kCardOk) {
            msbWorkingEnd("書き込みが終了しました。");
        } else {
            msbShowCardError(n, "データ書き込み中にエラーが発生しました。", true);
        }
    } else {
        forms::MsgBox("書き込みデータ作成中にエラーが発生しました。", forms::vbCritical);
        unloadWorking();
    }
}

// ---------------------------------------------------------------------------------------
// The write page's selection

void frmCard::msbLoadWriteList() {
    const bool service = gfServiceMode != vbFalse;
    card::applyWritePageRules(service);
    auto rs = gdbWork.openRecordset(
        "SELECT fldBlockNo, fldWriteMode, fldWriteData, fldComment FROM tblCardWrite "
        "WHERE fldBlockNo IN (204, 221, 224, 226) ORDER BY fldBlockNo");
    for (; !rs.eof(); rs.moveNext()) {
        const int block = rs["fldBlockNo"].toInt();
        const int mode = rs["fldWriteMode"].toInt();
        const std::string data = rs["fldWriteData"].toText();
        if (block == kBlockSetting) {
            lblWSettingUpdate->setText(QString::fromStdString(gfnvGetFileDate(mode, data)));
            chkSetting->setChecked(service && mode != 0);
        } else if (block == kBlockSchedule) {
            lblWScheduleUpdate->setText(QString::fromStdString(gfnvGetFileDate(mode, data)));
            chkSchedule->setChecked(mode != 0);
        } else if (block == kBlockCardName) {
            txtCardName[0]->setText(QString::fromStdString(rs["fldComment"].toText()));
            chkCardName->setChecked(mode != 0);
        }
    }
    forms::GridRefill refill(*sstWriteSchedule);
    sstWriteSchedule->setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, kEmptyCell);
    const auto has = card::scheduleSummary();
    for (int row = 1; row <= 3; ++row) sstWriteSchedule->setText(2, row, gfnsYesNoStr(has[row - 1]));
    colourGrid(*sstWriteSchedule, chkSchedule->isChecked());
    cmdPattern->setEnabled(chkSchedule->isChecked());
    txtCardName[0]->setEnabled(chkCardName->isChecked());
}

void frmCard::msbLoadMessageWriteList() {
    card::copyChannelNamesToWriteList();
    forms::GridRefill refill(*sstWriteMsg);
    sstWriteMsg->setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, kEmptyCell);
    auto rs = gdbWork.openRecordset(
        "SELECT fldBlockNo, fldWriteMode, fldComment FROM tblCardWrite "
        "WHERE (fldBlockNo BETWEEN 1 AND 9) OR fldBlockNo = 225 ORDER BY fldBlockNo");
    for (; !rs.eof(); rs.moveNext()) {
        const int block = rs["fldBlockNo"].toInt();
        if (block == kBlockMessageNames) {
            chkMessage->setChecked(rs["fldWriteMode"].toInt() != 0);
        } else {
            sstWriteMsg->setText(1, block, gfnsGetChannelStr(block, false));
            sstWriteMsg->setText(2, block, rs["fldComment"].toText());
        }
    }
    colourGrid(*sstWriteMsg, chkMessage->isChecked());
}

void frmCard::storeChoice(QCheckBox* box, std::initializer_list<int> blocks) {
    card::setWriteMode(blocks, box->isChecked() ? kWriteModeDocument : kWriteModeNone);
}

void frmCard::chkSchedule_Click() {
    const bool on = chkSchedule->isChecked();
    colourGrid(*sstWriteSchedule, on);
    cmdPattern->setEnabled(on);
    lblWScheduleUpdate->setEnabled(on);
    const runtime::DateTime today = runtime::today();
    lblWScheduleUpdate->setText(QString::fromStdString(on ? gfnsDateToStr(today.year, today.month, today.day)
                                                          : gfnsDateToStr(0, 0, 0)));
    storeChoice(chkSchedule, {kBlockSchedule, kBlockPatternNames});
}

void frmCard::chkMessage_Click() {
    colourGrid(*sstWriteMsg, chkMessage->isChecked());
    storeChoice(chkMessage, {kBlockMessageNames});
}

void frmCard::chkCardName_Click() {
    txtCardName[0]->setEnabled(chkCardName->isChecked());
    storeChoice(chkCardName, {kBlockCardName});
}

void frmCard::chkSetting_Click() {
    const bool on = chkSetting->isChecked();
    lblWSettingUpdate->setEnabled(on);
    const runtime::DateTime today = runtime::today();
    lblWSettingUpdate->setText(QString::fromStdString(on ? gfnsDateToStr(today.year, today.month, today.day)
                                                         : gfnsDateToStr(0, 0, 0)));
    storeChoice(chkSetting, {kBlockSetting});
}

void frmCard::txtCardName_LostFocus(int index) {
    QLineEdit* edit = txtCardName[static_cast<std::size_t>(index)];
    const std::string text = rtrim(gfnsLeftB(edit->text().toStdString(), 20));
    if (index == 0) {
        if (!gdbWork.isOpen()) return;
        auto rs = gdbWork.openRecordset("SELECT fldComment FROM tblCardWrite WHERE fldBlockNo = 224");
        if (rs.eof()) {
            gsbErrorMsg("指定指定ブロックがない（txtCardName_LostFocus）", true);
            return;
        }
        if (rs["fldComment"].toText() != text) {
            gdbWork.execute("UPDATE tblCardWrite SET fldComment = ?1 WHERE fldBlockNo = 224", {text});
            gfChanged = vbTrue;
        }
        edit->setText(QString::fromStdString(text));
        return;
    }
    if (edit->isHidden()) return;
    if (readingInfo_) return dropNameEdit(edit);  // the card is being read again
    edit->hide();
    lblCardName->show();
    if (text != edit->property("tag").toString().toStdString()) {
        msbEnableControls(false, false);
        const std::int32_t n = crd_->method(card::dispid::WriteCardName, {com::Variant::bstr(text)});
        if (n != card::kCardOk) msbShowCardError(n, "カード名書き込み中にエラーが発生しました。", true);
        msbEnableControls(true, true);
    }
    cmdBack->setFocus();
}
