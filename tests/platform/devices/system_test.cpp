// The program's device stack: the driver from the program folder and the emulated
// reader that the environment asks for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "devices/devices.h"
#include "devices/system.h"
#include "emulator/reader.h"

namespace dt {
namespace {

class Environment {
public:
    Environment(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~Environment() { unsetenv(name_); }

private:
    const char* name_;
};

TEST(System, LoadsTheDriverAndPlugsTheEmulatedReaderTheEnvironmentAsksFor) {
    auto card = std::filesystem::path(::testing::TempDir()) / "system-test-card.img";
    std::filesystem::remove(card);
    Environment file("RDX_EMULATOR_CARD", card.string());
    Environment timing("RDX_EMULATOR_TIMING", "fast");
    {
        devices::System system(PROGRAM_FOLDER);
        ASSERT_TRUE(system.driverLoaded()) << system.error();
        ASSERT_NE(system.emulatedReader(), nullptr) << system.error();
        auto found = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
        ASSERT_EQ(found.size(), 1u);
        devices::Handle in = devices::open(found[0] + "\\PIPE01");
        devices::Handle out = devices::open(found[0] + "\\PIPE00");
        std::uint8_t packet[32] = {};
        std::memcpy(packet, "RDX-700 ", 8);
        packet[8] = 4;
        std::memcpy(packet + 24, " RDX-END", 8);
        ASSERT_EQ(devices::write(out, packet, 32), 32);
        std::uint8_t reply[8] = {};
        EXPECT_EQ(devices::read(in, reply, 8, 4000), 8);
        EXPECT_EQ(reply[0], 0x55);
        EXPECT_EQ(reply[5], 0x22);
    }
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
    std::filesystem::remove(card);
}

TEST(System, WithoutTheDriverFolderNothingIsFound) {
    devices::System system(::testing::TempDir() + "/no-program-here");
    EXPECT_FALSE(system.driverLoaded());
    EXPECT_FALSE(system.error().empty());
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
}

}  // namespace
}  // namespace dt
