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
#include <sstream>
#include <vector>

#include <QLabel>

#include "core/database.h"
#include "core/document_check.h"
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
constexpr long kDiskFull = 61;
constexpr long kEngineDiskError = 3043;

std::string dataFile(std::string_view name) { return gstrDataPath + std::string(name); }

// The run-time error of a failed file call, by its cause. A file size limit stops a
// write as a full disk does.
[[noreturn]] void raiseFileError(int error) {
    switch (error) {
    case ENOENT: runtime::raise(runtime::err::PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS: runtime::raise(runtime::err::PermissionDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG: runtime::raise(kDiskFull);
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

// A new file written through the system calls themselves, so that every failed write
// and close raises the error of its cause.
class NewFile {
public:
    explicit NewFile(const std::string& path) : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd_ < 0) raiseFileError(errno);
    }
    ~NewFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    void write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) raiseFileError(n < 0 ? errno : ENOSPC);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) raiseFileError(errno);
    }

private:
    int fd_;
};

void writeAll(const std::string& path, std::string_view bytes) {
    NewFile out(path);
    out.write(bytes);
    out.close();
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

// Why a staged document file is refused: the code the user is shown and the log text.
struct Refusal {
    int code = 0;
    std::string detail;
};

constexpr int kCodeNoDatabase = 101;
constexpr int kCodeContent = 107;  // a database, but not one the windows can work with

// Whether the staged file can be taken as the document: the engine opens it and finds
// every page whole, and it holds what the windows rely on. Whatever the engine says of
// a file the user chose, the file is refused; the program goes on.
Refusal probeDocument(const std::string& staging) {
    try {
        dao::Database probe = dao::Database::open(staging);
        core::checkDatabaseWhole(probe);
        const std::string fault = core::documentFault(probe);
        if (!fault.empty()) return {kCodeContent, "データ内容エラー：" + fault};
        return {};
    } catch (const runtime::Error& e) {
        switch (e.number()) {
        case 3031: return {102, "データベースエラー：" + e.description()};
        case 31037: return {105, "データベースオープンエラー：" + e.description()};
        default: return {kCodeNoDatabase, "データベースエラー：" + e.description()};
        }
    }
}

// Why a save failed, in the user's words, for the errors a save expects ("" for any
// other error, which is a fault of the program).
std::string saveErrorCause(long n) {
    switch (n) {
    case 52: case 20477: return "ファイル名が正しくありません。";
    case 53: return "ファイルが見つかりません。";
    case 54: return "ファイルモードが正しくありません。";
    case 55: return "ファイルは既に開かれています。";
    case 57: return "デバイスの入出力エラーが発生しました。";
    case kDiskFull: return "ディスクの空き容量が不足しています。";
    case 68: return "デバイスが使用できません。";
    case 70: return "書き込みが許可されていません。読み取り専用の場所の可能性があります。";
    case 71: return "ディスクの準備ができていません。";
    case 75: return "ファイルにアクセスできません。読み取り専用のファイルの可能性があります。";
    case 76: return "パスが見つかりません。";
    case 31036: return "ファイルを作成できませんでした。";
    // The work database could not be written before the copy (a full disk).
    case kEngineDiskError: return "ディスクへの書き込みでエラーが発生しました。";
    default: return {};
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

std::string frmMain::shownFileName() const { return lblFileName_->text().toStdString(); }

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
        if (const Refusal refusal = probeDocument(staging); refusal.code != 0) {
            detail = refusal.detail;
            code = refusal.code;
            runtime::raise(runtime::err::Cancel);
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
        // The staging copy could not be written (full disk, a folder that cannot be written).
        case 61:
        case runtime::err::PermissionDenied:
        case runtime::err::PathFileAccess:
        case runtime::err::PathNotFound: detail = "ファイルエラー：" + e.description(); code = 103; break;
        case 3031: detail = "データベースエラー：" + e.description(); code = 102; break;
        case 3343: detail = "データベースエラー：" + e.description(); code = kCodeNoDatabase; break;
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
        std::ostringstream header;
        gsbWriteFileHeader(header);
        NewFile out(scratch);
        out.write(header.str());
        out.write(std::string(kHeaderSize - kHeaderWrittenBytes, '\0'));
        out.write(readAll(regist));
        out.close();
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
    // The write closes the document's connection; a failed save leaves it as it found it.
    const bool wasOpen = gdbWork.isOpen();
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
        if (const std::string cause = saveErrorCause(e.number()); !cause.empty()) {
            forms::MsgBox("'" + path + "'\r\nに保存できませんでした。\r\n" + cause, forms::vbExclamation);
        } else if (e.number() != runtime::err::Cancel) {
            gsbErrorMsg(e, true);
        }
        std::error_code ec;
        if (!path.empty() && fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0) fs::remove(path, ec);
        if (wasOpen && !gdbWork.isOpen()) gsbOpenDatabase(gdbWork, dataFile(kRegistDat));
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
