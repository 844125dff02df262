// The document database: Master.dat as the build makes it, a new document copied from
// it, and the open, close, compact, drop and check routines.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "core/database.h"
#include "core/strings.h"
#include "core_fixture.h"
#include "dao/files.h"
#include "runtime/error.h"

namespace {

using namespace forms;
using coretest::ProgramFolder;
using coretest::readFile;
using coretest::writeFile;

std::vector<std::string> columnsOf(dao::Database& db, std::string_view table) {
    dao::Recordset rs = db.openRecordset("SELECT * FROM " + std::string(table));
    return rs.fieldNames();
}

// Every row of a query as texts, in order.
std::vector<std::vector<std::string>> rowsOf(dao::Database& db, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    dao::Recordset rs = db.openRecordset(sql);
    while (!rs.eof()) {
        std::vector<std::string> row;
        for (const auto& name : rs.fieldNames()) row.push_back(rs[name].toText());
        rows.push_back(row);
        rs.moveNext();
    }
    return rows;
}

const std::map<std::string, std::vector<std::string>> kMasterSchema = {
    {"tblMessage", {"fldCh", "fldComment", "fldUse", "fldAnsRec"}},
    {"tblDayPattern", {"fldNo", "fldName", "fldStep", "fldUse", "fldError"}},
    {"tblDayStep", {"fldPatternNo", "fldHour", "fldMinute", "fldMessage"}},
    {"tblBase", {"fldWeek", "fldPattern"}},
    {"tblSyukujitu", {"fldMonth", "fldDay", "fldName", "fldSyukujitu", "fldMonday", "fldComment"}},
    {"tblYear", {"fldYear", "fldMonth", "fldDay", "fldPattern", "fldComment"}},
    {"tblYearShow", {"fldNo", "fldYear", "fldMonth", "fldDay", "fldWeek", "fldPattern", "fldSchedule", "fldComment"}},
    {"tblSetting", {"fldType", "fldOrder", "fldNo", "fldKind", "fldItem", "fldValue", "fldAddress", "fldHint"}},
    {"tblCardWrite", {"fldBlockNo", "fldWriteMode", "fldWriteData", "fldComment"}},
    {"tblOption", {"fldOptionItem", "fldOptionValue"}},
    {"tblWizard", {"fldMenuNo", "fldWizardNo", "fldFormNo", "fldCaption"}},
};

class MasterDat : public ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        copyMaster();
        master_ = dao::Database::open(file("Master.dat"));
    }
    void TearDown() override {
        master_.close();
        ProgramFolder::TearDown();
    }
    dao::Database master_;
};

TEST_F(MasterDat, IsCopiedFromATemplateTheProgramNeverRunsAgainst) {
    const char* bin = std::getenv("KV_BIN_DIR");
    const std::filesystem::path program =
        bin ? std::filesystem::path(bin) : std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "bin";
    ASSERT_TRUE(std::filesystem::exists(program / "Master.dat"));
    ASSERT_TRUE(std::filesystem::exists(coretest::templateMasterDat()));
    EXPECT_NE(std::filesystem::weakly_canonical(coretest::templateMasterDat()),
              std::filesystem::weakly_canonical(program / "Master.dat"));
}

TEST_F(MasterDat, HoldsEveryTableWithItsFields) {
    for (const auto& [table, columns] : kMasterSchema) EXPECT_EQ(columnsOf(master_, table), columns) << table;
}

