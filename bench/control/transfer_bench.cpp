// Writing a 60-second message (480,000 bytes) to the card and reading it back, over the
// emulated reader in its fast mode. Bytes per second are the message bytes moved.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "control/methods.h"
#include "control/reader_port.h"
#include "emulator/reader.h"
#include "emulated_port.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kMessageBytes = 480000;

using bench_support::EmulatedPort;

struct Rig {
    Rig() {
        auto reader = std::make_shared<emulator::Reader>();
        reader->insert(std::make_shared<emulator::Card>(0x73));
        control::setReaderPort(std::make_unique<EmulatedPort>(reader));
        control::Format();
        dir = fs::temp_directory_path() / ("kv_control_bench_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::vector<char> message(kMessageBytes);
        for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 13);
        std::ofstream(source(), std::ios::binary).write(message.data(), static_cast<std::streamsize>(message.size()));
    }
    ~Rig() {
        control::setReaderPort(nullptr);
        fs::remove_all(dir);
    }
    std::string source() const { return (dir / "message.dat").string(); }
    std::string target() const { return (dir / "back.dat").string(); }
    fs::path dir;
};

void BM_WriteMessage(benchmark::State& state) {
    Rig rig;
    for (auto _ : state)
        if (control::WriteMessage(1, rig.source()) != 0) state.SkipWithError("write failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageBytes));
}
BENCHMARK(BM_WriteMessage)->Unit(benchmark::kMillisecond);

void BM_ReadMessage(benchmark::State& state) {
    Rig rig;
    control::WriteMessage(1, rig.source());
    for (auto _ : state)
        if (control::ReadMessage(1, rig.target()) != 0) state.SkipWithError("read failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageBytes));
}
BENCHMARK(BM_ReadMessage)->Unit(benchmark::kMillisecond);

}  // namespace
