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
