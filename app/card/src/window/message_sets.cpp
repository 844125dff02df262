// Tabs 2 and 3 of the message page: every message of the card, with the names, saved to a
// folder, and such a folder put back onto a card.
#include <QLabel>
#include <QPushButton>


#include "card/message_set.h"
#include "card/wave_check.h"
#include "card/window.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/messages.h"
#include "core/strings.h"
#include "forms/msgbox.h"
#include "runtime/error.h"
#include "text/text.h"
#include "window_hooks.h"
#include "wizard/folder_chooser.h"

namespace {

std::string displayName(int ch) {
    std::string name = gfnsGetChannelStr(ch, true);
    if (ch >= 1 && ch <= 9) name += text::toWide(std::to_string(ch));
    return name;
}

}  // namespace

std::string frmCard::chosenFolder(int index) const {
    return lblFolder[static_cast<std::size_t>(index)]->toolTip().toStdString();
}

void frmCard::cmdFolder_Click(int index) {
    QLabel* label = lblFolder[static_cast<std::size_t>(index)];
    crd_->setEnabled(false);
    std::string folder;
    try {
        // The chooser checks the files it sums up with an offset of its own: the window's
        // offset belongs to the file chosen for playing.
        frmGetFolder::MessageLength length;
        length.checkWaveFile = [](const std::string& file) {
            card::WaveData own;
            return card::checkWaveFile(file, own);
        };
        length.byteToTime = [this](std::int32_t bytes) {
            return crd_->method(card::dispid::ByteToTime, {com::Variant::i4(bytes)});
        };
        folder = card::hooks::chooseFolder(chosenFolder(index), crd_->getString(card::dispid::CardName), index,
                                           std::move(length));
    } catch (const runtime::Error& e) {
        crd_->setEnabled(true);
        label->setText(label->property("tag").toString());
        label->setToolTip({});
        if (e.number() != 32755) gsbErrorMsg(e, true);
        return;
    }
    crd_->setEnabled(true);
    if (folder.empty()) return;
    label->setText(QString::fromStdString(gfnsLeftB(folder, 45)));
    label->setToolTip(QString::fromStdString(folder));
}

void frmCard::cmdSave_Click() {
    msbEnableControls(false, false);
    const std::string folder = chosenFolder(0);
    std::string step = "メッセージの保存";
    try {
        if (folder.empty()) {
            gfniMsgBox(113);
        } else if (!gfnfFolderExists(folder)) {
            gfniMsgBox(114);
        } else {
            saveMessages(folder, step);
        }
    } catch (const runtime::Error& e) {
        unloadWorking();
        if (e.number() == 61) {
            forms::MsgBox(step + "にエラーが発生しました。\r\nﾃﾞｨｽｸの空き容量が不足しています。", forms::vbCritical);
        } else {
            gsbErrorMsg(e, false);
            forms::MsgBox(step + "にエラーが発生しました。(" + std::to_string(e.number()) + ")", forms::vbCritical);
        }
    }
    msbEnableControls(true, false);
    cmdFolder[0]->setFocus();
}

bool frmCard::saveMessages(const std::string& folder, std::string& step) {
    card::CardCtl& c = *crd_;
    bool exists = gfnfFileExists(card::nameListPath(folder));
    int recorded = 0;
    for (int ch = 1; ch <= 12; ++ch) {
        exists = exists || gfnfFileExists(card::messageWavePath(folder, ch));
        if (c.MessageTime(ch) > 0) ++recorded;
    }
    if (recorded == 0) {
        gfniMsgBox(110);
        return false;
    }
    if (exists && forms::MsgBox("'" + folder + "'\r\nにはすでにファイルが存在します。\r\n上書きしますか？\r\n"
                                "※上書きすると、録音されていないメッセージ番号のファイルは削除されます。",
                                forms::vbYesNo | forms::vbQuestion) != forms::vbYes)
        return false;
    msbWorkingStart(recorded + 2, "メッセージの保存中");
    mlngWorkingBase_ = 0;
    mlngWorkingLength_ = 0;
    for (int ch = 1; ch <= 12; ++ch) {
        const std::string wave = card::messageWavePath(folder, ch);
        if (!gfnfFileExists(wave)) continue;
        step = displayName(ch) + "のファイル削除";
        msbWorkingProgress(0, step + "中");
        gsbDeleteFile(wave);
    }
    mlngWorkingBase_ = 100;
    step = "メッセージ情報の保存";
    msbWorkingProgress(0, step + "中");
    gsbDeleteFile(card::nameListPath(folder));
    card::NameList list;
    list.cardName = c.getString(card::dispid::CardName);
    for (int ch = 1; ch <= 12; ++ch)
        list.names[static_cast<std::size_t>(ch - 1)] = c.indexedString(card::dispid::MessageName, ch);
    if (!card::writeNameList(card::nameListPath(folder), list)) runtime::raise(61);
    mlngWorkingBase_ = 200;
    int done = 2;
    std::int32_t result = card::kCardOk;
    for (int ch = 1; ch <= 12 && result == card::kCardOk; ++ch) {
        if (c.MessageTime(ch) <= 0) continue;
        step = displayName(ch) + "の保存";
        mlngWorkingLength_ = 0;
        msbWorkingProgress(0, step + "中");
        const std::string wave = card::messageWavePath(folder, ch);
        result = c.ReadMessage(ch, wave);
        if (result != card::kCardOk) {
            gsbDeleteFile(wave);
        } else {
            mlngWorkingBase_ = 100 * ++done;
        }
    }
    if (result == card::kCardOk) {
        msbWorkingEnd("メッセージの保存が終了しました。");
        return true;
    }
    if (result == 303) {
        forms::MsgBox(step + "中にエラーが発生しました。\r\nﾃﾞｨｽｸの空き容量が不足しているか、読み取り専用です。",
                      forms::vbCritical);
        unloadWorking();
    } else {
        msbShowCardError(result, step + "中にエラーが発生しました。", true);
    }
    return false;
}

