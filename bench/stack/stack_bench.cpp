// Card transactions through the whole stack: device API, I/O manager, the pipe driver,
// the emulated bus and the emulated reader in its fast mode.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "devices/devices.h"
#include "emulator/card.h"
#include "emulator/reader.h"
#include "kernel/host.h"
#include "usb/emulated_bus.h"

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

// One reader on one bus, with both pipes open.
struct Stack {
    explicit Stack(std::uint16_t packet) : reader(options(packet)) {
        driver = kernel::loadDriverModule(PIPEDRV_LIBRARY, "pipedrv64");
        kernel::pnp::bindDriver("USB\\VID_1209&PID_0001", driver);
        reader.insert(std::make_shared<emulator::Card>());
        port = bus->plug(reader);
        auto found = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
        in = devices::open(found.at(0) + "\\PIPE01");
        out = devices::open(found.at(0) + "\\PIPE00");
        reader.setLogLimit(0);
    }
    ~Stack() {
        in.close();
        out.close();
        bus.reset();
        kernel::unloadDriver(driver);
    }
    static emulator::ReaderOptions options(std::uint16_t packet) {
        emulator::ReaderOptions o;
        o.maxPacketSize = packet;
        o.timing = emulator::Timing::Fast;
        return o;
    }
    bool transact(const std::vector<std::uint8_t>& packet, std::vector<std::uint8_t>& data) {
        std::uint8_t reply[8];
        if (devices::write(out, packet.data(), 32) != 32) return false;
        if (devices::read(in, reply, 8, 4000) != 8 || reply[0] != 0x55) return false;
        return devices::read(in, data.data(), data.size(), 4000) == static_cast<long>(data.size());
    }

    emulator::Reader reader;
    std::unique_ptr<usb::EmulatedBus> bus = std::make_unique<usb::EmulatedBus>();
    kernel::DriverObject* driver = nullptr;
    usb::EmulatedBus::PortId port = 0;
    devices::Handle in, out;
};

void SectorTransactions(benchmark::State& state) {
    Stack stack(static_cast<std::uint16_t>(state.range(0)));
    auto packet = command(2, 0, 0, false);
    std::vector<std::uint8_t> sector(512);
    for (auto _ : state)
        if (!stack.transact(packet, sector)) state.SkipWithError("transaction failed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SectorTransactions)->Arg(64)->Arg(512)->UseRealTime();

void WholeBlockReads(benchmark::State& state) {
    Stack stack(static_cast<std::uint16_t>(state.range(0)));
    auto packet = command(0x12, 1, 31, true);
    std::vector<std::uint8_t> block(16384);
    for (auto _ : state)
        if (!stack.transact(packet, block)) state.SkipWithError("transaction failed");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(WholeBlockReads)->Arg(64)->Arg(512)->UseRealTime();

}  // namespace
