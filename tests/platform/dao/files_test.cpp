#include <sys/stat.h>

#include "dao/files.h"
#include "dao_fixture.h"

using dao::Database;

TEST_F(DaoTest, SelectIntoFromAnotherFile) {
    auto master = holidays("Master's.dat");  // a quote in the name: the name is bound, never spliced
    auto db = Database::create(file("Regist.dat"));
    {
        auto m = Database::open(master);
        m.execute("CREATE TABLE tblCase (fldKey TEXT COLLATE NOCASE)");
        m.execute("INSERT INTO tblCase VALUES ('key')");
    }
    EXPECT_EQ(db.selectIntoFrom(master, "tblSyukujitu", "tblSyukujitu"), 5);
    EXPECT_EQ(db.selectIntoFrom(master, "tblCase", "tblCase"), 1);
    EXPECT_EQ(db.selectIntoFrom(master, "tblHalf", "tblSyukujitu", "WHERE fldMonth = 1 ORDER BY fldDay DESC",
                                "fldDay, [fldName]"),
              2);
    auto rs = db.openRecordset("SELECT * FROM tblHalf");
    EXPECT_EQ(rs.fieldNames(), (std::vector<std::string>{"fldDay", "fldName"}));
    EXPECT_EQ(rs["fldDay"].toInt(), 52);
    // Declared types travel with the copy.
    auto types = db.openRecordset("SELECT type FROM pragma_table_info('tblSyukujitu') WHERE name = 'fldUse'");
    EXPECT_EQ(types["type"].toText(), "BOOLEAN");
    EXPECT_EQ(db.openRecordset("SELECT * FROM tblCase WHERE fldKey = 'KEY'").recordCount(), 1);

    EXPECT_EQ(errorOf([&] { db.selectIntoFrom(master, "tblSyukujitu", "tblSyukujitu"); }), 3010);
    EXPECT_EQ(errorOf([&] { db.selectIntoFrom(master, "tblX", "tblMissing"); }), 3078);
    EXPECT_EQ(errorOf([&] { db.selectIntoFrom(file("None.dat"), "tblX", "tblSyukujitu"); }), 3024);
    EXPECT_FALSE(std::filesystem::exists(file("None.dat")));
    EXPECT_FALSE(db.tableExists("tblX"));
    EXPECT_FALSE(dao::isOpen(master));

    EXPECT_EQ(db.selectInto("tblWork", "tblSyukujitu", "WHERE fldMonth = 0"), 2);
    {
        auto src = db.attach(master, "src");
        EXPECT_TRUE(dao::isOpen(master));
        EXPECT_EQ(db.execute("INSERT INTO tblWork SELECT * FROM src.tblSyukujitu WHERE fldMonth = 2"), 1);
        EXPECT_EQ(errorOf([&] { db.execute("DELETE FROM src.tblSyukujitu"); }), 3027);
    }
    EXPECT_FALSE(dao::isOpen(master));
    EXPECT_EQ(errorOf([&] { db.attach(master, "x; DROP TABLE tblWork"); }), 3001);

    // Many copies under one attachment and one transaction; a failure undoes them all.
    auto src = db.attach(master, "src");
    {
        dao::Transaction t(db);
        db.selectIntoFrom(src, "tblA", "tblSyukujitu");
        EXPECT_EQ(errorOf([&] { db.selectIntoFrom(src, "tblB", "tblMissing"); }), 3078);
    }
    EXPECT_FALSE(db.tableExists("tblA"));
    {
        dao::Transaction t(db);
        db.selectIntoFrom(src, "tblA", "tblSyukujitu");
        db.selectIntoFrom(src, "tblB", "tblCase");
        t.commit();
    }
    EXPECT_TRUE(db.tableExists("tblA"));
    EXPECT_TRUE(db.tableExists("tblB"));
}

