// Test main for window tests: one QApplication for the whole executable.
// (The offscreen platform is every test's default: test_defaults.cpp.)
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
