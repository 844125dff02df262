// The control's side of the reader protocol, through the whole stack to the emulated
// RDX-700 and its card.
#include <cstring>

#include "emulator/card.h"
#include "emulator/reader.h"
#include "fixture.h"

namespace drv {
namespace {

std::vector<std::uint8_t> command(std::uint8_t code, std::uint16_t block, std::uint8_t sector, bool whole) {
    std::vector<std::uint8_t> p(32, 0);
    std::memcpy(p.data(), "RDX-700 ", 8);
    p[8] = code & ~0x10;
    p[9] = static_cast<std::uint8_t>(block);
    p[10] = static_cast<std::uint8_t>(block >> 8);
    p[11] = sector;
    p[12] = whole ? 1 : 0;
    std::memcpy(p.data() + 24, " RDX-END", 8);
    return p;
}

class ReaderStack : public DriverTest {
protected:
    void SetUp() override {
        hardwareId = "USB\\VID_1209&PID_0001";
        DriverTest::SetUp();
        reader.insert(card);
    }
    // One transaction as the control runs it: command, reply, data phase.
    std::vector<std::uint8_t> transact(devices::Handle& in, devices::Handle& out, const std::vector<std::uint8_t>& packet) {
        EXPECT_EQ(devices::write(out, packet.data(), packet.size()), 32);
        std::vector<std::uint8_t> reply(8);
        long n = 0;
        do {
            n = devices::read(in, reply.data(), 8, 4000);
        } while (n == 0);
        EXPECT_EQ(n, 8);
        return reply;
    }
    void session() {
        auto found = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
        ASSERT_FALSE(found.empty());
        devices::Handle in = devices::open(found[0] + "\\PIPE01");
        devices::Handle out = devices::open(found[0] + "\\PIPE00");
        ASSERT_TRUE(in.valid() && out.valid());

        auto status = transact(in, out, command(4, 0, 0, false));
        EXPECT_EQ(status[0], 0x55);
        EXPECT_EQ(status[5], 0x22);
        EXPECT_EQ(status[2], 0x73);

        std::vector<std::uint8_t> sector(512);
        for (std::size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<std::uint8_t>(i ^ 0x5A);
        EXPECT_EQ(transact(in, out, command(1, 3, 0, false))[0], 0x55);  // erase block 3
        EXPECT_EQ(transact(in, out, command(3, 3, 2, false))[5], 0x11);  // write sector 2 of it
        EXPECT_EQ(devices::write(out, sector.data(), 512), 512);
        std::vector<std::uint8_t> after(8);
        EXPECT_EQ(devices::read(in, after.data(), 8, 4000), 8);
        EXPECT_EQ(after[5], 0xCC);
        EXPECT_EQ(after[0], 0x55);

        EXPECT_EQ(transact(in, out, command(2, 3, 2, false))[5], 0x44);
        std::vector<std::uint8_t> back(512);
        EXPECT_EQ(devices::read(in, back.data(), 512, 4000), 512);
        EXPECT_EQ(back, sector);

        std::size_t blockBytes = card->blockBytes();
        std::vector<std::uint8_t> block(blockBytes);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 13);
        EXPECT_EQ(transact(in, out, command(1, 5, 0, false))[0], 0x55);
        EXPECT_EQ(transact(in, out, command(0x13, 5, 31, true))[5], 0x11);
        EXPECT_EQ(devices::write(out, block.data(), block.size()), static_cast<long>(blockBytes));
        EXPECT_EQ(devices::read(in, after.data(), 8, 4000), 8);
        EXPECT_EQ(after[0], 0x55);
        EXPECT_EQ(transact(in, out, command(0x12, 5, 31, true))[5], 0x44);
        std::vector<std::uint8_t> blockBack(blockBytes);
        EXPECT_EQ(devices::read(in, blockBack.data(), blockBack.size(), 4000), static_cast<long>(blockBytes));
        EXPECT_EQ(blockBack, block);
    }

    std::shared_ptr<emulator::Card> card = std::make_shared<emulator::Card>();
    emulator::Reader reader;
};

TEST_F(ReaderStack, TheControlsExchangesWorkAndWorkAgainAfterAReplug) {
    ASSERT_EQ(plug(reader), STATUS_SUCCESS);
    session();
    bus->pull(port);
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
    ASSERT_EQ(plug(reader), STATUS_SUCCESS);
    session();
}

TEST_F(ReaderStack, ASilentReaderGivesATimeOutNotAHang) {
    ASSERT_EQ(plug(reader), STATUS_SUCCESS);
    auto found = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
    devices::Handle in = devices::open(found[0] + "\\PIPE01");
    devices::Handle out = devices::open(found[0] + "\\PIPE00");
    reader.inject(emulator::Fault::Silence);
    auto packet = command(4, 0, 0, false);
    EXPECT_EQ(devices::write(out, packet.data(), 32), 32);
    std::vector<std::uint8_t> reply(8);
    EXPECT_EQ(devices::read(in, reply.data(), 8, 50), -1);
    EXPECT_EQ(devices::lastError(), devices::errorTimeout);
    EXPECT_EQ(transact(in, out, packet)[0], 0x55) << "the next command is answered";
}

TEST_F(ReaderStack, TheDriverLibraryReportsItsVersion) {
    const std::string file = std::string("/Drivers/") + pipedrv::kLibraryName + ".so";
    EXPECT_NE(std::string(pipeDriverLibrary).find(file), std::string::npos);
    auto version = devices::driverVersion(pipeDriverLibrary);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->name, pipedrv::kLibraryName);
    EXPECT_FALSE(version->productVersion.empty());
}

}  // namespace
}  // namespace drv