TEST_F(MasterDat, HoldsTheFixedRows) {
    EXPECT_EQ(rowsOf(master_, "SELECT fldNo FROM tblDayPattern ORDER BY fldNo").size(), 21u);
    EXPECT_EQ(rowsOf(master_, "SELECT DISTINCT fldNo FROM tblDayPattern WHERE fldNo BETWEEN 0 AND 20").size(), 21u);
    EXPECT_EQ(rowsOf(master_, "SELECT fldWeek FROM tblBase ORDER BY fldWeek"),
              (std::vector<std::vector<std::string>>{{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}}));
    EXPECT_EQ(rowsOf(master_, "SELECT DISTINCT fldCh FROM tblMessage WHERE fldCh BETWEEN 1 AND 12").size(), 12u);
    EXPECT_EQ(rowsOf(master_, "SELECT fldCh FROM tblMessage").size(), 12u);
    // Channels 10 to 12 are always in use; yes/no fields hold -1 and 0.
    EXPECT_EQ(rowsOf(master_, "SELECT fldCh, fldUse FROM tblMessage WHERE fldUse <> 0 ORDER BY fldCh"),
              (std::vector<std::vector<std::string>>{{"10", "-1"}, {"11", "-1"}, {"12", "-1"}}));
    std::vector<std::vector<std::string>> blocks;
    for (int b : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 24, 204, 221, 224, 225, 226})
        blocks.push_back({std::to_string(b)});
    EXPECT_EQ(rowsOf(master_, "SELECT fldBlockNo FROM tblCardWrite ORDER BY fldBlockNo"), blocks);
    EXPECT_TRUE(rowsOf(master_, "SELECT * FROM tblDayStep").empty());
    EXPECT_TRUE(rowsOf(master_, "SELECT * FROM tblYear").empty());
    EXPECT_TRUE(rowsOf(master_, "SELECT * FROM tblYearShow").empty());
}

TEST_F(MasterDat, DeviceSettingsFitTheirEntryRulesAndTheCardBlock) {
    // Setting number, lowest and highest value its entry frame accepts.
    const std::map<int, std::pair<int, int>> ranges = {
        {2, {1, 20}}, {3, {1, 9}},  {4, {1, 9}},  {5, {0, 5}},  {6, {0, 5}},  {7, {1, 99}}, {17, {0, 1}},
        {18, {0, 1}}, {19, {0, 2}}, {20, {0, 2}}, {21, {0, 3}}, {22, {0, 1}}, {23, {0, 1}},
    };
    std::set<int> numbers;
    std::set<int> addresses;
    int lastType = 0;
    int lastOrder = 0;
    for (const auto& row : rowsOf(master_, "SELECT fldType, fldOrder, fldNo, fldItem, fldValue, fldAddress, fldHint "
                                           "FROM tblSetting ORDER BY fldOrder")) {
        const int type = std::stoi(row[0]);
        const int order = std::stoi(row[1]);
        const int no = std::stoi(row[2]);
        const std::string& value = row[4];
        const int address = std::stoi(row[5]);
        SCOPED_TRACE(no);
        EXPECT_TRUE(numbers.insert(no).second);
        EXPECT_GT(order, lastOrder);
        EXPECT_GE(type, lastType);  // standard, then second level, then options last
        EXPECT_TRUE(type >= 1 && type <= 3);
        EXPECT_FALSE(row[3].empty());
        EXPECT_FALSE(row[6].empty());
        EXPECT_FALSE(gfnsSettingToStr(no, value).empty());
        if (no == 1) {
            EXPECT_EQ(value, "----");
            EXPECT_LT(address, 0);
        } else {
            EXPECT_TRUE(address >= 8 && address <= 43) << address;
            EXPECT_TRUE(addresses.insert(address).second) << address;
            ASSERT_TRUE(ranges.count(no));
            EXPECT_GE(std::stoi(value), ranges.at(no).first);
            EXPECT_LE(std::stoi(value), ranges.at(no).second);
        }
        lastType = type;
        lastOrder = order;
    }
    EXPECT_EQ(numbers, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 17, 18, 19, 20, 21, 22, 23}));
    EXPECT_FALSE(rowsOf(master_, "SELECT fldNo FROM tblSetting WHERE fldType = 1").empty());
    EXPECT_FALSE(rowsOf(master_, "SELECT fldNo FROM tblSetting WHERE fldType = 2").empty());
    EXPECT_FALSE(rowsOf(master_, "SELECT fldNo FROM tblSetting WHERE fldType = 3").empty());
}

