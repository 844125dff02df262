#include "dao_fixture.h"

using dao::Database;
using dao::Recordset;
using dao::Value;

TEST_F(DaoTest, RecordsetMovesAndEnds) {
    auto db = Database::open(holidays());
    auto rs = db.openRecordset("SELECT * FROM tblSyukujitu WHERE fldMonth = 1 ORDER BY fldDay ASC");
    EXPECT_FALSE(rs.bof());
    EXPECT_FALSE(rs.eof());
    EXPECT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs["fldName"].toText(), "元日");
    EXPECT_EQ(rs["FLDNAME"].toText(), "元日");  // names are case-insensitive
    rs.moveNext();
    EXPECT_EQ(rs["fldDay"].toInt(), 52);
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(errorOf([&] { rs["fldName"]; }), 3021);
    EXPECT_EQ(errorOf([&] { rs.moveNext(); }), 3021);
    rs.moveLast();
    rs.movePrevious();
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    EXPECT_EQ(errorOf([&] { rs.movePrevious(); }), 3021);
    EXPECT_EQ(errorOf([&] { rs["fldNope"]; }), 3265);

    auto none = db.openRecordset("SELECT * FROM tblSyukujitu WHERE fldMonth = 13");
    EXPECT_TRUE(none.bof());
    EXPECT_TRUE(none.eof());
    EXPECT_EQ(none.recordCount(), 0);
    EXPECT_EQ(errorOf([&] { none.moveFirst(); }), 3021);
    EXPECT_EQ(errorOf([&] { none["fldDay"]; }), 3021);
    EXPECT_EQ(errorOf([&] { db.openRecordset("SELECT * FROM tblNope"); }), 3078);
}

TEST_F(DaoTest, NullFieldsAndYesNoValues) {
    auto db = Database::open(holidays());
    auto rs = db.openRecordset("SELECT * FROM tblSyukujitu ORDER BY fldMonth, fldDay");
    rs.findFirst("fldDay = 36");
    const Value& use = rs["fldUse"];
    EXPECT_TRUE(use.isNull());
    EXPECT_FALSE(use.toBool());  // Null counts as False
    EXPECT_EQ(rs["fldComment"].toText(), "");
    EXPECT_EQ(errorOf([&] { rs["fldComment"].toInt(); }), 94);
    rs.findFirst("fldDay = 1");
    EXPECT_TRUE(rs["fldUse"].toBool());
    EXPECT_EQ(rs["fldUse"].toInt(), -1);
    EXPECT_EQ(Value("12").toInt(), 12);
    EXPECT_EQ(errorOf([] { Value("abc").toInt(); }), 13);
    EXPECT_EQ(errorOf([] { Value(40000).toInt(); }), 6);
    EXPECT_EQ(Value(2.5).toInt(), 2);
    EXPECT_EQ(Value(true), Value(-1));
}

TEST_F(DaoTest, FindFirstTakesCriteriaText) {
    auto db = Database::open(holidays());
    auto rs = db.openRecordset("SELECT * FROM tblSyukujitu ORDER BY fldMonth ASC, fldDay ASC");
    struct Case { const char* criteria; const char* name; };
    const Case cases[] = {
        {"fldMonth = 0 And fldDay = 36", "国民の休日"},
        {"fldMonth = 0 AND fldDay = 0", ""},
        {"fldName = \"成人の日\"", "成人の日"},
        {"fldName = '建国記念の日'", "建国記念の日"},
        {"fldUse = True And fldMonth = 2", ""},
        {"fldUse = False And fldMonth = 2", "建国記念の日"},
        {"fldName Like \"成*\"", "成人の日"},
        {"fldComment = '登録値保持用' And fldName = ''", ""},
        {"Not fldMonth = 0", "元日"},
        {"[fldDay] >= 40 Or fldDay = 11", "成人の日"},
        {"fldDay Mod 10 = 2", "成人の日"},
        {"fldName & \"x\" = \"元日x\"", "元日"},
        {"fldComment Is Null And fldMonth = 0", "国民の休日"},
    };
    for (const auto& c : cases) {
        rs.findFirst(c.criteria);
        if (*c.name) {
            EXPECT_FALSE(rs.noMatch()) << c.criteria;
            EXPECT_EQ(rs["fldName"].toText(), c.name) << c.criteria;
        } else if (std::string(c.criteria).find("fldDay = 0") != std::string::npos ||
                   std::string(c.criteria).find("fldComment") == 0) {
            EXPECT_EQ(rs["fldComment"].toText(), "登録値保持用");
        } else {
            EXPECT_TRUE(rs.noMatch()) << c.criteria;
        }
    }
}

