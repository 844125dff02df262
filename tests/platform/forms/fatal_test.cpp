#include <gtest/gtest.h>

#include <cstdlib>

#include "forms/fatal.h"

namespace {
struct AbortsWhenDestroyed {
    ~AbortsWhenDestroyed() { std::abort(); }
};
}  // namespace

// A fatal error ends the process at once with exit code 1: no static destructor runs,
// so none can trip over another one already gone.
TEST(FatalEnd, EndsAtOnceWithoutRunningStaticDestructors) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static AbortsWhenDestroyed guard;
            forms::endProgram();
        },
        ::testing::ExitedWithCode(1), "");
}
