// Card copy: the card in the reader is read once into work files, then written to one
// target card after another until the user stops.
#include <QCheckBox>

#include <array>
#include <fstream>

#include "card/image.h"
#include "card/window.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/messages.h"
#include "core/strings.h"
#include "forms/msgbox.h"
#include "runtime/error.h"
#include "text/text.h"

namespace {

enum class Target { Done, Again, Finish };

std::string workFile(const std::string& name) { return gstrDataPath + name; }
std::string cardData() { return workFile("CardData.crd"); }
std::string waveFile(int ch) {
    return workFile((ch < 10 ? "Card0" : "Card") + std::to_string(ch) + "ch.wav");
}
std::string programFile() { return workFile("CardProgram.dat"); }

// "応答メッセージ３" for channels 1-9, the channel's name alone for the others.
std::string channelLabel(int ch) {
    std::string label = gfnsGetChannelStr(ch, true);
    if (ch >= 1 && ch <= 9) label += text::toWide(std::to_string(ch));
    return label;
}

// The copy's changes to the source image: what the targets get written, and a data version
// for images of cards that never had one.
void patchImage(const card::WriteModeRecord& record) {
    std::fstream f(cardData(), std::ios::in | std::ios::out | std::ios::binary);
    if (!f) runtime::raise(75);
    const auto put = [&](std::size_t at, const void* bytes, std::size_t n) {
        f.seekp(static_cast<std::streamoff>(at));
        f.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(n));
    };
    put(card::kWriteModeAt, record.data(), record.size());
    const bool settings = record[card::kRecordSettings] == 4;
    const std::uint8_t flag = settings ? 1 : 0;
    put(0x202C, &flag, 1);
    if (settings) {
        const std::uint8_t zero[2] = {0, 0};
        put(card::kSettingFlagsAt, zero, 2);
    }
    std::array<char, 3> version{};
    f.seekg(static_cast<std::streamoff>(card::kDataVersionAt));
    f.read(version.data(), 3);
    if (!f) runtime::raise(62);
    if (version[0] == 0 && version[1] == 0 && version[2] == 0) {
        const std::uint8_t stamp[3] = {1, 5, 0};
        put(card::kDataVersionAt, stamp, 3);
    }
    f.flush();
    if (!f) runtime::raise(75);
}

bool isUnusableForCopy(std::int32_t n) {
    return n == 102 || n == 103 || n == 104 || (n >= 601 && n <= 607) || n == 610;
}

}  // namespace

void frmCard::cmdCopy_Click() {
    msbEnableControls(false, false);
    if (forms::MsgBox("現在のカードを他のカードにコピーします。\r\nコピーには数分かかることがあります。\r\nよろしいですか？",
                      forms::vbYesNo | forms::vbQuestion) != forms::vbYes) {
        msbEnableControls(true, false);
        return;
    }
    copyCards();
    copyFinish();
}

void frmCard::copyCards() {
    const bool copyProgram = chkCopyProgram->isChecked() && gfServiceMode != vbFalse;
    const bool copySetting = chkCopySetting->isChecked();
    mlngWorkingBase_ = 0;
    try {
        const int steps = copyProgram && crd_->MessageTime(kChannelFirmware) > 0 ? 14 : 13;
        msbWorkingStart(steps * 2, "コピー元カードデータ読み込み中");
        long total = 0;
        if (copyReadSource(steps, copyProgram, copySetting, total)) copyToTargets(steps, copyProgram, total);
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, false);
        forms::MsgBox("カードのコピー中にエラーが発生しました。(" + std::to_string(e.number()) + ")", forms::vbCritical);
    }
}

bool frmCard::copyReadSource(int steps, bool copyProgram, bool copySetting, long& total) {
    card::CardCtl& c = *crd_;
    gsbDeleteFile(cardData());
    int step = 1;
    msbWorkingProgress(1, "スケジュールデータの読み込み中");
    std::int32_t n = c.ReadCardData(cardData());
    if (n != card::kCardOk) {
        msbShowCardError(n, "スケジュールデータの読み込み中にエラーが発生しました。", true);
        return false;
    }
    mlngWorkingBase_ = 100;
    msbWorkingProgress(0, {});
    total = 0;
    for (int ch = 1; ch <= 12; ++ch) {
        gsbDeleteFile(waveFile(ch));
        ++step;
        mlngWorkingLength_ = 0;
        msbWorkingProgress(0, channelLabel(ch) + "の読み込み中");
        if (c.MessageTime(ch) > 0) {
            total += c.MessageTime(ch);
            n = c.ReadMessage(ch, waveFile(ch));
            if (n != card::kCardOk) {
                msbShowCardError(n, channelLabel(ch) + "の読み込み中にエラーが発生しました。", true);
                return false;
            }
        }
        mlngWorkingBase_ = step * 100;
    }
    if (copyProgram) {
        gsbDeleteFile(programFile());
        ++step;
        msbWorkingProgress(-1, channelLabel(kChannelFirmware) + "の読み込み中");
        if (c.MessageTime(kChannelFirmware) >= 1) {
            total += c.MessageTime(kChannelFirmware);  // the targets must hold the firmware too
            n = c.ReadMessage(kChannelFirmware, programFile());
            if (n != card::kCardOk) {
                msbShowCardError(n, channelLabel(kChannelFirmware) + "の読み込み中にエラーが発生しました。", true);
                return false;
            }
        }
        mlngWorkingBase_ = step * 100;
    }
    const auto zeroDate = [&](com::DispId id) {
        return c.indexedLong(id, 0) == 0 && c.indexedLong(id, 1) == 0 && c.indexedLong(id, 2) == 0;
    };
    card::WriteModeRecord record{};
    record[card::kRecordSettings] = copySetting && !zeroDate(card::dispid::UpDateSetting) ? 4 : 2;
    record[card::kRecordSchedule] = zeroDate(card::dispid::UpDateSchedule) ? 2 : 4;
    record[card::kRecordCardName] = 4;
    record[card::kRecordMessageNames] = 6;
    record[card::kRecordPatternNames] = 4;
    patchImage(record);
    mlngWorkingBase_ = steps * 100;
    mlngWorkingLength_ = 0;
    msbWorkingProgress(0, "コピー元のカードデータの読み込み完了");
    return true;
}

