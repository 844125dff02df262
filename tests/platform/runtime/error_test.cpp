#include <gtest/gtest.h>

#include "runtime/error.h"

TEST(RuntimeError, CarriesNumberAndStandardText) {
    try {
        runtime::raise(53);
        FAIL();
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 53);
        EXPECT_EQ(e.description(), "File not found");
    }
}

TEST(RuntimeError, EngineTextsNameTheirItem) {
    EXPECT_EQ(runtime::errorDescription(3021), "No current record.");
    EXPECT_EQ(runtime::errorDescription(3024, "/d/Regist.dat"), "Couldn't find file '/d/Regist.dat'.");
    EXPECT_EQ(runtime::errorDescription(3376, "tblWrok"), "Table 'tblWrok' doesn't exist.");
    for (long n : {5L, 9L, 11L, 13L, 52L, 53L, 57L, 68L, 75L, 76L, 91L, 482L, 483L, 484L, 3021L, 3024L, 3031L,
                   3051L, 3078L, 3343L, 3371L, 3376L, 31037L, 32755L})
        EXPECT_FALSE(runtime::errorDescription(n).empty()) << n;
    EXPECT_EQ(runtime::errorDescription(12345), "");
    try {
        runtime::raiseWith(3343, "a.txt");
        FAIL();
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 3343);
        EXPECT_STREQ(e.what(), "Unrecognized database format 'a.txt'.");
    }
}
