// The card image built from a document and parsed back into a new one, through the database.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "../core/core_fixture.h"
#include "card/card_data.h"
#include "core/database.h"
#include "core/globals.h"
#include "runtime/datetime.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class CardData : public coretest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        copyMaster();
        clock_ = std::make_unique<runtime::FixedClock>(runtime::DateTime{2027, 1, 1, 9, 0, 0});
    }
    void TearDown() override {
        gsbCloseDatabase(gdbWork);
        clock_.reset();
        ProgramFolder::TearDown();
    }

    void newDocument(const std::string& name = "Regist.dat") {
        gsbCloseDatabase(gdbWork);
        createDocumentFromMaster(file(name));
        gdbWork = dao::Database::open(file(name));
    }

    // Every pattern with steps, special days, holidays, long mixed-width names and settings.
    void enrich() {
        for (int n = 1; n <= 20; ++n) {
            gdbWork.execute("UPDATE tblDayPattern SET fldName = ?1 WHERE fldNo = ?2",
                            {n % 2 ? "全角パターン名前" + std::to_string(n) : "ﾊﾝｶｸ名前ABCDEFGHIJ" + std::to_string(n), n});
            for (int s = 0; s < 24; ++s)
                gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                                {n, s, (n + s) % 60, (s + n) % 10});
        }
        gdbWork.execute("UPDATE tblMessage SET fldAnsRec = True, fldComment = '長い名前ﾒｯｾｰｼﾞ名前' WHERE fldCh = 3");
        card::copyChannelNamesToWriteList();
        gdbWork.execute("UPDATE tblCardWrite SET fldComment = 'ｶｰﾄﾞ名 全角' WHERE fldBlockNo = 224");
        for (auto [m, d, p] : {std::tuple{3, 10, 9}, {5, 3, 12}, {12, 31, 20}})
            gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2027, ?1, ?2, ?3, '')",
                            {m, d, p});
        gdbWork.execute("UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8 WHERE fldDay = 0");
        setSettings();
    }

    // The template's settings, each given a value other than its default: the access
    // code and every number or choice inside its range.
    static void setSettings() {
        const std::map<int, std::string> values = {
            {1, "13572468"}, {2, "12"}, {3, "7"},  {4, "9"},  {5, "0"},  {6, "5"},  {7, "99"},
            {17, "0"},       {18, "0"}, {19, "2"}, {20, "2"}, {21, "3"}, {22, "1"}, {23, "1"},
        };
        for (const auto& [no, value] : values)
            gdbWork.execute("UPDATE tblSetting SET fldValue = ?1 WHERE fldNo = ?2", {value, no});
    }

    Bytes build(const card::WriteModeRecord& record) {
        std::string failure;
        EXPECT_TRUE(card::mfnfMakeCardData(file("CardData.crd"), record, {}, &failure)) << failure;
        std::ifstream in(file("CardData.crd"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static card::WriteModeRecord everything() {
        card::WriteModeRecord r{};
        card::msbGetWriteMode(r);
        for (std::size_t i = card::kRecordSettings; i < r.size(); ++i) r[i] = 4;
        return r;
    }

    // A table as text rows, in a fixed order, for comparing two documents.
    static std::multiset<std::string> table(const std::string& sql) {
        std::multiset<std::string> rows;
        for (auto rs = gdbWork.openRecordset(sql); !rs.eof(); rs.moveNext()) {
            std::string row;
            for (const auto& f : rs.fieldNames()) row += rs[f].toText() + "|";
            rows.insert(row);
        }
        return rows;
    }

    std::unique_ptr<runtime::FixedClock> clock_;
};

const char* kCompared[] = {
    "SELECT fldPatternNo, fldHour, fldMinute, fldMessage FROM tblDayStep",
    "SELECT fldNo, fldName, fldStep, fldUse, fldError FROM tblDayPattern",
    "SELECT fldCh, fldComment, fldUse, fldAnsRec FROM tblMessage",
    "SELECT fldYear, fldMonth, fldDay, fldPattern FROM tblYear",
    "SELECT fldMonth, fldDay, fldName, fldSyukujitu, fldMonday FROM tblSyukujitu",
    "SELECT fldNo, fldValue FROM tblSetting",
    "SELECT fldBlockNo, fldComment FROM tblCardWrite WHERE fldBlockNo = 224",
};

TEST_F(CardData, ARichDocumentComesBackFromItsImage) {
    newDocument();
    enrich();
    const Bytes image = build(everything());
    ASSERT_EQ(image.size(), card::kImageSize);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "KV-M58S1");

    std::map<std::string, std::multiset<std::string>> before;
    card::mfnfMakeCardData(file("CardData.crd"), everything(), {});  // leaves the upkeep done
    for (const char* sql : kCompared) before[sql] = table(sql);

    // Each setting's value sits at its address of the setting block.
    for (auto rs = gdbWork.openRecordset("SELECT fldNo, fldValue, fldAddress FROM tblSetting"); !rs.eof(); rs.moveNext()) {
        const int address = rs["fldAddress"].toInt();
        if (address < 0) continue;
        EXPECT_EQ(image[card::kSettingAt + static_cast<std::size_t>(address)], rs["fldValue"].toInt()) << rs["fldNo"].toInt();
    }
    EXPECT_EQ(image[card::kSettingAt + 44], 1);

    // A new document holds the template's defaults until the card is read into it.
    newDocument("Second.dat");
    EXPECT_NE(table("SELECT fldNo, fldValue FROM tblSetting"), before["SELECT fldNo, fldValue FROM tblSetting"]);
    ASSERT_TRUE(card::mfnfReadCardData(file("CardData.crd"), {}));
    for (const char* sql : kCompared) EXPECT_EQ(table(sql), before[sql]) << sql;
}

TEST_F(CardData, TheBuildFollowsTheWriteSelection) {
    newDocument();
    EXPECT_FALSE(card::setWriteMode({221, 226}, 4)) << "a new document selects the schedule already";
    gfChanged = vbFalse;
    EXPECT_TRUE(card::setWriteMode({221, 226}, 0));
    EXPECT_EQ(gfChanged, vbTrue);
    card::WriteModeRecord r{};
    card::msbGetWriteMode(r);
    EXPECT_EQ(r[card::kRecordSchedule], 0);
    EXPECT_EQ(r[card::kRecordPatternNames], 0);

    card::applyWritePageRules(false);
    card::msbGetWriteMode(r);
    EXPECT_EQ(r[card::kRecordSchedule], 4);
    EXPECT_EQ(r[card::kRecordSettings], 0);
}

TEST_F(CardData, TheCalendarMarksJapansHolidays) {
    newDocument();
    card::WriteModeRecord r{};
    r[card::kRecordSchedule] = 4;
    const Bytes image = build(r);
    auto dayByte = [&](int y, int m, int d) {
        const auto serial = runtime::toSerial({y, m, d}) - runtime::toSerial({2027, 1, 1});
        return image[card::kCalendarAt + static_cast<std::size_t>(serial)];
    };
    struct Case {
        int y, m, d;
        bool holiday;
    } cases[] = {
        {2027, 1, 1, true},   {2027, 1, 11, true},  {2027, 2, 11, true},  {2027, 3, 21, true},
        {2027, 3, 22, true},  // 春分の日 on a Sunday: substitute on Monday
        {2028, 1, 10, true},  {2032, 9, 21, true},  // 国民の休日 between 敬老の日 and 秋分の日
        {2027, 1, 2, false},  {2036, 12, 31, false}, {2027, 5, 6, false},
    };
    for (const auto& c : cases) EXPECT_EQ((dayByte(c.y, c.m, c.d) & 0x80) != 0, c.holiday) << c.y << "-" << c.m << "-" << c.d;
}

TEST_F(CardData, ADocumentThatDoesNotFitBuildsNoImage) {
    newDocument();
    for (int i = 0; i < 26; ++i)
        gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (5, ?1, ?2, 1)",
                        {i / 2, (i % 2) * 30 + 1});
    std::string failure;
    EXPECT_FALSE(card::mfnfMakeCardData(file("CardData.crd"), everything(), {}, &failure));
    EXPECT_NE(failure.find("日パターン"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file("CardData.crd")));
}

TEST_F(CardData, ASettingAddressOutsideTheBlockBuildsNoImage) {
    struct Case { int no; const char* address; };
    for (const Case c : {Case{2, "48"}, {2, "-1"}, {2, "1e10"}, {1, "1e10"}, {2, "-1e300"}}) {
        newDocument();
        gdbWork.execute("UPDATE tblSetting SET fldAddress = ?1 WHERE fldNo = ?2", {std::string(c.address), c.no});
        EXPECT_FALSE(card::mfnfMakeCardData(file("CardData.crd"), everything(), {})) << c.no << " at " << c.address;
        EXPECT_FALSE(std::filesystem::exists(file("CardData.crd")));
    }
}

}  // namespace
