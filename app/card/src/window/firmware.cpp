// The firmware box: a firmware S-record file for this model written into channel 24 of
// the card, or channel 24 erased.
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>

#include "card/window.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/strings.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "window_hooks.h"

namespace {

constexpr long kCancelError = 32755;
const char* const kFirmwareFile = "KV-M58S.HEX";
const char* const kSubject = "ファームウェアデータ";
const char* const kInsertDisc = "RDX-700のCD-ROMをドライブに挿入してください。";

std::function<std::vector<std::string>()>& driveRoots() {
    static std::function<std::vector<std::string>()> f;
    return f;
}

// The mount points of the system, in the order it lists them.
std::vector<std::string> mountPoints() {
    if (driveRoots()) return driveRoots()();
    std::vector<std::string> out;
    std::ifstream mounts("/proc/mounts");
    std::string device, point, rest;
    while (mounts >> device >> point && std::getline(mounts, rest)) out.push_back(point);
    return out;
}

// The ASCII word of n hex pairs from `at` (0-based); "" when the line is too short.
std::string hexWord(const std::string& line, std::size_t at, int pairs) {
    std::string word;
    for (int i = 0; i < pairs; ++i) {
        if (at + 2 * static_cast<std::size_t>(i) + 2 > line.size()) return {};
        word += static_cast<char>(std::stoi(line.substr(at + 2 * static_cast<std::size_t>(i), 2), nullptr, 16));
    }
    return word;
}

bool addressIs(const std::string& line, const char* address) {
    return line.size() >= 10 && line.compare(5, 5, address) == 0;
}

std::string fileTime(const std::string& path) {
    const auto t = std::filesystem::last_write_time(path);
    const auto sys = std::chrono::file_clock::to_sys(t);
    const std::time_t tt = std::chrono::system_clock::to_time_t(sys);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S ", &tm);
    return buf;
}

}  // namespace

namespace card {
void setDriveRootsForTesting(std::function<std::vector<std::string>()> roots) { driveRoots() = std::move(roots); }
}  // namespace card

