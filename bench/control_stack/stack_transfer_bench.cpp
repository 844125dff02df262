// Writing a 60-second message (480,000 bytes) to the card and reading it back through the
// whole stack: the control's device-API port, the I/O manager, the pipe driver, the
// emulated bus and the emulated reader in its fast mode. Bytes per second are the message
// bytes moved, over wall-clock time (the bus works on its own thread). The argument is
// the reader's packet size: 64 (full speed) or 512.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "control/methods.h"
#include "control/reader_port.h"
#include "emulator/reader.h"
#include "kernel/host.h"
#include "kernel/pnp.h"
#include "usb/emulated_bus.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kMessageBytes = 480000;

struct Rig {
    explicit Rig(std::uint16_t packet) : reader(options(packet)) {
        driver = kernel::loadDriverModule(PIPEDRV_LIBRARY, "pipedrv64");
        char id[32];
        std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", emulator::kVendorId, emulator::kProductId);
        kernel::pnp::bindDriver(id, driver);
        reader.insert(std::make_shared<emulator::Card>(0x73));
        reader.setLogLimit(0);
        bus->plug(reader);
        control::setReaderPort(nullptr);  // the device API
        ok = control::Format() == 0;
        dir = fs::temp_directory_path() / ("kv_control_stack_bench_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::vector<char> message(kMessageBytes);
        for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 13);
        std::ofstream(source(), std::ios::binary).write(message.data(), static_cast<std::streamsize>(message.size()));
    }
    ~Rig() {
        control::setReaderPort(nullptr);
        bus.reset();
        kernel::drainWorkItems();
        kernel::unloadDriver(driver);
        fs::remove_all(dir);
    }
    static emulator::ReaderOptions options(std::uint16_t packet) {
        emulator::ReaderOptions o;
        o.maxPacketSize = packet;
        o.timing = emulator::Timing::Fast;
        return o;
    }
    std::string source() const { return (dir / "message.dat").string(); }
    std::string target() const { return (dir / "back.dat").string(); }

    emulator::Reader reader;
    std::unique_ptr<usb::EmulatedBus> bus = std::make_unique<usb::EmulatedBus>();
    kernel::DriverObject* driver = nullptr;
    fs::path dir;
    bool ok = false;
};

void BM_StackWriteMessage(benchmark::State& state) {
    Rig rig(static_cast<std::uint16_t>(state.range(0)));
    if (!rig.ok) state.SkipWithError("no reader");
    for (auto _ : state)
        if (control::WriteMessage(1, rig.source()) != 0) state.SkipWithError("write failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageBytes));
}
BENCHMARK(BM_StackWriteMessage)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StackReadMessage(benchmark::State& state) {
    Rig rig(static_cast<std::uint16_t>(state.range(0)));
    if (!rig.ok || control::WriteMessage(1, rig.source()) != 0) state.SkipWithError("no message");
    for (auto _ : state)
        if (control::ReadMessage(1, rig.target()) != 0) state.SkipWithError("read failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageBytes));
}
BENCHMARK(BM_StackReadMessage)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
