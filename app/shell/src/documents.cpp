// The document operations of the main window: its name, a new document from Master.dat,
// opening a kvp file, saving, the save prompt and the restore offer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include <QLabel>

#include "core/database.h"
#include "core/errors.h"
#include "core/file_header.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/strings.h"
#include "core/upkeep.h"
#include "dao/database.h"
#include "dao/files.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "shell/main_window.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNameNew = "新規";
constexpr std::string_view kNameRestored = "復元されたファイル";
constexpr std::string_view kNameCard = "カードデータ";
constexpr const char* kFilter = "KV-M58Sﾌｧｲﾙ(*.kvp)|*.kvp";

std::string dataFile(std::string_view name) { return gstrDataPath + std::string(name); }

// The run-time error of a failed file call, by its cause.
[[noreturn]] void raiseFileError(int error) {
    switch (error) {
    case ENOENT: runtime::raise(runtime::err::PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS: runtime::raise(runtime::err::PermissionDenied);
    case ENOSPC: runtime::raise(61);
    default: runtime::raise(runtime::err::PathFileAccess);
    }
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) runtime::raise(runtime::err::DeviceIo);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) runtime::raise(runtime::err::DeviceIo);
    return bytes;
}

void writeAll(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) raiseFileError(errno);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) runtime::raise(runtime::err::PathFileAccess);
}

void syncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) raiseFileError(errno);
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0) raiseFileError(error);
}

// A scratch name beside the target, with the target's extension, so that the file code
// stamped on it is the target's.
// The mode a saved document takes: that of the file it replaces, so a save keeps who may
// read it, or nothing for a new file, which takes the default. A target the user may not
// write is refused, as a read-only file is, even where the user could rename over it.
std::optional<mode_t> modeForTarget(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::nullopt;
        raiseFileError(errno);
    }
    if (!S_ISREG(st.st_mode)) runtime::raise(runtime::err::PathFileAccess);
    const bool readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    if (readOnly || ::access(target.c_str(), W_OK) != 0) runtime::raise(runtime::err::PathFileAccess);
    return st.st_mode & 07777;
}

std::string scratchBeside(const std::string& target) {
    const fs::path p(target);
    static int counter = 0;
    return (p.parent_path() / (".~" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + "-" +
                               p.filename().string()))
        .string();
}

bool isSaveError(long n) {
    switch (n) {
    case 52: case 53: case 54: case 55: case 57: case 61: case 68: case 70: case 71: case 75: case 76:
    case 20477: case 31036: return true;
    default: return false;
    }
}

}  // namespace

void frmMain::msbSetFileName(const std::string& sFileName) {
    std::string caption;
    std::string tip;
    if (sFileName == kNameNew || sFileName == kNameRestored) {
        caption = sFileName;
    } else {
        const std::string base = gfnsGetBaseName(sFileName);
        caption = base.empty() ? sFileName : base;
        tip = sFileName;
    }
    lblFileName_->setText(QString::fromStdString(caption));
    lblFileName_->setToolTip(QString::fromStdString(tip));
    const std::string title(kAppTitle);
    setWindowTitle(QString::fromStdString(sFileName.empty() ? title : title + " - " + caption));
    std::error_code ec;
    fs::current_path(gfnsGetFolder(sFileName, true), ec);
    fileName_ = sFileName;
}

void frmMain::msbSetBusy(bool fEnable) {
    setEnabled(false);
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    picWizard_->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    forms::doEvents();
}

bool frmMain::mfnfMakeNewFile() {
    msbSetBusy(false);
    try {
        gsbCloseDatabase(gdbWork);
        createDocumentFromMaster(dataFile(kRegistDat));
    } catch (...) {
        gsbErrorMsg("", true);
        return false;
    }
    msbSetFileName(std::string(kNameNew));
    gfChanged = vbFalse;
    return true;
}

bool frmMain::mfnfFileNew() {
    msbSetBusy(false);
    bool result = mfnfFileChangeSave();
    if (result && !mfnfMakeNewFile()) gsbErrorMsg("新規作成に失敗（mnuFileNew_Click）", true);
    msbSetBusy(true);
    return result;
}

