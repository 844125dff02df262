// The program's device stack: the driver from the program folder and the bus the program
// hands it, here the emulated reader's.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "devices/devices.h"
#include "devices/system.h"
#include "emulator/card.h"
#include "emulator/reader.h"

namespace dt {
namespace {

TEST(System, LoadsTheDriverAndPlugsInTheReaderOfTheBusItIsHanded) {
    emulator::Reader reader;
    reader.insert(std::make_shared<emulator::Card>());
    {
        devices::System system(PROGRAM_FOLDER, devices::emulatedBus(reader));
        ASSERT_TRUE(system.driverLoaded()) << system.error();
        ASSERT_TRUE(system.busStarted()) << system.error();
        EXPECT_EQ(system.error(), "");
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
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty()) << "the bus went with the system";
}

TEST(System, WithoutTheDriverFolderNothingIsFoundAndTheBusIsNotStarted) {
    emulator::Reader reader;
    devices::System system(::testing::TempDir() + "/no-program-here", devices::emulatedBus(reader));
    EXPECT_FALSE(system.driverLoaded());
    EXPECT_FALSE(system.busStarted());
    EXPECT_FALSE(system.error().empty());
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
}

}  // namespace
}  // namespace dt