TEST_F(MasterDat, OptionsNameTheProgramAndItsVersion) {
    dao::Recordset rs = master_.openRecordset("SELECT * FROM tblOption");
    auto option = [&](std::string_view key) {
        rs.findFirst("fldOptionItem = '" + std::string(key) + "'");
        EXPECT_FALSE(rs.noMatch()) << key;
        return rs.noMatch() ? std::string("<missing>") : rs["fldOptionValue"].toText();
    };
    EXPECT_EQ(option(kOptSoftName), "KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ");
    EXPECT_EQ(option(kOptVersion), "101");
    EXPECT_NE(option(kOptMode), "T");
    EXPECT_EQ(option(kOptUser), "");
    EXPECT_EQ(option(kOptMarginLeft), "25");
    EXPECT_EQ(option(kOptMarginRight), "15");
    EXPECT_EQ(option(kOptMarginTop), "15");
    EXPECT_EQ(option(kOptMarginBottom), "15");
    EXPECT_EQ(option(kOptLineWidth), "4");
    EXPECT_EQ(option(kOptPaperWidth), "210");
    EXPECT_EQ(option(kOptPaperHeight), "297");
    EXPECT_EQ(option(kOptPaperSize), "9");
}

TEST_F(MasterDat, HolidayListIsJapansNationalHolidays) {
    const std::vector<std::vector<std::string>> expected = {
        {"0", "0", "", "255", "255", "登録値保持用"},
        {"0", "36", "国民の休日", "255", "255", ""},
        {"1", "1", "元日", "255", "255", ""},
        {"1", std::to_string(holidayNthCode(2, 2)), "成人の日", "255", "255", ""},
        {"2", "11", "建国記念の日", "255", "255", ""},
        {"2", "23", "天皇誕生日", "255", "255", ""},
        {"3", "35", "春分の日", "255", "255", ""},
        {"4", "29", "昭和の日", "255", "255", ""},
        {"5", "3", "憲法記念日", "255", "255", ""},
        {"5", "4", "みどりの日", "255", "255", ""},
        {"5", "5", "こどもの日", "255", "255", ""},
        {"7", std::to_string(holidayNthCode(3, 2)), "海の日", "255", "255", ""},
        {"8", "11", "山の日", "255", "255", ""},
        {"9", "35", "秋分の日", "255", "255", ""},
        {"9", std::to_string(holidayNthCode(3, 2)), "敬老の日", "255", "255", ""},
        {"10", std::to_string(holidayNthCode(2, 2)), "スポーツの日", "255", "255", ""},
        {"11", "3", "文化の日", "255", "255", ""},
        {"11", "23", "勤労感謝の日", "255", "255", ""},
    };
    EXPECT_EQ(rowsOf(master_, "SELECT fldMonth, fldDay, fldName, fldSyukujitu, fldMonday, fldComment "
                              "FROM tblSyukujitu ORDER BY fldMonth ASC, fldDay ASC"),
              expected);
    EXPECT_EQ(holidayNthCode(2, 2), 52);
    EXPECT_EQ(holidayNthCode(3, 2), 62);
}

class Database : public ProgramFolder {
protected:
    void TearDown() override {
        gsbCloseDatabase(gdbWork);
        ProgramFolder::TearDown();
    }
};