bool frmMain::mfnfFileOpen() {
    msbSetBusy(false);
    bool result = false;
    try {
        if (mfnfFileChangeSave()) {
            forms::FileDialogRequest request;
            request.kind = forms::FileDialogRequest::Open;
            request.initDir = gfnsGetFolder(fileName_, true);
            request.filter = kFilter;
            request.fileMustExist = true;
            const auto path = forms::ShowOpen(request);
            if (!path) runtime::raise(runtime::err::Cancel);
            result = mfnfLoadFile(*path);
            if (result) gsbCheckSyukujitu();
        }
    } catch (const runtime::Error& e) {
        if (e.number() != runtime::err::Cancel) gsbErrorMsg(e, false);
        result = false;
    }
    msbSetBusy(true);
    return result;
}

bool frmMain::mfnfLoadFile(const std::string& sPath) {
    msbSetBusy(false);
    std::string detail;
    int code = 0;
    const std::string staging = dataFile(kTempDbDat);
    try {
        code = gfnfCheckDataFile(sPath);
        if (code != 0) runtime::raise(runtime::err::Cancel);
        const std::string extension = gfnsGetExtension(sPath);
        if (extension != "kvp") {
            detail = "無効なファイル 拡張子が不正 (" + extension + ")";
            code = 12;
            runtime::raise(runtime::err::Cancel);
        }
        const std::string bytes = readAll(sPath);
        if (bytes.size() < kHeaderSize + 1) runtime::raise(runtime::err::SubscriptOutOfRange);
        dao::deleteFile(staging);
        writeAll(staging, std::string_view(bytes).substr(kHeaderSize));
        {
            // Opening alone does not read the file; a query proves that it is a database.
            dao::Database probe = dao::Database::open(staging);
            probe.openRecordset("SELECT count(*) FROM sqlite_master").close();
            probe.close();
        }
        gsbCloseDatabase(gdbWork);
        dao::replaceFile(staging, dataFile(kRegistDat));
        msbSetFileName(sPath);
        gfChanged = vbFalse;
        return true;
    } catch (const runtime::Error& e) {
        switch (e.number()) {
        case 9: detail = "ファイルサイズエラー：" + e.description(); code = 104; break;
        case 57: detail = "ファイル読取エラー：" + e.description(); code = 106; break;
        case 75: detail = "ファイルエラー：" + e.description(); code = 103; break;
        case 3031: detail = "データベースエラー：" + e.description(); code = 102; break;
        case 3343: detail = "データベースエラー：" + e.description(); code = 101; break;
        case 31037: detail = "データベースオープンエラー：" + e.description(); code = 105; break;
        case runtime::err::Cancel: break;
        default: gsbErrorMsg(e, true); return false;
        }
    }
    try {
        dao::deleteFile(staging);
    } catch (const runtime::Error&) {
    }
    if (gintLogMode && !detail.empty()) gsbDebugMsg("ファイルオープンエラー！\r\n" + detail);
    const std::string quoted = "'" + sPath + "'\r\n";
    if (code == 13) {
        forms::MsgBox(quoted + "はファイルのバージョンが違います。", forms::vbCritical);
    } else {
        forms::MsgBox(quoted + "はファイル形式を認識できませんでした。(" + std::to_string(code) +
                          ")\r\nファイルが読取専用、又は壊れている可能性があります。",
                      forms::vbCritical);
    }
    return false;
}