bool frmCard::copyToTargets(int steps, bool copyProgram, long total) {
    for (;;) {
        if (forms::MsgBox("コピー先のカードを挿入してください。\r\nコピー先のデータはすべて置き換わります。",
                          forms::vbOKCancel | forms::vbInformation) != forms::vbOK)
            return true;
        const Target t = static_cast<Target>(copyOneTarget(steps, copyProgram, total));
        if (t == Target::Again) continue;
        if (t == Target::Finish) return false;
        if (forms::MsgBox("書き込みを終了しました。\r\n続けて別のカードに書き込みますか？",
                          forms::vbYesNo | forms::vbQuestion) != forms::vbYes)
            return true;
    }
}

int frmCard::copyOneTarget(int steps, bool copyProgram, long total) {
    card::CardCtl& c = *crd_;
    int step = steps;
    mlngWorkingBase_ = step * 100;
    mlngWorkingLength_ = 0;
    msbWorkingProgress(0, "コピー先カードのチェック中");
    bool formatted = false;
    for (;;) {
        msbWorkingProgress(-1, {});  // a confirmed Cancel ends the copy here
        std::int32_t n = c.GetCardError();
        if (n == card::kCardOk) break;
        if (n == card::kNoCard) return static_cast<int>(Target::Again);
        // A card that still reads as not initialised after a good format cannot be used.
        if (isUnusableForCopy(n) || (n == card::kNotFormatted && formatted)) {
            msbShowCardError(n, "このカードにはコピー出来ません。", false);
            return static_cast<int>(Target::Again);
        }
        if (n == card::kNotFormatted) {
            formatted = true;
            n = c.Format();
            if (n == card::kCardOk) continue;
            msbShowCardError(n, "このカードにはコピー出来ません。", false);
            return static_cast<int>(Target::Again);
        }
        msbShowCardError(n, "コピー中にエラーが発生しました。", true);
        return static_cast<int>(Target::Finish);
    }
    c.ReadCardInfo();
    if (c.getLong(card::dispid::CardTime) < total) {
        gfniMsgBox(121);
        return static_cast<int>(Target::Again);
    }
    msbWorkingProgress(0, "スケジュールデータの書き込み中");
    std::int32_t n = c.WriteCardData(cardData());
    if (n != card::kCardOk) {
        msbShowCardError(n, "スケジュールデータの書き込み中にエラーが発生しました。", true);
        return static_cast<int>(Target::Finish);
    }
    msbWorkingProgress(-1, "メッセージの消去中");
    for (int ch : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 24}) {
        n = c.WriteMessage(ch, {});
        if (n != card::kCardOk) {
            msbShowCardError(n, "メッセージの消去中にエラーが発生しました。", true);
            return static_cast<int>(Target::Finish);
        }
    }
    ++step;
    mlngWorkingBase_ = step * 100;
    for (int ch = 1; ch <= 12; ++ch) {
        ++step;
        mlngWorkingLength_ = 0;
        if (gfnfFileExists(waveFile(ch))) {
            msbWorkingProgress(0, channelLabel(ch) + "の書き込み中");
            n = c.WriteMessage(ch, waveFile(ch));
            if (n != card::kCardOk) {
                msbShowCardError(n, channelLabel(ch) + "の書き込み中にエラーが発生しました。", true);
                return static_cast<int>(Target::Finish);
            }
        }
        mlngWorkingBase_ = step * 100;
    }
    if (copyProgram) {
        const bool have = gfnfFileExists(programFile());
        msbWorkingProgress(-1, channelLabel(kChannelFirmware) + (have ? "の書き込み中" : "の消去中"));
        n = c.WriteMessage(kChannelFirmware, have ? programFile() : std::string());
        if (n != card::kCardOk) {
            msbShowCardError(n, text::toWide("24") + "ﾌｧｰﾑｳｪｱﾃﾞｰﾀ" + "の書き込み中にエラーが発生しました。", true);
            return static_cast<int>(Target::Finish);
        }
    }
    mlngWorkingBase_ = steps * 200;
    mlngWorkingLength_ = 0;
    msbWorkingProgress(0, "カードのコピー完了");
    return static_cast<int>(Target::Done);
}

void frmCard::copyFinish() {
    msbWorkingEnd({});
    gsbDeleteFile(cardData());
    for (int ch = 1; ch <= 12; ++ch) gsbDeleteFile(waveFile(ch));
    gsbDeleteFile(programFile());
    msbEnableControls(true, true);
}
