#include "core/database.h"

#include "core/document_check.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "dao/files.h"
#include "runtime/error.h"

dao::Database gdbWork;

namespace {

// The engine's numbers for a table that is not there.
constexpr long kNoSuchTable = 3371;
constexpr long kNoSuchTableToDrop = 3376;

std::string dataFile(std::string_view name) { return gstrDataPath + std::string(name); }

// What gfnfCheckDatabase keeps of an error, by its number; "" for the others.
std::string checkText(const runtime::Error& e) {
    switch (e.number()) {
    case 3031:
    case 3049:
    case 3343: return "データベースエラー：" + e.description();
    case 3051:
    case 31037: return "データベースオープンエラー：" + e.description();
    default: return {};
    }
}

}  // namespace

void gsbOpenDatabase(dao::Database& db, const std::string& path) {
    try {
        db = dao::Database::open(path);
    } catch (...) {
        gsbErrorMsg("", true);
    }
}

void gsbCloseDatabase(dao::Database& db) noexcept { db.close(); }

bool gsbCompactDatabase(const std::string& path) {
    const std::string scratch = dataFile(kTempDbDat);
    gsbDeleteFile(scratch);
    try {
        dao::compactInPlace(path, scratch);
        return true;
    } catch (...) {
        gsbErrorMsg("", false);
        return false;
    }
}

void gsbDropTable(dao::Database& db, std::string_view table) {
    try {
        db.execute("DROP TABLE " + std::string(table));
    } catch (const runtime::Error& e) {
        if (e.number() == kNoSuchTable || e.number() == kNoSuchTableToDrop) return;
        gsbErrorMsg(e, true);
    } catch (...) {
        gsbErrorMsg("", true);
    }
}

bool gfnfCheckDatabase(const std::string& path) {
    std::string kept;
    try {
        dao::Database db = dao::Database::open(path);
        // Opening reads only the first page; a file damaged further on would end the
        // program on the first page that reads it.
        core::checkDatabaseWhole(db);
        db.close();
        return true;
    } catch (const runtime::Error& e) {
        kept = checkText(e);
        if (kept.empty()) gsbErrorMsg(e, false);
    } catch (...) {
        gsbErrorMsg("", false);
    }
    if (gintLogMode) gsbDebugMsg("ファイルオープンエラー！\r\n" + kept);
    return false;
}

void copyMasterTables(dao::Database& db) {
    const std::string master = dataFile(kMasterDat);
    for (std::string_view table : kDocumentTables) db.selectIntoFrom(master, table, table);
    db.selectIntoFrom(master, kTblSetting, kTblSetting, "ORDER BY fldOrder ASC", kDocumentSettingColumns);
}

void createDocumentFromMaster(const std::string& path) {
    dao::deleteFile(path);
    dao::Database db = dao::Database::create(path);
    try {
        // A new document holds only the template, so its copies need not wait for the
        // disk one by one; the first edit's synchronous write makes the file durable.
        db.execute("PRAGMA synchronous=OFF");
        copyMasterTables(db);
        db.close();
    } catch (...) {
        // A half-made document would be offered for restore at the next start.
        db.close();
        try {
            dao::deleteFile(path);
        } catch (...) {
        }
        throw;
    }
}