TEST_F(DaoTest, OpenFilesCannotBeDeletedOrReplaced) {
    auto path = holidays();
    auto other = holidays("Other.dat");
    {
        auto db = Database::open(path);
        std::filesystem::create_directory(dir / "sub");
        EXPECT_TRUE(dao::isOpen(dir / "sub" / ".." / "Regist.dat"));  // any spelling of the path
        EXPECT_EQ(errorOf([&] { dao::deleteFile(path); }), 70);
        EXPECT_EQ(errorOf([&] { dao::replaceFile(other, path); }), 70);
        EXPECT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(db.openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 5);
    }
    dao::replaceFile(other, path);
    EXPECT_FALSE(std::filesystem::exists(other));
    dao::deleteFile(path);
    EXPECT_FALSE(std::filesystem::exists(path));
    dao::deleteFile(path);  // a missing file is no fault
    EXPECT_EQ(errorOf([&] { dao::replaceFile(other, path); }), 53);
}

TEST_F(DaoTest, CompactionIsRefusedWhileTheFileIsOpen) {
    auto path = holidays();
    auto before = read(path);
    auto db = Database::open(path);
    EXPECT_EQ(errorOf([&] { dao::compactInPlace(path, file("TempDB.dat")); }), 3045);
    EXPECT_EQ(errorOf([&] { dao::compactDatabase(path, file("Copy.dat")); }), 3045);
    EXPECT_EQ(read(path), before);
    EXPECT_FALSE(std::filesystem::exists(file("TempDB.dat")));
}

TEST_F(DaoTest, CompactionReplacesTheFileAtomically) {
    auto path = holidays();
    {
        auto db = Database::open(path);
        db.execute("CREATE TABLE tblBig (a TEXT)");
        dao::Transaction t(db);
        for (int i = 0; i < 200; ++i) db.execute("INSERT INTO tblBig VALUES (?1)", {std::string(1000, 'x')});
        t.commit();
        db.execute("DROP TABLE tblBig");
    }
    ::chmod(path.c_str(), 0640);
    auto sizeBefore = std::filesystem::file_size(path);
    write(file("TempDB.dat"), "stale scratch");
    dao::compactInPlace(path, file("TempDB.dat"));
    EXPECT_LT(std::filesystem::file_size(path), sizeBefore);
    EXPECT_FALSE(std::filesystem::exists(file("TempDB.dat")));
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    auto db = Database::open(path);
    EXPECT_EQ(db.openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 5);

    db.close();
    dao::compactDatabase(path, file("Copy.dat"));
    EXPECT_EQ(errorOf([&] { dao::compactDatabase(path, file("Copy.dat")); }), 3204);
    EXPECT_EQ(Database::open(file("Copy.dat")).openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 5);
}

TEST_F(DaoTest, FailedCompactionLeavesTheOriginalWhole) {
    // Not a database: refused at the start.
    write(file("Master.dat"), "not a database");
    EXPECT_EQ(errorOf([&] { dao::compactInPlace(file("Master.dat"), file("TempDB.dat")); }), 3343);
    EXPECT_EQ(read(file("Master.dat")), "not a database");
    EXPECT_FALSE(std::filesystem::exists(file("TempDB.dat")));

    // The copy cannot be written.
    auto path = holidays();
    auto before = read(path);
    EXPECT_NE(errorOf([&] { dao::compactInPlace(path, file("missing/TempDB.dat")); }), 0);
    EXPECT_EQ(read(path), before);

    // The copy cannot be renamed over the original (another file system).
    std::filesystem::path shm = "/dev/shm";
    struct stat a{}, b{};
    if (::stat(shm.c_str(), &a) != 0 || ::stat(dir.c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system for the rename failure";
    auto scratch = shm / ("kv-dao-" + dir.filename().string() + ".dat");
    EXPECT_EQ(errorOf([&] { dao::compactInPlace(path, scratch); }), 74);
    EXPECT_EQ(read(path), before);
    EXPECT_FALSE(std::filesystem::exists(scratch));
    EXPECT_EQ(Database::open(path).openRecordset("SELECT * FROM tblSyukujitu").recordCount(), 5);
}
