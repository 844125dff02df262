// The message page: the current channel, writing a file or swapping two channels, erasing,
// and the message and card names edited in place.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "card/wave_check.h"
#include "card/window.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/messages.h"
#include "core/strings.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "text/text.h"

namespace {

constexpr int kNameBytes = 20;
const char* const kFormatHint = "ファイル形式は「u-Law 8,000Hz 8ビット モノラル」のみ有効です。";

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& t) { return t.toStdString(); }

std::string rtrim(std::string v) {
    while (!v.empty() && v.back() == ' ') v.pop_back();
    return v;
}

// "応答メッセージ３" for channels 1-9, the channel's name for the others.
std::string displayName(int ch) {
    std::string name = gfnsGetChannelStr(ch, true);
    if (ch >= 1 && ch <= 9) name += text::toWide(std::to_string(ch));
    return name;
}

// A text cut to the card's 20 bytes, with a beep when it was longer.
bool cutToName(QLineEdit* edit) {
    const std::string t = s(edit->text());
    if (gfniLenB(t) <= kNameBytes) return false;
    forms::beep();
    const int caret = edit->cursorPosition();
    edit->setText(q(gfnsLeftB(t, kNameBytes)));
    edit->setCursorPosition(std::min(caret, static_cast<int>(edit->text().size())));
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The message file

std::int32_t frmCard::mfnlCheckWaveFile(const std::string& sFileName) {
    card::WaveData data{mlngWaveStart_, mlngWaveLength_};
    const std::int32_t n = card::checkWaveFile(sFileName, data);
    mlngWaveStart_ = data.start;
    mlngWaveLength_ = data.length;
    return n;
}

void frmCard::cmdOpenFile_Click() {
    const std::string previous = s(optWriteMode[3]->property("tag").toString());
    crd_->setEnabled(false);
    forms::FileDialogRequest request;
    request.kind = forms::FileDialogRequest::Open;
    request.title = "書き込みファイルの選択";
    request.filter = "ｻｳﾝﾄﾞﾌｧｲﾙ(*.wav)|*.wav";
    request.initDir = gfnsGetFolder(previous, true);
    const auto path = forms::ShowOpen(request);
    if (!path) {
        crd_->setEnabled(true);
        return;
    }
    optWriteMode[3]->setProperty("tag", q(*path));
    lblFileHint->setText(QString::fromUtf8("※ファイル形式は「u-Law 8,000Hz 8ビット モノラル」のみ有効です。"));
    const std::int32_t n = mfnlCheckWaveFile(*path);
    std::int32_t t = n > 0 ? crd_->method(card::dispid::ByteToTime, {com::Variant::i4(n)}) : 0;
    if (n > 0 && t > 0) {
        lblMsgData->setText(q(gfnsLeftB(gfnsGetFileName(*path), 40)));
        lblMsgData->setToolTip(q(*path));
        lblMsgData->setProperty("tag", q(*path));
        cmdPlay[1]->setEnabled(true);
        cmdStop[1]->setEnabled(true);
    } else {
        const bool wrongFormat = n == 0 || (n > 0 && t == 0);
        // A good file whose time the control cannot give has no card to be timed against;
        // blaming its format would send the user looking for a fault in the file.
        const bool noCard = n > 0 && t < 0;
        forms::MsgBox("'" + *path + "'\r\n" +
                          (noCard        ? std::string("カードがささっていません。\r\nカードを挿入してください。")
                           : wrongFormat ? "はファイル形式が違うので書き込みできません。\r\n" + std::string(kFormatHint)
                                         : "からファイル形式を取得できませんでした。\r\n" + std::string(kFormatHint)),
                      forms::vbCritical);
        lblMsgData->setText(QString::fromUtf8("ファイルを選択してください。"));
        lblMsgData->setToolTip({});
        lblMsgData->setProperty("tag", QString());
        cmdPlay[1]->setEnabled(false);
        cmdStop[1]->setEnabled(false);
        t = 0;
    }
    lblMsgTime->setText(q(gfnsMsecToStr(t, false)));
    lblMsgTime->setProperty("tag", t);
    crd_->setEnabled(true);
}

// ---------------------------------------------------------------------------------------
// Channel, tabs and write mode

int frmCard::currentChannel() const { return lblCh->text().toInt(); }

void frmCard::selectChannel(int ch) {
    lblCh->setText(QString::number(ch));
    lblCh_Change();
}

void frmCard::lblCh_Change() {
    const int ch = currentChannel();
    if (ch >= 13 || ch < 1) {
        forms::beep();
        lblCh->setText("1");
        lblCh_Change();
        return;
    }
    sstCardMsg->setActiveCell(1, ch);
    sstCardMsg->setSelection({forms::Grid::kAll, ch, forms::Grid::kAll, ch});
    optWriteMode[1]->setEnabled(ch < 10);
    txtMsgName->setText(q(sstCardMsg->text(2, ch)));
    optWriteMode_Click(3);
    optErease[0]->setChecked(true);
}

void frmCard::tabMessage_Click() {
    switch (tabMessage->currentIndex()) {
    case 0:
        optWriteMode_Click(3);
        optWriteMode[3]->setFocus();
        break;
    case 1:
        optErease[0]->setChecked(true);
        txtMsgName->setFocus();
        break;
    case 2: cmdFolder[0]->setFocus(); break;
    case 3: cmdFolder[1]->setFocus(); break;
    default: break;
    }
}

void frmCard::optWriteMode_Click(int index) {
    optWriteMode[static_cast<std::size_t>(index)]->setChecked(true);
    lblWriteMode->setText(QString::number(index));
    msbWriteModeLayout(index);
}

void frmCard::msbWriteModeLayout(int mode) {
    lblMsgData->setText({});
    lblMsgData->setToolTip({});
    lblMsgData->setProperty("tag", QString());
    lblMsgData->show();
    lblMsgTime->setText(" 0:00");
    for (QWidget* w : std::initializer_list<QWidget*>{cboMessage, cmdOpenFile, lblReplace, lblFileHint}) w->hide();
    cmdOpenFile->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdPlay[1], cmdStop[1]}) {
        w->hide();
        w->setEnabled(false);
    }
    const int ch = currentChannel();
    if (mode == 0) {
        lblMsgTime->setText("--:--");
    } else if (mode == 1) {
        if (ch > 9) {
            forms::MsgBox("メッセージは書き込みできません。", forms::vbCritical);
            optWriteMode_Click(3);
            return;
        }
        cboMessage->clear();
        for (int other = 1; other <= 9; ++other)
            if (other != ch) cboMessage->addItem(QString::fromUtf8("ﾒｯｾｰｼﾞ") + q(gfnsGetChannelStr(other, false)));
        cboMessage->setCurrentIndex(0);
        cboMessage->show();
        lblReplace->show();
        lblMsgData->hide();
        lblMsgPlay->hide();
        lblMsgLength->hide();
    } else if (mode == 3) {
        lblMsgData->setText(QString::fromUtf8("ファイルを選択してください。"));
        lblMsgTime->setText(q(gfnsMsecToStr(0, false)));
        lblMsgTime->setProperty("tag", 0);
        cmdOpenFile->setEnabled(true);
        cmdOpenFile->show();
        lblFileHint->show();
        cmdPlay[1]->show();
        cmdStop[1]->show();
        if (gintLogMode != vbFalse) {
            lblMsgPlay->show();
            lblMsgLength->show();
        }
    }
}

