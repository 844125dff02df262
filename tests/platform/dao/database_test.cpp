#include "dao_fixture.h"
#include "dao/files.h"

using dao::Database;
using dao::Value;

TEST_F(DaoTest, OpeningNeverCreatesAndRefusesForeignFiles) {
    EXPECT_EQ(errorOf([&] { Database::open(file("Regist.dat")); }), 3024);
    EXPECT_FALSE(std::filesystem::exists(file("Regist.dat")));
    EXPECT_EQ(errorOf([&] { Database::open(file("no/such/folder/Regist.dat")); }), 3044);

    write(file("notes.txt"), "This is a text file, not a database.\r\n");
    EXPECT_EQ(errorOf([&] { Database::open(file("notes.txt")); }), 3343);
    EXPECT_EQ(read(file("notes.txt")), "This is a text file, not a database.\r\n");

    write(file("empty.dat"), "");
    EXPECT_EQ(errorOf([&] { Database::open(file("empty.dat")); }), 3343);
    EXPECT_EQ(std::filesystem::file_size(file("empty.dat")), 0u);

    // A header that claims SQLite but a body that is not.
    write(file("torn.dat"), std::string("SQLite format 3\0", 16) + std::string(200, 'x'));
    EXPECT_EQ(errorOf([&] { Database::open(file("torn.dat")); }), 3343);

    std::filesystem::create_directory(file("folder.dat"));
    EXPECT_EQ(errorOf([&] { Database::open(file("folder.dat")); }), 3051);
    EXPECT_FALSE(dao::isOpen(file("notes.txt")));
}

TEST_F(DaoTest, ErrorsNameTheFileInTheEngineText) {
    try {
        Database::open(file("Regist.dat"));
        FAIL();
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.description(), "Couldn't find file '" + file("Regist.dat").string() + "'.");
    }
}

TEST_F(DaoTest, CreateDatabaseMakesAnOpenableSingleFile) {
    {
        auto db = Database::create(file("Temp.dat"));
        EXPECT_TRUE(db.isOpen());
        EXPECT_EQ(errorOf([&] { Database::create(file("Temp.dat")); }), 3204);
        db.execute("CREATE TABLE t (a INTEGER)");
        db.execute("INSERT INTO t VALUES (1)");
    }
    auto db = Database::open(file("Temp.dat"));
    EXPECT_TRUE(db.tableExists("T"));
    db.close();
    db.close();  // twice is no fault
    Database never;
    never.close();
    // journal_mode=DELETE: a closed database is exactly one file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(DaoTest, ExecuteCountsRecordsAndMapsErrors) {
    auto db = Database::open(holidays());
    EXPECT_EQ(db.execute("UPDATE tblSyukujitu SET fldSyukujitu = 255 WHERE fldMonth > 0"), 3);
    EXPECT_EQ(db.execute("UPDATE tblSyukujitu SET fldUse = True WHERE fldDay = ?1", {Value(11)}), 1);
    EXPECT_EQ(db.execute("CREATE TABLE tblWrok AS SELECT * FROM tblSyukujitu WHERE fldMonth = 1"), 0);
    EXPECT_EQ(db.execute("DELETE FROM tblWrok"), 2);
    EXPECT_EQ(db.execute("DELETE FROM tblWrok"), 0);

    // True is the yes/no value -1, as the engine stores it.
    auto rs = db.openRecordset("SELECT fldUse FROM tblSyukujitu WHERE fldDay = 11");
    EXPECT_EQ(rs["fldUse"].toInt(), -1);
    EXPECT_EQ(db.openRecordset("SELECT * FROM tblSyukujitu WHERE fldUse = True").recordCount(), 3);

    struct Case { const char* sql; long number; };
    const Case cases[] = {
        {"DROP TABLE tblMissing", 3376},
        {"SELECT * FROM tblSyukujitu", 3065},
        {"DELETE FROM tblMissing", 3078},
        {"UPDATE tblSyukujitu SET fldNope = 1", 3061},
        {"CREATE TABLE tblWrok (a)", 3010},
        {"UPDATE tblSyukujitu SET", 3075},
        {"DELETE FROM tblWrok; DROP TABLE tblSyukujitu", 3142},
    };
    for (const auto& c : cases) EXPECT_EQ(errorOf([&] { db.execute(c.sql); }), c.number) << c.sql;
    EXPECT_TRUE(db.tableExists("tblSyukujitu"));
    db.execute("DROP TABLE tblWrok");
    db.close();
    EXPECT_EQ(errorOf([&] { db.execute("DELETE FROM tblSyukujitu"); }), 3420);
}

TEST_F(DaoTest, TwoConnectionsOnOneFile) {
    auto path = holidays();
    auto a = Database::open(path);
    auto b = Database::open(path);
    auto rs = a.openRecordset("SELECT * FROM tblSyukujitu ORDER BY fldMonth, fldDay");
    // The reader holds no lock: the other connection writes freely.
    EXPECT_EQ(b.execute("UPDATE tblSyukujitu SET fldName = 'x' WHERE fldDay = 1"), 1);
    b.execute("INSERT INTO tblSyukujitu (fldMonth, fldDay) VALUES (3, 35)");
    rs.moveFirst();
    EXPECT_EQ(rs.recordCount(), 5);
    EXPECT_EQ(a.openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 6);
    rs.findFirst("fldDay = 1");
    rs.edit();
    rs.set("fldComment", "from a");
    rs.update();
    auto check = b.openRecordset("SELECT fldName, fldComment FROM tblSyukujitu WHERE fldDay = 1");
    EXPECT_EQ(check["fldComment"].toText(), "from a");
    EXPECT_EQ(check["fldName"].toText(), "x");  // the update wrote only the field it set
    a.close();
    EXPECT_TRUE(dao::isOpen(path));
    b.close();
    EXPECT_FALSE(dao::isOpen(path));
}

TEST_F(DaoTest, TransactionsRollBackUnlessCommitted) {
    auto db = Database::open(holidays());
    {
        dao::Transaction t(db);
        db.execute("DELETE FROM tblSyukujitu");
    }
    EXPECT_EQ(db.openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 5);
    {
        dao::Transaction t(db);
        db.execute("DELETE FROM tblSyukujitu WHERE fldMonth = 2");
        t.commit();
        EXPECT_EQ(errorOf([&] { t.commit(); }), 3034);
    }
    EXPECT_EQ(db.openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 4);
}

TEST_F(DaoTest, ConstraintAndCorruptionNumbers) {
    auto path = file("Keys.dat");
    {
        auto db = Database::create(path);
        db.execute("CREATE TABLE t (k INTEGER PRIMARY KEY, name TEXT NOT NULL, pad TEXT)");
        db.execute("INSERT INTO t VALUES (1, 'a', NULL)");
        EXPECT_EQ(errorOf([&] { db.execute("INSERT INTO t VALUES (1, 'b', NULL)"); }), 3022);
        EXPECT_EQ(errorOf([&] { db.execute("INSERT INTO t VALUES (2, NULL, NULL)"); }), 3314);
        dao::Transaction t(db);
        for (int i = 2; i < 400; ++i) db.execute("INSERT INTO t VALUES (?1, 'n', ?2)", {i, std::string(500, 'p')});
        t.commit();
    }
    // Damage the middle of the file: the header still reads, the table does not.
    std::string bytes = read(path);
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 8192; ++i) bytes[i] = '\xA5';
    write(path, bytes);
    auto db = Database::open(path);
    EXPECT_EQ(errorOf([&] { db.openRecordset("SELECT * FROM t ORDER BY pad"); }), 3049);
}
