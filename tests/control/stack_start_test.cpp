// The program's device stack as it starts, and the control the program creates by class
// name: the reader is found by its interface class, with nothing between them but the
// device API, the driver and the bus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "com/registry.h"
#include "control/face.h"
#include "devices/system.h"
#include "emulator/environment.h"
#include "test_files.h"

namespace control_test {
namespace {

namespace fs = std::filesystem;
using com::Variant;

std::unique_ptr<com::Control> createControl() {
    com::setLibraryFolder(KV_CONTROL_LIBRARY_DIR);
    com::registerLibraryClass("Card_KVM58", KV_CONTROL_LIBRARY_FILE);
    std::unique_ptr<com::Control> control;
    EXPECT_EQ(com::createInstance("Card_KVM58", control), com::Ok);
    return control;
}

std::int32_t property(com::Control& control, com::DispId id) {
    Variant v;
    EXPECT_EQ(com::getProperty(control, id, v), com::Ok) << id;
    return v.asI4();
}

TEST(StackStart, TheControlFindsTheEmulatedReaderTheProgramStarted) {
    const fs::path card = fs::path(::testing::TempDir()) / ("stack-start-" + std::to_string(::getpid()) + ".img");
    fs::remove(card);
    test_support::ScopedEnvironment file("RDX_EMULATOR_CARD", card.string());
    test_support::ScopedEnvironment timing("RDX_EMULATOR_TIMING", "fast");
    {
        auto reader = emulator::readerFromEnvironment();
        ASSERT_NE(reader, nullptr);
        devices::System system(PROGRAM_FOLDER, devices::emulatedBus(*reader));
        ASSERT_TRUE(system.driverLoaded()) << system.error();
        ASSERT_TRUE(system.busStarted()) << system.error();
        EXPECT_TRUE(system.error().empty()) << system.error();
        auto control = createControl();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(property(*control, control::dispid::CardExists), 0) << "a new card is there";
        EXPECT_EQ(property(*control, control::dispid::CardStatus), 111) << "and not yet formatted";
        Variant result;
        ASSERT_EQ(com::callMethod(*control, control::dispid::Format, {}, &result), com::Ok);
        EXPECT_EQ(result.asI4(), 0);
        EXPECT_EQ(property(*control, control::dispid::CardStatus), 0);
    }
    fs::remove(card);
}

TEST(StackStart, WithoutAReaderEveryCardOperationSaysSo) {
    ::unsetenv("RDX_EMULATOR_CARD");
    const fs::path empty = fs::path(::testing::TempDir()) / ("stack-start-empty-" + std::to_string(::getpid()));
    fs::create_directories(empty);
    struct Case {
        const char* what;
        fs::path folder;
        bool driver;
    };
    const Case cases[] = {
        {"the driver but no reader", PROGRAM_FOLDER, true},
        {"no driver library at all", empty, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        devices::System system(c.folder.string(), devices::libusbBus(c.folder.string()));
        EXPECT_EQ(system.driverLoaded(), c.driver) << system.error();
        EXPECT_FALSE(system.busStarted());
        auto control = createControl();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(property(*control, control::dispid::CardExists), 112);
        EXPECT_EQ(property(*control, control::dispid::CardStatus), 112);
        Variant result;
        ASSERT_EQ(com::callMethod(*control, control::dispid::Format, {}, &result), com::Ok);
        EXPECT_EQ(result.asI4(), 112);
    }
    fs::remove_all(empty);
}

}  // namespace
}  // namespace control_test