TEST_F(Database, ANewDocumentHoldsEveryTableAndRowOfTheTemplate) {
    copyMaster();
    createDocumentFromMaster(file("Regist.dat"));
    gsbOpenDatabase(gdbWork, file("Regist.dat"));
    dao::Database master = dao::Database::open(file("Master.dat"));
    for (std::string_view table : kDocumentTables) {
        EXPECT_EQ(columnsOf(gdbWork, table), columnsOf(master, table)) << table;
        const std::string all = "SELECT * FROM " + std::string(table);
        EXPECT_EQ(rowsOf(gdbWork, all), rowsOf(master, all)) << table;
    }
    EXPECT_EQ(columnsOf(gdbWork, "tblSetting"),
              (std::vector<std::string>{"fldType", "fldOrder", "fldNo", "fldItem", "fldValue", "fldAddress"}));
    // The template's own tables stay in Master.dat.
    EXPECT_FALSE(gdbWork.tableExists("tblOption"));
    EXPECT_FALSE(gdbWork.tableExists("tblWizard"));
    EXPECT_FALSE(gdbWork.tableExists("tblYearShow"));
    // Yes/no fields keep -1 for True.
    EXPECT_EQ(rowsOf(gdbWork, "SELECT fldUse FROM tblMessage WHERE fldCh = 10")[0][0], "-1");
}

TEST_F(Database, ANewDocumentReplacesAnOldOneAndIsClosedAfterwards) {
    copyMaster();
    writeFile(dir_ / "Regist.dat", "left over");
    createDocumentFromMaster(file("Regist.dat"));
    EXPECT_FALSE(dao::isOpen(file("Regist.dat")));
    EXPECT_TRUE(gfnfCheckDatabase(file("Regist.dat")));
}

TEST_F(Database, ANewDocumentThatCannotBeCopiedLeavesNoHalfFile) {
    // No Master.dat in the program folder.
    EXPECT_THROW(createDocumentFromMaster(file("Regist.dat")), runtime::Error);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Regist.dat"));
}

TEST_F(Database, OpeningAMissingOrForeignFileIsFatal) {
    dialogs_.expect("重大なエラー！\r\nNo.3024");
    EXPECT_THROW(gsbOpenDatabase(gdbWork, file("Regist.dat")), ProgramEnded);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Regist.dat"));  // never created
    writeFile(dir_ / "Regist.dat", "not a database, just text\r\n");
    dialogs_.expect("重大なエラー！\r\nNo.3343");
    EXPECT_THROW(gsbOpenDatabase(gdbWork, file("Regist.dat")), ProgramEnded);
}

TEST_F(Database, ClosingIsAlwaysQuiet) {
    dao::Database never;
    gsbCloseDatabase(never);
    copyMaster();
    gsbOpenDatabase(gdbWork, file("Master.dat"));
    EXPECT_TRUE(gdbWork.isOpen());
    gsbCloseDatabase(gdbWork);
    gsbCloseDatabase(gdbWork);
    EXPECT_FALSE(gdbWork.isOpen());
    EXPECT_TRUE(dialogs_.shown().empty());
}

TEST_F(Database, DroppingAMissingTableIsQuietAndAnyOtherFailureFatal) {
    copyMaster();
    gsbOpenDatabase(gdbWork, file("Master.dat"));
    gdbWork.selectInto("tblWrok", "tblDayStep");
    gsbDropTable(gdbWork, "tblWrok");
    EXPECT_FALSE(gdbWork.tableExists("tblWrok"));
    gsbDropTable(gdbWork, "tblWrok");
    EXPECT_TRUE(dialogs_.shown().empty());
    gsbCloseDatabase(gdbWork);
    dialogs_.expect("重大なエラー！");
    EXPECT_THROW(gsbDropTable(gdbWork, "tblWork"), ProgramEnded);  // no connection
}