TEST_F(DaoTest, FindNextAndNoMatchKeepsTheRecord) {
    auto db = Database::open(holidays());
    db.execute("UPDATE tblSyukujitu SET fldComment = 'Rule' WHERE fldDay = 36");
    auto rs = db.openRecordset("SELECT * FROM tblSyukujitu ORDER BY fldMonth ASC, fldDay ASC");
    rs.findFirst("fldMonth > 0");
    EXPECT_EQ(rs["fldName"].toText(), "元日");
    rs.findNext("fldMonth > 0");
    EXPECT_EQ(rs["fldName"].toText(), "成人の日");
    rs.findNext("fldMonth = 1");
    EXPECT_TRUE(rs.noMatch());
    EXPECT_EQ(rs["fldName"].toText(), "成人の日");
    rs.findPrevious("fldMonth = 1");
    EXPECT_EQ(rs["fldName"].toText(), "元日");
    rs.findFirst("fldComment = 'RULE'");  // texts compare without regard to case
    EXPECT_EQ(rs["fldDay"].toInt(), 36);
    db.execute("UPDATE tblSyukujitu SET fldComment = '2005-03-20' WHERE fldDay = 11");
    auto dated = db.openRecordset("SELECT * FROM tblSyukujitu");
    dated.findFirst("fldComment = #3/20/2005#");
    EXPECT_EQ(dated["fldDay"].toInt(), 11);
    EXPECT_EQ(errorOf([&] { dated.findFirst("fldComment = #2005/02/30#"); }), 3077);
    EXPECT_EQ(errorOf([&] { rs.findFirst("fldMonth = = 1"); }), 3077);
    EXPECT_EQ(errorOf([&] { rs.findFirst("fldMonth = \"1"); }), 3077);
    EXPECT_EQ(errorOf([&] { rs.findFirst("fldNope = 1"); }), 3070);
}

TEST_F(DaoTest, AddNewEditUpdateDelete) {
    auto path = holidays();
    {
        auto db = Database::open(path);
        auto rs = db.openRecordset("SELECT * FROM tblSyukujitu WHERE fldMonth >= 1 ORDER BY fldMonth, fldDay");
        EXPECT_EQ(errorOf([&] { rs.set("fldName", "x"); }), 3020);
        EXPECT_EQ(errorOf([&] { rs.update(); }), 3020);
        rs.addNew();
        rs.set("fldMonth", 3);
        rs.set("fldDay", 35);
        rs.set("fldName", "春分の日");
        rs.set("fldUse", true);
        EXPECT_EQ(rs["fldName"].toText(), "春分の日");
        EXPECT_TRUE(rs["fldComment"].isNull());
        rs.update();
        EXPECT_EQ(rs["fldName"].toText(), "元日");  // the record current before AddNew
        EXPECT_EQ(rs.recordCount(), 4);
        rs.moveLast();
        EXPECT_EQ(rs["fldName"].toText(), "春分の日");  // the new record comes last

        rs.findFirst("fldDay = 52");
        rs.edit();
        rs.set("fldSyukujitu", 255);
        rs.set("fldComment", Value());
        rs.update();
        EXPECT_EQ(rs["fldSyukujitu"].toInt(), 255);

        rs.findFirst("fldDay = 1");
        rs.deleteRecord();
        EXPECT_EQ(errorOf([&] { rs["fldName"]; }), 3167);
        rs.moveNext();
        EXPECT_EQ(rs["fldName"].toText(), "成人の日");
        EXPECT_EQ(rs.recordCount(), 3);

        rs.edit();
        rs.set("fldName", "changed");
        rs.cancelUpdate();
        EXPECT_EQ(rs["fldName"].toText(), "成人の日");
    }
    auto db = Database::open(path);
    auto rs = db.openRecordset("SELECT * FROM tblSyukujitu WHERE fldMonth >= 1 ORDER BY fldMonth, fldDay");
    EXPECT_EQ(rs.recordCount(), 3);
    EXPECT_EQ(rs["fldName"].toText(), "成人の日");
    EXPECT_EQ(rs["fldSyukujitu"].toInt(), 255);
    rs.moveLast();
    EXPECT_EQ(rs["fldName"].toText(), "春分の日");
    EXPECT_EQ(rs["fldUse"].toInt(), -1);  // yes/no written as -1

    // Deleted to the last record, the recordset is empty at both ends.
    for (int left = 3; left > 0; --left) {
        EXPECT_EQ(rs.recordCount(), left);
        rs.moveFirst();
        rs.deleteRecord();
    }
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_TRUE(rs.bof() && rs.eof());
    EXPECT_EQ(errorOf([&] { rs.moveFirst(); }), 3021);
}

TEST_F(DaoTest, GroupedRecordsetsAreReadOnly) {
    auto db = Database::open(holidays());
    auto rs = db.openRecordset(
        "SELECT fldMonth, Count(*) AS fldCount FROM tblSyukujitu GROUP BY fldMonth ORDER BY fldMonth");
    EXPECT_EQ(rs["fldCount"].toInt(), 2);
    EXPECT_EQ(errorOf([&] { rs.addNew(); }), 3027);
    EXPECT_EQ(errorOf([&] { rs.edit(); }), 3027);
    auto joined = db.openRecordset(
        "SELECT a.fldName FROM tblSyukujitu AS a INNER JOIN tblSyukujitu AS b ON a.fldDay = b.fldDay");
    EXPECT_EQ(errorOf([&] { joined.deleteRecord(); }), 3027);
    EXPECT_EQ(errorOf([&] { db.openRecordset("DELETE FROM tblSyukujitu"); }), 3219);
    EXPECT_EQ(db.openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 5);
}

TEST_F(DaoTest, ClosingTheDatabaseInvalidatesItsRecordsets) {
    auto db = Database::open(holidays());
    auto rs = db.openRecordset("SELECT * FROM tblSyukujitu");
    db.close();
    EXPECT_EQ(errorOf([&] { rs.moveNext(); }), 3420);
    Recordset never;
    EXPECT_EQ(errorOf([&] { never.eof(); }), 3420);
}