void frmCard::cmdRestore_Click() {
    msbEnableControls(false, false);
    const std::string folder = chosenFolder(1);
    if (folder.empty()) {
        gfniMsgBox(122);
    } else if (!gfnfFolderExists(folder)) {
        gfniMsgBox(114);
    } else {
        restoreMessages(folder);
    }
    msbEnableControls(true, true);
    cmdFolder[1]->setFocus();
}

void frmCard::restoreMessages(const std::string& folder) {
    card::CardCtl& c = *crd_;
    std::int64_t need = 0;  // summed wide: a set's lengths must not wrap past the capacity check
    int steps = 0;
    bool found = false;
    for (int ch = 1; ch <= 12; ++ch) {
        const std::int32_t n = mfnlCheckWaveFile(card::messageWavePath(folder, ch));
        if (n >= 1) {
            need += c.method(card::dispid::ByteToTime, {com::Variant::i4(n)});
            ++steps;
            found = true;
        }
        if (c.MessageTime(ch) > 0) ++steps;
    }
    const bool haveList = gfnfFileExists(card::nameListPath(folder));
    if (haveList) ++steps;
    if (!found) {
        forms::MsgBox("'" + folder + "'\r\nに復元するファイルが見つかりませんでした。", forms::vbCritical);
        return;
    }
    const std::int64_t available =
        static_cast<std::int64_t>(c.getLong(card::dispid::CardTime)) - c.MessageTime(kChannelFirmware);
    if (available < need) {
        forms::MsgBox("カードの容量が足りません。\r\nカードの容量は " + wizard::setLengthText(need) + " 以上必要です。",
                      forms::vbCritical);
        return;
    }
    if (forms::MsgBox("復元するとカード内のメッセージがすべて置き換わります。\r\n復元しますか？",
                      forms::vbYesNo | forms::vbQuestion) != forms::vbYes)
        return;
    std::string subject = "カード名";
    try {
        msbWorkingStart(steps + 1, "カードの復元中");
        steps = 0;
        mlngWorkingBase_ = 0;
        std::int32_t r = card::kCardOk;
        card::NameList list;
        const auto fail = [&](std::int32_t n) {
            msbShowCardError(n, subject + "の復元中にエラーが発生しました。", true);
        };
        const auto writeName = [&](int ch, const std::string& name) {
            return c.method(card::dispid::WriteMsgName,
                            {com::Variant::i2(static_cast<std::int16_t>(ch)), com::Variant::bstr(name)});
        };
        if (haveList) {
            steps = 1;
            mlngWorkingBase_ = 100;
            msbWorkingProgress(0, "カード名の復元中");
            list = card::readNameList(card::nameListPath(folder));
            r = c.method(card::dispid::WriteCardName, {com::Variant::bstr(list.cardName)});
            if (r != card::kCardOk) return fail(r);
        }
        for (int ch = 1; ch <= 12; ++ch) {
            subject = displayName(ch);
            mlngWorkingLength_ = 0;
            msbWorkingProgress(0, subject + "の消去中");
            if (c.MessageTime(ch) >= 1) {
                ++steps;
                if ((r = c.WriteMessage(ch, {})) != card::kCardOk) return fail(r);
                mlngWorkingBase_ = 100 * steps;
            }
            if (!c.indexedString(card::dispid::MessageName, ch).empty() &&
                (r = writeName(ch, {})) != card::kCardOk)
                return fail(r);
        }
        mlngWorkingBase_ = 100 * ++steps;
        for (int ch = 1; ch <= 12; ++ch) {
            subject = displayName(ch);
            mlngWorkingLength_ = 0;
            msbWorkingProgress(0, subject + "の復元中");
            const std::string wave = card::messageWavePath(folder, ch);
            if (gfnfFileExists(wave) && mfnlCheckWaveFile(wave) > 0) {
                ++steps;
                if ((r = c.WriteMessage(ch, wave)) != card::kCardOk) return fail(r);
                mlngWorkingBase_ = 100 * steps;
            }
            const std::string& name = list.names[static_cast<std::size_t>(ch - 1)];
            if (!name.empty() && (r = writeName(ch, name)) != card::kCardOk) return fail(r);
        }
        msbWorkingEnd("メッセージの復元が終了しました。");
    } catch (const runtime::Error& e) {
        unloadWorking();
        gsbErrorMsg(e, false);
        forms::MsgBox(subject + "の復元中にエラーが発生しました。(" + std::to_string(e.number()) + ")",
                      forms::vbCritical);
    }
}