TEST_F(Database, CompactionReplacesTheFileWithItsCompactedCopy) {
    copyMaster();
    createDocumentFromMaster(file("Regist.dat"));
    {
        dao::Database db = dao::Database::open(file("Regist.dat"));
        dao::Transaction batch(db);
        for (int i = 0; i < 400; ++i)
            db.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, 1, 1, 9, ?2)",
                       {2000 + i, std::string(200, 'x')});
        db.execute("DELETE FROM tblYear WHERE fldYear >= 2001");
        batch.commit();
    }
    writeFile(dir_ / "TempDB.dat", "stale scratch");
    const auto before = std::filesystem::file_size(dir_ / "Regist.dat");
    EXPECT_TRUE(gsbCompactDatabase(file("Regist.dat")));
    EXPECT_LT(std::filesystem::file_size(dir_ / "Regist.dat"), before);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "TempDB.dat"));
    dao::Database db = dao::Database::open(file("Regist.dat"));
    EXPECT_EQ(rowsOf(db, "SELECT fldYear FROM tblYear"), (std::vector<std::vector<std::string>>{{"2000"}}));
    EXPECT_EQ(rowsOf(db, "SELECT * FROM tblSyukujitu").size(), 18u);
}

TEST_F(Database, ACompactionThatFailsKeepsTheOriginalAndReportsIt) {
    copyMaster();
    const std::string original = readFile(dir_ / "Master.dat");
    {
        // Open on another connection: the engine refuses.
        dao::Database other = dao::Database::open(file("Master.dat"));
        EXPECT_FALSE(gsbCompactDatabase(file("Master.dat")));
        EXPECT_TRUE(dialogs_.shown().empty());  // outside log mode only the result tells
        gintLogMode = vbTrue;
        dialogs_.expect("重大なエラー！\r\nNo.3045");
        EXPECT_FALSE(gsbCompactDatabase(file("Master.dat")));
        EXPECT_TRUE(other.isOpen());
    }
    EXPECT_EQ(readFile(dir_ / "Master.dat"), original);
    // Not a database: nothing to compact, and the file stays as it was.
    writeFile(dir_ / "Regist.dat", "text, not a database");
    dialogs_.expect("重大なエラー！\r\nNo.3343");
    EXPECT_FALSE(gsbCompactDatabase(file("Regist.dat")));
    EXPECT_EQ(readFile(dir_ / "Regist.dat"), "text, not a database");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "TempDB.dat"));
    EXPECT_NE(coretest::fromCp932(readFile(dir_ / "Soft.log")).find("No.3045"), std::string::npos);
}

TEST_F(Database, CheckDatabaseTellsADatabaseFromOtherFiles) {
    copyMaster();
    EXPECT_TRUE(gfnfCheckDatabase(file("Master.dat")));
    EXPECT_FALSE(dao::isOpen(file("Master.dat")));
    writeFile(dir_ / "Regist.dat", "text, not a database");
    EXPECT_FALSE(gfnfCheckDatabase(file("Regist.dat")));
    EXPECT_FALSE(gfnfCheckDatabase(file("missing.dat")));
    // A database whose first page is whole and the rest overwritten opens, yet is damaged.
    const std::string master = readFile(dir_ / "Master.dat");
    writeFile(dir_ / "Damaged.dat", master.substr(0, 4096) + std::string(master.size() - 4096, 'q'));
    EXPECT_FALSE(gfnfCheckDatabase(file("Damaged.dat")));
    EXPECT_TRUE(dialogs_.shown().empty());

    gintLogMode = vbTrue;
    dialogs_.expect("ファイルオープンエラー！\r\nデータベースエラー：");
    EXPECT_FALSE(gfnfCheckDatabase(file("Regist.dat")));
    // Another error is reported as it is, then the check's own box.
    dialogs_.expect("重大なエラー！\r\nNo.3024").expect("ファイルオープンエラー！");
    EXPECT_FALSE(gfnfCheckDatabase(file("missing.dat")));
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(Database, DeletingAFileThatIsOpenIsRefused) {
    copyMaster();
    gsbOpenDatabase(gdbWork, file("Master.dat"));
    dialogs_.expect("重大なエラー！\r\nNo.70");
    EXPECT_THROW(gsbDeleteFile(file("Master.dat")), ProgramEnded);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Master.dat"));
    gsbCloseDatabase(gdbWork);
    gsbDeleteFile(file("Master.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Master.dat"));
}

}  // namespace
