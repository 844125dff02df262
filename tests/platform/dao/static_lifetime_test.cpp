#include <cstdlib>

#include "dao_fixture.h"

using DatabaseLifetime = DaoTest;

// A document database kept in static storage closes when the program ends, after the
// registry of open files may already have been torn down by another static destructor.
TEST_F(DatabaseLifetime, StaticDatabaseClosesCleanlyAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto path = file("Regist.dat");
    EXPECT_EXIT(
        {
            static dao::Database work;
            work = dao::Database::create(path);
            work.execute("CREATE TABLE tblWork (fldNo INTEGER)");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
