// What the card operations cost on the wire: a 16 MiB card in the emulated reader with its
// full-speed wire timing on a virtual clock, so nothing really waits. Each run reports the
// modelled wire time (wire_ms) and the reader commands (commands) of one operation; the
// wall time is only the emulator's own work.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/methods.h"
#include "control/reader_port.h"
#include "emulator/clock.h"
#include "emulator/reader.h"
#include "emulated_port.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kMinuteOfSound = 480000;
constexpr std::size_t kShortMessage = 80000;  // ten seconds

using bench_support::EmulatedPort;

void writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> sound(std::size_t bytes, unsigned seed) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>(i * seed + seed);
    return data;
}

// A card data file as the card window writes it: every part taken from the file. Files
// of another `seed` differ in every block.
std::vector<std::uint8_t> cardDataFile(unsigned seed) {
    std::vector<std::uint8_t> f(0x7000, 0);
    const std::string id = "KV-M58S1";
    std::copy(id.begin(), id.end(), f.begin());
    f[1187] = 1;
    f[1188] = 5;
    for (std::size_t i = 0; i < 48; ++i) f[0x2000 + i] = static_cast<std::uint8_t>(i + seed);
    f[0x2000 + 44] = 1;
    for (std::size_t i = 0; i < 2046; ++i) f[0x3000 + i] = static_cast<std::uint8_t>((i + seed) % 10);
    for (std::size_t i = 0; i < 4094; ++i) f[0x4000 + i] = static_cast<std::uint8_t>((i + seed) % 7 + 1);
    for (std::size_t i = 0; i < 1576; ++i) f[0x5000 + i] = static_cast<std::uint8_t>('A' + (i + seed) % 26);
    const std::array<std::uint8_t, 5> record = {4, 4, 4, 6, 4};
    std::copy(record.begin(), record.end(), f.begin() + 0x6010 + 24);
    return f;
}

// A formatted 16 MiB card holding card data and two ten-second messages; a second card
// with other card data and one message is the target of a copy.
struct Rig {
    Rig() {
        clock = std::make_shared<emulator::ManualClock>();
        emulator::ReaderOptions options;
        options.timing = emulator::Timing::Wire;
        options.clock = clock;
        reader = std::make_shared<emulator::Reader>(options);
        reader->setLogLimit(0);
        control::setReaderPort(std::make_unique<EmulatedPort>(reader));
        dir = fs::temp_directory_path() / ("kv_card_wire_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        writeBytes(file("minute.dat"), sound(kMinuteOfSound, 13));
        writeBytes(file("one.dat"), sound(kShortMessage, 7));
        writeBytes(file("two.dat"), sound(kShortMessage, 11));
        writeBytes(file("CardData.crd"), cardDataFile(1));
        writeBytes(file("Other.crd"), cardDataFile(2));
        reader->insert(target);
        ok = control::Format() == 0 && control::WriteCardData(file("Other.crd")) == 0 &&
             control::WriteMessage(5, file("two.dat")) == 0;
        reader->insert(source);
        ok = ok && control::Format() == 0 && control::WriteCardData(file("CardData.crd")) == 0 &&
             control::WriteMessage(1, file("one.dat")) == 0 && control::WriteMessage(2, file("two.dat")) == 0;
    }
    ~Rig() {
        control::setReaderPort(nullptr);
        fs::remove_all(dir);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }

    std::shared_ptr<emulator::ManualClock> clock;
    std::shared_ptr<emulator::Reader> reader;
    std::shared_ptr<emulator::Card> source = std::make_shared<emulator::Card>(0x73);
    std::shared_ptr<emulator::Card> target = std::make_shared<emulator::Card>(0x73);
    fs::path dir;
    bool ok = false;
};

// A card copy as the card window runs it: the source read, then one target written.
int copyCard(const Rig& rig) {
    if (const int e = control::ReadCardData(rig.file("copy.crd"))) return e;
    for (int ch : {1, 2})
        if (const int e = control::ReadMessage(ch, rig.file("copy" + std::to_string(ch) + ".wav"))) return e;
    rig.reader->insert(rig.target);
    if (const int e = control::GetCardError()) return e;
    control::ReadCardInfo();
    if (const int e = control::WriteCardData(rig.file("CardData.crd"))) return e;
    for (int ch : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 24})
        if (const int e = control::WriteMessage(ch, "")) return e;
    for (int ch : {1, 2})
        if (const int e = control::WriteMessage(ch, rig.file("copy" + std::to_string(ch) + ".wav"))) return e;
    rig.reader->insert(rig.source);
    return 0;
}

void measure(benchmark::State& state, const std::function<int(const Rig&)>& operation) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("the card could not be prepared");
        return;
    }
    double wireMs = 0;
    double commands = 0;
    for (auto _ : state) {
        rig.reader->setLogLimit(1 << 20);
        rig.reader->clearLog();
        const auto start = rig.clock->now();
        if (operation(rig) != 0) state.SkipWithError("the operation failed");
        wireMs = std::chrono::duration<double, std::milli>(rig.clock->now() - start).count();
        commands = static_cast<double>(rig.reader->log().size());
    }
    state.counters["wire_ms"] = wireMs;
    state.counters["commands"] = commands;
}

void Initialise(benchmark::State& state) {
    measure(state, [](const Rig&) { return control::Format(); });
}
void CardWrite(benchmark::State& state) {
    measure(state, [](const Rig& rig) { return control::WriteCardData(rig.file("Other.crd")); });
}
void CardRead(benchmark::State& state) {
    measure(state, [](const Rig& rig) { return control::ReadCardData(rig.file("read.crd")); });
}
void CardInfo(benchmark::State& state) {
    measure(state, [](const Rig&) { return control::ReadCardInfo(); });
}
void CardCopy(benchmark::State& state) { measure(state, copyCard); }
void MinuteMessageWrite(benchmark::State& state) {
    measure(state, [](const Rig& rig) { return control::WriteMessage(3, rig.file("minute.dat")); });
}

BENCHMARK(Initialise)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardWrite)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardRead)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardInfo)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardCopy)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(MinuteMessageWrite)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