void frmCard::cboMessage_Click() {
    const QString entry = cboMessage->currentText();
    if (entry.isEmpty()) return;
    const int other = entry.right(1).toInt();
    lblMsgTime->setText(q(gfnsMsecToStr(std::stoi("0" + sstCardMsg->text(5, other)), false)));
    lblMsgData->setText(QString::number(other));
    lblMsgData->setProperty("tag", QString::number(other));
}

// ---------------------------------------------------------------------------------------
// Write, replace, erase

void frmCard::cmdDo_Click() {
    msbEnableControls(false, false);
    const int ch = currentChannel();
    const int mode = lblWriteMode->text().toInt();
    if (mode == 1 && lblMsgData->property("tag").toString().isEmpty()) cboMessage_Click();
    const std::string source = s(lblMsgData->property("tag").toString());
    card::CardCtl& c = *crd_;
    const auto refuse = [&](int message) {
        gfniMsgBox(message);
        msbEnableControls(true, false);
    };
    if (source.empty() && (mode == 1 || mode == 3)) return refuse(mode == 1 ? 108 : 109);
    const int other = mode == 1 ? std::stoi(source) : 0;
    if (mode == 1 && c.indexedString(card::dispid::MessageName, other).empty() &&
        c.indexedString(card::dispid::MessageName, ch).empty() && c.MessageTime(ch) == 0 && c.MessageTime(other) == 0)
        return refuse(110);
    if (mode == 3) {
        const std::int32_t need = lblMsgTime->property("tag").toInt() - c.MessageTime(ch);
        if (c.getLong(card::dispid::CardRemain) < need) return refuse(121);
    }
    std::string operation;
    std::int32_t result = 0;
    try {
        mlngWorkingBase_ = 0;
        if (mode == 1) {
            operation = "メッセージの入れ替え";
            msbWorkingStart(1, operation + "中");
            result = c.method(card::dispid::ReplaceMessage, {com::Variant::i2(static_cast<std::int16_t>(ch)),
                                                             com::Variant::i2(static_cast<std::int16_t>(other))});
        } else if (mode == 3) {
            operation = "メッセージの書き込み";
            msbWorkingStart(1, operation + "中");
            result = c.WriteMessage(ch, source);
        }
        if (result != card::kCardOk) {
            msbShowCardError(result, operation + "中にエラーが発生しました。", true);
        } else if (!operation.empty()) {
            msbWorkingEnd(operation + "が終了しました。");
        }
    } catch (const runtime::Error& e) {
        unloadWorking();
        gsbErrorMsg(e, false);
        forms::MsgBox(operation + "中にエラーが発生しました。(" + std::to_string(e.number()) + ")", forms::vbCritical);
    }
    msbEnableControls(true, true);
    if (mode == 1) cboMessage_Click();
    if (mode == 1 || mode == 3) optWriteMode[static_cast<std::size_t>(mode)]->setFocus();
}

