#include "shell/startup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <iomanip>
#include <sstream>

#include "core/database.h"
#include "core/drive_info.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "dao/database.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "runtime/error.h"

namespace shell {

namespace {

std::function<double()>& freeSpaceHook() {
    static std::function<double()> hook;
    return hook;
}

double freeBytes() {
    if (freeSpaceHook()) return freeSpaceHook()();
    clsDrive drive;
    drive.setDrive(gstrDataPath);
    return drive.FreeSpace();
}

}  // namespace

void setFreeSpaceForTesting(std::function<double()> bytes) { freeSpaceHook() = std::move(bytes); }

std::string SingleInstance::lockPath(const std::string& programFolder) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtimeDir && *runtimeDir ? runtimeDir : "/tmp";
    // One lock per user and program folder: two installations, or two test folders,
    // never stand in each other's way.
    const auto key = std::hash<std::string>{}(programFolder);
    return dir + "/KV_M58S-" + std::to_string(getuid()) + "-" + std::to_string(key) + ".lock";
}

SingleInstance::SingleInstance(const std::string& programFolder) {
    const int fd = ::open(lockPath(programFolder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

}  // namespace shell

namespace {

constexpr long kCheckFailed = runtime::err::Cancel;  // the check's own error, 32755

std::string masterPath() { return gstrDataPath + std::string(kMasterDat); }

std::string numberText(double value) {
    std::ostringstream out;
    out << std::setprecision(15) << value;
    return out.str();
}

[[noreturn]] void failStage(std::string& detail, std::string text) {
    detail = std::move(text);
    runtime::raise(kCheckFailed);
}

// Finds an option row; its value, or nothing when the row is missing.
bool findOption(dao::Recordset& rs, std::string_view key, std::string& value) {
    rs.findFirst("fldOptionItem = '" + std::string(key) + "'");
    if (rs.noMatch()) return false;
    value = rs["fldOptionValue"].toText();
    return true;
}

void checkStages(std::string& message, std::string& detail, dao::Recordset& rs) {
    const std::string master(kMasterDat);
    message = shell::kMsgFileMissing;
    if (!gfnfFileExists(masterPath())) failStage(detail, "’Master.dat’ファイルがない");

    message = shell::kMsgLowSpace;
    const double mbytes = shell::freeBytes() / 1048576.0;
    if (!(mbytes > 5)) failStage(detail, "空き容量が少ない " + numberText(mbytes) + " Mbyte");

    message = shell::kMsgMasterBroken;
    gdbWork = dao::Database::open(masterPath());
    rs = gdbWork.openRecordset("SELECT * FROM tblOption");

    std::string value;
    message = shell::kMsgMasterContent;
    if (!findOption(rs, kOptSoftName, value)) failStage(detail, master + "のソフト名の項目がない");
    if (value != kAppTitle) failStage(detail, master + "のソフト名エラー " + value);

    message = shell::kMsgMasterVersion;
    if (!findOption(rs, kOptVersion, value)) failStage(detail, master + "のファイルバージョンの項目がない");
    if (value != kAppVersion) failStage(detail, master + "のファイルバージョンエラー " + value);
    if (!findOption(rs, kOptMode, value)) failStage(detail, master + "の動作モードの項目がない");
    gfBrandMode = vbBool(value == kBrandModeValue);

    // Every table a new document copies must be there, or the first new document would
    // end the program.
    message = shell::kMsgMasterBroken;
    for (std::string_view table : {kTblDayPattern, kTblDayStep, kTblYear, kTblBase, kTblSyukujitu, kTblSetting,
                                   kTblMessage, kTblCardWrite}) {
        detail = std::string(table) + "エラー";
        gdbWork.openRecordset("SELECT * FROM " + std::string(table)).close();
    }
    detail.clear();
}

}  // namespace

void mfnfCheckEnvironment() {
    std::string message;
    std::string detail;
    dao::Recordset rs;
    try {
        checkStages(message, detail, rs);
        rs.close();
        gsbCloseDatabase(gdbWork);
        return;
    } catch (const runtime::Error& e) {
        rs.close();
        gsbCloseDatabase(gdbWork);
        if (gintLogMode && !detail.empty()) gsbDebugMsg("エラー！\r\n" + detail);
        switch (e.number()) {
        case 3051:
        case 3078:
        case 3343: gsbErrorMsg(e, false); break;
        case kCheckFailed: break;
        default: gsbErrorMsg(e, true);
        }
    }
    forms::MsgBox(message, forms::vbExclamation);
    forms::endProgram();
}

bool mfnfUserLock(bool fStart, std::string* meOut) {
    const bool leftOver = gfnfFileExists(gstrDataPath + std::string(kRegistDat));
    const std::string me = gfnvGetUserName();
    if (meOut) *meOut = me;
    // A missing or unreadable Master.dat is the environment check's to report, with the
    // message that tells the user to reinstall.
    if (!gfnfFileExists(masterPath())) return true;
    dao::Database db;
    dao::Recordset rs;
    try {
        db = dao::Database::open(masterPath());
        rs = db.openRecordset("SELECT * FROM tblOption");
    } catch (const runtime::Error&) {
        return true;
    }
    try {
        rs.findFirst("fldOptionItem = '" + std::string(kOptUser) + "'");
        if (rs.noMatch()) {
            rs.addNew();
            rs.set("fldOptionItem", std::string(kOptUser));
            rs.set("fldOptionValue", std::string());
            rs.update();
            rs.findFirst("fldOptionItem = '" + std::string(kOptUser) + "'");
        }
        const std::string holder = rs["fldOptionValue"].toText();
        auto write = [&](const std::string& name) {
            rs.edit();
            rs.set("fldOptionValue", name);
            rs.update();
        };
        bool result = true;
        if (fStart) {
            const bool ask = leftOver ? holder != me : !(holder == me || holder.empty());
            if (ask) {
                const std::string shown = holder.empty() ? "(不明なユーザー)" : holder;
                const int answer = forms::MsgBox(
                    "このアプリケーションは '" + shown + "' さんが使用しています。\r\n"
                        "このアプリケーションを同時に使用すると、正常に動作しない可能性があります。\r\n起動しますか？",
                    forms::vbYesNo | forms::vbDefaultButton2 | forms::vbExclamation);
                result = answer == forms::vbYes;
            }
            // The row already naming me is left as it is: rewriting it would only cost
            // every start a disk sync.
            if (result && holder != me) write(me);
        } else if (holder == me) {
            write("");
        }
        rs.close();
        db.close();
        return result;
    } catch (const runtime::Error& e) {
        rs.close();
        db.close();
        gsbErrorMsg(e, true);
        return false;
    }
}
