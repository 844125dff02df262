// What the card operations cost on the wire: a 16 MiB card in the emulated reader with its
// full-speed wire timing on a virtual clock, so nothing really waits. Each run reports the
// modelled wire time (wire_ms) and the reader commands (commands) of one operation, and its
// fewest-commands bound (bound_ms, bound_commands, ratio = wire_ms / bound_ms); the label says
// how the bound is counted. The wall time is only the emulator's own work.
//
// The bound of an operation is what the calls it makes cannot do without, each moving its
// data in the fewest commands its time allows (sector commands, or one whole-block command
// where that is cheaper), at the cost of each command measured on the same reader:
// - identification: the status command and the header's three sectors;
// - the full check (which GetCardError, ReadCardInfo, ReadCardData and WriteCardData each
//   owe their caller): identification, the journal's first sector and the four typed blocks;
// - a read that hands data on ends with a status command, as a pulled card delivers 0xFF;
// - a change: the journal's first sector read where only the header was checked, one write of
//   the journal with the mark, the copies and the commit record (a message write marks first
//   and copies the header after its blocks: sector writes), each block that changes erased
//   and written in place, the blocks let go erased, the journal erased.
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

#include "control/link.h"
#include "control/methods.h"
#include "control/reader_port.h"
#include "emulated_port.h"
#include "emulator/clock.h"
#include "emulator/reader.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kMinuteOfSound = 480000;
constexpr std::size_t kShortMessage = 80000;  // ten seconds
constexpr std::size_t kBlockBytes = 16384;
constexpr std::size_t kSectorsPerBlock = kBlockBytes / 512;

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

std::size_t blocksOf(std::size_t bytes) { return (bytes + kBlockBytes - 1) / kBlockBytes; }

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
    double now() const { return std::chrono::duration<double, std::milli>(clock->now()).count(); }

    std::shared_ptr<emulator::ManualClock> clock;
    std::shared_ptr<emulator::Reader> reader;
    std::shared_ptr<emulator::Card> source = std::make_shared<emulator::Card>(0x73);
    std::shared_ptr<emulator::Card> target = std::make_shared<emulator::Card>(0x73);
    fs::path dir;
    bool ok = false;
};

// What one command of each kind costs on this reader, measured on a scratch card.
struct Costs {
    double status = 0, sectorRead = 0, blockRead = 0, sectorWrite = 0, blockWrite = 0, erase = 0;

    explicit Costs(Rig& rig) {
        auto scratch = std::make_shared<emulator::Card>(0x73);
        rig.reader->insert(scratch);
        control::LinkSession session;
        std::size_t bytes = 0;
        std::vector<std::uint8_t> block(kBlockBytes, 0x11);
        const auto time = [&](const std::function<void()>& command) {
            const double start = rig.now();
            command();
            return rig.now() - start;
        };
        status = time([&] { control::rdxCardStatus(bytes); });
        sectorRead = time([&] { control::rdxReadSectors(0, 1, block); });
        blockRead = time([&] { control::rdxReadBlock(0, block); });
        sectorWrite = time([&] { control::rdxWriteSectors(2 * kSectorsPerBlock, 1, block); });
        blockWrite = time([&] { control::rdxWriteBlock(3, block); });
        erase = time([&] { control::rdxEraseBlock(3); });
    }
};

// A bound: commands and their time, with the words that count them.
struct Bound {
    double ms = 0;
    int commands = 0;
    std::string how;

    void add(double cost, int count, const std::string& what) {
        ms += cost * count;
        commands += count;
        if (!what.empty()) how += (how.empty() ? "" : " + ") + what;
    }
    void add(const Bound& b) {
        ms += b.ms;
        commands += b.commands;
        how += (how.empty() ? "" : " + ") + b.how;
    }
};

// `sectors` of one block, read or written in the fewest commands its time allows.
void read(Bound& b, const Costs& c, std::size_t sectors, const std::string& what) {
    if (c.blockRead < c.sectorRead * static_cast<double>(sectors))
        b.add(c.blockRead, 1, what + " (1 block read)");
    else
        b.add(c.sectorRead, static_cast<int>(sectors), what + " (" + std::to_string(sectors) + " sector reads)");
}
void write(Bound& b, const Costs& c, std::size_t sectors, const std::string& what) {
    if (c.blockWrite < c.sectorWrite * static_cast<double>(sectors))
        b.add(c.blockWrite, 1, what + " (1 block write)");
    else
        b.add(c.sectorWrite, static_cast<int>(sectors), what + " (" + std::to_string(sectors) + " sector writes)");
}

Bound identification(const Costs& c) {
    Bound b;
    b.add(c.status, 1, "status");
    read(b, c, 3, "header");
    return b;
}

Bound fullCheck(const Costs& c) {
    Bound b = identification(c);
    read(b, c, 1, "journal");
    read(b, c, 1, "settings");
    read(b, c, 4, "day patterns");
    read(b, c, 8, "calendar");
    read(b, c, 8, "names");
    b.how = "check[" + b.how + "]";
    return b;
}

Bound readWithConfirm(const Costs& c) {
    Bound b = fullCheck(c);
    b.add(c.status, 1, "status after the reads");
    return b;
}

// A card write whose file changes all four typed blocks and leaves the header as it is.
Bound cardWrite(const Costs& c) {
    Bound b = fullCheck(c);
    write(b, c, 1 + 1 + 1 + 4 + 8 + 8, "journal: mark, record, copies");
    for (const auto& [what, sectors] : {std::pair<const char*, std::size_t>{"settings", 1}, {"day patterns", 4},
                                        {"calendar", 8}, {"names", 8}}) {
        b.add(c.erase, 1, "");
        write(b, c, sectors, std::string("erase + ") + what);
    }
    b.add(c.erase, 1, "journal erased");
    return b;
}