void frmCard::cmdErease_Click() {
    card::CardCtl& c = *crd_;
    const auto recorded = [&](int ch) {
        return c.MessageTime(ch) >= 1 || !c.indexedString(card::dispid::MessageName, ch).empty();
    };
    const auto eraseChannel = [&](int ch) {
        std::int32_t r = card::kCardOk;
        if (c.MessageTime(ch) >= 1) r = c.WriteMessage(ch, {});
        if (r == card::kCardOk)
            r = c.method(card::dispid::WriteMsgName,
                         {com::Variant::i2(static_cast<std::int16_t>(ch)), com::Variant::bstr({})});
        return r;
    };
    std::string subject = "メッセージ";
    try {
        if (optErease[0]->isChecked()) {
            const int ch = currentChannel();
            if (!recorded(ch)) {
                forms::beep();
                return;
            }
            msbEnableControls(false, false);
            mlngWorkingBase_ = 0;
            msbWorkingStart(1, "メッセージの消去中");
            const std::int32_t r = eraseChannel(ch);
            if (r == card::kCardOk) {
                msbWorkingEnd("メッセージの消去が終了しました。");
            } else {
                msbShowCardError(r, "メッセージの消去中にエラーが発生しました。", true);
            }
        } else {
            int count = 0;
            for (int ch = 1; ch <= 12; ++ch) count += recorded(ch) ? 1 : 0;
            if (count == 0) {
                forms::beep();
                return;
            }
            msbEnableControls(false, false);
            if (forms::MsgBox("すべてのメッセージを消去してもよろしいですか？", forms::vbYesNo | forms::vbQuestion) !=
                forms::vbYes) {
                msbEnableControls(true, false);
                return;
            }
            mlngWorkingBase_ = 0;
            msbWorkingStart(count, "メッセージの消去中");
            std::int32_t r = card::kCardOk;
            int erased = 0;
            for (int ch = 1; ch <= 12 && r == card::kCardOk; ++ch) {
                if (!recorded(ch)) continue;
                subject = displayName(ch);
                msbWorkingProgress(0, subject + "の消去中");
                r = eraseChannel(ch);
                if (r == card::kCardOk) mlngWorkingBase_ = 100 * ++erased;
            }
            if (r == card::kCardOk) {
                msbWorkingEnd("メッセージの消去が終了しました。");
            } else {
                msbShowCardError(r, subject + "の消去中にエラーが発生しました。", true);
            }
        }
    } catch (const runtime::Error& e) {
        unloadWorking();
        gsbErrorMsg(e, false);
        forms::MsgBox(subject + "の消去中にエラーが発生しました。(" + std::to_string(e.number()) + ")", forms::vbCritical);
    }
    msbEnableControls(true, true);
    tabMessage->setFocus();
}

// ---------------------------------------------------------------------------------------
// Names edited in place

void frmCard::sstCardMsg_DblClick(int col, int row) {
    if (mintFormNo_ != 8 || row < 1 || row > 12 || col > 2) return;
    selectChannel(row);
    const QRect cell = sstCardMsg->cellRect(2, row);
    const int t = forms::twipsPerPixelX();
    txtMsgName->setGeometry(cell.x() / t, cell.y() / t, cell.width() / t, cell.height() / t);
    txtMsgName->setText(q(sstCardMsg->text(2, row)));
    txtMsgName->setProperty("tag", txtMsgName->text());
    txtMsgName->raise();
    txtMsgName->show();
    txtMsgName->setFocus();
    txtMsgName->selectAll();
}

void frmCard::txtMsgName_Change() { cutToName(txtMsgName); }

void frmCard::txtCardName_Change(int index) { cutToName(txtCardName[static_cast<std::size_t>(index)]); }

void frmCard::txtMsgName_LostFocus() {
    if (txtMsgName->isHidden()) return;
    // The focus left because the card is being read again: the edit ends with the display.
    if (readingInfo_) return dropNameEdit(txtMsgName);
    txtMsgName->hide();
    const std::string name = rtrim(s(txtMsgName->text()));
    const int ch = currentChannel();
    if (name != s(txtMsgName->property("tag").toString())) {
        msbEnableControls(false, false);
        const std::int32_t n = crd_->method(card::dispid::WriteMsgName,
                                            {com::Variant::i2(static_cast<std::int16_t>(ch)), com::Variant::bstr(name)});
        if (n != card::kCardOk) msbShowCardError(n, "メッセージ名書き込み中にエラーが発生しました。", true);
        msbEnableControls(true, true);
    }
    cmdBack->setFocus();
}