bool frmCard::mfnfCheckHexFile(const std::string& path, std::array<int, 3>& version) {
    std::ifstream in(path);
    if (!in) runtime::raiseWith(53, path);
    std::string line;
    const auto next = [&] {
        if (!std::getline(in, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };
    if (!next()) return false;
    if (line.empty() || line[0] != 'S') return false;
    bool found = addressIs(line, "10000");
    while (!found && next()) found = addressIs(line, "10000");
    if (!found) return false;
    try {
        for (std::size_t i = 0; i < 3; ++i) version[i] = std::stoi(line.substr(10 + 2 * i, 2), nullptr, 16);
        if (hexWord(line, 16, 7) != "Veltron") {
            version = {0, 0, 0};
            return false;
        }
        while (next()) {
            if (!addressIs(line, "1FF00")) continue;
            if (hexWord(line, 10, 7) != "KV-M58S") {
                version = {0, 0, 0};
                return false;
            }
            return true;
        }
    } catch (const std::exception&) {
        version = {0, 0, 0};  // pairs that are not hexadecimal
    }
    return false;
}

std::string frmCard::msbFindFirmwareFile() {
    for (const std::string& root : mountPoints()) {
        for (const char* relative : {"Firmware/KV-M58S.HEX", "firmware/kv-m58s.hex", "FIRMWARE/KV-M58S.HEX"}) {
            const std::string candidate = gfnsAddBackslash(root) + relative;
            if (gfnfFileExists(candidate)) return candidate;
        }
    }
    return {};
}

void frmCard::cmdWriteProgram_Click() {
    msbEnableControls(false, false);
    card::CardCtl& c = *crd_;
    try {
        const std::int32_t need = c.method(card::dispid::ByteToTime, {com::Variant::i4(65536)});
        if (c.getLong(card::dispid::CardRemain) + c.MessageTime(kChannelFirmware) < need) {
            forms::MsgBox(std::string("録音残時間が足りません。\r\n") + kSubject + "を書き込むには録音残時間が " +
                              gfnsMsecToStr(need, false) + " 必要です。",
                          forms::vbCritical);
            msbEnableControls(true, true);
            return;
        }
        std::string path;
        forms::FileDialogRequest request;
        request.kind = forms::FileDialogRequest::Open;
        request.initDir = gstrDataPath;
        if (mintFormNo_ == 20) {
            forms::MsgBox(kInsertDisc, forms::vbInformation);
            for (int retries = 0;; ++retries) {
                path = msbFindFirmwareFile();
                if (!path.empty()) break;
                if (retries >= 5) {
                    request.filter = std::string("KV-M58Sﾌｧｰﾑｳｪｱ ﾌｧｲﾙ(") + kFirmwareFile + ")|" + kFirmwareFile;
                    request.fileName = kFirmwareFile;
                    const auto chosen = forms::ShowOpen(request);
                    if (!chosen) runtime::raise(kCancelError);
                    path = *chosen;
                    break;
                }
                if (forms::MsgBox(std::string("ファームウェアファイル '") + kFirmwareFile + "' が見つかりません。\r\n" +
                                      kInsertDisc,
                                  forms::vbRetryCancel | forms::vbInformation) != forms::vbRetry) {
                    msbEnableControls(true, true);
                    return;
                }
                repaint();
            }
        } else {
            request.filter = "KV-M58Sﾌｧｰﾑｳｪｱ ﾌｧｲﾙ(*.hex)|*.hex";
            const auto chosen = forms::ShowOpen(request);
            if (!chosen) runtime::raise(kCancelError);
            path = *chosen;
        }
        std::array<int, 3> version{};
        if (!mfnfCheckHexFile(path, version)) {
            forms::MsgBox(path + "\r\nはファイル形式が違います。", forms::vbCritical);
            msbEnableControls(true, true);
            return;
        }
        if (forms::MsgBox(path + "\r\nは 更新日時：" + fileTime(path) + "Ver." +
                              gfnsVersionToStr(version[0], version[1], version[2]) + " です。\r\n書き込みますか？",
                          forms::vbYesNo | forms::vbQuestion) != forms::vbYes) {
            msbEnableControls(true, true);
            return;
        }
        mlngWorkingBase_ = 0;
        msbWorkingStart(1, std::string(kSubject) + "の書き込み中");
        const std::int32_t n = c.WriteMessage(kChannelFirmware, path);
        if (n != card::kCardOk) {
            msbShowCardError(n, std::string(kSubject) + "の書き込み中にエラーが発生しました。", true);
        } else {
            msbWorkingEnd(std::string(kSubject) + "の書き込みが終了しました。");
        }
        msbEnableControls(true, true);
    } catch (const runtime::Error& e) {
        unloadWorking();
        if (e.number() == kCancelError) {
            msbEnableControls(true, false);
            return;
        }
        gsbErrorMsg(e, false);
        forms::MsgBox(std::string(kSubject) + "の書き込み中にエラーが発生しました。(" + std::to_string(e.number()) + ")",
                      forms::vbCritical);
        msbEnableControls(true, true);
    }
}

void frmCard::cmdEraseProgram_Click() {
    const std::string subject = gfnsGetChannelStr(kChannelFirmware, true);
    if (crd_->MessageTime(kChannelFirmware) == 0) {
        forms::beep();
        return;
    }
    msbEnableControls(false, false);
    if (forms::MsgBox(subject + "を消去しますか？\r\n", forms::vbYesNo | forms::vbQuestion) == forms::vbYes) {
        mlngWorkingBase_ = 0;
        msbWorkingStart(1, subject + "の消去中");
        const std::int32_t n = crd_->WriteMessage(kChannelFirmware, {});
        if (n != card::kCardOk) {
            msbShowCardError(n, subject + "の消去中にエラーが発生しました。", true);
        } else {
            msbWorkingEnd(subject + "の消去が終了しました。");
        }
    }
    msbEnableControls(true, true);
}