void frmMain::mfnfWriteFile(const std::string& sPath) {
    msbSetBusy(false);
    const std::string regist = dataFile(kRegistDat);
    gsbCloseDatabase(gdbWork);
    {
        dao::Database db = dao::Database::open(regist);
        db.execute("DELETE FROM tblYear WHERE fldYear < " + std::to_string(runtime::now().year));
        db.close();
    }
    // A failed compaction (it reports itself) leaves the database whole, only larger:
    // that is saved then, rather than nothing.
    gsbCompactDatabase(regist);
    const std::optional<mode_t> mode = modeForTarget(sPath);

    // The document is written beside the target, stamped, flushed and then renamed over
    // it, so a failure at any point leaves the previous file whole.
    const std::string scratch = scratchBeside(sPath);
    try {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        if (!out) raiseFileError(errno);
        gsbWriteFileHeader(out);
        const std::string zeros(kHeaderSize - kHeaderWrittenBytes, '\0');
        out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
        const std::string body = readAll(regist);
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
        out.close();
        if (!out) runtime::raise(runtime::err::PathFileAccess);
        gsbSetFileCode(scratch);
        if (mode && ::chmod(scratch.c_str(), *mode) != 0) raiseFileError(errno);
        syncFile(scratch);
        std::error_code ec;
        fs::rename(scratch, sPath, ec);
        if (ec) raiseFileError(ec.value());
    } catch (...) {
        std::error_code ec;
        fs::remove(scratch, ec);
        throw;
    }
    msbSetFileName(sPath);
    gfChanged = vbFalse;
}

bool frmMain::pfnfFileSave(const std::string& sFileName) {
    msbSetBusy(false);
    std::string path = sFileName.empty() ? fileName_ : sFileName;
    bool result = false;
    try {
        if (gfnsGetExtension(path) == "crd" || !gfnfFileExists(path)) {
            forms::FileDialogRequest request;
            request.kind = forms::FileDialogRequest::Save;
            request.initDir = gfnsGetFolder(fileName_, true);
            const std::string caption = lblFileName_->text().toStdString();
            request.fileName = caption == "." ? "..kvp" : caption;
            request.filter = kFilter;
            request.overwritePrompt = true;
            request.defaultExt = "kvp";  // so the overwrite question sees the final name
            const auto chosen = forms::ShowSave(request);
            if (!chosen) runtime::raise(runtime::err::Cancel);
            path = *chosen;
            if (gfnsGetExtension(path) != "kvp") path += ".kvp";
        }
        if (gfniLenB(path) > 255) runtime::raise(runtime::err::BadFileName);
        mfnfWriteFile(path);
        result = true;
    } catch (const runtime::Error& e) {
        if (isSaveError(e.number())) {
            forms::MsgBox(e.description(), forms::vbExclamation);
        } else if (e.number() != runtime::err::Cancel) {
            gsbErrorMsg(e, true);
        }
        std::error_code ec;
        if (!path.empty() && fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0) fs::remove(path, ec);
    }
    msbSetBusy(true);
    return result;
}

bool frmMain::mfnfFileChangeSave() {
    if (!gfChanged) return true;
    std::string text;
    int icon = forms::vbQuestion;
    if (fileName_ == kNameRestored) {
        text = "復元されたファイルです。保存しますか？\r保存しないと復元されたファイルは破棄されます。";
        icon = forms::vbExclamation;
    } else if (fileName_ == kNameCard) {
        text = "カードから読み込んだファイルです。保存しますか？";
        icon = forms::vbExclamation;
    } else {
        text = "'" + lblFileName_->text().toStdString() + "'\rは変更されています。\r保存しますか？";
    }
    bool result = false;
    switch (forms::MsgBox(text, forms::vbYesNoCancel | icon)) {
    case forms::vbYes: result = pfnfFileSave(std::string(kNameNew)); break;
    case forms::vbNo: result = true; break;
    default: result = false;
    }
    if (result) gfChanged = vbFalse;
    return result;
}

bool frmMain::mfnfRestoreFile() {
    const std::string regist = dataFile(kRegistDat);
    if (!gfnfFileExists(regist)) return false;
    const int answer = forms::MsgBox(
        "前回正常に終了していない可能性があります。\r壊れたファイルを復元しますか？\r復元しても正常に復元されない場合があります。",
        forms::vbYesNo | forms::vbExclamation);
    if (answer != forms::vbYes) return false;
    if (gfnfCheckDatabase(regist)) {
        msbSetFileName(std::string(kNameRestored));
        gfChanged = vbTrue;
        return true;
    }
    forms::MsgBox("壊れたファイルは復元できませんでした。", forms::vbCritical);
    gsbDeleteFile(regist);
    return false;
}
