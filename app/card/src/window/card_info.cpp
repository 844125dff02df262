// What is in the reader: the card status, its classification with the remedies offered,
// the card information, and the control's events.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "card/window.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/strings.h"
#include "forms/colour.h"
#include "forms/grid.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "twips.h"
#include "wizard/host.h"

namespace {

constexpr forms::Colour kRed = 255;
constexpr forms::Colour kEmptyCell = 0xE2E2E2;
const char* const kCrLf = "\r\n";

QString q(const std::string& s) { return QString::fromStdString(s); }

void setHeadline(QLabel* lbl, const std::string& text, forms::Colour colour, const std::string& tip) {
    lbl->setText(q(text));
    QPalette pal = lbl->palette();
    pal.setColor(QPalette::WindowText, forms::toQColor(colour));
    lbl->setPalette(pal);
    lbl->setProperty("foreColor", colour);
    lbl->setToolTip(q(tip));
    lbl->show();
}

std::string numbered(const std::string& text, std::int32_t n) { return text + "(" + std::to_string(n) + ")"; }

void clearGrid(forms::Grid& g) {
    g.setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, kEmptyCell);
    g.clearText(2, 1, forms::Grid::kAll, forms::Grid::kAll);
}

}  // namespace

void frmCard::msbReadCardInfo(bool fForce) {
    if (readingInfo_) return;
    readingInfo_ = true;
    crd_->setEnabled(false);
    setMainEnabled(false);
    setEnabled(false);
    forms::setScreenPointer(forms::vbHourglass);
    msbSetControlState(3);
    try {
        readCardInfoBody(fForce);
    } catch (...) {
        picLoadMessage->hide();
        setEnabled(true);
        setMainEnabled(true);
        forms::setScreenPointer(forms::vbDefault);
        crd_->setEnabled(true);
        readingInfo_ = false;
        gsbErrorMsg("", true);
        return;
    }
    setEnabled(true);
    setMainEnabled(true);
    forms::setScreenPointer(forms::vbDefault);
    crd_->setEnabled(true);
    if (!cmdNext->isHidden() && cmdNext->isEnabled()) {
        cmdNext->setFocus();
    } else if (cmdBack->isEnabled()) {
        cmdBack->setFocus();
    }
    readingInfo_ = false;
}

void frmCard::readCardInfoBody(bool& fForce) {
    std::int32_t status = 0;
    for (;;) {
        status = crd_->CardStatus();
        if (!fForce && lblCardStatus->text() == QString::number(status)) break;
        cmdStop_Click(1);  // not a click: the button is disabled while the file plays
        lblCardStatus->setText(QString::number(status));
        lblCardStatus->setToolTip(q(crd_->ErrorMessage(status)));
        namespace tw = card::twips;
        tw::setTop(picLoadMessage, (tw::height(fraCard) - tw::height(picLoadMessage)) / 2);
        picLoadMessage->raise();
        picLoadMessage->show();
        repaint();
        msbShowCardInfo();
        if (status == card::kCardOk) {
            fillCardInfo();
            break;
        }
        if (!classifyStatus(status)) break;
        fForce = false;
    }
    sstCardSchedule->show();
    sstCardMsg->show();
    // A swap being prepared shows the other channel's time as the card now holds it.
    if (optWriteMode[1]->isChecked()) cboMessage_Click();
    picLoadMessage->hide();
    msbSetControlState(status == card::kCardOk ? 0 : status == card::kNotFormatted ? 1 : 3);
}

