#include "core/document_check.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <chrono>
#include <set>
#include <string_view>

#include "core/globals.h"
#include "dao/value.h"
#include "runtime/error.h"

namespace core {
namespace {

constexpr long kDamagedDatabase = 3049;

// The fields of a document the program reads, and whether each holds a number (the
// 16-bit integers and yes/no fields) or a text.
struct Field {
    std::string_view table;
    std::string_view name;
    bool number;
};

constexpr Field kFields[] = {
    {kTblMessage, "fldCh", true},          {kTblMessage, "fldComment", false},
    {kTblMessage, "fldUse", true},         {kTblMessage, "fldAnsRec", true},
    {kTblDayPattern, "fldNo", true},       {kTblDayPattern, "fldName", false},
    {kTblDayPattern, "fldStep", true},     {kTblDayPattern, "fldUse", true},
    {kTblDayPattern, "fldError", true},    {kTblDayStep, "fldPatternNo", true},
    {kTblDayStep, "fldHour", true},        {kTblDayStep, "fldMinute", true},
    {kTblDayStep, "fldMessage", true},     {kTblBase, "fldWeek", true},
    {kTblBase, "fldPattern", true},        {kTblSyukujitu, "fldMonth", true},
    {kTblSyukujitu, "fldDay", true},       {kTblSyukujitu, "fldName", false},
    {kTblSyukujitu, "fldSyukujitu", true}, {kTblSyukujitu, "fldMonday", true},
    {kTblSyukujitu, "fldComment", false},  {kTblYear, "fldYear", true},
    {kTblYear, "fldMonth", true},          {kTblYear, "fldDay", true},
    {kTblYear, "fldPattern", true},        {kTblYear, "fldComment", false},
    {kTblSetting, "fldType", true},        {kTblSetting, "fldOrder", true},
    {kTblSetting, "fldNo", true},          {kTblSetting, "fldItem", false},
    {kTblSetting, "fldValue", false},      {kTblSetting, "fldAddress", false},
    {kTblCardWrite, "fldBlockNo", true},   {kTblCardWrite, "fldWriteMode", true},
    {kTblCardWrite, "fldWriteData", false}, {kTblCardWrite, "fldComment", false},
};

// Field names compare without regard to case, as the engine's do.
std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string bracketed(std::string_view what) { return "（" + std::string(what) + "）"; }

std::string shown(const dao::Value& v) { return v.isNull() ? "Null" : v.toText(); }

std::set<std::string> fieldNames(dao::Database& db, std::string_view table) {
    std::set<std::string> names;
    for (auto rs = db.openRecordset("SELECT name FROM pragma_table_info(?1)", {dao::Value(table)}); !rs.eof();
         rs.moveNext())
        names.insert(lower(rs["name"].toText()));
    return names;
}

// Every table and field there; every number field a whole number the program's 16-bit
// integers can hold (the program never writes Null or a text into one).
std::string shapeFault(dao::Database& db) {
    std::string_view table;
    std::set<std::string> names;
    for (const Field& f : kFields) {
        if (f.table != table) {
            table = f.table;
            if (!db.tableExists(table)) return "テーブル" + bracketed(table) + "がない。";
            names = fieldNames(db, table);
        }
        const std::string qualified = std::string(f.table) + "." + std::string(f.name);
        if (!names.count(lower(f.name))) return "フィールド" + bracketed(qualified) + "がない。";
        if (!f.number) continue;
        const std::string field(f.name);
        auto rs = db.openRecordset("SELECT " + field + " FROM " + std::string(f.table) + " WHERE typeof(" + field +
                                   ") <> 'integer' OR " + field + " NOT BETWEEN -32768 AND 32767 LIMIT 1");
        if (!rs.eof()) return "フィールド" + bracketed(qualified) + "の値" + bracketed(shown(rs[field])) + "が整数でない。";
    }
    return {};
}

// The values the windows index by: the channel of a step picks its chart colour and its
// list entry, a special day's date picks its place in the month.
std::string valueFault(dao::Database& db) {
    {
        auto rs = db.openRecordset(
            "SELECT fldPatternNo, fldMessage FROM tblDayStep WHERE fldMessage NOT BETWEEN 0 AND 9 LIMIT 1");
        if (!rs.eof())
            return "日パターン" + bracketed(rs["fldPatternNo"].toText()) + "のステップのメッセージ" +
                   bracketed(rs["fldMessage"].toText()) + "が範囲外。";
    }
    for (auto rs = db.openRecordset("SELECT fldYear, fldMonth, fldDay FROM tblYear"); !rs.eof(); rs.moveNext()) {
        const int y = rs["fldYear"].toInt(), m = rs["fldMonth"].toInt(), d = rs["fldDay"].toInt();
        const bool inRange = m >= 1 && m <= 12 && d >= 1 && d <= 31;
        if (!inRange || !std::chrono::year_month_day{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(m)),
                                                     std::chrono::day(static_cast<unsigned>(d))}
                             .ok())
            return "特定日" + bracketed(std::to_string(y) + "/" + std::to_string(m) + "/" + std::to_string(d)) +
                   "が日付でない。";
    }
    std::bitset<kPatternRows> present;
    for (auto rs = db.openRecordset("SELECT fldNo FROM tblDayPattern WHERE fldNo BETWEEN 0 AND 20"); !rs.eof();
         rs.moveNext())
        present.set(static_cast<std::size_t>(rs["fldNo"].toInt()));
    for (std::size_t n = 0; n < present.size(); ++n)
        if (!present.test(n)) return "日パターン" + bracketed(std::to_string(n)) + "の行がない。";
    return {};
}

}  // namespace

void checkDatabaseWhole(dao::Database& db) {
    auto rs = db.openRecordset("SELECT * FROM pragma_quick_check(1)");
    if (rs.eof() || rs[rs.fieldNames().front()].toText() != "ok")
        runtime::raiseWith(kDamagedDatabase, db.path().string());
}

std::string documentFault(dao::Database& db) {
    std::string fault = shapeFault(db);
    return fault.empty() ? valueFault(db) : fault;
}

}  // namespace core