// A message written to a channel that holds `old` blocks.
Bound messageWrite(const Costs& c, std::size_t blocks, std::size_t old) {
    Bound b = identification(c);
    read(b, c, 1, "journal");
    b.add(c.sectorWrite, 1, "mark");
    b.add(c.blockWrite, static_cast<int>(blocks), std::to_string(blocks) + " blocks");
    b.add(c.sectorWrite, 4, "header copy and record (4 sector writes)");
    b.add(c.erase, 1, "");
    write(b, c, 3, "erase + header");
    if (old > 0) b.add(c.erase, static_cast<int>(old), std::to_string(old) + " old blocks erased");
    b.add(c.erase, 1, "journal erased");
    return b;
}

Bound channelErase(const Costs& c, std::size_t blocks) {
    Bound b = identification(c);
    if (blocks == 0) return b;
    read(b, c, 1, "journal");
    write(b, c, 1 + 3 + 1, "journal: mark, header copy, record");
    b.add(c.erase, 1, "");
    write(b, c, 3, "erase + header");
    b.add(c.erase, static_cast<int>(blocks) + 1, std::to_string(blocks) + " blocks and the journal erased");
    return b;
}

Bound messageRead(const Costs& c, std::size_t blocks) {
    Bound b = identification(c);
    b.add(c.blockRead, static_cast<int>(blocks), std::to_string(blocks) + " block reads");
    b.add(c.status, 1, "status after the reads");
    return b;
}

Bound initialise(const Costs& c) {
    Bound b = identification(c);
    read(b, c, 1, "journal");
    b.add(c.sectorWrite, 1, "mark");
    const std::size_t used = 4 + 2 * blocksOf(kShortMessage);
    b.add(c.erase, static_cast<int>(used), std::to_string(used) + " blocks that hold data erased");
    b.add(c.erase, 1, "");
    write(b, c, 3, "erase + header");
    b.add(c.erase, 1, "journal erased");
    return b;
}

// The copy's calls, as the card window makes them (copyCard below).
Bound cardCopy(const Costs& c) {
    Bound b;
    const std::size_t blocks = blocksOf(kShortMessage);
    Bound read = readWithConfirm(c);
    read.how = "ReadCardData";
    b.add(read);
    Bound messages = messageRead(c, blocks);
    messages.add(messageRead(c, blocks));
    messages.how = "2 ReadMessage";
    b.add(messages);
    Bound checks = fullCheck(c);
    checks.add(readWithConfirm(c));
    checks.how = "GetCardError, ReadCardInfo";
    b.add(checks);
    Bound writeData = cardWrite(c);
    writeData.how = "WriteCardData";
    b.add(writeData);
    Bound erases;
    for (int i = 0; i < 12; ++i) erases.add(channelErase(c, 0));
    erases.add(channelErase(c, blocks));
    erases.how = "13 WriteMessage \"\" (12 of empty channels: identification only)";
    b.add(erases);
    Bound writes = messageWrite(c, blocks, 0);
    writes.add(messageWrite(c, blocks, 0));
    writes.how = "2 WriteMessage";
    b.add(writes);
    return b;
}

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

void measure(benchmark::State& state, const std::function<int(const Rig&)>& operation,
             const std::function<Bound(const Costs&)>& bound) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("the card could not be prepared");
        return;
    }
    const auto card = rig.reader->card();
    const Bound b = bound(Costs(rig));
    rig.reader->insert(card);
    double wireMs = 0;
    double commands = 0;
    for (auto _ : state) {
        rig.reader->setLogLimit(1 << 20);
        rig.reader->clearLog();
        const double start = rig.now();
        if (operation(rig) != 0) state.SkipWithError("the operation failed");
        wireMs = rig.now() - start;
        commands = static_cast<double>(rig.reader->log().size());
    }
    state.counters["wire_ms"] = wireMs;
    state.counters["commands"] = commands;
    state.counters["bound_ms"] = b.ms;
    state.counters["bound_commands"] = b.commands;
    state.counters["ratio"] = b.ms > 0 ? wireMs / b.ms : 0;
    state.SetLabel("bound: " + b.how);
}

void Initialise(benchmark::State& state) {
    measure(state, [](const Rig&) { return control::Format(); }, initialise);
}
void CardWrite(benchmark::State& state) {
    measure(state, [](const Rig& rig) { return control::WriteCardData(rig.file("Other.crd")); }, cardWrite);
}
void CardRead(benchmark::State& state) {
    measure(state, [](const Rig& rig) { return control::ReadCardData(rig.file("read.crd")); }, readWithConfirm);
}
void CardInfo(benchmark::State& state) {
    measure(state, [](const Rig&) { return control::ReadCardInfo(); }, readWithConfirm);
}
void CardCopy(benchmark::State& state) { measure(state, copyCard, cardCopy); }
void MinuteMessageWrite(benchmark::State& state) {
    measure(state, [](const Rig& rig) { return control::WriteMessage(3, rig.file("minute.dat")); },
            [](const Costs& c) { return messageWrite(c, blocksOf(kMinuteOfSound), 0); });
}

BENCHMARK(Initialise)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardWrite)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardRead)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardInfo)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CardCopy)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(MinuteMessageWrite)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