// The headline of an unusable card and its remedy; true when a remedy ran.
bool frmCard::classifyStatus(std::int32_t n) {
    const auto red = [&](const std::string& headline, const std::string& tip) {
        setHeadline(lblCardError, headline, kRed, tip);
    };
    switch (n) {
    case 100: case 112: case 150: case 151:
        red("アダプタが認識できません", "カードアダプタの接続を確認してください。");
        return false;
    case 101: case 152:
        setHeadline(lblCardError, "カードなし", forms::vbButtonText, "カードを挿入してください。");
        return false;
    case 102: case 104:
        red("無効なカード", numbered("ＫＶ－Ｍ５８Ｓのカードではありません。", n));
        msbShowCardError(n, "ＫＶ－Ｍ５８Ｓのカードではありません。", true);
        return false;
    case 103:
        red("壊れたカード", "このカードは使用できません。");
        msbShowCardError(n, "カードが壊れています。このカードは使用できません。", true);
        return false;
    case 111:
        red("初期化されていません", "初期化してください。");
        return msbInitCard(std::string("初期化されていません。") + kCrLf + "今すぐ初期化しますか？" + kCrLf);
    case 601:
        red("無効なカード", numbered("カードのバージョンが違います。", n));
        msbShowCardError(n, "カードのバージョンが違います。", true);
        return false;
    case 602:
        red("壊れたカード", "管理用データが壊れています。このカードは使用できません。");
        msbShowCardError(n, "管理用データが壊れています。このカードは使用できません。", true);
        return false;
    case 604:
        red("壊れたカード", "登録データが壊れています、修復してください。");
        return msbRepairCard(std::string("登録データが壊れています。") + kCrLf + "今すぐ修復しますか？" + kCrLf +
                                 "※修復すると登録データが消えることがあります。",
                             n);
    case 605: case 606: case 607:
        red("壊れたカード", "スケジュールデータが壊れています、修復してください。");
        return msbRepairCard(std::string("スケジュールデータが壊れています。") + kCrLf + "今すぐ修復しますか？" +
                                 kCrLf + "※修復するとスケジュールデータが消えることがあります。",
                             n);
    case 610:
        red("壊れたカード", numbered("メッセージが壊れています、修復してください。", n));
        return msbRepairCard(numbered("メッセージが壊れています。", n) + kCrLf + "今すぐ修復しますか？" + kCrLf +
                                 "※修復するとメッセージの内容が消えることがあります。",
                             n);
    default:
        red("不明なエラー", numbered("不明なエラーです。", n));
        return false;
    }
}

void frmCard::fillCardInfo() {
    card::CardCtl& c = *crd_;
    const std::int32_t n = c.ReadCardInfo();
    if (n != card::kCardOk) {
        setHeadline(lblCardError, "カード情報読取エラー", kRed,
                    numbered("カード情報を読み込み中にエラーが発生しました。", n));
        msbShowCardError(n, "カード情報読み込み中にエラーが発生しました。", true);
        lblCardStatus->setText(QString::number(n));
        lblCardStatus->setToolTip(q(c.ErrorMessage(n)));
        return;
    }
    lblCardError->hide();
    using card::dispid::PatternSet;
    const auto anySet = [&](int from, int to) {
        bool set = false;
        for (int i = from; i <= to; ++i) set = c.indexedBool(PatternSet, i) || set;
        return set;
    };
    sstCardSchedule->setText(2, 1, gfnsYesNoStr(anySet(1, 7)));
    sstCardSchedule->setText(2, 2, gfnsYesNoStr(anySet(8, 8)));
    sstCardSchedule->setText(2, 3, gfnsYesNoStr(anySet(9, 20)));
    const auto date = [&](com::DispId id) {
        return q(gfnsDateToStr(c.indexedLong(id, 0), c.indexedLong(id, 1), c.indexedLong(id, 2)));
    };
    lblCScheduleUpdate->setText(date(card::dispid::UpDateSchedule));
    lblCSettingUpdate->setText(date(card::dispid::UpDateSetting));

    bool ansRec = false;
    for (int ch = 1; ch <= 12; ++ch) {
        sstCardMsg->setText(1, ch, gfnsGetChannelStr(ch, false));
        const std::string name = c.indexedString(card::dispid::MessageName, ch);
        if (!name.empty()) sstCardMsg->setText(2, ch, name);
        const std::int32_t t = c.MessageTime(ch);
        sstCardMsg->setText(3, ch, gfnsMsecToStr(t, false));
        sstCardMsg->setText(5, ch, std::to_string(t));
        if (ch <= 9) {
            const bool rec = c.indexedBool(card::dispid::MessageAnsRec, ch);
            sstCardMsg->setText(4, ch, gfnsAnsRecStr(rec));
            ansRec = ansRec || rec;
        } else {
            sstCardMsg->setText(4, ch, "－");
        }
    }
    using card::dispid::VersionProgram;
    const std::string program =
        gfnsVersionToStr(c.indexedLong(VersionProgram, 0), c.indexedLong(VersionProgram, 1), c.indexedLong(VersionProgram, 2));
    sstCardMsg->setText(2, 13, gfnsGetChannelStr(kChannelFirmware, true) + " Ver." + program);
    const std::int32_t t = c.MessageTime(kChannelFirmware);
    sstCardMsg->setText(3, 13, gfnsMsecToStr(t, false));
    sstCardMsg->setText(5, 13, std::to_string(t));
    sstCardMsg->setText(4, 13, "－");
    if (mintFormNo_ != 6 && ansRec) {
        sstCardMsg->setColHidden(4, false);
        sstCardMsg->setColWidth(4, 6);
    }
    sstCardFirmware->setText(2, 1, "Ver." + program);

    lblCardName->setText(q(c.getString(card::dispid::CardName)));
    const std::int32_t size = c.getLong(card::dispid::CardSize);
    lblCardTime->setText(q(gfnsMinuteStr(size)));
    lblCardTime->setProperty("tag", QString::number(size));
    lblCardRemain->setText(q(gfnsMsecToStr(c.getLong(card::dispid::CardRemain), false)));
    using card::dispid::VersionCard;
    std::string version = "本体Ver. " + gfnsVersionToStr(c.indexedLong(VersionCard, 0), c.indexedLong(VersionCard, 1),
                                                         c.indexedLong(VersionCard, 2));
    if (c.getBool(card::dispid::RecBoard)) version += " Rec";
    if (c.getBool(card::dispid::BusyCircuit)) version += " Busy";
    lblCardVersion->setText(q(version));
    using card::dispid::VersionPC;
    lblPCVersion->setText(q("DataVer. " + gfnsVersionToStr(c.indexedLong(VersionPC, 0), c.indexedLong(VersionPC, 1),
                                                           c.indexedLong(VersionPC, 2))));
}

void frmCard::msbShowCardInfo() {
    {
        forms::GridRefill refill(*sstCardSchedule);
        clearGrid(*sstCardSchedule);
    }
    {
        forms::GridRefill refill(*sstCardMsg);
        clearGrid(*sstCardMsg);
        sstCardMsg->clearText(1, 1, 1, forms::Grid::kAll);
        for (int ch = 10; ch <= 12; ++ch) sstCardMsg->setText(2, ch, gfnsGetChannelStr(ch, true));
        sstCardMsg->setText(2, 13, gfnsGetChannelStr(kChannelFirmware, true) + " Ver.-.--");
        for (int row = 10; row <= 13; ++row) sstCardMsg->setText(4, row, "－");
        for (int ch = 1; ch <= 12; ++ch) sstCardMsg->setText(1, ch, gfnsGetChannelStr(ch, false));
        sstCardMsg->setText(1, 13, gfnsGetChannelStr(kChannelFirmware, false));
        const bool log = gintLogMode != vbFalse;
        sstCardMsg->setColHidden(4, !log);
        sstCardMsg->setColHidden(5, !log);
    }
    {
        forms::GridRefill refill(*sstCardFirmware);
        clearGrid(*sstCardFirmware);
        sstCardFirmware->setText(2, 1, "Ver.-.--");
    }
    lblCardName->setText({});
    lblCardTime->setText(QString::fromUtf8("－－"));
    lblCardTime->setProperty("tag", "0");
    lblCardRemain->setText("--:--");
    lblCardVersion->setText(QString::fromUtf8("本体Ver. -.--"));
    lblPCVersion->setText("DataVer. -.--");
    lblCScheduleUpdate->setText(q(gfnsDateToStr(0, 0, 0)));
    lblCSettingUpdate->setText(q(gfnsDateToStr(0, 0, 0)));
    setHeadline(lblCardError, "カードなし", forms::vbButtonText, "カードを挿入してください。");
    dropNameEdit(txtCardName[1]);
    dropNameEdit(txtMsgName);
    forms::doEvents();
}

// An edit in progress ends and its typed name is dropped: it belongs to the card that was
// in the reader, not to whatever card is read next.
void frmCard::dropNameEdit(QLineEdit* edit) {
    edit->setProperty("tag", edit->text());
    edit->hide();
    if (edit == txtCardName[1]) lblCardName->show();
}

// ---------------------------------------------------------------------------------------
// Events

void frmCard::crdKVM58_StatusChange(std::int32_t lStatus) {
    (void)lStatus;
    msbReadCardInfo(false);
}

void frmCard::crdKVM58_ModeChange(std::int32_t lMode) {
    lblMode->setText(QString::fromUtf8("Mode：") + QString::number(lMode));
}

void frmCard::crdKVM58_PositionChange(std::int32_t lPosition, std::int32_t lTotalLength) {
    lblLength->setText(QString::number(lTotalLength));
    mlngWorkingLength_ = lTotalLength;
    const std::int32_t mode = crd_->ActionMode();
    if (mode != 0 && mode != 4 && mode != 5) msbWorkingProgress(lPosition, {});
    lblPosition->setText(QString::number(lPosition));
}

void frmCard::onEvent(com::DispId id, std::span<const com::Variant> args) noexcept {
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i].asI4() : 0; };
    try {
        switch (id) {
        case card::eventid::StatusChange: crdKVM58_StatusChange(arg(0)); break;
        case card::eventid::PositionChange: crdKVM58_PositionChange(arg(0), arg(1)); break;
        case card::eventid::ModeChange: crdKVM58_ModeChange(arg(0)); break;
        default: break;
        }
    } catch (const runtime::Error&) {
        // A cancel noticed inside an event stays pending in gfCancel: the running
        // operation meets it at its own next progress step.
    } catch (...) {
    }
}
